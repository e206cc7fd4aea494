#include "transfer.h"

#include "printer_link/platform.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

namespace vornik {

std::uint32_t TransferTimeLimitMs(std::uint64_t imageBytes)
{
    const std::uint64_t atSlowestRate = imageBytes * 1000 / kTransferSlowestBytesPerSecond;
    return static_cast<std::uint32_t>(std::clamp<std::uint64_t>(
        atSlowestRate, kTransferTimeFloorMs, std::numeric_limits<std::uint32_t>::max() / 2));
}

namespace {

// The device, opened exclusively: owns the handle, writes whole blocks in order, and closes
// the handle whatever happens to the transfer.
class DeviceWriteStream {
public:
    DeviceWriteStream(DevicePlatform &devices, DeviceHandle handle)
        : devices_(devices)
        , handle_(handle)
    { }
    ~DeviceWriteStream() { devices_.close(handle_); }
    DeviceWriteStream(const DeviceWriteStream &) = delete;
    DeviceWriteStream &operator=(const DeviceWriteStream &) = delete;

    // Writes `size` bytes straight from the caller's buffer; afterwards accepted() counts them.
    void write(const std::uint8_t *data, std::size_t size)
    {
        if (!devices_.write(handle_, data, size)) {
            std::string reason = devices_.lastErrorText();
            throw std::runtime_error("Writing the firmware to the printer failed after "
                + std::to_string(accepted_) + " bytes"
                + (reason.empty() ? std::string(".") : ": " + reason));
        }
        accepted_ += size;
    }

    std::uint64_t accepted() const { return accepted_; }

private:
    DevicePlatform &devices_;
    DeviceHandle handle_;
    std::uint64_t accepted_ = 0;
};

} // namespace

std::int32_t CopyFirmwareImageToPrinter(
    FirmwareImageSource &image, const char16_t *devicePath, const TransferMessages &messages)
{
    const auto fault = [&messages](const char *key) {
        if (messages.imageFault)
            messages.imageFault(key);
    };
    if (!image.openModule())
        return 0;
    if (!image.find()) {
        fault("StrRes_FiirmwareNotFound");
        return 0;
    }
    if (!image.load()) {
        fault("StrRes_FirmwareLoadFail");
        return 0;
    }
    // From here on the loaded image is released on every path.
    struct Release {
        FirmwareImageSource &image;
        ~Release() { image.release(); }
    } release { image };

    const std::uint32_t size = image.size();
    if (size == 0) {
        fault("StrRes_FirmwareZeroBytes");
        return 0;
    }
    const std::uint8_t *bytes = image.data();
    if (!bytes)
        return 0;

    try {
        // A working copy, taken before the device is opened, so the printer never waits on
        // anything but its own writes.
        std::vector<std::uint8_t> workingCopy(bytes, bytes + size);

        DevicePlatform *devices = CurrentPlatform().devices;
        if (!devices || !devicePath)
            return 0;
        const DeviceHandle handle = devices->open(devicePath, OpenMode::WriteExclusive);
        if (handle == kInvalidDeviceHandle)
            return 0;
        DeviceWriteStream device(*devices, handle);
        devices->limitWriteTime(handle, TransferTimeLimitMs(size));
        for (std::size_t at = 0; at < workingCopy.size(); at += kTransferBlockBytes) {
            device.write(
                workingCopy.data() + at, std::min(kTransferBlockBytes, workingCopy.size() - at));
            if (messages.progress)
                messages.progress(device.accepted(), size);
        }
        return 1;
    } catch (const std::bad_alloc &) {
        if (messages.failure)
            messages.failure("Not enough memory for a working copy of the firmware image ("
                + std::to_string(size) + " bytes).");
    } catch (const std::exception &error) {
        if (messages.failure)
            messages.failure(error.what());
    }
    return 0;
}

} // namespace vornik
