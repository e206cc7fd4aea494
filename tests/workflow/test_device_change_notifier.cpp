// Device-change notices reach the window on its own thread, one per device arrival or removal,
// whichever way the backend learns of them, and never after the window's notifier is gone.
#include "printer_link/platform.h"
#include "workflow/device_change_notifier.h"

#include <QCoreApplication>
#include <QTest>
#include <QThread>

#include <atomic>
#include <thread>

#ifdef Q_OS_WIN
// Notices through a descriptor are the Linux road (a udev monitor); Windows has no such
// descriptor and sends WM_DEVICECHANGE to the window instead (tests/windows).
#define SKIP_WITHOUT_NOTICE_DESCRIPTOR()                                                           \
    QSKIP("device notices through a descriptor exist only on Linux (udev)")
#include <io.h>
#else
#define SKIP_WITHOUT_NOTICE_DESCRIPTOR()
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

// A backend that learns of changes through a descriptor (one byte per device event), like a
// udev monitor, or calls its listener from any thread, like the simulated printers.
class NoticeSource : public vornik::DevicePlatform {
public:
    NoticeSource()
    {
#ifndef Q_OS_WIN
        if (pipe2(fds_, O_NONBLOCK | O_CLOEXEC) != 0)
            fds_[0] = fds_[1] = -1;
#endif
    }
    ~NoticeSource() override
    {
#ifndef Q_OS_WIN
        ::close(fds_[0]);
        ::close(fds_[1]);
#endif
    }
    void kernelEvent(int count)
    {
        for (int i = 0; i < count; ++i)
            QVERIFY(::write(fds_[1], "x", 1) == 1);
    }
    void notifyFromHere()
    {
        if (listener_)
            listener_();
    }

    bool beginEnumeration() override { return false; }
    vornik::InterfaceLookup interfacePath(int, std::u16string &) override
    {
        return vornik::InterfaceLookup::NoMoreMembers;
    }
    void endEnumeration() override { }
    vornik::DeviceHandle open(const std::u16string &, vornik::OpenMode) override
    {
        return vornik::kInvalidDeviceHandle;
    }
    bool queryDeviceId(vornik::DeviceHandle, std::uint8_t *, std::size_t) override { return false; }
    bool write(vornik::DeviceHandle, const std::uint8_t *, std::size_t) override { return false; }
    bool read(vornik::DeviceHandle, std::uint8_t *, std::size_t, std::size_t &got) override
    {
        got = 0;
        return false;
    }
    void close(vornik::DeviceHandle) override { }
    void setChangeListener(std::function<void()> listener) override
    {
        listener_ = std::move(listener);
    }
    int notificationFd() const override { return fds_[0]; }
    void readNotifications() override
    {
        char byte;
        while (::read(fds_[0], &byte, 1) == 1)
            notifyFromHere();
    }

private:
    int fds_[2] = { -1, -1 };
    std::function<void()> listener_;
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
