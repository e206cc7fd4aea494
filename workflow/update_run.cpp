// The update run: switch every ticked printer into download mode, send each the firmware, and
// wait for each to store it. The run itself stays on the user-interface thread; each wait on a
// printer goes to one of the window's three workers while the thread keeps processing events.
// The two fixed pauses (before the download-mode listing, after each transfer) sleep on this
// thread: see docs/architecture.md.
#include "printer_link/platform.h"
#include "printer_link/printer_link.h"
#include "ui/accessibility.h"
#include "ui/form1.h"
#include "workflow/printer_info.h"
#include "workflow/run_hold.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QTabWidget>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <exception>
#include <optional>

// Results of the step-2 and step-3 workers: 1 success, 0 failure. Each is written by its worker
// and read on the user-interface thread only after the worker's completion notice, which
// carries the write across.
int gFhxSendStatus = 0;
int gFlashUpdateStatus = 0;

namespace {

using namespace vornik::contract;

using vornik::TheClock;

// Whole seconds since `start` on the wrapping millisecond tick.
std::uint32_t SecondsSince(std::uint32_t start)
{
    return (TheClock().tickCount() - start) / 1000;
}

// Polls the selected path every 10 s while it is present, or until `limitSeconds` have passed.
// "Present" is the backend's presence rule (printer_link/README.md): gone only on evidence that
// the printer left, never merely because the path does not open.
void WaitWhileConnected(std::uint32_t limitSeconds)
{
    const std::uint32_t start = TheClock().tickCount();
    while (Lib_IsConnectionValid() != 0) {
        TheClock().sleep(kBusPollIntervalMs);
        if (SecondsSince(start) > limitSeconds)
            break;
    }
}

// The first download-mode entry marked for update whose serial number is `serial` and that no
// earlier row has taken, or -1. Two ticked printers that share a serial number would otherwise
// both be matched to the first entry: one printer would get the image twice and the other none,
// yet both would end as updated.
int FindFlashEntry(const char16_t *serial, const int *taken, int takenCount)
{
    const USBPrinterClassDeviceInfo &flash = gFDUPrinterInfo.FlashModeInfo;
    for (int k = 0; k < flash.DeviceCount && k < kMaxPrinters; ++k) {
        if (flash.Selected[k] == 0
            || std::u16string_view(flash.SerialNumber[k]) != std::u16string_view(serial))
            continue;
        if (std::find(taken, taken + takenCount, k) == taken + takenCount)
            return k;
    }
    return -1;
}

// "12.5 MiB / 60.0 MiB, 850 KiB/s": numbers and units only, the same in every language.
QString TransferToolTip(quint64 accepted, quint64 total, qint64 elapsedMs)
{
    const QLocale numbers = QLocale::c();
    QString text = numbers.formattedDataSize(qint64(accepted), 1) + QStringLiteral(" / ")
        + numbers.formattedDataSize(qint64(total), 1);
    if (elapsedMs > 0 && accepted > 0)
        text += QStringLiteral(", ")
            + numbers.formattedDataSize(qint64(double(accepted) * 1000.0 / double(elapsedMs)), 0)
            + QStringLiteral("/s");
    return text;
}

// "1:05 / 3:10".
QString WaitToolTip(quint64 waitedMs, quint64 limitMs)
{
    const auto clock = [](quint64 ms) {
        const quint64 seconds = ms / 1000;
        return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
    };
    return clock(waitedMs) + QStringLiteral(" / ") + clock(limitMs);
}

// The longest the step-3 worker waits: the limit, plus the sleep that follows its last probe
// inside the limit.
constexpr quint64 kLongestStoreWaitMs = quint64(kStoreLimitSeconds) * 1000 + kBusPollIntervalMs;

// Milliseconds since `start` on the wrapping tick.
qint64 MsSince(std::uint32_t start)
{
    return static_cast<std::uint32_t>(TheClock().tickCount() - start);
}

// Shows which of the three steps is under way.
void ShowStep(Form1 &form, const char *step)
{
    const QString text = form.StrRes("StrRes_ProgressUpdateSteps") + QLatin1String(step);
    if (form.Progress_UpdateStepsLabel->text() != text)
        accessibility::Announce(form.Progress_UpdateStepsLabel, text);
    form.Progress_UpdateStepsLabel->setText(text);
    form.PumpEvents();
}

} // namespace

void Form1::closeEvent(QCloseEvent *event)
{
    if (runInProgress_) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void Form1::PumpEvents()
{
    QCoreApplication::processEvents();
}

void Form1::PumpUntilIdle(const BackgroundWorker &worker)
{
    // Sleeps in the event dispatcher until something happens; the worker's completion notice
    // is one such event, so the wait costs no CPU while the printer works.
    while (worker.IsBusy())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void Form1::App_StartButton_Handler()
{
    // START clicked again while this run pumps events must not begin a second run inside it.
    if (runInProgress_)
        return;
    runInProgress_ = true;

    bool summaryShown = false;
    const int entryCount = SupportedPrinterCheckedListBox->count();
    int tickedCount = 0;
    for (int i = 0; i < entryCount; ++i)
        tickedCount += SupportedPrinterCheckedListBox->item(i)->checkState() == Qt::Checked;

    // Held from the moment printers are about to be touched until the operator has seen how the
    // run ended, on every way out.
    std::optional<RunHold> hold;
    try {
        SetWaitCursor(true);
        Progress_UpdateStepsLabel->setText(QString());
        PumpEvents();
        if (entryCount == 0) {
            App_ShowUIMessage_Handler(1, StrRes("StrRes_ConnectPrinter"), 0, 0);
        } else if (tickedCount == 0) {
            App_ShowUIMessage_Handler(1, StrRes("StrRes_SelectPrinter"), 0, 0);
        } else {
            hold.emplace(texts_.caption(), StrRes("StrRes_RunHoldReason"), quintptr(winId()));
            runHoldParts_ = hold->parts();
            App_ShowRunHoldWarning(runHoldParts_);
            PrinterStatusButton->setEnabled(true);
            CloseButton->setEnabled(false);
            LangButton->setEnabled(false);
            // A refusal before this run enabled CLOSE (the end of that try); left lit, it would
            // invite a click that the window must refuse while printers are being flashed.
            AppCloseButton->setEnabled(false);
            g_BlockUsbEnumeration = 1;
            runStarted_ = QDateTime::currentDateTimeUtc();
            for (RowRecord &record : rows_)
                record = RowRecord {};

            FDUPrinterListBox->clear();
            USBPrinterClassDeviceInfo &idle = gFDUPrinterInfo.IdleModeInfo;
            RepaintsHeldBack held(FDUStatusListBox);
            int row = 0;
            // The list as it is now: a device-change notice handled by the pump above may have
            // rebuilt it since the counts were taken.
            const int entries = SupportedPrinterCheckedListBox->count();
            for (int i = 0; i < entries && i < kMaxPrinters; ++i) {
                if (SupportedPrinterCheckedListBox->item(i)->checkState() == Qt::Checked) {
                    idle.Selected[i] = 1;
                    FDUPrinterListBox->addItem(QString::fromUtf16(idle.SerialNumber[i]));
                    auto *line = new QListWidgetItem(StrRes("StrRes_StatusInIdleMode"));
                    line->setData(kStatusKeyRole, QStringLiteral("StrRes_StatusInIdleMode"));
                    FDUStatusListBox->addItem(line);
                    gFDUPrinterInfo.UpdateState[row++] = kStateIdleMode;
                } else {
                    idle.Selected[i] = 0;
                }
            }
            held.release();

            SupportedPrinterCheckedListBox->setEnabled(false);
            PumpEvents();
            MainTabControl->setCurrentWidget(ProgressTabPage);

            App_SetPrintersInFlashMode();
            TheClock().sleep(kPauseBeforeFlashListingMs);
            App_EnumerateSupportedPrintersInFlashMode();
            const int sentCount = App_FlashFirmware();
            const int updatedCount = App_WaitForFlashUpdate();

            const bool allUpdated = sentCount == tickedCount && updatedCount == sentCount;
            runEnded_ = QDateTime::currentDateTimeUtc();
            summaryShown = true;
            App_ShowUIMessage_Handler(3,
                StrRes(allUpdated ? "StrRes_AllUpdated" : "StrRes_SomeUpdated"), tickedCount,
                updatedCount);
        }
    } catch (const std::exception &error) {
        App_ShowUIMessage_Handler(1, QString::fromUtf8(error.what()), 0, 0);
    }

    hold.reset();
    RunHoldWarningLabel->hide();
    PrinterStatusButton->setEnabled(false);
    AppCloseButton->setEnabled(true);
    SetWaitCursor(false);
    Progress_UpdateStepsLabel->setText(QString());
    // The run is over before the last pump: a CLOSE click handled there must close the window.
    runInProgress_ = false;
    PumpEvents();
    // Only once the operator has closed the summary: what came back is news about a finished
    // run, not part of it.
    if (summaryShown)
        App_BeginReturnWatch();
}

void Form1::App_ShowRunHoldWarning(const std::vector<vornik::HoldPart> &param_Parts)
{
    const unsigned unheld = UnheldConcerns(param_Parts);
    QStringList what;
    for (const auto &[concern, key] :
        { std::pair { vornik::kHoldConcernSleep, "StrRes_RunHoldSleep" },
            std::pair { vornik::kHoldConcernShutdown, "StrRes_RunHoldShutdown" },
            std::pair { vornik::kHoldConcernLogOff, "StrRes_RunHoldLogOff" } }) {
        if (unheld & concern)
            what << StrRes(key);
    }
    if (what.isEmpty()) {
        RunHoldWarningLabel->hide();
        return;
    }
    const QString line = StrRes("StrRes_RunHoldNotBlocked").arg(what.join(QStringLiteral(", ")));
    RunHoldWarningLabel->setText(line);
    // The whole of it where the cell cuts it short.
    RunHoldWarningLabel->setToolTip(line);
    RunHoldWarningLabel->show();
}

void Form1::App_SetPrintersInFlashMode()
{
    const USBPrinterClassDeviceInfo &idle = gFDUPrinterInfo.IdleModeInfo;
    int row = 0;
    for (int i = 0; i < kMaxPrinters; ++i) {
        if (idle.Selected[i] == 0)
            continue;
        const int r = row++;
        ShowStep(*this, "[1/3]");

        gFDUPrinterInfo.UpdateState[r] = kStateSettingFlashMode;
        HighlightUpdateRow(r);
        ReplaceStatusRow(r, "StrRes_StatusSettingFlashMode");
        PumpEvents();

        Lib_SetUSBDeviceFilePath(1, idle.DevicePath[i]);
        const std::uint32_t stepStart = TheClock().tickCount();
        SetFlashBGWorker.RunWorkerAsync();
        PumpUntilIdle(SetFlashBGWorker);
        rows_[r].flashModeMs = MsSince(stepStart);

        if (Lib_IsConnectionValid() != 0) {
            ReplaceStatusRow(r, "StrRes_StatusFlashModeFail");
            gFDUPrinterInfo.UpdateState[r] = kStateFailed;
        } else {
            ReplaceStatusRow(r, "StrRes_StatusInFlashMode");
            gFDUPrinterInfo.UpdateState[r] = kStateFlashMode;
        }
        PumpEvents();
        HighlightUpdateRow(-1);
    }
}

int Form1::App_FlashFirmware()
{
    int sentCount = 0;
    try {
        const int rows = FDUPrinterListBox->count();
        for (int r = 0; r < rows && r < kMaxPrinters; ++r) {
            ShowStep(*this, "[2/3]");

            HighlightUpdateRow(r);
            PumpEvents();
            char16_t serial[kTextUnits];
            UI_CopyManagedStringToWcharArray(FDUPrinterListBox->item(r)->text(), serial);

            const int k = gFDUPrinterInfo.UpdateState[r] == kStateFlashMode
                ? FindFlashEntry(serial, flashEntryOfRow_, r)
                : -1;
            flashEntryOfRow_[r] = k;
            if (k >= 0) {
                gFDUPrinterInfo.UpdateState[r] = kStateSendingFirmware;
                ReplaceStatusRow(r, "StrRes_StatusSendingFhx");
                PumpEvents();
                Lib_SetUSBDeviceFilePath(1, gFDUPrinterInfo.FlashModeInfo.DevicePath[k]);
                gFhxSendStatus = 0;
                transferRow_ = r;
                transferAccepted_ = transferTotal_ = 0;
                transferTime_.start();
                const std::uint32_t stepStart = TheClock().tickCount();
                SendFhxBGWorker.RunWorkerAsync(k);
                PumpUntilIdle(SendFhxBGWorker);
                transferRow_ = -1;
                rows_[r].sendMs = MsSince(stepStart);
                rows_[r].bytesSent = transferAccepted_;
                rows_[r].imageBytes = transferTotal_;
                if (gFhxSendStatus == 1) {
                    gFDUPrinterInfo.UpdateState[r] = kStateStoring;
                    ReplaceStatusRow(r, "StrRes_StatusStoringAndUpdating");
                    ++sentCount;
                } else {
                    gFDUPrinterInfo.UpdateState[r] = kStateFailed;
                    ReplaceStatusRow(r, "StrRes_StatusFlashingTimeout");
                    // The fill stays as a record of how far the image got, marked as failed.
                    SetStatusFill(r, StatusFill::TransferFailed, transferAccepted_, transferTotal_,
                        TransferToolTip(
                            transferAccepted_, transferTotal_, transferTime_.elapsed()));
                }
                PumpEvents();
            } else {
                gFDUPrinterInfo.UpdateState[r] = kStateFailed;
                ReplaceStatusRow(r, "StrRes_StatusPrinterNotConnected");
                PumpEvents();
            }

            HighlightUpdateRow(-1);
            PumpEvents();
            TheClock().sleep(kPauseAfterTransferMs);
        }
    } catch (const std::exception &error) {
        App_ShowUIMessage_Handler(1, QString::fromUtf8(error.what()), 0, 0);
        PrinterStatusButton->setEnabled(false);
        return 0;
    }
    return sentCount;
}

int Form1::App_WaitForFlashUpdate()
{
    int updatedCount = 0;
    try {
        const int rows = FDUPrinterListBox->count();
        for (int r = 0; r < rows && r < kMaxPrinters; ++r) {
            ShowStep(*this, "[3/3]");

            HighlightUpdateRow(r);
            PumpEvents();

            // The printer is awaited where step 2 sent its image.
            const int k
                = gFDUPrinterInfo.UpdateState[r] == kStateStoring ? flashEntryOfRow_[r] : -1;
            if (k >= 0) {
                Lib_SetUSBDeviceFilePath(1, gFDUPrinterInfo.FlashModeInfo.DevicePath[k]);
                // The time waited, from the clock the worker sleeps on, shown while it waits.
                const std::uint32_t waitStart = TheClock().tickCount();
                const auto showWaited = [this, r, waitStart] {
                    const quint64 waited = std::min<quint64>(
                        static_cast<std::uint32_t>(TheClock().tickCount() - waitStart),
                        kLongestStoreWaitMs);
                    SetStatusFill(r, StatusFill::Wait, waited, kLongestStoreWaitMs,
                        WaitToolTip(waited, kLongestStoreWaitMs));
                };
                showWaited();
                QTimer waitTicker;
                waitTicker.setInterval(100);
                connect(&waitTicker, &QTimer::timeout, this, showWaited);
                waitTicker.start();
                FlashBGWorker.RunWorkerAsync();
                PumpUntilIdle(FlashBGWorker);
                waitTicker.stop();
                showWaited();
                // Completed or timed out, the printer may come back after the run.
                rows_[r].storeMs = MsSince(waitStart);
                rows_[r].endedAt = TheClock().tickCount();
                rows_[r].watched = true;
                if (gFlashUpdateStatus != 0) {
                    ReplaceStatusRow(r, "StrRes_StatusUpdateCompleted");
                    SetStatusFill(r, StatusFill::None, 0, 0);
                    gFDUPrinterInfo.UpdateState[r] = kStateCompleted;
                    ++updatedCount;
                } else {
                    ReplaceStatusRow(r, "StrRes_StatusUpdateTimeout");
                }
                PumpEvents();
            } else {
                gFDUPrinterInfo.UpdateState[r] = kStateFailed;
                ReplaceStatusRow(r, "StrRes_StatusPrinterNotFound");
                PumpEvents();
            }

            HighlightUpdateRow(-1);
            PumpEvents();
        }
    } catch (const std::exception &error) {
        App_ShowUIMessage_Handler(1, QString::fromUtf8(error.what()), 0, 0);
        PrinterStatusButton->setEnabled(false);
        return 0;
    }
    return updatedCount;
}

void Form1::App_ReportTransferProgress(quint64 param_Accepted, quint64 param_Total)
{
    // Called on the step-2 worker: only the numbers travel, through the window's event queue,
    // which keeps them in order and ahead of the worker's completion notice.
    QMetaObject::invokeMethod(
        this,
        [this, param_Accepted, param_Total] {
            if (transferRow_ < 0 || param_Accepted < transferAccepted_)
                return;
            transferAccepted_ = param_Accepted;
            transferTotal_ = param_Total;
            SetStatusFill(transferRow_, StatusFill::Transfer, param_Accepted, param_Total,
                TransferToolTip(param_Accepted, param_Total, transferTime_.elapsed()));
        },
        Qt::QueuedConnection);
}

void Form1::App_BGWorker_SetPrinterInFlashMode()
{
    if (Lib_SendFlashCommand() == 0)
        return;
    WaitWhileConnected(kLeaveBusLimitSeconds);
}

void Form1::App_BGWorker_SendFlashFile(int param_Index)
{
    if (param_Index < 0 || param_Index >= kMaxPrinters) {
        gFhxSendStatus = 0;
        return;
    }
    gFhxSendStatus = App_CopyFirmwareRCDATAResourceToPrinter(
                         gFDUPrinterInfo.FlashModeInfo.DevicePath[param_Index])
            != 0
        ? 1
        : 0;
}

void Form1::App_BGWorker_WaitForFlashUpdateDone()
{
    gFlashUpdateStatus = 0;
    WaitWhileConnected(kStoreLimitSeconds);
    gFlashUpdateStatus = Lib_IsConnectionValid() == 0 ? 1 : 0;
}
