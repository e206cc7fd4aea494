// Brings the platform's device-change notices to the user-interface thread, one call of
// `onChange` per device arrival or removal.
//
// Backends report changes in one of two ways: through a file descriptor that becomes readable
// (Linux: a udev monitor), watched here with a QSocketNotifier, or by calling a listener from
// whatever thread noticed the change (the simulated printers). Either way the notice is queued
// to this object's thread, so the handler never runs on a worker.
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
    DeviceChangeNotifier(
        vornik::DevicePlatform &devices, std::function<void()> onChange, QObject *parent = nullptr);
    ~DeviceChangeNotifier() override;

private:
    vornik::DevicePlatform &devices_;
    std::function<void()> onChange_;
    QSocketNotifier *socket_ = nullptr;
};
