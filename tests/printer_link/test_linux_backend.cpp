// The Linux backend against a played kernel: the usblp answers (errno values, partial and
// stalled writes, vanishing nodes) come from a fake system-call table and a fake device
// directory, and time from a virtual clock, so a one-minute stall costs nothing.
#include "firmware/firmware_image.h"
#include "firmware/transfer.h"
#include "printer_link/device_contract.h"
#include "printer_link/linux/device_id.h"
#include "printer_link/linux/linux_backend.h"
#include "printer_link/printer_link.h"
#include "printer_link/simulated/virtual_clock.h"

#include <QElapsedTimer>
#include <QtTest>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <pthread.h>
#include <unistd.h>
#include <utility>

using namespace vornik;
using namespace vornik::linux_backend;

Q_DECLARE_METATYPE(UsbAddress)

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
    int opens = 0;
    int closes = 0;
    UsbAddress address = kListed; // answer of the bus-address ioctl; unknown: not supported

    QByteArray deviceId;
    int deviceIdErrno = 0;
    int deviceIdInterruptions = 0;
    unsigned long deviceIdRequest = 0;

    int pollInResult = 1; // 1 ready, 0 nothing within the wait, -1 interrupted
    int readWait = -1;
    ssize_t readResult = 0; // byte count, or -errno
    QByteArray readData;

    // Blocking writes: usblp takes one block per call and returns once the printer has
    // finished it, or with the error the transfer ended in.
    std::size_t blockLimit = 8192;
    std::uint32_t msPerBlock = 0; // how long the printer takes to finish each block
    qint64 stallAfter = -1; // once this many bytes came, no block ever finishes
    qint64 unplugAfter = -1; // once this many bytes came, the printer is gone
    qint64 failAfter = -1; // once this many bytes came, the printer fails the next block
    qint64 interruptAfter = -1; // once this many bytes came, a foreign signal ends the wait
    QByteArray received;
    bool unplugged = false;
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
    std::memcpy(argument, node.deviceId.constData(),
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
    std::memcpy(buffer, gNode->readData.constData(), n);
    return static_cast<ssize_t>(n);
}

ssize_t FakeWriteWithin(int, const void *data, size_t count, int timeoutMs)
{
    FakeNode &node = *gNode;
    node.largestWrite = std::max(node.largestWrite, count);
    node.writeLimits.push_back(timeoutMs);
    const qint64 came = node.received.size();
    const auto reached = [came](qint64 mark) { return mark >= 0 && came >= mark; };
    if (node.unplugged || reached(node.unplugAfter)) {
        node.unplugged = true;
        errno = ENODEV;
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
    node.received.append(static_cast<const char *>(data), static_cast<qsizetype>(take));
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

constexpr Syscalls kFakeCalls { &FakeOpen, &FakeClose, &FakeIoctl, &FakeRead, &FakeWriteWithin,
    &FakePoll };

class FakeDirectory : public DeviceDirectory {
public:
    std::vector<PrinterNode> nodes;
    bool listable = true;
    UsbAddress nodeAddress = kListed;
    UsbAddress usbAddress = kListed;
    int notices = 0;

    bool listPrinters(std::vector<PrinterNode> &out) override
    {
        out = nodes;
        return listable;
    }
    UsbAddress addressOfNode(const std::string &) override { return nodeAddress; }
    UsbAddress addressOfUsbDevice(const std::string &) override { return usbAddress; }
    int noticeFd() const override { return 42; }
    int takeNotices() override { return std::exchange(notices, 0); }
};

PrinterNode Lp(int number)
{
    const std::string name = std::to_string(number);
    return { "/dev/usb/lp" + name, "/sys/devices/pci0000:00/usb1/1-" + name, kListed };
}

// A device ID as the driver hands it over: two length bytes, the text, and zeros up to `size`.
QByteArray Id(int first, int second, const QByteArray &text, int size = -1)
{
    QByteArray raw;
    raw.append(char(first)).append(char(second)).append(text);
    if (size >= 0)
        raw.resize(size, '\0');
    return raw;
}

// An ID as the driver hands over one with a big-endian length: length, text, zeros.
QByteArray BigEndian(const QByteArray &text)
{
    const auto length = text.size() + 2;
    return Id(int(length >> 8), int(length & 0xFF), text, int(kDriverDeviceIdBytes));
}

// An ID whose printer sent its length little-endian: usblp takes the length the other way
// round, clamps it and copies stale bytes of its own buffer behind the ID.
QByteArray LittleEndian(const QByteArray &text, const QByteArray &stale = {})
{
    const auto length = text.size() + 2;
    return Id(int(length & 0xFF), int(length >> 8), text + stale, int(kDriverDeviceIdBytes));
}

// A product's ID of exactly `length` bytes whose status digits are its third- and second-last.
QByteArray ProductId(int length, const QByteArray &digits)
{
    const QByteArray head = "MFG:ZELTAN;MDL:QXR3303;SN:LONG1;CMT:";
    const QByteArray tail = ";S:0000000000000000" + digits + ";";
    return head + QByteArray(length - head.size() - tail.size(), 'x') + tail;
}

QByteArray Pattern(qsizetype size)
{
    QByteArray data(size, '\0');
    for (qsizetype i = 0; i < size; ++i)
        data[i] = char(i * 7 + i / 251);
    return data;
}

constexpr qsizetype kImageBytes = 3 * 64 * 1024 + 4321;

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

class TestLinuxBackend : public QObject {
    Q_OBJECT

private:
    sim::VirtualClock clock_;
    FakeNode node_;
    FakeDirectory directory_;
    std::unique_ptr<LinuxDevicePlatform> platform_;

    void listNode(const PrinterNode &node)
    {
        directory_.nodes = { node };
        QVERIFY(platform_->beginEnumeration());
        platform_->endEnumeration();
    }

private slots:
    void init()
    {
        node_ = FakeNode {};
        node_.clock = &clock_;
        gNode = &node_;
        directory_ = FakeDirectory {};
        platform_ = std::make_unique<LinuxDevicePlatform>(kFakeCalls, directory_, clock_);
    }

    void unwrapsDeviceId_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<int>("outSize");
        QTest::addColumn<QByteArray>("expected");

        const QByteArray id = "MFG:KX;MDL:reflash;SN:A1;"; // 25 bytes
        const QByteArray fits(511, 'x');
        const QByteArray tooLong(512, 'x');
        QTest::newRow("length counts itself") << Id(0, 27, id, 1024) << 512 << id;
        QTest::newRow("padding after the last field is no part of it")
            << Id(0, 32, id + " \r\n\0\0", 1024) << 512 << id;
        QTest::newRow("length longer than the text, zeros behind")
            << Id(0, 100, id, 1024) << 512 << id;
        QTest::newRow("stale bytes after the counted length stay out")
            << Id(0, 27, id + "ZZ", 1024) << 512 << id;
        // usblp clamps a little-endian length to 1023 and copies stale bytes behind the ID.
        QTest::newRow("little-endian length, stale text behind")
            << Id(27, 0, id + "ZZ;garbage", 1024) << 512 << id;
        QTest::newRow("little-endian length, zeros behind") << Id(27, 0, id, 1024) << 512 << id;
        QTest::newRow("a gadget's length without its own two bytes cuts, never invents")
            << Id(0, 24, id.left(22), 1024) << 512 << id.left(22);
        QTest::newRow("Latin-1 letters are text")
            << Id(0, 19, "MFG:Zelt\xe4n;MDL:Q;", 1024) << 512 << QByteArray("MFG:Zelt\xe4n;MDL:Q;");
        QTest::newRow("511 bytes fit") << Id(0x02, 0x01, fits, 1024) << 512 << fits;
        QTest::newRow("512 bytes do not") << Id(0x02, 0x02, tooLong, 1024) << 512 << QByteArray();
        QTest::newRow("little-endian, too long")
            << Id(0x5A, 0x02, QByteArray(600, 'x'), 1024) << 512 << QByteArray();
        QTest::newRow("longer than usblp's buffer")
            << Id(0x04, 0x4C, QByteArray(1021, 'x')) << 512 << QByteArray();
        QTest::newRow("length fits in neither byte order")
            << Id(0xFF, 0xFE, id, 1024) << 512 << QByteArray();
        QTest::newRow("control byte inside a field")
            << Id(0, 28, "MFG:KX;\x01MDL:reflash;SN:A1;", 1024) << 512 << QByteArray();
        QTest::newRow("zero byte inside the fields")
            << Id(0, 28, QByteArray("MFG:KX;\0MDL:reflash;SN:A1;", 26), 1024) << 512
            << QByteArray();
        QTest::newRow("tab inside a field") << Id(0, 10, "MFG:K\tX;", 1024) << 512 << QByteArray();
        QTest::newRow("nothing but padding") << Id(0, 6, "  \r\n", 1024) << 512 << QByteArray();
        QTest::newRow("zero length") << Id(0, 0, id) << 512 << QByteArray();
        QTest::newRow("length of the prefix alone") << Id(0, 2, "", 1024) << 512 << QByteArray();
        QTest::newRow("buffer filled to the last byte") << Id(0, 27, id) << 512 << id;
        QTest::newRow("length beyond what arrived") << Id(0, 100, id) << 512 << QByteArray();
        QTest::newRow("text that just fits") << Id(0, 27, id, 1024) << 26 << id;
        QTest::newRow("text one byte too long is refused, not cut")
            << Id(0, 27, id, 1024) << 25 << QByteArray();
        QTest::newRow("no room at all") << Id(0, 27, id, 1024) << 1 << QByteArray();
        QTest::newRow("shorter than a length") << QByteArray(1, '\0') << 512 << QByteArray();
    }

    void unwrapsDeviceId()
    {
        QFETCH(QByteArray, raw);
        QFETCH(int, outSize);
        QFETCH(QByteArray, expected);

        std::vector<std::uint8_t> out(static_cast<std::size_t>(outSize) + 8, 0xAA);
        const std::size_t length = UnwrapDeviceId(
            reinterpret_cast<const std::uint8_t *>(raw.constData()),
            static_cast<std::size_t>(raw.size()), out.data(), static_cast<std::size_t>(outSize));
        QCOMPARE(
            QByteArray(reinterpret_cast<const char *>(out.data()), qsizetype(length)), expected);
        QCOMPARE(out[length], std::uint8_t { 0 });
        // Nothing beyond the buffer it was given.
        for (std::size_t i = static_cast<std::size_t>(outSize); i < out.size(); ++i)
            QCOMPARE(out[i], std::uint8_t { 0xAA });
    }

    void queriesDeviceIdThroughTheDriver()
    {
        node_.deviceId = Id(0, 21, "MFG:KX;MDL:reflash;");
        node_.deviceIdInterruptions = 1;
        std::uint8_t id[contract::kDeviceIdBytes];
        std::memset(id, 'x', sizeof id);
        QVERIFY(platform_->queryDeviceId(kFd, id, sizeof id));
        QCOMPARE(node_.deviceIdRequest, kDeviceIdIoctl);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(id)), QByteArray("MFG:KX;MDL:reflash;"));

        node_.deviceIdErrno = ENODEV;
        QVERIFY(!platform_->queryDeviceId(kFd, id, sizeof id));
        QCOMPARE(QString::fromStdString(platform_->lastErrorText()), QString("No such device"));
    }

    void opens_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("openErrno");
        QTest::addColumn<int>("interruptions");
        QTest::addColumn<bool>("opened");
        QTest::addColumn<int>("access");

        const int shared = int(OpenMode::ReadWriteShared);
        const int exclusive = int(OpenMode::WriteExclusive);
        QTest::newRow("commands read and write") << shared << 0 << 0 << true << O_RDWR;
        QTest::newRow("firmware only writes") << exclusive << 0 << 0 << true << O_WRONLY;
        QTest::newRow("interrupted, then opens") << shared << 0 << 2 << true << O_RDWR;
        QTest::newRow("node gone") << shared << ENOENT << 0 << false << O_RDWR;
        QTest::newRow("held by another program") << shared << EBUSY << 0 << false << O_RDWR;
        QTest::newRow("printer unplugged") << exclusive << ENODEV << 0 << false << O_WRONLY;
    }

    void opens()
    {
        QFETCH(int, mode);
        QFETCH(int, openErrno);
        QFETCH(int, interruptions);
        QFETCH(bool, opened);
        QFETCH(int, access);

        node_.openErrno = openErrno;
        node_.openInterruptions = interruptions;
        const DeviceHandle handle = platform_->open(u"/dev/usb/lp0", OpenMode(mode));
        QCOMPARE(handle != kInvalidDeviceHandle, opened);
        QCOMPARE(node_.openFlags & O_ACCMODE, access);
        // Reads and writes must never block, and no child process may inherit a printer.
        QVERIFY(node_.openFlags & O_NONBLOCK);
        QVERIFY(node_.openFlags & O_CLOEXEC);
        if (!opened)
            QVERIFY(!platform_->lastErrorText().empty());
    }

    void refusesANodeThatChangedHands()
    {
        listNode(Lp(0));
        node_.address = kOther;
        QCOMPARE(platform_->open(u"/dev/usb/lp0", OpenMode::ReadWriteShared), kInvalidDeviceHandle);
        QCOMPARE(node_.closes, node_.opens);

        node_.address = kListed;
        QCOMPARE(platform_->open(u"/dev/usb/lp0", OpenMode::WriteExclusive), DeviceHandle(kFd));
    }

    // Node reuse could reach another printer whenever either side of the comparison is missing.
    void refusesANodeItCannotTellApart()
    {
        listNode(Lp(0));
        node_.address = kUnknown;
        QCOMPARE(platform_->open(u"/dev/usb/lp0", OpenMode::ReadWriteShared), kInvalidDeviceHandle);
        QCOMPARE(platform_->open(u"/dev/usb/lp0", OpenMode::WriteExclusive), kInvalidDeviceHandle);
        QVERIFY(!platform_->lastErrorText().empty());
        QCOMPARE(node_.closes, node_.opens);
        // Still present: not knowing is no evidence that it left.
        QVERIFY(platform_->isPresent(u"/dev/usb/lp0"));

        PrinterNode noAddress = Lp(0);
        noAddress.address = kUnknown;
        listNode(noAddress);
        node_.address = kListed;
        QCOMPARE(platform_->open(u"/dev/usb/lp0", OpenMode::WriteExclusive), kInvalidDeviceHandle);
    }

    // usblp reads ahead while a node is open and drops it at close: a reply that came while a
    // command's handle was open must reach the next read of that printer, and no other.
    void replyReadAheadSurvivesTheClose()
    {
        listNode(Lp(0));
        node_.readData = "ok;";
        node_.readResult = 3;
        const DeviceHandle command = platform_->open(u"/dev/usb/lp0", OpenMode::ReadWriteShared);
        node_.pollInResult = 1;
        platform_->close(command); // the driver had "ok;" waiting
        node_.readResult = -EAGAIN;

        const DeviceHandle reply = platform_->open(u"/dev/usb/lp0", OpenMode::ReadWriteShared);
        std::uint8_t buffer[2];
        std::size_t got = 0;
        QVERIFY(platform_->read(reply, buffer, sizeof buffer, got));
        QCOMPARE(QByteArray(reinterpret_cast<char *>(buffer), int(got)), QByteArray("ok"));
        QVERIFY(platform_->read(reply, buffer, sizeof buffer, got));
        QCOMPARE(QByteArray(reinterpret_cast<char *>(buffer), int(got)), QByteArray(";"));
        node_.pollInResult = 0;
        QVERIFY(platform_->read(reply, buffer, sizeof buffer, got));
        QCOMPARE(got, std::size_t(0));
        platform_->close(reply);

        // Kept bytes of a printer that has since left are never handed to its successor.
        node_.pollInResult = 1;
        node_.readResult = 3;
        platform_->close(platform_->open(u"/dev/usb/lp0", OpenMode::ReadWriteShared));
        PrinterNode successor = Lp(0);
        successor.address = kOther;
        listNode(successor);
        node_.address = kOther;
        node_.readResult = -EAGAIN;
        const DeviceHandle other = platform_->open(u"/dev/usb/lp0", OpenMode::ReadWriteShared);
        QVERIFY(platform_->read(other, buffer, sizeof buffer, got));
        QCOMPARE(got, std::size_t(0));
    }

    void probesPresence_data()
    {
        QTest::addColumn<bool>("listed");
        QTest::addColumn<int>("openErrno");
        QTest::addColumn<UsbAddress>("onDescriptor");
        QTest::addColumn<UsbAddress>("ofNode");
        QTest::addColumn<UsbAddress>("ofUsbDevice");
        QTest::addColumn<bool>("present");

        QTest::newRow("opens, same printer") << true << 0 << kListed << kListed << kListed << true;
        QTest::newRow("opens, but another printer has the node")
            << true << 0 << kOther << kOther << kOther << false;
        QTest::newRow("opens, driver cannot tell")
            << true << 0 << kUnknown << kUnknown << kUnknown << true;
        QTest::newRow("held by another program")
            << true << EBUSY << kUnknown << kListed << kListed << true;
        QTest::newRow("held, node cannot be looked up")
            << true << EBUSY << kUnknown << kUnknown << kUnknown << true;
        QTest::newRow("held, but by another printer on the node")
            << true << EBUSY << kUnknown << kOther << kOther << false;
        QTest::newRow("not ours to open")
            << true << EACCES << kUnknown << kListed << kListed << true;
        QTest::newRow("node gone, printer left")
            << true << ENOENT << kUnknown << kUnknown << kUnknown << false;
        QTest::newRow("node gone, printer back with a new address")
            << true << ENOENT << kUnknown << kUnknown << kOther << false;
        QTest::newRow("node gone, driver detached from an attached printer")
            << true << ENOENT << kUnknown << kUnknown << kListed << true;
        QTest::newRow("interface going away")
            << true << ENODEV << kUnknown << kListed << kListed << false;
        QTest::newRow("no driver behind the node")
            << true << ENXIO << kUnknown << kListed << kListed << false;
        // usblp gives EIO when it cannot start its read-ahead on a printer that is still there.
        QTest::newRow("read-ahead could not start")
            << true << EIO << kUnknown << kListed << kListed << true;
        QTest::newRow("read-ahead could not start, another printer on the node")
            << true << EIO << kUnknown << kOther << kOther << false;
        QTest::newRow("out of memory") << true << ENOMEM << kUnknown << kListed << kListed << true;
        QTest::newRow("never listed, node gone")
            << false << ENOENT << kUnknown << kListed << kListed << false;
        QTest::newRow("never listed, opens") << false << 0 << kOther << kOther << kOther << true;
    }

    void probesPresence()
    {
        QFETCH(bool, listed);
        QFETCH(int, openErrno);
        QFETCH(UsbAddress, onDescriptor);
        QFETCH(UsbAddress, ofNode);
        QFETCH(UsbAddress, ofUsbDevice);
        QFETCH(bool, present);

        if (listed)
            listNode(Lp(0));
        node_.openErrno = openErrno;
        node_.address = onDescriptor;
        directory_.nodeAddress = ofNode;
        directory_.usbAddress = ofUsbDevice;
        QCOMPARE(platform_->isPresent(u"/dev/usb/lp0"), present);
        QCOMPARE(node_.closes, node_.opens);
    }

    void reads_data()
    {
        QTest::addColumn<int>("pollResult");
        QTest::addColumn<int>("readResult");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("got");

        QTest::newRow("a chunk") << 1 << 5 << true << 5;
        QTest::newRow("nothing within the wait") << 0 << 5 << true << 0;
        QTest::newRow("poll interrupted") << -1 << 5 << true << 0;
        QTest::newRow("nothing there after all") << 1 << -EAGAIN << true << 0;
        QTest::newRow("read interrupted") << 1 << -EINTR << true << 0;
        QTest::newRow("empty packet") << 1 << 0 << true << 0;
        QTest::newRow("printer unplugged") << 1 << -ENODEV << false << 0;
        QTest::newRow("printer that never answers") << 1 << -EINVAL << false << 0;
    }

    void reads()
    {
        QFETCH(int, pollResult);
        QFETCH(int, readResult);
        QFETCH(bool, ok);
        QFETCH(int, got);

        node_.pollInResult = pollResult;
        node_.readResult = readResult;
        node_.readData = "ok;\r\n";
        std::uint8_t buffer[1024];
        std::size_t count = 99;
        QCOMPARE(platform_->read(kFd, buffer, sizeof buffer, count), ok);
        QCOMPARE(count, std::size_t(got));
        QVERIFY(node_.readWait > 0 && node_.readWait <= 50);
    }

    void writes_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("blockLimit");
        QTest::addColumn<int>("msPerBlock");
        QTest::addColumn<int>("stallAfter");
        QTest::addColumn<int>("unplugAfter");
        QTest::addColumn<int>("failAfter");
        QTest::addColumn<int>("interruptAfter");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("minElapsedMs");
        QTest::addColumn<int>("maxElapsedMs");
        QTest::addColumn<QString>("reason");

        const int limit = int(contract::kWriteStallLimitMs);
        QTest::newRow("one block")
            << 100 << 8192 << 0 << -1 << -1 << -1 << -1 << true << 0 << 0 << QString();
        QTest::newRow("a block at a time")
            << 20000 << 8192 << 10 << -1 << -1 << -1 << -1 << true << 30 << 30 << QString();
        QTest::newRow("a few bytes at a time")
            << 50 << 3 << 0 << -1 << -1 << -1 << -1 << true << 0 << 0 << QString();
        QTest::newRow("slow printer that keeps taking data")
            << 3 * 8192 << 8192 << 59000 << -1 << -1 << -1 << -1 << true << 3 * 59000 << 3 * 59000
            << QString();
        QTest::newRow("stalled from the start")
            << 20000 << 8192 << 0 << 0 << -1 << -1 << -1 << false << limit << limit << "60 seconds";
        QTest::newRow("stalls midway") << 20000 << 8192 << 0 << 8192 << -1 << -1 << -1 << false
                                       << limit << limit << "60 seconds";
        QTest::newRow("too slow for the stall limit")
            << 20000 << 8192 << 61000 << -1 << -1 << -1 << -1 << false << limit << limit
            << "60 seconds";
        QTest::newRow("printer fails a block and stays attached")
            << 20000 << 8192 << 0 << -1 << -1 << 8192 << -1 << false << 0 << 0
            << "Input/output error";
        QTest::newRow("printer fails the last block")
            << 20000 << 8192 << 0 << -1 << -1 << 16384 << -1 << false << 0 << 0
            << "Input/output error";
        QTest::newRow("unplugged midway")
            << 20000 << 8192 << 0 << -1 << 8192 << -1 << -1 << false << 0 << 0 << "No such device";
        // The block may be in flight: sending it again would put it into the stream twice.
        QTest::newRow("a foreign signal is not retried")
            << 20000 << 8192 << 0 << -1 << -1 << -1 << 8192 << false << 0 << 0
            << "Interrupted system call";
        QTest::newRow("nothing to write")
            << 0 << 8192 << 0 << -1 << -1 << -1 << -1 << true << 0 << 0 << QString();
    }

    void writes()
    {
        QFETCH(int, size);
        QFETCH(int, blockLimit);
        QFETCH(int, msPerBlock);
        QFETCH(int, stallAfter);
        QFETCH(int, unplugAfter);
        QFETCH(int, failAfter);
        QFETCH(int, interruptAfter);
        QFETCH(bool, ok);
        QFETCH(int, minElapsedMs);
        QFETCH(int, maxElapsedMs);
        QFETCH(QString, reason);

        node_.blockLimit = std::size_t(blockLimit);
        node_.msPerBlock = std::uint32_t(msPerBlock);
        node_.stallAfter = stallAfter;
        node_.unplugAfter = unplugAfter;
        node_.failAfter = failAfter;
        node_.interruptAfter = interruptAfter;
        const QByteArray data = Pattern(size);

        const std::uint64_t start = clock_.elapsed();
        QElapsedTimer wall;
        wall.start();
        const bool written = platform_->write(
            kFd, reinterpret_cast<const std::uint8_t *>(data.constData()), std::size_t(size));
        const auto elapsed = qint64(clock_.elapsed() - start);

        QCOMPARE(written, ok);
        QVERIFY2(elapsed >= minElapsedMs && elapsed <= maxElapsedMs,
            qPrintable(QString::number(elapsed)));
        QVERIFY(wall.elapsed() < 2000);
        // The printer sees the bytes in order, never one twice.
        QCOMPARE(node_.received, data.left(node_.received.size()));
        // One driver block per call, so each call's outcome is that block's own.
        QVERIFY(node_.largestWrite <= kDriverWriteBlockBytes);
        for (int wait : node_.writeLimits)
            QVERIFY(wait > 0 && wait <= int(contract::kWriteStallLimitMs));
        if (ok)
            QCOMPARE(node_.received.size(), size);
        else
            QVERIFY2(QString::fromStdString(platform_->lastErrorText()).contains(reason),
                platform_->lastErrorText().c_str());
    }

    // The status gate over the whole layer: the device ID as the kernel hands it over,
    // the listing, the status read and the gated command.
    void statusGateReadsIdsWholeOrNotAtAll_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<QString>("product");
        QTest::addColumn<QString>("serial");
        QTest::addColumn<int>("status");

        const QString name = QStringLiteral("ZELTAN QXR3303");
        const QString unknown = QStringLiteral("unknown");
        QTest::newRow("514 bytes, jam beyond byte 511")
            << BigEndian(ProductId(514, "0E")) << unknown << unknown << -1;
        QTest::newRow("514 bytes, idle beyond byte 511")
            << BigEndian(ProductId(514, "00")) << unknown << unknown << -1;
        QTest::newRow("1000 bytes") << BigEndian(ProductId(1000, "00")) << unknown << unknown << -1;
        QTest::newRow("600 bytes, little-endian length")
            << LittleEndian(ProductId(600, "00")) << unknown << unknown << -1;
        QTest::newRow("511 bytes, jam")
            << BigEndian(ProductId(511, "0E")) << name << QStringLiteral("LONG1") << 14;
        QTest::newRow("511 bytes, idle")
            << BigEndian(ProductId(511, "00")) << name << QStringLiteral("LONG1") << 0;
        QTest::newRow("little-endian length adds no characters")
            << LittleEndian("MFG:ZELTAN;MDL:QXR3303;SN:A1", "ZZ;S:000000000000000000;") << name
            << QStringLiteral("A1") << -1;
        QTest::newRow("CR LF after the last field")
            << BigEndian("MFG:ZELTAN;MDL:QXR3303;SN:A1;S:0000000000000000000;\r\n") << name
            << QStringLiteral("A1") << 0;
        QTest::newRow("control byte inside a field") << BigEndian("MFG:ZELTAN;MDL:QXR3303;SN:A\x1b"
                                                                  "1;S:000000000000000000;")
                                                     << unknown << unknown << -1;
    }

    void statusGateReadsIdsWholeOrNotAtAll()
    {
        QFETCH(QByteArray, raw);
        QFETCH(QString, product);
        QFETCH(QString, serial);
        QFETCH(int, status);

        LayerOnThisBackend layer(*platform_, clock_);
        node_.deviceId = raw;
        directory_.nodes = { Lp(0) };
        USBPrinterClassDeviceInfo table;
        QCOMPARE(Lib_EnumeratePrinterClassPnPDevices(&table), 1);
        QCOMPARE(QString::fromStdU16String(table.ProductName[0]), product);
        QCOMPARE(QString::fromStdU16String(table.SerialNumber[0]), serial);

        Lib_SetUSBDeviceFilePath(1, u"/dev/usb/lp0");
        QCOMPARE(GetPrinterStatus(), status);
        const bool ready = status == 0;
        QCOMPARE(SendCommandIfReady(contract::kDownloadCommand), ready ? 1 : 0);
        QCOMPARE(node_.received.isEmpty(), !ready);
        if (ready)
            QVERIFY(node_.received.contains(contract::kDownloadCommand));
    }

    void transfersTheImage_data()
    {
        QTest::addColumn<int>("msPerBlock");
        QTest::addColumn<int>("stallAfter");
        QTest::addColumn<int>("failAfter");
        QTest::addColumn<int>("unplugAfter");
        QTest::addColumn<int>("result");
        QTest::addColumn<qint64>("accepted");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<qint64>("elapsedMs");

        const qint64 size = kImageBytes;
        const qint64 block = qint64(kTransferBlockBytes);
        QTest::newRow("accepted whole")
            << 5 << -1 << -1 << -1 << 1 << size << QString() << (size + 8191) / 8192 * 5;
        QTest::newRow("printer fails a block mid-image and stays attached")
            << 0 << -1 << 100000 << -1 << 0 << block << "Input/output error" << qint64(0);
        QTest::newRow("printer stops reading mid-image")
            << 0 << 150000 << -1 << -1 << 0 << 2 * block << "took no data for 60 seconds"
            << qint64(contract::kWriteStallLimitMs);
        // 8 KiB every 59 seconds never trips the stall rule; the whole-transfer limit ends it.
        QTest::newRow("printer crawls")
            << 59000 << -1 << -1 << -1 << 0 << block << "within 900 seconds" << qint64(900000);
        QTest::newRow("unplugged mid-image")
            << 0 << -1 << -1 << 3 * block << 0 << 3 * block << "No such device" << qint64(0);
    }

    void transfersTheImage()
    {
        QFETCH(int, msPerBlock);
        QFETCH(int, stallAfter);
        QFETCH(int, failAfter);
        QFETCH(int, unplugAfter);
        QFETCH(int, result);
        QFETCH(qint64, accepted);
        QFETCH(QString, reason);
        QFETCH(qint64, elapsedMs);

        LayerOnThisBackend layer(*platform_, clock_);
        listNode(Lp(0));
        node_.msPerBlock = std::uint32_t(msPerBlock);
        node_.stallAfter = stallAfter;
        node_.failAfter = failAfter;
        node_.unplugAfter = unplugAfter;
        const QByteArray image = Pattern(kImageBytes);
        MemoryFirmwareImage source(
            reinterpret_cast<const std::uint8_t *>(image.constData()), std::uint32_t(image.size()));

        QStringList failures;
        std::vector<std::uint64_t> progress;
        TransferMessages messages;
        messages.failure
            = [&failures](const std::string &text) { failures << QString::fromStdString(text); };
        messages.progress = [&progress](std::uint64_t done, std::uint64_t total) {
            QCOMPARE(total, std::uint64_t(kImageBytes));
            progress.push_back(done);
        };
        const std::uint64_t start = clock_.elapsed();
        QCOMPARE(CopyFirmwareImageToPrinter(source, u"/dev/usb/lp0", messages), result);
        QCOMPARE(qint64(clock_.elapsed() - start), elapsedMs);
        QCOMPARE(node_.closes, node_.opens);
        QCOMPARE(node_.received, image.left(node_.received.size()));

        // Progress climbs block by block and tells only what the device accepted.
        QVERIFY(std::is_sorted(progress.begin(), progress.end()));
        const std::uint64_t last = progress.empty() ? 0 : progress.back();
        QCOMPARE(qint64(last), accepted);
        QVERIFY(qint64(last) <= node_.received.size());
        if (result == 1) {
            QVERIFY(failures.isEmpty());
            QCOMPARE(node_.received, image);
            return;
        }
        QCOMPARE(failures.size(), 1);
        QVERIFY2(failures.front().contains(reason), qPrintable(failures.front()));
        // The message counts what the progress counted.
        QVERIFY2(failures.front().contains(QStringLiteral("after %1 bytes").arg(accepted)),
            qPrintable(failures.front()));
    }

    void transferTimeLimitGrowsWithTheImage()
    {
        QCOMPARE(TransferTimeLimitMs(1), std::uint32_t(15 * 60 * 1000));
        QCOMPARE(TransferTimeLimitMs(77060240), std::uint32_t(15 * 60 * 1000));
        QCOMPARE(TransferTimeLimitMs(200ull * 1024 * 1024), std::uint32_t(1600 * 1000));
        QVERIFY(TransferTimeLimitMs(~0ull) > 0);
    }

    // The real write of the C library, bounded by the real timer signal: a full pipe blocks a
    // writer just as a printer that stopped reading blocks usblp.
    void realWriteEndsAtItsTimeLimit()
    {
        int ends[2];
        QCOMPARE(pipe2(ends, O_NONBLOCK | O_CLOEXEC), 0);
        const QByteArray chunk(4096, 'p');
        while (::write(ends[1], chunk.constData(), chunk.size()) > 0) { }
        sigset_t before;
        pthread_sigmask(SIG_SETMASK, nullptr, &before);

        QElapsedTimer wall;
        wall.start();
        const ssize_t written = RealSyscalls().writeWithin(ends[1], chunk.constData(), 4096, 200);
        const int error = errno;
        QCOMPARE(written, ssize_t(-1));
        QCOMPARE(error, ETIMEDOUT);
        QVERIFY(wall.elapsed() >= 150 && wall.elapsed() < 5000);

        // The node's flags and the thread's signal mask are as they were, and no timer is left
        // to interrupt a later wait.
        QVERIFY(fcntl(ends[1], F_GETFL) & O_NONBLOCK);
        sigset_t after;
        pthread_sigmask(SIG_SETMASK, nullptr, &after);
        for (int signal = 1; signal < SIGRTMAX; ++signal)
            QCOMPARE(sigismember(&after, signal), sigismember(&before, signal));
        timespec pause { 0, 300 * 1000 * 1000 };
        QCOMPARE(nanosleep(&pause, nullptr), 0);

        // Limits so short that the timer may fire before the write starts to wait still end
        // it; a limit already spent sends nothing.
        for (int round = 0; round < 50; ++round) {
            wall.restart();
            QCOMPARE(RealSyscalls().writeWithin(ends[1], chunk.constData(), 4096, 1 + round % 3),
                ssize_t(-1));
            QCOMPARE(errno, ETIMEDOUT);
            QVERIFY(wall.elapsed() < 5000);
        }
        QCOMPARE(RealSyscalls().writeWithin(ends[1], chunk.constData(), 4096, 0), ssize_t(-1));
        QCOMPARE(errno, ETIMEDOUT);

        // With room in the pipe the block goes through at once.
        char sink[65536];
        while (::read(ends[0], sink, sizeof sink) > 0) { }
        QCOMPARE(RealSyscalls().writeWithin(ends[1], chunk.constData(), 4096, 200), ssize_t(4096));
        ::close(ends[0]);
        ::close(ends[1]);
    }

    void passesOnEveryNotice()
    {
        int calls = 0;
        platform_->setChangeListener([&calls] { ++calls; });
        QCOMPARE(platform_->notificationFd(), 42);
        directory_.notices = 3;
        platform_->readNotifications();
        platform_->readNotifications();
        QCOMPARE(calls, 3);
    }
};

QTEST_GUILESS_MAIN(TestLinuxBackend)
#include "test_linux_backend.moc"
