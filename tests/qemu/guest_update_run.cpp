// Whole update runs through the window, over the machine's own backend and clock, against the
// kernel's usblp driver with emulated printers: every wait of the run is real, and the printers
// themselves say whether the image they received is the one we sent.
//
// Runs only inside the test guest (scripts/qemu-test.sh).
#include "emulated_printer_process.h"

#include "workflow/window_under_test.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTest>

#include <algorithm>
#include <memory>
#include <vector>

using Message = RecordedMessage;

class GuestUpdateRun : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void bothPrintersUpdated();
    void faultsAreReportedPerPrinter();

private:
    std::vector<std::unique_ptr<EmulatedPrinter>> startPrinters(
        const std::vector<std::pair<QString, QString>> &serialsAndFaults,
        const QStringList &extraArguments = {});
    // Starts the window, ticks every listed printer, presses START and returns once the run
    // has ended.
    void runUpdate(WindowUnderTest &run, int expectedListed);

    // A small image keeps the run short; its size ends on no 512-byte packet (see docs/testing.md).
    const QByteArray image_ = TestImage(2 * 1024 * 1024 + 777, 'u');
    vornik::MemoryFirmwareImage source_ { reinterpret_cast<const std::uint8_t *>(
                                              image_.constData()),
        static_cast<std::uint32_t>(image_.size()) };
};

void GuestUpdateRun::initTestCase()
{
    if (!QDir(QStringLiteral("/sys/class/udc/dummy_udc.0")).exists())
        QSKIP("No dummy USB controller: this test runs in the guest of scripts/qemu-test.sh");
    vornik::InstallDefaultPlatform();
}

std::vector<std::unique_ptr<EmulatedPrinter>> GuestUpdateRun::startPrinters(
    const std::vector<std::pair<QString, QString>> &serialsAndFaults,
    const QStringList &extraArguments)
{
    std::vector<std::unique_ptr<EmulatedPrinter>> printers;
    for (const auto &[serial, fault] : serialsAndFaults) {
        EmulatedPrinter::Config config;
        config.product = BuildTexts::fromBuild().productName;
        config.fault = fault;
        config.imageBytes = image_.size();
        config.imageSha256 = EmulatedPrinter::sha256Hex(image_);
        // Storing takes a few seconds, so that the wait after the image polls at least once.
        config.extraArguments << QStringLiteral("--store") << QStringLiteral("4000")
                              << extraArguments;
        auto printer = EmulatedPrinter::started(int(printers.size()), serial, config);
        if (!printer)
            return {};
        // In the driver's order too, so the list rows follow the printers.
        const int expected = static_cast<int>(printers.size()) + 1;
        QElapsedTimer timer;
        timer.start();
        while (Lib_EnumeratePrinterClassPnPDevices(&gUSBPrinterClassDeviceInfo) != expected
            && timer.elapsed() < 5000)
            QTest::qWait(100);
        if (gUSBPrinterClassDeviceInfo.DeviceCount != expected)
            qWarning("%s", qPrintable(DescribeDeviceTable(gUSBPrinterClassDeviceInfo)));
        printers.push_back(std::move(printer));
    }
    return printers;
}

void GuestUpdateRun::runUpdate(WindowUnderTest &run, int expectedListed)
{
    Form1 &form = run.start();
    QVERIFY(!form.closedDuringLoad());
    QCOMPARE(form.SupportedPrinterCheckedListBox->count(), expectedListed);
    for (int row = 0; row < expectedListed; ++row)
        run.tick(row);

    QElapsedTimer timer;
    timer.start();
    form.StartButton_Click();
    qInfo("the run took %lld ms", timer.elapsed());
    QVERIFY(!run.messages.empty());
}

void GuestUpdateRun::bothPrintersUpdated()
{
    // Each restarts after storing and comes back in normal mode, later than one probe of the
    // wait after the image, so the wait has seen it leave.
    auto printers = startPrinters({ { QStringLiteral("QEMU-RUN-1"), QStringLiteral("none") },
                                      { QStringLiteral("QEMU-RUN-2"), QStringLiteral("none") } },
        { QStringLiteral("--restart"), QStringLiteral("12000"), QStringLiteral("--stored-revision"),
            QStringLiteral("QXR3303.2528A.09;") });
    QCOMPARE(printers.size(), std::size_t(2));

    WindowUnderTest run(&source_);
    runUpdate(run, 2);
    if (QTest::currentTestFailed())
        return;

    QCOMPARE(run.statuses(), QStringList({ kCompleted, kCompleted }));
    QCOMPARE(run.form->FDUPrinterListBox->item(0)->text(), QStringLiteral("QEMU-RUN-1"));
    QCOMPARE(run.form->FDUPrinterListBox->item(1)->text(), QStringLiteral("QEMU-RUN-2"));

    QCOMPARE(run.messages.size(), std::size_t(1));
    const Message &summary = run.messages.back();
    QCOMPARE(summary.type, 3);
    QCOMPARE(summary.text, run.form->StrRes("StrRes_AllUpdated"));
    QCOMPARE(summary.total, 2);
    QCOMPARE(summary.updated, 2);
    QVERIFY2(run.errorBoxes.isEmpty(), qPrintable(run.errorBoxes.join('\n')));

    // Each printer checked what it got against what we meant to send.
    const QString expected = QStringLiteral("ok %1 %2 ")
                                 .arg(image_.size())
                                 .arg(QString::fromLatin1(EmulatedPrinter::sha256Hex(image_)));
    for (const auto &printer : printers) {
        const QString verdict = printer->waitFor(QStringLiteral("image "), 2000);
        QVERIFY2(verdict.startsWith(expected), qPrintable(printer->transcript()));
        QVERIFY(!printer->waitFor(QStringLiteral("left stored"), 2000).isNull());
        qInfo("%s: %s", qPrintable(printer->config().serial), qPrintable(verdict));
    }

    // After the summary: both are found again through usblp on their return and asked for
    // their revision, which carries the caption's build number.
    QListWidget *rows = run.form->FDUStatusListBox;
    const auto marked = [rows] {
        for (int row = 0; row < rows->count(); ++row)
            if (rows->item(row)->data(kReturnMarkRole).toInt() == int(ReturnMark::None))
                return false;
        return true;
    };
    QElapsedTimer watching;
    watching.start();
    while (!marked() && watching.elapsed() < 60000)
        QTest::qWait(100);
    qInfo("marked %lld ms after the run", watching.elapsed());
    QVERIFY2(marked(),
        qPrintable(printers[0]->transcript() + QLatin1Char('\n') + printers[1]->transcript()));
    for (int row = 0; row < 2; ++row) {
        qInfo("row %d after the run: %s", row, qPrintable(rows->item(row)->toolTip()));
        QCOMPARE(
            ReturnMark(rows->item(row)->data(kReturnMarkRole).toInt()), ReturnMark::NewFirmware);
        QVERIFY(rows->item(row)->toolTip().contains(QLatin1String("QXR3303.2528A.09")));
        QCOMPARE(rows->item(row)->text(), kCompleted);
    }
    for (const auto &printer : printers) {
        QVERIFY(!printer->waitFor(QStringLiteral("joined normal"), 500).isNull());
        QVERIFY2(!printer->waitFor(QStringLiteral("reply QXR3303.2528A.09"), 500).isNull(),
            qPrintable(printer->transcript()));
    }
}

void GuestUpdateRun::faultsAreReportedPerPrinter()
{
    // One printer per fault a printer can have here, all in one run: never leaves normal mode,
    // comes back under another serial number, vanishes while it takes the image, stops reading
    // halfway through the image and stays on the bus.
    auto printers = startPrinters({ { QStringLiteral("QEMU-STAY"), QStringLiteral("stay") },
        { QStringLiteral("QEMU-SWAP"), QStringLiteral("other-serial") },
        { QStringLiteral("QEMU-GONE"), QStringLiteral("vanish") },
        { QStringLiteral("QEMU-STALL"), QStringLiteral("stall") } });
    QCOMPARE(printers.size(), std::size_t(4));

    WindowUnderTest run(&source_);
    runUpdate(run, 4);
    if (QTest::currentTestFailed())
        return;

    QCOMPARE(run.statuses(), QStringList({ kNotFound, kNotFound, kNotFound, kNotFound }));
    QVERIFY(run.historyOf(0).contains(kFlashModeFail));
    QVERIFY(run.historyOf(1).contains(kFlashMode));
    QVERIFY(run.historyOf(1).contains(kNotConnected));
    for (int row : { 2, 3 }) {
        QVERIFY(run.historyOf(row).contains(kSending));
        QVERIFY(run.historyOf(row).contains(kFlashingTimeout));
    }

    // The failed write says why before the summary; the summary counts no printer as updated.
    for (const Message &message : run.messages)
        qInfo("message %d: %s", message.type, qPrintable(message.text));
    QVERIFY(run.messages.size() >= 2);
    QCOMPARE(run.messages.front().type, 1);
    QVERIFY(!run.messages.front().text.isEmpty());
    const Message &summary = run.messages.back();
    QCOMPARE(summary.type, 3);
    QCOMPARE(summary.text, run.form->StrRes("StrRes_SomeUpdated"));
    QCOMPARE(summary.total, 4);
    QCOMPARE(summary.updated, 0);
    // The stalled transfer gave up on the stall limit and said so; nothing counted it stored.
    const auto stallMessage = std::find_if(run.messages.begin(), run.messages.end(),
        [](const Message &message) { return message.text.contains(QLatin1String("60 seconds")); });
    QVERIFY(stallMessage != run.messages.end());
    QCOMPARE(stallMessage->type, 1);

    QVERIFY(printers[0]->waitFor(QStringLiteral("left "), 500).isNull());
    QCOMPARE(printers[1]->waitFor(QStringLiteral("joined download "), 2000),
        QStringLiteral("QEMU-SWAPX"));
    QVERIFY(printers[1]->waitFor(QStringLiteral("image "), 500).isNull());
    QVERIFY2(!printers[2]->waitFor(QStringLiteral("left vanished"), 2000).isNull(),
        qPrintable(printers[2]->transcript()));
    QVERIFY2(!printers[3]->waitFor(QStringLiteral("stopped reading"), 500).isNull(),
        qPrintable(printers[3]->transcript()));
    QVERIFY(printers[3]->waitFor(QStringLiteral("image ok"), 500).isNull());
    QVERIFY(printers[3]->waitFor(QStringLiteral("left "), 500).isNull());
}

QTEST_MAIN(GuestUpdateRun)
#include "guest_update_run.moc"
