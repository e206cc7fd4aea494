// Where the Linux backend learns which printers exist: the usblp interfaces, the USB devices
// behind them, and notices when they come and go. An interface so that tests can play the
// machine; UdevDirectory (udev_directory.h) is the real one.
#pragma once

#include <string>
#include <vector>

namespace vornik::linux_backend {

// Bus number and device number of a USB device. The device number is handed out afresh every
// time a device joins the bus, so the pair tells a printer that came back (or a different one
// on the same port) from the one that was there before.
struct UsbAddress {
    int bus = -1;
    int device = -1;
    bool known() const { return bus >= 0 && device >= 0; }
    bool operator==(const UsbAddress &) const = default;
};

struct PrinterNode {
    std::string devnode; // /dev/usb/lpN
    std::string usbDevicePath; // sysfs path of the USB device the interface belongs to
    UsbAddress address; // that device's address when the node was listed
    // udev has run its rules for the node. Until then it is root's alone (devtmpfs makes it
    // 0600), and whatever the rules decide of it has not happened yet.
    bool initialized = true;
};

class DeviceDirectory {
public:
    virtual ~DeviceDirectory() = default;

    // The present usblp interfaces, in udev's order, set up or not. False when they cannot be
    // listed.
    virtual bool listPrinters(std::vector<PrinterNode> &nodes) = 0;
    // How many USB devices on the bus have a printer interface that usblp serves (class 7,
    // subclass 1, protocol 1 to 3) with usblp not bound to it: another program detached it.
    virtual int countPrintersWithoutDriver() = 0;
    // The address of the USB device behind the device node `devnode` now; unknown when the
    // node is gone or belongs to no USB device.
    virtual UsbAddress addressOfNode(const std::string &devnode) = 0;
    // The address of the USB device at `usbDevicePath` now; unknown when it has left.
    virtual UsbAddress addressOfUsbDevice(const std::string &usbDevicePath) = 0;

    // A descriptor that becomes readable when printer interfaces come or go (-1: none), and
    // the number of arrivals and removals that came in since the last call.
    virtual int noticeFd() const = 0;
    virtual int takeNotices() = 0;
};

} // namespace vornik::linux_backend
