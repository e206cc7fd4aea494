// The main window: a frameless window with its own caption bar, the printer checklist on the
// left, the instructions with START or the progress view on the right, and a footer.
//
// Element members carry the names operators' support staff know them by (and the same
// objectName). The window's work routines are methods; they are implemented where their subject
// lives: ui/ for the window itself, languages and messages; workflow/ for the printer list, the
// update run, the transfer, the watch after the run and start-up.
#pragma once

#include "printer_link/device_contract.h"
#include "printer_link/platform.h"
#include "ui/background_worker.h"
#include "ui/build_texts.h"
#include "ui/image_list.h"
#include "ui/message_dialog.h"
#include "ui/status_row.h"
#include "ui/string_table.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QPoint>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

class QGridLayout;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QTabWidget;
class QTimer;

namespace vornik {
class FirmwareImageSource;
}

// The window system's device-change message and its "device nodes changed" parameter, under
// names of their own: windows.h defines the Windows names as macros.
inline constexpr quint32 kWmDeviceChange = 0x0219;
inline constexpr quintptr kDbtDevNodesChanged = 0x0007;

class Form1 : public QWidget {
    Q_OBJECT

public:
    // `texts` default to the build's own; tests pass others. `image` is the firmware image the
    // transfer sends (nullptr: none, every transfer reports it missing).
    explicit Form1(const BuildTexts &texts = BuildTexts::fromBuild(),
        vornik::FirmwareImageSource *image = nullptr, QWidget *parent = nullptr);
    ~Form1() override;

    // --- Elements -----------------------------------------------------------------------
    QWidget *MainTableLayoutPanel = nullptr;
    QWidget *CaptionTableLayoutPanel = nullptr;
    QLabel *MfgIconPicBox = nullptr;
    QLabel *FDUProductNameLabel = nullptr;
    QPushButton *LangButton = nullptr;
    QPushButton *MinimizeButton = nullptr;
    QPushButton *CloseButton = nullptr;
    QWidget *MenuTabLayoutPanel = nullptr;
    QTabWidget *PrinterSelectTabControl = nullptr;
    QWidget *SelectionTabPage = nullptr;
    QWidget *panel2 = nullptr;
    QLabel *SupportedPrinterLabel = nullptr;
    QListWidget *SupportedPrinterCheckedListBox = nullptr;
    QLabel *WarningPicBox = nullptr;
    QLabel *ConnectionWarningLabel = nullptr;
    QTabWidget *MainTabControl = nullptr;
    QWidget *StartTabPage = nullptr;
    QLabel *InstructionCaptionLabel = nullptr;
    QLabel *InstructionsLabel = nullptr;
    QPushButton *StartButton = nullptr;
    QWidget *ProgressTabPage = nullptr;
    QWidget *Progress_TabLayoutPanel = nullptr;
    QLabel *PrinterSerialNumLabel = nullptr;
    QLabel *FDUStatusLabel = nullptr;
    QListWidget *FDUPrinterListBox = nullptr;
    QListWidget *FDUStatusListBox = nullptr;
    QWidget *Progress_UpdateTabLayoutPanel = nullptr;
    QLabel *Progress_UpdateStepsLabel = nullptr;
    // Beside the step: what the run's hold could not keep away, shown only during a run that
    // lacks some of it.
    QLabel *RunHoldWarningLabel = nullptr;
    QPushButton *PrinterStatusButton = nullptr;
    QPushButton *AppCloseButton = nullptr;
    QLabel *CopyrightLabel = nullptr;
    ImageList LangImageList;
    ImageList IconImageList;
    QTimer *ProgressTimer = nullptr;

    BackgroundWorker SetFlashBGWorker;
    BackgroundWorker SendFhxBGWorker;
    BackgroundWorker FlashBGWorker;
    BackgroundWorker RevisionBGWorker;

    // --- State --------------------------------------------------------------------------
    int gLanguageImageListIndex = 0;
    std::vector<std::unique_ptr<StringTable>> gLangResourceManager;
    QString gFhxBuildNumStr;
    int gUSBPnPDetected = 0;
    int g_BlockUsbEnumeration = 0;
    bool gFormMoveActivated = false;
    QPoint gFormLocation;
    QPoint gMouseStartLocation;

    const BuildTexts &buildTexts() const { return texts_; }

    // --- Window (ui/form1.cpp) ----------------------------------------------------------
    void InitializeComponent();
    void APP_AppCloseButton_Handler(const QString &param_Action);
    void App_FormMouseDown_Handler(const QPoint &param_PointerInLabel);
    void App_FormMouseMove_Handler(const QPoint &param_PointerInLabel);
    void App_FormMouseUp_Handler();
    // The busy pointer of the whole window.
    void SetWaitCursor(bool param_On);
    // Highlight row r of both update lists, or none (-1).
    void HighlightUpdateRow(int param_Row);
    // Replace the text of row r of FDUStatusListBox with the status text of `key` in the current
    // language, repainting held back around it; the row keeps the key (kStatusKeyRole). The
    // row's fill and its tooltip stay.
    void ReplaceStatusRow(int param_Row, const char *param_Key);
    // The fill drawn behind the text of row r of FDUStatusListBox: `done` of `total` (bytes
    // delivered, or milliseconds waited against the limit), with `toolTip` on the row.
    void SetStatusFill(int param_Row, StatusFill param_Kind, quint64 param_Done,
        quint64 param_Total, const QString &param_ToolTip = QString());
    // What row r of FDUStatusListBox says to assistive technology besides its text: its fill in
    // tenths and its return mark's words (Qt::AccessibleDescriptionRole); a change is sent on.
    void DescribeStatusRow(int param_Row);

    // --- Languages and branding (ui/languages.cpp) --------------------------------------
    void App_SelectDefaultLanguage();
    void App_LoadProductLogo();
    void App_ChangeLanguage(int param_LangIndex);
    void App_LangButton_Handler();
    // Opens the four string tables into gLangResourceManager.
    void App_OpenStringTables();
    // The text of `key` in the current language. Throws std::runtime_error when the tables are
    // not open or the key is missing.
    QString StrRes(const char *key) const;

    // --- Messages (ui/operator_messages.cpp) ---------------------------------------------
    // Safe to call from a worker thread: the dialog is shown on the user-interface thread and
    // the call returns once the operator has dismissed it.
    void App_ShowUIMessage_Handler(int param_MsgType, const QString &param_MessageStr,
        int param_TotalPrinters, int param_UpdatedPrinters);
    void App_ShowUIProgressForm_Handler(
        UI_Message *param_FormHandle, const QString &param_MessageStr);
    void App_UpdateUIProgress(UI_Message *param_FormHandle, const QString &param_MessageStr);
    // How a built message dialog is shown. Default: modal exec(). Tests replace it to look at
    // the dialog and dismiss it.
    std::function<void(UI_Message &)> dialogRunner;

    // --- Printer list and hot-plug (workflow/printer_list.cpp) --------------------------
    void WndProc(quint32 message, quintptr wParam);
    void App_USBEvent_Handler();
    void App_EnumerateSupportedPrintersInIdleMode();
    void App_EnumerateSupportedPrintersInFlashMode();
    void App_ClearPrinterInfo(const QString &param_PrinterMode);
    // Tells the operator, once per process, how many USB printers the last listing found that
    // this account may not open, and what to do about it. Nothing when there were none.
    void App_ShowPrinterAccessNotice();
    // The same, once per process, for USB printers another program has taken from the printer
    // driver (a print system), naming the program where the machine says which.
    void App_ShowPrintersTakenNotice();

    // --- Update run (workflow/update_run.cpp) -------------------------------------------
    void App_StartButton_Handler();
    void App_SetPrintersInFlashMode();
    int App_FlashFirmware();
    int App_WaitForFlashUpdate();
    void App_BGWorker_SetPrinterInFlashMode();
    void App_BGWorker_SendFlashFile(int param_Index);
    void App_BGWorker_WaitForFlashUpdateDone();
    // From the step-2 worker: the printer has accepted `accepted` of `total` bytes. Handed to
    // the user-interface thread through its event queue, in order, ahead of the worker's
    // completion notice.
    void App_ReportTransferProgress(quint64 param_Accepted, quint64 param_Total);
    // Shows in RunHoldWarningLabel, in the current language, what of sleep, shutdown and log-off
    // `param_Parts` leave unheld, with the whole line in its tooltip; hides it when nothing is.
    void App_ShowRunHoldWarning(const std::vector<vornik::HoldPart> &param_Parts);
    // Process every pending event and return.
    void PumpEvents();
    // Process events until `worker` is no longer busy, sleeping while nothing happens.
    void PumpUntilIdle(const BackgroundWorker &worker);

    // --- After the run (workflow/return_watch.cpp) --------------------------------------
    // Looks for the printers of completed and timed-out rows coming back in normal mode and
    // reads their firmware revision. Runs on device-change notices once the summary is closed.
    void App_WatchForReturn_Handler();
    // Marks rows whose printer is not back within the bound; asks again those that came back
    // without giving a revision. Runs on the window's timer; tests call it after moving the
    // clock.
    void App_CheckReturns();
    void App_BGWorker_ReadFirmwareRevision();
    // Whether a device-change notice may be handled now; one that may not is remembered while
    // returns are watched, so that a printer that came back meanwhile is still looked for.
    bool App_AcceptDeviceNotice();
    // The plain-text account of the run; on the clipboard with Ctrl+C on the progress page or
    // the context menu.
    QString App_RunReport() const;
    void App_CopyRunReport();
    QTimer *ReturnTimer = nullptr;

    // --- Start-up (workflow/startup.cpp) ------------------------------------------------
    void Form1_Load();
    void App_Form1Load_Handler();
    int App_IsCorrectFlashFile(QString &param_FWBuildStr);
    // True once the load sequence has closed the window (identity check failed).
    bool closedDuringLoad() const { return closedDuringLoad_; }
    // How many drags were handed to the compositor (Wayland).
    int systemMovesRequested() const { return systemMovesRequested_; }

    // --- Firmware transfer (workflow/transfer_form1.cpp) --------------------------------
    int App_CopyFirmwareRCDATAResourceToPrinter(const char16_t *param_pUsbPathStrW);

    // --- Event stubs --------------------------------------------------------------------
    void StartButton_Click();
    void LangButton_Click();
    void MinimizeButton_Click();
    void CloseButton_Click();
    void AppCloseButton_Click();
    void PrinterStatusButton_Click();

public:
    void setVisible(bool visible) override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    // While a run is under way nothing closes the window, not even the window manager.
    void closeEvent(QCloseEvent *event) override;
#ifdef Q_OS_WIN
    bool nativeEvent(const QByteArray &eventType, void *message, qintptr *result) override;
#endif

private:
    // Ticks or unticks a printer entry: the one path of a click, Space and assistive
    // technology's "Toggle", refused while the list is disabled or a run is under way.
    void TickLine(QListWidgetItem *param_Line);

    BuildTexts texts_;
    vornik::FirmwareImageSource *image_ = nullptr;
    bool loaded_ = false;
    bool closedDuringLoad_ = false;
    bool runInProgress_ = false;
    // Printers the last idle-mode listing could not open for lack of permission, and whether
    // the operator has been told of such printers yet.
    int printersWithoutAccess_ = 0;
    bool printerAccessNoticeShown_ = false;
    int printersTaken_ = 0;
    bool printersTakenNoticeShown_ = false;
    int systemMovesRequested_ = 0;
    // The download-mode entry each update row was sent to, so that no entry serves two rows.
    static_assert(vornik::contract::kMaxPrinters == 6, "one -1 below for each printer");
    int flashEntryOfRow_[vornik::contract::kMaxPrinters] = { -1, -1, -1, -1, -1, -1 };
    // The row whose image is being sent, and the transfer's last report and real time.
    int transferRow_ = -1;
    quint64 transferAccepted_ = 0;
    quint64 transferTotal_ = 0;
    QElapsedTimer transferTime_;

    // What the run report and the watch after the run know of each row. Durations are taken
    // on the printer layer's clock, the one its waits run on.
    struct RowRecord {
        quint64 bytesSent = 0;
        quint64 imageBytes = 0;
        // How long each step worked on this row; -1: the step did not work on it.
        qint64 flashModeMs = -1;
        qint64 sendMs = -1;
        qint64 storeMs = -1;
        bool watched = false; // ended completed or timed out: its return is looked for
        // The key of why a watched row is not judged by a printer's answer (its serial number
        // is empty or another row's too, so no printer on the bus is surely its own), or null.
        const char *notJudgedWhy = nullptr;
        std::uint32_t endedAt = 0; // tick when its last wait ended
        ReturnMark mark = ReturnMark::None;
        bool back = false;
        std::uint32_t backAfterMs = 0;
        bool revisionKnown = false;
        QString revision;
        int statusOnReturn = -1;
        std::uint32_t lastAskedAt = 0;
        QString toolTipBefore; // the row's tooltip when the run ended
    };
    RowRecord rows_[vornik::contract::kMaxPrinters];
    QDateTime runStarted_;
    QDateTime runEnded_;
    // What the last run's hold asked for, granted or not.
    std::vector<vornik::HoldPart> runHoldParts_;
    QString buildNumber_;
    bool watchingReturns_ = false;
    bool returnRoundRunning_ = false;
    bool returnNoticeMissed_ = false;
    std::uint32_t lastLookAt_ = 0; // tick of the last look for returned printers
    // Filled by the revision worker, read after it is done.
    int revisionStatus_ = -1;
    int revisionRead_ = 0;
    char16_t revisionText_[256] = {};

    void App_BeginReturnWatch();
    void App_FindReturnedPrinters();
    void SetReturnMark(int param_Row);
    // The tooltip text of a watched row in the language `param_Text` looks keys up in, and the
    // mark it stands for.
    QString ReturnText(int param_Row, const std::function<QString(const char *)> &param_Text,
        ReturnMark *param_Mark = nullptr) const;
    void InstallReportCopy();
};

// Writes the UTF-16 units of `param_ManagedStr` and a terminating zero into the 256-unit array
// `param_WcharArray`, cutting a longer text at 255 units.
void UI_CopyManagedStringToWcharArray(const QString &param_ManagedStr, char16_t *param_WcharArray);

// Holds back a widget's repainting around a batch of changes and lets it go again on every
// path, a failed text lookup included: a list left with repainting off never shows a change
// again.
class RepaintsHeldBack {
public:
    explicit RepaintsHeldBack(QWidget *widget)
        : widget_(widget)
    {
        widget_->setUpdatesEnabled(false);
    }
    ~RepaintsHeldBack() { release(); }
    RepaintsHeldBack(const RepaintsHeldBack &) = delete;
    RepaintsHeldBack &operator=(const RepaintsHeldBack &) = delete;

    void release()
    {
        if (widget_)
            widget_->setUpdatesEnabled(true);
        widget_ = nullptr;
    }

private:
    QWidget *widget_;
};
