// Discovery against simulated printers: what ends up in the device table for the printers and
// device IDs a driver may hand over, the filter, the selected path and the failure paths.

#include "simulated_world.h"

#include <QTest>

#include <cstring>

using namespace testing;
using vornik::sim::DeviceIdKind;
using vornik::sim::PrinterConfig;

Q_DECLARE_METATYPE(QList<int>)

namespace {

void SetEntry(char16_t (&field)[vornik::contract::kTextUnits], const QString &text)
{
    std::memset(field, 0, sizeof field);
    std::memcpy(field, text.utf16(), std::min<qsizetype>(text.size(), 255) * sizeof(char16_t));
}

// A table full of leftovers, to show what an operation rewrites and what it leaves.
USBPrinterClassDeviceInfo JunkTable()
{
    USBPrinterClassDeviceInfo table;
    std::memset(&table, 0, sizeof table);
    table.DeviceCount = 5;
    for (int i = 0; i < vornik::contract::kMaxPrinters; ++i) {
        table.Selected[i] = 1;
        SetEntry(table.ProductName[i], QStringLiteral("old name %1").arg(i));
        SetEntry(table.DevicePath[i], QStringLiteral("old path %1").arg(i));
        SetEntry(table.SerialNumber[i], QStringLiteral("old serial %1").arg(i));
    }
    return table;
}

bool EntryIsZero(const USBPrinterClassDeviceInfo &table, int i)
{
    static const char16_t zero[vornik::contract::kTextUnits] = {};
    return std::memcmp(table.ProductName[i], zero, sizeof zero) == 0
        && std::memcmp(table.DevicePath[i], zero, sizeof zero) == 0
        && std::memcmp(table.SerialNumber[i], zero, sizeof zero) == 0;
}

QByteArray Padded(QByteArray id, int length, char fill)
{
    id.append(QByteArray(length - id.size(), fill));
    return id;
}

} // namespace

class TestDiscovery : public QObject {
    Q_OBJECT

private slots:
    void enumeratesAttachedPrinters_data();
    void enumeratesAttachedPrinters();
    void identityFromDeviceId_data();
    void identityFromDeviceId();
    void memberWithoutDetail_data();
    void memberWithoutDetail();
    void pathLengths_data();
    void pathLengths();
    void classQueryFailure();
    void repeatedEnumerationIsStable();
    void filter_data();
    void filter();
    void pathSelection_data();
    void pathSelection();
    void fieldExtraction_data();
    void fieldExtraction();
    void exceptionsBecomeFailureValues();
};

void TestDiscovery::enumeratesAttachedPrinters_data()
{
    QTest::addColumn<int>("attached");
    QTest::addColumn<int>("listed");
    QTest::newRow("none") << 0 << 0;
    QTest::newRow("one") << 1 << 1;
    QTest::newRow("six") << 6 << 6;
    QTest::newRow("seven: the first six") << 7 << 6;
}

void TestDiscovery::enumeratesAttachedPrinters()
{
    QFETCH(int, attached);
    QFETCH(int, listed);
    SimulatedWorld world;
    std::vector<int> ids;
    for (int i = 0; i < attached; ++i) {
        PrinterConfig config;
        config.serial = "SN" + std::to_string(100 + i);
        ids.push_back(world.printers.attach(config));
    }
    Lib_SetUSBDeviceFilePath(1, u"before");

    USBPrinterClassDeviceInfo table = JunkTable();
    QCOMPARE(Lib_EnumeratePrinterClassPnPDevices(&table), listed);

    QCOMPARE(table.DeviceCount, listed);
    for (int i = 0; i < vornik::contract::kMaxPrinters; ++i) {
        QCOMPARE(table.Selected[i], 0);
        if (i >= listed) {
            QVERIFY2(EntryIsZero(table, i), qPrintable(QString::number(i)));
            continue;
        }
        QCOMPARE(Entry(table.ProductName[i]), QStringLiteral("ZELTAN QXR3303"));
        QCOMPARE(Entry(table.SerialNumber[i]), QStringLiteral("SN%1").arg(100 + i));
        QCOMPARE(Entry(table.DevicePath[i]), Text(world.printers.snapshot(ids[i]).path));
    }
    // The enumeration walks the selection over every entry and leaves it on the last one.
    const QString expected
        = listed ? Entry(table.DevicePath[listed - 1]) : QStringLiteral("before");
    QCOMPARE(QString::fromUtf16(gUSBDeviceFilePath), expected);
    QVERIFY(world.errors.isEmpty());
}

void TestDiscovery::identityFromDeviceId_data()
{
    QTest::addColumn<QByteArray>("deviceId"); // null: the driver refuses the request
    QTest::addColumn<QString>("productName");
    QTest::addColumn<QString>("serial");

    const QString unknown = QStringLiteral("unknown");
    const QByteArray product = QByteArrayLiteral("MFG:ZELTAN;MDL:QXR3303;SN:A1;");

    QTest::newRow("product") << product + '\0' << "ZELTAN QXR3303"
                             << "A1";
    QTest::newRow("download mode without serial")
        << QByteArray("MFG:KX;MDL:reflash;\0", 20) << "KX reflash"
        << "";
    QTest::newRow("MFG ends the text") << QByteArray("MDL:QXR3303;SN:A1;MFG:\0", 23) << " QXR3303"
                                       << "A1";
    QTest::newRow("no MDL") << QByteArray("MFG:ZELTAN;SN:A1;\0", 18) << "ZELTAN "
                            << "A1";
    QTest::newRow("blank after MDL kept")
        << QByteArray("MFG:ZELTAN;MDL: QXR3303;\0", 25) << "ZELTAN  QXR3303"
        << "";
    QTest::newRow("SN inside another field counts")
        << QByteArray("MFG:ZELTAN;MDL:QXR3303;DESSN:X9;SN:A1;\0", 39) << "ZELTAN QXR3303"
        << "X9";
    QTest::newRow("bytes above 0x7F widened one to one")
        << QByteArray("MFG:Z\xC9LTAN;MDL:QXR3303;SN:\xFF;\0", 30)
        << QString::fromUtf16(u"Z\u00C9LTAN QXR3303") << QString::fromUtf16(u"\u00FF");
    QTest::newRow("no terminator, shorter than the buffer") << product << "ZELTAN QXR3303"
                                                            << "A1";

    QTest::newRow("no MFG") << QByteArray("MDL:QXR3303;SN:A1;\0", 19) << unknown << unknown;
    QTest::newRow("MFG in lower case")
        << QByteArray("mfg:ZELTAN;MDL:QXR3303;\0", 24) << unknown << unknown;
    QTest::newRow("MFG after the terminator")
        << QByteArray("SN:A1;\0MFG:ZELTAN;", 18) << unknown << unknown;
    QTest::newRow("empty") << QByteArray(1, '\0') << unknown << unknown;
    QTest::newRow("driver refuses") << QByteArray() << unknown << unknown;

    // The widths: 511 characters fit; a full buffer without a terminator is a cut device ID.
    QTest::newRow("511 characters") << Padded(product + "X:", 511, 'x') + '\0' << "ZELTAN QXR3303"
                                    << "A1";
    QTest::newRow("512 characters, no terminator")
        << Padded(product + "X:", 512, 'x') << unknown << unknown;
    QTest::newRow("longer than the buffer")
        << Padded(product + "X:", 700, 'x') << unknown << unknown;
    QTest::newRow("serial of 127 kept") << "MFG:ZELTAN;MDL:QXR3303;SN:" + QByteArray(127, 's') + ";"
                                        << "ZELTAN QXR3303" << QString(127, 's');
    QTest::newRow("serial of 200 cut to 127")
        << "MFG:ZELTAN;MDL:QXR3303;SN:" + QByteArray(200, 's') + ";"
        << "ZELTAN QXR3303" << QString(127, 's');
    QTest::newRow("product name cut to 127")
        << "MFG:" + QByteArray(100, 'M') + ";MDL:" + QByteArray(100, 'D') + ";SN:A1;"
        << QString(100, 'M') + ' ' + QString(26, 'D') << "A1";
}

void TestDiscovery::identityFromDeviceId()
{
    QFETCH(QByteArray, deviceId);
    QFETCH(QString, productName);
    QFETCH(QString, serial);
    SimulatedWorld world;
    if (deviceId.isNull()) {
        PrinterConfig config;
        config.deviceId = DeviceIdKind::Unreadable;
        world.printers.attach(config);
    } else {
        world.attachRaw(deviceId);
    }

    USBPrinterClassDeviceInfo table;
    QCOMPARE(Lib_EnumeratePrinterClassPnPDevices(&table), 1);
    QCOMPARE(Entry(table.ProductName[0]), productName);
    QCOMPARE(Entry(table.SerialNumber[0]), serial);
    QVERIFY(world.errors.isEmpty());
}

void TestDiscovery::memberWithoutDetail_data()
{
    QTest::addColumn<int>("attached");
    QTest::addColumn<int>("failingMember");
    QTest::addColumn<int>("failures"); // negative: every time
    QTest::addColumn<QList<int>>("listed");

    QTest::newRow("first fails once") << 3 << 0 << 1 << QList<int> { 0, 1, 2 };
    QTest::newRow("middle fails three times") << 3 << 1 << 3 << QList<int> { 0, 1, 2 };
    QTest::newRow("middle fails four times") << 3 << 1 << 4 << QList<int> { 0, 2 };
    QTest::newRow("last always fails") << 3 << 2 << -1 << QList<int> { 0, 1 };
    QTest::newRow("first always fails") << 3 << 0 << -1 << QList<int> { 1, 2 };
    QTest::newRow("the seventh moves up") << 7 << 0 << -1 << QList<int> { 1, 2, 3, 4, 5, 6 };
}

void TestDiscovery::memberWithoutDetail()
{
    QFETCH(int, attached);
    QFETCH(int, failingMember);
    QFETCH(int, failures);
    QFETCH(QList<int>, listed);
    SimulatedWorld world;
    for (int i = 0; i < attached; ++i) {
        PrinterConfig config;
        config.serial = "P" + std::to_string(i);
        if (i == failingMember)
            config.interfaceDetailFailures = failures;
        world.printers.attach(config);
    }

    USBPrinterClassDeviceInfo table;
    QCOMPARE(Lib_EnumeratePrinterClassPnPDevices(&table), listed.size());
    for (int k = 0; k < listed.size(); ++k) {
        QCOMPARE(Entry(table.SerialNumber[k]), QStringLiteral("P%1").arg(listed[k]));
        QCOMPARE(Entry(table.ProductName[k]), QStringLiteral("ZELTAN QXR3303"));
    }
    for (int k = listed.size(); k < vornik::contract::kMaxPrinters; ++k)
        QVERIFY(EntryIsZero(table, k));
}

void TestDiscovery::pathLengths_data()
{
    QTest::addColumn<int>("pathUnits");
    QTest::addColumn<bool>("listed");
    QTest::newRow("255 units fit") << 255 << true;
    QTest::newRow("256 units do not") << 256 << false;
    QTest::newRow("400 units do not") << 400 << false;
}

void TestDiscovery::pathLengths()
{
    QFETCH(int, pathUnits);
    QFETCH(bool, listed);
    SimulatedWorld world;
    PrinterConfig odd;
    odd.serial = "ODD";
    odd.devicePathUnits = pathUnits;
    const int oddId = world.printers.attach(odd);
    PrinterConfig plain;
    plain.serial = "PLAIN";
    world.printers.attach(plain);

    USBPrinterClassDeviceInfo table;
    QCOMPARE(Lib_EnumeratePrinterClassPnPDevices(&table), listed ? 2 : 1);
    QCOMPARE(
        Entry(table.SerialNumber[0]), listed ? QStringLiteral("ODD") : QStringLiteral("PLAIN"));
    if (listed) {
        QCOMPARE(Entry(table.DevicePath[0]), Text(world.printers.snapshot(oddId).path));
        Lib_SetUSBDeviceFilePath(1, table.DevicePath[0]);
        QCOMPARE(Lib_IsConnectionValid(), 1);
    }
}

void TestDiscovery::classQueryFailure()
{
    SimulatedWorld world;
    world.printers.attach({});
    Lib_SetUSBDeviceFilePath(1, u"before");

    world.printers.failNextClassQuery();
    USBPrinterClassDeviceInfo table = JunkTable();
    QCOMPARE(Lib_EnumeratePrinterClassPnPDevices(&table), 0);
    USBPrinterClassDeviceInfo empty;
    std::memset(&empty, 0, sizeof empty);
    QVERIFY(std::memcmp(&table, &empty, sizeof table) == 0);

    QCOMPARE(Lib_EnumeratePrinterClassPnPDevices(nullptr), 0);
    QCOMPARE(QString::fromUtf16(gUSBDeviceFilePath), QStringLiteral("before"));
    // The next query works again and finds the printer.
    QCOMPARE(Lib_EnumeratePrinterClassPnPDevices(&table), 1);
}

void TestDiscovery::repeatedEnumerationIsStable()
{
    SimulatedWorld world;
    world.printers.attach({});
    PrinterConfig unreadable;
    unreadable.deviceId = DeviceIdKind::Unreadable;
    world.printers.attach(unreadable);
    PrinterConfig other;
    other.serial = "SN0002";
    world.printers.attach(other);

    USBPrinterClassDeviceInfo first;
    USBPrinterClassDeviceInfo second = JunkTable();
    QCOMPARE(Lib_EnumeratePrinterClassPnPDevices(&first), 3);
    QCOMPARE(Lib_EnumeratePrinterClassPnPDevices(&second), 3);
    QVERIFY(std::memcmp(&first, &second, sizeof first) == 0);
    QCOMPARE(Entry(first.SerialNumber[1]), QStringLiteral("unknown"));
}

void TestDiscovery::filter_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("wanted");
    QTest::addColumn<QList<int>>("matches");

    const QStringList mixed { "ZELTAN QXR3303", "KX reflash", "unknown", "ZELTAN QXR3303" };
    QTest::newRow("two of four, in order") << mixed << "ZELTAN QXR3303" << QList<int> { 0, 3 };
    QTest::newRow("download mode") << mixed << "KX reflash" << QList<int> { 1 };
    QTest::newRow("lower case") << mixed << "zeltan qxr3303" << QList<int> {};
    QTest::newRow("trailing blank") << mixed << "ZELTAN QXR3303 " << QList<int> {};
    QTest::newRow("prefix") << mixed << "ZELTAN" << QList<int> {};
    QTest::newRow("empty source") << QStringList {} << "ZELTAN QXR3303" << QList<int> {};
}

void TestDiscovery::filter()
{
    QFETCH(QStringList, names);
    QFETCH(QString, wanted);
    QFETCH(QList<int>, matches);
    SimulatedWorld world;

    USBPrinterClassDeviceInfo source;
    std::memset(&source, 0, sizeof source);
    source.DeviceCount = names.size();
    for (int i = 0; i < names.size(); ++i) {
        SetEntry(source.ProductName[i], names[i]);
        SetEntry(source.DevicePath[i], QStringLiteral("path %1").arg(i));
        SetEntry(source.SerialNumber[i], QStringLiteral("serial %1").arg(i));
    }
    const USBPrinterClassDeviceInfo before = JunkTable();
    USBPrinterClassDeviceInfo destination = before;

    QCOMPARE(Lib_GetSupportedPrinterDeviceInfo(
                 reinterpret_cast<const char16_t *>(wanted.utf16()), &destination, &source),
        matches.size());
    QCOMPARE(destination.DeviceCount, matches.size());
    QVERIFY(std::memcmp(destination.Selected, before.Selected, sizeof before.Selected) == 0);
    for (int n = 0; n < matches.size(); ++n) {
        QCOMPARE(Entry(destination.ProductName[n]), names[matches[n]]);
        QCOMPARE(Entry(destination.DevicePath[n]), QStringLiteral("path %1").arg(matches[n]));
        QCOMPARE(Entry(destination.SerialNumber[n]), QStringLiteral("serial %1").arg(matches[n]));
    }
    // The entries past the matches keep what they held.
    for (int n = matches.size(); n < vornik::contract::kMaxPrinters; ++n) {
        QCOMPARE(Entry(destination.ProductName[n]), Entry(before.ProductName[n]));
        QCOMPARE(Entry(destination.DevicePath[n]), Entry(before.DevicePath[n]));
    }
}

void TestDiscovery::pathSelection_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("selection"); // "<printer>": the printer's own path stays selected

    const QString printer = QStringLiteral("<printer>");
    QTest::newRow("mode 1, empty path keeps") << 1 << "" << printer;
    QTest::newRow("mode 0 clears") << 0 << "ignored"
                                   << "";
    QTest::newRow("mode 2 does nothing") << 2 << "other" << printer;
    QTest::newRow("mode -1 does nothing") << -1 << "other" << printer;
    QTest::newRow("mode 1 selects") << 1 << "other"
                                    << "other";
    QTest::newRow("255 units selected") << 1 << QString(255, 'p') << QString(255, 'p');
    // Keeping the old selection would aim the next command at the wrong printer.
    QTest::newRow("256 units select nothing") << 1 << QString(256, 'p') << "";
}

void TestDiscovery::pathSelection()
{
    QFETCH(int, mode);
    QFETCH(QString, path);
    QFETCH(QString, selection);
    SimulatedWorld world;
    const int id = world.attachSelected({});
    const QString printerPath = Text(world.printers.snapshot(id).path);
    QCOMPARE(Lib_IsConnectionValid(), 1);

    Lib_SetUSBDeviceFilePath(mode, reinterpret_cast<const char16_t *>(path.utf16()));

    const bool stays = selection == QLatin1String("<printer>");
    QCOMPARE(QString::fromUtf16(gUSBDeviceFilePath), stays ? printerPath : selection);
    QCOMPARE(gUSBDeviceFilePath[vornik::contract::kTextUnits - 1], u'\0');
    QCOMPARE(Lib_IsConnectionValid(), stays ? 1 : 0);
}

void TestDiscovery::fieldExtraction_data()
{
    QTest::addColumn<QString>("deviceId");
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("found");
    QTest::addColumn<QString>("value");

    QTest::newRow("middle field") << "MFG:A;MDL:B;SN:C;"
                                  << "MDL:" << 1 << "B";
    QTest::newRow("runs to the end") << "MFG:A;SN:C"
                                     << "SN:" << 1 << "C";
    QTest::newRow("key then ;") << "MFG:;MDL:B;"
                                << "MFG:" << 1 << "";
    QTest::newRow("key ends the text") << "MDL:B;MFG:"
                                       << "MFG:" << 0 << "";
    QTest::newRow("absent") << "MFG:A;"
                            << "SN:" << 0 << "";
    QTest::newRow("case-sensitive") << "MFG:A;sn:C;"
                                    << "SN:" << 0 << "";
    QTest::newRow("first occurrence, any place") << "MFG:A;DESSN:X;SN:C;"
                                                 << "SN:" << 1 << "X";
    QTest::newRow("value not trimmed") << "MFG:  A ;"
                                       << "MFG:" << 1 << "  A ";
    QTest::newRow("status key needs its ;") << "MFG:A;CLS:1;"
                                            << ";S:" << 0 << "";
    QTest::newRow("status field first") << "S:123;MFG:A;"
                                        << ";S:" << 0 << "";
    QTest::newRow("empty text") << ""
                                << "MFG:" << 0 << "";
    QTest::newRow("127 kept") << "SN:" + QString(127, 'v') << "SN:" << 1 << QString(127, 'v');
    QTest::newRow("cut to 127") << "SN:" + QString(300, 'v') + ";"
                                << "SN:" << 1 << QString(127, 'v');
}

void TestDiscovery::fieldExtraction()
{
    QFETCH(QString, deviceId);
    QFETCH(QString, key);
    QFETCH(int, found);
    QFETCH(QString, value);
    SimulatedWorld world;
    std::memcpy(gDeviceIDWide, deviceId.utf16(), deviceId.size() * sizeof(char16_t));

    // A guard around the output shows that nothing is written past its 128 units.
    char16_t out[vornik::contract::kFieldUnits + 8];
    std::fill(std::begin(out), std::end(out), u'#');
    QCOMPARE(GetDeviceIDField(reinterpret_cast<const char16_t *>(key.utf16()), out), found);
    QCOMPARE(QString::fromUtf16(out), value);
    for (std::size_t i = vornik::contract::kFieldUnits; i < std::size(out); ++i)
        QCOMPARE(out[i], u'#');
}

void TestDiscovery::exceptionsBecomeFailureValues()
{
    SimulatedWorld world;
    world.printers.attach({});
    world.printers.attach({});

    // Inside the identity fill: the fill stops, the interfaces found still count.
    world.printers.throwOnOpen = true;
    USBPrinterClassDeviceInfo table;
    QCOMPARE(Lib_EnumeratePrinterClassPnPDevices(&table), 2);
    QCOMPARE(world.errors, QStringList { "FDU App: open broke" });
    QCOMPARE(Entry(table.ProductName[0]), QString());

    QCOMPARE(Lib_IsConnectionValid(), 0);
    QCOMPARE(world.errors.size(), 2);

    world.printers.throwOnOpen = false;
    world.printers.throwOnBegin = true;
    QCOMPARE(Lib_EnumeratePrinterClassPnPDevices(&table), 0);
    QCOMPARE(world.errors.last(), QStringLiteral("FDU App: class query broke"));
}

QTEST_GUILESS_MAIN(TestDiscovery)
#include "test_discovery.moc"
