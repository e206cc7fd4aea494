// The printer layer over the machine's own backend against the kernel's usblp driver, with
// emulated printers on the dummy USB controllers: what the simulated printers cannot show is
// whether our use of the real driver holds (its device-ID framing, exclusive open, reads that
// must not block, writes it splits, nodes that go and come back under another device).
//
// Runs only inside the test guest (scripts/qemu-test.sh).
#include "emulated_printer_process.h"

#include "firmware/firmware_image.h"
#include "firmware/transfer.h"
#include "printer_link/platform.h"
#include "printer_link/printer_link.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>

#include <cstring>
#include <memory>

namespace {

const QByteArray kHead("\x1b%-12345X@PJL ENTER LANGUAGE=PCL3GUI\n\x1b"
                       "E\x1b%P");
const QByteArray kTail("exit;\x1b"
                       "E\x1b%-12345X");

QString Text(const char16_t *text)
{
    return QString::fromUtf16(text);
}

int Enumerate()
{
    return Lib_EnumeratePrinterClassPnPDevices(&gUSBPrinterClassDeviceInfo);
}

// The entry of the last enumeration whose serial number is `serial`, or -1.
int EntryOf(const QString &serial)
{
    for (int i = 0; i < gUSBPrinterClassDeviceInfo.DeviceCount; ++i)
        if (Text(gUSBPrinterClassDeviceInfo.SerialNumber[i]) == serial)
            return i;
    return -1;
}

// Enumerates until a printer with `serial` and `productName` is listed, and selects it.
bool SelectPrinter(const QString &serial, const QString &productName, int timeoutMs = 5000)
{
    QElapsedTimer timer;
    timer.start();
    do {
        Enumerate();
        const int entry = EntryOf(serial);
        if (entry >= 0 && Text(gUSBPrinterClassDeviceInfo.ProductName[entry]) == productName) {
            Lib_SetUSBDeviceFilePath(1, gUSBPrinterClassDeviceInfo.DevicePath[entry]);
            return true;
        }
        QTest::qWait(100);
    } while (timer.elapsed() < timeoutMs);
    qWarning("no %s with SN %s; %s", qPrintable(productName), qPrintable(serial),
        qPrintable(DescribeDeviceTable(gUSBPrinterClassDeviceInfo)));
    return false;
}

} // namespace

class GuestPrinterLink : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void enumeratesBothPrinters();
    void deviceIdAndStatus_data();
    void deviceIdAndStatus();
    void gate_data();
    void gate();
    void frameBytesAsTheGadgetReceivesThem_data();
    void frameBytesAsTheGadgetReceivesThem();
    void replyTiming_data();
    void replyTiming();
    void firmwareRevision();
    void presenceProbe();
    void downloadModeSwitch();
    void firmwareTransfer_data();
    void firmwareTransfer();
    void overlongDeviceIdIsNotOffered_data();
    void overlongDeviceIdIsNotOffered();
    void blockFailedWhileAttached();

private:
    std::unique_ptr<EmulatedPrinter> printerA_;
    std::unique_ptr<EmulatedPrinter> printerB_;
    QStringList errorBoxes_;
};

void GuestPrinterLink::initTestCase()
{
    if (!QDir(QStringLiteral("/sys/class/udc/dummy_udc.0")).exists())
        QSKIP("No dummy USB controller: this test runs in the guest of scripts/qemu-test.sh");
    ResetPrinterLinkState();
    vornik::InstallDefaultPlatform();
    vornik::InstallErrorBox([this](const std::u16string &text, const std::u16string &) {
        errorBoxes_ << QString::fromStdU16String(text);
    });

    // One after the other, so that the first printer is the first the driver lists.
    printerA_ = EmulatedPrinter::started(0, QStringLiteral("QEMU-A1"), {});
    QVERIFY(printerA_);
    QVERIFY(SelectPrinter(QStringLiteral("QEMU-A1"), QStringLiteral("ZELTAN QXR3303")));
    printerB_ = EmulatedPrinter::started(1, QStringLiteral("QEMU-B2"), {});
    QVERIFY(printerB_);
    QVERIFY(SelectPrinter(QStringLiteral("QEMU-B2"), QStringLiteral("ZELTAN QXR3303")));
}

void GuestPrinterLink::cleanupTestCase()
{
    printerA_.reset();
    printerB_.reset();
    vornik::InstallErrorBox(nullptr);
}

void GuestPrinterLink::init()
{
    errorBoxes_.clear();
    if (printerA_)
        printerA_->skipEvents();
    if (printerB_)
        printerB_->skipEvents();
}

void GuestPrinterLink::enumeratesBothPrinters()
{
    USBPrinterClassDeviceInfo first {};
    QCOMPARE(Lib_EnumeratePrinterClassPnPDevices(&first), 2);
    QCOMPARE(Text(first.ProductName[0]), QStringLiteral("ZELTAN QXR3303"));
    QCOMPARE(Text(first.ProductName[1]), QStringLiteral("ZELTAN QXR3303"));
    QCOMPARE(Text(first.SerialNumber[0]), QStringLiteral("QEMU-A1"));
    QCOMPARE(Text(first.SerialNumber[1]), QStringLiteral("QEMU-B2"));
    QCOMPARE(Text(first.DevicePath[0]), QStringLiteral("/dev/usb/lp0"));
    QCOMPARE(Text(first.DevicePath[1]), QStringLiteral("/dev/usb/lp1"));
    // The selection is left on the last entry.
    QCOMPARE(Text(gUSBDeviceFilePath), QStringLiteral("/dev/usb/lp1"));

    USBPrinterClassDeviceInfo second {};
    QCOMPARE(Lib_EnumeratePrinterClassPnPDevices(&second), 2);
    QVERIFY(std::memcmp(&first, &second, sizeof first) == 0);

    USBPrinterClassDeviceInfo supported {};
    QCOMPARE(Lib_GetSupportedPrinterDeviceInfo(u"ZELTAN QXR3303", &supported, &first), 2);
    QCOMPARE(Lib_GetSupportedPrinterDeviceInfo(u"KX reflash", &supported, &first), 0);
    QVERIFY(errorBoxes_.isEmpty());
}

void GuestPrinterLink::deviceIdAndStatus_data()
{
    QTest::addColumn<QString>("digits");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("name");

    QTest::newRow("idle") << "00" << 0 << "IDLE";
    QTest::newRow("manufacturing mode") << "03" << 3 << "MANUFACTURING MODE";
    QTest::newRow("printing") << "02" << 2 << "PRINTING JOB";
    QTest::newRow("upper-case hex") << "1A" << 26 << "OUT OF INK";
    QTest::newRow("lower-case hex") << "1a" << 26 << "OUT OF INK";
    QTest::newRow("code without a name") << "17" << 23 << "";
    QTest::newRow("code past the table") << "FF" << 255 << "";
}

void GuestPrinterLink::deviceIdAndStatus()
{
    QFETCH(QString, digits);
    QFETCH(int, code);
    QFETCH(QString, name);

    QVERIFY(printerA_->control(QStringLiteral("status ") + digits));
    const QString published = printerA_->waitFor(QStringLiteral("device-id "), 0);
    QVERIFY(!published.isEmpty());
    QVERIFY(SelectPrinter(QStringLiteral("QEMU-A1"), QStringLiteral("ZELTAN QXR3303")));

    // The driver re-reads the ID on every request, so the new status shows at once.
    QCOMPARE(GetPrinterStatus(), code);
    QCOMPARE(Text(gPrinterStatusText), name);
    // What the printer published arrives whole: no length bytes in front, nothing cut off.
    QCOMPARE(QString::fromLatin1(reinterpret_cast<const char *>(gDeviceID)), published);
    QVERIFY(printerA_->control(QStringLiteral("status 00")));
}

void GuestPrinterLink::gate_data()
{
    QTest::addColumn<QString>("digits");
    QTest::addColumn<int>("result");

    QTest::newRow("idle: sent") << "00" << 1;
    QTest::newRow("manufacturing mode: sent") << "03" << 1;
    QTest::newRow("printing: held back") << "02" << 0;
    QTest::newRow("out of ink: held back") << "1A" << 0;
}

void GuestPrinterLink::gate()
{
    QFETCH(QString, digits);
    QFETCH(int, result);

    QVERIFY(printerA_->control(QStringLiteral("status ") + digits));
    QVERIFY(printerA_->control(QStringLiteral("reply none")));
    QVERIFY(SelectPrinter(QStringLiteral("QEMU-A1"), QStringLiteral("ZELTAN QXR3303")));
    QCOMPARE(SendCommandIfReady("udw.get_fw_rev;"), result);
    const QString command = printerA_->waitFor(QStringLiteral("command "), result ? 3000 : 700);
    if (result)
        QCOMPARE(command, QStringLiteral("udw.get_fw_rev;"));
    else
        QVERIFY2(command.isNull(), qPrintable(printerA_->transcript()));
    QVERIFY(printerA_->control(QStringLiteral("status 00")));
    // A command that was held back leaves the printer's next answer as it was.
    QVERIFY(printerA_->control(QStringLiteral("reply default")));
}

void GuestPrinterLink::frameBytesAsTheGadgetReceivesThem_data()
{
    QTest::addColumn<QByteArray>("command");

    QTest::newRow("revision query") << QByteArray("udw.get_fw_rev;");
    QTest::newRow("17 bytes") << QByteArray("ds2.set 79744, 1;");
    QTest::newRow("empty") << QByteArray();
    // 256 bytes in all: more than one 64-byte packet, less than one 512-byte one.
    QTest::newRow("longest that fits") << QByteArray(198, 'c');
    QTest::newRow("bytes above 0x7F") << QByteArray("set name \xe9\xf1\xfc;");
}

void GuestPrinterLink::frameBytesAsTheGadgetReceivesThem()
{
    QFETCH(QByteArray, command);

    QVERIFY(printerA_->control(QStringLiteral("reply none")));
    QVERIFY(SelectPrinter(QStringLiteral("QEMU-A1"), QStringLiteral("ZELTAN QXR3303")));
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(SendFramedCommand(command.constData()), 1);
    // The pause after the command is taken with the handle still open.
    QVERIFY(timer.elapsed() >= 200);
    const QString frame = printerA_->waitFor(QStringLiteral("frame "));
    QVERIFY2(!frame.isNull(), qPrintable(printerA_->transcript()));
    QCOMPARE(QByteArray::fromHex(frame.toLatin1()), kHead + command + kTail);
}

void GuestPrinterLink::replyTiming_data()
{
    QTest::addColumn<QString>("reply"); // control line for the printer's next answer
    QTest::addColumn<QByteArray>("expected"); // what the read gathers
    QTest::addColumn<int>("minMs");
    QTest::addColumn<int>("maxMs");
    QTest::addColumn<int>("chunksLeft"); // chunks that come after the read has ended

    // The printer answers 400 ms after the command: after the command's own pause and close.
    QTest::newRow("silent printer: ends after a second")
        << "reply none" << QByteArray() << 1000 << 3000 << 0;
    QTest::newRow("one chunk: ends half a second after it")
        << "reply 400 0 VRN.01.23;" << QByteArray("VRN.01.23;") << 500 << 3000 << 0;
    QTest::newRow("chunks 300 ms apart are gathered whole")
        << "reply 400 300 AB; CD; EF;" << QByteArray("AB;CD;EF;") << 1100 << 3500 << 0;
    QTest::newRow("a pause over 500 ms ends the reply")
        << "reply 400 1200 AB; CD;" << QByteArray("AB;") << 500 << 2500 << 1;
    QTest::newRow("what does not fit is dropped")
        << "reply 400 100 " + QString(700, 'x') + " " + QString(700, 'y')
        << QByteArray(700, 'x') + QByteArray(324, 'y') << 0 << 3000 << 0;
}

void GuestPrinterLink::replyTiming()
{
    QFETCH(QString, reply);
    QFETCH(QByteArray, expected);
    QFETCH(int, minMs);
    QFETCH(int, maxMs);
    QFETCH(int, chunksLeft);

    QVERIFY(SelectPrinter(QStringLiteral("QEMU-A1"), QStringLiteral("ZELTAN QXR3303")));
    QVERIFY(printerA_->control(reply));
    std::memset(gReplyBuffer, 0, sizeof gReplyBuffer);
    QCOMPARE(SendFramedCommand("udw.get_fw_rev;"), 1);
    QElapsedTimer timer;
    timer.start();
    const int got = ReadPrinterReply();
    const qint64 took = timer.elapsed();

    QCOMPARE(QByteArray(reinterpret_cast<const char *>(gReplyBuffer), got), expected);
    QVERIFY2(took >= minMs && took <= maxMs, qPrintable(QString::number(took) + " ms"));

    if (chunksLeft > 0) {
        // A chunk that comes later waits in the printer until someone reads; take it away.
        for (int i = 0; i < chunksLeft + 1; ++i)
            QVERIFY(!printerA_->waitFor(QStringLiteral("reply "), 3000).isNull());
        ReadPrinterReply();
    }
}

void GuestPrinterLink::firmwareRevision()
{
    QVERIFY(SelectPrinter(QStringLiteral("QEMU-A1"), QStringLiteral("ZELTAN QXR3303")));
    char16_t revision[vornik::contract::kTextUnits];
    QCOMPARE(GetFirmwareRevision(revision), 1);
    QCOMPARE(Text(revision), QStringLiteral("VRN.01.23"));
}

void GuestPrinterLink::presenceProbe()
{
    QVERIFY(SelectPrinter(QStringLiteral("QEMU-A1"), QStringLiteral("ZELTAN QXR3303")));
    QCOMPARE(Lib_IsConnectionValid(), 1);

    // usblp lets one opener in at a time. A printer that someone else holds has not left, but
    // nobody can send it the image meanwhile.
    vornik::DevicePlatform &devices = *vornik::CurrentPlatform().devices;
    const std::u16string path(gUSBDeviceFilePath);
    const vornik::DeviceHandle held = devices.open(path, vornik::OpenMode::ReadWriteShared);
    QVERIFY(held != vornik::kInvalidDeviceHandle);
    QCOMPARE(Lib_IsConnectionValid(), 1);
    QCOMPARE(devices.open(path, vornik::OpenMode::WriteExclusive), vornik::kInvalidDeviceHandle);
    devices.close(held);

    QVERIFY(printerA_->control(QStringLiteral("leave")));
    QTRY_COMPARE_WITH_TIMEOUT(Lib_IsConnectionValid(), 0, 3000);
    QCOMPARE(QueryDeviceID(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(Enumerate(), 1, 3000);

    QVERIFY(printerA_->control(QStringLiteral("join")));
    QVERIFY(SelectPrinter(QStringLiteral("QEMU-A1"), QStringLiteral("ZELTAN QXR3303")));
    QCOMPARE(Lib_IsConnectionValid(), 1);
    QCOMPARE(Enumerate(), 2);
}

void GuestPrinterLink::downloadModeSwitch()
{
    QVERIFY(SelectPrinter(QStringLiteral("QEMU-B2"), QStringLiteral("ZELTAN QXR3303")));
    const QString normalPath = Text(gUSBDeviceFilePath);

    QElapsedTimer timer;
    timer.start();
    QCOMPARE(Lib_SendFlashCommand(), 1);
    // Two pauses of 200 ms and the reply read between them.
    QVERIFY(timer.elapsed() > 900);
    QCOMPARE(printerB_->waitFor(QStringLiteral("command ")), QStringLiteral("ds2.set 79744, 1;"));
    QCOMPARE(printerB_->waitFor(QStringLiteral("reply ")), QStringLiteral("ok;"));
    QCOMPARE(printerB_->waitFor(QStringLiteral("command ")), QStringLiteral("udw.srec_download;"));

    QCOMPARE(printerB_->waitFor(QStringLiteral("left ")), QStringLiteral("download"));
    QTRY_COMPARE_WITH_TIMEOUT(Lib_IsConnectionValid(), 0, 3000);

    // Back as "KX reflash", most likely on the very node it had: the old path must still count
    // as gone, or the update would wait for a printer that has long left.
    QCOMPARE(
        printerB_->waitFor(QStringLiteral("joined "), 5000), QStringLiteral("download QEMU-B2"));
    QTest::qWait(500);
    Lib_SetUSBDeviceFilePath(1, reinterpret_cast<const char16_t *>(normalPath.utf16()));
    QCOMPARE(Lib_IsConnectionValid(), 0);

    QVERIFY(SelectPrinter(QStringLiteral("QEMU-B2"), QStringLiteral("KX reflash")));
    QCOMPARE(gUSBPrinterClassDeviceInfo.DeviceCount, 2);
    USBPrinterClassDeviceInfo flash {};
    QCOMPARE(
        Lib_GetSupportedPrinterDeviceInfo(u"KX reflash", &flash, &gUSBPrinterClassDeviceInfo), 1);
    QCOMPARE(Text(flash.SerialNumber[0]), QStringLiteral("QEMU-B2"));
    QCOMPARE(Lib_IsConnectionValid(), 1);
    QVERIFY(errorBoxes_.isEmpty());
}

void GuestPrinterLink::firmwareTransfer_data()
{
    QTest::addColumn<int>("imageBytes");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("heldByAnother");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("printerSays"); // the printer's verdict, by its event

    // Sizes around the transfer's 64 KiB blocks and usblp's 8 KiB transfers.
    QTest::newRow("one byte") << 1 << "none" << false << 1 << "image ok";
    QTest::newRow("one block exactly") << 65536 << "none" << false << 1 << "image ok";
    QTest::newRow("one block and a byte") << 65537 << "none" << false << 1 << "image ok";
    QTest::newRow("a few megabytes")
        << 3 * 1024 * 1024 + 1000 << "none" << false << 1 << "image ok";
    QTest::newRow("printer vanishes halfway")
        << 2 * 1024 * 1024 + 1000 << "vanish" << false << 0 << "left vanished";
    QTest::newRow("another program holds the printer") << 4096 + 100 << "none" << true << 0 << "";
}

void GuestPrinterLink::firmwareTransfer()
{
    QFETCH(int, imageBytes);
    QFETCH(QString, fault);
    QFETCH(bool, heldByAnother);
    QFETCH(int, result);
    QFETCH(QString, printerSays);

    const QByteArray image = TestImage(imageBytes, QTest::currentDataTag()[0]);
    EmulatedPrinter::Config config;
    config.fault = fault;
    config.startInDownloadMode = true;
    config.imageBytes = image.size();
    config.imageSha256 = EmulatedPrinter::sha256Hex(image);
    const auto printer = EmulatedPrinter::started(2, QStringLiteral("QEMU-C3"), config);
    QVERIFY(printer);
    QVERIFY(SelectPrinter(QStringLiteral("QEMU-C3"), QStringLiteral("KX reflash")));
    const std::u16string path(gUSBDeviceFilePath);

    vornik::DevicePlatform &devices = *vornik::CurrentPlatform().devices;
    vornik::DeviceHandle held = vornik::kInvalidDeviceHandle;
    if (heldByAnother) {
        held = devices.open(path, vornik::OpenMode::ReadWriteShared);
        QVERIFY(held != vornik::kInvalidDeviceHandle);
    }

    vornik::MemoryFirmwareImage source(reinterpret_cast<const std::uint8_t *>(image.constData()),
        static_cast<std::uint32_t>(image.size()));
    QStringList failures;
    vornik::TransferMessages messages;
    messages.imageFault = [&failures](const char *key) { failures << QString::fromLatin1(key); };
    messages.failure
        = [&failures](const std::string &text) { failures << QString::fromStdString(text); };
    QElapsedTimer timer;
    timer.start();
    const int sent = vornik::CopyFirmwareImageToPrinter(source, path.c_str(), messages);
    const qint64 took = timer.elapsed();
    if (held != vornik::kInvalidDeviceHandle)
        devices.close(held);
    qInfo("%d bytes: result %d after %lld ms", imageBytes, sent, took);

    QCOMPARE(sent, result);
    if (printerSays == QLatin1String("image ok")) {
        const QString verdict = printer->waitFor(QStringLiteral("image "), 10000);
        QVERIFY2(verdict.startsWith(QStringLiteral("ok ") + QString::number(image.size()) + ' '
                     + QString::fromLatin1(config.imageSha256)),
            qPrintable(printer->transcript()));
        QVERIFY(failures.isEmpty());
        // Stored: it leaves the bus, which is how the update learns it is done.
        QCOMPARE(printer->waitFor(QStringLiteral("left ")), QStringLiteral("stored"));
        QTRY_COMPARE_WITH_TIMEOUT(Lib_IsConnectionValid(), 0, 3000);
    } else if (!printerSays.isEmpty()) {
        QVERIFY(
            printer->waitFor(QStringLiteral("left "), 3000).startsWith(QStringLiteral("vanished")));
        QVERIFY2(!failures.isEmpty(), "a failed transfer must say why");
        // Its interface goes a moment before its USB device: that is no other program's doing.
        QVERIFY2(!failures.join(' ').contains(QLatin1String("another program")),
            qPrintable(failures.join(' ')));
    } else {
        // Not opened, so nothing went out.
        QVERIFY(printer->waitFor(QStringLiteral("image "), 1000).isNull());
    }
}

void GuestPrinterLink::overlongDeviceIdIsNotOffered_data()
{
    QTest::addColumn<int>("idBytes");
    // usblp copies up to 1023 bytes; the buffer the layer reads into holds 511 and a zero.
    QTest::newRow("600 bytes") << 600;
    QTest::newRow("1000 bytes") << 1000;
}

// An ID that does not fit is unreadable as a whole: the printer is listed as "unknown", never
// offered, and its status (beyond byte 511, where a cut would lose it) lets no command through.
void GuestPrinterLink::overlongDeviceIdIsNotOffered()
{
    QFETCH(int, idBytes);

    EmulatedPrinter::Config config;
    config.extraArguments << QStringLiteral("--device-id-bytes") << QString::number(idBytes);
    const auto printer = EmulatedPrinter::started(2, QStringLiteral("QEMU-LONG"), config);
    QVERIFY(printer);
    // The ID it gave the gadget, from the events up to its joining the bus.
    QString id;
    for (const QString &line : printer->transcript().split(QLatin1Char('\n')))
        if (line.trimmed().startsWith(QLatin1String("device-id ")))
            id = line.trimmed().mid(10);
    QCOMPARE(id.size(), idBytes);
    QVERIFY(id.lastIndexOf(QStringLiteral(";S:")) > 511);

    USBPrinterClassDeviceInfo table {};
    QTRY_COMPARE_WITH_TIMEOUT(Lib_EnumeratePrinterClassPnPDevices(&table), 3, 5000);
    int entry = -1;
    for (int i = 0; i < table.DeviceCount; ++i)
        if (Text(table.SerialNumber[i]) != QLatin1String("QEMU-A1")
            && Text(table.SerialNumber[i]) != QLatin1String("QEMU-B2"))
            entry = i;
    QVERIFY2(entry >= 0, qPrintable(DescribeDeviceTable(table)));
    QCOMPARE(Text(table.ProductName[entry]), QStringLiteral("unknown"));
    QCOMPARE(Text(table.SerialNumber[entry]), QStringLiteral("unknown"));
    USBPrinterClassDeviceInfo supported {};
    const int offered = Lib_GetSupportedPrinterDeviceInfo(u"ZELTAN QXR3303", &supported, &table);
    for (int i = 0; i < offered; ++i)
        QVERIFY(Text(supported.DevicePath[i]) != Text(table.DevicePath[entry]));

    Lib_SetUSBDeviceFilePath(1, table.DevicePath[entry]);
    QCOMPARE(GetPrinterStatus(), -1);
    QCOMPARE(SendCommandIfReady("udw.srec_download;"), 0);
    QVERIFY2(printer->waitFor(QStringLiteral("frame "), 1000).isNull(),
        qPrintable(printer->transcript()));
}

// A printer that halts its bulk endpoint halfway through the image and stays on the bus: the
// driver fails that block, and the transfer must fail with the driver's reason, not succeed.
void GuestPrinterLink::blockFailedWhileAttached()
{
    const QString program = qEnvironmentVariable("VORNIK_HALTING_PRINTER");
    if (program.isEmpty())
        QSKIP("No halting printer in this guest");
    QProcess printer;
    printer.start(program,
        { QStringLiteral("--udc"), QStringLiteral("dummy_udc.3"), QStringLiteral("--halt-after"),
            QString::number(1024 * 1024) });
    QVERIFY(printer.waitForStarted(5000));
    QVERIFY(printer.waitForReadyRead(10000));
    QCOMPARE(printer.readLine().trimmed(), QByteArray("ready"));
    const auto stop = qScopeGuard([&printer] {
        printer.closeWriteChannel();
        if (!printer.waitForFinished(5000))
            printer.kill();
    });
    QVERIFY(SelectPrinter(QStringLiteral("HALT1"), QStringLiteral("KX reflash"), 10000));
    const std::u16string path(gUSBDeviceFilePath);

    const QByteArray image = TestImage(2 * 1024 * 1024 + 1000, 'h');
    vornik::MemoryFirmwareImage source(reinterpret_cast<const std::uint8_t *>(image.constData()),
        static_cast<std::uint32_t>(image.size()));
    QStringList failures;
    vornik::TransferMessages messages;
    messages.failure
        = [&failures](const std::string &text) { failures << QString::fromStdString(text); };
    QElapsedTimer timer;
    timer.start();
    const int sent = vornik::CopyFirmwareImageToPrinter(source, path.c_str(), messages);
    qInfo("result %d after %lld ms: %s", sent, timer.elapsed(), qPrintable(failures.join('|')));
    QCOMPARE(sent, 0);
    QCOMPARE(failures.size(), 1);
    QVERIFY2(failures.front().contains(QLatin1String("Input/output error")),
        qPrintable(failures.front()));
    // Well within the stall limit: the driver said so at once.
    QVERIFY(timer.elapsed() < 30000);

    QVERIFY(printer.waitForReadyRead(5000) || printer.canReadLine());
    const QByteArray halted = printer.readLine().trimmed();
    QVERIFY2(halted.startsWith("halted ") && halted.endsWith(" ok"), halted.constData());
    // It never left the bus.
    QCOMPARE(Lib_IsConnectionValid(), 1);
}

QTEST_GUILESS_MAIN(GuestPrinterLink)
#include "guest_printer_link.moc"
