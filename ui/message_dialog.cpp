// The message dialog. It is built for one message, filled once when it is first shown and
// discarded when the operator closes it; its owner only hands it a UI_MessageInfo.
#include "ui/message_dialog.h"

#include "ui/accessibility.h"
#include "ui/pictures.h"
#include "ui/tool_style.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <stdexcept>

namespace {

const QColor kFirebrick(178, 34, 34);
const QColor kOrchid(218, 112, 214);

// The bar is a row of black squares that grows to this length and starts over.
constexpr qsizetype kBarLength = 14;
const QChar kBarSquare(0x25A0);

QWidget *whitePage(const char *name, int margin)
{
    auto *page = tool_style::named<QWidget>(name);
    tool_style::fillBackground(page, Qt::white);
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(margin, margin, margin, margin);
    layout->setSpacing(0);
    return page;
}

// The text across the top of a page, read from the top left.
tool_style::ElidedLabel *addTopLabel(QWidget *page, const char *name, int height)
{
    auto *label = tool_style::named<tool_style::ElidedLabel>(name);
    label->setFixedHeight(height);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    tool_style::fillBackground(label, Qt::white);
    tool_style::setTextColour(label, Qt::black);
    page->layout()->addWidget(label);
    return label;
}

} // namespace

UI_Message::UI_Message(QWidget *parent)
    : QDialog(parent)
{
    accessibility::Install();
    setObjectName(QStringLiteral("UI_Message"));
    setWindowTitle(QStringLiteral("UI_Message"));
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setFixedSize(456, 287);
    setFont(tool_style::uiFont(12));
    tool_style::fillBackground(this, tool_style::kFrameBlue);

    auto *frame = new QVBoxLayout(this);
    frame->setContentsMargins(3, 3, 3, 3);
    frame->setSpacing(0);
    frame->setSizeConstraint(QLayout::SetNoConstraint);

    UI_CaptionLabel = tool_style::named<QLabel>("UI_CaptionLabel");
    UI_CaptionLabel->setFixedHeight(32);
    tool_style::fillBackground(UI_CaptionLabel, kFirebrick);
    tool_style::setTextColour(UI_CaptionLabel, Qt::white);
    UI_CaptionLabel->setFont(tool_style::uiFont(11, true));
    UI_CaptionLabel->setAlignment(Qt::AlignCenter);
    frame->addWidget(UI_CaptionLabel);

    pictureBox1 = tool_style::named<tool_style::PictureBox>("pictureBox1", UI_CaptionLabel);
    pictureBox1->setGeometry(2, 4, 33, 23);
    tool_style::fillBackground(pictureBox1, kFirebrick);
    pictureBox1->setPixmap(pictures::informationGlyph());

    MainTabControl = tool_style::named<QTabWidget>("MainTabControl");
    MainTabControl->setDocumentMode(true);
    MainTabControl->tabBar()->hide();
    accessibility::HidePageHeaders(MainTabControl);
    // Only the program switches pages: no focus for the container or its hidden headers.
    MainTabControl->setFocusPolicy(Qt::NoFocus);
    MainTabControl->tabBar()->setFocusPolicy(Qt::NoFocus);
    MainTabControl->setFont(tool_style::uiFont(11));
    frame->addWidget(MainTabControl, 1);

    // Message page.
    MessageTabPage = whitePage("MessageTabPage", 2);
    UI_MessageLabel = addTopLabel(MessageTabPage, "UI_MessageLabel", 138);
    static_cast<QVBoxLayout *>(MessageTabPage->layout())->addStretch(1);

    // Result page.
    ResultTabPage = whitePage("ResultTabPage", 2);
    auto *result = addTopLabel(ResultTabPage, "UI_ResultLabel", 118);
    result->setEliding(false); // a result is clipped, not cut with an ellipsis
    UI_ResultLabel = result;
    static_cast<QVBoxLayout *>(ResultTabPage->layout())->addStretch(1);
    UI_UpdatedPanel = tool_style::named<QWidget>("UI_UpdatedPanel");
    UI_UpdatedPanel->setFixedHeight(32);
    tool_style::fillBackground(UI_UpdatedPanel, Qt::white);
    auto *updated = new QHBoxLayout(UI_UpdatedPanel);
    updated->setContentsMargins(0, 0, 0, 0);
    updated->setSpacing(0);
    UI_UpdatedPicBox = tool_style::named<tool_style::PictureBox>("UI_UpdatedPicBox");
    UI_UpdatedPicBox->setFixedSize(32, 32);
    tool_style::fillBackground(UI_UpdatedPicBox, Qt::white);
    updated->addWidget(UI_UpdatedPicBox);
    UI_UpdatedPrintersLabel = tool_style::named<QLabel>("UI_UpdatedPrintersLabel");
    UI_UpdatedPrintersLabel->setFixedWidth(401);
    tool_style::fillBackground(UI_UpdatedPrintersLabel, Qt::white);
    UI_UpdatedPrintersLabel->setFont(tool_style::uiFont(10));
    tool_style::setTextColour(UI_UpdatedPrintersLabel, Qt::black);
    UI_UpdatedPrintersLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    UI_UpdatedPrintersLabel->setIndent(4);
    updated->addWidget(UI_UpdatedPrintersLabel);
    updated->addStretch(1);
    ResultTabPage->layout()->addWidget(UI_UpdatedPanel);

    // Progress page.
    ProgressTabPage = whitePage("ProgressTabPage", 2);
    UI_ProgressMsgLabel = addTopLabel(ProgressTabPage, "UI_ProgressMsgLabel", 138);
    auto *barRow = new QHBoxLayout;
    barRow->setSpacing(0);
    UI_PrinterPicBox = tool_style::named<tool_style::PictureBox>("UI_PrinterPicBox");
    UI_PrinterPicBox->setFixedSize(67, 45);
    tool_style::fillBackground(UI_PrinterPicBox, kOrchid);
    barRow->addWidget(UI_PrinterPicBox);
    auto *bar = tool_style::named<tool_style::ElidedLabel>("UI_ProgressBarLabel");
    UI_ProgressBarLabel = bar;
    bar->setWrapping(false);
    UI_ProgressBarLabel->setFixedSize(371, 45);
    UI_ProgressBarLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    UI_ProgressBarLabel->setIndent(4);
    tool_style::fillBackground(UI_ProgressBarLabel, Qt::white);
    tool_style::setTextColour(UI_ProgressBarLabel, Qt::black);
    barRow->addWidget(UI_ProgressBarLabel);
    barRow->addStretch(1);
    static_cast<QVBoxLayout *>(ProgressTabPage->layout())->addLayout(barRow);
    static_cast<QVBoxLayout *>(ProgressTabPage->layout())->addStretch(1);
    busy_ = new pictures::BusyAnimation(
        [this](const QPixmap &frame) { UI_PrinterPicBox->setPixmap(frame); }, this);
    busy_->setObjectName(QStringLiteral("UI_PrinterAnimation"));

    MainTabControl->addTab(MessageTabPage, QStringLiteral("MessageTabPage"));
    MainTabControl->addTab(ResultTabPage, QStringLiteral("ResultTabPage"));
    MainTabControl->addTab(ProgressTabPage, QStringLiteral("ProgressTabPage"));

    UI_OkButton = tool_style::named<QPushButton>("UI_OkButton");
    UI_OkButton->setFixedHeight(36);
    tool_style::styleFlatButton(UI_OkButton, tool_style::kHeaderBlue, tool_style::kHeaderBlueHover,
        tool_style::kHeaderBlue);
    UI_OkButton->setFont(tool_style::uiFont(10, true));
    UI_OkButton->setText(QStringLiteral("OK"));
    UI_OkButton->setDefault(true);
    connect(UI_OkButton, &QPushButton::clicked, this, &UI_Message::UI_OkButton_Click);
    frame->addWidget(UI_OkButton);

    UI_ImageList.setImageSize({ 48, 48 });
    UI_ImageList.add(QStringLiteral("CheckMark.png"), pictures::checkMark());
    UI_ImageList.add(QStringLiteral("Cross.png"), pictures::cross());

    UI_ProgressTimer = tool_style::named<QTimer>("UI_ProgressTimer");
    UI_ProgressTimer->setParent(this);
    UI_ProgressTimer->setInterval(300);
    connect(UI_ProgressTimer, &QTimer::timeout, this,
        [this] { UI_ProgressTimer_Handler(QStringLiteral("Run")); });
}

UI_Message::~UI_Message() = default;

void UI_Message::UI_IFCSetInfo(const QVariant &param_Info)
{
    if (param_Info.metaType() != QMetaType::fromType<UI_MessageInfo>())
        throw std::invalid_argument("The message dialog was handed something other than a "
                                    "message record.");
    const auto info = param_Info.value<UI_MessageInfo>();
    gUI_Message_CaptionStr = info.CaptionStr;
    gUI_Message_MessageStr = info.MessageStr;
    gUI_Message_ResultStr = info.ResultMsg;
    gUI_Message_TotalPrinters = info.TotalPrinters;
    gUI_Message_UpdatedPrinters = info.UpdatedPrinters;
    gUI_Message_MsgType = info.MsgType;
}

void UI_Message::UI_IFCUpdateProgressMessage(const QString &param_ProgressStr)
{
    if (gUI_Message_MsgType != 2)
        return;
    UI_ProgressMsgLabel->setText(param_ProgressStr);
    QCoreApplication::processEvents();
    MainTabControl->setCurrentWidget(ProgressTabPage);
}

void UI_Message::UI_ProgressTimer_Handler(const QString &param_Action)
{
    if (param_Action == QLatin1String("Start")) {
        if (!UI_ProgressTimer->isActive()) {
            UI_ProgressBarLabel->clear();
            UI_ProgressTimer->start();
        }
    } else if (param_Action == QLatin1String("Run")) {
        const QString bar = UI_ProgressBarLabel->text();
        UI_ProgressBarLabel->setText(
            bar.size() >= kBarLength ? QString(kBarSquare) : bar + kBarSquare);
    } else if (param_Action == QLatin1String("Stop")) {
        UI_ProgressTimer->stop();
        UI_ProgressBarLabel->clear();
    }
    QCoreApplication::processEvents();
}

void UI_Message::UI_OkButton_Click()
{
    accept();
}

void UI_Message::UI_Message_Load()
{
    UI_Load_Handler();
}

void UI_Message::UI_Load_Handler()
{
    MainTabControl->tabBar()->hide();
    UI_CaptionLabel->setText(gUI_Message_CaptionStr);
    // Assistive technology names the dialog by its caption, not by its window text.
    setAccessibleName(gUI_Message_CaptionStr);

    switch (gUI_Message_MsgType) {
    case 2:
        UI_ProgressMsgLabel->setText(gUI_Message_MessageStr);
        UI_OkButton->setEnabled(false);
        QCoreApplication::processEvents();
        MainTabControl->setCurrentWidget(ProgressTabPage);
        // Nobody else drives the bar: it runs for as long as the progress view is up.
        UI_ProgressTimer_Handler(QStringLiteral("Start"));
        busy_->start();
        break;
    case 3:
        UI_ResultLabel->setText(gUI_Message_MessageStr);
        UI_UpdatedPicBox->setPixmap(
            UI_ImageList.image(gUI_Message_UpdatedPrinters == gUI_Message_TotalPrinters ? 0 : 1));
        UI_UpdatedPrintersLabel->setText(QStringLiteral("[%1/%2]  %3")
                                             .arg(gUI_Message_UpdatedPrinters)
                                             .arg(gUI_Message_TotalPrinters)
                                             .arg(gUI_Message_ResultStr));
        QCoreApplication::processEvents();
        MainTabControl->setCurrentWidget(ResultTabPage);
        accessibility::Announce(
            this, UI_ResultLabel->text() + u'\n' + UI_UpdatedPrintersLabel->text());
        break;
    default:
        // Type 1, and any type no caller should pass: shown as a plain message, so the
        // operator can still read it and dismiss it.
        UI_MessageLabel->setText(gUI_Message_MessageStr);
        QCoreApplication::processEvents();
        MainTabControl->setCurrentWidget(MessageTabPage);
        break;
    }
}

void UI_Message::reject()
{
    if (gUI_Message_MsgType == 2)
        return;
    QDialog::reject();
}

void UI_Message::setVisible(bool visible)
{
    if (visible && !isVisible())
        centreOverOwner();
    QDialog::setVisible(visible);
    // Qt sends the show event before a modal dialog counts as modal; loaded from there, the
    // load's event processing would still hand the owner's queued clicks (a START pressed a
    // moment earlier) to the owner, behind the dialog's back.
    if (visible && !loaded_ && isVisible()) {
        loaded_ = true;
        loading_ = true;
        UI_Message_Load();
        loading_ = false;
        if (closedWhileLoading_) {
            // exec() starts its own loop as soon as this returns; the close lands in it.
            QTimer::singleShot(0, this, [this, result = *closedWhileLoading_] {
                closedWhileLoading_.reset();
                QDialog::done(result);
            });
        }
    }
}

void UI_Message::done(int result)
{
    if (loading_) {
        closedWhileLoading_ = result;
        return;
    }
    QDialog::done(result);
}

void UI_Message::centreOverOwner()
{
    // Qt's own placement guesses a window frame that a frameless dialog does not have and lands
    // 10 pixels left of and 40 above the centre.
    QRect over;
    if (const QWidget *owner = parentWidget() ? parentWidget()->window() : nullptr)
        over = owner->frameGeometry();
    else if (const QScreen *screen = QGuiApplication::primaryScreen())
        over = screen->availableGeometry();
    if (over.isEmpty())
        return;
    QRect frame(QPoint(0, 0), frameGeometry().size());
    frame.moveCenter(over.center());
    move(frame.topLeft());
}

void UI_Message::showEvent(QShowEvent *event)
{
    if (loaded_ && gUI_Message_MsgType == 2) {
        // Shown again by its owner after it was hidden: the bar moves again.
        UI_ProgressTimer_Handler(QStringLiteral("Start"));
        busy_->start();
    }
    QDialog::showEvent(event);
}

void UI_Message::hideEvent(QHideEvent *event)
{
    if (gUI_Message_MsgType == 2) {
        UI_ProgressTimer_Handler(QStringLiteral("Stop"));
        busy_->stop();
    }
    QDialog::hideEvent(event);
}
