// Keeps the machine from sleeping, shutting down and logging off while an update run writes to
// printers, as far as the machine lets the tool ask: a printer that loses its host halfway
// through the image is left in download mode. The hold is the platform's session hold
// (printer_link/platform.h): the Windows backend's, or logind's and the desktop portal's on Linux
// (workflow/desktop_hold.h). Whatever it cannot hold, the run goes on without; the window says
// what is not held during the run, the run report says what was and was not, and one warning in
// the program's log (standard error) says what was not.
#pragma once

#include "printer_link/platform.h"

#include <QString>
#include <QtGlobal>

#include <vector>

class RunHold {
public:
    // `who` and `why` are shown to whoever tries to suspend, log off or shut down; `window` is
    // the native handle of the window that asks the session to wait.
    RunHold(const QString &who, const QString &why, quintptr window);
    // Lets the machine go again.
    ~RunHold();
    RunHold(const RunHold &) = delete;
    RunHold &operator=(const RunHold &) = delete;

    // Every part asked for, granted or not.
    const std::vector<vornik::HoldPart> &parts() const { return parts_; }

private:
    std::vector<vornik::HoldPart> parts_;
};

// For the run report, in English: "sleep, idle (logind); log-off (desktop portal)" for the parts
// held, "shutdown (logind: Access denied)" for those that were not; "-" when there are none.
QString DescribeHeldParts(const std::vector<vornik::HoldPart> &parts);
QString DescribeUnheldParts(const std::vector<vornik::HoldPart> &parts);
// The HoldConcern bits of the parts not held.
unsigned UnheldConcerns(const std::vector<vornik::HoldPart> &parts);
