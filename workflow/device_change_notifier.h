// Brings the platform's device-change notices to the user-interface thread, one call of
// `onChange` per device arrival or removal.
//
// Backends report changes in one of two ways: through a file descriptor that becomes readable
// (Linux: a udev monitor), watched here with a QSocketNotifier, or by calling a listener from
// whatever thread noticed the change (the simulated printers). Either way the handler is posted
// to the application object's thread (the user-interface thread, where this object must be
// made too), never runs on a worker, and never nested inside a backend call.
//
// A notice that arrives on this object's thread while `accepting` says no is dropped on the
// spot. That is how a notice raised while a listing pumps events (the udev descriptor becoming
// readable, the bench's poll timer) is lost rather than deferred: a queued call posted during
// processEvents() would only run after that call returned, when the listing is over, and start
// another listing that undoes the operator's ticks.
#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

namespace vornik {
class DevicePlatform;
}

class DeviceChangeNotifier : public QObject {
    Q_OBJECT

public:
    DeviceChangeNotifier(vornik::DevicePlatform &devices, std::function<void()> onChange,
        QObject *parent = nullptr, std::function<bool()> accepting = {});
    ~DeviceChangeNotifier() override;

private:
    vornik::DevicePlatform &devices_;
    std::function<void()> onChange_;
    std::function<bool()> accepting_;
    QSocketNotifier *socket_ = nullptr;
};
