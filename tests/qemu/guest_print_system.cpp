// What Debian's printing system does to a printer that usblp serves, on a real kernel: ipp-usb,
// which takes over printers with IPP-over-USB interfaces, and CUPS's usb backend, whose
// discovery opens every printer. The rows hold what these programs were seen to do (see the
// packages named in scripts/qemu-test.sh); a change in Debian's binaries shows here first.
//
// Runs only inside the test guest (scripts/qemu-test.sh), as root.
#include "emulated_printer_process.h"
#include "print_system.h"

#include <QFile>
#include <QTest>

#include <algorithm>
#include <utility>

namespace {

constexpr int kPrinterInterface = 0;
constexpr int kBackendRounds = 3;

QString Joined(const QStringList &list)
{
    return list.isEmpty() ? QStringLiteral("-") : list.join(QLatin1Char(','));
}

// The events since `skip` were taken.
QStringList Since(const QStringList &events, qsizetype skip)
{
    return events.mid(skip);
}

} // namespace

Q_DECLARE_METATYPE(printsys::IppUsbBuild)

class GuestPrintSystem : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void ippUsb_data();
    void ippUsb();
    void backendDiscovery_data();
    void backendDiscovery();
    void backendKeepsNodeNames();
};

void GuestPrintSystem::initTestCase()
{
    for (const char *program :
        { "/sbin/ipp-usb", "/opt/trixie/ipp-usb", "/usr/lib/cups/backend/usb" })
        QVERIFY2(QFile::exists(QString::fromLatin1(program)), program);
}

void GuestPrintSystem::ippUsb_data()
{
    // With ipp-usb running, a printer with IPP-over-USB interfaces is plugged; then either
    // ipp-usb stops and the printer leaves, or the other way round.
    QTest::addColumn<printsys::IppUsbBuild>("build");
    QTest::addColumn<bool>("blacklisted"); // a quirks section for the printer in /etc/ipp-usb
    QTest::addColumn<bool>("printerLeavesFirst");
    QTest::addColumn<QString>("onPlug"); // printer interface's driver; IPP interfaces' drivers
    QTest::addColumn<QString>("plugEvents"); // usbmisc events
    QTest::addColumn<QString>("afterFirst"); // the printer interface's driver or "gone"
    QTest::addColumn<QString>("firstEvents");
    QTest::addColumn<QString>("lastEvents");
    const std::pair<const char *, printsys::IppUsbBuild> builds[]
        = { { "debian 12", printsys::IppUsbBuild::Debian12 },
              { "debian 13", printsys::IppUsbBuild::Debian13 } };
    for (const auto &[name, build] : builds) {
        QTest::addRow("%s: taken, ipp-usb stops", name)
            << build << false << false << "none usbfs usbfs"
            << "add lp0,remove lp0"
            << "none"
            << "-"
            << "-";
        QTest::addRow("%s: taken, printer leaves", name)
            << build << false << true << "none usbfs usbfs"
            << "add lp0,remove lp0"
            << "gone"
            << "-"
            << "-";
        QTest::addRow("%s: blacklisted", name) << build << true << false << "usblp none none"
                                               << "add lp0"
                                               << "usblp"
                                               << "-"
                                               << "remove lp0";
    }
}

void GuestPrintSystem::ippUsb()
{
    QFETCH(printsys::IppUsbBuild, build);
    QFETCH(bool, blacklisted);
    QFETCH(bool, printerLeavesFirst);
    std::unique_ptr<printsys::ScopedFile> quirk;
    if (blacklisted) {
        quirk = std::make_unique<printsys::ScopedFile>(
            QStringLiteral("/etc/ipp-usb/quirks/zeltan.conf"),
            QByteArray("[ZELTAN QXR3303]\n  blacklist = true\n"));
    }
    printsys::IppUsb ippUsb(build);
    QString why;
    QVERIFY2(ippUsb.start(&why), qPrintable(why));
    printsys::UdevEvents events(QStringLiteral("usbmisc"));

    EmulatedPrinter::Config config;
    config.extraArguments = QStringList { QStringLiteral("--ipp-usb"), QStringLiteral("yes") };
    auto printer = EmulatedPrinter::started(0, QStringLiteral("IPP1"), config);
    QVERIFY(printer);
    const QString device = printsys::UsbDevicePath(QStringLiteral("IPP1"));
    QVERIFY2(!device.isEmpty(), "the printer is not in sysfs");
    if (blacklisted) {
        QVERIFY2(ippUsb.waitForLog(QStringLiteral("Device is blacklisted"), 20000),
            qPrintable(ippUsb.log()));
    } else {
        QVERIFY2(!printer->waitFor(QStringLiteral("http POST /ipp/print"), 30000).isNull(),
            qPrintable(printer->transcript() + "\n" + ippUsb.log()));
        // Its last question at start is the scanner's; it holds the printer from then on.
        printer->waitFor(QStringLiteral("http GET /eSCL/ScannerCapabilities"), 10000);
        QTest::qWait(1000);
        // It took the printer's attributes: it publishes an IPP service for it.
        QVERIFY2(ippUsb.waitForLog(QStringLiteral("_ipp._tcp TXT record"), 5000),
            qPrintable(ippUsb.log()));
    }
    QStringList requests;
    for (const QString &line : printer->transcript().split(QLatin1Char('\n')))
        if (line.trimmed().startsWith(QLatin1String("http ")))
            requests << line.trimmed().mid(5);
    const QString onPlug = QStringList { printsys::InterfaceDriver(device, 0),
        printsys::InterfaceDriver(device, 1), printsys::InterfaceDriver(device, 2) }
                               .join(QLatin1Char(' '));
    const QString access = printsys::UsbDeviceNodeAccess(device);
    QStringList seen = events.settled();
    const QString plugEvents = Joined(seen);
    qsizetype taken = seen.size();

    if (printerLeavesFirst) {
        printer->quit();
        QVERIFY2(ippUsb.waitForLog(QStringLiteral("removed"), 10000), qPrintable(ippUsb.log()));
    } else {
        QVERIFY(ippUsb.stop());
        QTest::qWait(500);
    }
    const QString afterFirst = printerLeavesFirst
        ? QStringLiteral("gone")
        : printsys::InterfaceDriver(device, kPrinterInterface);
    seen = events.settled();
    const QString firstEvents = Joined(Since(seen, taken));
    taken = seen.size();
    if (printerLeavesFirst) {
        QVERIFY(ippUsb.running());
        QVERIFY(ippUsb.stop());
    } else {
        printer->quit();
    }
    const QString lastEvents = Joined(Since(events.settled(), taken));

    qInfo("ipp-usb asked: %s", qPrintable(Joined(requests)));
    QCOMPARE(Joined(requests),
        blacklisted
            ? QStringLiteral("-")
            : QStringLiteral("POST /ipp/print,POST /ipp/faxout,GET /eSCL/ScannerCapabilities"));
    qInfo("ipp-usb: on plug %s (usb node %s), usbmisc %s; then %s, usbmisc %s; at the end "
          "usbmisc %s",
        qPrintable(onPlug), qPrintable(access), qPrintable(plugEvents), qPrintable(afterFirst),
        qPrintable(firstEvents), qPrintable(lastEvents));
    // ipp-usb's udev rule: group lp, mode 0664 for a device with IPP-over-USB interfaces.
    QCOMPARE(access, QStringLiteral("7 664"));
    QTEST(onPlug, "onPlug");
    QTEST(plugEvents, "plugEvents");
    QTEST(afterFirst, "afterFirst");
    QTEST(firstEvents, "firstEvents");
    QTEST(lastEvents, "lastEvents");
}

void GuestPrintSystem::backendDiscovery_data()
{
    // The backend discovers in rounds while a printer without IPP-over-USB interfaces is on
    // the bus, with a blacklist line of our own in CUPS's quirks or none.
    QTest::addColumn<bool>("download");
    QTest::addColumn<QByteArray>("quirk");
    QTest::addColumn<bool>("listed"); // reported as a usb:// device
    QTest::addColumn<bool>("detached"); // usblp leaves the interface for the round and comes back
    const QByteArray normal = "0x1d6b 0x0104 blacklist\n";
    const QByteArray download = "0x1d6b 0x0105 blacklist\n";
    QTest::newRow("normal mode") << false << QByteArray() << true << true;
    QTest::newRow("normal mode, 0104 blacklisted") << false << normal << false << false;
    QTest::newRow("normal mode, 0105 blacklisted") << false << download << true << true;
    QTest::newRow("download mode") << true << QByteArray() << true << true;
    QTest::newRow("download mode, 0105 blacklisted") << true << download << false << false;
    QTest::newRow("download mode, 0104 blacklisted") << true << normal << true << true;
}

void GuestPrintSystem::backendDiscovery()
{
    QFETCH(bool, download);
    QFETCH(QByteArray, quirk);
    QFETCH(bool, listed);
    QFETCH(bool, detached);
    std::unique_ptr<printsys::ScopedFile> quirkFile;
    if (!quirk.isEmpty()) {
        quirkFile = std::make_unique<printsys::ScopedFile>(
            QStringLiteral("/usr/share/cups/usb/vornik-test-quirks"), quirk);
    }
    EmulatedPrinter::Config config;
    config.startInDownloadMode = download;
    auto printer = EmulatedPrinter::started(0, QStringLiteral("CUPS1"), config);
    QVERIFY(printer);
    const QString device = printsys::UsbDevicePath(QStringLiteral("CUPS1"));
    QVERIFY(!device.isEmpty());
    printsys::UdevEvents events(QStringLiteral("usbmisc"));
    printsys::UdevEvents kernelEvents(QStringLiteral("usbmisc"), true);
    const qsizetype before = events.settled().size();
    const qsizetype kernelBefore = kernelEvents.settledEvents().size();
    const QString node = printsys::UsbmiscNode(device, kPrinterInterface);
    QVERIFY2(!node.isEmpty(), "usblp has no node for the printer");

    printsys::BackendDiscoveryLoop loop;
    loop.start();
    QVERIFY(loop.waitForRounds(kBackendRounds, 60000));
    loop.stop();
    const QList<printsys::BackendDiscoveryLoop::Round> rounds = loop.rounds();
    const QStringList seen = Since(events.settled(), before);
    const QList<qint64> away
        = printsys::AwayMs(kernelEvents.settledEvents().mid(kernelBefore), node);

    const QByteArray uri
        = download ? "usb://KX/reflash?serial=CUPS1" : "usb://ZELTAN/QXR3303?serial=CUPS1";
    const bool wasListed = std::all_of(rounds.begin(), rounds.end(),
        [&](const auto &round) { return round.output.contains(uri); });
    const qint64 longestAway = away.isEmpty() ? 0 : *std::max_element(away.begin(), away.end());
    qint64 longestRound = 0;
    for (const auto &round : rounds)
        longestRound = std::max(longestRound, round.endMs - round.startMs);
    QStringList awayText;
    for (qint64 ms : away)
        awayText << QString::number(ms);
    qInfo("backend: %lld rounds (longest %lld ms), listed %d, node away for %s ms (longest "
          "%lld ms), usbmisc %s, then %s on %s; first output: %s",
        qlonglong(rounds.size()), qlonglong(longestRound), wasListed, qPrintable(Joined(awayText)),
        qlonglong(longestAway), qPrintable(Joined(seen)),
        qPrintable(printsys::InterfaceDriver(device, kPrinterInterface)),
        qPrintable(printsys::UsbmiscNode(device, kPrinterInterface)),
        rounds.isEmpty() ? "" : rounds.first().output.trimmed().constData());

    QCOMPARE(wasListed, listed);
    // Each round takes usblp off and puts it back; the node comes back under its own name.
    const qsizetype rebinds = detached ? rounds.size() : 0;
    QStringList expected;
    for (qsizetype i = 0; i < rebinds; ++i)
        expected << QStringLiteral("remove ") + node << QStringLiteral("add ") + node;
    QCOMPARE(seen, expected);
    QCOMPARE(away.size(), rebinds);
    QCOMPARE(printsys::InterfaceDriver(device, kPrinterInterface), QStringLiteral("usblp"));
    QCOMPARE(printsys::UsbmiscNode(device, kPrinterInterface), node);
}

// Two printers through the same rounds: each gets its own node name back, not merely a free one.
void GuestPrintSystem::backendKeepsNodeNames()
{
    auto first = EmulatedPrinter::started(0, QStringLiteral("CUPSA"), {});
    auto second = EmulatedPrinter::started(1, QStringLiteral("CUPSB"), {});
    QVERIFY(first && second);
    const QString devices[] = { printsys::UsbDevicePath(QStringLiteral("CUPSA")),
        printsys::UsbDevicePath(QStringLiteral("CUPSB")) };
    printsys::UdevEvents events(QStringLiteral("usbmisc"));
    events.settled();
    const QString nodes[] = { printsys::UsbmiscNode(devices[0], kPrinterInterface),
        printsys::UsbmiscNode(devices[1], kPrinterInterface) };
    QCOMPARE(nodes[0], QStringLiteral("lp0"));
    QCOMPARE(nodes[1], QStringLiteral("lp1"));
    printsys::BackendDiscoveryLoop loop;
    loop.start();
    QVERIFY(loop.waitForRounds(2, 60000));
    loop.stop();
    qInfo("two printers: usbmisc %s", qPrintable(Joined(events.settled())));
    for (int i = 0; i < 2; ++i)
        QCOMPARE(printsys::UsbmiscNode(devices[i], kPrinterInterface), nodes[i]);
}

QTEST_GUILESS_MAIN(GuestPrintSystem)
#include "guest_print_system.moc"
