// The simulated printers themselves: other tests and the bench trust them to keep the device
// contract, so their timeline, sharing rules, faults and image accounting are checked here.

#include "simulated_world.h"

#include "printer_link/simulated/sha256.h"

#include <QTest>

#include <atomic>
#include <thread>

using namespace testing;
using vornik::DeviceHandle;
using vornik::kInvalidDeviceHandle;
using vornik::OpenMode;
using vornik::sim::PrinterConfig;
using vornik::sim::PrinterMode;
using vornik::sim::Sha256;

Q_DECLARE_METATYPE(vornik::OpenMode)
Q_DECLARE_METATYPE(vornik::sim::PrinterMode)

namespace {

std::string Framed(const std::string &command)
{
    return std::string(vornik::contract::kFrameHead) + command + vornik::contract::kFrameTail;
}

bool Write(vornik::DevicePlatform &devices, DeviceHandle handle, const std::string &bytes)
{
    return devices.write(
        handle, reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size());
}

QByteArray DeviceId(vornik::DevicePlatform &devices, DeviceHandle handle)
{
    std::uint8_t buffer[vornik::contract::kDeviceIdBytes] = {};
    if (!devices.queryDeviceId(handle, buffer, sizeof buffer))
        return {};
    return QByteArray(reinterpret_cast<const char *>(buffer));
}

} // namespace

class TestSimulatedPrinters : public QObject {
    Q_OBJECT

private slots:
    void sha256KnownDigests_data();
    void sha256KnownDigests();
    void openSharing_data();
    void openSharing();
    void lifeThroughAnUpdate();
    void imageFaults_data();
    void imageFaults();
    void readWithoutDataPassesTime();
    void attachAndDetachFromAnotherThread();
    void defaultPlatform();
};

void TestSimulatedPrinters::sha256KnownDigests_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("piece"); // bytes per update; 0: all at once
    QTest::addColumn<QString>("digest");

    QTest::newRow("empty") << QByteArray() << 0
                           << "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
    QTest::newRow("abc") << QByteArray("abc") << 0
                         << "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
    QTest::newRow("448 bits") << QByteArray(
        "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")
                              << 0
                              << "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1";
    QTest::newRow("896 bits, byte by byte")
        << QByteArray(
               "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklm"
               "nopqrlmnopqrsmnopqrstnopqrstu")
        << 1 << "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1";
    // Around the padding boundaries: 55 bytes still take the length in the same block, 56 do not.
    QTest::newRow("55 a") << QByteArray(55, 'a') << 0
                          << "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318";
    QTest::newRow("56 a") << QByteArray(56, 'a') << 0
                          << "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a";
    QTest::newRow("63 a") << QByteArray(63, 'a') << 7
                          << "7d3e74a05d7db15bce4ad9ec0658ea98e3f06eeecf16b4c6fff2da457ddc2f34";
    QTest::newRow("64 a") << QByteArray(64, 'a') << 0
                          << "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb";
    QTest::newRow("65 a") << QByteArray(65, 'a') << 64
                          << "635361c48bb9eab14198e76ea8ab7f1a41685d6ad62aa9146d301d4f17eb0ae0";
    QTest::newRow("120 a") << QByteArray(120, 'a') << 33
                           << "2f3d335432c70b580af0e8e1b3674a7c020d683aa5f73aaaedfdc55af904c21c";
    QByteArray allBytes;
    for (int i = 0; i < 3 * 256; ++i)
        allBytes.append(char(i));
    QTest::newRow("every byte value")
        << allBytes << 100 << "f3a25aa93aa2fbba28d79260535bbd6a5eb0fc1c24a8b0f04e12b484c1dfe363";
    QTest::newRow("a million a in odd pieces") << QByteArray(
        1000000, 'a') << 997 << "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0";
}

void TestSimulatedPrinters::sha256KnownDigests()
{
    QFETCH(QByteArray, input);
    QFETCH(int, piece);
    QFETCH(QString, digest);
    const auto *data = reinterpret_cast<const std::uint8_t *>(input.constData());
    Sha256 hash;
    const qsizetype step = piece > 0 ? piece : std::max<qsizetype>(input.size(), 1);
    for (qsizetype at = 0; at < input.size(); at += step)
        hash.update(data + at, std::min(step, input.size() - at));
    QCOMPARE(QString::fromStdString(hash.hexDigest()), digest);
    // Taking the digest does not disturb the running hash.
    QCOMPARE(QString::fromStdString(hash.hexDigest()), digest);
}

void TestSimulatedPrinters::openSharing_data()
{
    QTest::addColumn<OpenMode>("first");
    QTest::addColumn<OpenMode>("second");
    QTest::addColumn<bool>("secondOpens");
    QTest::newRow("shared, shared")
        << OpenMode::ReadWriteShared << OpenMode::ReadWriteShared << true;
    QTest::newRow("shared, exclusive")
        << OpenMode::ReadWriteShared << OpenMode::WriteExclusive << false;
    QTest::newRow("exclusive, shared")
        << OpenMode::WriteExclusive << OpenMode::ReadWriteShared << false;
    QTest::newRow("exclusive, exclusive")
        << OpenMode::WriteExclusive << OpenMode::WriteExclusive << false;
}

void TestSimulatedPrinters::openSharing()
{
    QFETCH(OpenMode, first);
    QFETCH(OpenMode, second);
    QFETCH(bool, secondOpens);
    SimulatedWorld world;
    const std::u16string path = world.printers.snapshot(world.printers.attach({})).path;

    const DeviceHandle a = world.printers.open(path, first);
    QVERIFY(a != kInvalidDeviceHandle);
    const DeviceHandle b = world.printers.open(path, second);
    QCOMPARE(b != kInvalidDeviceHandle, secondOpens);
    world.printers.close(a);
    world.printers.close(b);
    // Once the first is closed again, the second kind opens.
    const DeviceHandle c = world.printers.open(path, second);
    QVERIFY(c != kInvalidDeviceHandle);
    world.printers.close(c);
}

void TestSimulatedPrinters::lifeThroughAnUpdate()
{
    SimulatedWorld world;
    auto &printers = world.printers;
    int notices = 0;
    printers.setChangeListener([&notices] { ++notices; });

    PrinterConfig config;
    config.serial = "SN0007";
    config.status = 26;
    config.leaveBusAfterMs = 2000;
    config.reappearAfterMs = 1000;
    config.storeTimeMs = 30000;
    QByteArray image(10000, '\0');
    for (int i = 0; i < image.size(); ++i)
        image[i] = char(i * 7 + 3);
    config.expectedImageBytes = image.size();
    const int id = printers.attach(config);
    QCOMPARE(notices, 1);
    const std::u16string normalPath = printers.snapshot(id).path;

    const DeviceHandle normal = printers.open(normalPath, OpenMode::ReadWriteShared);
    QCOMPARE(DeviceId(printers, normal),
        QByteArray("MFG:ZELTAN;MDL:QXR3303;SN:SN0007;S:00000000000000001A;"));
    // Busy: the command is received but not acted on.
    QVERIFY(Write(printers, normal, Framed("udw.srec_download;")));
    QCOMPARE(printers.snapshot(id).mode, PrinterMode::Normal);

    printers.setStatus(id, 0);
    // A frame may arrive in pieces.
    const std::string frame = Framed("udw.srec_download;");
    QVERIFY(Write(printers, normal, frame.substr(0, 20)));
    QVERIFY(Write(printers, normal, frame.substr(20)));
    QCOMPARE(printers.snapshot(id).commands.size(), 2u);
    QCOMPARE(printers.snapshot(id).mode, PrinterMode::LeavingBus);

    world.clock.advance(1999);
    printers.poll();
    QCOMPARE(printers.snapshot(id).mode, PrinterMode::LeavingBus);
    world.clock.advance(1);
    printers.poll();
    QCOMPARE(printers.snapshot(id).mode, PrinterMode::OffBus);
    QCOMPARE(notices, 2);
    // A handle from before the departure is dead for good.
    QVERIFY(!Write(printers, normal, Framed("ds2.set 79744, 1;")));
    QCOMPARE(DeviceId(printers, normal), QByteArray());
    std::size_t got = 0;
    std::uint8_t byte;
    QVERIFY(!printers.read(normal, &byte, 1, got));
    printers.close(normal);
    QCOMPARE(printers.open(normalPath, OpenMode::ReadWriteShared), kInvalidDeviceHandle);

    world.clock.advance(1000);
    printers.poll();
    const auto download = printers.snapshot(id);
    QCOMPARE(download.mode, PrinterMode::DownloadMode);
    QCOMPARE(notices, 3);
    QVERIFY(download.path != normalPath);
    QCOMPARE(printers.open(normalPath, OpenMode::ReadWriteShared), kInvalidDeviceHandle);

    const DeviceHandle stream = printers.open(download.path, OpenMode::WriteExclusive);
    QVERIFY(stream != kInvalidDeviceHandle);
    QCOMPARE(DeviceId(printers, stream), QByteArray("MFG:KX;MDL:reflash;SN:SN0007;"));
    for (int at = 0; at < image.size(); at += 3000)
        QVERIFY(Write(printers, stream, image.mid(at, 3000).toStdString()));
    printers.close(stream);

    const auto stored = printers.snapshot(id);
    QCOMPARE(stored.mode, PrinterMode::Storing);
    QVERIFY(stored.imageComplete);
    QCOMPARE(stored.imageBytes, std::uint64_t(image.size()));
    QCOMPARE(stored.imageSha256,
        Sha256::hexOf(reinterpret_cast<const std::uint8_t *>(image.constData()), image.size()));
    // The probe of the update may still open the path while the printer stores.
    const DeviceHandle probe = printers.open(stored.path, OpenMode::ReadWriteShared);
    QVERIFY(probe != kInvalidDeviceHandle);
    printers.close(probe);

    world.clock.advance(30000);
    printers.poll();
    QCOMPARE(printers.snapshot(id).mode, PrinterMode::Gone);
    QCOMPARE(notices, 4);
    QCOMPARE(printers.open(stored.path, OpenMode::ReadWriteShared), kInvalidDeviceHandle);
    printers.poll();
    QCOMPARE(notices, 4);
}

void TestSimulatedPrinters::imageFaults_data()
{
    QTest::addColumn<int>("failWriteAfter");
    QTest::addColumn<int>("detachAfter");
    QTest::addColumn<bool>("stall");
    QTest::addColumn<int>("storeTimeMs");
    QTest::addColumn<int>("received");
    QTest::addColumn<bool>("allWritten");
    QTest::addColumn<PrinterMode>("modeAnHourLater");

    QTest::newRow("healthy") << -1 << -1 << false << 1000 << 10000 << true << PrinterMode::Gone;
    QTest::newRow("never finishes storing")
        << -1 << -1 << false << -1 << 10000 << true << PrinterMode::Storing;
    // A failed write counts none of its bytes: the sender was told nothing of them was taken.
    QTest::newRow("write fails after 4096")
        << 4096 << -1 << false << 1000 << 4000 << false << PrinterMode::DownloadMode;
    QTest::newRow("detaches after 4500, inside a write")
        << -1 << 4500 << false << 1000 << 4000 << false << PrinterMode::Gone;
    QTest::newRow("first write fails")
        << 0 << -1 << false << 1000 << 0 << false << PrinterMode::DownloadMode;
    QTest::newRow("detaches after 5000")
        << -1 << 5000 << false << 1000 << 5000 << false << PrinterMode::Gone;
    QTest::newRow("detaches right at the end")
        << -1 << 10000 << false << 1000 << 10000 << true << PrinterMode::Gone;
    QTest::newRow("stalls") << -1 << -1 << true << 1000 << 0 << false << PrinterMode::DownloadMode;
}

void TestSimulatedPrinters::imageFaults()
{
    QFETCH(int, failWriteAfter);
    QFETCH(int, detachAfter);
    QFETCH(bool, stall);
    QFETCH(int, storeTimeMs);
    QFETCH(int, received);
    QFETCH(bool, allWritten);
    QFETCH(PrinterMode, modeAnHourLater);
    SimulatedWorld world;
    PrinterConfig config;
    config.leaveBusAfterMs = 0;
    config.reappearAfterMs = 0;
    config.expectedImageBytes = 10000;
    config.failWriteAfterBytes = failWriteAfter;
    config.detachAfterBytes = detachAfter;
    config.stallWrites = stall;
    config.storeTimeMs = storeTimeMs;
    const int id = world.printers.attach(config);

    const DeviceHandle normal
        = world.printers.open(world.printers.snapshot(id).path, OpenMode::ReadWriteShared);
    QVERIFY(Write(world.printers, normal, Framed("udw.srec_download;")));
    world.printers.close(normal);
    QCOMPARE(world.printers.snapshot(id).mode, PrinterMode::DownloadMode);

    const std::uint64_t start = world.clock.elapsed();
    const DeviceHandle stream
        = world.printers.open(world.printers.snapshot(id).path, OpenMode::WriteExclusive);
    const std::string piece(1000, 'i');
    bool ok = true;
    for (int at = 0; at < 10000 && ok; at += 1000)
        ok = Write(world.printers, stream, piece);
    // Refused once, refused for good: not even a byte that would still fit gets in.
    if (failWriteAfter >= 0)
        QVERIFY(!Write(world.printers, stream, std::string(1, 'i')));
    world.printers.close(stream);
    QCOMPARE(ok, allWritten);
    QCOMPARE(world.printers.snapshot(id).imageBytes, std::uint64_t(received));
    if (stall)
        QVERIFY(world.clock.elapsed() - start >= vornik::contract::kWriteStallLimitMs);

    world.clock.advance(3600 * 1000);
    world.printers.poll();
    QCOMPARE(world.printers.snapshot(id).mode, modeAnHourLater);
}

void TestSimulatedPrinters::readWithoutDataPassesTime()
{
    SimulatedWorld world;
    PrinterConfig config;
    config.prepareReply = { { 20, "hi" } };
    const int id = world.printers.attach(config);
    const DeviceHandle handle
        = world.printers.open(world.printers.snapshot(id).path, OpenMode::ReadWriteShared);
    std::uint8_t buffer[16];
    std::size_t got = 99;

    std::uint64_t start = world.clock.elapsed();
    QVERIFY(world.printers.read(handle, buffer, sizeof buffer, got));
    QCOMPARE(got, 0u);
    QCOMPARE(world.clock.elapsed() - start, 50u);

    // With a chunk due sooner, the read waits just for it.
    QVERIFY(Write(world.printers, handle, Framed("ds2.set 79744, 1;")));
    start = world.clock.elapsed();
    QVERIFY(world.printers.read(handle, buffer, sizeof buffer, got));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(buffer), int(got)), QByteArray("hi"));
    QCOMPARE(world.clock.elapsed() - start, 20u);
    world.printers.close(handle);
}

void TestSimulatedPrinters::attachAndDetachFromAnotherThread()
{
    SimulatedWorld world;
    std::atomic<int> notices = 0;
    world.printers.setChangeListener([&notices] { ++notices; });
    constexpr int kRounds = 200;

    std::thread plugger([&] {
        for (int i = 0; i < kRounds; ++i)
            world.printers.detach(world.printers.attach({}));
    });
    USBPrinterClassDeviceInfo table;
    for (int i = 0; i < kRounds; ++i) {
        const int count = Lib_EnumeratePrinterClassPnPDevices(&table);
        QVERIFY(count == 0 || count == 1);
    }
    plugger.join();
    QCOMPARE(notices.load(), 2 * kRounds);
    QCOMPARE(Lib_EnumeratePrinterClassPnPDevices(&table), 0);
}

void TestSimulatedPrinters::defaultPlatform()
{
    vornik::InstallPlatform(nullptr, nullptr);
    vornik::InstallDefaultPlatform();
    QCOMPARE(vornik::CurrentPlatform().devices,
        static_cast<vornik::DevicePlatform *>(&vornik::sim::DefaultSimulatedPrinters()));
    QCOMPARE(vornik::CurrentPlatform().clock,
        static_cast<vornik::Clock *>(&vornik::sim::DefaultSimulatedClock()));

    // An installed platform is left alone.
    SimulatedWorld world;
    vornik::InstallDefaultPlatform();
    QCOMPARE(
        vornik::CurrentPlatform().devices, static_cast<vornik::DevicePlatform *>(&world.printers));
}

QTEST_GUILESS_MAIN(TestSimulatedPrinters)
#include "test_simulated_printers.moc"
