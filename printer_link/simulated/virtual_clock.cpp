#include "virtual_clock.h"

#include <algorithm>
#include <thread>

namespace vornik::sim {

ScaledRealClock::ScaledRealClock(int factor)
    : factor_(std::max(1, factor))
    , base_(std::chrono::steady_clock::now())
{ }

std::uint64_t ScaledRealClock::scaledMillisecondsLocked(
    std::chrono::steady_clock::time_point now) const
{
    const auto real = std::chrono::duration_cast<std::chrono::microseconds>(now - base_).count();
    return baseMilliseconds_ + static_cast<std::uint64_t>(real) * factor_ / 1000;
}

std::uint32_t ScaledRealClock::tickCount()
{
    std::lock_guard lock(mutex_);
    return static_cast<std::uint32_t>(scaledMillisecondsLocked(std::chrono::steady_clock::now()));
}

void ScaledRealClock::sleep(std::uint32_t milliseconds)
{
    int factor;
    {
        std::lock_guard lock(mutex_);
        factor = factor_;
    }
    // Microseconds, so that short sleeps at a high factor still pass some real time and a
    // polling loop does not turn into a busy spin.
    std::this_thread::sleep_for(
        std::chrono::microseconds(std::uint64_t(milliseconds) * 1000 / factor));
}

int ScaledRealClock::factor() const
{
    std::lock_guard lock(mutex_);
    return factor_;
}

void ScaledRealClock::setFactor(int factor)
{
    std::lock_guard lock(mutex_);
    const auto now = std::chrono::steady_clock::now();
    baseMilliseconds_ = scaledMillisecondsLocked(now);
    base_ = now;
    factor_ = std::max(1, factor);
}

} // namespace vornik::sim
