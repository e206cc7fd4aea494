// The window as a desktop drives it: device-change notices through a real socket notifier and a
// real timer, clicks through the window's own event queue and QTest, the message dialog through
// a real exec(). Each case is one where calling the handler directly behaves differently.
#include "harness.h"
#include "notice_pipe_platform.h"
#include "ui/ui_support.h"

#include "ui/string_table.h"
#include "ui/tool_style.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QWindow>

namespace {

class PipedHarness : public WorkflowHarness {
public:
    PipedHarness() { vornik::InstallPlatform(&piped, &clock); }
    // The window's notifier lets go of the platform before the platform goes.
    ~PipedHarness() { form.reset(); }

    NoticePipePlatform piped { printers };
};

bool runHasBegun(const Form1 &form)
{
    return form.MainTabControl->currentWidget() == form.ProgressTabPage
        || form.FDUStatusListBox->count() > 0;
}

// One key as the window system delivers it: to the window, and from there to whatever element
// has the focus.
void press(Form1 &form, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QTest::keyClick(form.windowHandle(), key, modifiers);
}

// The element with the focus, checked to carry the visible mark.
QString focusedAndMarked(Form1 &form)
{
    QWidget *focus = QApplication::focusWidget();
    // Found by its type alone: a mark that other widgets could pass for would fail here.
    auto *mark = form.findChild<tool_style::FocusMark *>();
    if (!focus || !mark)
        return QStringLiteral("(none)");
    if (mark->marked() != focus || !mark->isVisible()
        || mark->geometry() != QRect(focus->mapTo(&form, QPoint(0, 0)), focus->size()))
        return focus->objectName() + QStringLiteral(" (unmarked)");
    return focus->objectName();
}

struct KeyStep {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    const char *focusAfter; // nullptr: the window has closed
};

struct KeyWalk {
    const char *name;
    int printers;
    std::vector<KeyStep> steps;
    bool runs; // the keys started a run, and it ended with its summary
};

const std::vector<KeyWalk> &KeyWalks()
{
    const auto none = Qt::NoModifier;
    static const std::vector<KeyWalk> walks = {
        { "Tab goes round the work first, the caption last", 1,
            { { Qt::Key_Tab, none, "StartButton" }, { Qt::Key_Tab, none, "LangButton" },
                { Qt::Key_Tab, none, "MinimizeButton" }, { Qt::Key_Tab, none, "CloseButton" },
                { Qt::Key_Tab, none, "SupportedPrinterCheckedListBox" },
                { Qt::Key_Backtab, Qt::ShiftModifier, "CloseButton" } },
            false },
        // Three Tabs and a Space once closed the tool from the caption's close button.
        { "three Tabs and a Space do not close the tool", 1,
            { { Qt::Key_Tab, none, "StartButton" }, { Qt::Key_Tab, none, "LangButton" },
                { Qt::Key_Tab, none, "MinimizeButton" },
                { Qt::Key_Backtab, Qt::ShiftModifier, "LangButton" },
                { Qt::Key_Backtab, Qt::ShiftModifier, "StartButton" },
                { Qt::Key_Backtab, Qt::ShiftModifier, "SupportedPrinterCheckedListBox" },
                { Qt::Key_Space, none, "SupportedPrinterCheckedListBox" } },
            false },
        { "tick with Space, start with Enter, close with Enter", 2,
            { { Qt::Key_Down, none, "SupportedPrinterCheckedListBox" },
                { Qt::Key_Space, none, "SupportedPrinterCheckedListBox" },
                { Qt::Key_Up, none, "SupportedPrinterCheckedListBox" },
                { Qt::Key_Space, none, "SupportedPrinterCheckedListBox" },
                { Qt::Key_Tab, none, "StartButton" }, { Qt::Key_Return, none, "FDUPrinterListBox" },
                { Qt::Key_Tab, none, "FDUStatusListBox" }, { Qt::Key_Tab, none, "AppCloseButton" },
                { Qt::Key_Return, none, nullptr } },
            true },
        { "start with Space on START", 1,
            { { Qt::Key_Space, none, "SupportedPrinterCheckedListBox" },
                { Qt::Key_Tab, none, "StartButton" }, { Qt::Key_Space, none, "" } },
            true },
        { "Alt+F4 closes outside a run", 1, { { Qt::Key_F4, Qt::AltModifier, nullptr } }, false },
    };
    return walks;
}

} // namespace

class EventDeliveryTest : public QObject {
    Q_OBJECT

private slots:
    void noticeDuringAListingIsDropped_data()
    {
        QTest::addColumn<bool>("fromDescriptor");
        QTest::newRow("udev descriptor, socket notifier") << true;
        QTest::newRow("poll timer on the window thread") << false;
    }

    // The rule of the printer list: a notice that arrives while the guard is up is lost, not
    // deferred. Deferred, it starts a second listing after the first and clears the ticks the
    // operator set in between.
    void noticeDuringAListingIsDropped()
    {
        SKIP_WITHOUT_NOTICE_DESCRIPTOR();
        QFETCH(bool, fromDescriptor);
        PipedHarness h;
        h.printers.attach(h.printer("S1"));
        h.printers.attach(h.printer("S2"));
        Form1 &form = h.start();
        QTest::qWait(20);
        QCOMPARE(h.listEntries().size(), 2);

        bool raised = false;
        h.piped.enumerations = 0;
        h.piped.duringEnumeration = [&] {
            if (raised)
                return;
            raised = true;
            if (fromDescriptor)
                h.piped.kernelEvent();
            else
                QTimer::singleShot(0, &form, [&] { h.piped.notifyFromHere(); });
        };
        h.piped.kernelEvent();
        QTRY_COMPARE(h.piped.enumerations, 1);
        QVERIFY(raised);
        QCOMPARE(form.gUSBPnPDetected, 0);

        // The operator ticks a printer once the list is back; nothing may undo it.
        h.tick(1);
        QTest::qWait(100);
        QCOMPARE(h.piped.enumerations, 1);
        QCOMPARE(form.SupportedPrinterCheckedListBox->item(1)->checkState(), Qt::Checked);

        // Outside a listing each kernel event is a listing of its own.
        h.piped.kernelEvent();
        QTRY_COMPARE(h.piped.enumerations, 2);
    }

    // A START pressed just before a message came up must not run the update from inside the
    // message's own event processing.
    void queuedStartClickDoesNotReachTheWindowBehindADialog()
    {
        WorkflowHarness h;
        h.printers.attach(h.printer("S1"));
        Form1 &form = h.start();
        h.tick(0);
        form.dialogRunner = nullptr; // the real modal exec()

        bool runWhileDialogUp = false;
        ModalDialogOperator operatorAtDesk(
            [&](UI_Message &) { runWhileDialogUp |= runHasBegun(form); });
        postClick(form.StartButton);
        form.App_ShowUIMessage_Handler(1, QStringLiteral("Listing the printers failed."), 0, 0);

        QCOMPARE(operatorAtDesk.dialogs, 1);
        QVERIFY(!runWhileDialogUp);
        QTest::qWait(50);
        QVERIFY(!runHasBegun(form));
    }

    void messageDialogIsCentredOverTheWindow()
    {
        if (QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
            QSKIP("Wayland: the compositor places every window, the program cannot.");
        WorkflowHarness h;
        Form1 &form = h.start();
        form.dialogRunner = nullptr;
        form.move(137, 91);
        QRect dialogFrame;
        ModalDialogOperator operatorAtDesk(
            [&](UI_Message &dialog) { dialogFrame = dialog.frameGeometry(); });
        form.App_ShowUIMessage_Handler(1, QStringLiteral("Centred?"), 0, 0);
        QCOMPARE(operatorAtDesk.dialogs, 1);
        const QPoint offset = dialogFrame.center() - form.frameGeometry().center();
        QVERIFY2(qAbs(offset.x()) <= 1 && qAbs(offset.y()) <= 1,
            qPrintable(QStringLiteral("off by %1, %2").arg(offset.x()).arg(offset.y())));
    }

    // After a refusal the end of that try enables CLOSE; the run that follows must not leave it
    // lit and clickable while printers are being flashed.
    void closeIsDisabledForTheWholeRunAfterARefusal()
    {
        WorkflowHarness h;
        h.printers.attach(h.printer("S1"));
        Form1 &form = h.start();
        QTest::mouseClick(form.StartButton, Qt::LeftButton);
        QCOMPARE(h.messages.size(), size_t(1));
        QCOMPARE(h.messages[0].text, form.StrRes("StrRes_SelectPrinter"));
        QVERIFY(form.AppCloseButton->isEnabled());

        h.tick(0);
        int rowsSeen = 0;
        bool closeUsableDuringRun = false;
        h.onStatus = [&](const WorkflowHarness::StatusChange &) {
            ++rowsSeen;
            closeUsableDuringRun |= form.AppCloseButton->isEnabled();
            QTest::mouseClick(form.AppCloseButton, Qt::LeftButton);
            closeUsableDuringRun |= !form.isVisible();
        };
        QTest::mouseClick(form.StartButton, Qt::LeftButton);
        QCOMPARE(rowsSeen, 6);
        QVERIFY(!closeUsableDuringRun);
        QVERIFY(form.isVisible());
        QVERIFY(form.AppCloseButton->isEnabled());
        QCOMPARE(h.statuses(), QStringList { kCompleted });
    }

    // CLOSE lights up at the end of the run and the operator's click is handled by the run's
    // last event processing: it must close the window, not be swallowed.
    void closeClickedAsTheRunEndsCloses()
    {
        WorkflowHarness h;
        h.printers.attach(h.printer("S1"));
        Form1 &form = h.start();
        h.tick(0);

        class ClickWhenLit : public QObject {
        public:
            bool eventFilter(QObject *watched, QEvent *event) override
            {
                auto *button = static_cast<QPushButton *>(watched);
                if (event->type() == QEvent::EnabledChange && button->isEnabled() && !clicked) {
                    clicked = true;
                    postClick(button);
                }
                return false;
            }
            bool clicked = false;
        } operatorAtDesk;
        form.AppCloseButton->installEventFilter(&operatorAtDesk);

        QTest::mouseClick(form.StartButton, Qt::LeftButton);
        QVERIFY(operatorAtDesk.clicked);
        QCOMPARE(h.messages.size(), size_t(1));
        QCOMPARE(h.messages[0].type, 3);
        QVERIFY(!form.isVisible());
    }

    void keyboardAlone_data() { AddIndexRows(KeyWalks()); }

    // Keys go to the window as the window system delivers them; after each the focus is where
    // the work needs it and carries the mark.
    void keyboardAlone()
    {
        QFETCH(int, index);
        const KeyWalk &walk = KeyWalks()[index];
        WorkflowHarness h;
        for (int i = 0; i < walk.printers; ++i)
            h.printers.attach(h.printer("K" + std::to_string(i + 1)));
        Form1 &form = h.start();
        QVERIFY(activate(form));
        QCOMPARE(focusedAndMarked(form), QStringLiteral("SupportedPrinterCheckedListBox"));
        QCOMPARE(form.SupportedPrinterCheckedListBox->currentRow(), 0);

        for (const KeyStep &step : walk.steps) {
            press(form, step.key, step.modifiers);
            if (!step.focusAfter) {
                QVERIFY(!form.isVisible());
                break;
            }
            QVERIFY(form.isVisible());
            if (*step.focusAfter)
                QCOMPARE(focusedAndMarked(form), QString::fromLatin1(step.focusAfter));
        }
        if (walk.runs) {
            QVERIFY(!h.messages.empty());
            QCOMPARE(h.messages.back().type, 3);
            QCOMPARE(h.messages.back().total, walk.printers);
            QCOMPARE(h.messages.back().updated, walk.printers);
        } else {
            QVERIFY(h.messages.empty());
            QCOMPARE(form.FDUStatusListBox->count(), 0);
        }
    }

    void failedLookupLeavesTheStatusListRepainting()
    {
        WorkflowHarness h;
        h.printers.attach(h.printer("S1"));
        Form1 &form = h.start();
        h.tick(0);
        auto &table = form.gLangResourceManager[form.gLanguageImageListIndex];
        table = std::make_unique<TableWithoutKey>(std::move(table), "StrRes_StatusInIdleMode");

        QTest::mouseClick(form.StartButton, Qt::LeftButton);
        QCOMPARE(h.messages.size(), size_t(1));
        QCOMPARE(h.messages[0].type, 1);
        QVERIFY(h.messages[0].text.contains(QLatin1String("StrRes_StatusInIdleMode")));
        QVERIFY(form.FDUStatusListBox->updatesEnabled());
        QVERIFY(form.AppCloseButton->isEnabled());
    }

    // "Not supplied" stays apart from "empty" through the first listing, so the identity check
    // reports the missing name (the printer layer's box, then the operator's message), not an
    // unsupported product.
    void productNameNotSuppliedIsReportedAsMissing()
    {
        WorkflowHarness h;
        h.printers.attach(h.printer("S1"));
        BuildTexts texts = testTexts();
        texts.productName = QString();
        Form1 &form = h.start(texts, false);
        QVERIFY(form.closedDuringLoad());
        QCOMPARE(h.errorBoxes.size(), 1);
        QCOMPARE(h.messages.size(), size_t(1));
        QCOMPARE(h.messages[0].text, form.StrRes("StrRes_FhxFileMissing"));
        QVERIFY(form.buildTexts().productName.isNull());
    }
};

QTEST_MAIN(EventDeliveryTest)
#include "test_event_delivery.moc"
