// Fuzzes the Linux backend's side of what a printer sends: the raw bytes of usblp's device-ID
// ioctl, through the backend's own parser and on through the listing and the status gate, and
// reply bytes through the backend's reads into the command channel. No byte may be invented,
// no ID cut, no command sent past the gate, and nothing read or written past a buffer.
#include "printer_link/linux/device_id.h"
#include "printer_link/linux/linux_backend.h"
#include "printer_link/platform.h"
#include "printer_link/printer_link.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <sys/ioctl.h>
#include <vector>

using namespace vornik;
using namespace vornik::linux_backend;

namespace {

constexpr int kFd = 5;
constexpr UsbAddress kAddress { 1, 2 };
constexpr unsigned long kBusAddressIoctl = _IOC(_IOC_READ, 'P', 5, 2 * sizeof(int));

// The printer as the kernel shows it: the ID the ioctl copies out, the replies the reads hand
// over chunk by chunk, and every byte written.
struct Kernel {
    std::vector<std::uint8_t> deviceId;
    std::vector<std::vector<std::uint8_t>> replies;
    std::size_t nextReply = 0;
    std::size_t written = 0;
    std::uint32_t now = 0;
} gKernel;

int Open(const char *, int)
{
    return kFd;
}
int Close(int)
{
    return 0;
}
int Ioctl(int, unsigned long request, void *argument)
{
    if (request == kBusAddressIoctl) {
        static_cast<int *>(argument)[0] = kAddress.bus;
        static_cast<int *>(argument)[1] = kAddress.device;
        return 0;
    }
    // usblp copies at most its own buffer's worth, and leaves the rest of ours alone.
    if (!gKernel.deviceId.empty())
        std::memcpy(argument, gKernel.deviceId.data(),
            std::min(gKernel.deviceId.size(), kDriverDeviceIdBytes));
    return 0;
}
ssize_t Read(int, void *buffer, size_t count)
{
    if (gKernel.nextReply >= gKernel.replies.size()) {
        errno = EAGAIN;
        return -1;
    }
    const std::vector<std::uint8_t> &chunk = gKernel.replies[gKernel.nextReply++];
    const std::size_t n = std::min(count, chunk.size());
    std::memcpy(buffer, chunk.data(), n);
    return static_cast<ssize_t>(n);
}
ssize_t WriteWithin(int, const void *, size_t count, int)
{
    gKernel.written += count;
    return static_cast<ssize_t>(count);
}
int Poll(pollfd *fds, nfds_t, int timeoutMs)
{
    fds->revents = 0;
    if ((fds->events & POLLIN) && gKernel.nextReply < gKernel.replies.size()) {
        fds->revents = POLLIN;
        gKernel.now += 100; // each chunk arrives a little after the one before
        return 1;
    }
    gKernel.now += static_cast<std::uint32_t>(timeoutMs);
    return 0;
}
int MakeBlocking(int)
{
    return 0;
}
constexpr Syscalls kCalls { &Open, &Close, &Ioctl, &Read, &WriteWithin, &Poll, &MakeBlocking };

class OneNode : public DeviceDirectory {
public:
    bool listPrinters(std::vector<PrinterNode> &out) override
    {
        out = { { "/dev/usb/lp0", "/sys/bus/usb/devices/1-1", kAddress } };
        return true;
    }
    int countPrintersWithoutDriver() override { return 0; }
    UsbAddress addressOfNode(const std::string &) override { return kAddress; }
    UsbAddress addressOfUsbDevice(const std::string &) override { return kAddress; }
    int noticeFd() const override { return -1; }
    int takeNotices() override { return 0; }
};

class KernelClock : public Clock {
public:
    std::uint32_t tickCount() override { return gKernel.now; }
    void sleep(std::uint32_t ms) override { gKernel.now += ms; }
};

bool Terminated(const char16_t *text, std::size_t units)
{
    return std::find(text, text + units, u'\0') != text + units;
}

bool IsControl(std::uint8_t byte)
{
    return byte < 0x20 || byte == 0x7F;
}

void CheckUnwrap(const std::uint8_t *data, std::size_t size)
{
    std::vector<std::uint8_t> raw(kDriverDeviceIdBytes, 0);
    if (size > 0)
        std::memcpy(raw.data(), data, std::min(size, raw.size()));
    std::uint8_t out[contract::kDeviceIdBytes + 1];
    out[contract::kDeviceIdBytes] = 0xA5; // a guard just past the buffer
    const std::size_t length
        = UnwrapDeviceId(raw.data(), raw.size(), out, contract::kDeviceIdBytes);
    if (length >= contract::kDeviceIdBytes || out[length] != 0
        || out[contract::kDeviceIdBytes] != 0xA5)
        __builtin_trap();
    // The text is exactly what followed the length: nothing invented, nothing moved.
    if (length > 0 && std::memcmp(out, raw.data() + 2, length) != 0)
        __builtin_trap();
    if (std::any_of(out, out + length, IsControl))
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static KernelClock clock;
    static OneNode directory;
    static LinuxDevicePlatform platform(kCalls, directory, clock);
    InstallPlatform(&platform, &clock);
    InstallErrorBox([](const std::u16string &, const std::u16string &) {});

    CheckUnwrap(data, size);

    // The input as the device ID: listed whole or as "unknown", and gated on its status.
    ResetPrinterLinkState();
    gKernel = {};
    gKernel.deviceId.assign(data, data + size);
    USBPrinterClassDeviceInfo table;
    std::memset(&table, 0xA5, sizeof table);
    if (Lib_EnumeratePrinterClassPnPDevices(&table) != 1)
        __builtin_trap();
    if (!Terminated(table.ProductName[0], contract::kTextUnits)
        || !Terminated(table.SerialNumber[0], contract::kTextUnits))
        __builtin_trap();
    Lib_SetUSBDeviceFilePath(1, u"/dev/usb/lp0");
    const int status = GetPrinterStatus();
    const int sent = SendCommandIfReady(contract::kFirmwareRevisionCommand);
    const bool ready
        = status == contract::kStatusIdle || status == contract::kStatusManufacturingMode;
    if (sent != (ready ? 1 : 0) || (gKernel.written > 0) != ready)
        __builtin_trap();

    // The input as the printer's reply to a ready printer, in chunks whose sizes it names too.
    ResetPrinterLinkState();
    gKernel = {};
    const std::string idle = "MFG:ZELTAN;MDL:QXR3303;SN:F;S:000000000000000000;";
    gKernel.deviceId = { 0, static_cast<std::uint8_t>(idle.size() + 2) };
    gKernel.deviceId.insert(gKernel.deviceId.end(), idle.begin(), idle.end());
    for (std::size_t at = 0; at < size;) {
        const std::size_t chunk = std::min<std::size_t>(size - at, 1 + data[at] * 8);
        gKernel.replies.emplace_back(data + at, data + at + chunk);
        at += chunk;
    }
    Lib_SetUSBDeviceFilePath(1, u"/dev/usb/lp0");
    char16_t revision[contract::kTextUnits];
    const int got = GetFirmwareRevision(revision);
    if (got != 0 && got != 1)
        __builtin_trap();
    if (!Terminated(revision, contract::kTextUnits))
        __builtin_trap();
    return 0;
}
