// Clocks for simulated printers.
#pragma once

#include "printer_link/platform.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>

namespace vornik::sim {

// Time that moves only when someone sleeps or a test advances it: a 190-second wait costs
// nothing. Safe to use from the user-interface thread and a worker at once.
class VirtualClock : public Clock {
public:
    explicit VirtualClock(std::uint32_t start = 0)
        : now_(start)
    { }
    std::uint32_t tickCount() override { return static_cast<std::uint32_t>(now_.load()); }
    void sleep(std::uint32_t milliseconds) override { now_ += milliseconds; }
    void advance(std::uint32_t milliseconds) { now_ += milliseconds; }
    // Milliseconds since the start, without the 32-bit wrap.
    std::uint64_t elapsed() const { return now_.load(); }

private:
    std::atomic<std::uint64_t> now_;
};

// Real time, optionally sped up for rehearsals: with factor 10 a 10-second sleep takes one.
// The factor may change while the clock runs (the bench has a speed control); the tick count
// then goes on from where it stands instead of jumping.
class ScaledRealClock : public Clock {
public:
    explicit ScaledRealClock(int factor = 1);
    std::uint32_t tickCount() override;
    void sleep(std::uint32_t milliseconds) override;
    int factor() const;
    // Factors below 1 count as 1.
    void setFactor(int factor);

private:
    std::uint64_t scaledMillisecondsLocked(std::chrono::steady_clock::time_point now) const;

    mutable std::mutex mutex_;
    int factor_;
    std::chrono::steady_clock::time_point base_;
    std::uint64_t baseMilliseconds_ = 0;
};

} // namespace vornik::sim
