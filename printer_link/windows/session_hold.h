// The machine held awake and the session held open on Windows while printers are being
// written: SetThreadExecutionState keeps the system from sleeping when idle, a shutdown block
// reason on the main window tells the person who logs off or shuts down why the tool asks them
// to wait (the window itself refuses WM_QUERYENDSESSION during a run). Neither keeps a person
// from putting the machine to sleep (lid, power button, Start > Sleep): the execution state only
// holds off the idle timer, and a sleep that is asked for is not asked of programs first. The
// system calls go through a table so that tests can watch them being made and undone while the
// real ones still run.
#pragma once

#include "printer_link/platform.h"

#include <windows.h>

namespace vornik::win {

struct SessionCalls {
    EXECUTION_STATE(WINAPI *setThreadExecutionState)(EXECUTION_STATE) = ::SetThreadExecutionState;
    BOOL(WINAPI *shutdownBlockReasonCreate)(HWND, LPCWSTR) = ::ShutdownBlockReasonCreate;
    BOOL(WINAPI *shutdownBlockReasonDestroy)(HWND) = ::ShutdownBlockReasonDestroy;
};

// The execution state belongs to the calling thread: hold() and release() must run on the
// thread that runs the update (the user-interface thread), which lives as long as the run.
class WindowsSessionHold : public SessionHold {
public:
    explicit WindowsSessionHold(SessionCalls calls = {})
        : calls_(calls)
    { }
    ~WindowsSessionHold() override { release(); }

    // `who` is not passed on: the shutdown screen names the program by its window. Two parts:
    // sleep when idle, and shutdown or log-off (held wherever there is a window to refuse them).
    std::vector<HoldPart> hold(
        std::intptr_t window, const std::u16string &who, const std::u16string &reason) override;
    void release() override;

private:
    SessionCalls calls_;
    bool awake_ = false;
    HWND blocking_ = nullptr;
};

} // namespace vornik::win
