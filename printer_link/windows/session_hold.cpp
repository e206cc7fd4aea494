#include "printer_link/windows/session_hold.h"

namespace vornik::win {

bool WindowsSessionHold::hold(std::intptr_t window, const std::u16string &reason)
{
    release();
    // ES_CONTINUOUS keeps the state until it is cleared, instead of only resetting the idle
    // timer once. The display may still turn off: only the system must stay up.
    awake_ = calls_.setThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED) != 0;
    HWND handle = reinterpret_cast<HWND>(window);
    if (handle
        && calls_.shutdownBlockReasonCreate(handle, reinterpret_cast<LPCWSTR>(reason.c_str())))
        blocking_ = handle;
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
