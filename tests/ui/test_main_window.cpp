// The main window's own behaviour: its state when it opens, the drag by the caption, the close
// handlers, the checklist, the update-list helpers, the proportions of the layout, and the
// first show that runs start-up.
#include "accessibility_recorder.h"
#include "ui_support.h"

#include "printer_link/simulated/simulated_printers.h"
#include "printer_link/simulated/virtual_clock.h"
#include "ui/pictures.h"
#include "ui/tool_style.h"

#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

namespace {

// Counts the close requests a window receives, shown or not.
class CloseCounter : public QObject {
public:
    explicit CloseCounter(QWidget *window) { window->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Close)
            ++count;
        return false;
    }
};

void sendMouse(QWidget *target, QEvent::Type type, QPoint at, Qt::MouseButton button)
{
    const Qt::MouseButtons held
        = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent event(type, QPointF(at), target->mapToGlobal(QPointF(at)),
        type == QEvent::MouseMove ? Qt::NoButton : button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &event);
}

QStringList lines(const QListWidget *list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    return texts;
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void opensReady()
    {
        Form1 form(testTexts());
        QCOMPARE(form.MainTabControl->currentWidget(), form.StartTabPage);
        QVERIFY(form.MainTabControl->tabBar()->isHidden());
        QVERIFY(form.PrinterSelectTabControl->tabBar()->isHidden());
        for (QWidget *enabled :
            std::initializer_list<QWidget *> { form.StartButton, form.LangButton,
                form.MinimizeButton, form.CloseButton, form.SupportedPrinterCheckedListBox })
            QVERIFY2(enabled->isEnabled(), qPrintable(enabled->objectName()));
        QVERIFY(!form.PrinterStatusButton->isEnabled());
        QVERIFY(!form.AppCloseButton->isEnabled());
        QVERIFY(form.Progress_UpdateStepsLabel->text().isEmpty());
    }

    void busyPointerOnAndOff()
    {
        Form1 form(testTexts());
        form.SetWaitCursor(true);
        QCOMPARE(form.cursor().shape(), Qt::WaitCursor);
        QCOMPARE(form.SupportedPrinterCheckedListBox->cursor().shape(), Qt::WaitCursor);
        form.SetWaitCursor(false);
        QCOMPARE(form.cursor().shape(), Qt::ArrowCursor);
    }

    void busySignRunsOnlyWhileEnabled()
    {
        Form1 form(testTexts());
        auto *busy = form.PrinterStatusButton->findChild<pictures::BusyAnimation *>();
        QVERIFY(busy);
        QVERIFY(!busy->isRunning());
        form.PrinterStatusButton->setEnabled(true);
        QVERIFY(busy->isRunning());
        QTRY_VERIFY(busy->frame() != 0);
        form.PrinterStatusButton->setEnabled(false);
        QVERIFY(!busy->isRunning());
    }

    void dragMovesByThePointersMovement_data()
    {
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::newRow("left") << Qt::LeftButton;
        QTest::newRow("right") << Qt::RightButton;
        QTest::newRow("middle") << Qt::MiddleButton;
    }

    void dragMovesByThePointersMovement()
    {
        QFETCH(Qt::MouseButton, button);
        Form1 form(testTexts());
        form.move(200, 150);
        QWidget *label = form.FDUProductNameLabel;

        sendMouse(label, QEvent::MouseButtonPress, { 10, 10 }, button);
        sendMouse(label, QEvent::MouseMove, { 25, 3 }, button);
        QCOMPARE(form.pos(), QPoint(215, 143));
        // The label moved with the window: the pointer is near its start position again.
        sendMouse(label, QEvent::MouseMove, { 7, 14 }, button);
        QCOMPARE(form.pos(), QPoint(212, 147));
        // Off the screen is allowed.
        sendMouse(label, QEvent::MouseMove, { 10 - 5000, 10 - 4000 }, button);
        QCOMPARE(form.pos(), QPoint(212 - 5000, 147 - 4000));
        sendMouse(label, QEvent::MouseButtonRelease, { 10, 10 }, button);
        QVERIFY(!form.gFormMoveActivated);

        sendMouse(label, QEvent::MouseMove, { 60, 60 }, Qt::NoButton);
        QCOMPARE(form.pos(), QPoint(212 - 5000, 147 - 4000));
    }

    void onlyTheCaptionLabelDrags_data()
    {
        QTest::addColumn<QString>("element");
        QTest::newRow("logo") << "MfgIconPicBox";
        QTest::newRow("footer") << "CopyrightLabel";
        QTest::newRow("instructions") << "InstructionsLabel";
        QTest::newRow("warning") << "ConnectionWarningLabel";
    }

    void onlyTheCaptionLabelDrags()
    {
        QFETCH(QString, element);
        Form1 form(testTexts());
        form.move(200, 150);
        auto *target = form.findChild<QWidget *>(element);
        QVERIFY(target);
        sendMouse(target, QEvent::MouseButtonPress, { 5, 5 }, Qt::LeftButton);
        sendMouse(target, QEvent::MouseMove, { 40, 30 }, Qt::LeftButton);
        sendMouse(target, QEvent::MouseButtonRelease, { 40, 30 }, Qt::LeftButton);
        QCOMPARE(form.pos(), QPoint(200, 150));
        QVERIFY(!form.gFormMoveActivated);
    }

    void appCloseHandlerClosesOnlyForClose_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("closes");
        QTest::newRow("Close") << "Close" << 1;
        QTest::newRow("lower case") << "close" << 0;
        QTest::newRow("upper case") << "CLOSE" << 0;
        QTest::newRow("trailing blank") << "Close " << 0;
        QTest::newRow("leading blank") << " Close" << 0;
        QTest::newRow("translated") << QStringLiteral("Schlie\u00dfen") << 0;
        QTest::newRow("empty") << "" << 0;
    }

    void appCloseHandlerClosesOnlyForClose()
    {
        QFETCH(QString, action);
        QFETCH(int, closes);
        Form1 form(testTexts());
        CloseCounter counter(&form);
        form.APP_AppCloseButton_Handler(action);
        QCOMPARE(counter.count, closes);
    }

    void buttonsThatClose_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("closes");
        QTest::newRow("CLOSE on the progress page") << "AppCloseButton" << 1;
        QTest::newRow("caption close") << "CloseButton" << 1;
        QTest::newRow("busy sign") << "PrinterStatusButton" << 0;
        QTest::newRow("minimise") << "MinimizeButton" << 0;
    }

    void buttonsThatClose()
    {
        QFETCH(QString, button);
        QFETCH(int, closes);
        Form1 form(testTexts());
        // As during an update: the busy sign is enabled, the progress page in front.
        form.MainTabControl->setCurrentWidget(form.ProgressTabPage);
        form.PrinterStatusButton->setEnabled(true);
        form.AppCloseButton->setEnabled(true);
        CloseCounter counter(&form);
        auto *target = form.findChild<QPushButton *>(button);
        QVERIFY(target);
        target->click();
        QCOMPARE(counter.count, closes);
        QCOMPARE(form.MainTabControl->currentWidget(), form.ProgressTabPage);
        QVERIFY(form.PrinterStatusButton->isEnabled());
    }

    void oneClickTogglesATick()
    {
        Form1 form(testTexts());
        QListWidget *list = form.SupportedPrinterCheckedListBox;
        list->addItem(QStringLiteral("ZELTAN QXR3303[SN#:A1]"));
        list->addItem(QStringLiteral("ZELTAN QXR3303[SN#:B2]"));
        form.grab(); // lays the window out
        QCOMPARE(list->item(0)->checkState(), Qt::Unchecked);
        QVERIFY(list->item(0)->flags() & Qt::ItemIsUserCheckable);

        const QRect first = list->visualItemRect(list->item(0));
        const QPoint onText = first.center();
        const QPoint onTickBox(first.left() + 8, first.center().y());

        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, onText);
        QCOMPARE(list->item(0)->checkState(), Qt::Checked);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, onTickBox);
        QCOMPARE(list->item(0)->checkState(), Qt::Unchecked);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, onTickBox);
        QCOMPARE(list->item(0)->checkState(), Qt::Checked);
        QCOMPARE(list->item(1)->checkState(), Qt::Unchecked);

        QTest::mouseClick(list->viewport(), Qt::RightButton, {}, onText);
        QCOMPARE(list->item(0)->checkState(), Qt::Checked);

        list->setCurrentRow(1);
        QTest::keyClick(list, Qt::Key_Space);
        QCOMPARE(list->item(1)->checkState(), Qt::Checked);

        // Disabled during an update: clicks change nothing.
        list->setEnabled(false);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, onText);
        QCOMPARE(list->item(0)->checkState(), Qt::Checked);
    }

    void whatAssistiveTechnologyMeets_data()
    {
        QTest::addColumn<QString>("element");
        QTest::addColumn<int>("role");
        QTest::addColumn<QString>("action"); // empty: none
        QTest::addColumn<bool>("enabled"); // when the window opens
        using A = QAccessible;
        QTest::newRow("language") << "LangButton" << int(A::Button) << "Press" << true;
        QTest::newRow("minimise") << "MinimizeButton" << int(A::Button) << "Press" << true;
        QTest::newRow("close") << "CloseButton" << int(A::Button) << "Press" << true;
        QTest::newRow("CLOSE") << "AppCloseButton" << int(A::Button) << "Press" << false;
        QTest::newRow("busy sign") << "PrinterStatusButton" << int(A::Button) << "Press" << false;
        QTest::newRow("logo") << "MfgIconPicBox" << int(A::Graphic) << "" << true;
        QTest::newRow("warning") << "WarningPicBox" << int(A::Graphic) << "" << true;
        QTest::newRow("printers") << "SupportedPrinterCheckedListBox" << int(A::List) << "" << true;
        QTest::newRow("statuses") << "FDUStatusListBox" << int(A::List) << "" << true;
    }

    void whatAssistiveTechnologyMeets()
    {
        QFETCH(QString, element);
        QFETCH(int, role);
        QFETCH(QString, action);
        QFETCH(bool, enabled);
        Form1 form(testTexts());
        form.App_LoadProductLogo();
        form.App_OpenStringTables();
        form.App_ChangeLanguage(0);
        form.SupportedPrinterCheckedListBox->addItem(QStringLiteral("ZELTAN QXR3303[SN#:A1]"));
        form.FDUPrinterListBox->addItem(QStringLiteral("A1"));
        form.FDUStatusListBox->addItem(QStringLiteral("Idle mode"));

        QAccessibleInterface *iface
            = QAccessible::queryAccessibleInterface(form.findChild<QWidget *>(element));
        QVERIFY(iface);
        QCOMPARE(int(iface->role()), role);
        QCOMPARE(!iface->state().disabled, enabled);
        // Qt offers a disabled button's action only once it is enabled.
        if (!action.isEmpty())
            QCOMPARE(iface->actionInterface()->actionNames().contains(action), enabled);
        QVERIFY(!iface->text(QAccessible::Name).isEmpty());
        // The page headers stay hidden from it, and all it can act on has a name.
        QCOMPARE(AccessibilityFaults(&form), QStringList());
    }

    void tickPaths_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("listEnabled");
        for (const char *path : { "Toggle", "click", "Space" }) {
            QTest::addRow("%s", path) << path << true;
            QTest::addRow("%s, list disabled", path) << path << false;
        }
    }

    // Assistive technology's "Toggle" ticks as a click and Space do, by the same rules, and
    // the entry's state follows every tick with an event.
    void tickPaths()
    {
        QFETCH(QString, path);
        QFETCH(bool, listEnabled);
        Form1 form(testTexts());
        QListWidget *list = form.SupportedPrinterCheckedListBox;
        list->addItems(
            { QStringLiteral("ZELTAN QXR3303[SN#:A1]"), QStringLiteral("ZELTAN QXR3303[SN#:B2]") });
        form.grab();
        AccessibilityRecorder heard;
        QAccessibleInterface *entry = QAccessible::queryAccessibleInterface(list)->child(1);
        QVERIFY(entry && entry->state().checkable);
        list->setEnabled(listEnabled);
        QCOMPARE(bool(entry->state().disabled), !listEnabled);

        for (const bool ticked : { true, false }) {
            TickBy(path, list, 1);
            const bool expected = ticked && listEnabled;
            QCOMPARE(list->item(1)->checkState() == Qt::Checked, expected);
            QCOMPARE(bool(entry->state().checked), expected);
            QCOMPARE(list->item(0)->checkState(), Qt::Unchecked);
        }
        std::vector<bool> followed;
        for (const auto &event : heard.heard)
            if (event.type == QAccessible::StateChanged && event.child == 1)
                followed.push_back(event.checked);
        QCOMPARE(followed, (listEnabled ? std::vector<bool> { true, false } : std::vector<bool>()));
    }

    void highlightMarksTheSameRowInBothLists_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("marked");
        QTest::newRow("first") << 0 << 0;
        QTest::newRow("last") << 2 << 2;
        QTest::newRow("none") << -1 << -1;
        QTest::newRow("past the end") << 3 << -1;
    }

    void highlightMarksTheSameRowInBothLists()
    {
        QFETCH(int, row);
        QFETCH(int, marked);
        Form1 form(testTexts());
        for (QListWidget *list : { form.FDUPrinterListBox, form.FDUStatusListBox })
            list->addItems({ QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c") });
        form.HighlightUpdateRow(1);
        form.HighlightUpdateRow(row);
        for (QListWidget *list : { form.FDUPrinterListBox, form.FDUStatusListBox }) {
            QCOMPARE(list->currentRow(), marked);
            QCOMPARE(list->selectedItems().size(), marked < 0 ? 0 : 1);
        }
    }

    void replaceStatusRow_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<bool>("highlighted");
        QTest::addColumn<QStringList>("after");
        const QString a = QStringLiteral("Idle mode"), b = QStringLiteral("Flash mode"),
                      c = QStringLiteral("Idle mode"),
                      x = QStringLiteral("Firmware update: completed");
        QTest::newRow("middle") << 1 << false << QStringList { a, x, c };
        QTest::newRow("middle, highlighted") << 1 << true << QStringList { a, x, c };
        QTest::newRow("first") << 0 << false << QStringList { x, b, c };
        QTest::newRow("last, highlighted") << 2 << true << QStringList { a, b, x };
        QTest::newRow("past the end") << 3 << false << QStringList { a, b, c };
        QTest::newRow("negative") << -1 << false << QStringList { a, b, c };
    }

    void replaceStatusRow()
    {
        QFETCH(int, row);
        QFETCH(bool, highlighted);
        QFETCH(QStringList, after);
        Form1 form(testTexts());
        form.FDUPrinterListBox->addItems(
            { QStringLiteral("S1"), QStringLiteral("S2"), QStringLiteral("S3") });
        form.FDUStatusListBox->addItems({ QStringLiteral("Idle mode"), QStringLiteral("Flash mode"),
            QStringLiteral("Idle mode") });
        if (highlighted)
            form.HighlightUpdateRow(row);

        form.App_OpenStringTables();
        form.ReplaceStatusRow(row, "StrRes_StatusUpdateCompleted");

        QCOMPARE(lines(form.FDUStatusListBox), after);
        QVERIFY(form.FDUStatusListBox->updatesEnabled());
        if (highlighted)
            QCOMPARE(form.FDUStatusListBox->currentRow(), row);
    }

    void layoutKeepsItsProportions_data()
    {
        QTest::addColumn<QString>("element");
        QTest::addColumn<bool>("progressPage");
        QTest::addColumn<QSize>("size");
        // Two thirds of the 144-dpi design; the window itself is 907 x 416 with a 4-pixel frame.
        QTest::newRow("caption bar") << "CaptionTableLayoutPanel" << false << QSize(899, 30);
        QTest::newRow("content") << "MenuTabLayoutPanel" << false << QSize(899, 355);
        QTest::newRow("footer") << "CopyrightLabel" << false << QSize(899, 23);
        QTest::newRow("logo") << "MfgIconPicBox" << false << QSize(30, 30);
        QTest::newRow("product name") << "FDUProductNameLabel" << false << QSize(751, 30);
        QTest::newRow("language") << "LangButton" << false << QSize(45, 30);
        QTest::newRow("printer side") << "PrinterSelectTabControl" << false << QSize(341, 355);
        QTest::newRow("main side") << "MainTabControl" << false << QSize(558, 355);
        QTest::newRow("printer list")
            << "SupportedPrinterCheckedListBox" << false << QSize(337, 213);
        QTest::newRow("warning text") << "ConnectionWarningLabel" << false << QSize(337, 63);
        QTest::newRow("instructions") << "InstructionsLabel" << false << QSize(558, 261);
        QTest::newRow("START") << "StartButton" << false << QSize(558, 45);
        QTest::newRow("progress header") << "PrinterSerialNumLabel" << true << QSize(278, 29);
        QTest::newRow("step label") << "Progress_UpdateStepsLabel" << true << QSize(390, 37);
        QTest::newRow("busy sign") << "PrinterStatusButton" << true << QSize(63, 37);
        QTest::newRow("hold warning") << "RunHoldWarningLabel" << true << QSize(105, 37);
        QTest::newRow("CLOSE") << "AppCloseButton" << true << QSize(558, 45);
    }

    void layoutKeepsItsProportions()
    {
        QFETCH(QString, element);
        QFETCH(bool, progressPage);
        QFETCH(QSize, size);
        Form1 form(testTexts());
        // With the longest texts in place: a text must never push the rows apart.
        form.App_OpenStringTables();
        form.gLanguageImageListIndex = 1;
        form.App_ChangeLanguage(1);
        form.Progress_UpdateStepsLabel->setText(
            QStringLiteral("Bearbeitungsschritt: ").repeated(9));
        form.RunHoldWarningLabel->setText(QStringLiteral("Nicht blockiert: Abmelden ").repeated(9));
        form.RunHoldWarningLabel->show();
        if (progressPage)
            form.MainTabControl->setCurrentWidget(form.ProgressTabPage);
        form.grab();
        auto *widget = form.findChild<QWidget *>(element);
        QVERIFY(widget);
        QVERIFY2(qAbs(widget->width() - size.width()) <= 1,
            qPrintable(QStringLiteral("width %1").arg(widget->width())));
        QVERIFY2(qAbs(widget->height() - size.height()) <= 1,
            qPrintable(QStringLiteral("height %1").arg(widget->height())));
    }

    void elidedLabelKeepsItsMarginAndIndent_data()
    {
        QTest::addColumn<int>("alignment");
        QTest::addColumn<int>("margin");
        QTest::addColumn<int>("indent");
        QTest::addColumn<QRect>("text"); // where the text may paint, in a 200 x 80 label
        QTest::newRow("margin") << int(Qt::AlignLeft | Qt::AlignTop) << 10 << 0
                                << QRect(10, 10, 180, 60);
        QTest::newRow("indent on the left")
            << int(Qt::AlignLeft | Qt::AlignVCenter) << 0 << 24 << QRect(24, 0, 176, 80);
        QTest::newRow("indent on the right")
            << int(Qt::AlignRight | Qt::AlignVCenter) << 0 << 24 << QRect(0, 0, 176, 80);
        QTest::newRow("margin and indent, top left")
            << int(Qt::AlignLeft | Qt::AlignTop) << 6 << 12 << QRect(18, 18, 176, 56);
    }

    void elidedLabelKeepsItsMarginAndIndent()
    {
        QFETCH(int, alignment);
        QFETCH(int, margin);
        QFETCH(int, indent);
        QFETCH(QRect, text);
        tool_style::ElidedLabel label;
        label.setFixedSize(200, 80);
        tool_style::fillBackground(&label, Qt::white);
        tool_style::setTextColour(&label, Qt::black);
        label.setAlignment(Qt::Alignment(alignment));
        label.setMargin(margin);
        label.setIndent(indent);
        label.setText(QStringLiteral("WWWW WWWW WWWW WWWW WWWW WWWW WWWW WWWW WWWW WWWW WWWW"));

        const QImage picture = label.grab().toImage();
        int inked = 0;
        for (int y = 0; y < picture.height(); ++y) {
            for (int x = 0; x < picture.width(); ++x) {
                if (QColor(picture.pixel(x, y)).lightness() > 200)
                    continue;
                ++inked;
                QVERIFY2(
                    text.contains(x, y), qPrintable(QStringLiteral("ink at %1, %2").arg(x).arg(y)));
            }
        }
        QVERIFY(inked > 0);
        // Lines are cut to the narrower width, and the ellipsis lands inside it too.
        for (const QString &line : label.shownText().split(QLatin1Char('\n')))
            QVERIFY(label.fontMetrics().horizontalAdvance(line) <= text.width());
    }

    void firstShowRunsStartUpThenCentres()
    {
        vornik::sim::VirtualClock clock;
        vornik::sim::SimulatedPrinters printers(clock);
        vornik::InstallPlatform(&printers, &clock);
        {
            Form1 form(testTexts());
            form.dialogRunner = [](UI_Message &) { QFAIL("no message expected"); };
            form.show();
            QVERIFY(form.isVisible());
            QVERIFY(!form.gFhxBuildNumStr.isEmpty());
            const QRect screen = form.screen()->availableGeometry();
            QVERIFY(qAbs(form.frameGeometry().center().x() - screen.center().x()) <= 1);
            QVERIFY(qAbs(form.frameGeometry().center().y() - screen.center().y()) <= 1);

            // Showing again after a hide does not run start-up a second time.
            form.hide();
            form.gFhxBuildNumStr.clear();
            form.show();
            QVERIFY(form.gFhxBuildNumStr.isEmpty());
        }
        {
            // A firmware that does not fit: start-up closes the window before it ever shows.
            Form1 form({ QStringLiteral("ZELTAN QXR3303"), QStringLiteral("unsigned.fhx") });
            int messages = 0;
            form.dialogRunner = [&](UI_Message &) { ++messages; };
            form.show();
            QVERIFY(form.closedDuringLoad());
            QVERIFY(!form.isVisible());
            QVERIFY(messages >= 1);
        }
        vornik::InstallPlatform(nullptr, nullptr);
    }
};

QTEST_MAIN(MainWindowTest)
#include "test_main_window.moc"
