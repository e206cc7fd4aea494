// The Linux backend against a played kernel: the usblp answers (errno values, partial and
// stalled writes, vanishing nodes) come from a fake system-call table and a fake device
// directory, and time from a virtual clock, so a one-minute stall costs nothing.
#include "printer_link/device_contract.h"
#include "printer_link/linux/device_id.h"
#include "printer_link/linux/linux_backend.h"
#include "printer_link/simulated/virtual_clock.h"

#include <QElapsedTimer>
#include <QtTest>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
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

    // Writes: usblp takes one block per call and reports it before it has gone out; the next
    // write and POLLOUT wait until it has.
    std::size_t blockLimit = 8192;
    int pollsPerBlock = 0;
    qint64 stallAfter = -1; // once this many bytes came, the block in flight never finishes
    qint64 unplugAfter = -1; // once this many bytes came, the printer is gone
    int interruptEvery = 0; // every n-th poll or write is interrupted
    QByteArray received;
    bool inFlight = false;
    int pendingPolls = 0;
    bool unplugged = false;
    int calls = 0;

    bool interrupted() { return interruptEvery > 0 && ++calls % interruptEvery == 0; }
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

ssize_t FakeWrite(int, const void *data, size_t count)
{
    FakeNode &node = *gNode;
    if (node.interrupted()) {
        errno = EINTR;
        return -1;
    }
    if (node.unplugged) {
        errno = ENODEV;
        return -1;
    }
    if (node.inFlight) {
        errno = EAGAIN;
        return -1;
    }
    if (count == 0)
        return 0;
    const std::size_t take = std::min(count, node.blockLimit);
    node.received.append(static_cast<const char *>(data), static_cast<qsizetype>(take));
    node.inFlight = true;
    node.pendingPolls = node.pollsPerBlock;
    if (node.unplugAfter >= 0 && node.received.size() >= node.unplugAfter)
        node.unplugged = true;
    return static_cast<ssize_t>(take);
}

int FakePoll(pollfd *fds, nfds_t, int timeoutMs)
{
    FakeNode &node = *gNode;
    fds->revents = 0;
    if (fds->events & POLLIN) {
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
    if (node.interrupted()) {
        errno = EINTR;
        return -1;
    }
    if (node.inFlight && !node.unplugged) {
        const bool stalled = node.stallAfter >= 0 && node.received.size() >= node.stallAfter;
        if (stalled || node.pendingPolls > 0) {
            --node.pendingPolls;
            node.clock->advance(static_cast<std::uint32_t>(timeoutMs));
            return 0;
        }
    }
    // usblp finishes a block killed by the unplug too.
    node.inFlight = false;
    fds->revents = POLLOUT;
    return 1;
}

constexpr Syscalls kFakeCalls { &FakeOpen, &FakeClose, &FakeIoctl, &FakeRead, &FakeWrite,
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
        QTest::newRow("length counts itself") << Id(0, 27, id, 1024) << 512 << id;
        QTest::newRow("length without its own two bytes")
            << Id(0, 24, "MFG:KX;MDL:reflash;SN:A1", 1024) << 512 << id.left(24);
        QTest::newRow("little-endian length") << Id(27, 0, id, 1024) << 512 << id;
        QTest::newRow("implausible length either way") << Id(0xFF, 0xFE, id, 1024) << 512 << id;
        QTest::newRow("length longer than the data") << Id(0, 100, id, 1024) << 512 << id;
        QTest::newRow("length longer than the buffer") << Id(0, 100, id) << 512 << id;
        QTest::newRow("control byte ends the ID")
            << Id(0, 28, "MFG:KX;\x01MDL:reflash;SN:A1;", 1024) << 512 << QByteArray("MFG:KX;");
        QTest::newRow("stale bytes after the counted length stay out")
            << Id(0, 27, id + "ZZ", 1024) << 512 << id;
        QTest::newRow("Latin-1 letters are text")
            << Id(0, 19, "MFG:Zelt\xe4n;MDL:Q;", 1024) << 512 << QByteArray("MFG:Zelt\xe4n;MDL:Q;");
        QTest::newRow("zero length") << Id(0, 0, id) << 512 << QByteArray();
        QTest::newRow("length of the prefix alone") << Id(0, 2, "", 1024) << 512 << QByteArray();
        QTest::newRow("buffer filled to the last byte") << Id(0, 27, id) << 512 << id;
        QTest::newRow("text that just fits") << Id(0, 27, id, 1024) << 26 << id;
        QTest::newRow("text one byte too long is cut") << Id(0, 27, id, 1024) << 25 << id.left(24);
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
        QTest::addColumn<int>("pollsPerBlock");
        QTest::addColumn<int>("stallAfter");
        QTest::addColumn<int>("unplugAfter");
        QTest::addColumn<int>("interruptEvery");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("minElapsedMs");
        QTest::addColumn<int>("maxElapsedMs");

        const int limit = int(contract::kWriteStallLimitMs);
        const int slice = kWritePollMs;
        QTest::newRow("one block") << 100 << 8192 << 0 << -1 << -1 << 0 << true << 0 << 0;
        QTest::newRow("a block at a time")
            << 20000 << 8192 << 2 << -1 << -1 << 0 << true << 0 << 6 * slice;
        QTest::newRow("a few bytes at a time") << 50 << 3 << 0 << -1 << -1 << 0 << true << 0 << 0;
        QTest::newRow("interrupted and busy answers")
            << 20000 << 8192 << 1 << -1 << -1 << 3 << true << 0 << 6 * slice;
        QTest::newRow("slow printer that keeps taking data")
            << 3 * 8192 << 8192 << 59 << -1 << -1 << 0 << true << 3 * 59 * slice << 3 * 60 * slice;
        QTest::newRow("stalled from the start")
            << 20000 << 8192 << 0 << 0 << -1 << 0 << false << limit << limit + slice;
        QTest::newRow("stalls midway")
            << 20000 << 8192 << 0 << 8192 << -1 << 0 << false << limit << limit + slice;
        QTest::newRow("last block never finishes")
            << 20000 << 8192 << 0 << 20000 << -1 << 0 << false << limit << limit + slice;
        QTest::newRow("unplugged midway")
            << 20000 << 8192 << 0 << -1 << 8192 << 0 << false << 0 << 0;
        QTest::newRow("unplugged while taking the last block")
            << 20000 << 8192 << 0 << -1 << 20000 << 0 << false << 0 << 0;
        QTest::newRow("nothing to write") << 0 << 8192 << 0 << -1 << -1 << 0 << true << 0 << 0;
    }

    void writes()
    {
        QFETCH(int, size);
        QFETCH(int, blockLimit);
        QFETCH(int, pollsPerBlock);
        QFETCH(int, stallAfter);
        QFETCH(int, unplugAfter);
        QFETCH(int, interruptEvery);
        QFETCH(bool, ok);
        QFETCH(int, minElapsedMs);
        QFETCH(int, maxElapsedMs);

        node_.blockLimit = std::size_t(blockLimit);
        node_.pollsPerBlock = pollsPerBlock;
        node_.stallAfter = stallAfter;
        node_.unplugAfter = unplugAfter;
        node_.interruptEvery = interruptEvery;
        QByteArray data(size, '\0');
        for (int i = 0; i < size; ++i)
            data[i] = char(i * 7 + i / 251);

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
        if (ok) {
            QCOMPARE(node_.received.size(), size);
            // Closing kills a block still in flight: the write must not return before the
            // driver has finished the last one.
            QVERIFY(!node_.inFlight);
        } else {
            QVERIFY(!platform_->lastErrorText().empty());
        }
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
