// The printer layer on Windows, over the USB printer-class driver (usbprint.sys): SetupAPI lists
// the printer-class device interfaces, CreateFileW opens one by its interface path, the device
// ID comes from IOCTL_PAR_QUERY_DEVICE_ID, and ReadFile/WriteFile carry the data: overlapped on
// the shared handle, so that a read usbprint holds can be cancelled, synchronous on the firmware
// handle. Also the product's clock (GetTickCount, Sleep) and its default error box (MessageBoxW).
#include "printer_link/device_contract.h"
#include "printer_link/platform.h"
#include "printer_link/windows/device_calls.h"
#include "printer_link/windows/session_hold.h"
#include "printer_link/windows/usbprint_class.h"

#include <algorithm>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace vornik {

namespace {

// usbprint answers WriteFile with "nothing written" while the printer holds its data back; the
// write then tries again after this pause until the stall limit.
constexpr DWORD kStalledWritePauseMs = 50;
constexpr std::size_t kLargestWrite = 1 << 20;
// A read that has to wait is given at least this long, as the Linux backend's reads are.
constexpr DWORD kShortestReadWaitMs = 50;
// How long a cancelled read may take to end. A driver that lets it run on past this is left
// with it: the read fails, and its buffer stays the driver's.
constexpr DWORD kCancelledReadEndMs = 100;

thread_local std::string tLastError;

// The time all writes on one handle may take, set by the transfer on the thread that then
// writes: so it needs no lock, and a probe on another thread never sees it.
struct WriteTimeLimit {
    DeviceHandle handle = kInvalidDeviceHandle;
    std::uint32_t from = 0;
    std::uint32_t milliseconds = 0;
};
thread_local WriteTimeLimit tWriteTimeLimit;

std::string Utf8(const wchar_t *text, int units)
{
    if (units <= 0)
        return {};
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, units, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return {};
    std::string narrow(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, units, narrow.data(), bytes, nullptr, nullptr);
    return narrow;
}

void Fail(DWORD error)
{
    wchar_t *text = nullptr;
    const DWORD units = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::string message = text ? Utf8(text, static_cast<int>(units)) : std::string();
    if (text)
        LocalFree(text);
    while (!message.empty()
        && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
        message.pop_back();
    tLastError = message.empty() ? "Windows error " + std::to_string(error) : message;
}

const wchar_t *Wide(const std::u16string &text)
{
    return reinterpret_cast<const wchar_t *>(text.c_str());
}

// An open printer, handed to the layer as its DeviceHandle. The shared handle is overlapped:
// each call on it carries an OVERLAPPED at the handle's own position (usbprint ignores it; the
// files that stand in for printers in tests need it) and waits for the call to end, as a
// synchronous call does; only a read is bounded. The firmware handle is synchronous, so its
// WriteFile is exactly the call it always was.
struct Device {
    HANDLE file = INVALID_HANDLE_VALUE;
    bool overlapped = false;
    std::uint64_t position = 0;
    std::uint32_t quietSince = 0; // the tick of the open or of the last bytes read
    bool answered = false; // bytes have been read on this handle
};

Device &AsDevice(DeviceHandle handle)
{
    return *reinterpret_cast<Device *>(handle);
}

// The OVERLAPPED of one call at the device's position, with an event of its own.
struct Overlapped {
    explicit Overlapped(const Device &device)
    {
        io.Offset = static_cast<DWORD>(device.position);
        io.OffsetHigh = static_cast<DWORD>(device.position >> 32);
        io.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    ~Overlapped()
    {
        if (io.hEvent)
            CloseHandle(io.hEvent);
    }
    Overlapped(const Overlapped &) = delete;
    Overlapped &operator=(const Overlapped &) = delete;

    OVERLAPPED io {};
};

// Starts a call with `start` and waits for it to end, as a synchronous handle would; false with
// the call's error in GetLastError.
template<typename Start> bool Complete(Device &device, Start start, DWORD &count)
{
    count = 0;
    Overlapped call(device);
    if (!call.io.hEvent)
        return false;
    if (!start(&call.io) && GetLastError() != ERROR_IO_PENDING)
        return false;
    if (!GetOverlappedResult(device.file, &call.io, &count, TRUE))
        return false;
    device.position += count;
    return true;
}

// How long a read may wait: until the reply read it serves would end by its own limits, which
// it counts the same way, from the open and from the last bytes that came. Ending the read
// there takes nothing from it.
DWORD ReadWait(const Device &device)
{
    const std::uint32_t limit
        = device.answered ? contract::kReplyGapLimitMs : contract::kReplySilenceLimitMs;
    const std::uint32_t quiet = SystemClock().tickCount() - device.quietSince;
    return std::max<DWORD>(quiet < limit ? limit - quiet : 0, kShortestReadWaitMs);
}

bool Usable(DeviceHandle handle)
{
    return handle != kInvalidDeviceHandle && handle != 0;
}

// The errors with which CreateFileW says that no device interface answers to a path any more.
// Every other refusal (a printer waking from selective suspend answers ERROR_NOT_READY, a system
// short of resources ERROR_NO_SYSTEM_RESOURCES, another program's hold a sharing violation) says
// nothing of the printer having left.
bool SaysInterfaceIsGone(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_NO_SUCH_DEVICE:
    case ERROR_DEV_NOT_EXIST:
        return true;
    default:
        return false;
    }
}

class WindowsDevicePlatform : public DevicePlatform {
public:
    explicit WindowsDevicePlatform(win::DeviceCalls calls)
        : calls_(calls)
    { }
    ~WindowsDevicePlatform() override { endEnumeration(); }

    bool beginEnumeration() override
    {
        endEnumeration();
        set_ = presentInterfaces();
        if (set_ == INVALID_HANDLE_VALUE) {
            Fail(GetLastError());
            return false;
        }
        return true;
    }

    InterfaceLookup interfacePath(int index, std::u16string &path) override
    {
        return memberPath(set_, index, path);
    }

    void endEnumeration() override
    {
        if (set_ != INVALID_HANDLE_VALUE)
            calls_.destroyInfoList(set_);
        set_ = INVALID_HANDLE_VALUE;
    }

    DeviceHandle open(const std::u16string &path, OpenMode mode) override
    {
        DWORD error = ERROR_SUCCESS;
        const HANDLE handle = create(path, mode, error);
        if (handle == INVALID_HANDLE_VALUE) {
            Fail(error);
            return kInvalidDeviceHandle;
        }
        auto *device = new Device;
        device->file = handle;
        device->overlapped = mode == OpenMode::ReadWriteShared;
        device->quietSince = SystemClock().tickCount();
        return reinterpret_cast<DeviceHandle>(device);
    }

    bool isPresent(const std::u16string &path) override
    {
        if (path.empty())
            return false;
        DWORD error = ERROR_SUCCESS;
        const HANDLE handle = create(path, OpenMode::ReadWriteShared, error);
        if (handle != INVALID_HANDLE_VALUE) {
            CloseHandle(handle);
            return true;
        }
        // Taking a printer for gone would report an update finished while it may still be
        // storing the image: only a path that names no interface any more, and an interface
        // that SetupAPI no longer lists as present, are evidence that it left.
        if (!SaysInterfaceIsGone(error))
            return true;
        return mayStillBeListed(path);
    }

    bool queryDeviceId(DeviceHandle handle, std::uint8_t *buffer, std::size_t size) override
    {
        if (!Usable(handle) || !buffer || size == 0 || size > MAXDWORD) {
            Fail(ERROR_INVALID_PARAMETER);
            return false;
        }
        Device &device = AsDevice(handle);
        DWORD returned = 0;
        const auto query = [&](OVERLAPPED *io) {
            return DeviceIoControl(device.file, IOCTL_PAR_QUERY_DEVICE_ID, nullptr, 0, buffer,
                static_cast<DWORD>(size), io ? nullptr : &returned, io);
        };
        if (device.overlapped ? !Complete(device, query, returned) : !query(nullptr)) {
            Fail(GetLastError());
            return false;
        }
        // The ID comes with its zero; an older, longer ID in the buffer must not show behind a
        // driver that leaves it out.
        if (returned < size)
            buffer[returned] = 0;
        return true;
    }

    bool write(DeviceHandle handle, const std::uint8_t *data, std::size_t size) override
    {
        if (!Usable(handle) || (!data && size > 0)) {
            Fail(ERROR_INVALID_PARAMETER);
            return false;
        }
        Device &device = AsDevice(handle);
        Clock &clock = SystemClock();
        std::uint32_t lastProgress = clock.tickCount();
        const bool limited = tWriteTimeLimit.handle == handle;
        std::size_t done = 0;
        while (done < size) {
            // A synchronous WriteFile cannot be cut short, so the limit is checked between the
            // calls: a printer that crawls is stopped one call after its time is up.
            if (limited
                && clock.tickCount() - tWriteTimeLimit.from >= tWriteTimeLimit.milliseconds) {
                tLastError = contract::WriteTimeLimitText(tWriteTimeLimit.milliseconds);
                return false;
            }
            const DWORD chunk = static_cast<DWORD>(std::min(size - done, kLargestWrite));
            DWORD written = 0;
            const auto put = [&](OVERLAPPED *io) {
                return WriteFile(device.file, data + done, chunk, io ? nullptr : &written, io);
            };
            if (device.overlapped ? !Complete(device, put, written) : !put(nullptr)) {
                Fail(GetLastError());
                return false;
            }
            if (written > 0) {
                done += std::min<std::size_t>(written, chunk);
                lastProgress = clock.tickCount();
                continue;
            }
            if (clock.tickCount() - lastProgress >= contract::kWriteStallLimitMs) {
                tLastError = contract::WriteStallText();
                return false;
            }
            clock.sleep(kStalledWritePauseMs);
        }
        return true;
    }

    bool read(
        DeviceHandle handle, std::uint8_t *buffer, std::size_t capacity, std::size_t &got) override
    {
        got = 0;
        if (!Usable(handle) || (!buffer && capacity > 0)) {
            Fail(ERROR_INVALID_PARAMETER);
            return false;
        }
        Device &device = AsDevice(handle);
        const DWORD wanted = static_cast<DWORD>(std::min(capacity, kLargestWrite));
        DWORD count = 0;
        if (!device.overlapped || wanted == 0) {
            if (!ReadFile(device.file, buffer, wanted, &count, nullptr)) {
                Fail(GetLastError());
                return false;
            }
            got = std::min<std::size_t>(count, capacity);
            return true;
        }

        // The read fills a buffer of its own: if the driver keeps a cancelled read, the
        // buffer and the OVERLAPPED have to stay valid for as long as it does.
        struct Pending {
            explicit Pending(const Device &device, DWORD size)
                : call(device)
                , bytes(size)
            { }
            Overlapped call;
            std::vector<std::uint8_t> bytes;
        };
        auto pending = std::make_unique<Pending>(device, wanted);
        OVERLAPPED &io = pending->call.io;
        if (!io.hEvent) {
            Fail(GetLastError());
            return false;
        }
        bool cancelled = false;
        if (!ReadFile(device.file, pending->bytes.data(), wanted, nullptr, &io)) {
            const DWORD error = GetLastError();
            if (error == ERROR_HANDLE_EOF)
                return true; // a file read to its end: nothing came
            if (error != ERROR_IO_PENDING) {
                Fail(error);
                return false;
            }
            if (WaitForSingleObject(io.hEvent, ReadWait(device)) != WAIT_OBJECT_0) {
                cancelled = true;
                calls_.cancelIo(device.file, &io);
                if (WaitForSingleObject(io.hEvent, kCancelledReadEndMs) != WAIT_OBJECT_0) {
                    pending.release();
                    tLastError = "The printer's driver did not end a cancelled read";
                    return false;
                }
            }
        }
        if (!GetOverlappedResult(device.file, &io, &count, FALSE)) {
            const DWORD error = GetLastError();
            if (error == ERROR_HANDLE_EOF)
                return true;
            // The read was ended here; the driver's own word for that is "aborted".
            Fail(cancelled && error == ERROR_OPERATION_ABORTED ? ERROR_TIMEOUT : error);
            return false;
        }
        // Bytes that came while the read was being cancelled are kept.
        got = std::min<std::size_t>(count, capacity);
        std::copy_n(pending->bytes.data(), got, buffer);
        device.position += count;
        if (got > 0) {
            device.answered = true;
            device.quietSince = SystemClock().tickCount();
        }
        return true;
    }

    void limitWriteTime(DeviceHandle handle, std::uint32_t milliseconds) override
    {
        if (Usable(handle))
            tWriteTimeLimit = { handle, SystemClock().tickCount(), milliseconds };
    }

    void close(DeviceHandle handle) override
    {
        if (tWriteTimeLimit.handle == handle)
            tWriteTimeLimit = {};
        if (!Usable(handle))
            return;
        Device *device = &AsDevice(handle);
        CloseHandle(device->file);
        delete device;
    }

    std::string lastErrorText() const override { return tLastError; }

private:
    HDEVINFO presentInterfaces() const
    {
        return calls_.getClassDevs(
            &win::kUsbPrintInterfaceClass, nullptr, nullptr, win::kPresentInterfaces);
    }

    InterfaceLookup memberPath(HDEVINFO set, int index, std::u16string &path) const
    {
        if (set == INVALID_HANDLE_VALUE || index < 0)
            return InterfaceLookup::NoMoreMembers;
        SP_DEVICE_INTERFACE_DATA member {};
        member.cbSize = sizeof member;
        if (!calls_.enumInterfaces(
                set, nullptr, &win::kUsbPrintInterfaceClass, static_cast<DWORD>(index), &member))
            return InterfaceLookup::NoMoreMembers;

        // The size query has to fail for want of room and name the size; anything else means
        // the member cannot be read right now.
        DWORD required = 0;
        if (calls_.interfaceDetail(set, &member, nullptr, 0, &required, nullptr)
            || GetLastError() != ERROR_INSUFFICIENT_BUFFER
            || required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W))
            return InterfaceLookup::DetailUnavailable;

        // DWORDs, for the alignment the record needs.
        std::vector<DWORD> storage((required + sizeof(DWORD) - 1) / sizeof(DWORD));
        auto *detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W *>(storage.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        if (!calls_.interfaceDetail(set, &member, detail, required, nullptr, nullptr))
            return InterfaceLookup::DetailUnavailable;

        const std::size_t room
            = (required - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath))
            / sizeof(wchar_t);
        const wchar_t *text = detail->DevicePath;
        const std::size_t units = std::find(text, text + room, L'\0') - text;
        path.assign(reinterpret_cast<const char16_t *>(text), units);
        return InterfaceLookup::Found;
    }

    // False only when SetupAPI's present printer interfaces were all read and none is `path`.
    // A set that cannot be had, or a member whose path cannot be read, might be the printer.
    // Paths are names of the object manager, which ignores case.
    bool mayStillBeListed(const std::u16string &path) const
    {
        const HDEVINFO set = presentInterfaces();
        if (set == INVALID_HANDLE_VALUE)
            return true;
        bool listed = false;
        std::u16string member;
        for (int index = 0; !listed; ++index) {
            const InterfaceLookup lookup = memberPath(set, index, member);
            if (lookup == InterfaceLookup::NoMoreMembers)
                break;
            listed = lookup == InterfaceLookup::DetailUnavailable
                || CompareStringOrdinal(Wide(member), -1, Wide(path), -1, TRUE) == CSTR_EQUAL;
        }
        calls_.destroyInfoList(set);
        return listed;
    }

    // CreateFileW with the access of `mode`; `error` is its GetLastError, taken at once.
    HANDLE create(const std::u16string &path, OpenMode mode, DWORD &error) const
    {
        if (path.empty()) {
            error = ERROR_FILE_NOT_FOUND;
            return INVALID_HANDLE_VALUE;
        }
        const bool shared = mode == OpenMode::ReadWriteShared;
        const HANDLE handle
            = calls_.createFile(Wide(path), shared ? GENERIC_READ | GENERIC_WRITE : GENERIC_WRITE,
                shared ? FILE_SHARE_READ | FILE_SHARE_WRITE : 0, nullptr, OPEN_EXISTING,
                shared ? FILE_FLAG_OVERLAPPED : 0, nullptr);
        error = handle == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
        return handle;
    }

    win::DeviceCalls calls_;
    HDEVINFO set_ = INVALID_HANDLE_VALUE;
};

class TickClock : public Clock {
public:
    std::uint32_t tickCount() override { return GetTickCount(); }
    void sleep(std::uint32_t milliseconds) override { Sleep(milliseconds); }
};

} // namespace

std::unique_ptr<DevicePlatform> win::MakeDevicePlatform(DeviceCalls calls)
{
    return std::make_unique<WindowsDevicePlatform>(calls);
}

Clock &SystemClock()
{
    static TickClock clock;
    return clock;
}

void InstallDefaultPlatform()
{
    if (!CurrentPlatform().errorBox) {
        InstallErrorBox([](const std::u16string &text, const std::u16string &caption) {
            MessageBoxW(nullptr, Wide(text), Wide(caption), MB_ICONERROR | MB_OK);
        });
    }
    if (!CurrentPlatform().session) {
        static win::WindowsSessionHold session;
        InstallSessionHold(&session);
    }
    if (CurrentPlatform().devices)
        return;
    static WindowsDevicePlatform platform { win::DeviceCalls {} };
    InstallPlatform(&platform, &SystemClock());
}

} // namespace vornik
