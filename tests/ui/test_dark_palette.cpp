// The window and the dialog rendered under a dark desktop theme: every text keeps the tool's
// own colour on the tool's own background, judged from the rendered pixels; and the keyboard's
// focus mark, under the dark theme and the light one.
#include "ui_support.h"

#include "ui/tool_style.h"

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScopeGuard>
#include <QStyle>
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

    void focusMarkShows_data()
    {
        QTest::addColumn<QString>("element");
        QTest::addColumn<bool>("onProgressPage");
        QTest::addColumn<bool>("dark");
        for (const bool dark : { true, false }) {
            const auto row = [dark](const char *element, bool progress) {
                QTest::addRow("%s, %s", element, dark ? "dark" : "light")
                    << QString::fromLatin1(element) << progress << dark;
            };
            for (const char *element : { "SupportedPrinterCheckedListBox", "StartButton",
                     "LangButton", "MinimizeButton", "CloseButton" })
                row(element, false);
            for (const char *element :
                { "FDUPrinterListBox", "FDUStatusListBox", "AppCloseButton" })
                row(element, true);
        }
    }

    // The element with the focus shows the ring on every side, in the ring's own colours,
    // whatever the element's surface and the desktop's palette.
    void focusMarkShows()
    {
        QFETCH(QString, element);
        QFETCH(bool, onProgressPage);
        QFETCH(bool, dark);
        QApplication::setPalette(dark ? darkPalette() : QApplication::style()->standardPalette());
        const auto restore = qScopeGuard([] { QApplication::setPalette(darkPalette()); });
        Form1 form(testTexts());
        form.App_OpenStringTables();
        form.App_ChangeLanguage(0);
        form.SupportedPrinterCheckedListBox->addItem(QStringLiteral("ZELTAN QXR3303[SN#:X4K20]"));
        form.FDUPrinterListBox->addItem(QStringLiteral("X4K2093811"));
        form.FDUStatusListBox->addItem(QStringLiteral("Idle mode"));
        if (onProgressPage) {
            form.MainTabControl->setCurrentWidget(form.ProgressTabPage);
            form.AppCloseButton->setEnabled(true);
        }
        form.show();
        QVERIFY(activate(form));
        auto *target = form.findChild<QWidget *>(element);
        QVERIFY(target);
        target->setFocus(Qt::TabFocusReason);
        QCOMPARE(QApplication::focusWidget(), target);

        const QImage shot = form.grab().toImage();
        if (qEnvironmentVariableIsSet("VORNIK_SCREENSHOT_DIR"))
            shot.save(qEnvironmentVariable("VORNIK_SCREENSHOT_DIR") + QStringLiteral("/focus-")
                + element + (dark ? QStringLiteral("-dark.png") : QStringLiteral("-light.png")));
        const qreal ratio = shot.devicePixelRatio();
        const QRect box(target->mapTo(&form, QPoint(0, 0)), target->size());
        const auto at
            = [&](int x, int y) { return QColor(shot.pixel(int(x * ratio), int(y * ratio))); };
        // Across each edge, from outside in: black, amber, amber, black.
        const QColor ring(255, 176, 0);
        const QPoint middle = box.center();
        const std::pair<QPoint, QPoint> edges[] = { { { box.left(), middle.y() }, { 1, 0 } },
            { { box.right(), middle.y() }, { -1, 0 } }, { { middle.x(), box.top() }, { 0, 1 } },
            { { middle.x(), box.bottom() }, { 0, -1 } } };
        for (const auto &[edge, in] : edges) {
            const QColor expected[] = { Qt::black, ring, ring, Qt::black };
            for (int step = 0; step < 4; ++step)
                QCOMPARE(at(edge.x() + step * in.x(), edge.y() + step * in.y()), expected[step]);
        }
        // Without the focus the element shows no ring.
        target->clearFocus();
        const QImage after = form.grab().toImage();
        QVERIFY(
            QColor(after.pixel(int((box.left() + 1) * ratio), int(middle.y() * ratio))) != ring);
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
