// The machine's own printers and clock for the product on Linux. Kept apart from the backend
// so that a program can link the backend (the tests do) and still choose its own default.
#include "linux_backend.h"
#include "udev_directory.h"

#include <chrono>
#include <thread>

namespace vornik {

namespace {

class SteadyClock : public Clock {
public:
    std::uint32_t tickCount() override
    {
        const auto since = std::chrono::steady_clock::now().time_since_epoch();
        // Wraps at 2^32 like the tick count the waits are written against.
        return static_cast<std::uint32_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
    }
    void sleep(std::uint32_t milliseconds) override
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
};

} // namespace

Clock &SystemClock()
{
    static SteadyClock clock;
    return clock;
}

void InstallDefaultPlatform()
{
    if (CurrentPlatform().devices)
        return;
    static linux_backend::UdevDirectory directory;
    static linux_backend::LinuxDevicePlatform platform(
        linux_backend::RealSyscalls(), directory, SystemClock());
    InstallPlatform(&platform, &SystemClock());
}

} // namespace vornik
