// The one seam between the printer layer and the operating system.
//
// Everything the printer layer and the firmware transfer need from the machine goes through
// here: the printer-class device interfaces (list, open, device ID, write, read, close), a
// wrapping 32-bit millisecond clock with sleep, and the error box of the printer layer.
// Backends live in linux/, windows/ and simulated/; which one a program gets is decided when
// it is linked (see DefaultDevicePlatform). Tests install a simulated platform explicitly.
//
// The layer is Qt-free on purpose: the same code is cross-compiled for Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vornik {

// Paths, device IDs and error texts cross the seam as 16-bit units; 8-bit text (a Linux node
// name, device-ID bytes, an exception's what()) becomes one unit of the same value per byte.
inline std::u16string Widen(std::string_view bytes)
{
    std::u16string wide;
    wide.reserve(bytes.size());
    for (unsigned char byte : bytes)
        wide.push_back(byte);
    return wide;
}

// An open device. Backends hand out small positive numbers or OS handles cast to this type.
using DeviceHandle = std::intptr_t;
inline constexpr DeviceHandle kInvalidDeviceHandle = -1;

enum class OpenMode {
    // Probe, device ID and commands: read and write, others may open the device too.
    ReadWriteShared,
    // Firmware stream: write only, nobody else may hold the device.
    WriteExclusive,
};

enum class InterfaceLookup {
    Found, // the member exists and its path was read
    NoMoreMembers, // the index is past the last present interface
    DetailUnavailable, // the member exists but its path could not be read (this time)
};

class DevicePlatform {
public:
    virtual ~DevicePlatform() = default;

    // Opens the set of present printer-class interfaces for one enumeration.
    // False when the class query fails; then endEnumeration is not called.
    virtual bool beginEnumeration() = 0;
    // Member `index` of the set opened by beginEnumeration, in the platform's own order.
    virtual InterfaceLookup interfacePath(int index, std::u16string &path) = 0;
    virtual void endEnumeration() = 0;

    virtual DeviceHandle open(const std::u16string &path, OpenMode mode) = 0;
    // Fills `buffer` with the IEEE 1284 device ID as 8-bit text: no length prefix, ends with a
    // zero byte when it fits. False when the driver refuses the request.
    virtual bool queryDeviceId(DeviceHandle handle, std::uint8_t *buffer, std::size_t size) = 0;
    // Writes all `size` bytes or fails. A write that makes no progress for a long time (see
    // kWriteStallLimitMs) fails too, so that a wedged printer cannot hang a transfer forever.
    virtual bool write(DeviceHandle handle, const std::uint8_t *data, std::size_t size) = 0;
    // Bounds all writes on `handle` together: once `milliseconds` have passed from this call, a
    // write still going fails even while the printer keeps taking data, so a printer that
    // crawls cannot hold a transfer for days. Backends that cannot bound a write ignore it.
    virtual void limitWriteTime(DeviceHandle handle, std::uint32_t milliseconds)
    {
        (void)handle;
        (void)milliseconds;
    }
    // Returns with or without data; `got` is 0 when nothing came. The reply read keeps its own
    // time, so a backend should not block for long: Linux and the simulation wait about 50 ms
    // at most; Windows waits as long as usbprint holds its read, but no longer than the reply
    // read would wait for it, and then fails (printer_link/README.md).
    virtual bool read(
        DeviceHandle handle, std::uint8_t *buffer, std::size_t capacity, std::size_t &got)
        = 0;
    virtual void close(DeviceHandle handle) = 0;
    // The connection probe: whether the printer at `path` is still attached. The workflow reads
    // "no longer present" as "left the bus", so a backend whose driver turns away a second
    // opener overrides this: a printer that another program holds open has not left.
    virtual bool isPresent(const std::u16string &path)
    {
        const DeviceHandle handle = open(path, OpenMode::ReadWriteShared);
        if (handle == kInvalidDeviceHandle)
            return false;
        close(handle);
        return true;
    }
    // Why the last failed operation on this thread failed, in words an operator can pass on
    // ("No such device"). Empty when the backend cannot tell.
    virtual std::string lastErrorText() const { return {}; }
    // How many interfaces of the last enumeration this account had no permission to open. Their
    // identity cannot be read, so the layer lists them as "unknown" and the window never offers
    // them; this count is how the window can still tell the operator why the list is short.
    virtual int deniedInLastEnumeration() const { return 0; }
    // How many printers on the bus the last enumeration could not list because another program
    // has taken them from the printer driver (on Linux, a print system detaching usblp). They
    // have no interface to open at all, so without this count they would simply be missing.
    virtual int takenInLastEnumeration() const { return 0; }

    // Device-change notices: the backend calls `listener` once per arrival or removal of a
    // device, from any thread. A backend that learns of changes through a file descriptor
    // returns it from notificationFd(); its owner then calls readNotifications() whenever the
    // descriptor becomes readable, and the listener runs from there.
    virtual void setChangeListener(std::function<void()> listener) { (void)listener; }
    virtual int notificationFd() const { return -1; }
    virtual void readNotifications() { }
};

// GetTickCount and Sleep: milliseconds that wrap at 2^32.
class Clock {
public:
    virtual ~Clock() = default;
    virtual std::uint32_t tickCount() = 0;
    virtual void sleep(std::uint32_t milliseconds) = 0;
};

// What an operator would see go wrong if a part of the session hold were missing.
enum HoldConcern : unsigned {
    kHoldConcernSleep = 1, // the machine suspends, by itself, by its lid or when asked to
    kHoldConcernShutdown = 2, // it powers off or restarts
    kHoldConcernLogOff = 4, // the session ends, and the tool with it
};

// One lock or request of a session hold, and whether the machine granted it.
struct HoldPart {
    std::string name; // in English, for the run report: "sleep", "lid switch", "log-off"
    std::string by; // the service that grants it: "logind", "desktop portal"
    unsigned concerns = 0; // the HoldConcern bits it answers for
    bool held = false;
    std::string whyNot; // when not held, in a few words: "Access denied"
};

// Keeps the machine from sleeping, shutting down and logging off while printers are being
// written, as far as the machine lets a program ask: a printer that loses its host halfway
// through the image is left in download mode. The backend of a machine that offers such a hold
// installs one (InstallSessionHold: Windows); where the hold belongs to desktop services rather
// than to the printer layer, the user interface installs one at start-up (logind and the desktop
// portal on Linux, over Qt's D-Bus module).
//
// What each hold keeps away (docs/operating.md): on Windows, sleep while the machine is idle,
// and shutdown or log-off through the window's refusal; a person can still put the machine to
// sleep (lid, power button, Start > Sleep), which no program can refuse. On Linux, logind blocks
// sleep, shutdown, the idle action and the lid switch, but knows no log-off; only the desktop
// portal, where the desktop offers one, can ask the session not to end.
class SessionHold {
public:
    virtual ~SessionHold() = default;
    // Asks for every part of the hold, naming `who` asks and `reason` to whoever tries to end
    // the session, and the session to wait for `window` (a native window handle, 0 for none).
    // Returns each part asked for, granted or not; whatever was granted is undone by release().
    virtual std::vector<HoldPart> hold(
        std::intptr_t window, const std::u16string &who, const std::u16string &reason)
        = 0;
    // Undoes what hold() achieved; nothing when nothing is held.
    virtual void release() = 0;
};

// The "FDU App" error box of the printer layer. Installed by the user interface; until then a
// backend default writes to the standard error stream.
using ErrorBox = std::function<void(const std::u16string &text, const std::u16string &caption)>;

// The platform in force. Set once at start (or per test); the printer layer reads it on every
// call, so a test can swap the simulated printers underneath it.
struct Platform {
    DevicePlatform *devices = nullptr;
    Clock *clock = nullptr;
    ErrorBox errorBox;
    SessionHold *session = nullptr;
};

Platform &CurrentPlatform();
// The clock of the platform in force: the one the printer layer's waits run on.
inline Clock &TheClock()
{
    return *CurrentPlatform().clock;
}
void InstallPlatform(DevicePlatform *devices, Clock *clock);
void InstallErrorBox(ErrorBox box);
void InstallSessionHold(SessionHold *session);

// Shows `text` in the error box with the caption "FDU App".
void ShowPrinterLayerError(const std::u16string &text);

// Defined by whichever backend the program links: the OS backend for the product, the
// simulated one for the bench. Installs it unless a platform is already installed.
void InstallDefaultPlatform();

// The clock of the real machine, shared by the OS backends.
Clock &SystemClock();

} // namespace vornik
