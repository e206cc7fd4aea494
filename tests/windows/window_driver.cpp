// Drives another program's windows from outside, through the window manager's own calls, the
// way an operator's mouse or the system's device manager would reach them: finds a top-level
// window by its caption, posts messages into its queue, reads a message box and presses OK.
// No Qt: it must see the program only as Windows shows it.
//
//   window_driver wait CAPTION SECONDS           waits for the window; prints its size
//   window_driver size CAPTION                    prints "WIDTH HEIGHT" of the window
//   window_driver devicechange CAPTION            posts WM_DEVICECHANGE, DBT_DEVNODES_CHANGED
//   window_driver click CAPTION X Y               a left click at client pixel X, Y
//   window_driver close CAPTION                   posts WM_CLOSE
//   window_driver okbox CAPTION TEXT SECONDS      waits for a message box, checks its text
//                                                 (exactly), presses its OK button
//   window_driver gone CAPTION SECONDS            waits until no such window is left
//
// Exit status 0 when it did what was asked, 1 when not (the reason on stderr), 2 on misuse.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

constexpr WPARAM kDevNodesChanged = 0x0007; // DBT_DEVNODES_CHANGED, <dbt.h>

struct Search {
    const wchar_t *caption;
    HWND found;
};

BOOL CALLBACK MatchCaption(HWND window, LPARAM context)
{
    auto *search = reinterpret_cast<Search *>(context);
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    if (IsWindowVisible(window) && std::wcscmp(text, search->caption) == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// FindWindowW would also take a hidden window of that caption; an operator sees only shown ones.
HWND FindShown(const wchar_t *caption)
{
    Search search { caption, nullptr };
    EnumWindows(MatchCaption, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitFor(const wchar_t *caption, double seconds)
{
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000);
    for (;;) {
        if (HWND window = FindShown(caption))
            return window;
        if (GetTickCount64() >= end)
            return nullptr;
        Sleep(100);
    }
}

std::string Narrow(const wchar_t *text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string narrow(size > 0 ? size - 1 : 0, '\0');
    if (size > 1)
        WideCharToMultiByte(CP_UTF8, 0, text, -1, narrow.data(), size, nullptr, nullptr);
    return narrow;
}

int Missing(const wchar_t *caption)
{
    std::fprintf(stderr, "window_driver: no shown window with the caption \"%s\"\n",
        Narrow(caption).c_str());
    return 1;
}

void PrintSize(HWND window)
{
    RECT rect {};
    GetWindowRect(window, &rect);
    std::printf("%ld %ld\n", rect.right - rect.left, rect.bottom - rect.top);
}

struct BoxText {
    std::wstring text;
    HWND okButton = nullptr;
};

BOOL CALLBACK ReadBoxChild(HWND child, LPARAM context)
{
    auto *box = reinterpret_cast<BoxText *>(context);
    wchar_t kind[64] = {};
    GetClassNameW(child, kind, 64);
    wchar_t text[1024] = {};
    GetWindowTextW(child, text, 1024);
    // A message box holds its text in a Static control (id 0xFFFF) beside the icon's one,
    // which has no text; the OK button carries the id IDOK.
    if (_wcsicmp(kind, L"Static") == 0 && text[0] != L'\0')
        box->text = text;
    if (_wcsicmp(kind, L"Button") == 0 && GetDlgCtrlID(child) == IDOK)
        box->okButton = child;
    return TRUE;
}

int Run(int argc, wchar_t **argv)
{
    if (argc < 3)
        return 2;
    const std::wstring command = argv[1];
    const wchar_t *caption = argv[2];
    if (command == L"wait" && argc == 4) {
        HWND window = WaitFor(caption, _wtof(argv[3]));
        if (!window)
            return Missing(caption);
        PrintSize(window);
        return 0;
    }
    if (command == L"gone" && argc == 4) {
        const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(_wtof(argv[3]) * 1000);
        while (FindShown(caption)) {
            if (GetTickCount64() >= end) {
                std::fprintf(
                    stderr, "window_driver: \"%s\" is still shown\n", Narrow(caption).c_str());
                return 1;
            }
            Sleep(100);
        }
        return 0;
    }
    if (command == L"okbox" && argc == 5) {
        HWND box = WaitFor(caption, _wtof(argv[4]));
        if (!box)
            return Missing(caption);
        BoxText read;
        EnumChildWindows(box, ReadBoxChild, reinterpret_cast<LPARAM>(&read));
        std::printf("%s\n", Narrow(read.text.c_str()).c_str());
        if (read.text != argv[3]) {
            std::fprintf(stderr, "window_driver: the box says \"%s\", expected \"%s\"\n",
                Narrow(read.text.c_str()).c_str(), Narrow(argv[3]).c_str());
            return 1;
        }
        if (!read.okButton) {
            std::fprintf(stderr, "window_driver: the box has no OK button\n");
            return 1;
        }
        // What a press of the button tells its dialog.
        PostMessageW(
            box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(read.okButton));
        return 0;
    }
    HWND window = FindShown(caption);
    if (!window)
        return Missing(caption);
    if (command == L"size" && argc == 3) {
        PrintSize(window);
        return 0;
    }
    if (command == L"devicechange" && argc == 3)
        return PostMessageW(window, WM_DEVICECHANGE, kDevNodesChanged, 0) ? 0 : 1;
    if (command == L"close" && argc == 3)
        return PostMessageW(window, WM_CLOSE, 0, 0) ? 0 : 1;
    if (command == L"click" && argc == 5) {
        const LPARAM at = MAKELPARAM(_wtoi(argv[3]), _wtoi(argv[4]));
        PostMessageW(window, WM_MOUSEMOVE, 0, at);
        PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
        PostMessageW(window, WM_LBUTTONUP, 0, at);
        return 0;
    }
    return 2;
}

} // namespace

int wmain(int argc, wchar_t **argv)
{
    // Sizes in the screen's own pixels: a process unaware of the resolution would be shown
    // every other window scaled back to 96 dpi.
    SetProcessDPIAware();
    const int status = Run(argc, argv);
    if (status == 2)
        std::fprintf(stderr, "window_driver: unknown command or wrong arguments\n");
    std::fflush(stdout);
    return status;
}
