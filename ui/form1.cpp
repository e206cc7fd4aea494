// The main window itself: its elements and look, its workers, and the handlers that belong to
// the window rather than to a workflow (drag by the caption, minimise, close).
//
// The layout follows a design made for 144 dpi; every size here is that design's size in
// device-independent pixels (two thirds), so Qt's own scaling brings it back on a 144-dpi screen.
#include "ui/form1.h"

#include "ui/accessibility.h"
#include "ui/item_delegates.h"
#include "ui/pictures.h"
#include "ui/tool_style.h"

#include <QApplication>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTabBar>
#include <QTabWidget>
#include <QThreadPool>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include <iterator>

#ifdef Q_OS_WIN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <dbt.h>

static_assert(kWmDeviceChange == WM_DEVICECHANGE && kDbtDevNodesChanged == DBT_DEVNODES_CHANGED);
#endif

namespace {

// Named colours of the design.
const QColor kSteelBlue(70, 130, 180);
const QColor kLightGray(211, 211, 211);
const QColor kDimGray(105, 105, 105);
const QColor kOrchid(218, 112, 214);
const QColor kMediumTurquoise(72, 209, 204);
const QColor kHoverGrey(206, 200, 203);
const QColor kCaptionButtonHover(186, 200, 203);
const QColor kFirebrick(178, 34, 34);

QLabel *headerLabel(const char *name, QWidget *parent = nullptr)
{
    auto *label = tool_style::named<QLabel>(name, parent);
    tool_style::fillBackground(label, tool_style::kHeaderBlue);
    tool_style::setTextColour(label, Qt::white);
    label->setFont(tool_style::uiFont(10, true, true));
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    label->setIndent(6);
    return label;
}

QListWidget *updateList(const char *name)
{
    auto *list = tool_style::named<QListWidget>(name);
    list->setFont(tool_style::uiFont(11));
    list->setItemDelegate(new FixedLineHeightDelegate(20, list));
    list->setUniformItemSizes(true);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    tool_style::setListColours(list, Qt::white, Qt::black);
    return list;
}

// A tab control whose page headers never show: only the program switches pages.
QTabWidget *pageContainer(const char *name)
{
    auto *tabs = tool_style::named<QTabWidget>(name);
    tabs->setDocumentMode(true);
    tabs->tabBar()->hide();
    // Only the program switches pages; a container the keyboard could enter would hold the
    // focus on a hidden header and stop Tab there.
    tabs->setFocusPolicy(Qt::NoFocus);
    tabs->tabBar()->setFocusPolicy(Qt::NoFocus);
    tabs->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    accessibility::HidePageHeaders(tabs);
    return tabs;
}

QVBoxLayout *column(QWidget *parent, int margin = 0)
{
    auto *layout = new QVBoxLayout(parent);
    layout->setContentsMargins(margin, margin, margin, margin);
    layout->setSpacing(0);
    return layout;
}

void fixHeight(QWidget *widget, int height)
{
    widget->setFixedHeight(height);
    widget->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
}

// "40 %" of the image accepted, "1:16 / 3:10" waited against the limit: in tenths, so that a
// listener hears a step every tenth rather than every block; numbers only, as in the tooltip.
QString ProgressWords(const StatusFillValue &fill)
{
    if (fill.kind == StatusFill::None || fill.total == 0)
        return {};
    const quint64 tenths = fill.done >= fill.total ? 10 : fill.done * 10 / fill.total;
    if (fill.kind != StatusFill::Wait)
        return QStringLiteral("%1 %").arg(tenths * 10);
    const auto clock = [](quint64 ms) {
        const quint64 seconds = ms / 1000;
        return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
    };
    return clock(fill.total * tenths / 10) + QStringLiteral(" / ") + clock(fill.total);
}

} // namespace

Form1::Form1(const BuildTexts &texts, vornik::FirmwareImageSource *image, QWidget *parent)
    : QWidget(parent)
    , texts_(texts)
    , image_(image)
{
    InitializeComponent();

    SetFlashBGWorker.setObjectName(QStringLiteral("SetFlashBGWorker"));
    SendFhxBGWorker.setObjectName(QStringLiteral("SendFhxBGWorker"));
    FlashBGWorker.setObjectName(QStringLiteral("FlashBGWorker"));
    SetFlashBGWorker.setBody([this](int) { App_BGWorker_SetPrinterInFlashMode(); });
    SendFhxBGWorker.setBody([this](int argument) { App_BGWorker_SendFlashFile(argument); });
    FlashBGWorker.setBody([this](int) { App_BGWorker_WaitForFlashUpdateDone(); });
    RevisionBGWorker.setObjectName(QStringLiteral("RevisionBGWorker"));
    RevisionBGWorker.setBody([this](int) { App_BGWorker_ReadFirmwareRevision(); });
    InstallReportCopy();

    connect(StartButton, &QPushButton::clicked, this, &Form1::StartButton_Click);
    connect(LangButton, &QPushButton::clicked, this, &Form1::LangButton_Click);
    connect(MinimizeButton, &QPushButton::clicked, this, &Form1::MinimizeButton_Click);
    connect(CloseButton, &QPushButton::clicked, this, &Form1::CloseButton_Click);
    connect(AppCloseButton, &QPushButton::clicked, this, &Form1::AppCloseButton_Click);
    connect(PrinterStatusButton, &QPushButton::clicked, this, &Form1::PrinterStatusButton_Click);

    FDUProductNameLabel->installEventFilter(this);
    SupportedPrinterCheckedListBox->installEventFilter(this);
    SupportedPrinterCheckedListBox->viewport()->installEventFilter(this);

    // The keyboard follows the work: the printers, START; on the progress page the two lists
    // to read and CLOSE; only then the caption's buttons, so that a few presses of Tab and
    // Space can never land on the button that ends the tool. Hidden and disabled elements drop
    // out of the chain by themselves.
    QWidget *const chain[] = { SupportedPrinterCheckedListBox, StartButton, FDUPrinterListBox,
        FDUStatusListBox, AppCloseButton, LangButton, MinimizeButton, CloseButton };
    for (std::size_t i = 1; i < std::size(chain); ++i)
        setTabOrder(chain[i - 1], chain[i]);
    PrinterStatusButton->setFocusPolicy(Qt::NoFocus); // does nothing when pressed
    for (QPushButton *button :
        { StartButton, AppCloseButton, LangButton, MinimizeButton, CloseButton })
        button->installEventFilter(this);
    SupportedPrinterCheckedListBox->setFocus();
    new tool_style::FocusMark(this);

    // The window has no frame of its own for the desktop to take Alt+F4 from everywhere; it
    // closes like CloseButton, which closeEvent refuses while a run is under way.
    auto *altF4 = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_F4), this);
    connect(altF4, &QShortcut::activated, this, &QWidget::close);
}

Form1::~Form1()
{
    // No new look for returned printers may start a worker while the others are waited for.
    watchingReturns_ = false;
    if (ReturnTimer)
        ReturnTimer->stop();
    // A worker may be blocked handing a message to this thread; keep serving it until every
    // worker has finished, so that none outlives the window it calls back into.
    while (!QThreadPool::globalInstance()->waitForDone(20))
        QCoreApplication::processEvents();
}

void Form1::InitializeComponent()
{
    accessibility::Install();
    setObjectName(QStringLiteral("Form1"));
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setFixedSize(907, 416);
    setFont(tool_style::uiFont(12));
    tool_style::fillBackground(this, tool_style::kFrameBlue);
    setWindowIcon(pictures::programIcon());

    LangImageList.setImageSize({ 78, 48 });
    LangImageList.add(QStringLiteral("EN.PNG"), pictures::flagUnitedStates());
    LangImageList.add(QStringLiteral("DE.png"), pictures::flagGermany());
    LangImageList.add(QStringLiteral("ES.png"), pictures::flagSpain());
    LangImageList.add(QStringLiteral("FR.png"), pictures::flagFrance());
    IconImageList.setImageSize({ 45, 45 });
    IconImageList.add(QStringLiteral("ZELTAN"), pictures::logoZeltan());
    IconImageList.add(QStringLiteral("MORVAL"), pictures::logoMorval());
    IconImageList.add(QStringLiteral("Quadrix"), pictures::logoQuadrix());
    IconImageList.add(QStringLiteral("JOX"), pictures::logoJox());

    ProgressTimer = tool_style::named<QTimer>("ProgressTimer");
    ProgressTimer->setParent(this);

    // --- Frame and the three rows ---------------------------------------------------------
    column(this, 4);
    MainTableLayoutPanel = tool_style::named<QWidget>("MainTableLayoutPanel", this);
    layout()->addWidget(MainTableLayoutPanel);
    tool_style::fillBackground(MainTableLayoutPanel, tool_style::kPanelGrey);
    auto *mainGrid = new QGridLayout(MainTableLayoutPanel);
    mainGrid->setContentsMargins(0, 0, 0, 0);
    mainGrid->setSpacing(0);
    mainGrid->setRowStretch(0, 783);
    mainGrid->setRowStretch(1, 9217);
    mainGrid->setRowStretch(2, 0);

    // --- Row 0: caption bar ---------------------------------------------------------------
    CaptionTableLayoutPanel = tool_style::named<QWidget>("CaptionTableLayoutPanel");
    CaptionTableLayoutPanel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    auto *caption = new QGridLayout(CaptionTableLayoutPanel);
    caption->setContentsMargins(0, 0, 0, 0);
    caption->setSpacing(0);
    const int captionColumns[] = { 30, 0, 45, 5, 35, 33 };
    for (int i = 0; i < 6; ++i)
        caption->setColumnMinimumWidth(i, captionColumns[i]);
    caption->setColumnStretch(1, 1);

    MfgIconPicBox = tool_style::named<tool_style::PictureBox>("MfgIconPicBox");
    MfgIconPicBox->setFixedSize(30, 30);
    tool_style::fillBackground(MfgIconPicBox, tool_style::kPanelGrey);
    caption->addWidget(MfgIconPicBox, 0, 0, Qt::AlignCenter);

    FDUProductNameLabel = tool_style::named<QLabel>("FDUProductNameLabel");
    tool_style::fillBackground(FDUProductNameLabel, tool_style::kPanelGrey);
    FDUProductNameLabel->setFont(tool_style::uiSemiboldFont(11, true));
    tool_style::setTextColour(FDUProductNameLabel, Qt::black);
    FDUProductNameLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    FDUProductNameLabel->setIndent(4);
    FDUProductNameLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    caption->addWidget(FDUProductNameLabel, 0, 1);

    LangButton = tool_style::named<QPushButton>("LangButton");
    tool_style::styleFlatButton(
        LangButton, tool_style::kPanelGrey, kHoverGrey, tool_style::kPanelGrey);
    LangButton->setFixedSize(45, 30);
    LangButton->setIconSize({ 42, 26 });
    caption->addWidget(LangButton, 0, 2);

    MinimizeButton = tool_style::named<QPushButton>("MinimizeButton");
    tool_style::styleFlatButton(
        MinimizeButton, tool_style::kPanelGrey, kCaptionButtonHover, tool_style::kPanelGrey);
    MinimizeButton->setFixedSize(31, 30);
    MinimizeButton->setIcon(QIcon(pictures::minimizeGlyph()));
    MinimizeButton->setIconSize({ 30, 30 });
    caption->addWidget(MinimizeButton, 0, 4, Qt::AlignCenter);

    CloseButton = tool_style::named<QPushButton>("CloseButton");
    tool_style::styleFlatButton(
        CloseButton, tool_style::kPanelGrey, kCaptionButtonHover, tool_style::kPanelGrey);
    CloseButton->setFixedSize(31, 30);
    CloseButton->setIcon(QIcon(pictures::closeGlyph()));
    CloseButton->setIconSize({ 30, 30 });
    caption->addWidget(CloseButton, 0, 5, Qt::AlignCenter);

    mainGrid->addWidget(CaptionTableLayoutPanel, 0, 0);

    // --- Row 1: printer list (left) and instructions or progress (right) ------------------
    MenuTabLayoutPanel = tool_style::named<QWidget>("MenuTabLayoutPanel");
    MenuTabLayoutPanel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    auto *menu = new QGridLayout(MenuTabLayoutPanel);
    menu->setContentsMargins(0, 0, 0, 0);
    menu->setSpacing(0);
    menu->setColumnStretch(0, 3795);
    menu->setColumnStretch(1, 6205);

    PrinterSelectTabControl = pageContainer("PrinterSelectTabControl");
    SelectionTabPage = tool_style::named<QWidget>("SelectionTabPage");
    tool_style::fillBackground(SelectionTabPage, kSteelBlue);
    column(SelectionTabPage, 2);
    panel2 = tool_style::named<QWidget>("panel2");
    tool_style::fillBackground(panel2, kLightGray);
    SelectionTabPage->layout()->addWidget(panel2);
    auto *selection = column(panel2);

    SupportedPrinterLabel = headerLabel("SupportedPrinterLabel");
    fixHeight(SupportedPrinterLabel, 26);
    selection->addWidget(SupportedPrinterLabel);

    SupportedPrinterCheckedListBox
        = tool_style::named<QListWidget>("SupportedPrinterCheckedListBox");
    fixHeight(SupportedPrinterCheckedListBox, 213);
    SupportedPrinterCheckedListBox->setFrameShape(QFrame::NoFrame);
    SupportedPrinterCheckedListBox->setFont(tool_style::uiFont(11));
    SupportedPrinterCheckedListBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    SupportedPrinterCheckedListBox->setItemDelegate(
        new WhiteTickBoxDelegate(SupportedPrinterCheckedListBox));
    tool_style::setListColours(SupportedPrinterCheckedListBox, kLightGray, Qt::black);
    // Assistive technology ticks a line the way a click and Space do.
    accessibility::TickThrough(
        SupportedPrinterCheckedListBox, [this](QListWidgetItem *line) { TickLine(line); });
    // Whoever fills the list adds plain lines; each line gets its tick box here.
    connect(SupportedPrinterCheckedListBox->model(), &QAbstractItemModel::rowsInserted, this,
        [this](const QModelIndex &, int first, int last) {
            for (int row = first; row <= last; ++row) {
                QListWidgetItem *line = SupportedPrinterCheckedListBox->item(row);
                if (!line)
                    continue;
                line->setFlags(line->flags() | Qt::ItemIsUserCheckable);
                if (!line->data(Qt::CheckStateRole).isValid())
                    line->setCheckState(Qt::Unchecked);
            }
            // A list rebuilt under the keyboard's focus still shows which line Space ticks.
            if (SupportedPrinterCheckedListBox->hasFocus()
                && !SupportedPrinterCheckedListBox->currentItem())
                SupportedPrinterCheckedListBox->setCurrentRow(first);
        });
    selection->addWidget(SupportedPrinterCheckedListBox);
    selection->addStretch(1);

    WarningPicBox = tool_style::named<tool_style::PictureBox>("WarningPicBox");
    fixHeight(WarningPicBox, 23);
    tool_style::fillBackground(WarningPicBox, kDimGray);
    WarningPicBox->setPixmap(pictures::warningTriangle());
    selection->addWidget(WarningPicBox);

    auto *warning = tool_style::named<tool_style::ElidedLabel>("ConnectionWarningLabel");
    ConnectionWarningLabel = warning;
    fixHeight(ConnectionWarningLabel, 63);
    ConnectionWarningLabel->setStyleSheet(
        QStringLiteral("QLabel { background-color: rgb(255, 250, 250); color: rgb(255, 0, 0);"
                       " border: 1px solid rgb(100, 100, 100); }"));
    ConnectionWarningLabel->setFont(tool_style::uiSemiboldFont(10, true));
    ConnectionWarningLabel->setAlignment(Qt::AlignCenter);
    ConnectionWarningLabel->setMargin(2);
    selection->addWidget(ConnectionWarningLabel);

    PrinterSelectTabControl->addTab(SelectionTabPage, QStringLiteral("SelectionTabPage"));
    menu->addWidget(PrinterSelectTabControl, 0, 0);

    MainTabControl = pageContainer("MainTabControl");

    StartTabPage = tool_style::named<QWidget>("StartTabPage");
    tool_style::fillBackground(StartTabPage, Qt::white);
    column(StartTabPage);
    auto *startPanel = tool_style::named<QWidget>("panel1");
    StartTabPage->layout()->addWidget(startPanel);
    auto *start = column(startPanel);

    InstructionCaptionLabel = headerLabel("InstructionCaptionLabel");
    fixHeight(InstructionCaptionLabel, 26);
    start->addWidget(InstructionCaptionLabel);

    auto *instructions = tool_style::named<tool_style::ElidedLabel>("InstructionsLabel");
    InstructionsLabel = instructions;
    instructions->setEliding(false);
    fixHeight(InstructionsLabel, 261);
    tool_style::fillBackground(InstructionsLabel, Qt::white);
    InstructionsLabel->setFont(tool_style::uiFont(11));
    tool_style::setTextColour(InstructionsLabel, Qt::black);
    InstructionsLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    InstructionsLabel->setContentsMargins(6, 0, 6, 0);
    start->addWidget(InstructionsLabel);
    start->addStretch(1);

    StartButton = tool_style::named<QPushButton>("StartButton");
    fixHeight(StartButton, 45);
    tool_style::styleFlatButton(StartButton, tool_style::kHeaderBlue, tool_style::kHeaderBlueHover,
        tool_style::kHeaderBlue);
    StartButton->setFont(tool_style::uiFont(14, true));
    start->addWidget(StartButton);

    ProgressTabPage = tool_style::named<QWidget>("ProgressTabPage");
    tool_style::fillBackground(ProgressTabPage, Qt::white);
    auto *progress = column(ProgressTabPage);

    Progress_TabLayoutPanel = tool_style::named<QWidget>("Progress_TabLayoutPanel");
    fixHeight(Progress_TabLayoutPanel, 265);
    auto *progressGrid = new QGridLayout(Progress_TabLayoutPanel);
    progressGrid->setContentsMargins(0, 0, 0, 0);
    progressGrid->setSpacing(1);
    progressGrid->setRowStretch(0, 1114);
    progressGrid->setRowStretch(1, 8886);
    progressGrid->setColumnStretch(0, 1);
    progressGrid->setColumnStretch(1, 1);
    PrinterSerialNumLabel = headerLabel("PrinterSerialNumLabel");
    FDUStatusLabel = headerLabel("FDUStatusLabel");
    FDUPrinterListBox = updateList("FDUPrinterListBox");
    FDUStatusListBox = updateList("FDUStatusListBox");
    FDUStatusListBox->setItemDelegate(new StatusFillDelegate(20, FDUStatusListBox));
    for (QWidget *cell : std::initializer_list<QWidget *> {
             PrinterSerialNumLabel, FDUStatusLabel, FDUPrinterListBox, FDUStatusListBox })
        cell->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    progressGrid->addWidget(PrinterSerialNumLabel, 0, 0);
    progressGrid->addWidget(FDUStatusLabel, 0, 1);
    progressGrid->addWidget(FDUPrinterListBox, 1, 0);
    progressGrid->addWidget(FDUStatusListBox, 1, 1);
    progress->addWidget(Progress_TabLayoutPanel);
    progress->addStretch(1);

    Progress_UpdateTabLayoutPanel = tool_style::named<QWidget>("Progress_UpdateTabLayoutPanel");
    fixHeight(Progress_UpdateTabLayoutPanel, 37);
    auto *steps = new QGridLayout(Progress_UpdateTabLayoutPanel);
    steps->setContentsMargins(0, 0, 0, 0);
    steps->setSpacing(0);
    steps->setColumnStretch(0, 1858);
    steps->setColumnStretch(1, 6996);
    steps->setColumnStretch(2, 1134);
    auto *stepsLabel = tool_style::named<tool_style::ElidedLabel>("Progress_UpdateStepsLabel");
    Progress_UpdateStepsLabel = stepsLabel;
    Progress_UpdateStepsLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    tool_style::setTextColour(Progress_UpdateStepsLabel, Qt::black);
    Progress_UpdateStepsLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    steps->addWidget(Progress_UpdateStepsLabel, 0, 1);

    // In the cell left of the step, which is otherwise empty: a short line that neither moves
    // the step nor is moved by it.
    auto *holdWarning = tool_style::named<tool_style::ElidedLabel>("RunHoldWarningLabel");
    RunHoldWarningLabel = holdWarning;
    RunHoldWarningLabel->setFont(tool_style::uiSemiboldFont(8));
    RunHoldWarningLabel->setAlignment(Qt::AlignCenter);
    tool_style::setTextColour(RunHoldWarningLabel, kFirebrick);
    RunHoldWarningLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    RunHoldWarningLabel->hide();
    steps->addWidget(RunHoldWarningLabel, 0, 0);

    PrinterStatusButton = tool_style::named<QPushButton>("PrinterStatusButton");
    tool_style::styleFlatButton(
        PrinterStatusButton, kOrchid, Qt::white, kMediumTurquoise, Qt::black);
    PrinterStatusButton->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    PrinterStatusButton->setIconSize({ 40, 33 });
    PrinterStatusButton->setEnabled(false);
    auto *busy = new pictures::BusyAnimation(
        [this](const QPixmap &frame) { PrinterStatusButton->setIcon(QIcon(frame)); },
        PrinterStatusButton);
    busy->setObjectName(QStringLiteral("PrinterStatusAnimation"));
    busy->followEnabled(PrinterStatusButton);
    steps->addWidget(PrinterStatusButton, 0, 2);
    progress->addWidget(Progress_UpdateTabLayoutPanel);

    AppCloseButton = tool_style::named<QPushButton>("AppCloseButton");
    fixHeight(AppCloseButton, 45);
    tool_style::styleFlatButton(AppCloseButton, tool_style::kHeaderBlue,
        tool_style::kHeaderBlueHover, tool_style::kHeaderBlue);
    AppCloseButton->setFont(tool_style::uiFont(14, true));
    AppCloseButton->setEnabled(false);
    progress->addWidget(AppCloseButton);

    MainTabControl->addTab(StartTabPage, QStringLiteral("StartTabPage"));
    MainTabControl->addTab(ProgressTabPage, QStringLiteral("ProgressTabPage"));
    MainTabControl->setCurrentWidget(StartTabPage);
    menu->addWidget(MainTabControl, 0, 1);

    mainGrid->addWidget(MenuTabLayoutPanel, 1, 0);

    // --- Row 2: footer --------------------------------------------------------------------
    CopyrightLabel = tool_style::named<QLabel>("CopyrightLabel");
    CopyrightLabel->setFixedHeight(23);
    CopyrightLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    CopyrightLabel->setFont(tool_style::uiFont(10));
    CopyrightLabel->setAlignment(Qt::AlignCenter);
    tool_style::setTextColour(CopyrightLabel, Qt::black);
    mainGrid->addWidget(CopyrightLabel, 2, 0);
}

void Form1::APP_AppCloseButton_Handler(const QString &param_Action)
{
    if (param_Action == QLatin1String("Close"))
        close();
}

void Form1::App_FormMouseDown_Handler(const QPoint &param_PointerInLabel)
{
    gFormMoveActivated = true;
    gFormLocation = pos();
    gMouseStartLocation = param_PointerInLabel;
    // A Wayland compositor ignores move() of a top-level window; there only the compositor can
    // drag it, and it does so from the press that is being handled now. Where it declines, the
    // drag below goes on as everywhere else.
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland")) && windowHandle()) {
        ++systemMovesRequested_;
        if (windowHandle()->startSystemMove())
            gFormMoveActivated = false;
    }
}

void Form1::App_FormMouseMove_Handler(const QPoint &param_PointerInLabel)
{
    const QPoint offset = param_PointerInLabel - gMouseStartLocation;
    if (!gFormMoveActivated)
        return;
    // The label moves with the window, so the pointer is back at its start position relative
    // to the label after each step and the next offset is again small.
    gFormLocation += offset;
    move(gFormLocation);
    QCoreApplication::processEvents();
}

void Form1::App_FormMouseUp_Handler()
{
    gFormMoveActivated = false;
}

void Form1::SetWaitCursor(bool param_On)
{
    if (param_On)
        setCursor(Qt::WaitCursor);
    else
        unsetCursor();
}

void Form1::HighlightUpdateRow(int param_Row)
{
    for (QListWidget *list : { FDUPrinterListBox, FDUStatusListBox }) {
        if (param_Row >= 0 && param_Row < list->count()) {
            list->setCurrentRow(param_Row);
        } else {
            list->clearSelection();
            list->setCurrentRow(-1);
        }
    }
}

void Form1::ReplaceStatusRow(int param_Row, const char *param_Key)
{
    QListWidget *list = FDUStatusListBox;
    if (param_Row < 0 || param_Row >= list->count())
        return;
    const QString text = StrRes(param_Key);
    const bool highlighted = list->currentRow() == param_Row;
    RepaintsHeldBack held(list);
    std::unique_ptr<QListWidgetItem> old(list->takeItem(param_Row));
    auto *line = new QListWidgetItem(text);
    line->setData(kStatusKeyRole, QString::fromLatin1(param_Key));
    for (const int role : { kStatusFillRole, kReturnMarkRole, kReturnWordsRole,
             int(Qt::ToolTipRole), int(Qt::AccessibleDescriptionRole) })
        line->setData(role, old->data(role));
    list->insertItem(param_Row, line);
    // Keep the row marked while its printer is still being worked on.
    if (highlighted)
        list->setCurrentRow(param_Row);
    accessibility::RowChanged(list, param_Row, QAccessible::NameChanged);
}

void Form1::SetStatusFill(int param_Row, StatusFill param_Kind, quint64 param_Done,
    quint64 param_Total, const QString &param_ToolTip)
{
    QListWidgetItem *line = FDUStatusListBox->item(param_Row);
    if (!line)
        return;
    line->setToolTip(param_ToolTip);
    line->setData(kStatusFillRole,
        QVariant::fromValue(StatusFillValue { param_Kind, param_Done, param_Total }));
    DescribeStatusRow(param_Row);
}

void Form1::DescribeStatusRow(int param_Row)
{
    QListWidgetItem *line = FDUStatusListBox->item(param_Row);
    if (!line)
        return;
    QStringList parts { ProgressWords(line->data(kStatusFillRole).value<StatusFillValue>()),
        line->data(kReturnWordsRole).toString() };
    parts.removeAll(QString());
    const QString description = parts.join(QStringLiteral("; "));
    if (line->data(Qt::AccessibleDescriptionRole).toString() == description)
        return;
    line->setData(Qt::AccessibleDescriptionRole, description);
    accessibility::RowChanged(FDUStatusListBox, param_Row, QAccessible::DescriptionChanged);
}

void Form1::TickLine(QListWidgetItem *param_Line)
{
    // The ticks are read when START is pressed: from then on none may change, not even by a
    // click that waited in the queue while the run began.
    if (!param_Line || !SupportedPrinterCheckedListBox->isEnabled() || runInProgress_)
        return;
    SupportedPrinterCheckedListBox->setCurrentItem(param_Line);
    param_Line->setCheckState(
        param_Line->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
}

void Form1::StartButton_Click()
{
    App_StartButton_Handler();
}

void Form1::LangButton_Click()
{
    App_LangButton_Handler();
}

void Form1::MinimizeButton_Click()
{
    showMinimized();
}

void Form1::CloseButton_Click()
{
    close();
}

void Form1::AppCloseButton_Click()
{
    APP_AppCloseButton_Handler(QStringLiteral("Close"));
}

void Form1::PrinterStatusButton_Click()
{
    // The button is only the busy sign of a running update.
}

void Form1::setVisible(bool visible)
{
    if (visible && !loaded_) {
        loaded_ = true;
        Form1_Load();
        if (closedDuringLoad_)
            return;
        if (const QScreen *screen = this->screen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            move(frame.topLeft());
        }
    }
    QWidget::setVisible(visible);
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == FDUProductNameLabel) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
            App_FormMouseDown_Handler(static_cast<QMouseEvent *>(event)->position().toPoint());
            break;
        case QEvent::MouseMove:
            App_FormMouseMove_Handler(static_cast<QMouseEvent *>(event)->position().toPoint());
            break;
        case QEvent::MouseButtonRelease:
            App_FormMouseUp_Handler();
            break;
        default:
            break;
        }
        return false;
    }

    // One click on a line toggles its tick, wherever on the line it lands; the view's own
    // handling (tick box only, or select first) is bypassed so a click never toggles twice.
    if (watched == SupportedPrinterCheckedListBox->viewport()
        && SupportedPrinterCheckedListBox->isEnabled()) {
        const auto type = event->type();
        if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick
            || type == QEvent::MouseButtonRelease) {
            auto *mouse = static_cast<QMouseEvent *>(event);
            if (mouse->button() != Qt::LeftButton)
                return false;
            if (type != QEvent::MouseButtonRelease) {
                TickLine(SupportedPrinterCheckedListBox->itemAt(mouse->position().toPoint()));
            }
            return true;
        }
        return false;
    }
    // Enter on a focused button presses it, as Space does: outside a dialog Qt leaves Enter to
    // default buttons, and this window has none.
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        auto *button = qobject_cast<QPushButton *>(watched);
        if (button && (key == Qt::Key_Return || key == Qt::Key_Enter)
            && static_cast<QKeyEvent *>(event)->modifiers() == Qt::NoModifier) {
            if (button->isEnabled())
                button->click();
            return true;
        }
    }
    // Arriving by Tab on a list without a current line, Space would have no line to tick.
    if (watched == SupportedPrinterCheckedListBox && event->type() == QEvent::FocusIn
        && !SupportedPrinterCheckedListBox->currentItem()
        && SupportedPrinterCheckedListBox->count() > 0)
        SupportedPrinterCheckedListBox->setCurrentRow(0);
    if (watched == SupportedPrinterCheckedListBox && event->type() == QEvent::KeyPress
        && SupportedPrinterCheckedListBox->isEnabled()) {
        if (static_cast<QKeyEvent *>(event)->key() == Qt::Key_Space) {
            TickLine(SupportedPrinterCheckedListBox->currentItem());
            return true;
        }
        return false;
    }
    return QWidget::eventFilter(watched, event);
}

#ifdef Q_OS_WIN
bool Form1::nativeEvent(const QByteArray &eventType, void *message, qintptr *result)
{
    if (eventType == "windows_generic_MSG") {
        const MSG *msg = static_cast<const MSG *>(message);
        if (msg->message == WM_DEVICECHANGE)
            WndProc(msg->message, msg->wParam);
        // Logging off or shutting down now would cut printers off halfway through the image;
        // the session is asked to wait (the run's hold names the reason) until the run is over.
        if (msg->message == WM_QUERYENDSESSION && runInProgress_) {
            *result = FALSE;
            return true;
        }
    }
    return QWidget::nativeEvent(eventType, message, result);
}
#endif
