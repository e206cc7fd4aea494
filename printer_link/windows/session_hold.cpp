#include "printer_link/windows/session_hold.h"

namespace vornik::win {

std::vector<HoldPart> WindowsSessionHold::hold(
    std::intptr_t window, const std::u16string &who, const std::u16string &reason)
{
    (void)who;
    release();
    // ES_CONTINUOUS keeps the state until it is cleared, instead of only resetting the idle
    // timer once. The display may still turn off: only the system must stay up.
    awake_ = calls_.setThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED) != 0;
    // Undone at release whatever the answer: destroying a reason that was never set does no
    // harm, a reason left behind would name a finished run at the next shutdown.
    blocking_ = reinterpret_cast<HWND>(window);
    if (blocking_)
        calls_.shutdownBlockReasonCreate(blocking_, reinterpret_cast<LPCWSTR>(reason.c_str()));
    // The refusal is the window's own answer to WM_QUERYENDSESSION; the reason only names it
    // on the shutdown screen, so a reason the system did not take still leaves it held.
    return {
        { "sleep when idle", "execution state", kHoldConcernSleep, awake_,
            awake_ ? "" : "SetThreadExecutionState refused" },
        { "shutdown, log-off", "the window's refusal", kHoldConcernShutdown | kHoldConcernLogOff,
            blocking_ != nullptr, blocking_ ? "" : "no window to refuse them" },
    };
}

void WindowsSessionHold::release()
{
    if (awake_)
        calls_.setThreadExecutionState(ES_CONTINUOUS);
    awake_ = false;
    if (blocking_)
        calls_.shutdownBlockReasonDestroy(blocking_);
    blocking_ = nullptr;
}

} // namespace vornik::win
