// The window and the dialog rendered under a dark desktop theme: every text keeps the tool's
// own colour on the tool's own background, judged from the rendered pixels.
#include "ui_support.h"

#include "ui/tool_style.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <map>

namespace {

// A dark theme as desktops ship them: light text on dark bases.
QPalette darkPalette()
{
    QPalette dark;
    const QColor window(45, 45, 48), base(30, 30, 30), light(235, 235, 235);
    dark.setColor(QPalette::Window, window);
    dark.setColor(QPalette::WindowText, light);
    dark.setColor(QPalette::Base, base);
    dark.setColor(QPalette::AlternateBase, window);
    dark.setColor(QPalette::Text, light);
    dark.setColor(QPalette::Button, window);
    dark.setColor(QPalette::ButtonText, light);
    dark.setColor(QPalette::BrightText, Qt::red);
    dark.setColor(QPalette::Highlight, QColor(90, 90, 90));
    dark.setColor(QPalette::HighlightedText, light);
    dark.setColor(QPalette::ToolTipBase, base);
    dark.setColor(QPalette::ToolTipText, light);
    return dark;
}

int distance(QColor a, QColor b)
{
    return qMax(
        qAbs(a.red() - b.red()), qMax(qAbs(a.green() - b.green()), qAbs(a.blue() - b.blue())));
}

struct Look {
    QColor background; // the most frequent colour
    QColor text; // the colour farthest from the background
};

Look lookOf(QWidget *widget)
{
    auto *list = qobject_cast<QListWidget *>(widget);
    const QImage picture = (list ? list->viewport() : widget)->grab().toImage();
    std::map<QRgb, int> counts;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            ++counts[picture.pixel(x, y) | 0xFF000000u];
    QRgb background = 0;
    int most = -1;
    for (const auto &[colour, count] : counts) {
        if (count > most) {
            most = count;
            background = colour;
        }
    }
    QColor text = QColor::fromRgb(background);
    for (const auto &entry : counts) {
        const QColor colour = QColor::fromRgb(entry.first);
        if (distance(colour, QColor::fromRgb(background))
            > distance(text, QColor::fromRgb(background)))
            text = colour;
    }
    return { QColor::fromRgb(background), text };
}

void addExpectation(const char *element, QColor text, QColor background)
{
    QTest::newRow(element) << QString::fromLatin1(element) << text << background;
}

const QColor kPanelGrey(156, 170, 193);
const QColor kHeaderBlue(40, 70, 120);
const QColor kLightGray(211, 211, 211);
const QColor kFirebrick(178, 34, 34);

void compareLook(QWidget *widget, QColor text, QColor background)
{
    QVERIFY(widget);
    const Look look = lookOf(widget);
    QVERIFY2(look.background == background,
        qPrintable(QStringLiteral("background %1").arg(look.background.name())));
    // Anti-aliased glyphs blend into the background; the core of a stroke carries the colour.
    QVERIFY2(distance(look.text, text) <= 40,
        qPrintable(QStringLiteral("text %1").arg(look.text.name())));
}

} // namespace

class DarkPaletteTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QApplication::setPalette(darkPalette()); }

    void mainWindow_data()
    {
        QTest::addColumn<QString>("element");
        QTest::addColumn<QColor>("text");
        QTest::addColumn<QColor>("background");
        addExpectation("FDUProductNameLabel", Qt::black, kPanelGrey);
        addExpectation("SupportedPrinterLabel", Qt::white, kHeaderBlue);
        addExpectation("SupportedPrinterCheckedListBox", Qt::black, kLightGray);
        addExpectation("InstructionCaptionLabel", Qt::white, kHeaderBlue);
        addExpectation("InstructionsLabel", Qt::black, Qt::white);
        addExpectation("StartButton", Qt::white, kHeaderBlue);
        addExpectation("CopyrightLabel", Qt::black, kPanelGrey);
        addExpectation("PrinterSerialNumLabel", Qt::white, kHeaderBlue);
        addExpectation("FDUPrinterListBox", Qt::black, Qt::white);
        addExpectation("FDUStatusListBox", Qt::black, Qt::white);
        addExpectation("Progress_UpdateStepsLabel", Qt::black, Qt::white);
    }

    void mainWindow()
    {
        QFETCH(QString, element);
        QFETCH(QColor, text);
        QFETCH(QColor, background);
        Form1 form(testTexts());
        form.App_OpenStringTables();
        form.App_ChangeLanguage(0);
        form.FDUProductNameLabel->setText(QStringLiteral("ZELTAN QXR3303 FDU"));
        form.SupportedPrinterCheckedListBox->addItem(QStringLiteral("ZELTAN QXR3303[SN#:X4K20]"));
        form.FDUPrinterListBox->addItem(QStringLiteral("X4K2093811"));
        form.FDUStatusListBox->addItem(QStringLiteral("Idle mode"));
        form.Progress_UpdateStepsLabel->setText(QStringLiteral("Processing step: [1/3]"));
        form.CopyrightLabel->setText(QStringLiteral("Copyright"));
        form.MainTabControl->setCurrentWidget(element.startsWith(QLatin1String("Progress_"))
                    || element.startsWith(QLatin1String("FDU"))
                    || element == QLatin1String("PrinterSerialNumLabel")
                ? form.ProgressTabPage
                : form.StartTabPage);
        form.grab();
        compareLook(form.findChild<QWidget *>(element), text, background);
    }

    void messageDialog_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("element");
        QTest::addColumn<QColor>("text");
        QTest::addColumn<QColor>("background");
        const auto row = [](int type, const char *element, QColor text, QColor background) {
            QTest::newRow(qPrintable(QStringLiteral("%1 %2").arg(type).arg(QLatin1String(element))))
                << type << QString::fromLatin1(element) << text << background;
        };
        row(1, "UI_CaptionLabel", Qt::white, kFirebrick);
        row(1, "UI_MessageLabel", Qt::black, Qt::white);
        row(3, "UI_ResultLabel", Qt::black, Qt::white);
        row(3, "UI_UpdatedPrintersLabel", Qt::black, Qt::white);
        row(2, "UI_ProgressMsgLabel", Qt::black, Qt::white);
        row(2, "UI_ProgressBarLabel", Qt::black, Qt::white);
        row(1, "UI_OkButton", Qt::white, kHeaderBlue);
    }

    void messageDialog()
    {
        QFETCH(int, type);
        QFETCH(QString, element);
        QFETCH(QColor, text);
        QFETCH(QColor, background);
        UI_Message dialog;
        UI_MessageInfo info;
        info.MsgType = type;
        info.CaptionStr = QStringLiteral("ZELTAN QXR3303 FDU");
        info.MessageStr = QStringLiteral("All selected printers have been updated.");
        info.ResultMsg = QStringLiteral("printers updated");
        info.TotalPrinters = info.UpdatedPrinters = 1;
        dialog.UI_IFCSetInfo(QVariant::fromValue(info));
        dialog.show();
        dialog.UI_ProgressBarLabel->setText(QString(6, QChar(0x25A0)));
        dialog.grab();
        compareLook(dialog.findChild<QWidget *>(element), text, background);
        dialog.UI_ProgressTimer_Handler(QStringLiteral("Stop"));
    }
};

QTEST_MAIN(DarkPaletteTest)
#include "test_dark_palette.moc"
