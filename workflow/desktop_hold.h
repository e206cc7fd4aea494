// The run's hold on a Linux desktop: logind's inhibitor locks over the system bus, one lock per
// kind, and the desktop portal's log-off inhibition over the session bus, where the desktop
// offers one (logind knows no lock against logging off). It stands behind the platform's
// session-hold seam like the Windows backend's hold, but lives here because it needs Qt's D-Bus
// module, which the printer layer does not use.
#pragma once

#include "printer_link/platform.h"

#include <QString>

#include <chrono>

class DesktopHold : public vornik::SessionHold {
public:
    // The longest hold() keeps START waiting for both buses to connect and answer.
    static constexpr std::chrono::milliseconds kDefaultBound { 5000 };

    explicit DesktopHold(std::chrono::milliseconds bound = kDefaultBound)
        : bound_(bound)
    { }
    ~DesktopHold() override { release(); }

    std::vector<vornik::HoldPart> hold(
        std::intptr_t window, const std::u16string &who, const std::u16string &reason) override;
    void release() override;

private:
    std::chrono::milliseconds bound_;
    // logind keeps each lock exactly as long as a copy of its descriptor is open.
    std::vector<int> locks_;
    // The portal ends a request when the connection that made it leaves the bus, and takes
    // Close only from that connection: both stay until release().
    QString portalBus_;
    QString portalRequest_;
};

// Installs the desktop's hold as the platform's session hold, unless the platform already has
// one.
void InstallDesktopSessionHold();
