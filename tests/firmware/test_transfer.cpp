// The transfer is the step that can brick a printer: every byte in order, the device closed on
// every path, and every failure reported rather than passed off as success.
#include "firmware/transfer.h"
#include "printer_link/platform.h"

#include <QTest>

#include <numeric>
#include <string>
#include <vector>

namespace {

// A device that keeps what it is sent and can refuse to open or fail after N bytes.
class SinkDevice : public vornik::DevicePlatform {
public:
    bool opens = true;
    std::int64_t failAfter = -1;
    std::vector<std::uint8_t> received;
    int opened = 0;
    int closed = 0;
    vornik::OpenMode lastMode = vornik::OpenMode::ReadWriteShared;
    std::u16string lastPath;

    bool beginEnumeration() override { return false; }
    vornik::InterfaceLookup interfacePath(int, std::u16string &) override
    {
        return vornik::InterfaceLookup::NoMoreMembers;
    }
    void endEnumeration() override { }
    vornik::DeviceHandle open(const std::u16string &path, vornik::OpenMode mode) override
    {
        lastPath = path;
        lastMode = mode;
        if (!opens)
            return vornik::kInvalidDeviceHandle;
        ++opened;
        return 7;
    }
    bool queryDeviceId(vornik::DeviceHandle, std::uint8_t *, std::size_t) override { return false; }
    bool write(vornik::DeviceHandle handle, const std::uint8_t *data, std::size_t size) override
    {
        if (handle != 7)
            return false;
        if (failAfter >= 0 && received.size() + size > static_cast<std::size_t>(failAfter))
            return false;
        received.insert(received.end(), data, data + size);
        return true;
    }
    bool read(vornik::DeviceHandle, std::uint8_t *, std::size_t, std::size_t &got) override
    {
        got = 0;
        return false;
    }
    void close(vornik::DeviceHandle handle) override { closed += handle == 7; }
    std::string lastErrorText() const override { return "No such device"; }
};

// An image whose steps can each be made to fail, and that counts its releases.
class ScriptedImage : public vornik::FirmwareImageSource {
public:
    explicit ScriptedImage(std::vector<std::uint8_t> bytes)
        : bytes(std::move(bytes))
    { }
    std::vector<std::uint8_t> bytes;
    bool module = true, found = true, loads = true, reachable = true;
    int loadedCount = 0, released = 0;

    bool openModule() override { return module; }
    bool find() override { return found; }
    bool load() override { return loads && ++loadedCount; }
    std::uint32_t size() override { return static_cast<std::uint32_t>(bytes.size()); }
    const std::uint8_t *data() override { return reachable ? bytes.data() : nullptr; }
    void release() override { ++released; }
};

std::vector<std::uint8_t> Pattern(std::size_t size)
{
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 31 + (i >> 11));
    return bytes;
}

} // namespace

class TransferTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        sink_ = SinkDevice();
        vornik::InstallPlatform(&sink_, nullptr);
        faults_.clear();
        failures_.clear();
        messages_.imageFault = [this](const char *key) { faults_.push_back(key); };
        messages_.failure = [this](const std::string &text) { failures_.push_back(text); };
    }

    void sendsEveryByteInOrder_data()
    {
        QTest::addColumn<int>("size");
        QTest::newRow("one byte") << 1;
        QTest::newRow("exactly one block") << int(vornik::kTransferBlockBytes);
        QTest::newRow("a block and one") << int(vornik::kTransferBlockBytes + 1);
        QTest::newRow("odd size over many blocks") << 1'000'003;
    }

    void sendsEveryByteInOrder()
    {
        QFETCH(int, size);
        ScriptedImage image(Pattern(size));
        QCOMPARE(vornik::CopyFirmwareImageToPrinter(image, u"/dev/usb/lp3", messages_), 1);
        QVERIFY(sink_.received == image.bytes);
        QCOMPARE(sink_.lastPath, std::u16string(u"/dev/usb/lp3"));
        QVERIFY(sink_.lastMode == vornik::OpenMode::WriteExclusive);
        QCOMPARE(sink_.closed, 1);
        QCOMPARE(image.released, 1);
        QVERIFY(faults_.empty() && failures_.empty());
    }

    void secondPrinterGetsTheImageFromTheStart()
    {
        ScriptedImage image(Pattern(200'000));
        QCOMPARE(vornik::CopyFirmwareImageToPrinter(image, u"a", messages_), 1);
        sink_.received.clear();
        QCOMPARE(vornik::CopyFirmwareImageToPrinter(image, u"b", messages_), 1);
        QVERIFY(sink_.received == image.bytes);
        QCOMPARE(sink_.closed, 2);
    }

    void imageFaults_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("releases");
        QTest::newRow("no module") << "module"
                                   << "" << 0;
        QTest::newRow("not found") << "find"
                                   << "StrRes_FiirmwareNotFound" << 0;
        QTest::newRow("not loadable") << "load"
                                      << "StrRes_FirmwareLoadFail" << 0;
        QTest::newRow("empty") << "empty"
                               << "StrRes_FirmwareZeroBytes" << 1;
        QTest::newRow("unreachable bytes") << "data"
                                           << "" << 1;
    }

    void imageFaults()
    {
        QFETCH(QString, fault);
        QFETCH(QString, message);
        QFETCH(int, releases);
        ScriptedImage image(fault == "empty" ? std::vector<std::uint8_t>() : Pattern(100));
        image.module = fault != "module";
        image.found = fault != "find";
        image.loads = fault != "load";
        image.reachable = fault != "data";

        QCOMPARE(vornik::CopyFirmwareImageToPrinter(image, u"p", messages_), 0);
        QCOMPARE(faults_.size(), message.isEmpty() ? 0u : 1u);
        if (!message.isEmpty())
            QCOMPARE(QString::fromLatin1(faults_.front()), message);
        QCOMPARE(sink_.opened, 0);
        QCOMPARE(image.released, releases);
    }

    void deviceThatDoesNotOpenFailsQuietly()
    {
        sink_.opens = false;
        ScriptedImage image(Pattern(100));
        QCOMPARE(vornik::CopyFirmwareImageToPrinter(image, u"gone", messages_), 0);
        QVERIFY(faults_.empty() && failures_.empty());
        QCOMPARE(image.released, 1);
    }

    void failedWriteStopsAndSaysWhy_data()
    {
        QTest::addColumn<int>("failAfter");
        QTest::newRow("at the first byte") << 0;
        QTest::newRow("half way") << 500'000;
        QTest::newRow("in the last block") << 999'999;
    }

    void failedWriteStopsAndSaysWhy()
    {
        QFETCH(int, failAfter);
        sink_.failAfter = failAfter;
        ScriptedImage image(Pattern(1'000'000));
        QCOMPARE(vornik::CopyFirmwareImageToPrinter(image, u"p", messages_), 0);
        QCOMPARE(failures_.size(), 1u);
        QVERIFY2(failures_.front().find("No such device") != std::string::npos,
            failures_.front().c_str());
        QVERIFY(sink_.received.size() <= static_cast<std::size_t>(failAfter));
        QCOMPARE(sink_.closed, 1);
        QCOMPARE(image.released, 1);
    }

private:
    SinkDevice sink_;
    vornik::TransferMessages messages_;
    std::vector<std::string> faults_;
    std::vector<std::string> failures_;
};

QTEST_GUILESS_MAIN(TransferTest)
#include "test_transfer.moc"
