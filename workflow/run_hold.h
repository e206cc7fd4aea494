// Keeps the machine from sleeping and the session from ending while an update run writes to
// printers: a printer that loses its host halfway through the image is left in download mode.
// The hold is the platform's session hold (printer_link/platform.h): the Windows backend's, or
// logind's on Linux (workflow/logind_hold.h). Where there is none, or it is refused, the run
// goes on, and one warning in the program's log (standard error) says so.
#pragma once

#include <QString>
#include <QtGlobal>

class RunHold {
public:
    // `who` and `why` are shown to whoever tries to suspend, log off or shut down; `window` is
    // the native handle of the window that asks the session to wait.
    RunHold(const QString &who, const QString &why, quintptr window);
    // Lets the machine go again.
    ~RunHold();
    RunHold(const RunHold &) = delete;
    RunHold &operator=(const RunHold &) = delete;
};
