// The message dialog in its three modes, the bar animation, the window's message operations
// (from the user-interface thread and from a worker), and the system boxes that stand in when
// the dialog cannot be shown.
#include "ui_support.h"

#include "printer_link/platform.h"
#include "ui/pictures.h"
#include "ui/tool_style.h"

#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <stdexcept>
#include <thread>

namespace {

const QChar kSquare(0x25A0);

struct Shown {
    int type = 0;
    QString caption;
    QString page; // objectName of the page in front (the dialog is gone once dismissed)
    bool okEnabled = false;
    QString okText;
    QString message;
    QString counts;
    QPixmap picture;
    bool barRunning = false;
    // What assistive technology meets: the dialog's role and name, faults of its tree, whether
    // OK can be pressed.
    int role = 0;
    QString name;
    QStringList faults;
    bool okPressable = false;
};

// Shows the dialog the way exec() would, records what the operator would see, and dismisses it.
Shown showAndDismiss(UI_Message &dialog)
{
    dialog.show();
    Shown shown;
    shown.type = dialog.gUI_Message_MsgType;
    shown.caption = dialog.UI_CaptionLabel->text();
    const QWidget *page = dialog.MainTabControl->currentWidget();
    shown.page = page->objectName();
    shown.okEnabled = dialog.UI_OkButton->isEnabled();
    shown.okText = dialog.UI_OkButton->text();
    if (page == dialog.MessageTabPage)
        shown.message = dialog.UI_MessageLabel->text();
    else if (page == dialog.ResultTabPage)
        shown.message = dialog.UI_ResultLabel->text();
    else
        shown.message = dialog.UI_ProgressMsgLabel->text();
    shown.counts = dialog.UI_UpdatedPrintersLabel->text();
    shown.picture = dialog.UI_UpdatedPicBox->pixmap();
    shown.barRunning = dialog.UI_ProgressTimer->isActive();
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(&dialog);
    shown.role = int(iface->role());
    shown.name = iface->text(QAccessible::Name);
    shown.faults = AccessibilityFaults(&dialog);
    shown.okPressable = QAccessible::queryAccessibleInterface(dialog.UI_OkButton)
                            ->actionInterface()
                            ->actionNames()
                            .contains(QAccessibleActionInterface::pressAction());
    dialog.close();
    return shown;
}

UI_MessageInfo info(int type, const QString &message = QStringLiteral("text"))
{
    UI_MessageInfo record;
    record.MsgType = type;
    record.CaptionStr = QStringLiteral("ZELTAN QXR3303 FDU");
    record.MessageStr = message;
    return record;
}

std::unique_ptr<Form1> readyForm(int language = 0)
{
    auto form = std::make_unique<Form1>(testTexts());
    form->App_OpenStringTables();
    form->gLanguageImageListIndex = language;
    return form;
}

} // namespace

class MessageDialogTest : public QObject {
    Q_OBJECT

private slots:
    void modesShowWhatTheyCarry_data()
    {
        QTest::addColumn<int>("language");
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("total");
        QTest::addColumn<int>("updated");
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("counts");
        QTest::addColumn<int>("picture"); // -1: none

        QTest::newRow("message") << 0 << 1 << 0 << 0 << "MessageTabPage"
                                 << "" << -1;
        QTest::newRow("all updated") << 0 << 3 << 3 << 3 << "ResultTabPage"
                                     << "[3/3]  printers updated" << 0;
        QTest::newRow("some updated") << 0 << 3 << 3 << 2 << "ResultTabPage"
                                      << "[2/3]  printers updated" << 1;
        QTest::newRow("none of none") << 0 << 3 << 0 << 0 << "ResultTabPage"
                                      << "[0/0]  printers updated" << 0;
        QTest::newRow("none of one") << 0 << 3 << 1 << 0 << "ResultTabPage"
                                     << "[0/1]  printers updated" << 1;
        QTest::newRow("more than run") << 0 << 3 << 2 << 3 << "ResultTabPage"
                                       << "[3/2]  printers updated" << 1;
        QTest::newRow("German result") << 1 << 3 << 12 << 12 << "ResultTabPage"
                                       << "[12/12]  Drucker aktualisiert" << 0;
        QTest::newRow("French result")
            << 3 << 3 << 2 << 1 << "ResultTabPage"
            << QStringLiteral("[1/2]  imprimantes mises \u00e0 jour") << 1;
        QTest::newRow("unknown type") << 0 << 7 << 0 << 0 << "MessageTabPage"
                                      << "" << -1;
    }

    void modesShowWhatTheyCarry()
    {
        QFETCH(int, language);
        QFETCH(int, type);
        QFETCH(int, total);
        QFETCH(int, updated);
        QFETCH(QString, page);
        QFETCH(QString, counts);
        QFETCH(int, picture);

        auto form = readyForm(language);
        std::vector<Shown> shown;
        form->dialogRunner = [&](UI_Message &dialog) { shown.push_back(showAndDismiss(dialog)); };
        form->App_ShowUIMessage_Handler(
            type, QStringLiteral("Line one\r\nLine two"), total, updated);

        QCOMPARE(shown.size(), std::size_t(1));
        QCOMPARE(shown[0].page, page);
        QCOMPARE(shown[0].caption, QStringLiteral("ZELTAN QXR3303 FDU"));
        QCOMPARE(shown[0].message, QStringLiteral("Line one\r\nLine two"));
        QVERIFY(shown[0].okEnabled);
        QCOMPARE(shown[0].okText, QStringLiteral("OK"));
        // An alert named by its caption, not by its window text.
        QCOMPARE(shown[0].role, int(QAccessible::AlertMessage));
        QCOMPARE(shown[0].name, QStringLiteral("ZELTAN QXR3303 FDU"));
        QVERIFY2(shown[0].faults.isEmpty(), qPrintable(shown[0].faults.join(u'\n')));
        QVERIFY(shown[0].okPressable);
        if (picture >= 0) {
            QCOMPARE(shown[0].counts, counts);
            const UI_Message reference;
            QVERIFY(samePicture(shown[0].picture, reference.UI_ImageList.image(picture)));
        }
    }

    void progressDialogRunsUntilItsOwnerClosesIt()
    {
        auto form = readyForm();
        MessageBoxCatcher boxes;
        UI_Message dialog;
        form->App_ShowUIProgressForm_Handler(&dialog, QStringLiteral("Preparing"));

        // Not modal: the call came back with the dialog up.
        QVERIFY(dialog.isVisible());
        QVERIFY(!dialog.isModal());
        QCOMPARE(dialog.gUI_Message_MsgType, 2);
        QCOMPARE(dialog.gUI_Message_ResultStr, QString());
        QCOMPARE(dialog.gUI_Message_TotalPrinters, 0);
        QCOMPARE(dialog.UI_CaptionLabel->text(), QStringLiteral("ZELTAN QXR3303 FDU"));
        QCOMPARE(dialog.MainTabControl->currentWidget(), dialog.ProgressTabPage);
        QCOMPARE(dialog.UI_ProgressMsgLabel->text(), QStringLiteral("Preparing"));
        QVERIFY(!dialog.UI_OkButton->isEnabled());
        QVERIFY(dialog.UI_ProgressTimer->isActive());
        QTRY_VERIFY(!dialog.UI_ProgressBarLabel->text().isEmpty());
        // To assistive technology a dialog, with its step and bar to read.
        QCOMPARE(
            int(QAccessible::queryAccessibleInterface(&dialog)->role()), int(QAccessible::Dialog));
        for (QLabel *label : { dialog.UI_ProgressMsgLabel, dialog.UI_ProgressBarLabel })
            QCOMPARE(QAccessible::queryAccessibleInterface(label)->text(QAccessible::Name),
                label->text());

        // The operator cannot dismiss it.
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QVERIFY(dialog.isVisible());

        form->App_UpdateUIProgress(&dialog, QStringLiteral("Step 2"));
        QCOMPARE(dialog.UI_ProgressMsgLabel->text(), QStringLiteral("Step 2"));

        // Hidden by its owner the bar rests; the next update brings it back, moving.
        dialog.hide();
        QVERIFY(!dialog.UI_ProgressTimer->isActive());
        QVERIFY(dialog.UI_ProgressBarLabel->text().isEmpty());
        form->App_UpdateUIProgress(&dialog, QStringLiteral("Step 3"));
        QVERIFY(dialog.isVisible());
        QVERIFY(dialog.UI_ProgressTimer->isActive());
        QCOMPARE(dialog.UI_ProgressMsgLabel->text(), QStringLiteral("Step 3"));
        QVERIFY(boxes.boxes.empty());
    }

    void progressTextOnlyChangesInProgressMode_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("changes");
        QTest::newRow("message") << 1 << false;
        QTest::newRow("progress") << 2 << true;
        QTest::newRow("result") << 3 << false;
    }

    void progressTextOnlyChangesInProgressMode()
    {
        QFETCH(int, type);
        QFETCH(bool, changes);
        UI_Message dialog;
        dialog.UI_IFCSetInfo(QVariant::fromValue(info(type)));
        dialog.show();
        QWidget *page = dialog.MainTabControl->currentWidget();
        const QString before = dialog.UI_ProgressMsgLabel->text();

        dialog.UI_IFCUpdateProgressMessage(QStringLiteral("new step"));

        QCOMPARE(dialog.UI_ProgressMsgLabel->text(), changes ? QStringLiteral("new step") : before);
        QCOMPARE(dialog.MainTabControl->currentWidget(), changes ? dialog.ProgressTabPage : page);
        dialog.hide();
    }

    void barGrowsToFourteenThenStartsOver()
    {
        UI_Message dialog;
        QLabel *bar = dialog.UI_ProgressBarLabel;
        bar->setText(QStringLiteral("stale"));

        dialog.UI_ProgressTimer_Handler(QStringLiteral("Start"));
        QVERIFY(dialog.UI_ProgressTimer->isActive());
        QCOMPARE(bar->text(), QString());
        for (int i = 1; i <= 14; ++i) {
            dialog.UI_ProgressTimer_Handler(QStringLiteral("Run"));
            QCOMPARE(bar->text(), QString(i, kSquare));
        }
        dialog.UI_ProgressTimer_Handler(QStringLiteral("Run"));
        QCOMPARE(bar->text(), QString(1, kSquare));

        dialog.UI_ProgressTimer_Handler(QStringLiteral("Run"));
        dialog.UI_ProgressTimer_Handler(QStringLiteral("Start"));
        QCOMPARE(bar->text(), QString(2, kSquare));

        // Commands are case-sensitive.
        for (const char *other : { "run", "STOP", "Start ", "" })
            dialog.UI_ProgressTimer_Handler(QLatin1String(other));
        QCOMPARE(bar->text(), QString(2, kSquare));
        QVERIFY(dialog.UI_ProgressTimer->isActive());

        dialog.UI_ProgressTimer_Handler(QStringLiteral("Stop"));
        QVERIFY(!dialog.UI_ProgressTimer->isActive());
        QCOMPARE(bar->text(), QString());

        // The timer itself drives the bar.
        dialog.UI_ProgressTimer_Handler(QStringLiteral("Start"));
        QTRY_COMPARE_WITH_TIMEOUT(bar->text(), QString(1, kSquare), 1000);
        dialog.UI_ProgressTimer_Handler(QStringLiteral("Stop"));
    }

    void overlongTextIsCutWithAnEllipsis_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("label");
        QTest::addColumn<bool>("elided");
        QTest::newRow("message") << 1 << "UI_MessageLabel" << true;
        QTest::newRow("progress") << 2 << "UI_ProgressMsgLabel" << true;
        QTest::newRow("result, clipped") << 3 << "UI_ResultLabel" << false;
    }

    void overlongTextIsCutWithAnEllipsis()
    {
        QFETCH(int, type);
        QFETCH(QString, label);
        QFETCH(bool, elided);
        const QString longText = QStringLiteral("Error: Printer not found! ").repeated(80);
        UI_Message dialog;
        dialog.UI_IFCSetInfo(QVariant::fromValue(info(type, longText)));
        dialog.show();
        auto *shown = dialog.findChild<QLabel *>(label);
        QVERIFY(shown);
        QCOMPARE(shown->text(), longText);
        auto *cut = dynamic_cast<tool_style::ElidedLabel *>(shown);
        QVERIFY(cut);
        const QString visible = cut->shownText();
        QVERIFY(visible.size() < longText.size());
        QCOMPARE(visible.endsWith(QChar(0x2026)), elided);
        QVERIFY(visible.count(QLatin1Char('\n')) >= 2);
        dialog.hide();
    }

    void shortTextIsShownWhole_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("two lines") << QStringLiteral("ERROR: Firmware file!\r\nClosing tool");
        // As the window tells it: no word that merely wraps may be cut with an ellipsis.
        QTest::newRow("German access notice")
            << readyForm(1)->StrRes("StrRes_PrinterAccessDenied").arg(2).arg("operator");
    }

    void shortTextIsShownWhole()
    {
        QFETCH(QString, text);
        UI_Message dialog;
        dialog.UI_IFCSetInfo(QVariant::fromValue(info(1, text)));
        dialog.show();
        auto *cut = dynamic_cast<tool_style::ElidedLabel *>(dialog.UI_MessageLabel);
        QVERIFY(cut);
        // Broken only where the text breaks, or at the blank where a line wraps.
        QCOMPARE(cut->shownText().split(u'\n').join(u' '), QString(text).replace("\r\n", " "));
        dialog.hide();
    }

    // A key or click already on its way when the dialog comes up is delivered by the load's own
    // event processing, before exec() has a loop to leave: the dialog must still close and
    // exec() return with what the operator chose.
    void closedWhileItLoadsStillReturnsFromExec_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("byClick");
        QTest::addColumn<int>("result");
        QTest::newRow("message, Escape") << 1 << false << int(QDialog::Rejected);
        QTest::newRow("result, Escape") << 3 << false << int(QDialog::Rejected);
        QTest::newRow("message, OK") << 1 << true << int(QDialog::Accepted);
        QTest::newRow("result, OK") << 3 << true << int(QDialog::Accepted);
    }

    void closedWhileItLoadsStillReturnsFromExec()
    {
        QFETCH(int, type);
        QFETCH(bool, byClick);
        QFETCH(int, result);
        UI_Message dialog;
        dialog.UI_IFCSetInfo(QVariant::fromValue(info(type)));
        if (byClick) {
            // A click is only taken by a visible button; queue it for the first moment the
            // dialog is up, which is inside the load.
            const QPoint centre = dialog.UI_OkButton->rect().center();
            const QPoint global = dialog.UI_OkButton->mapToGlobal(centre);
            QCoreApplication::postEvent(dialog.UI_OkButton,
                new QMouseEvent(QEvent::MouseButtonPress, centre, global, Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier));
            QCoreApplication::postEvent(dialog.UI_OkButton,
                new QMouseEvent(QEvent::MouseButtonRelease, centre, global, Qt::LeftButton,
                    Qt::NoButton, Qt::NoModifier));
        } else {
            QCoreApplication::postEvent(
                &dialog, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
        }
        bool hung = false;
        QTimer::singleShot(3000, &dialog, [&] {
            // A hidden dialog ignores done(): show it again so that its loop can end.
            hung = true;
            dialog.show();
            dialog.QDialog::done(-1);
        });
        const int returned = dialog.exec();
        QVERIFY(!hung);
        QCOMPARE(returned, result);
        QVERIFY(!dialog.isVisible());
    }

    void somethingOtherThanARecordIsRefused()
    {
        UI_Message dialog;
        QVERIFY_THROWS_EXCEPTION(
            std::invalid_argument, dialog.UI_IFCSetInfo(QVariant(QStringLiteral("text"))));
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, dialog.UI_IFCSetInfo(QVariant()));
    }

    void messageBeforeTheTablesAreOpenStillReachesTheOperator_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("boxes");
        QTest::newRow("message") << 1 << 0;
        QTest::newRow("result") << 3 << 1;
    }

    void messageBeforeTheTablesAreOpenStillReachesTheOperator()
    {
        QFETCH(int, type);
        QFETCH(int, boxes);
        Form1 form(testTexts());
        MessageBoxCatcher catcher;
        std::vector<Shown> shown;
        form.dialogRunner = [&](UI_Message &dialog) { shown.push_back(showAndDismiss(dialog)); };

        form.App_ShowUIMessage_Handler(type, QStringLiteral("String table missing"), 1, 1);

        QCOMPARE(shown.size(), std::size_t(1));
        QCOMPARE(shown[0].message, QStringLiteral("String table missing"));
        QCOMPARE(int(catcher.boxes.size()), boxes);
        if (boxes) {
            QCOMPARE(catcher.boxes[0].caption, QStringLiteral("FDU Tool"));
            QVERIFY(catcher.boxes[0].text.contains(QLatin1String("StrRes_UIMsgResult")));
        }
    }

    void dialogFailureFallsBackToASystemBox()
    {
        auto form = readyForm();
        MessageBoxCatcher catcher;
        form->dialogRunner
            = [](UI_Message &) { throw std::runtime_error("no screen for a dialog"); };

        form->App_ShowUIMessage_Handler(1, QStringLiteral("lost?"), 0, 0);
        UI_Message *none = nullptr;
        form->App_ShowUIProgressForm_Handler(none, QStringLiteral("x"));
        form->App_UpdateUIProgress(none, QStringLiteral("x"));

        QCOMPARE(catcher.boxes.size(), std::size_t(3));
        QCOMPARE(catcher.boxes[0].text, QStringLiteral("no screen for a dialog"));
        for (const auto &box : catcher.boxes) {
            QCOMPARE(box.caption, QStringLiteral("FDU Tool"));
            QCOMPARE(box.icon, QMessageBox::Critical);
            QVERIFY(box.hadOkButton);
        }
    }

    void messageFromAWorkerWaitsForTheOperator()
    {
        auto form = readyForm();
        std::atomic<bool> returned = false;
        bool returnedWhileShown = true;
        bool onFormThread = false;
        QString text;
        form->dialogRunner = [&](UI_Message &dialog) {
            onFormThread = QThread::currentThread() == form->thread();
            text = dialog.gUI_Message_MessageStr;
            // The operator reads for a while; the worker must still be waiting.
            QTest::qWait(100);
            returnedWhileShown = returned;
        };

        std::thread worker([&] {
            form->App_ShowUIMessage_Handler(
                1, QStringLiteral("Build Error: Could not find firmware resource file!"), 0, 0);
            returned = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(returned.load(), 5000);
        worker.join();

        QVERIFY(onFormThread);
        QVERIFY(!returnedWhileShown);
        QCOMPARE(text, QStringLiteral("Build Error: Could not find firmware resource file!"));
    }

    void printerLayerErrorBoxWorksFromAWorker()
    {
        InstallQtErrorBox();
        MessageBoxCatcher catcher;
        std::atomic<bool> returned = false;
        std::thread worker([&] {
            vornik::ShowPrinterLayerError(u"Device I/O failed");
            returned = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(returned.load(), 5000);
        worker.join();
        vornik::InstallErrorBox(nullptr);

        QCOMPARE(catcher.boxes.size(), std::size_t(1));
        QCOMPARE(catcher.boxes[0].caption, QStringLiteral("FDU App"));
        QCOMPARE(catcher.boxes[0].text, QStringLiteral("Device I/O failed"));
        QCOMPARE(catcher.boxes[0].icon, QMessageBox::Critical);
    }
};

QTEST_MAIN(MessageDialogTest)
#include "test_message_dialog.moc"
