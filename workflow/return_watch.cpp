// After the run: which printers came back, and with which firmware; and the run report.
//
// "Firmware update: completed" only says that the printer left the bus after it took every
// byte. A printer that stored the image restarts and comes back in normal mode with its serial
// number; asked for its revision then, it tells which firmware it really runs. The watch starts
// once the operator has closed the summary and never changes a row's text: it adds a mark at
// the row's right end and a tooltip. The printer list and its table stay as the run left them;
// every look goes through a table of its own.
#include "printer_link/platform.h"
#include "printer_link/printer_link.h"
#include "ui/form1.h"
#include "workflow/printer_info.h"
#include "workflow/run_hold.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QListWidget>
#include <QMenu>
#include <QShortcut>
#include <QTextDocument>
#include <QTimer>

#include <algorithm>
#include <exception>
#include <string>

namespace {

using namespace vornik::contract;

using vornik::TheClock;

// "1 min 42 s", "42 s": units that read the same in all four languages.
QString DurationText(qint64 ms)
{
    const qint64 seconds = ms / 1000;
    if (seconds < 60)
        return QStringLiteral("%1 s").arg(seconds);
    return QStringLiteral("%1 min %2 s").arg(seconds / 60).arg(seconds % 60);
}

QString StepText(qint64 ms)
{
    return ms < 0 ? QStringLiteral("-")
                  : QStringLiteral("%1 s").arg(double(ms) / 1000.0, 0, 'f', 1);
}

bool Ready(int status)
{
    return status == kStatusIdle || status == kStatusManufacturingMode;
}

} // namespace

bool Form1::App_AcceptDeviceNotice()
{
    if (gUSBPnPDetected == 0 && !returnRoundRunning_)
        return true;
    if (watchingReturns_)
        returnNoticeMissed_ = true;
    return false;
}

void Form1::App_BeginReturnWatch()
{
    bool any = false;
    const int rows = std::min(FDUPrinterListBox->count(), kMaxPrinters);
    for (int r = 0; r < FDUStatusListBox->count() && r < rows; ++r) {
        RowRecord &row = rows_[r];
        if (!row.watched)
            continue;
        row.toolTipBefore = FDUStatusListBox->item(r)->toolTip();
        // A printer is known only by its serial number when it comes back: where that number
        // is empty or shared, the one that answers may be another printer, and its green tick
        // would be a claim about the wrong one.
        const QString serial = FDUPrinterListBox->item(r)->text();
        bool shared = false;
        for (int other = 0; other < rows && !shared; ++other)
            shared = other != r && FDUPrinterListBox->item(other)->text() == serial;
        if (serial.isEmpty() || shared) {
            row.notJudgedWhy
                = serial.isEmpty() ? "StrRes_ReturnNoSerial" : "StrRes_ReturnSharedSerial";
            SetReturnMark(r);
            continue;
        }
        any = true;
    }
    if (!any)
        return;
    watchingReturns_ = true;
    if (!ReturnTimer) {
        ReturnTimer = new QTimer(this);
        ReturnTimer->setObjectName(QStringLiteral("ReturnTimer"));
        ReturnTimer->setInterval(1000);
        connect(ReturnTimer, &QTimer::timeout, this, &Form1::App_CheckReturns);
    }
    ReturnTimer->start();
    // A printer quick to restart may be back already, while the summary was open.
    returnNoticeMissed_ = true;
    App_CheckReturns();
}

void Form1::App_CheckReturns()
{
    if (!watchingReturns_)
        return;
    const std::uint32_t now = TheClock().tickCount();
    bool lookAgain = returnNoticeMissed_;
    bool awaiting = false;
    for (int r = 0; r < FDUStatusListBox->count() && r < kMaxPrinters; ++r) {
        RowRecord &row = rows_[r];
        if (!row.watched || row.revisionKnown || row.notJudgedWhy)
            continue;
        awaiting = true;
        const std::uint32_t sinceEnd = now - row.endedAt;
        if (!row.back) {
            if (row.mark != ReturnMark::NotBackYet && sinceEnd >= kReturnLimitSeconds * 1000u)
                SetReturnMark(r);
            // Notices are not to be relied on alone: a system without a device manager sends
            // none, and one that comes while a listing runs is dropped. Look now and then too.
            if (now - lastLookAt_ >= kBusPollIntervalMs)
                lookAgain = true;
        } else if (now - row.lastAskedAt >= kBusPollIntervalMs
            && sinceEnd - row.backAfterMs < kReturnLimitSeconds * 1000u) {
            // Back but busy, or silent: asked again while it is young on the bus.
            lookAgain = true;
        }
    }
    if (!awaiting) {
        watchingReturns_ = false;
        ReturnTimer->stop();
        return;
    }
    if (lookAgain && gUSBPnPDetected == 0 && !returnRoundRunning_) {
        gUSBPnPDetected = 1;
        App_WatchForReturn_Handler();
        gUSBPnPDetected = 0;
    }
}

void Form1::App_WatchForReturn_Handler()
{
    if (!watchingReturns_ || returnRoundRunning_)
        return;
    returnRoundRunning_ = true;
    try {
        // Notices that came in while a printer was asked are looked at again; a storm of them
        // is left to the timer, which looks again while one is outstanding.
        for (int round = 0; round < 5; ++round) {
            returnNoticeMissed_ = false;
            App_FindReturnedPrinters();
            if (!returnNoticeMissed_)
                break;
        }
    } catch (const std::exception &error) {
        returnRoundRunning_ = false;
        App_ShowUIMessage_Handler(1, QString::fromUtf8(error.what()), 0, 0);
        return;
    }
    returnRoundRunning_ = false;
}

void Form1::App_FindReturnedPrinters()
{
    lastLookAt_ = TheClock().tickCount();
    if (Lib_EnumeratePrinterClassPnPDevices(&gUSBPrinterClassDeviceInfo) == 0)
        return;
    // A table of its own: IdleModeInfo and the list stay as the run left them.
    USBPrinterClassDeviceInfo back {};
    const std::u16string product = texts_.productName.toStdU16String();
    const int found
        = Lib_GetSupportedPrinterDeviceInfo(product.c_str(), &back, &gUSBPrinterClassDeviceInfo);
    for (int r = 0; r < FDUPrinterListBox->count() && r < kMaxPrinters; ++r) {
        RowRecord &row = rows_[r];
        // The rows left are each the only one with their serial number, so a printer that came
        // back answers for one row at most.
        if (!row.watched || row.revisionKnown || row.notJudgedWhy)
            continue;
        const std::u16string serial = FDUPrinterListBox->item(r)->text().toStdU16String();
        int k = 0;
        while (k < found && k < kMaxPrinters && std::u16string_view(back.SerialNumber[k]) != serial)
            ++k;
        if (k >= found || k >= kMaxPrinters)
            continue;
        const std::uint32_t now = TheClock().tickCount();
        if (!row.back) {
            row.back = true;
            row.backAfterMs = now - row.endedAt;
        } else if (now - row.lastAskedAt < kBusPollIntervalMs) {
            continue;
        }
        row.lastAskedAt = now;

        // One worker at a time, the path selected just before it, as in the run.
        Lib_SetUSBDeviceFilePath(1, back.DevicePath[k]);
        revisionStatus_ = -1;
        revisionRead_ = 0;
        RevisionBGWorker.RunWorkerAsync();
        PumpUntilIdle(RevisionBGWorker);
        row.statusOnReturn = revisionStatus_;
        if (revisionRead_ == 1) {
            row.revisionKnown = true;
            // The printer's own bytes, widened one to one: a control character (C0, DEL or C1)
            // would break the tooltip's first line and the report's layout.
            row.revision = QString::fromUtf16(revisionText_);
            for (QChar &unit : row.revision) {
                if (unit.category() == QChar::Other_Control)
                    unit = u'?';
            }
        }
        SetReturnMark(r);
    }
}

void Form1::App_BGWorker_ReadFirmwareRevision()
{
    // The status is read first so that a busy printer is told apart from a silent one; the
    // query itself goes through the same gate and is never sent to a busy printer.
    revisionStatus_ = GetPrinterStatus();
    revisionRead_ = Ready(revisionStatus_) ? GetFirmwareRevision(revisionText_) : 0;
}

QString Form1::ReturnText(int param_Row, const std::function<QString(const char *)> &param_Text,
    ReturnMark *param_Mark) const
{
    const RowRecord &row = rows_[param_Row];
    ReturnMark mark = ReturnMark::Unjudged;
    QString text;
    const QString after = DurationText(row.backAfterMs);
    if (row.notJudgedWhy) {
        text = param_Text(row.notJudgedWhy);
    } else if (!row.back) {
        mark = ReturnMark::NotBackYet;
        text = param_Text("StrRes_ReturnNotBackYet");
    } else if (row.revisionKnown) {
        if (buildNumber_.isEmpty()) {
            text = param_Text("StrRes_ReturnFirmware").arg(after, row.revision);
        } else if (row.revision.contains(buildNumber_, Qt::CaseInsensitive)) {
            mark = ReturnMark::NewFirmware;
            text = param_Text("StrRes_ReturnNewFirmware").arg(after, row.revision, buildNumber_);
        } else {
            mark = ReturnMark::OtherFirmware;
            text = param_Text("StrRes_ReturnOtherFirmware").arg(after, row.revision, buildNumber_);
        }
    } else if (Ready(row.statusOnReturn)) {
        text = param_Text("StrRes_ReturnNoRevision").arg(after);
    } else {
        const QString name = QString::fromUtf16(PrinterStatusName(row.statusOnReturn));
        text = param_Text("StrRes_ReturnBusy")
                   .arg(after, name.isEmpty() ? QString::number(row.statusOnReturn) : name);
    }
    if (param_Mark)
        *param_Mark = mark;
    return text;
}

void Form1::SetReturnMark(int param_Row)
{
    QListWidgetItem *line = FDUStatusListBox->item(param_Row);
    if (!line)
        return;
    RowRecord &row = rows_[param_Row];
    const QString text = ReturnText(
        param_Row, [this](const char *key) { return StrRes(key); }, &row.mark);
    line->setData(kReturnMarkRole, int(row.mark));
    line->setData(kReturnWordsRole, text);
    DescribeStatusRow(param_Row);
    // The wait's own figures stay beneath it.
    QString toolTip = row.toolTipBefore.isEmpty() ? text : text + u'\n' + row.toolTipBefore;
    // A tooltip that looks like markup is shown as rich text, so a revision such as "<img ...>"
    // would be rendered. Its '<' become '‹' instead: the tooltip then shows the printer's
    // characters but that one (the report keeps the revision as it came).
    if (Qt::mightBeRichText(toolTip))
        toolTip.replace(u'<', u'\u2039');
    line->setToolTip(toolTip);
}

QString Form1::App_RunReport() const
{
    const auto english = [this](const char *key) {
        return gLangResourceManager.empty() || !gLangResourceManager[0]
            ? StrRes(key)
            : gLangResourceManager[0]->lookup(key);
    };
    const auto time = [](const QDateTime &at) {
        return at.isValid() ? at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss 'UTC'"))
                            : QStringLiteral("-");
    };
    QString report;
    report += QStringLiteral("Firmware update report\n");
    report += QStringLiteral("Product: %1\n").arg(texts_.productName);
    report += QStringLiteral("Build: %1\n")
                  .arg(buildNumber_.isEmpty() ? QStringLiteral("?") : buildNumber_);
    report += QStringLiteral("Started: %1\n").arg(time(runStarted_));
    report += QStringLiteral("Ended: %1\n").arg(time(runEnded_));
    if (runStarted_.isValid()) {
        report += QStringLiteral("Held awake: %1\n").arg(DescribeHeldParts(runHoldParts_));
        report += QStringLiteral("Not held: %1\n").arg(DescribeUnheldParts(runHoldParts_));
    }
    for (int r = 0; r < FDUStatusListBox->count() && r < kMaxPrinters; ++r) {
        const RowRecord &row = rows_[r];
        const QListWidgetItem *line = FDUStatusListBox->item(r);
        const QString shown = line->text();
        const QString key = line->data(kStatusKeyRole).toString();
        const QString inEnglish = key.isEmpty() ? QString() : english(qPrintable(key));
        report += QStringLiteral("\nPrinter %1: %2\n")
                      .arg(r + 1)
                      .arg(r < FDUPrinterListBox->count() ? FDUPrinterListBox->item(r)->text()
                                                          : QString());
        report += QStringLiteral("  Status: %1").arg(shown);
        if (!inEnglish.isEmpty() && inEnglish != shown)
            report += QStringLiteral(" (%1)").arg(inEnglish);
        report += u'\n';
        report += QStringLiteral("  Bytes sent: %1").arg(row.bytesSent);
        if (row.imageBytes > 0)
            report += QStringLiteral(" of %1").arg(row.imageBytes);
        report += u'\n';
        report += QStringLiteral("  Download mode: %1, firmware sent: %2, stored: %3\n")
                      .arg(StepText(row.flashModeMs), StepText(row.sendMs), StepText(row.storeMs));
        if (row.watched) {
            report += QStringLiteral("  After the run: %1\n")
                          .arg(row.back || row.mark == ReturnMark::NotBackYet || row.notJudgedWhy
                                  ? ReturnText(r, english)
                                  : QStringLiteral("not back so far"));
        }
    }
    return report;
}

void Form1::App_CopyRunReport()
{
    try {
        QGuiApplication::clipboard()->setText(App_RunReport());
    } catch (const std::exception &error) {
        App_ShowUIMessage_Handler(1, QString::fromUtf8(error.what()), 0, 0);
    }
}

void Form1::InstallReportCopy()
{
    auto *copy = new QShortcut(QKeySequence::Copy, ProgressTabPage);
    copy->setObjectName(QStringLiteral("CopyReportShortcut"));
    copy->setContext(Qt::WidgetWithChildrenShortcut);
    connect(copy, &QShortcut::activated, this, &Form1::App_CopyRunReport);
    for (QWidget *where :
        std::initializer_list<QWidget *> { ProgressTabPage, FDUPrinterListBox, FDUStatusListBox }) {
        where->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(where, &QWidget::customContextMenuRequested, this, [this, where](const QPoint &at) {
            try {
                // Built when shown, so it speaks the window's language of the moment.
                auto *menu = new QMenu(this);
                menu->setObjectName(QStringLiteral("ReportMenu"));
                menu->setAttribute(Qt::WA_DeleteOnClose);
                QAction *action = menu->addAction(StrRes("StrRes_CopyReport"));
                action->setObjectName(QStringLiteral("CopyReportAction"));
                action->setShortcut(QKeySequence::Copy);
                connect(action, &QAction::triggered, this, &Form1::App_CopyRunReport);
                menu->popup(where->mapToGlobal(at));
            } catch (const std::exception &error) {
                App_ShowUIMessage_Handler(1, QString::fromUtf8(error.what()), 0, 0);
            }
        });
    }
}
