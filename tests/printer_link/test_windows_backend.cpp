// The Windows backend against the real system calls, on a machine without a USB printer (CI
// runs it under Wine). Plain files stand in for device paths: CreateFileW, ReadFile, WriteFile
// and the sharing rules behave for them as for a printer, DeviceIoControl refuses the
// device-ID request as a driver that cannot read the ID does. A named pipe stands in for a
// printer whose read never ends; what a driver answers that Wine cannot give (the errors of a
// printer that left, a cancel it ignores) is played through the backend's call table. What only
// a printer can show (a device ID that reads, a printer leaving the bus) is not proven here.

#include "text_support.h"

#include "firmware/firmware_image.h"
#include "firmware/transfer.h"
#include "printer_link/platform.h"
#include "printer_link/printer_link.h"
#include "printer_link/windows/device_calls.h"
#include "printer_link/windows/session_hold.h"
#include "printer_link/windows/usbprint_class.h"

// Before usbprint.h, so that it defines GUID_DEVINTERFACE_USBPRINT instead of only naming it.
#include <initguid.h>
#include <usbprint.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <future>
#include <memory>
#include <string>
#include <vector>

using namespace testing;
using namespace std::string_literals;

namespace {

std::u16string TempFolder()
{
    wchar_t buffer[MAX_PATH + 1];
    const DWORD units = GetTempPathW(MAX_PATH + 1, buffer);
    REQUIRE(units > 0);
    return std::u16string(reinterpret_cast<const char16_t *>(buffer), units);
}

const wchar_t *Wide(const std::u16string &text)
{
    return reinterpret_cast<const wchar_t *>(text.c_str());
}

// A file in the temporary folder, made empty at the start and removed at the end.
struct TempFile {
    explicit TempFile(const std::u16string &name, std::string content = {})
        : path(TempFolder() + name)
    {
        const HANDLE handle = CreateFileW(
            Wide(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        REQUIRE(handle != INVALID_HANDLE_VALUE);
        DWORD written = 0;
        if (!content.empty())
            WriteFile(handle, content.data(), DWORD(content.size()), &written, nullptr);
        CloseHandle(handle);
    }
    ~TempFile() { DeleteFileW(Wide(path)); }

    std::string content() const
    {
        const HANDLE handle = CreateFileW(Wide(path), GENERIC_READ, FILE_SHARE_READ, nullptr,
            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            return "<does not open>";
        std::string bytes;
        char chunk[65536];
        DWORD got = 0;
        while (ReadFile(handle, chunk, sizeof chunk, &got, nullptr) && got > 0)
            bytes.append(chunk, got);
        CloseHandle(handle);
        return bytes;
    }

    std::u16string path;
};

std::string SystemText(DWORD error)
{
    wchar_t *text = nullptr;
    FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::string narrow;
    for (const wchar_t *unit = text; unit && *unit; ++unit)
        narrow.push_back(static_cast<char>(*unit));
    LocalFree(text);
    while (
        !narrow.empty() && (narrow.back() == '\n' || narrow.back() == '\r' || narrow.back() == ' '))
        narrow.pop_back();
    return narrow;
}

// The product's platform, with the "FDU App" boxes collected instead of shown.
struct WindowsWorld {
    WindowsWorld()
    {
        vornik::InstallPlatform(nullptr, nullptr);
        vornik::InstallErrorBox([this](const std::u16string &text, const std::u16string &) {
            errors.push_back(Printable(text));
        });
        vornik::InstallDefaultPlatform();
        ResetPrinterLinkState();
    }
    ~WindowsWorld()
    {
        vornik::InstallPlatform(nullptr, nullptr);
        vornik::InstallErrorBox({});
    }
    vornik::DevicePlatform &devices() { return *vornik::CurrentPlatform().devices; }

    std::vector<std::string> errors;
};

std::vector<std::uint8_t> Pattern(std::size_t size)
{
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 131 + (i >> 9));
    return bytes;
}

} // namespace

TEST_CASE("the class we query is the USB printer class of the system's headers")
{
    CHECK(IsEqualGUID(vornik::win::kUsbPrintInterfaceClass, GUID_DEVINTERFACE_USBPRINT));
}

TEST_CASE("no USB printer: a valid empty set, 0 printers, the selection unchanged")
{
    WindowsWorld world;
    REQUIRE(world.devices().beginEnumeration());
    std::u16string path = u"untouched";
    CHECK(world.devices().interfacePath(0, path) == vornik::InterfaceLookup::NoMoreMembers);
    CHECK(path == u"untouched"s);
    world.devices().endEnumeration();

    Lib_SetUSBDeviceFilePath(1, u"C:\\before");
    USBPrinterClassDeviceInfo table;
    std::memset(&table, 0x55, sizeof table);
    CHECK(Lib_EnumeratePrinterClassPnPDevices(&table) == 0);
    USBPrinterClassDeviceInfo empty;
    std::memset(&empty, 0, sizeof empty);
    CHECK(std::memcmp(&table, &empty, sizeof table) == 0);
    CHECK(Text(gUSBDeviceFilePath) == u"C:\\before"s);
    CHECK(world.errors.empty());
}

TEST_CASE(
    "a path that does not open: no handle, the system's reason, and the printer counts as gone")
{
    WindowsWorld world;
    const std::u16string path = u"C:\\vornik-no-such-folder\\printer";
    CHECK(world.devices().open(path, vornik::OpenMode::ReadWriteShared)
        == vornik::kInvalidDeviceHandle);
    const std::string reason = world.devices().lastErrorText();
    CHECK(reason == SystemText(ERROR_PATH_NOT_FOUND));
    CHECK_FALSE(reason.empty());

    Lib_SetUSBDeviceFilePath(1, path.c_str());
    CHECK(Lib_IsConnectionValid() == 0);
    CHECK(QueryDeviceID() == 0);
    CHECK(SendFramedCommand("ds2.set 79744, 1;") == 0);
    CHECK(ReadPrinterReply() == 0);
    CHECK(world.errors.empty());
}

TEST_CASE("a device that refuses the device-ID request is listed as unknown / unknown")
{
    WindowsWorld world;
    TempFile file(u"vornik-refuses-id.bin");
    const vornik::DeviceHandle handle
        = world.devices().open(file.path, vornik::OpenMode::ReadWriteShared);
    REQUIRE(handle != vornik::kInvalidDeviceHandle);
    std::uint8_t id[vornik::contract::kDeviceIdBytes] = {};
    CHECK_FALSE(world.devices().queryDeviceId(handle, id, sizeof id));
    CHECK_FALSE(world.devices().lastErrorText().empty());
    world.devices().close(handle);

    USBPrinterClassDeviceInfo table;
    std::memset(&table, 0, sizeof table);
    table.DeviceCount = 1;
    std::memcpy(table.DevicePath[0], file.path.c_str(), (file.path.size() + 1) * sizeof(char16_t));
    FillDeviceIdentities(&table);
    CHECK(Text(table.ProductName[0]) == u"unknown"s);
    CHECK(Text(table.SerialNumber[0]) == u"unknown"s);
    CHECK(Text(gUSBDeviceFilePath) == file.path);
    CHECK(GetPrinterStatus() == -1);
    CHECK(world.errors.empty());
}

TEST_CASE("a printer held by another program is present, and gone once its path is gone")
{
    WindowsWorld world;
    auto file = std::make_unique<TempFile>(u"vornik-held.bin");
    Lib_SetUSBDeviceFilePath(1, file->path.c_str());
    CHECK(Lib_IsConnectionValid() == 1);

    const HANDLE holder = CreateFileW(Wide(file->path), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    REQUIRE(holder != INVALID_HANDLE_VALUE);
    CHECK(world.devices().open(file->path, vornik::OpenMode::WriteExclusive)
        == vornik::kInvalidDeviceHandle);
    CHECK(world.devices().lastErrorText() == SystemText(ERROR_SHARING_VIOLATION));
    // Taking it for gone would tell the operator a printer had finished storing its firmware.
    CHECK(Lib_IsConnectionValid() == 1);
    CloseHandle(holder);

    CHECK(Lib_IsConnectionValid() == 1);
    file.reset();
    CHECK(Lib_IsConnectionValid() == 0);
}

namespace {

// CreateFileW as a printer's driver answers it: refused with gOpenError (INVALID_HANDLE_VALUE,
// the reason in GetLastError), or opened, after which the printer at gPrinterEnd, the server end
// of a named pipe, sends gAnswer. Without an answer a read of the pipe waits until the server
// writes, as a read usbprint holds does.
DWORD gOpenError = ERROR_SUCCESS;
HANDLE gPrinterEnd = INVALID_HANDLE_VALUE;
std::string gAnswer;
HANDLE WINAPI PrinterCreateFile(LPCWSTR path, DWORD access, DWORD sharing,
    LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags, HANDLE model)
{
    if (gOpenError != ERROR_SUCCESS) {
        SetLastError(gOpenError);
        return INVALID_HANDLE_VALUE;
    }
    const HANDLE handle = CreateFileW(path, access, sharing, security, disposition, flags, model);
    DWORD written = 0;
    if (handle != INVALID_HANDLE_VALUE && !gAnswer.empty())
        WriteFile(gPrinterEnd, gAnswer.data(), DWORD(gAnswer.size()), &written, nullptr);
    return handle;
}

// A driver that takes the cancel and lets the read run on: Microsoft documents that a cancelled
// operation may "continue toward completion" before it ends.
BOOL WINAPI IgnoredCancel(HANDLE, LPOVERLAPPED)
{
    return TRUE;
}

// SetupAPI's set of present printer-class interfaces, holding gListed (u"": a member whose
// detail cannot be read). Only the query for present usbprint interfaces gets it: another class,
// or a set that keeps departed interfaces, would be the wrong evidence. Members run until
// ERROR_NO_MORE_ITEMS; SetupDiGetDeviceInterfaceDetailW's size query fails with
// ERROR_INSUFFICIENT_BUFFER and names the size, the second call fills in the path.
std::vector<std::u16string> gListed;
bool gClassQueryFails = false;
HDEVINFO WINAPI ListedClassDevs(const GUID *type, PCWSTR, HWND, DWORD flags)
{
    if (gClassQueryFails || !IsEqualGUID(*type, GUID_DEVINTERFACE_USBPRINT)
        || flags != (DIGCF_PRESENT | DIGCF_DEVICEINTERFACE)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    return reinterpret_cast<HDEVINFO>(&gListed);
}
BOOL WINAPI ListedMember(
    HDEVINFO, PSP_DEVINFO_DATA, const GUID *, DWORD index, PSP_DEVICE_INTERFACE_DATA member)
{
    if (index >= gListed.size()) {
        SetLastError(ERROR_NO_MORE_ITEMS);
        return FALSE;
    }
    member->Reserved = index;
    return TRUE;
}
BOOL WINAPI ListedDetail(HDEVINFO, PSP_DEVICE_INTERFACE_DATA member,
    PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD size, PDWORD required, PSP_DEVINFO_DATA)
{
    const std::u16string &path = gListed.at(member->Reserved);
    const DWORD needed = DWORD(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath)
        + (path.size() + 1) * sizeof(wchar_t));
    if (path.empty()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    if (required)
        *required = needed;
    if (!detail || size < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(detail->DevicePath, path.c_str(), (path.size() + 1) * sizeof(wchar_t));
    return TRUE;
}
BOOL WINAPI ListedDestroy(HDEVINFO)
{
    return TRUE;
}

} // namespace

TEST_CASE("a printer counts as gone only when its path names no interface and SetupAPI agrees")
{
    const std::u16string path
        = u"\\\\?\\usb#vid_1234&pid_0001#sn1#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
    const std::u16string upper
        = u"\\\\?\\USB#VID_1234&PID_0001#SN1#{28D78FAD-5A12-11D1-AE5B-0000F803A8C2}";
    const std::u16string other
        = u"\\\\?\\usb#vid_1234&pid_0001#sn2#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
    struct Row {
        DWORD error;
        std::vector<std::u16string> listed; // u"": a member whose path cannot be read
        bool present;
    };
    const Row rows[] = {
        { ERROR_FILE_NOT_FOUND, {}, false },
        { ERROR_PATH_NOT_FOUND, {}, false },
        { ERROR_DEVICE_NOT_CONNECTED, {}, false },
        { ERROR_NO_SUCH_DEVICE, {}, false },
        { ERROR_DEV_NOT_EXIST, { other }, false },
        { ERROR_FILE_NOT_FOUND, { other, path }, true },
        { ERROR_DEVICE_NOT_CONNECTED, { upper }, true },
        { ERROR_FILE_NOT_FOUND, { other, u"" }, true },
        { ERROR_NOT_READY, {}, true }, // usbprint while the printer wakes from selective suspend
        { ERROR_NO_SYSTEM_RESOURCES, {}, true },
        { ERROR_NOT_ENOUGH_MEMORY, {}, true },
        { ERROR_SEM_TIMEOUT, {}, true },
        { ERROR_GEN_FAILURE, {}, true },
        { ERROR_SHARING_VIOLATION, {}, true },
        { ERROR_ACCESS_DENIED, {}, true },
        { ERROR_BUSY, {}, true },
    };
    const auto devices = vornik::win::MakeDevicePlatform(
        { PrinterCreateFile, ListedClassDevs, ListedMember, ListedDetail, ListedDestroy });
    for (const Row &row : rows) {
        INFO("error " << row.error << ", " << row.listed.size() << " listed");
        gOpenError = row.error;
        gListed = row.listed;
        CHECK(devices->isPresent(path) == row.present);
    }
    // A listing that cannot be had is no evidence; no selection names no printer.
    gOpenError = ERROR_FILE_NOT_FOUND;
    gListed = {};
    gClassQueryFails = true;
    CHECK(devices->isPresent(path));
    gClassQueryFails = false;
    gListed = { u"" };
    CHECK_FALSE(devices->isPresent(u""));
}

TEST_CASE("the firmware transfer writes the image into the path, byte for byte")
{
    struct Row {
        const char *name;
        std::u16string fileName;
        std::size_t size;
    };
    // The 16-bit path goes to CreateFileW unchanged, surrogate pair included.
    const Row rows[] = {
        { "one byte", u"vornik-image-1.bin", 1 },
        { "an odd size over many blocks", u"vornik-image-odd.bin", 1'000'003 },
        { "a path beyond ASCII", u"vornik-Dr\u00fccker-\u20ac-\U0001D11E.bin", 300'001 },
    };
    for (const Row &row : rows) {
        INFO(row.name);
        WindowsWorld world;
        TempFile file(row.fileName, "old content that must go");
        const std::vector<std::uint8_t> bytes = Pattern(row.size);
        vornik::MemoryFirmwareImage image(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
        std::vector<std::string> messages;
        vornik::TransferMessages report;
        report.imageFault = [&messages](const char *key) { messages.push_back(key); };
        report.failure = [&messages](const std::string &text) { messages.push_back(text); };

        CHECK(vornik::CopyFirmwareImageToPrinter(image, file.path.c_str(), report) == 1);
        CHECK(messages.empty());
        const std::string written = file.content();
        REQUIRE(written.size() >= bytes.size());
        CHECK(std::memcmp(written.data(), bytes.data(), bytes.size()) == 0);
        // The device is closed again: the path opens exclusively.
        const vornik::DeviceHandle again
            = world.devices().open(file.path, vornik::OpenMode::WriteExclusive);
        CHECK(again != vornik::kInvalidDeviceHandle);
        world.devices().close(again);
    }

    WindowsWorld world;
    const std::vector<std::uint8_t> bytes = Pattern(100);
    vornik::MemoryFirmwareImage image(bytes.data(), 100);
    int messages = 0;
    vornik::TransferMessages report;
    report.imageFault = [&messages](const char *) { ++messages; };
    report.failure = [&messages](const std::string &) { ++messages; };
    CHECK(vornik::CopyFirmwareImageToPrinter(image, u"C:\\vornik-no-such-folder\\p", report) == 0);
    CHECK(messages == 0);
}

TEST_CASE("writes on a handle stop once the time set for them is up, and the limit ends with it")
{
    WindowsWorld world;
    TempFile file(u"vornik-limited.bin");
    vornik::DevicePlatform &devices = world.devices();
    const std::uint8_t block[16] = {};

    vornik::DeviceHandle handle = devices.open(file.path, vornik::OpenMode::WriteExclusive);
    REQUIRE(handle != vornik::kInvalidDeviceHandle);
    devices.limitWriteTime(handle, 60'000);
    CHECK(devices.write(handle, block, sizeof block));
    devices.limitWriteTime(handle, 0);
    CHECK_FALSE(devices.write(handle, block, sizeof block));
    CHECK(devices.lastErrorText() == "The printer did not take all data within 0 seconds");
    devices.close(handle);

    // A new handle, even one that reuses the number, writes without the old limit.
    handle = devices.open(file.path, vornik::OpenMode::WriteExclusive);
    REQUIRE(handle != vornik::kInvalidDeviceHandle);
    CHECK(devices.write(handle, block, sizeof block));
    devices.close(handle);
}

TEST_CASE("a command goes out through WriteFile and its reply read keeps the tick clock")
{
    WindowsWorld world;
    TempFile file(u"vornik-command.bin");
    Lib_SetUSBDeviceFilePath(1, file.path.c_str());

    const auto start = std::chrono::steady_clock::now();
    REQUIRE(SendFramedCommand("ds2.set 79744, 1;") == 1);
    const auto paused = std::chrono::steady_clock::now() - start;
    CHECK(paused >= std::chrono::milliseconds(190));
    const std::string frame = std::string(vornik::contract::kFrameHead) + "ds2.set 79744, 1;"
        + vornik::contract::kFrameTail;
    CHECK(file.content() == frame);

    // The file reads as a printer that answers once: its bytes, then nothing. The read ends
    // a little over 500 ms after that answer.
    const auto readStart = std::chrono::steady_clock::now();
    CHECK(ReadPrinterReply() == static_cast<int>(frame.size()));
    const auto took = std::chrono::steady_clock::now() - readStart;
    CHECK(took >= std::chrono::milliseconds(490));
    CHECK(took < std::chrono::milliseconds(1500));
    CHECK(std::memcmp(gReplyBuffer, frame.data(), frame.size()) == 0);
}

// Wine keeps a read of an empty pipe pending until the server end writes, and ends it as
// cancelled (ERROR_OPERATION_ABORTED) when CancelIoEx names its OVERLAPPED.
TEST_CASE("a read the driver never ends is cut off at the reply read's own limits")
{
    struct Row {
        const char *name;
        std::string answer;
        bool cancelEndsRead;
        int bytes;
        int fromMs;
        int toMs;
    };
    const Row rows[] = {
        { "nothing comes", "", true, 0, 990, 1400 },
        { "an answer, then nothing", "OK;", true, 3, 490, 900 },
        { "the driver lets the cancelled read run on", "", false, 0, 1000, 1500 },
    };
    const std::u16string path = u"\\\\.\\pipe\\vornik-silent-printer";
    for (const Row &row : rows) {
        INFO(row.name);
        gPrinterEnd = CreateNamedPipeW(
            Wide(path), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
        REQUIRE(gPrinterEnd != INVALID_HANDLE_VALUE);
        gAnswer = row.answer;
        gOpenError = ERROR_SUCCESS;
        vornik::win::DeviceCalls calls;
        calls.createFile = PrinterCreateFile;
        if (!row.cancelEndsRead)
            calls.cancelIo = IgnoredCancel;
        const auto devices = vornik::win::MakeDevicePlatform(calls);
        vornik::InstallPlatform(devices.get(), &vornik::SystemClock());
        Lib_SetUSBDeviceFilePath(1, path.c_str());

        const auto start = std::chrono::steady_clock::now();
        std::string error; // the reason is kept per thread
        auto reply = std::async(std::launch::async, [&] {
            const int bytes = ReadPrinterReply();
            error = devices->lastErrorText();
            return bytes;
        });
        // A read that is never cut off would keep the suite from ending: the printer then
        // leaves, which fails the read, and the row fails.
        if (reply.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            FAIL_CHECK("the reply read did not end");
            DisconnectNamedPipe(gPrinterEnd);
        }
        CHECK(reply.get() == row.bytes);
        const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start)
                              .count();
        CHECK(took >= row.fromMs);
        CHECK(took < row.toMs);
        CHECK(std::string(reinterpret_cast<const char *>(gReplyBuffer), row.bytes) == row.answer);
        CHECK(error
            == (row.cancelEndsRead ? SystemText(ERROR_TIMEOUT)
                                   : "The printer's driver did not end a cancelled read"));
        vornik::InstallPlatform(nullptr, nullptr);
        CloseHandle(gPrinterEnd);
    }
}

TEST_CASE("the clock is GetTickCount and sleeps for real")
{
    vornik::Clock &clock = vornik::SystemClock();
    const std::uint32_t before = clock.tickCount();
    const auto start = std::chrono::steady_clock::now();
    clock.sleep(300);
    const std::uint32_t ticks = clock.tickCount() - before;
    const auto slept = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start)
                           .count();
    CHECK(ticks >= 280u);
    CHECK(ticks < 2000u);
    CHECK(slept >= 290);
    // GetTickCount moves in steps of 10 to 16 ms.
    CHECK(std::abs(static_cast<long long>(ticks) - slept) < 50);
    const std::uint32_t system = GetTickCount();
    CHECK(system - clock.tickCount() < 50u);
}

TEST_CASE("the default error box is the system's message box and returns")
{
    // Without a display the box returns at once; this shows the call is made and comes back,
    // not that an operator would see it.
    vornik::InstallPlatform(nullptr, nullptr);
    vornik::InstallErrorBox({});
    vornik::InstallDefaultPlatform();
    REQUIRE(vornik::CurrentPlatform().errorBox);
    vornik::ShowPrinterLayerError(u"VornikFDU test: this box closes itself");
    vornik::InstallPlatform(nullptr, nullptr);
    vornik::InstallErrorBox({});
}

namespace {

// Every session call the hold makes, with what the real call answered.
struct SessionCall {
    std::string name;
    EXECUTION_STATE flags = 0;
    HWND window = nullptr;
    std::u16string reason;
    unsigned long long result = 0;
};
std::vector<SessionCall> gSessionCalls;

EXECUTION_STATE WINAPI RecordExecutionState(EXECUTION_STATE flags)
{
    const EXECUTION_STATE previous = SetThreadExecutionState(flags);
    gSessionCalls.push_back({ "SetThreadExecutionState", flags, nullptr, {}, previous });
    return previous;
}

BOOL WINAPI RecordBlockReasonCreate(HWND window, LPCWSTR reason)
{
    const BOOL done = ShutdownBlockReasonCreate(window, reason);
    gSessionCalls.push_back({ "ShutdownBlockReasonCreate", 0, window,
        reinterpret_cast<const char16_t *>(reason), static_cast<unsigned long long>(done) });
    return done;
}

BOOL WINAPI RecordBlockReasonDestroy(HWND window)
{
    const BOOL done = ShutdownBlockReasonDestroy(window);
    gSessionCalls.push_back(
        { "ShutdownBlockReasonDestroy", 0, window, {}, static_cast<unsigned long long>(done) });
    return done;
}

// The system's own view of this thread's execution state. A call without ES_CONTINUOUS only
// resets the idle timers; it leaves a continuous state as it was and answers with it.
EXECUTION_STATE CurrentExecutionState()
{
    return SetThreadExecutionState(0);
}

} // namespace

TEST_CASE("a run holds the system awake and names its reason to the shutdown, and undoes both")
{
    // A message-only window: it needs no display, and the block reason takes any window.
    HWND window = CreateWindowExW(0, L"STATIC", L"VornikFDU test", 0, 0, 0, 0, 0, HWND_MESSAGE,
        nullptr, GetModuleHandleW(nullptr), nullptr);
    REQUIRE(window != nullptr);
    gSessionCalls.clear();
    {
        vornik::win::WindowsSessionHold hold(
            { RecordExecutionState, RecordBlockReasonCreate, RecordBlockReasonDestroy });
        const auto parts = hold.hold(reinterpret_cast<std::intptr_t>(window), u"ZELTAN QXR3303 FDU",
            u"Printer firmware update");
        // What the run report says is held: the idle sleep and the end of the session.
        REQUIRE(parts.size() == 2);
        CHECK((parts[0].held && parts[0].concerns == vornik::kHoldConcernSleep));
        CHECK((parts[1].held
            && parts[1].concerns == (vornik::kHoldConcernShutdown | vornik::kHoldConcernLogOff)));
        REQUIRE(gSessionCalls.size() == 2);
        CHECK(gSessionCalls[0].name == "SetThreadExecutionState");
        CHECK(gSessionCalls[0].flags == (ES_CONTINUOUS | ES_SYSTEM_REQUIRED));
        CHECK(gSessionCalls[0].result != 0); // 0 is the call's failure
        CHECK(gSessionCalls[1].name == "ShutdownBlockReasonCreate");
        CHECK(gSessionCalls[1].window == window);
        CHECK(gSessionCalls[1].reason == u"Printer firmware update");
        CHECK((CurrentExecutionState() & (ES_CONTINUOUS | ES_SYSTEM_REQUIRED))
            == (ES_CONTINUOUS | ES_SYSTEM_REQUIRED));

        hold.release();
        CHECK((CurrentExecutionState() & ES_SYSTEM_REQUIRED) == 0);
        // Cleared with ES_CONTINUOUS alone; the block reason goes with its window.
        REQUIRE(gSessionCalls.size() == 4);
        CHECK(gSessionCalls[2].name == "SetThreadExecutionState");
        CHECK(gSessionCalls[2].flags == ES_CONTINUOUS);
        CHECK((gSessionCalls[2].result & ES_SYSTEM_REQUIRED) != 0);
        CHECK(gSessionCalls[3].name == "ShutdownBlockReasonDestroy");
        CHECK(gSessionCalls[3].window == window);
        // Wine does not implement block reasons and answers 0; Windows sets the reason.
        MESSAGE("ShutdownBlockReasonCreate answered " << gSessionCalls[1].result);

        // A second release, and the one of the destructor, undo nothing twice.
        hold.release();
        CHECK(gSessionCalls.size() == 4);
    }
    CHECK(gSessionCalls.size() == 4);
    DestroyWindow(window);
}

TEST_CASE("the product's platform carries the session hold")
{
    vornik::InstallPlatform(nullptr, nullptr);
    vornik::InstallSessionHold(nullptr);
    vornik::InstallDefaultPlatform();
    CHECK(vornik::CurrentPlatform().session != nullptr);
    vornik::InstallPlatform(nullptr, nullptr);
    vornik::InstallSessionHold(nullptr);
    vornik::InstallErrorBox({});
}
