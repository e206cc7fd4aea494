// The run's hold on a Linux desktop: logind's inhibitor lock, taken over the system bus. It
// stands behind the platform's session-hold seam like the Windows backend's hold, but lives
// here because it needs Qt's D-Bus module, which the printer layer does not use.
#pragma once

#include "printer_link/platform.h"

class LogindHold : public vornik::SessionHold {
public:
    ~LogindHold() override { release(); }

    bool hold(
        std::intptr_t window, const std::u16string &who, const std::u16string &reason) override;
    void release() override;
    std::string whyNotHeld() const override { return whyNotHeld_; }

private:
    // logind keeps its lock exactly as long as a copy of this descriptor is open.
    int lock_ = -1;
    std::string whyNotHeld_;
};

// Installs the logind hold as the platform's session hold, unless the platform already has one.
void InstallDesktopSessionHold();
