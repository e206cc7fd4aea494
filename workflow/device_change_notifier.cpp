#include "device_change_notifier.h"

#include "printer_link/platform.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <QThread>

DeviceChangeNotifier::DeviceChangeNotifier(vornik::DevicePlatform &devices,
    std::function<void()> onChange, QObject *parent, std::function<bool()> accepting)
    : QObject(parent)
    , devices_(devices)
    , onChange_(std::move(onChange))
    , accepting_(std::move(accepting))
{
    // The listener may run on any thread and after this object is gone; the guarded pointer is
    // checked on the application object's thread, where the notice is handled and where this
    // object lives.
    const QPointer<DeviceChangeNotifier> self(this);
    QThread *const home = thread();
    devices_.setChangeListener([self, home] {
        // On the home thread the notice arrives now; whether it is wanted is decided now. It is
        // still handled from the event loop, outside the backend that raised it.
        if (QThread::currentThread() == home && self && self->accepting_ && !self->accepting_())
            return;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self] {
                if (self)
                    self->onChange_();
            },
            Qt::QueuedConnection);
    });
    if (const int fd = devices_.notificationFd(); fd >= 0) {
        socket_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(
            socket_, &QSocketNotifier::activated, this, [this] { devices_.readNotifications(); });
    }
}

DeviceChangeNotifier::~DeviceChangeNotifier()
{
    devices_.setChangeListener(nullptr);
}
