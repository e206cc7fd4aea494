// Keeps the machine from sleeping and the session from ending while an update run writes to
// printers: a printer that loses its host halfway through the image is left in download mode.
// On Linux it is a logind inhibitor lock taken over the system bus; elsewhere the platform's
// session hold (printer_link/platform.h), which the Windows backend provides. Where neither is
// to be had the run goes on, and one line on the standard error stream says so.
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

    bool held() const { return held_; }

private:
    bool held_ = false;
    // logind keeps its lock exactly as long as a copy of this descriptor is open (Linux).
    int lock_ = -1;
};
