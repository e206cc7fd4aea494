#include "linux_backend.h"

#include "device_id.h"

#include "printer_link/device_contract.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/ioctl.h>
#include <system_error>

namespace vornik::linux_backend {

namespace {

// usblp's ioctls, which no system header exports.
constexpr unsigned long kDeviceIdRequest = _IOC(_IOC_READ, 'P', 1, kDriverDeviceIdBytes);
constexpr unsigned long kBusAddressRequest = _IOC(_IOC_READ, 'P', 5, 2 * sizeof(int));

thread_local std::string tLastError;

void Fail(int error)
{
    tLastError = std::generic_category().message(error);
}

void Fail(const char *text)
{
    tLastError = text;
}

// The way back. A unit that no byte widens to cannot name a node we handed out.
std::optional<std::string> Narrow(const std::u16string &path)
{
    std::string narrow;
    narrow.reserve(path.size());
    for (char16_t unit : path) {
        if (unit == 0 || unit > 0xFF)
            return std::nullopt;
        narrow.push_back(static_cast<char>(unit));
    }
    if (narrow.empty())
        return std::nullopt;
    return narrow;
}

bool ValidFd(DeviceHandle handle)
{
    return handle >= 0 && handle <= INT_MAX;
}

} // namespace

LinuxDevicePlatform::LinuxDevicePlatform(
    const Syscalls &calls, DeviceDirectory &directory, Clock &clock)
    : calls_(calls)
    , directory_(directory)
    , clock_(clock)
{ }

bool LinuxDevicePlatform::beginEnumeration()
{
    // A node udev has not set up yet is root's alone and would be refused, or, for root, opened
    // before the rules have decided anything of it. One that appeared a moment ago (a printer
    // back in download mode just before the look) is waited for, within a bound.
    std::vector<PrinterNode> nodes;
    const std::uint32_t start = clock_.tickCount();
    const auto settingUp = [](const PrinterNode &node) { return !node.initialized; };
    for (;;) {
        if (!directory_.listPrinters(nodes))
            return false;
        if (std::none_of(nodes.begin(), nodes.end(), settingUp)
            || clock_.tickCount() - start >= kNodeSetupWaitMs)
            break;
        clock_.sleep(kNodeSetupPollMs);
    }
    nodes.erase(std::remove_if(nodes.begin(), nodes.end(), settingUp), nodes.end());
    std::lock_guard lock(mutex_);
    listing_ = std::move(nodes);
    denied_.clear();
    for (const PrinterNode &node : listing_)
        listed_[node.devnode] = node;
    return true;
}

InterfaceLookup LinuxDevicePlatform::interfacePath(int index, std::u16string &path)
{
    std::lock_guard lock(mutex_);
    if (index < 0 || static_cast<std::size_t>(index) >= listing_.size())
        return InterfaceLookup::NoMoreMembers;
    path = Widen(listing_[static_cast<std::size_t>(index)].devnode);
    return InterfaceLookup::Found;
}

void LinuxDevicePlatform::endEnumeration()
{
    std::lock_guard lock(mutex_);
    listing_.clear();
}

std::optional<PrinterNode> LinuxDevicePlatform::listedAs(const std::string &devnode) const
{
    std::lock_guard lock(mutex_);
    const auto found = listed_.find(devnode);
    if (found == listed_.end() || !found->second.address.known())
        return std::nullopt;
    return found->second;
}

int LinuxDevicePlatform::openNode(const std::string &devnode, OpenMode mode)
{
    const int access = mode == OpenMode::WriteExclusive ? O_WRONLY : O_RDWR;
    int fd;
    do
        fd = calls_.open(devnode.c_str(), access | O_CLOEXEC | O_NONBLOCK);
    while (fd < 0 && errno == EINTR);
    return fd;
}

LinuxDevicePlatform::NodeOwner LinuxDevicePlatform::ownerOfOpenNode(
    int fd, const std::string &devnode)
{
    {
        std::lock_guard lock(mutex_);
        if (listed_.find(devnode) == listed_.end())
            return NodeOwner::NotListed;
    }
    const std::optional<PrinterNode> listed = listedAs(devnode);
    if (!listed)
        return NodeOwner::Unknown;
    int address[2] = { -1, -1 };
    if (calls_.ioctl(fd, kBusAddressRequest, address) < 0)
        return NodeOwner::Unknown;
    return UsbAddress { address[0], address[1] } == listed->address ? NodeOwner::Listed
                                                                    : NodeOwner::Other;
}

DeviceHandle LinuxDevicePlatform::open(const std::u16string &path, OpenMode mode)
{
    const std::optional<std::string> devnode = Narrow(path);
    if (!devnode) {
        Fail(ENOENT);
        return kInvalidDeviceHandle;
    }
    const int fd = openNode(*devnode, mode);
    if (fd < 0) {
        const int error = errno;
        Fail(error);
        // Debian gives the nodes to group lp, and our udev rule lets only the person at the
        // machine in: from a build folder, or without the group, every node is refused.
        if (error == EACCES || error == EPERM) {
            std::lock_guard lock(mutex_);
            const bool listedNow = std::any_of(listing_.begin(), listing_.end(),
                [&](const PrinterNode &node) { return node.devnode == *devnode; });
            if (listedNow)
                denied_.insert(*devnode);
        }
        return kInvalidDeviceHandle;
    }
    // The node went to another printer since it was listed, or we cannot tell whether it did:
    // whatever is sent must not reach another printer.
    switch (ownerOfOpenNode(fd, *devnode)) {
    case NodeOwner::Other:
        calls_.close(fd);
        Fail(ENODEV);
        return kInvalidDeviceHandle;
    case NodeOwner::Unknown:
        calls_.close(fd);
        Fail("The printer's USB address cannot be read, so it cannot be told from another "
             "printer on the same node");
        return kInvalidDeviceHandle;
    case NodeOwner::Listed:
    case NodeOwner::NotListed:
        break;
    }
    {
        std::lock_guard lock(mutex_);
        handles_[fd] = { *devnode, mode == OpenMode::ReadWriteShared };
    }
    if (mode == OpenMode::WriteExclusive) {
        // The image handle is only ever written, and its writes must block: settled once here
        // rather than around each of its thousands of blocks. Should it fail, each write still
        // makes the node blocking for its own duration.
        calls_.makeBlocking(fd);
    }
    return fd;
}

bool LinuxDevicePlatform::isPresent(const std::u16string &path)
{
    // The update takes "no longer present" for "has left the bus", and after the image for
    // "has stored it": a false "gone" reports an update finished while the printer is still
    // storing. So "gone" needs evidence; a printer we merely cannot open now is present.
    const std::optional<std::string> devnode = Narrow(path);
    if (!devnode)
        return false;
    const int fd = openNode(*devnode, OpenMode::ReadWriteShared);
    if (fd >= 0) {
        const NodeOwner owner = ownerOfOpenNode(fd, *devnode);
        calls_.close(fd);
        return owner != NodeOwner::Other;
    }
    const int error = errno;
    const std::optional<PrinterNode> listed = listedAs(*devnode);
    switch (error) {
    case ENOENT:
        // The node is gone. Either the printer left, or another program detached the driver
        // from a printer that is still attached; only the USB device itself can tell.
        return listed && directory_.addressOfUsbDevice(listed->usbDevicePath) == listed->address;
    case ENODEV: // usblp: the interface is disconnected
    case ENXIO: // no driver behind the node any more
        return false;
    default: {
        // EBUSY (another program has it open), EACCES, EPERM, and EIO, which usblp gives when
        // it cannot start reading from a printer that is still there: none of these says the
        // printer left, unless the node now belongs to another device.
        if (!listed)
            return true;
        const UsbAddress now = directory_.addressOfNode(*devnode);
        return !now.known() || now == listed->address;
    }
    }
}

bool LinuxDevicePlatform::queryDeviceId(DeviceHandle handle, std::uint8_t *buffer, std::size_t size)
{
    if (!ValidFd(handle) || !buffer || size == 0) {
        Fail(EINVAL);
        return false;
    }
    // Zeroed, because the driver writes only as many bytes as the ID's own length says.
    std::uint8_t raw[kDriverDeviceIdBytes] = {};
    int result;
    do
        result = calls_.ioctl(static_cast<int>(handle), kDeviceIdRequest, raw);
    while (result < 0 && errno == EINTR);
    if (result < 0) {
        Fail(errno);
        return false;
    }
    UnwrapDeviceId(raw, sizeof raw, buffer, size);
    return true;
}

bool LinuxDevicePlatform::read(
    DeviceHandle handle, std::uint8_t *buffer, std::size_t capacity, std::size_t &got)
{
    got = 0;
    if (!ValidFd(handle) || (!buffer && capacity > 0)) {
        Fail(EINVAL);
        return false;
    }
    if (capacity == 0)
        return true;
    const int fd = static_cast<int>(handle);
    if (takeReadAhead(fd, buffer, capacity, got))
        return true;
    pollfd ready { fd, POLLIN, 0 };
    const int polled = calls_.poll(&ready, 1, kReadWaitMs);
    if (polled == 0 || (polled < 0 && errno == EINTR))
        return true;
    if (polled < 0 || (ready.revents & POLLNVAL)) {
        Fail(polled < 0 ? errno : EBADF);
        return false;
    }
    const ssize_t count = calls_.read(fd, buffer, capacity);
    if (count >= 0) {
        got = std::min(static_cast<std::size_t>(count), capacity);
        return true;
    }
    if (errno == EAGAIN || errno == EINTR)
        return true;
    // ENODEV after an unplug or a detach. A printer with no return channel never gets here:
    // usblp never reports it readable (printer_link/README.md, "A printer with no way back").
    failWithDriverError(fd, errno);
    return false;
}

bool LinuxDevicePlatform::write(DeviceHandle handle, const std::uint8_t *data, std::size_t size)
{
    if (!ValidFd(handle) || (!data && size > 0)) {
        Fail(EINVAL);
        return false;
    }
    const int fd = static_cast<int>(handle);
    std::optional<WriteTimeLimit> whole;
    {
        std::lock_guard lock(mutex_);
        const auto found = writeTimeLimits_.find(fd);
        if (found != writeTimeLimits_.end())
            whole = found->second;
    }
    std::size_t done = 0;
    std::uint32_t lastProgress = clock_.tickCount();
    while (done < size) {
        // Each call waits for its block at most until the earlier of the two limits: no byte
        // taken for kWriteStallLimitMs, or the time all writes on this handle may take.
        const std::uint32_t now = clock_.tickCount();
        const std::uint32_t stalled = now - lastProgress;
        std::uint32_t left
            = contract::kWriteStallLimitMs - std::min(stalled, contract::kWriteStallLimitMs);
        bool wholeLimitBinds = false;
        if (whole) {
            const std::uint32_t spent = now - whole->from;
            const std::uint32_t wholeLeft
                = whole->milliseconds - std::min(spent, whole->milliseconds);
            if (wholeLeft <= left) {
                left = wholeLeft;
                wholeLimitBinds = true;
            }
        }
        const auto timedOut = [&] {
            if (wholeLimitBinds)
                Fail(contract::WriteTimeLimitText(whole->milliseconds).c_str());
            else
                Fail(contract::WriteStallText().c_str());
            return false;
        };
        if (left == 0)
            return timedOut();

        const std::size_t block = std::min(size - done, kDriverWriteBlockBytes);
        const ssize_t count = calls_.writeWithin(fd, data + done, block, static_cast<int>(left));
        if (count > 0) {
            done += std::min(static_cast<std::size_t>(count), block);
            lastProgress = clock_.tickCount();
            continue;
        }
        if (count == 0) {
            clock_.sleep(kEmptyBlockPauseMs);
            continue;
        }
        // No retry on any error, EINTR included: the block may still be in flight, and sending
        // it again would put its bytes into the stream twice.
        if (errno == ETIMEDOUT)
            return timedOut();
        // EIO: the printer failed the block (a halt, a protocol error, its own timeout) or
        // another program detached the driver mid-block; ENODEV: it left, or the driver was
        // detached before the block.
        failWithDriverError(fd, errno);
        return false;
    }
    return true;
}

void LinuxDevicePlatform::failWithDriverError(int fd, int error)
{
    if ((error == EIO || error == ENODEV) && takenFromDriver(fd))
        Fail(kTakenByAnotherProgramText);
    else
        Fail(error);
}

bool LinuxDevicePlatform::takenFromDriver(int fd)
{
    // usblp answers every ioctl on a handle of an interface it no longer serves with ENODEV,
    // whether the printer left or the driver was detached from it; only the USB device still
    // being there, at its address, tells the two apart. The USB core kills the interface's
    // transfers before it calls usblp's disconnect (usb_unbind_interface), so the handle may
    // still answer for a few milliseconds after the failed block. A node that came back meanwhile
    // (a print system's device search reattaches the driver) is a new interface: the old handle
    // stays dead, and this still holds.
    const std::uint32_t start = clock_.tickCount();
    for (;;) {
        int address[2] = { -1, -1 };
        if (calls_.ioctl(fd, kBusAddressRequest, address) < 0) {
            if (errno != ENODEV)
                return false;
            break;
        }
        if (clock_.tickCount() - start >= kDetachShowsWithinMs)
            return false;
        clock_.sleep(kDetachPollMs);
    }
    std::string devnode;
    {
        std::lock_guard lock(mutex_);
        const auto found = handles_.find(fd);
        if (found == handles_.end())
            return false;
        devnode = found->second.devnode;
    }
    const std::optional<PrinterNode> listed = listedAs(devnode);
    if (!listed || !(directory_.addressOfUsbDevice(listed->usbDevicePath) == listed->address))
        return false;
    // An unplug removes the interfaces before the device itself.
    clock_.sleep(kUnplugShowsWithinMs);
    return directory_.addressOfUsbDevice(listed->usbDevicePath) == listed->address;
}

void LinuxDevicePlatform::limitWriteTime(DeviceHandle handle, std::uint32_t milliseconds)
{
    if (!ValidFd(handle))
        return;
    std::lock_guard lock(mutex_);
    writeTimeLimits_[static_cast<int>(handle)] = { clock_.tickCount(), milliseconds };
}

void LinuxDevicePlatform::close(DeviceHandle handle)
{
    if (!ValidFd(handle))
        return;
    const int fd = static_cast<int>(handle);
    {
        std::lock_guard lock(mutex_);
        writeTimeLimits_.erase(fd);
    }
    keepReadAhead(fd);
    {
        std::lock_guard lock(mutex_);
        handles_.erase(fd);
    }
    // Not retried on EINTR: Linux has released the descriptor either way.
    calls_.close(fd);
}

void LinuxDevicePlatform::keepReadAhead(int fd)
{
    std::string devnode;
    {
        std::lock_guard lock(mutex_);
        const auto found = handles_.find(fd);
        if (found == handles_.end() || !found->second.shared)
            return;
        devnode = found->second.devnode;
    }
    std::string bytes;
    std::uint8_t chunk[1024];
    while (bytes.size() < kReadAheadBytes) {
        pollfd ready { fd, POLLIN, 0 };
        if (calls_.poll(&ready, 1, 0) <= 0 || !(ready.revents & POLLIN))
            break;
        const ssize_t count = calls_.read(fd, chunk, sizeof chunk);
        if (count <= 0)
            break;
        bytes.append(reinterpret_cast<const char *>(chunk),
            std::min(static_cast<std::size_t>(count), kReadAheadBytes - bytes.size()));
        // usblp hands over all it holds at once: a short read has emptied it.
        if (static_cast<std::size_t>(count) < sizeof chunk)
            break;
    }
    if (bytes.empty())
        return;
    const std::optional<PrinterNode> listed = listedAs(devnode);
    std::lock_guard lock(mutex_);
    ReadAhead &kept = readAhead_[devnode];
    const UsbAddress from = listed ? listed->address : UsbAddress {};
    if (!(kept.from == from))
        kept = { from, {} };
    kept.bytes.append(bytes, 0, kReadAheadBytes - std::min(kReadAheadBytes, kept.bytes.size()));
}

bool LinuxDevicePlatform::takeReadAhead(
    int fd, std::uint8_t *buffer, std::size_t capacity, std::size_t &got)
{
    std::string devnode;
    {
        std::lock_guard lock(mutex_);
        const auto handle = handles_.find(fd);
        if (handle == handles_.end() || !handle->second.shared
            || readAhead_.find(handle->second.devnode) == readAhead_.end())
            return false;
        devnode = handle->second.devnode;
    }
    const std::optional<PrinterNode> listed = listedAs(devnode);
    std::lock_guard lock(mutex_);
    const auto found = readAhead_.find(devnode);
    if (found == readAhead_.end())
        return false;
    // Kept bytes belong to the printer that sent them, never to one that took over the node.
    if (!listed || !(found->second.from == listed->address)) {
        readAhead_.erase(found);
        return false;
    }
    std::string &bytes = found->second.bytes;
    got = std::min(capacity, bytes.size());
    std::memcpy(buffer, bytes.data(), got);
    bytes.erase(0, got);
    if (bytes.empty())
        readAhead_.erase(found);
    return got > 0;
}

std::string LinuxDevicePlatform::lastErrorText() const
{
    return tLastError;
}

int LinuxDevicePlatform::deniedInLastEnumeration() const
{
    std::lock_guard lock(mutex_);
    return static_cast<int>(denied_.size());
}

int LinuxDevicePlatform::takenInLastEnumeration() const
{
    return directory_.countPrintersWithoutDriver();
}

void LinuxDevicePlatform::setChangeListener(std::function<void()> listener)
{
    std::lock_guard lock(mutex_);
    listener_ = std::move(listener);
}

int LinuxDevicePlatform::notificationFd() const
{
    return directory_.noticeFd();
}

void LinuxDevicePlatform::readNotifications()
{
    const int notices = directory_.takeNotices();
    std::function<void()> listener;
    {
        std::lock_guard lock(mutex_);
        listener = listener_;
    }
    if (!listener)
        return;
    for (int i = 0; i < notices; ++i)
        listener();
}

} // namespace vornik::linux_backend
