// The printer layer on Linux, over the kernel's USB printer-class driver (usblp).
//
// The facts of usblp that shape this backend:
// - Its nodes are /dev/usb/lpN (usbmisc class); N is the lowest free minor, so a printer that
//   leaves the bus and comes back, or another printer, soon gets the same node. Every node is
//   therefore remembered with the USB address of the device it belonged to when it was listed,
//   and a node that now belongs to another device counts as gone.
// - Open is exclusive: a second opener gets EBUSY.
// - Neither a blocking read nor a blocking write ever times out, and closing the node kills a
//   write still in flight. So reads and writes are non-blocking with poll(), and a write
//   returns only once the driver has finished with the last block.
// - The device ID comes from an ioctl with a two-byte length in front (device_id.h).
// - It reads ahead from the moment a node is opened and throws away what nobody read when the
//   node is closed. A reply that comes while a command's handle is still open would be lost,
//   so close() keeps it for the next read of the same printer.
//
// All system calls go through a Syscalls table and all udev queries through a DeviceDirectory,
// so tests can play the kernel; the clock is the one the stall limit is measured on.
#pragma once

#include "device_directory.h"
#include "syscalls.h"

#include "printer_link/platform.h"

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace vornik::linux_backend {

// Longest wait of a read that finds no data.
inline constexpr int kReadWaitMs = 50;
// How long a write waits in poll() before it looks at the stall limit again.
inline constexpr int kWritePollMs = 1000;

class LinuxDevicePlatform : public DevicePlatform {
public:
    LinuxDevicePlatform(const Syscalls &calls, DeviceDirectory &directory, Clock &clock);

    bool beginEnumeration() override;
    InterfaceLookup interfacePath(int index, std::u16string &path) override;
    void endEnumeration() override;

    DeviceHandle open(const std::u16string &path, OpenMode mode) override;
    bool queryDeviceId(DeviceHandle handle, std::uint8_t *buffer, std::size_t size) override;
    bool write(DeviceHandle handle, const std::uint8_t *data, std::size_t size) override;
    bool read(
        DeviceHandle handle, std::uint8_t *buffer, std::size_t capacity, std::size_t &got) override;
    void close(DeviceHandle handle) override;
    bool isPresent(const std::u16string &path) override;
    std::string lastErrorText() const override;

    void setChangeListener(std::function<void()> listener) override;
    int notificationFd() const override;
    void readNotifications() override;

private:
    enum class NodeOwner { Listed, Other, Unknown };

    int openNode(const std::string &devnode, OpenMode mode);
    NodeOwner ownerOfOpenNode(int fd, const std::string &devnode);
    std::optional<PrinterNode> listedAs(const std::string &devnode) const;
    void keepReadAhead(int fd);
    bool takeReadAhead(int fd, std::uint8_t *buffer, std::size_t capacity, std::size_t &got);

    const Syscalls &calls_;
    DeviceDirectory &directory_;
    Clock &clock_;

    mutable std::mutex mutex_;
    std::vector<PrinterNode> listing_;
    // Every node ever listed, as it was listed last: the identity a path stands for.
    std::map<std::string, PrinterNode> listed_;
    std::function<void()> listener_;
    // Open read/write handles and the node each one is on.
    std::map<int, std::string> sharedHandles_;
    // Bytes the driver had read ahead when a handle closed, per node, with the printer they
    // came from.
    struct ReadAhead {
        UsbAddress from;
        std::string bytes;
    };
    std::map<std::string, ReadAhead> readAhead_;
};

// At most this much of a reply is kept across a close.
inline constexpr std::size_t kReadAheadBytes = 4096;

} // namespace vornik::linux_backend
