// The printer layer on Linux, over the kernel's USB printer-class driver (usblp). The facts of
// usblp that shape it (reused nodes, exclusive open, reads that never time out, writes that
// report a block's fate only when blocking, the device-ID ioctl, the read-ahead lost at close)
// are written once, in printer_link/README.md ("Linux: the usblp driver").
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
#include <set>
#include <string>
#include <vector>

namespace vornik::linux_backend {

// Longest wait of a read that finds no data.
inline constexpr int kReadWaitMs = 50;
// usblp's own block: it sends at most this much per USB transfer and reports each one.
inline constexpr std::size_t kDriverWriteBlockBytes = 8192;
// Pause before asking again when the driver finished a block without taking a byte.
inline constexpr std::uint32_t kEmptyBlockPauseMs = 100;
// An enumeration waits this long at most for udev to finish setting up a node that appeared a
// moment before it looked, asking again at this interval. A node still not set up by then is
// left out of the listing.
inline constexpr std::uint32_t kNodeSetupWaitMs = 2000;
inline constexpr std::uint32_t kNodeSetupPollMs = 50;
// The reason a write or read gives when another program detached usblp from the printer while
// the handle was open (a print system taking it, for one).
inline constexpr char kTakenByAnotherProgramText[] = "another program took the printer";
// The USB core ends an interface's transfers before it tells usblp of the detach, so a block can
// fail a moment before the handle shows that the driver has gone: after such a failure the
// handle is asked again at this interval, for at most this long.
inline constexpr std::uint32_t kDetachShowsWithinMs = 250;
inline constexpr std::uint32_t kDetachPollMs = 10;
// A printer pulled out leaves usblp first and its USB device a moment later: the device is
// looked for again after this long before the printer counts as still attached.
inline constexpr std::uint32_t kUnplugShowsWithinMs = 100;

class LinuxDevicePlatform : public DevicePlatform {
public:
    LinuxDevicePlatform(const Syscalls &calls, DeviceDirectory &directory, Clock &clock);

    bool beginEnumeration() override;
    InterfaceLookup interfacePath(int index, std::u16string &path) override;
    void endEnumeration() override;

    DeviceHandle open(const std::u16string &path, OpenMode mode) override;
    bool queryDeviceId(DeviceHandle handle, std::uint8_t *buffer, std::size_t size) override;
    bool write(DeviceHandle handle, const std::uint8_t *data, std::size_t size) override;
    void limitWriteTime(DeviceHandle handle, std::uint32_t milliseconds) override;
    bool read(
        DeviceHandle handle, std::uint8_t *buffer, std::size_t capacity, std::size_t &got) override;
    void close(DeviceHandle handle) override;
    bool isPresent(const std::u16string &path) override;
    std::string lastErrorText() const override;
    int deniedInLastEnumeration() const override;
    // Counted when asked, which the window does right after its listing: the other listings
    // (download mode, the return watch) have no use for it.
    int takenInLastEnumeration() const override;

    void setChangeListener(std::function<void()> listener) override;
    int notificationFd() const override;
    void readNotifications() override;

private:
    // Whose node a path is now: the printer it was listed for, another device, one we cannot
    // tell (the address of either side cannot be read), or a path never listed.
    enum class NodeOwner { Listed, Other, Unknown, NotListed };

    int openNode(const std::string &devnode, OpenMode mode);
    NodeOwner ownerOfOpenNode(int fd, const std::string &devnode);
    std::optional<PrinterNode> listedAs(const std::string &devnode) const;
    bool takenFromDriver(int fd);
    void failWithDriverError(int fd, int error);
    void keepReadAhead(int fd);
    bool takeReadAhead(int fd, std::uint8_t *buffer, std::size_t capacity, std::size_t &got);

    const Syscalls &calls_;
    DeviceDirectory &directory_;
    Clock &clock_;

    mutable std::mutex mutex_;
    std::vector<PrinterNode> listing_;
    // Nodes of the enumeration under way (or the last one) that opened with EACCES or EPERM.
    std::set<std::string> denied_;
    // Every node ever listed, as it was listed last: the identity a path stands for.
    std::map<std::string, PrinterNode> listed_;
    std::function<void()> listener_;
    // Every open handle and the node it is on; shared (read/write) handles keep read-ahead.
    struct OpenHandle {
        std::string devnode;
        bool shared = false;
    };
    std::map<int, OpenHandle> handles_;
    // Bytes the driver had read ahead when a handle closed, per node, with the printer they
    // came from.
    struct ReadAhead {
        UsbAddress from;
        std::string bytes;
    };
    std::map<std::string, ReadAhead> readAhead_;
    // The time all writes on a handle may take together, from when it was set.
    struct WriteTimeLimit {
        std::uint32_t from;
        std::uint32_t milliseconds;
    };
    std::map<int, WriteTimeLimit> writeTimeLimits_;
};

// At most this much of a reply is kept across a close.
inline constexpr std::size_t kReadAheadBytes = 4096;

} // namespace vornik::linux_backend
