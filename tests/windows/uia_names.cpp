// Reads another program's window through UI Automation, as a screen reader on Windows does:
// one line per element, "CONTROL_TYPE<TAB>NAME", the window first, then its descendants depth
// first, each indented by two blanks per level.
//
//   uia_names CAPTION [SECONDS]
//
// Exit 0: the whole tree was read. 3: the window's own element was read, but the first step
// below it did not come back within SECONDS (default 10); the reason is printed. 2: no window
// with that caption, or no UI Automation.
//
// It uses uiautomationcore's own client functions (UiaNodeFromHandle, UiaNavigate,
// UiaGetPropertyValue), on which IUIAutomation is built: Debian's MinGW-w64 headers do not
// declare IUIAutomation, and the functions are looked up at run time for the same reason.
#include <windows.h>

#include <oleauto.h>

#include <cstdio>
#include <string>

namespace {

using Node = void *;
struct Condition {
    int type; // ConditionType_True = 0
};
struct CacheRequest {
    Condition *view;
    int scope; // TreeScope_Element = 1
    int *properties;
    int propertyCount;
    int *patterns;
    int patternCount;
    int mode; // AutomationElementMode_Full = 1
};
constexpr int kControlType = 30003; // UIA_ControlTypePropertyId
constexpr int kName = 30005; // UIA_NamePropertyId
constexpr int kNextSibling = 1;
constexpr int kFirstChild = 3;

HRESULT(WINAPI *NodeFromHandle)(HWND, Node *);
HRESULT(WINAPI *GetPropertyValue)(Node, int, VARIANT *);
HRESULT(WINAPI *Navigate)(Node, int, Condition *, CacheRequest *, SAFEARRAY **, BSTR *);
BOOL(WINAPI *NodeRelease)(Node);
HRESULT(WINAPI *NodeFromVariant)(VARIANT *, Node *);

Condition everything { 0 };
LONG elementsBelow = 0; // read below the window so far

std::wstring Property(Node node, int id)
{
    VARIANT value;
    VariantInit(&value);
    std::wstring text;
    if (SUCCEEDED(GetPropertyValue(node, id, &value))) {
        if (value.vt == VT_BSTR && value.bstrVal)
            text = value.bstrVal;
        else if (value.vt == VT_I4)
            text = std::to_wstring(value.lVal);
    }
    VariantClear(&value);
    return text;
}

void Print(Node node, int depth)
{
    if (depth > 0)
        InterlockedIncrement(&elementsBelow);
    const std::wstring line = std::wstring(std::size_t(depth) * 2, L' ')
        + Property(node, kControlType) + L'\t' + Property(node, kName) + L'\n';
    // UTF-8, whatever the console's code page.
    const int bytes
        = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(std::size_t(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, utf8.data(), bytes, nullptr, nullptr);
    std::fputs(utf8.c_str(), stdout);
    std::fflush(stdout);
}

// The element one step from `node` in `direction`, or nullptr.
Node Step(Node node, int direction)
{
    int properties[] = { kName };
    CacheRequest request { &everything, 1, properties, 1, nullptr, 0, 1 };
    SAFEARRAY *found = nullptr;
    BSTR structure = nullptr;
    const HRESULT result = Navigate(node, direction, &everything, &request, &found, &structure);
    if (structure)
        SysFreeString(structure);
    Node next = nullptr;
    if (SUCCEEDED(result) && found) {
        LONG first[2] = { 0, 0 };
        VARIANT element;
        VariantInit(&element);
        if (SUCCEEDED(SafeArrayGetElement(found, first, &element)))
            NodeFromVariant(&element, &next);
        VariantClear(&element);
        SafeArrayDestroy(found);
    }
    return next;
}

void Walk(Node node, int depth)
{
    Print(node, depth);
    for (Node child = Step(node, kFirstChild); child;) {
        Walk(child, depth + 1);
        Node next = Step(child, kNextSibling);
        NodeRelease(child);
        child = next;
    }
}

DWORD WINAPI WalkBelow(void *root)
{
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    for (Node child = Step(root, kFirstChild); child;) {
        Walk(child, 1);
        Node next = Step(child, kNextSibling);
        NodeRelease(child);
        child = next;
    }
    return 0;
}

template<typename Function> bool Resolve(HMODULE core, Function &function, const char *name)
{
    function = reinterpret_cast<Function>(reinterpret_cast<void *>(GetProcAddress(core, name)));
    return function != nullptr;
}

} // namespace

int wmain(int argc, wchar_t **argv)
{
    if (argc < 2) {
        std::fputs("usage: uia_names CAPTION [SECONDS]\n", stderr);
        return 2;
    }
    const DWORD limitMs = argc > 2 ? DWORD(_wtoi(argv[2])) * 1000 : 10000;
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    HMODULE core = LoadLibraryW(L"uiautomationcore.dll");
    if (!core || !Resolve(core, NodeFromHandle, "UiaNodeFromHandle")
        || !Resolve(core, GetPropertyValue, "UiaGetPropertyValue")
        || !Resolve(core, Navigate, "UiaNavigate") || !Resolve(core, NodeRelease, "UiaNodeRelease")
        || !Resolve(core, NodeFromVariant, "UiaHUiaNodeFromVariant")) {
        std::fputs("uia_names: no UI Automation client functions\n", stderr);
        return 2;
    }
    HWND window = FindWindowW(nullptr, argv[1]);
    Node root = nullptr;
    if (!window || FAILED(NodeFromHandle(window, &root)) || !root) {
        std::fputs("uia_names: no window with that caption, or no element for it\n", stderr);
        return 2;
    }
    Print(root, 0);
    // A step that never returns must not hang the caller: the walk below the window runs on a
    // thread of its own, and the process ends when the limit has passed.
    HANDLE walker = CreateThread(nullptr, 0, WalkBelow, root, 0, nullptr);
    if (WaitForSingleObject(walker, limitMs) != WAIT_OBJECT_0) {
        std::fprintf(stderr,
            "uia_names: a step below the window (UiaNavigate) did not return within %lu s, "
            "after %ld elements below it\n",
            limitMs / 1000, InterlockedCompareExchange(&elementsBelow, 0, 0));
        std::fflush(stderr);
        TerminateProcess(GetCurrentProcess(), 3);
    }
    return 0;
}
