// Streams the firmware image, whole and unchanged, to a printer in download mode.
//
// Qt-free: the window wraps it (workflow/transfer_form1.cpp) and supplies the way messages reach
// the operator. The image comes from a FirmwareImageSource, the device from the platform seam.
#pragma once

#include "firmware/firmware_image.h"

#include <cstdint>
#include <functional>
#include <string>

namespace vornik {

struct TransferMessages {
    // A fault of the build's image, by the key of its operator text.
    std::function<void(const char *key)> imageFault;
    // A failure while the image was being copied or written, in its own words.
    std::function<void(const std::string &text)> failure;
    // Bytes the device has accepted so far, after each block it accepted; total is the image's
    // size.
    std::function<void(std::uint64_t accepted, std::uint64_t total)> progress;
};

// 1 when the device accepted every byte of the image, in order, else 0. The device is opened
// write-only and exclusively, and closed again on every path. The writes as a whole may take
// TransferTimeLimitMs(image size); a printer that takes no byte for a minute fails sooner.
std::int32_t CopyFirmwareImageToPrinter(
    FirmwareImageSource &image, const char16_t *devicePath, const TransferMessages &messages);

// Size of each write to the device.
inline constexpr std::size_t kTransferBlockBytes = 64 * 1024;

// The whole transfer may take the larger of 15 minutes and the image's size at 128 KiB/s: a
// healthy printer in download mode takes data many times faster, and an operator must not wait
// for days on one that crawls.
inline constexpr std::uint32_t kTransferTimeFloorMs = 15 * 60 * 1000;
inline constexpr std::uint64_t kTransferSlowestBytesPerSecond = 128 * 1024;
std::uint32_t TransferTimeLimitMs(std::uint64_t imageBytes);

} // namespace vornik
