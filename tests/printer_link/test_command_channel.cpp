// The command channel against simulated printers on a virtual clock: the exact frame bytes,
// status parsing and the gate, the reply read's timing, the firmware-revision query and the
// switch into download mode end to end.

#include "simulated_world.h"

#include <QTest>

#include <cstring>

using namespace testing;
using vornik::sim::DeviceIdKind;
using vornik::sim::PrinterConfig;
using vornik::sim::PrinterMode;
using vornik::sim::ReplyChunk;

Q_DECLARE_METATYPE(QList<int>)

namespace {

const QByteArray kHead("\x1b%-12345X@PJL ENTER LANGUAGE=PCL3GUI\n\x1b"
                       "E\x1b%P");
const QByteArray kTail("exit;\x1b"
                       "E\x1b%-12345X");

QStringList Commands(const vornik::sim::PrinterSnapshot &snapshot)
{
    QStringList commands;
    for (const std::string &command : snapshot.commands)
        commands << QString::fromStdString(command);
    return commands;
}

} // namespace

class TestCommandChannel : public QObject {
    Q_OBJECT

private slots:
    void frameBytes_data();
    void frameBytes();
    void failedWrite();
    void statusAndGate_data();
    void statusAndGate();
    void replyTiming_data();
    void replyTiming();
    void flashCommand_data();
    void flashCommand();
    void downloadModeEndToEnd_data();
    void downloadModeEndToEnd();
    void firmwareRevision_data();
    void firmwareRevision();
    void exceptionsBecomeFailureValues();
};

void TestCommandChannel::frameBytes_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<int>("result");
    QTest::addColumn<QByteArray>("frame"); // empty: head, command, tail

    QTest::newRow("download command, byte for byte")
        << QByteArray("udw.srec_download;") << 1
        << QByteArray::fromHex(
               "1b252d31323334355840504a4c20454e544552204c414e47554147453d50434c3347"
               "55490a1b451b25507564772e737265635f646f776e6c6f61643b657869743b1b451b"
               "252d313233343558");
    QTest::newRow("17 bytes") << QByteArray("ds2.set 79744, 1;") << 1 << QByteArray();
    QTest::newRow("empty") << QByteArray("") << 1 << QByteArray();
    QTest::newRow("198 bytes fill the buffer") << QByteArray(198, 'c') << 1 << QByteArray();
    QTest::newRow("199 bytes refused") << QByteArray(199, 'c') << 0 << QByteArray();
    QTest::newRow("far too long refused") << QByteArray(5000, 'c') << 0 << QByteArray();
}

void TestCommandChannel::frameBytes()
{
    QFETCH(QByteArray, command);
    QFETCH(int, result);
    QFETCH(QByteArray, frame);
    SimulatedWorld world;
    const int id = world.attachSelected({});
    if (frame.isEmpty() && result)
        frame = kHead + command + kTail;

    const std::uint64_t before = world.clock.elapsed();
    QCOMPARE(SendFramedCommand(command.constData()), result);

    const auto printer = world.printers.snapshot(id);
    QCOMPARE(QByteArray::fromStdString(printer.commandBytes), frame);
    QCOMPARE(frame.size(), result ? command.size() + 58 : 0);
    if (result) {
        QCOMPARE(Commands(printer), QStringList { QString::fromLatin1(command) });
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(gCommandFrame), frame.size()), frame);
        QVERIFY(world.clock.elapsed() - before >= 200);
    } else {
        QVERIFY(printer.commands.empty());
        QCOMPARE(world.clock.elapsed(), before);
    }
    QVERIFY(!printer.handleOpen);
}

void TestCommandChannel::failedWrite()
{
    SimulatedWorld world;
    world.attachSelected({});
    world.printers.failWrites = true;
    const std::uint64_t before = world.clock.elapsed();
    QCOMPARE(SendFramedCommand("ds2.set 79744, 1;"), 0);
    // No pause after a failed write, and the device is closed again.
    QCOMPARE(world.clock.elapsed(), before);
    QVERIFY(!world.printers.snapshots().front().handleOpen);

    Lib_SetUSBDeviceFilePath(0, nullptr);
    world.printers.failWrites = false;
    QCOMPARE(SendFramedCommand("ds2.set 79744, 1;"), 0);
    QCOMPARE(ReadPrinterReply(), 0);
}

void TestCommandChannel::statusAndGate_data()
{
    QTest::addColumn<QByteArray>("statusField"); // null: no S field at all
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("sent");

    const QByteArray zeros(16, '0');
    QTest::newRow("idle") << zeros + "00" << 0 << "IDLE" << true;
    QTest::newRow("manufacturing mode") << zeros + "03" << 3 << "MANUFACTURING MODE" << true;
    QTest::newRow("printing") << zeros + "02" << 2 << "PRINTING JOB" << false;
    QTest::newRow("1A") << zeros + "1A" << 26 << "OUT OF INK" << false;
    QTest::newRow("1a") << zeros + "1a" << 26 << "OUT OF INK" << false;
    QTest::newRow("gap 17") << zeros + "17" << 23 << "" << false;
    QTest::newRow("30 shares a name with 21") << zeros + "1E" << 30 << "DUPLEX MISSING" << false;
    QTest::newRow("last named") << zeros + "36" << 54 << "AIO LANGUAGE MENU" << false;
    QTest::newRow("past the table") << zeros + "37" << 55 << "" << false;
    QTest::newRow("FF") << zeros + "FF" << 255 << "" << false;
    QTest::newRow("only positions 16 and 17 count")
        << zeros + "0312" << 3 << "MANUFACTURING MODE" << true;
    QTest::newRow("digits elsewhere ignored")
        << QByteArray("1A1A1A1A1A1A1A1A00") << 0 << "IDLE" << true;
    QTest::newRow("16 characters") << zeros << 0 << "IDLE" << true;
    QTest::newRow("empty value") << QByteArray("") << 0 << "IDLE" << true;
    QTest::newRow("17 characters: one digit") << zeros + "5" << 5 << "CANCELING JOB" << false;
    QTest::newRow("blank then digit") << zeros + " 3" << 3 << "MANUFACTURING MODE" << true;
    QTest::newRow("minus sign") << zeros + "-3" << -3 << "" << false;
    QTest::newRow("no hex digit") << zeros + "zz" << 0 << "IDLE" << true;
    QTest::newRow("digit then junk") << zeros + "2z" << 2 << "PRINTING JOB" << false;
    QTest::newRow("no S field") << QByteArray() << -1 << "" << false;
}

void TestCommandChannel::statusAndGate()
{
    QFETCH(QByteArray, statusField);
    QFETCH(int, code);
    QFETCH(QString, name);
    QFETCH(bool, sent);
    SimulatedWorld world;
    // CLS ends in "S:" too; only a field named S counts.
    QByteArray deviceId = "MFG:ZELTAN;MDL:QXR3303;CLS:" + QByteArray(16, '0') + "02;SN:A1;";
    if (!statusField.isNull())
        deviceId += "S:" + statusField + ";";
    PrinterConfig config;
    config.deviceId = DeviceIdKind::Raw;
    config.rawDeviceId.assign(deviceId.begin(), deviceId.end());
    config.rawDeviceId.push_back(0);
    const int id = world.attachSelected(config);

    std::fill(std::begin(gPrinterStatusText), std::end(gPrinterStatusText), u'?');
    gPrinterStatusText[1] = 0;
    QCOMPARE(GetPrinterStatus(), code);
    QCOMPARE(QString::fromUtf16(gPrinterStatusText), code == -1 ? QStringLiteral("?") : name);

    QCOMPARE(SendCommandIfReady("ds2.set 79744, 1;"), sent ? 1 : 0);
    QCOMPARE(world.printers.snapshot(id).commands.size(), sent ? 1u : 0u);
}

void TestCommandChannel::replyTiming_data()
{
    QTest::addColumn<uint>("clockStart");
    QTest::addColumn<QList<int>>(
        "delays"); // each chunk after the previous, the first after the command
    QTest::addColumn<QList<int>>("sizes");
    QTest::addColumn<int>("total");
    QTest::addColumn<int>("minMs"); // duration of the read
    QTest::addColumn<int>("maxMs");

    const uint nearWrap = 0xFFFFFF00u; // wraps 256 ms after the start
    QTest::newRow("silence") << 0u << QList<int> {} << QList<int> {} << 0 << 1001 << 1100;
    QTest::newRow("silence across the wrap")
        << nearWrap << QList<int> {} << QList<int> {} << 0 << 1001 << 1100;
    QTest::newRow("one chunk") << 0u << QList<int> { 50 } << QList<int> { 3 } << 3 << 501 << 600;
    QTest::newRow("chunks 300 ms apart")
        << 0u << QList<int> { 250, 300, 300 } << QList<int> { 10, 20, 30 } << 60 << 1151 << 1250;
    QTest::newRow("chunks 300 ms apart across the wrap")
        << nearWrap << QList<int> { 250, 300, 300 } << QList<int> { 10, 20, 30 } << 60 << 1151
        << 1250;
    QTest::newRow("first chunk just before the silence limit")
        << 0u << QList<int> { 1150 } << QList<int> { 4 } << 4 << 1451 << 1550;
    QTest::newRow("a pause over 500 ms ends it")
        << 0u << QList<int> { 250, 600 } << QList<int> { 5, 7 } << 5 << 501 << 600;
    QTest::newRow("full buffer ends it at once")
        << 0u << QList<int> { 50, 100 } << QList<int> { 1024, 9 } << 1024 << 0 << 0;
    QTest::newRow("last chunk cut to what fits")
        << 0u << QList<int> { 50, 300 } << QList<int> { 1000, 100 } << 1024 << 0 << 400;
}

void TestCommandChannel::replyTiming()
{
    QFETCH(uint, clockStart);
    QFETCH(QList<int>, delays);
    QFETCH(QList<int>, sizes);
    QFETCH(int, total);
    QFETCH(int, minMs);
    QFETCH(int, maxMs);
    SimulatedWorld world(clockStart);
    PrinterConfig config;
    config.prepareReply.clear();
    QByteArray expected;
    for (int i = 0; i < delays.size(); ++i) {
        const QByteArray chunk(sizes[i], char('a' + i));
        config.prepareReply.push_back({ std::uint32_t(delays[i]), chunk.toStdString() });
        expected += chunk;
    }
    expected.truncate(total);
    world.attachSelected(config);

    QCOMPARE(SendFramedCommand("ds2.set 79744, 1;"), 1);
    const std::uint64_t start = world.clock.elapsed();
    QCOMPARE(ReadPrinterReply(), total);
    const std::uint64_t took = world.clock.elapsed() - start;
    QVERIFY2(took >= std::uint64_t(minMs) && took <= std::uint64_t(maxMs),
        qPrintable(QStringLiteral("read took %1 ms").arg(took)));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(gReplyBuffer), total), expected);
}

void TestCommandChannel::flashCommand_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("statusAfterFirstCommand"); // -1: unchanged
    QTest::addColumn<int>("deviceIdKind");
    QTest::addColumn<int>("result");
    QTest::addColumn<QStringList>("commands");

    const QStringList both { "ds2.set 79744, 1;", "udw.srec_download;" };
    const int product = int(DeviceIdKind::Product);
    QTest::newRow("idle") << 0 << -1 << product << 1 << both;
    QTest::newRow("manufacturing mode") << 3 << -1 << product << 1 << both;
    QTest::newRow("printing gets nothing") << 2 << -1 << product << 0 << QStringList {};
    QTest::newRow("out of ink gets nothing") << 26 << -1 << product << 0 << QStringList {};
    QTest::newRow("starts printing after the first")
        << 0 << 2 << product << 0 << QStringList { "ds2.set 79744, 1;" };
    QTest::newRow("unreadable device ID")
        << 0 << -1 << int(DeviceIdKind::Unreadable) << 0 << QStringList {};
}

void TestCommandChannel::flashCommand()
{
    QFETCH(int, status);
    QFETCH(int, statusAfterFirstCommand);
    QFETCH(int, deviceIdKind);
    QFETCH(int, result);
    QFETCH(QStringList, commands);
    SimulatedWorld world;
    PrinterConfig config;
    config.status = status;
    if (statusAfterFirstCommand >= 0)
        config.statusAfterFirstCommand = statusAfterFirstCommand;
    config.deviceId = DeviceIdKind(deviceIdKind);
    const int id = world.attachSelected(config);

    const std::uint64_t start = world.clock.elapsed();
    QCOMPARE(Lib_SendFlashCommand(), result);
    QCOMPARE(Commands(world.printers.snapshot(id)), commands);
    // Two pauses after the commands and the reply read between them.
    if (result)
        QVERIFY(world.clock.elapsed() - start > 900);
    QVERIFY(world.errors.isEmpty());
}

void TestCommandChannel::downloadModeEndToEnd_data()
{
    QTest::addColumn<QString>("downloadSerial");
    QTest::addColumn<QString>("listedSerial");
    QTest::newRow("same serial") << ""
                                 << "SN0042";
    QTest::newRow("other serial in download mode") << "DL0042"
                                                   << "DL0042";
}

void TestCommandChannel::downloadModeEndToEnd()
{
    QFETCH(QString, downloadSerial);
    QFETCH(QString, listedSerial);
    SimulatedWorld world;
    int notices = 0;
    world.printers.setChangeListener([&notices] { ++notices; });
    PrinterConfig config;
    config.serial = "SN0042";
    config.downloadSerial = downloadSerial.toStdString();
    config.leaveBusAfterMs = 4000;
    config.reappearAfterMs = 2000;
    const int id = world.printers.attach(config);
    QCOMPARE(notices, 1);

    USBPrinterClassDeviceInfo table;
    QCOMPARE(Lib_EnumeratePrinterClassPnPDevices(&table), 1);
    const QString normalPath = Entry(table.DevicePath[0]);
    Lib_SetUSBDeviceFilePath(1, table.DevicePath[0]);
    QCOMPARE(Lib_SendFlashCommand(), 1);
    QCOMPARE(Commands(world.printers.snapshot(id)),
        (QStringList { "ds2.set 79744, 1;", "udw.srec_download;" }));

    // Polled the way the update waits for it: the old path stops opening.
    int polls = 0;
    while (Lib_IsConnectionValid() && polls < 20) {
        world.clock.sleep(1000);
        ++polls;
    }
    QCOMPARE(Lib_IsConnectionValid(), 0);
    QCOMPARE(world.printers.snapshot(id).mode, PrinterMode::OffBus);
    QCOMPARE(notices, 2);

    world.clock.sleep(3000);
    QCOMPARE(Lib_EnumeratePrinterClassPnPDevices(&table), 1);
    QCOMPARE(notices, 3);
    USBPrinterClassDeviceInfo flash;
    QCOMPARE(Lib_GetSupportedPrinterDeviceInfo(u"KX reflash", &flash, &table), 1);
    QCOMPARE(Entry(flash.SerialNumber[0]), listedSerial);
    QVERIFY(Entry(flash.DevicePath[0]) != normalPath);
    Lib_SetUSBDeviceFilePath(1, flash.DevicePath[0]);
    QCOMPARE(Lib_IsConnectionValid(), 1);
}

void TestCommandChannel::firmwareRevision_data()
{
    QTest::addColumn<QByteArray>("reply"); // null: no reply at all
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("revision");

    QTest::newRow("revision then more") << QByteArray("VRN.01.23;rest;") << 0 << 1 << "VRN.01.23";
    QTest::newRow("no ;") << QByteArray("VRN.01.23") << 0 << 1 << "VRN.01.23";
    QTest::newRow("ended by a zero byte") << QByteArray("VRN\0XY;", 7) << 0 << 1 << "VRN";
    QTest::newRow("; first") << QByteArray(";VRN;") << 0 << 0 << "";
    QTest::newRow("300 characters cut to 255")
        << QByteArray(300, 'R') << 0 << 1 << QString(255, 'R');
    QTest::newRow("silent printer") << QByteArray() << 0 << 0 << "";
    QTest::newRow("busy printer") << QByteArray("VRN.01.23;") << 2 << 0 << "";
}

void TestCommandChannel::firmwareRevision()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, status);
    QFETCH(int, result);
    QFETCH(QString, revision);
    SimulatedWorld world;
    PrinterConfig config;
    config.status = status;
    config.revisionReply.clear();
    if (!reply.isNull())
        config.revisionReply.push_back({ 50, reply.toStdString() });
    world.attachSelected(config);
    std::memset(gReplyBuffer, 'j', sizeof gReplyBuffer);

    char16_t out[vornik::contract::kTextUnits];
    std::fill(std::begin(out), std::end(out), u'#');
    const std::uint64_t start = world.clock.elapsed();
    QCOMPARE(GetFirmwareRevision(out), result);
    QCOMPARE(QString::fromUtf16(out), revision);
    if (reply.isNull() && status == 0) {
        // Five silent reads of just over a second each.
        QVERIFY(world.clock.elapsed() - start > 5000);
    }
}

void TestCommandChannel::exceptionsBecomeFailureValues()
{
    SimulatedWorld world;
    world.attachSelected({});
    world.printers.throwOnOpen = true;

    QCOMPARE(GetPrinterStatus(), -1);
    QCOMPARE(SendCommandIfReady("ds2.set 79744, 1;"), 0);
    QCOMPARE(Lib_SendFlashCommand(), 0);
    char16_t out[vornik::contract::kTextUnits];
    QCOMPARE(GetFirmwareRevision(out), 0);
    QVERIFY(!world.errors.isEmpty());
    for (const QString &error : std::as_const(world.errors))
        QCOMPARE(error, QStringLiteral("FDU App: open broke"));
}

QTEST_GUILESS_MAIN(TestCommandChannel)
#include "test_command_channel.moc"
