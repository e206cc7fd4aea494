#include "transfer.h"

#include "printer_link/platform.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

namespace vornik {
namespace {

// Write stream over an exclusively opened device: owns the handle, writes in order, and
// closes the handle whatever happens to the transfer.
class DeviceWriteStream {
public:
    DeviceWriteStream(DevicePlatform &devices, DeviceHandle handle,
        const std::function<void(std::uint64_t, std::uint64_t)> &progress, std::uint64_t total)
        : devices_(devices)
        , handle_(handle)
        , progress_(progress)
        , total_(total)
    {
        buffer_.reserve(kTransferBlockBytes);
    }
    ~DeviceWriteStream() { devices_.close(handle_); }
    DeviceWriteStream(const DeviceWriteStream &) = delete;
    DeviceWriteStream &operator=(const DeviceWriteStream &) = delete;

    void write(const std::uint8_t *data, std::size_t size)
    {
        while (size > 0) {
            const std::size_t take = std::min(size, kTransferBlockBytes - buffer_.size());
            buffer_.insert(buffer_.end(), data, data + take);
            data += take;
            size -= take;
            if (buffer_.size() == kTransferBlockBytes)
                flush();
        }
    }

    void flush()
    {
        if (buffer_.empty())
            return;
        if (!devices_.write(handle_, buffer_.data(), buffer_.size())) {
            std::string reason = devices_.lastErrorText();
            throw std::runtime_error("Writing the firmware to the printer failed after "
                + std::to_string(written_) + " bytes"
                + (reason.empty() ? std::string(".") : ": " + reason));
        }
        written_ += buffer_.size();
        buffer_.clear();
        if (progress_)
            progress_(written_, total_);
    }

private:
    DevicePlatform &devices_;
    DeviceHandle handle_;
    const std::function<void(std::uint64_t, std::uint64_t)> &progress_;
    std::uint64_t total_;
    std::vector<std::uint8_t> buffer_;
    std::uint64_t written_ = 0;
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
        DeviceWriteStream device(*devices, handle, messages.progress, workingCopy.size());
        constexpr std::size_t kCopyChunk = 80 * 1024;
        for (std::size_t at = 0; at < workingCopy.size(); at += kCopyChunk)
            device.write(workingCopy.data() + at, std::min(kCopyChunk, workingCopy.size() - at));
        device.flush();
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
