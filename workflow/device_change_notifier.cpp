#include "device_change_notifier.h"

#include "printer_link/platform.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>

DeviceChangeNotifier::DeviceChangeNotifier(
    vornik::DevicePlatform &devices, std::function<void()> onChange, QObject *parent)
    : QObject(parent)
    , devices_(devices)
    , onChange_(std::move(onChange))
{
    // The listener may run on any thread and after this object is gone; the guarded pointer is
    // checked on this object's thread, where the notice is handled.
    const QPointer<DeviceChangeNotifier> self(this);
    devices_.setChangeListener([self] {
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
