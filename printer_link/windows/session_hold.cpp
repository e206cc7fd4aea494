#include "printer_link/windows/session_hold.h"

namespace vornik::win {

bool WindowsSessionHold::hold(
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
    return awake_;
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
