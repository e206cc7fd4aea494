// Pieces shared by discovery and the command channel; not part of the layer's function set.
#pragma once

#include "platform.h"

#include <exception>
#include <string>

namespace vornik::detail {

// The "FDU App" box with the exception's own text.
void ShowException(const std::exception &error);

// gUSBDeviceFilePath as a text, never longer than the buffer.
std::u16string SelectedPath();

// One open of the selected path for reading and writing with shared access, closed again when
// the object goes, so that no early return or exception can leave a printer held open.
class OpenDevice {
public:
    OpenDevice();
    ~OpenDevice();
    OpenDevice(const OpenDevice &) = delete;
    OpenDevice &operator=(const OpenDevice &) = delete;

    bool isOpen() const { return handle_ != kInvalidDeviceHandle; }
    DevicePlatform &platform() const { return *devices_; }
    DeviceHandle handle() const { return handle_; }
    void close();

private:
    DevicePlatform *devices_ = nullptr;
    DeviceHandle handle_ = kInvalidDeviceHandle;
};

// Zeroes the command channel's buffers (part of ResetPrinterLinkState).
void ResetCommandChannelState();

} // namespace vornik::detail
