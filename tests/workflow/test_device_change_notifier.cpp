// Device-change notices reach the window on its own thread, one per device arrival or removal,
// whichever way the backend learns of them, and never after the window's notifier is gone.
#include "notice_pipe_platform.h"

#include "printer_link/simulated/simulated_printers.h"
#include "printer_link/simulated/virtual_clock.h"
#include "workflow/device_change_notifier.h"

#include <QCoreApplication>
#include <QTest>
#include <QThread>

#include <atomic>
#include <thread>

namespace {

// A backend that learns of changes through a descriptor (one byte per device event), like a
// udev monitor, or calls its listener from any thread, like the simulated printers: here in
// front of simulated printers with none attached, so that every notice is the test's own.
class NoticeSource : public NoticePipePlatform {
public:
    NoticeSource()
        : NoticePipePlatform(printers_)
    { }

private:
    vornik::sim::VirtualClock clock_;
    vornik::sim::SimulatedPrinters printers_ { clock_ };
};

} // namespace

class DeviceChangeNotifierTest : public QObject {
    Q_OBJECT

private slots:
    void oneCallPerKernelEventOnTheWindowThread()
    {
        SKIP_WITHOUT_NOTICE_DESCRIPTOR();
        NoticeSource source;
        int calls = 0;
        bool onWindowThread = true;
        DeviceChangeNotifier notifier(source, [&] {
            ++calls;
            onWindowThread &= QThread::currentThread() == QCoreApplication::instance()->thread();
        });
        source.kernelEvent(3);
        QTRY_COMPARE(calls, 3);
        QVERIFY(onWindowThread);
        source.kernelEvent(1);
        QTRY_COMPARE(calls, 4);
    }

    void noticesFromOtherThreadsArriveOnTheWindowThread()
    {
        NoticeSource source;
        std::atomic<int> calls { 0 };
        bool onWindowThread = true;
        DeviceChangeNotifier notifier(source, [&] {
            ++calls;
            onWindowThread &= QThread::currentThread() == QCoreApplication::instance()->thread();
        });
        std::thread printer([&source] {
            for (int i = 0; i < 50; ++i)
                source.notifyFromHere();
        });
        printer.join();
        QCOMPARE(calls.load(), 0); // queued, not run on the printer's thread
        QTRY_COMPARE(calls.load(), 50);
        QVERIFY(onWindowThread);
    }

    void nothingArrivesAfterTheNotifierIsGone()
    {
        NoticeSource source;
        int calls = 0;
        auto notifier = std::make_unique<DeviceChangeNotifier>(source, [&] { ++calls; });
        source.notifyFromHere(); // queued while the notifier still exists
        notifier.reset();
        source.notifyFromHere(); // no listener any more
        QCoreApplication::processEvents();
        QCOMPARE(calls, 0);
    }
};

QTEST_GUILESS_MAIN(DeviceChangeNotifierTest)
#include "test_device_change_notifier.moc"
