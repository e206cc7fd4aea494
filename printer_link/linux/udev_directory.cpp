#include "udev_directory.h"

#include <libudev.h>

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <set>
#include <string>
#include <sys/stat.h>

namespace vornik::linux_backend {

namespace {

// The usblp driver registers its interfaces in the usbmisc class as lp0, lp1, ... The class
// holds other drivers' nodes too, so the name matters.
constexpr char kPrinterSubsystem[] = "usbmisc";
constexpr char kPrinterNamePattern[] = "lp*";

bool IsPrinterName(const char *sysname)
{
    return sysname && std::strncmp(sysname, "lp", 2) == 0;
}

int NumberAttribute(udev_device *device, const char *name)
{
    const char *text = udev_device_get_sysattr_value(device, name);
    if (!text || !*text)
        return -1;
    char *end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || value < 0 || value > 0xFFFF)
        return -1;
    return static_cast<int>(value);
}

UsbAddress AddressOf(udev_device *usbDevice)
{
    if (!usbDevice)
        return {};
    return { NumberAttribute(usbDevice, "busnum"), NumberAttribute(usbDevice, "devnum") };
}

udev_device *UsbDeviceOf(udev_device *interfaceNode)
{
    // Owned by `interfaceNode`; not to be released on its own.
    return udev_device_get_parent_with_subsystem_devtype(interfaceNode, "usb", "usb_device");
}

} // namespace

UdevDirectory::UdevDirectory()
{
    udev_ = udev_new();
    if (!udev_)
        return;
    monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
    if (!monitor_)
        return;
    const int fd = udev_monitor_get_fd(monitor_);
    if (udev_monitor_filter_add_match_subsystem_devtype(monitor_, kPrinterSubsystem, nullptr) < 0
        || udev_monitor_enable_receiving(monitor_) < 0 || fd < 0) {
        udev_monitor_unref(monitor_);
        monitor_ = nullptr;
        return;
    }
    // Draining must never wait for the next event.
    const int flags = fcntl(fd, F_GETFL);
    if (flags >= 0)
        fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

UdevDirectory::~UdevDirectory()
{
    if (monitor_)
        udev_monitor_unref(monitor_);
    if (udev_)
        udev_unref(udev_);
}

bool UdevDirectory::listPrinters(std::vector<PrinterNode> &nodes)
{
    std::lock_guard lock(mutex_);
    nodes.clear();
    if (!udev_)
        return false;
    udev_enumerate *enumeration = udev_enumerate_new(udev_);
    if (!enumeration)
        return false;
    bool listed = udev_enumerate_add_match_subsystem(enumeration, kPrinterSubsystem) >= 0
        && udev_enumerate_add_match_sysname(enumeration, kPrinterNamePattern) >= 0
        && udev_enumerate_scan_devices(enumeration) >= 0;
    if (listed) {
        udev_list_entry *entry = nullptr;
        udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumeration))
        {
            udev_device *device
                = udev_device_new_from_syspath(udev_, udev_list_entry_get_name(entry));
            if (!device)
                continue; // left between the scan and the look-up
            if (const char *devnode = udev_device_get_devnode(device)) {
                PrinterNode node;
                node.devnode = devnode;
                // The same test udev_enumerate_add_match_is_initialized() makes, taken per node
                // so that the backend can wait for one still being set up.
                node.initialized = udev_device_get_is_initialized(device) > 0;
                if (udev_device *usb = UsbDeviceOf(device)) {
                    if (const char *path = udev_device_get_syspath(usb))
                        node.usbDevicePath = path;
                    node.address = AddressOf(usb);
                }
                nodes.push_back(std::move(node));
            }
            udev_device_unref(device);
        }
    }
    udev_enumerate_unref(enumeration);
    return listed;
}

int UdevDirectory::countPrintersWithoutDriver()
{
    std::lock_guard lock(mutex_);
    if (!udev_)
        return 0;
    udev_enumerate *enumeration = udev_enumerate_new(udev_);
    if (!enumeration)
        return 0;
    // Printer interfaces of the kinds usblp takes (unidirectional, bidirectional, IEEE 1284.4);
    // IPP over USB (protocol 4) is never usblp's. With no driver, or usbfs (a program claimed it
    // through libusb), the printer has no node at all. Counted per USB device.
    std::set<std::string> devices;
    if (udev_enumerate_add_match_subsystem(enumeration, "usb") >= 0
        && udev_enumerate_add_match_property(enumeration, "DEVTYPE", "usb_interface") >= 0
        && udev_enumerate_add_match_sysattr(enumeration, "bInterfaceClass", "07") >= 0
        && udev_enumerate_add_match_sysattr(enumeration, "bInterfaceSubClass", "01") >= 0
        && udev_enumerate_scan_devices(enumeration) >= 0) {
        udev_list_entry *entry = nullptr;
        udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumeration))
        {
            udev_device *interface = udev_device_new_from_syspath(
                udev_, udev_list_entry_get_name(entry));
            if (!interface)
                continue;
            const char *protocol = udev_device_get_sysattr_value(interface, "bInterfaceProtocol");
            const char *driver = udev_device_get_driver(interface);
            const bool usblpKind = protocol
                && (std::strcmp(protocol, "01") == 0 || std::strcmp(protocol, "02") == 0
                    || std::strcmp(protocol, "03") == 0);
            if (usblpKind && (!driver || std::strcmp(driver, "usblp") != 0)) {
                if (udev_device *usb = UsbDeviceOf(interface))
                    if (const char *path = udev_device_get_syspath(usb))
                        devices.insert(path);
            }
            udev_device_unref(interface);
        }
    }
    udev_enumerate_unref(enumeration);
    return static_cast<int>(devices.size());
}

UsbAddress UdevDirectory::addressOfNode(const std::string &devnode)
{
    std::lock_guard lock(mutex_);
    struct stat status { };
    if (!udev_ || ::stat(devnode.c_str(), &status) != 0 || !S_ISCHR(status.st_mode))
        return {};
    udev_device *device = udev_device_new_from_devnum(udev_, 'c', status.st_rdev);
    if (!device)
        return {};
    const UsbAddress address = AddressOf(UsbDeviceOf(device));
    udev_device_unref(device);
    return address;
}

UsbAddress UdevDirectory::addressOfUsbDevice(const std::string &usbDevicePath)
{
    std::lock_guard lock(mutex_);
    if (!udev_ || usbDevicePath.empty())
        return {};
    udev_device *device = udev_device_new_from_syspath(udev_, usbDevicePath.c_str());
    if (!device)
        return {};
    const UsbAddress address = AddressOf(device);
    udev_device_unref(device);
    return address;
}

int UdevDirectory::noticeFd() const
{
    std::lock_guard lock(mutex_);
    return monitor_ ? udev_monitor_get_fd(monitor_) : -1;
}

int UdevDirectory::takeNotices()
{
    std::lock_guard lock(mutex_);
    if (!monitor_)
        return 0;
    int notices = 0;
    while (udev_device *device = udev_monitor_receive_device(monitor_)) {
        const char *action = udev_device_get_action(device);
        if (action && IsPrinterName(udev_device_get_sysname(device))
            && (std::strcmp(action, "add") == 0 || std::strcmp(action, "remove") == 0))
            ++notices;
        udev_device_unref(device);
    }
    return notices;
}

} // namespace vornik::linux_backend
