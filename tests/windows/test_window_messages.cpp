// Device changes as Windows delivers them: WM_DEVICECHANGE in the main window's own message
// queue, posted by this process or by another one that finds the window by its caption, on the
// windows platform (a real HWND, not the offscreen stand-in).
#include "workflow/harness.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QProcess>
#include <QTest>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace {

// Counts the device-change messages that reach the application, before any window sees them:
// proof that a message the list ignored was delivered all the same.
class DeviceChangeCounter : public QAbstractNativeEventFilter {
public:
    DeviceChangeCounter() { QCoreApplication::instance()->installNativeEventFilter(this); }
    ~DeviceChangeCounter() override { QCoreApplication::instance()->removeNativeEventFilter(this); }
    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) override
    {
        if (eventType == "windows_generic_MSG"
            && static_cast<const MSG *>(message)->message == 0x0219 /* WM_DEVICECHANGE */)
            ++seen;
        return false;
    }
    int seen = 0;
};

} // namespace

class WindowMessagesTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (QGuiApplication::platformName() != QLatin1String("windows"))
            QSKIP("needs the windows platform: these messages exist only in a real window queue");
    }

    void deviceChangeReachesTheList_data()
    {
        QTest::addColumn<bool>("fromAnotherProcess");
        QTest::addColumn<bool>("duringRun");
        QTest::addColumn<int>("listed");
        QTest::newRow("own queue") << false << false << 1;
        QTest::newRow("another process, by caption") << true << false << 1;
        QTest::newRow("own queue, during a run: dropped") << false << true << 0;
        QTest::newRow("another process, during a run: dropped") << true << true << 0;
    }

    void deviceChangeReachesTheList()
    {
        QFETCH(bool, fromAnotherProcess);
        QFETCH(bool, duringRun);
        QFETCH(int, listed);
        WorkflowHarness h;
        Form1 &form = h.start();
        QVERIFY(h.listEntries().isEmpty());
        // Only the window message may rebuild the list: the simulation's own notices are off.
        h.printers.setChangeListener({});
        h.printers.attach(h.printer("S1"));
        if (duringRun)
            form.g_BlockUsbEnumeration = 1; // what START sets for the rest of the process
        DeviceChangeCounter counter;

        if (fromAnotherProcess) {
            const QString driver
                = QCoreApplication::applicationDirPath() + QStringLiteral("/window_driver.exe");
            QCOMPARE(
                QProcess::execute(driver, { QStringLiteral("devicechange"), form.windowTitle() }),
                0);
        } else {
            QVERIFY(PostMessageW(reinterpret_cast<HWND>(form.winId()), WM_DEVICECHANGE,
                0x0007 /* DBT_DEVNODES_CHANGED */, 0));
        }
        QTRY_VERIFY_WITH_TIMEOUT(counter.seen >= 1, 10000);
        QCoreApplication::processEvents();
        QCOMPARE(h.listEntries().size(), listed);
    }
};

QTEST_MAIN(WindowMessagesTest)
#include "test_window_messages.moc"
