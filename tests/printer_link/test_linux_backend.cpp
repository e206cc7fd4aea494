// The Linux backend against a played kernel: the usblp answers (errno values, partial and
// stalled writes, vanishing nodes) come from a fake system-call table and a fake device
// directory, and time from a virtual clock, so a one-minute stall costs nothing.
#include "text_support.h"

#include "firmware/firmware_image.h"
#include "firmware/transfer.h"
#include "printer_link/device_contract.h"
#include "printer_link/linux/device_id.h"
#include "printer_link/linux/linux_backend.h"
#include "printer_link/printer_link.h"
#include "printer_link/simulated/virtual_clock.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <pthread.h>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

using namespace testing;
using namespace vornik;
using namespace vornik::linux_backend;

namespace {

constexpr int kFd = 7;
// usblp's ioctl numbers as the kernel defines them (direction read, type 'P').
constexpr unsigned long kDeviceIdIoctl = 0x84005001; // number 1, 1024 bytes
constexpr unsigned long kBusAddressIoctl = 0x80085005; // number 5, two ints

constexpr UsbAddress kListed { 1, 5 };
constexpr UsbAddress kOther { 1, 9 };
constexpr UsbAddress kUnknown {};

// One usblp node, played through the system-call table.
struct FakeNode {
    sim::VirtualClock *clock = nullptr;

    int openErrno = 0;
    int openInterruptions = 0;
    int openFlags = -1;
    bool madeBlocking = false; // O_NONBLOCK cleared for good after the open
    int opens = 0;
    int closes = 0;
    UsbAddress address = kListed; // answer of the bus-address ioctl; unknown: not supported

    std::string deviceId;
    int deviceIdErrno = 0;
    int deviceIdInterruptions = 0;
    unsigned long deviceIdRequest = 0;

    int pollInResult = 1; // 1 ready, 0 nothing within the wait, -1 interrupted
    int readWait = -1;
    ssize_t readResult = 0; // byte count, or -errno
    std::string readData;

    // Blocking writes: usblp takes one block per call and returns once the printer has
    // finished it, or with the error the transfer ended in.
    std::size_t blockLimit = 8192;
    std::uint32_t msPerBlock = 0; // how long the printer takes to finish each block
    std::int64_t stallAfter = -1; // once this many bytes came, no block ever finishes
    std::int64_t unplugAfter = -1; // once this many bytes came, the printer is gone
    std::int64_t failAfter = -1; // once this many bytes came, the printer fails the next block
    std::int64_t interruptAfter = -1; // once this many bytes came, a foreign signal ends the wait
    // Once this many bytes came, another program detaches usblp, the printer staying attached:
    // the USB core kills the block in flight (EIO), and only then calls usblp's disconnect, after
    // which the dead handle's ioctls answer ENODEV. `detachLag` ioctls still answer before that.
    std::int64_t takenAfter = -1;
    int detachLag = 2;
    int answersBeforeDetach = 0;
    std::string received;
    bool unplugged = false;
    bool detached = false;
    std::size_t largestWrite = 0;
    std::vector<int> writeLimits;
};

FakeNode *gNode = nullptr;

int FakeOpen(const char *, int flags)
{
    gNode->openFlags = flags;
    if (gNode->openInterruptions > 0) {
        --gNode->openInterruptions;
        errno = EINTR;
        return -1;
    }
    if (gNode->openErrno) {
        errno = gNode->openErrno;
        return -1;
    }
    ++gNode->opens;
    return kFd;
}

int FakeClose(int)
{
    ++gNode->closes;
    return 0;
}

int FakeIoctl(int, unsigned long request, void *argument)
{
    FakeNode &node = *gNode;
    if (request == kBusAddressIoctl) {
        if (node.detached && node.answersBeforeDetach > 0) {
            --node.answersBeforeDetach;
        } else if (node.unplugged || node.detached) {
            errno = ENODEV;
            return -1;
        }
        if (!node.address.known()) {
            errno = ENOTTY;
            return -1;
        }
        static_cast<int *>(argument)[0] = node.address.bus;
        static_cast<int *>(argument)[1] = node.address.device;
        return 0;
    }
    node.deviceIdRequest = request;
    if (node.deviceIdInterruptions > 0) {
        --node.deviceIdInterruptions;
        errno = EINTR;
        return -1;
    }
    if (node.deviceIdErrno) {
        errno = node.deviceIdErrno;
        return -1;
    }
    std::memcpy(argument, node.deviceId.data(),
        std::min<std::size_t>(node.deviceId.size(), kDriverDeviceIdBytes));
    return 0;
}

ssize_t FakeRead(int, void *buffer, size_t count)
{
    if (gNode->readResult < 0) {
        errno = static_cast<int>(-gNode->readResult);
        return -1;
    }
    const auto n = std::min<size_t>(count, static_cast<size_t>(gNode->readResult));
    std::memcpy(buffer, gNode->readData.data(), n);
    return static_cast<ssize_t>(n);
}

ssize_t FakeWriteWithin(int, const void *data, size_t count, int timeoutMs)
{
    FakeNode &node = *gNode;
    node.largestWrite = std::max(node.largestWrite, count);
    node.writeLimits.push_back(timeoutMs);
    const auto came = static_cast<std::int64_t>(node.received.size());
    const auto reached = [came](std::int64_t mark) { return mark >= 0 && came >= mark; };
    if (node.unplugged || reached(node.unplugAfter)) {
        node.unplugged = true;
        errno = ENODEV;
        return -1;
    }
    if (node.detached) {
        errno = ENODEV;
        return -1;
    }
    if (reached(node.takenAfter)) {
        node.detached = true;
        node.answersBeforeDetach = node.detachLag;
        errno = EIO;
        return -1;
    }
    // usblp_write gives EIO for a block whose transfer ended in an error status.
    if (reached(node.failAfter)) {
        errno = EIO;
        return -1;
    }
    if (reached(node.interruptAfter)) {
        errno = EINTR;
        return -1;
    }
    if (reached(node.stallAfter) || node.msPerBlock > std::uint32_t(timeoutMs)) {
        node.clock->advance(std::uint32_t(timeoutMs));
        errno = ETIMEDOUT;
        return -1;
    }
    node.clock->advance(node.msPerBlock);
    const std::size_t take = std::min(count, node.blockLimit);
    node.received.append(static_cast<const char *>(data), take);
    return static_cast<ssize_t>(take);
}

int FakePoll(pollfd *fds, nfds_t, int timeoutMs)
{
    FakeNode &node = *gNode;
    fds->revents = 0;
    node.readWait = timeoutMs;
    if (node.pollInResult < 0) {
        errno = EINTR;
        return -1;
    }
    if (node.pollInResult == 0) {
        node.clock->advance(static_cast<std::uint32_t>(timeoutMs));
        return 0;
    }
    fds->revents = POLLIN;
    return 1;
}

int FakeMakeBlocking(int)
{
    gNode->madeBlocking = true;
    return 0;
}

constexpr Syscalls kFakeCalls { &FakeOpen, &FakeClose, &FakeIoctl, &FakeRead, &FakeWriteWithin,
    &FakePoll, &FakeMakeBlocking };

class FakeDirectory : public DeviceDirectory {
public:
    std::vector<PrinterNode> nodes;
    bool listable = true;
    UsbAddress nodeAddress = kListed;
    UsbAddress usbAddress = kListed;
    int notices = 0;
    int withoutDriver = 0;
    // The last node is still being set up by udev for this many listings.
    int settingUpListings = 0;
    int listings = 0;

    bool listPrinters(std::vector<PrinterNode> &out) override
    {
        ++listings;
        out = nodes;
        if (settingUpListings > 0 && !out.empty()) {
            --settingUpListings;
            out.back().initialized = false;
        }
        return listable;
    }
    int countPrintersWithoutDriver() override { return withoutDriver; }
    UsbAddress addressOfNode(const std::string &) override { return nodeAddress; }
    // An unplugged printer's USB device goes a moment after its interface: the kernel removes
    // the interfaces first. It still answers this many look-ups after the unplug.
    int lingeringLookups = 1;
    UsbAddress addressOfUsbDevice(const std::string &) override
    {
        if (!gNode || !gNode->unplugged)
            return usbAddress;
        return lingeringLookups-- > 0 ? usbAddress : kUnknown;
    }
    int noticeFd() const override { return 42; }
    int takeNotices() override { return std::exchange(notices, 0); }
};

PrinterNode Lp(int number)
{
    const std::string name = std::to_string(number);
    return { "/dev/usb/lp" + name, "/sys/devices/pci0000:00/usb1/1-" + name, kListed };
}

// A device ID as the driver hands it over: two length bytes, the text, and zeros up to `size`.
std::string Id(int first, int second, const std::string &text, int size = -1)
{
    std::string raw;
    raw.append(1, char(first)).append(1, char(second)).append(text);
    if (size >= 0)
        raw.resize(std::size_t(size), '\0');
    return raw;
}

// An ID as the driver hands over one with a big-endian length: length, text, zeros.
std::string BigEndian(const std::string &text)
{
    const auto length = text.size() + 2;
    return Id(int(length >> 8), int(length & 0xFF), text, int(kDriverDeviceIdBytes));
}

// An ID whose printer sent its length little-endian: usblp takes the length the other way
// round, clamps it and copies stale bytes of its own buffer behind the ID.
std::string LittleEndian(const std::string &text, const std::string &stale = {})
{
    const auto length = text.size() + 2;
    return Id(int(length & 0xFF), int(length >> 8), text + stale, int(kDriverDeviceIdBytes));
}

// A product's ID of exactly `length` bytes whose status digits are its third- and second-last.
std::string ProductId(std::size_t length, const std::string &digits)
{
    const std::string head = "MFG:ZELTAN;MDL:QXR3303;SN:LONG1;CMT:";
    const std::string tail = ";S:0000000000000000" + digits + ";";
    return head + std::string(length - head.size() - tail.size(), 'x') + tail;
}

std::string Pattern(std::size_t size)
{
    std::string data(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        data[i] = char(i * 7 + i / 251);
    return data;
}

const std::uint8_t *Bytes(const std::string &data)
{
    return reinterpret_cast<const std::uint8_t *>(data.data());
}

constexpr std::size_t kImageBytes = 3 * 64 * 1024 + 4321;

// Real time, to show that the virtual clock spared the test the waits it played.
class WallTimer {
public:
    std::int64_t elapsedMs() const
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start_)
            .count();
    }
    void restart() { start_ = std::chrono::steady_clock::now(); }

private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// The backend over one fake node and a fake directory, on a virtual clock, for one test.
struct BackendWorld {
    BackendWorld()
        : platform(kFakeCalls, directory, clock)
    {
        node.clock = &clock;
        gNode = &node;
    }
    ~BackendWorld() { gNode = nullptr; }
    BackendWorld(const BackendWorld &) = delete;
    BackendWorld &operator=(const BackendWorld &) = delete;

    void listNode(const PrinterNode &printer)
    {
        directory.nodes = { printer };
        REQUIRE(platform.beginEnumeration());
        platform.endEnumeration();
    }

    sim::VirtualClock clock;
    FakeNode node;
    FakeDirectory directory;
    LinuxDevicePlatform platform;
};

// The printer layer and the transfer running on this backend, for one test.
class LayerOnThisBackend {
public:
    LayerOnThisBackend(DevicePlatform &devices, Clock &clock)
        : saved_(CurrentPlatform())
    {
        ResetPrinterLinkState();
        InstallPlatform(&devices, &clock);
    }
    ~LayerOnThisBackend()
    {
        InstallPlatform(saved_.devices, saved_.clock);
        ResetPrinterLinkState();
    }
    LayerOnThisBackend(const LayerOnThisBackend &) = delete;
    LayerOnThisBackend &operator=(const LayerOnThisBackend &) = delete;

private:
    Platform saved_;
};

} // namespace

TEST_CASE("the device ID is unwrapped whole, or not at all, within the caller's buffer")
{
    struct Row {
        const char *name;
        std::string raw;
        int outSize;
        std::string expected;
    };
    const std::string id = "MFG:KX;MDL:reflash;SN:A1;"; // 25 bytes
    const std::string fits(511, 'x');
    const std::string tooLong(512, 'x');
    const Row rows[] = {
        { "length counts itself", Id(0, 27, id, 1024), 512, id },
        { "padding after the last field is no part of it",
            Id(0, 32, id + std::string(" \r\n\0\0", 5), 1024), 512, id },
        { "length longer than the text, zeros behind", Id(0, 100, id, 1024), 512, id },
        { "stale bytes after the counted length stay out", Id(0, 27, id + "ZZ", 1024), 512, id },
        // usblp clamps a little-endian length to 1023 and copies stale bytes behind the ID.
        { "little-endian length, stale text behind", Id(27, 0, id + "ZZ;garbage", 1024), 512, id },
        { "little-endian length, zeros behind", Id(27, 0, id, 1024), 512, id },
        { "a gadget's length without its own two bytes cuts, never invents",
            Id(0, 24, id.substr(0, 22), 1024), 512, id.substr(0, 22) },
        { "Latin-1 letters are text", Id(0, 19, "MFG:Zelt\xe4n;MDL:Q;", 1024), 512,
            "MFG:Zelt\xe4n;MDL:Q;" },
        { "511 bytes fit", Id(0x02, 0x01, fits, 1024), 512, fits },
        { "512 bytes do not", Id(0x02, 0x02, tooLong, 1024), 512, "" },
        { "little-endian, too long", Id(0x5A, 0x02, std::string(600, 'x'), 1024), 512, "" },
        { "longer than usblp's buffer", Id(0x04, 0x4C, std::string(1021, 'x')), 512, "" },
        { "length fits in neither byte order", Id(0xFF, 0xFE, id, 1024), 512, "" },
        { "control byte inside a field", Id(0, 28, "MFG:KX;\x01MDL:reflash;SN:A1;", 1024), 512,
            "" },
        { "zero byte inside the fields",
            Id(0, 28, std::string("MFG:KX;\0MDL:reflash;SN:A1;", 26), 1024), 512, "" },
        { "tab inside a field", Id(0, 10, "MFG:K\tX;", 1024), 512, "" },
        // 0x0201 read the other way is 0x0102: a fitting length for the ID's first 256 bytes.
        { "control byte deep inside a long ID, never its prefix instead",
            Id(0x02, 0x01, std::string(398, 'x') + '\t' + std::string(112, 'x'), 1024), 512, "" },
        { "nothing but padding", Id(0, 6, "  \r\n", 1024), 512, "" },
        { "zero length", Id(0, 0, id), 512, "" },
        { "length of the prefix alone", Id(0, 2, "", 1024), 512, "" },
        { "buffer filled to the last byte", Id(0, 27, id), 512, id },
        { "length beyond what arrived", Id(0, 100, id), 512, "" },
        { "text that just fits", Id(0, 27, id, 1024), 26, id },
        { "text one byte too long is refused, not cut", Id(0, 27, id, 1024), 25, "" },
        { "no room at all", Id(0, 27, id, 1024), 1, "" },
        { "shorter than a length", std::string(1, '\0'), 512, "" },
    };
    for (const Row &row : rows) {
        INFO(row.name);
        std::vector<std::uint8_t> out(static_cast<std::size_t>(row.outSize) + 8, 0xAA);
        const std::size_t length = UnwrapDeviceId(
            Bytes(row.raw), row.raw.size(), out.data(), static_cast<std::size_t>(row.outSize));
        CHECK(std::string(reinterpret_cast<const char *>(out.data()), length) == row.expected);
        CHECK(out[length] == 0);
        // Nothing beyond the buffer it was given.
        for (std::size_t i = static_cast<std::size_t>(row.outSize); i < out.size(); ++i)
            CHECK(out[i] == 0xAA);
    }
}

TEST_CASE("the device ID comes through the driver's request, asked again when interrupted")
{
    BackendWorld world;
    world.node.deviceId = Id(0, 21, "MFG:KX;MDL:reflash;");
    world.node.deviceIdInterruptions = 1;
    std::uint8_t id[contract::kDeviceIdBytes];
    std::memset(id, 'x', sizeof id);
    CHECK(world.platform.queryDeviceId(kFd, id, sizeof id));
    CHECK(world.node.deviceIdRequest == kDeviceIdIoctl);
    CHECK(std::string(reinterpret_cast<const char *>(id)) == "MFG:KX;MDL:reflash;");

    world.node.deviceIdErrno = ENODEV;
    CHECK_FALSE(world.platform.queryDeviceId(kFd, id, sizeof id));
    CHECK(world.platform.lastErrorText() == "No such device");
}

TEST_CASE("a node opens for the access its use needs, never blocking and never inherited")
{
    struct Row {
        const char *name;
        OpenMode mode;
        int openErrno;
        int interruptions;
        bool opened;
        int access;
        bool blocking; // left blocking for good: only ever written
    };
    const OpenMode shared = OpenMode::ReadWriteShared;
    const OpenMode exclusive = OpenMode::WriteExclusive;
    const Row rows[] = {
        { "commands read and write", shared, 0, 0, true, O_RDWR, false },
        { "firmware only writes", exclusive, 0, 0, true, O_WRONLY, true },
        { "interrupted, then opens", shared, 0, 2, true, O_RDWR, false },
        { "node gone", shared, ENOENT, 0, false, O_RDWR, false },
        { "held by another program", shared, EBUSY, 0, false, O_RDWR, false },
        { "printer unplugged", exclusive, ENODEV, 0, false, O_WRONLY, false },
    };
    for (const Row &row : rows) {
        INFO(row.name);
        BackendWorld world;
        world.node.openErrno = row.openErrno;
        world.node.openInterruptions = row.interruptions;
        const DeviceHandle handle = world.platform.open(u"/dev/usb/lp0", row.mode);
        CHECK((handle != kInvalidDeviceHandle) == row.opened);
        CHECK((world.node.openFlags & O_ACCMODE) == row.access);
        // The open itself must never block, and no child process may inherit a printer. A
        // handle that reads must stay non-blocking: its reads poll and must never wait on usblp.
        CHECK((world.node.openFlags & O_NONBLOCK) != 0);
        CHECK((world.node.openFlags & O_CLOEXEC) != 0);
        CHECK(world.node.madeBlocking == row.blocking);
        if (!row.opened)
            CHECK_FALSE(world.platform.lastErrorText().empty());
    }
}

TEST_CASE("a node that now belongs to another printer is refused")
{
    BackendWorld world;
    world.listNode(Lp(0));
    world.node.address = kOther;
    CHECK(world.platform.open(u"/dev/usb/lp0", OpenMode::ReadWriteShared) == kInvalidDeviceHandle);
    CHECK(world.node.closes == world.node.opens);

    world.node.address = kListed;
    CHECK(world.platform.open(u"/dev/usb/lp0", OpenMode::WriteExclusive) == DeviceHandle(kFd));
}

// Node reuse could reach another printer whenever either side of the comparison is missing.
TEST_CASE("a node whose printer cannot be told apart from another is refused")
{
    BackendWorld world;
    world.listNode(Lp(0));
    world.node.address = kUnknown;
    CHECK(world.platform.open(u"/dev/usb/lp0", OpenMode::ReadWriteShared) == kInvalidDeviceHandle);
    CHECK(world.platform.open(u"/dev/usb/lp0", OpenMode::WriteExclusive) == kInvalidDeviceHandle);
    CHECK_FALSE(world.platform.lastErrorText().empty());
    CHECK(world.node.closes == world.node.opens);
    // Still present: not knowing is no evidence that it left.
    CHECK(world.platform.isPresent(u"/dev/usb/lp0"));

    PrinterNode noAddress = Lp(0);
    noAddress.address = kUnknown;
    world.listNode(noAddress);
    world.node.address = kListed;
    CHECK(world.platform.open(u"/dev/usb/lp0", OpenMode::WriteExclusive) == kInvalidDeviceHandle);
}

// usblp reads ahead while a node is open and drops it at close: a reply that came while a
// command's handle was open must reach the next read of that printer, and no other.
TEST_CASE("a reply read ahead before the close reaches the next read of the same printer only")
{
    BackendWorld world;
    world.listNode(Lp(0));
    world.node.readData = "ok;";
    world.node.readResult = 3;
    const DeviceHandle command = world.platform.open(u"/dev/usb/lp0", OpenMode::ReadWriteShared);
    world.node.pollInResult = 1;
    world.platform.close(command); // the driver had "ok;" waiting
    world.node.readResult = -EAGAIN;

    const DeviceHandle reply = world.platform.open(u"/dev/usb/lp0", OpenMode::ReadWriteShared);
    std::uint8_t buffer[2];
    std::size_t got = 0;
    CHECK(world.platform.read(reply, buffer, sizeof buffer, got));
    CHECK(std::string(reinterpret_cast<char *>(buffer), got) == "ok");
    CHECK(world.platform.read(reply, buffer, sizeof buffer, got));
    CHECK(std::string(reinterpret_cast<char *>(buffer), got) == ";");
    world.node.pollInResult = 0;
    CHECK(world.platform.read(reply, buffer, sizeof buffer, got));
    CHECK(got == 0);
    world.platform.close(reply);

    // Kept bytes of a printer that has since left are never handed to its successor.
    world.node.pollInResult = 1;
    world.node.readResult = 3;
    world.platform.close(world.platform.open(u"/dev/usb/lp0", OpenMode::ReadWriteShared));
    PrinterNode successor = Lp(0);
    successor.address = kOther;
    world.listNode(successor);
    world.node.address = kOther;
    world.node.readResult = -EAGAIN;
    const DeviceHandle other = world.platform.open(u"/dev/usb/lp0", OpenMode::ReadWriteShared);
    CHECK(world.platform.read(other, buffer, sizeof buffer, got));
    CHECK(got == 0);
}

TEST_CASE("a printer counts as present unless the node or its address shows that it left")
{
    struct Row {
        const char *name;
        bool listed;
        int openErrno;
        UsbAddress onDescriptor;
        UsbAddress ofNode;
        UsbAddress ofUsbDevice;
        bool present;
    };
    const Row rows[] = {
        { "opens, same printer", true, 0, kListed, kListed, kListed, true },
        { "opens, but another printer has the node", true, 0, kOther, kOther, kOther, false },
        { "opens, driver cannot tell", true, 0, kUnknown, kUnknown, kUnknown, true },
        { "held by another program", true, EBUSY, kUnknown, kListed, kListed, true },
        { "held, node cannot be looked up", true, EBUSY, kUnknown, kUnknown, kUnknown, true },
        { "held, but by another printer on the node", true, EBUSY, kUnknown, kOther, kOther,
            false },
        { "not ours to open", true, EACCES, kUnknown, kListed, kListed, true },
        { "node gone, printer left", true, ENOENT, kUnknown, kUnknown, kUnknown, false },
        { "node gone, printer back with a new address", true, ENOENT, kUnknown, kUnknown, kOther,
            false },
        { "node gone, driver detached from an attached printer", true, ENOENT, kUnknown, kUnknown,
            kListed, true },
        { "interface going away", true, ENODEV, kUnknown, kListed, kListed, false },
        { "no driver behind the node", true, ENXIO, kUnknown, kListed, kListed, false },
        // usblp gives EIO when it cannot start its read-ahead on a printer that is still there.
        { "read-ahead could not start", true, EIO, kUnknown, kListed, kListed, true },
        { "read-ahead could not start, another printer on the node", true, EIO, kUnknown, kOther,
            kOther, false },
        { "out of memory", true, ENOMEM, kUnknown, kListed, kListed, true },
        { "never listed, node gone", false, ENOENT, kUnknown, kListed, kListed, false },
        { "never listed, opens", false, 0, kOther, kOther, kOther, true },
    };
    for (const Row &row : rows) {
        INFO(row.name);
        BackendWorld world;
        if (row.listed)
            world.listNode(Lp(0));
        world.node.openErrno = row.openErrno;
        world.node.address = row.onDescriptor;
        world.directory.nodeAddress = row.ofNode;
        world.directory.usbAddress = row.ofUsbDevice;
        CHECK(world.platform.isPresent(u"/dev/usb/lp0") == row.present);
        CHECK(world.node.closes == world.node.opens);
    }
}

TEST_CASE("a read waits briefly and fails only when the printer is gone or broken")
{
    struct Row {
        const char *name;
        int pollResult;
        int readResult;
        bool ok;
        std::size_t got;
    };
    const Row rows[] = {
        { "a chunk", 1, 5, true, 5 },
        { "nothing within the wait", 0, 5, true, 0 },
        { "poll interrupted", -1, 5, true, 0 },
        { "nothing there after all", 1, -EAGAIN, true, 0 },
        { "read interrupted", 1, -EINTR, true, 0 },
        { "empty packet", 1, 0, true, 0 },
        { "printer unplugged", 1, -ENODEV, false, 0 },
        { "printer that never answers", 1, -EINVAL, false, 0 },
    };
    for (const Row &row : rows) {
        INFO(row.name);
        BackendWorld world;
        world.node.pollInResult = row.pollResult;
        world.node.readResult = row.readResult;
        world.node.readData = "ok;\r\n";
        std::uint8_t buffer[1024];
        std::size_t count = 99;
        CHECK(world.platform.read(kFd, buffer, sizeof buffer, count) == row.ok);
        CHECK(count == row.got);
        CHECK(world.node.readWait > 0);
        CHECK(world.node.readWait <= 50);
    }
}

TEST_CASE("a write goes out a driver block at a time and fails on a stall, an error or a signal")
{
    struct Row {
        const char *name;
        std::size_t size;
        std::size_t blockLimit;
        std::uint32_t msPerBlock;
        std::int64_t stallAfter;
        std::int64_t unplugAfter;
        std::int64_t failAfter;
        std::int64_t interruptAfter;
        bool ok;
        std::int64_t minElapsedMs;
        std::int64_t maxElapsedMs;
        std::string reason; // part of the error text when the write fails
        std::int64_t takenAfter = -1;
    };
    const std::int64_t limit = contract::kWriteStallLimitMs;
    const Row rows[] = {
        { "one block", 100, 8192, 0, -1, -1, -1, -1, true, 0, 0, "" },
        { "a block at a time", 20000, 8192, 10, -1, -1, -1, -1, true, 30, 30, "" },
        { "a few bytes at a time", 50, 3, 0, -1, -1, -1, -1, true, 0, 0, "" },
        { "slow printer that keeps taking data", 3 * 8192, 8192, 59000, -1, -1, -1, -1, true,
            3 * 59000, 3 * 59000, "" },
        { "stalled from the start", 20000, 8192, 0, 0, -1, -1, -1, false, limit, limit,
            "60 seconds" },
        { "stalls midway", 20000, 8192, 0, 8192, -1, -1, -1, false, limit, limit, "60 seconds" },
        { "too slow for the stall limit", 20000, 8192, 61000, -1, -1, -1, -1, false, limit, limit,
            "60 seconds" },
        // The driver is given a moment to show a detach before the error counts as the printer's.
        { "printer fails a block and stays attached", 20000, 8192, 0, -1, -1, 8192, -1, false,
            kDetachShowsWithinMs, kDetachShowsWithinMs + kDetachPollMs, "Input/output error" },
        { "printer fails the last block", 20000, 8192, 0, -1, -1, 16384, -1, false,
            kDetachShowsWithinMs, kDetachShowsWithinMs + kDetachPollMs, "Input/output error" },
        { "unplugged midway", 20000, 8192, 0, -1, 8192, -1, -1, false, kUnplugShowsWithinMs,
            kUnplugShowsWithinMs, "No such device" },
        { "another program detaches the driver midway", 20000, 8192, 0, -1, -1, -1, -1, false,
            2 * kDetachPollMs + kUnplugShowsWithinMs, 2 * kDetachPollMs + kUnplugShowsWithinMs,
            "another program took the printer", 8192 },
        // The block may be in flight: sending it again would put it into the stream twice.
        { "a foreign signal is not retried", 20000, 8192, 0, -1, -1, -1, 8192, false, 0, 0,
            "Interrupted system call" },
        { "nothing to write", 0, 8192, 0, -1, -1, -1, -1, true, 0, 0, "" },
    };
    for (const Row &row : rows) {
        INFO(row.name);
        BackendWorld world;
        world.node.blockLimit = row.blockLimit;
        world.node.msPerBlock = row.msPerBlock;
        world.node.stallAfter = row.stallAfter;
        world.node.unplugAfter = row.unplugAfter;
        world.node.failAfter = row.failAfter;
        world.node.interruptAfter = row.interruptAfter;
        world.node.takenAfter = row.takenAfter;
        world.listNode(Lp(0));
        REQUIRE(world.platform.open(u"/dev/usb/lp0", OpenMode::WriteExclusive) == kFd);
        const std::string data = Pattern(row.size);

        const std::uint64_t start = world.clock.elapsed();
        const WallTimer wall;
        const bool written = world.platform.write(kFd, Bytes(data), row.size);
        const auto elapsed = std::int64_t(world.clock.elapsed() - start);

        CHECK(written == row.ok);
        INFO("the write took ", elapsed, " ms");
        CHECK(elapsed >= row.minElapsedMs);
        CHECK(elapsed <= row.maxElapsedMs);
        CHECK(wall.elapsedMs() < 2000);
        // The printer sees the bytes in order, never one twice.
        CHECK(world.node.received == data.substr(0, world.node.received.size()));
        // One driver block per call, so each call's outcome is that block's own.
        CHECK(world.node.largestWrite <= kDriverWriteBlockBytes);
        for (int wait : world.node.writeLimits) {
            CHECK(wait > 0);
            CHECK(wait <= int(contract::kWriteStallLimitMs));
        }
        if (row.ok) {
            CHECK(world.node.received.size() == row.size);
        } else {
            const std::string error = world.platform.lastErrorText();
            INFO("error: ", error);
            CHECK(error.find(row.reason) != std::string::npos);
        }
    }
}

// The status gate over the whole layer: the device ID as the kernel hands it over,
// the listing, the status read and the gated command.
TEST_CASE("the status gate reads device IDs whole or not at all")
{
    struct Row {
        const char *name;
        std::string raw;
        std::u16string product;
        std::u16string serial;
        int status;
    };
    const std::u16string name = u"ZELTAN QXR3303";
    const std::u16string unknown = u"unknown";
    const Row rows[] = {
        { "514 bytes, jam beyond byte 511", BigEndian(ProductId(514, "0E")), unknown, unknown, -1 },
        { "514 bytes, idle beyond byte 511", BigEndian(ProductId(514, "00")), unknown, unknown,
            -1 },
        { "1000 bytes", BigEndian(ProductId(1000, "00")), unknown, unknown, -1 },
        { "600 bytes, little-endian length", LittleEndian(ProductId(600, "00")), unknown, unknown,
            -1 },
        { "511 bytes, jam", BigEndian(ProductId(511, "0E")), name, u"LONG1", 14 },
        { "511 bytes, idle", BigEndian(ProductId(511, "00")), name, u"LONG1", 0 },
        { "little-endian length adds no characters",
            LittleEndian("MFG:ZELTAN;MDL:QXR3303;SN:A1", "ZZ;S:000000000000000000;"), name, u"A1",
            -1 },
        { "CR LF after the last field",
            BigEndian("MFG:ZELTAN;MDL:QXR3303;SN:A1;S:0000000000000000000;\r\n"), name, u"A1", 0 },
        { "control byte inside a field",
            BigEndian("MFG:ZELTAN;MDL:QXR3303;SN:A\x1b"
                      "1;S:000000000000000000;"),
            unknown, unknown, -1 },
    };
    for (const Row &row : rows) {
        INFO(row.name);
        BackendWorld world;
        LayerOnThisBackend layer(world.platform, world.clock);
        world.node.deviceId = row.raw;
        world.directory.nodes = { Lp(0) };
        USBPrinterClassDeviceInfo table;
        REQUIRE(Lib_EnumeratePrinterClassPnPDevices(&table) == 1);
        CHECK(Text(table.ProductName[0]) == row.product);
        CHECK(Text(table.SerialNumber[0]) == row.serial);

        Lib_SetUSBDeviceFilePath(1, u"/dev/usb/lp0");
        CHECK(GetPrinterStatus() == row.status);
        const bool ready = row.status == 0;
        CHECK(SendCommandIfReady(contract::kDownloadCommand) == (ready ? 1 : 0));
        CHECK(world.node.received.empty() == !ready);
        if (ready)
            CHECK(world.node.received.find(contract::kDownloadCommand) != std::string::npos);
    }
}

TEST_CASE("the image goes through the backend whole, or the failure says how far it got")
{
    struct Row {
        const char *name;
        std::uint32_t msPerBlock;
        std::int64_t stallAfter;
        std::int64_t failAfter;
        std::int64_t unplugAfter;
        int result;
        std::int64_t accepted; // bytes the progress reached
        std::string reason; // part of the failure text
        std::int64_t elapsedMs;
    };
    const std::int64_t size = kImageBytes;
    const std::int64_t block = kTransferBlockBytes;
    const Row rows[] = {
        { "accepted whole", 5, -1, -1, -1, 1, size, "", (size + 8191) / 8192 * 5 },
        { "printer fails a block mid-image and stays attached", 0, -1, 100000, -1, 0, block,
            "Input/output error", kDetachShowsWithinMs },
        { "printer stops reading mid-image", 0, 150000, -1, -1, 0, 2 * block,
            "took no data for 60 seconds", contract::kWriteStallLimitMs },
        // 8 KiB every 59 seconds never trips the stall rule; the whole-transfer limit ends it.
        { "printer crawls", 59000, -1, -1, -1, 0, block, "within 900 seconds", 900000 },
        { "unplugged mid-image", 0, -1, -1, 3 * block, 0, 3 * block, "No such device",
            kUnplugShowsWithinMs },
    };
    for (const Row &row : rows) {
        INFO(row.name);
        BackendWorld world;
        LayerOnThisBackend layer(world.platform, world.clock);
        world.listNode(Lp(0));
        world.node.msPerBlock = row.msPerBlock;
        world.node.stallAfter = row.stallAfter;
        world.node.failAfter = row.failAfter;
        world.node.unplugAfter = row.unplugAfter;
        const std::string image = Pattern(kImageBytes);
        MemoryFirmwareImage source(Bytes(image), std::uint32_t(image.size()));

        std::vector<std::string> failures;
        std::vector<std::uint64_t> progress;
        TransferMessages messages;
        messages.failure = [&failures](const std::string &text) { failures.push_back(text); };
        messages.progress = [&progress](std::uint64_t done, std::uint64_t total) {
            CHECK(total == kImageBytes);
            progress.push_back(done);
        };
        const std::uint64_t start = world.clock.elapsed();
        CHECK(CopyFirmwareImageToPrinter(source, u"/dev/usb/lp0", messages) == row.result);
        CHECK(std::int64_t(world.clock.elapsed() - start) == row.elapsedMs);
        CHECK(world.node.closes == world.node.opens);
        CHECK(world.node.received == image.substr(0, world.node.received.size()));

        // Progress climbs block by block and tells only what the device accepted.
        CHECK(std::is_sorted(progress.begin(), progress.end()));
        const std::uint64_t last = progress.empty() ? 0 : progress.back();
        CHECK(std::int64_t(last) == row.accepted);
        CHECK(last <= world.node.received.size());
        if (row.result == 1) {
            CHECK(failures.empty());
            CHECK(world.node.received == image);
            continue;
        }
        REQUIRE(failures.size() == 1);
        INFO("failure: ", failures.front());
        CHECK(failures.front().find(row.reason) != std::string::npos);
        // The message counts what the progress counted.
        CHECK(failures.front().find("after " + std::to_string(row.accepted) + " bytes")
            != std::string::npos);
    }
}

TEST_CASE("the time limit of a transfer grows with the image")
{
    CHECK(TransferTimeLimitMs(1) == std::uint32_t(15 * 60 * 1000));
    CHECK(TransferTimeLimitMs(77060240) == std::uint32_t(15 * 60 * 1000));
    CHECK(TransferTimeLimitMs(200ull * 1024 * 1024) == std::uint32_t(1600 * 1000));
    CHECK(TransferTimeLimitMs(~0ull) > 0);
}

// The real write of the C library, bounded by the real timer signal: a full pipe blocks a
// writer just as a printer that stopped reading blocks usblp.
TEST_CASE("the real write ends at its time limit and leaves no trace behind")
{
    int ends[2];
    REQUIRE(pipe2(ends, O_NONBLOCK | O_CLOEXEC) == 0);
    const std::string chunk(4096, 'p');
    while (::write(ends[1], chunk.data(), chunk.size()) > 0) { }
    sigset_t before;
    pthread_sigmask(SIG_SETMASK, nullptr, &before);
    // What a write of one chunk within `limitMs` ends in: the bytes it took, or minus errno.
    const auto bounded = [&](int limitMs) {
        const ssize_t took = RealSyscalls().writeWithin(ends[1], chunk.data(), 4096, limitMs);
        return took >= 0 ? took : -ssize_t(errno);
    };

    WallTimer wall;
    CHECK(bounded(200) == -ETIMEDOUT);
    const std::int64_t waited = wall.elapsedMs();
    CHECK(waited >= 150);
    CHECK(waited < 5000);

    // The node's flags and the thread's signal mask are as they were, and no timer is left
    // to interrupt a later wait.
    CHECK((fcntl(ends[1], F_GETFL) & O_NONBLOCK) != 0);
    sigset_t after;
    pthread_sigmask(SIG_SETMASK, nullptr, &after);
    for (int signal = 1; signal < SIGRTMAX; ++signal) {
        INFO("signal ", signal);
        CHECK(sigismember(&after, signal) == sigismember(&before, signal));
    }
    timespec pause { 0, 300 * 1000 * 1000 };
    CHECK(nanosleep(&pause, nullptr) == 0);

    // Limits so short that the timer may fire before the write starts to wait still end
    // it; a limit already spent sends nothing.
    for (int round = 0; round < 50; ++round) {
        INFO("round ", round);
        wall.restart();
        CHECK(bounded(1 + round % 3) == -ETIMEDOUT);
        CHECK(wall.elapsedMs() < 5000);
    }
    CHECK(bounded(0) == -ETIMEDOUT);

    // With room in the pipe the block goes through at once.
    char sink[65536];
    while (::read(ends[0], sink, sizeof sink) > 0) { }
    CHECK(bounded(200) == 4096);

    // A node made blocking for good (the image handle) is bounded by the same timer, and stays
    // blocking.
    while (::write(ends[1], chunk.data(), chunk.size()) > 0) { }
    REQUIRE(RealSyscalls().makeBlocking(ends[1]) == 0);
    wall.restart();
    CHECK(bounded(200) == -ETIMEDOUT);
    CHECK(wall.elapsedMs() < 5000);
    CHECK((fcntl(ends[1], F_GETFL) & O_NONBLOCK) == 0);
    ::close(ends[0]);
    ::close(ends[1]);
}

TEST_CASE("every device notice reaches the change listener")
{
    BackendWorld world;
    int calls = 0;
    world.platform.setChangeListener([&calls] { ++calls; });
    CHECK(world.platform.notificationFd() == 42);
    world.directory.notices = 3;
    world.platform.readNotifications();
    world.platform.readNotifications();
    CHECK(calls == 3);
}

TEST_CASE("a node this account may not open is counted for the operator, and listed as unknown")
{
    struct Row {
        const char *name;
        int openErrno;
        int denied;
        const char16_t *product;
    };
    const Row rows[] = {
        { "opens", 0, 0, u"ZELTAN QXR3303" },
        { "group lp only (EACCES)", EACCES, 1, u"unknown" },
        { "refused by a security module (EPERM)", EPERM, 1, u"unknown" },
        { "held by another program (EBUSY)", EBUSY, 0, u"unknown" },
        { "gone meanwhile (ENOENT)", ENOENT, 0, u"unknown" },
    };
    for (const Row &row : rows) {
        INFO(row.name);
        BackendWorld world;
        LayerOnThisBackend layer(world.platform, world.clock);
        world.node.deviceId = BigEndian("MFG:ZELTAN;MDL:QXR3303;SN:A1;");
        world.node.openErrno = row.openErrno;
        world.directory.nodes = { Lp(0), Lp(1) };
        USBPrinterClassDeviceInfo table;
        REQUIRE(Lib_EnumeratePrinterClassPnPDevices(&table) == 2);
        CHECK(Text(table.ProductName[0]) == row.product);
        // Both nodes are refused alike.
        CHECK(world.platform.deniedInLastEnumeration() == 2 * row.denied);

        // An open outside an enumeration (a probe, a command) does not change the count, and
        // the next enumeration counts afresh.
        Lib_SetUSBDeviceFilePath(1, u"/dev/usb/lp0");
        Lib_IsConnectionValid();
        CHECK(world.platform.deniedInLastEnumeration() == 2 * row.denied);
        world.node.openErrno = 0;
        REQUIRE(Lib_EnumeratePrinterClassPnPDevices(&table) == 2);
        CHECK(world.platform.deniedInLastEnumeration() == 0);
    }
}

TEST_CASE("a listing takes only nodes udev has set up, waiting a bounded while for one, and "
          "counts the printers another program took")
{
    struct Row {
        const char *name;
        int settingUpListings;
        std::size_t listed;
        std::uint32_t waitedMs;
        int withoutDriver;
    };
    const std::uint32_t bound = kNodeSetupWaitMs;
    const Row rows[] = {
        { "both set up", 0, 2, 0, 0 },
        { "the second one set up a moment later", 3, 2, 3 * kNodeSetupPollMs, 0 },
        { "the second one never set up within the bound", 1000, 1, bound, 0 },
        { "two more printers have no driver", 0, 2, 0, 2 },
    };
    for (const Row &row : rows) {
        INFO(row.name);
        BackendWorld world;
        world.directory.nodes = { Lp(0), Lp(1) };
        world.directory.settingUpListings = row.settingUpListings;
        world.directory.withoutDriver = row.withoutDriver;
        const std::uint64_t start = world.clock.elapsed();
        REQUIRE(world.platform.beginEnumeration());
        const auto waited = world.clock.elapsed() - start;
        CHECK(waited >= row.waitedMs);
        CHECK(waited < row.waitedMs + kNodeSetupPollMs);
        std::u16string path;
        std::size_t listed = 0;
        while (world.platform.interfacePath(int(listed), path) == InterfaceLookup::Found)
            ++listed;
        CHECK(listed == row.listed);
        CHECK(world.platform.takenInLastEnumeration() == row.withoutDriver);
        world.platform.endEnumeration();
    }
}
