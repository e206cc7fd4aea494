// Whole update runs on simulated printers and the virtual clock: what each row ends with, what
// the summary says, and what every printer actually received.
#include "harness.h"

#include "firmware/embedded_image.h"
#include "ui/background_worker.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTest>

#include <functional>
#include <stdexcept>

#ifdef Q_OS_WIN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace {

using vornik::sim::PrinterConfig;

struct Scenario {
    const char *name;
    std::vector<std::function<void(PrinterConfig &)>> printers; // one per attached printer
    std::vector<int> ticked; // list rows ticked
    QStringList finalStatuses;
    QString summary;
    int total;
    int updated;
    int notices = 0; // messages before the summary
};

void Well(PrinterConfig &)
{ }

void SameSerial(PrinterConfig &c)
{
    c.serial = "SAME";
}

const std::vector<Scenario> &Scenarios()
{
    static const std::vector<Scenario> scenarios = {
        { "one printer, all well", { Well }, { 0 }, { kCompleted }, kAllUpdated, 1, 1 },
        { "second of two ticked", { Well, Well }, { 1 }, { kCompleted }, kAllUpdated, 1, 1 },
        { "first of three busy printing",
            { [](PrinterConfig &c) { c.status = vornik::contract::kStatusPrinting; }, Well, Well },
            { 0, 1, 2 }, { kNotFound, kCompleted, kCompleted }, kSomeUpdated, 3, 2 },
        { "comes back with another serial",
            { [](PrinterConfig &c) { c.downloadSerial = "OTHER"; } }, { 0 }, { kNotFound },
            kSomeUpdated, 1, 0 },
        { "comes back too late", { [](PrinterConfig &c) { c.reappearAfterMs = 60000; } }, { 0 },
            { kNotFound }, kSomeUpdated, 1, 0 },
        // Off the bus just before the step's first look, back only during the pause after it.
        { "back in download mode 2.5 s after it left", { [](PrinterConfig &c) {
             c.leaveBusAfterMs = 9000;
             c.reappearAfterMs = 2500;
         } },
            { 0 }, { kCompleted }, kAllUpdated, 1, 1 },
        { "never finishes storing", { [](PrinterConfig &c) { c.storeTimeMs = -1; }, Well },
            { 0, 1 }, { kUpdateTimeout, kCompleted }, kSomeUpdated, 2, 1 },
        { "never leaves the bus", { [](PrinterConfig &c) { c.leaveBusAfterMs = -1; } }, { 0 },
            { kNotFound }, kSomeUpdated, 1, 0 },
        { "transfer fails half way",
            { [](PrinterConfig &c) { c.failWriteAfterBytes = 2048; }, Well }, { 0, 1 },
            { kNotFound, kCompleted }, kSomeUpdated, 2, 1, 1 },
        { "status turns busy between the two commands",
            { [](PrinterConfig &c) { c.statusAfterFirstCommand = 2; } }, { 0 }, { kNotFound },
            kSomeUpdated, 1, 0 },
        // Each takes a download-mode entry of its own, and each gets the whole image.
        { "two ticked with one serial", { SameSerial, SameSerial }, { 0, 1 },
            { kCompleted, kCompleted }, kAllUpdated, 2, 2 },
    };
    return scenarios;
}

// After the run. The build's caption carries build number 2528A; a printer that stored the
// image reports the revision below, one that kept its old firmware the default "VRN.01.23".
// Unless a case says otherwise, the printer is back in normal mode a minute after it stored.
const std::string kNewRevision = "QXR3303.2528A.07";
constexpr std::uint32_t kSummaryOpenMs = 102000; // the operator reads the summary this long
const QString kBackAfter = QStringLiteral("back on the bus after 1 min 42 s; ");

struct ReturnCase {
    const char *name;
    std::function<void(PrinterConfig &)> printer;
    QString finalStatus;
    ReturnMark mark;
    QString toolTip; // its first line
    bool asked; // sent "udw.get_fw_rev;"
    std::function<void(PrinterConfig &)> alsoTicked = {}; // a second printer of the run
};

const std::vector<ReturnCase> &ReturnCases()
{
    static const std::vector<ReturnCase> cases = {
        { "comes back with the new firmware", Well, kCompleted, ReturnMark::NewFirmware,
            kBackAfter + "reports firmware QXR3303.2528A.07, which contains build number 2528A",
            true },
        // The build number is looked for whatever its letter case.
        { "reports the build number in other letter case",
            [](PrinterConfig &c) { c.revisionOfImage.begin()->second = "qxr3303.2528a.07"; },
            kCompleted, ReturnMark::NewFirmware,
            kBackAfter + "reports firmware qxr3303.2528a.07, which contains build number 2528A",
            true },
        { "comes back with the old firmware", [](PrinterConfig &c) { c.keepsOldFirmware = true; },
            kCompleted, ReturnMark::OtherFirmware,
            kBackAfter + "reports firmware VRN.01.23, which does not contain build number 2528A",
            true },
        { "does not come back", [](PrinterConfig &c) { c.returnAfterMs = -1; }, kCompleted,
            ReturnMark::NotBackYet, QStringLiteral("not back yet"), false },
        { "comes back busy", [](PrinterConfig &c) { c.statusOnReturn = 1; }, kCompleted,
            ReturnMark::Unjudged,
            kBackAfter + "is not asked for its firmware revision while its status is INITIALIZING",
            false },
        { "comes back without answering",
            [](PrinterConfig &c) {
                c.keepsOldFirmware = true;
                c.revisionReply = {};
            },
            kCompleted, ReturnMark::Unjudged, kBackAfter + "reports no firmware revision", true },
        { "revision that looks like markup, or holds a line break",
            [](PrinterConfig &c) {
                c.keepsOldFirmware = true;
                c.revisionReply = { { 50, "<b>VRN\n01</b>;" } };
            },
            kCompleted, ReturnMark::OtherFirmware,
            kBackAfter
                + QStringLiteral("reports firmware \u2039b>VRN?01\u2039/b>, which does not contain "
                                 "build number 2528A"),
            true },
        { "timed out, then stored and came back",
            [](PrinterConfig &c) {
                c.storeTimeMs = 250000;
                c.returnAfterMs = 10000;
            },
            kUpdateTimeout, ReturnMark::NewFirmware,
            kBackAfter + "reports firmware QXR3303.2528A.07, which contains build number 2528A",
            true },
        // Known only by serial number when it comes back: another printer could answer for it.
        { "another ticked printer has its serial number", Well, kCompleted, ReturnMark::Unjudged,
            QStringLiteral("not looked for after the run: another printer of this run has the same "
                           "serial number"),
            false, Well },
        { "reports no serial number", [](PrinterConfig &c) { c.serial.clear(); }, kCompleted,
            ReturnMark::Unjudged,
            QStringLiteral("not looked for after the run: the printer reports no serial number"),
            false },
        { "failed rows are not watched",
            [](PrinterConfig &c) {
                c.downloadSerial = "OTHER";
                c.returnAfterMs = 0;
            },
            kNotFound, ReturnMark::None, QString(), false },
    };
    return cases;
}

bool Asked(const vornik::sim::PrinterSnapshot &printer)
{
    return std::count(printer.commands.begin(), printer.commands.end(),
               std::string(vornik::contract::kFirmwareRevisionCommand))
        > 0;
}

} // namespace

class UpdateRunTest : public QObject {
    Q_OBJECT

private slots:
    void scenario_data() { AddIndexRows(Scenarios()); }

    void scenario()
    {
        QFETCH(int, index);
        const Scenario &scenario = Scenarios()[index];
        WorkflowHarness h;
        std::vector<int> ids;
        for (std::size_t i = 0; i < scenario.printers.size(); ++i) {
            PrinterConfig config = h.printer("SN" + std::to_string(1001 + i));
            scenario.printers[i](config);
            ids.push_back(h.printers.attach(config));
        }
        Form1 &form = h.start();
        QCOMPARE(form.SupportedPrinterCheckedListBox->count(), int(scenario.printers.size()));
        for (int row : scenario.ticked)
            h.tick(row);

        form.App_StartButton_Handler();

        QCOMPARE(h.statuses(), scenario.finalStatuses);
        QCOMPARE(h.messages.size(), std::size_t(scenario.notices + 1));
        const RecordedMessage &summary = h.messages.back();
        QCOMPARE(summary.type, 3);
        QCOMPARE(summary.text, scenario.summary);
        QCOMPARE(summary.total, scenario.total);
        QCOMPARE(summary.updated, scenario.updated);

        // A printer counted as updated received the whole image, unchanged; no other printer
        // is reported as updated.
        const QString expected = h.imageSha256();
        for (int row = 0; row < h.form->FDUStatusListBox->count(); ++row) {
            const int printer = scenario.ticked[row];
            const auto snapshot = h.printers.snapshot(ids[printer]);
            QVERIFY(!snapshot.handleOpen);
            if (scenario.finalStatuses[row] == kCompleted) {
                QCOMPARE(snapshot.imageBytes, h.image().size());
                QCOMPARE(QString::fromStdString(snapshot.imageSha256), expected);
            }
        }
        // The report holds every row with its final status.
        const QString report = h.form->App_RunReport();
        for (int row = 0; row < h.form->FDUStatusListBox->count(); ++row) {
            QVERIFY(report.contains(QStringLiteral("Printer %1: %2\n")
                                        .arg(row + 1)
                                        .arg(h.form->FDUPrinterListBox->item(row)->text())));
            QVERIFY(
                report.contains(QStringLiteral("  Status: %1\n").arg(scenario.finalStatuses[row])));
        }
        // Unticked printers got nothing at all.
        for (std::size_t i = 0; i < ids.size(); ++i) {
            if (std::find(scenario.ticked.begin(), scenario.ticked.end(), int(i))
                == scenario.ticked.end())
                QVERIFY(h.printers.snapshot(ids[i]).commands.empty());
        }
    }

    void returnAfterTheRun_data() { AddIndexRows(ReturnCases()); }

    void returnAfterTheRun()
    {
        QFETCH(int, index);
        const ReturnCase &c = ReturnCases()[index];
        WorkflowHarness h;
        PrinterConfig config = h.printer("SN1");
        config.revisionOfImage[h.imageSha256().toStdString()] = kNewRevision;
        config.returnAfterMs = 60000;
        PrinterConfig second = config;
        c.printer(config);
        const int id = h.printers.attach(config);
        if (c.alsoTicked) {
            c.alsoTicked(second);
            h.printers.attach(second);
        }
        const int printers = c.alsoTicked ? 2 : 1;
        Form1 &form = h.start();
        for (int row = 0; row < printers; ++row)
            h.tick(row);
        // While the summary is open the printer comes back, and nothing may happen yet.
        bool askedDuringSummary = true;
        QVariant markDuringSummary;
        h.onMessage = [&](const RecordedMessage &message) {
            if (message.type != 3)
                return;
            h.clock.advance(kSummaryOpenMs);
            h.printers.poll();
            QCoreApplication::processEvents();
            askedDuringSummary = Asked(h.printers.snapshot(id));
            markDuringSummary = form.FDUStatusListBox->item(0)->data(kReturnMarkRole);
        };
        form.App_StartButton_Handler();

        const QStringList statuses(printers, c.finalStatus);
        QCOMPARE(h.statuses(), statuses);
        QVERIFY(!askedDuringSummary);
        QVERIFY(!markDuringSummary.isValid());
        // Past the bound: a printer still away is marked, whatever came back stays as it was.
        h.clock.advance(vornik::contract::kReturnLimitSeconds * 1000);
        form.App_CheckReturns();
        QCoreApplication::processEvents();

        QCOMPARE(h.statuses(), statuses);
        for (int r = 0; r < printers; ++r) {
            QListWidgetItem *row = form.FDUStatusListBox->item(r);
            QCOMPARE(ReturnMark(row->data(kReturnMarkRole).toInt()), c.mark);
            QCOMPARE(row->toolTip().section(QLatin1Char('\n'), 0, 0), c.toolTip);
        }
        QCOMPARE(Asked(h.printers.snapshot(id)), c.asked);
        // The list of printers stays as the run left it.
        QCOMPARE(form.SupportedPrinterCheckedListBox->count(), printers);
        if (c.mark != ReturnMark::None)
            QVERIFY(form.App_RunReport().contains(
                QStringLiteral("  After the run: ") + QString(c.toolTip).replace(u'\u2039', u'<')));
    }

    // Busy when it came back, asked once it is ready; a printer that needs longer than the
    // bound is still recognised when it does come back.
    void aBusyPrinterIsAskedOnceReadyAndALateOneStillCounts()
    {
        WorkflowHarness h;
        PrinterConfig busy = h.printer("SN1");
        busy.revisionOfImage[h.imageSha256().toStdString()] = kNewRevision;
        busy.returnAfterMs = 1000;
        busy.statusOnReturn = 1;
        const int busyId = h.printers.attach(busy);
        PrinterConfig late = busy;
        late.serial = "SN2";
        late.statusOnReturn.reset();
        late.returnAfterMs = 400000;
        h.printers.attach(late);
        Form1 &form = h.start();
        h.tick(0);
        h.tick(1);
        form.App_StartButton_Handler();
        h.clock.advance(5000);
        h.printers.poll();
        QCoreApplication::processEvents();
        QCOMPARE(ReturnMark(form.FDUStatusListBox->item(0)->data(kReturnMarkRole).toInt()),
            ReturnMark::Unjudged);
        QVERIFY(!Asked(h.printers.snapshot(busyId)));

        h.printers.setStatus(busyId, vornik::contract::kStatusIdle);
        h.clock.advance(vornik::contract::kBusPollIntervalMs);
        form.App_CheckReturns();
        QCOMPARE(ReturnMark(form.FDUStatusListBox->item(0)->data(kReturnMarkRole).toInt()),
            ReturnMark::NewFirmware);

        h.clock.advance(vornik::contract::kReturnLimitSeconds * 1000);
        form.App_CheckReturns();
        QCOMPARE(ReturnMark(form.FDUStatusListBox->item(1)->data(kReturnMarkRole).toInt()),
            ReturnMark::NotBackYet);
        h.clock.advance(200000);
        h.printers.poll();
        QCoreApplication::processEvents();
        QCOMPARE(ReturnMark(form.FDUStatusListBox->item(1)->data(kReturnMarkRole).toInt()),
            ReturnMark::NewFirmware);
        QCOMPARE(h.statuses(), QStringList({ kCompleted, kCompleted }));
    }

    // Ctrl+C on the progress page puts the report on the clipboard, in German too: the window's
    // texts with their English beside them.
    void reportGoesToTheClipboard()
    {
        WorkflowHarness h(256 * 1024);
        h.printers.attach(h.printer("SN1"));
        PrinterConfig failing = h.printer("SN2");
        failing.failWriteAfterBytes = 100000; // inside the second 64 KiB write
        h.printers.attach(failing);
        Form1 &form = h.start(BuildTexts::fromBuild(), false);
        h.tick(0);
        h.tick(1);
        form.App_StartButton_Handler();
        QGuiApplication::clipboard()->clear();
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        form.FDUStatusListBox->setFocus();
        QTest::keyClick(form.FDUStatusListBox, Qt::Key_C, Qt::ControlModifier);

        const QString report = QGuiApplication::clipboard()->text();
        QCOMPARE(report, form.App_RunReport());
        for (const QString &line : {
                 QStringLiteral("Product: ZELTAN QXR3303\n"),
                 QStringLiteral("Build: 2528A\n"),
                 QStringLiteral("Printer 1: SN1\n"),
                 QStringLiteral("  Status: Firmware-Update: abgeschlossen (%1)\n").arg(kCompleted),
                 QStringLiteral("  Bytes sent: 262144 of 262144\n"),
                 QStringLiteral("Printer 2: SN2\n"),
                 QStringLiteral("  Status: Fehler: Drucker nicht gefunden! (%1)\n").arg(kNotFound),
                 QStringLiteral("  Bytes sent: 65536 of 262144\n"),
             })
            QVERIFY2(report.contains(line), qPrintable(line + QStringLiteral(" in\n") + report));
        QVERIFY(!report.contains(QStringLiteral("Started: -")));
        QVERIFY(!report.contains(QStringLiteral("Ended: -")));

        // The context menu offers the same, in the window's language.
        QGuiApplication::clipboard()->clear();
        emit form.FDUPrinterListBox->customContextMenuRequested(QPoint(5, 5));
        auto *action = form.findChild<QAction *>(QStringLiteral("CopyReportAction"));
        QVERIFY(action);
        QCOMPARE(action->text(), QStringLiteral("Bericht kopieren"));
        action->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), report);
    }

    void oneWellPrinterWalksThroughEveryStatus()
    {
        WorkflowHarness h;
        h.printers.attach(h.printer("SN1"));
        Form1 &form = h.start();
        h.tick(0);
        form.App_StartButton_Handler();

        QCOMPARE(h.historyOf(0),
            QStringList({ kIdle, kSetting, kFlashMode, kSending, kStoring, kCompleted }));
        const auto label = [&h](const QString &status) {
            for (const auto &change : h.statusHistory)
                if (change.text == status)
                    return change.stepLabel;
            return QString();
        };
        QCOMPARE(label(kSetting), QStringLiteral("Processing step: [1/3]"));
        QCOMPARE(label(kSending), QStringLiteral("Processing step: [2/3]"));
        QCOMPARE(label(kCompleted), QStringLiteral("Processing step: [3/3]"));
        QCOMPARE(form.Progress_UpdateStepsLabel->text(), QString());
        QCOMPARE(form.FDUPrinterListBox->item(0)->text(), QStringLiteral("SN1"));
        QCOMPARE(gFDUPrinterInfo.UpdateState[0], int(kStateCompleted));

        // Finished: only the way out is left.
        QCOMPARE(form.MainTabControl->currentWidget(), form.ProgressTabPage);
        QVERIFY(form.AppCloseButton->isEnabled());
        QVERIFY(!form.PrinterStatusButton->isEnabled());
        QVERIFY(!form.CloseButton->isEnabled());
        QVERIFY(!form.LangButton->isEnabled());
        QVERIFY(!form.SupportedPrinterCheckedListBox->isEnabled());
        QCOMPARE(form.g_BlockUsbEnumeration, 1);
    }

    void waitsMatchThePrinterTimeouts_data()
    {
        QTest::addColumn<int>("leaveBusAfterMs");
        QTest::addColumn<int>("storeTimeMs");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<int>("minSeconds");
        QTest::addColumn<int>("maxSeconds");
        QTest::newRow("normal-mode path never goes")
            << -1 << 1000 << kSetting << kFlashModeFail << 20 << 22;
        QTest::newRow("download-mode path never goes")
            << 1000 << -1 << kStoring << kUpdateTimeout << 190 << 192;
        QTest::newRow("leaves after 12 s") << 12000 << 1000 << kSetting << kFlashMode << 20 << 22;
        QTest::newRow("stores in 25 s") << 1000 << 25000 << kStoring << kCompleted << 30 << 32;
    }

    void waitsMatchThePrinterTimeouts()
    {
        QFETCH(int, leaveBusAfterMs);
        QFETCH(int, storeTimeMs);
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(int, minSeconds);
        QFETCH(int, maxSeconds);
        WorkflowHarness h;
        PrinterConfig config = h.printer("SN1");
        config.leaveBusAfterMs = leaveBusAfterMs;
        config.storeTimeMs = storeTimeMs;
        h.printers.attach(config);
        Form1 &form = h.start();
        h.tick(0);
        form.App_StartButton_Handler();

        std::uint64_t begin = 0, end = 0;
        for (const auto &change : h.statusHistory) {
            if (change.text == from)
                begin = change.atMs;
            if (change.text == to)
                end = change.atMs;
        }
        QVERIFY(begin > 0 && end > begin);
        const double seconds = (end - begin) / 1000.0;
        QVERIFY2(
            seconds >= minSeconds && seconds <= maxSeconds, qPrintable(QString::number(seconds)));
    }

    void refusesWithoutPrintersOrTicks()
    {
        WorkflowHarness h;
        Form1 &form = h.start();
        form.App_StartButton_Handler();
        QCOMPARE(h.messages.size(), 1u);
        QCOMPARE(h.messages[0].type, 1);
        QCOMPARE(h.messages[0].text, QStringLiteral("Please connect atleast one printer"));

        h.printers.attach(h.printer("SN1"));
        h.deliverNotices();
        QCOMPARE(form.SupportedPrinterCheckedListBox->count(), 1);
        form.App_StartButton_Handler();
        QCOMPARE(h.messages.size(), 2u);
        QCOMPARE(h.messages[1].text, QStringLiteral("Please select atleast one printer"));

        // Still ready for another try.
        QCOMPARE(form.MainTabControl->currentWidget(), form.StartTabPage);
        QCOMPARE(form.g_BlockUsbEnumeration, 0);
        QVERIFY(form.SupportedPrinterCheckedListBox->isEnabled());
        h.tick(0);
        form.App_StartButton_Handler();
        QCOMPARE(h.messages.back().text, kAllUpdated);
    }

    void unplugDuringTransferIsReportedAndTheHandleClosed()
    {
        WorkflowHarness h(64 * 1024 * 3);
        PrinterConfig config = h.printer("SN1");
        config.detachAfterBytes = 64 * 1024;
        const int id = h.printers.attach(config);
        Form1 &form = h.start();
        h.tick(0);
        form.App_StartButton_Handler();

        QCOMPARE(h.historyOf(0).mid(3), QStringList({ kSending, kFlashingTimeout, kNotFound }));
        QCOMPARE(h.messages.size(), 2u);
        QCOMPARE(h.messages[0].type, 1);
        QVERIFY2(h.messages[0].text.contains(QStringLiteral("firmware")),
            qPrintable(h.messages[0].text));
        QCOMPARE(h.messages[1].text, kSomeUpdated);
        QVERIFY(!h.printers.snapshot(id).handleOpen);
    }

    void imageFaultsFailEveryPrinter_data()
    {
        QTest::addColumn<bool>("present");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing") << false << "Build Error: Could not find firmware resource file!";
        QTest::newRow("empty") << true << "Error: Firmware resource file size is 0 bytes!";
    }

    void imageFaultsFailEveryPrinter()
    {
        QFETCH(bool, present);
        QFETCH(QString, message);
        static const std::uint8_t none[1] = {};
        vornik::MemoryFirmwareImage image(present ? none : nullptr, 0);
        WorkflowHarness h;
        h.useImage(&image);
        h.printers.attach(h.printer("SN1"));
        h.printers.attach(h.printer("SN2"));
        Form1 &form = h.start();
        h.tick(0);
        h.tick(1);
        form.App_StartButton_Handler();

        QCOMPARE(h.messages.size(), 3u); // once per printer, then the summary
        QCOMPARE(h.messages[0].text, message);
        QCOMPARE(h.messages[1].text, message);
        QCOMPARE(h.messages[2].text, kSomeUpdated);
        QCOMPARE(h.messages[2].updated, 0);
        QCOMPARE(h.statuses(), QStringList({ kNotFound, kNotFound }));
    }

    void ticksStayAsStartFoundThem_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("Toggle") << "Toggle";
        QTest::newRow("click") << "click";
        QTest::newRow("Space") << "Space";
    }

    // The ticks are read when START is pressed: one that arrives while the run begins, before
    // the list is disabled, changes nothing, and the summary counts the printers of the run.
    void ticksStayAsStartFoundThem()
    {
        QFETCH(QString, path);
        WorkflowHarness h;
        h.printers.attach(h.printer("SN1"));
        h.printers.attach(h.printer("SN2"));
        Form1 &form = h.start();
        h.tick(0);
        QListWidget *list = form.SupportedPrinterCheckedListBox;
        h.onStatus = [&](const WorkflowHarness::StatusChange &change) {
            if (change.row != 0 || change.text != kIdle)
                return;
            QVERIFY(list->isEnabled());
            TickBy(path, list, 1);
        };
        form.App_StartButton_Handler();

        QCOMPARE(list->item(1)->checkState(), Qt::Unchecked);
        QCOMPARE(h.statuses(), QStringList { kCompleted });
        QCOMPARE(h.messages.back().type, 3);
        QCOMPARE(h.messages.back().total, 1);
        QCOMPARE(h.messages.back().updated, 1);
    }

    void startPressedAgainDuringTheRunIsIgnored()
    {
        WorkflowHarness h;
        const int id = h.printers.attach(h.printer("SN1"));
        Form1 &form = h.start();
        h.tick(0);
        h.onStatus
            = [&form](const WorkflowHarness::StatusChange &) { form.App_StartButton_Handler(); };
        form.App_StartButton_Handler();
        h.onStatus = nullptr;

        QCOMPARE(h.messages.size(), 1u);
        QCOMPARE(h.printers.snapshot(id).commands.size(), 2u);
        QCOMPARE(h.statuses(), QStringList({ kCompleted }));
    }

    void windowStaysOpenDuringTheRun()
    {
        WorkflowHarness h;
        h.printers.attach(h.printer("SN1"));
        Form1 &form = h.start();
        h.tick(0);
        bool closed = false;
        h.onStatus
            = [&form, &closed](const WorkflowHarness::StatusChange &) { closed |= form.close(); };
        form.App_StartButton_Handler();
        h.onStatus = nullptr;
        QVERIFY(!closed);
        QVERIFY(form.isVisible());
        QCOMPARE(h.statuses(), QStringList({ kCompleted }));
        QVERIFY(form.close()); // the run is over: closing works again
    }

    // Windows asks every top-level window before a log-off or shutdown; the answer is the
    // window procedure's result.
    void sessionEndIsRefusedOnlyDuringTheRun()
    {
#ifndef Q_OS_WIN
        QSKIP("WM_QUERYENDSESSION exists only on Windows (run there or under Wine)");
#else
        if (QGuiApplication::platformName() != u"windows")
            QSKIP("needs Windows' own windows (QT_QPA_PLATFORM=windows): an offscreen window has "
                  "no window procedure");
        WorkflowHarness h;
        h.printers.attach(h.printer("SN1"));
        Form1 &form = h.start();
        h.tick(0);
        const auto ask = [&form] {
            return SendMessageW(
                reinterpret_cast<HWND>(form.winId()), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF);
        };
        QVERIFY(ask() != FALSE);
        std::vector<LRESULT> answers;
        h.onStatus = [&](const WorkflowHarness::StatusChange &) { answers.push_back(ask()); };
        form.App_StartButton_Handler();
        h.onStatus = nullptr;
        QVERIFY(answers.size() > 3);
        for (const LRESULT answer : answers)
            QCOMPARE(answer, LRESULT(FALSE));
        QCOMPARE(h.statuses(), QStringList({ kCompleted }));
        QVERIFY(ask() != FALSE);
#endif
    }

    void devicesComingAndGoingDuringTheRunLeaveTheListAlone()
    {
        WorkflowHarness h;
        h.printers.attach(h.printer("SN1"));
        Form1 &form = h.start();
        h.tick(0);
        const QStringList before = h.listEntries();
        h.onStatus = [&h](const WorkflowHarness::StatusChange &change) {
            if (change.text == kSending)
                h.printers.attach(h.printer("LATE"));
        };
        form.App_StartButton_Handler();
        h.onStatus = nullptr;
        h.deliverNotices();
        QCOMPARE(h.listEntries(), before);
        QCOMPARE(h.statuses(), QStringList({ kCompleted }));
    }

    // The full-size image of the build, to two printers: each gets all of it from the first byte.
    void fullImageReachesTwoPrintersWhole()
    {
        vornik::FirmwareImageSource &image = vornik::EmbeddedFirmwareImage();
        QVERIFY(image.openModule() && image.find() && image.load());
        const QString expected = Sha256Hex(image.data(), image.size());
        // The run releases the image when it is done; a resource has no size after that.
        const std::uint64_t bytes = image.size();
        WorkflowHarness h;
        h.useImage(&image);
        PrinterConfig config = h.printer("SN1");
        config.expectedImageBytes = bytes;
        const int first = h.printers.attach(config);
        config.serial = "SN2";
        const int second = h.printers.attach(config);
        Form1 &form = h.start();
        h.tick(0);
        h.tick(1);
        form.App_StartButton_Handler();

        QCOMPARE(h.statuses(), QStringList({ kCompleted, kCompleted }));
        for (int id : { first, second }) {
            const auto snapshot = h.printers.snapshot(id);
            QCOMPARE(snapshot.imageBytes, bytes);
            QCOMPARE(QString::fromStdString(snapshot.imageSha256), expected);
        }
    }

    // A body that throws still ends its worker (the run reads the step's status, never set to
    // success), and the log says which worker stopped and why.
    void aWorkerThatThrowsEndsAndSaysWhy_data()
    {
        QTest::addColumn<bool>("standardException");
        QTest::addColumn<QString>("logged");
        QTest::newRow("std::exception") << true << QStringLiteral("SendFhxBGWorker: no room");
        QTest::newRow("anything else")
            << false << QStringLiteral("SendFhxBGWorker: stopped by an exception of unknown type");
    }

    void aWorkerThatThrowsEndsAndSaysWhy()
    {
        QFETCH(bool, standardException);
        QFETCH(QString, logged);
        BackgroundWorker worker;
        worker.setObjectName(QStringLiteral("SendFhxBGWorker"));
        worker.setBody([standardException](int) {
            if (standardException)
                throw std::runtime_error("no room");
            throw 42;
        });
        // The exact text, not a pattern: a pattern is matched on the thread that logs, and a
        // pool thread that has run PCRE under Wine keeps the test program from ending.
        QTest::ignoreMessage(QtWarningMsg, qPrintable(logged));
        worker.RunWorkerAsync();
        QTRY_VERIFY(!worker.IsBusy());
    }
};

QTEST_MAIN(UpdateRunTest)
#include "test_update_run.moc"
