// The device directory of the running machine, read from udev.
#pragma once

#include "device_directory.h"

#include <mutex>

struct udev;
struct udev_monitor;

namespace vornik::linux_backend {

class UdevDirectory : public DeviceDirectory {
public:
    UdevDirectory();
    ~UdevDirectory() override;
    UdevDirectory(const UdevDirectory &) = delete;
    UdevDirectory &operator=(const UdevDirectory &) = delete;

    bool listPrinters(std::vector<PrinterNode> &nodes) override;
    int countPrintersWithoutDriver() override;
    UsbAddress addressOfNode(const std::string &devnode) override;
    UsbAddress addressOfUsbDevice(const std::string &usbDevicePath) override;
    int noticeFd() const override;
    int takeNotices() override;

private:
    // A udev context is not safe to use from two threads at once, and the probe of a worker
    // can meet the notice handling of the user-interface thread.
    mutable std::mutex mutex_;
    udev *udev_ = nullptr;
    udev_monitor *monitor_ = nullptr;
};

} // namespace vornik::linux_backend
