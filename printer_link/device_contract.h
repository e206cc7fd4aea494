// What the tool relies on from a printer and its USB printer-class driver, in one place.
//
// The printers, their driver and their firmware are not ours. Everything below is what our
// code assumes of them; the simulated printers honour exactly this and nothing more, so a
// test that passes against them passes against any printer that keeps these promises.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vornik::contract {

// Device table limits.
inline constexpr int kMaxPrinters = 6;
inline constexpr std::size_t kTextUnits = 256; // a device-table text, terminator included
inline constexpr std::size_t kDeviceIdBytes = 512; // device-ID buffer, terminator included
inline constexpr std::size_t kFieldUnits = 128; // one device-ID field value, terminator included

// IEEE 1284 device-ID fields. MFG is required; the ";" of the status key keeps it from
// matching the tail of a longer field name.
inline constexpr char16_t kManufacturerKey[] = u"MFG:";
inline constexpr char16_t kModelKey[] = u"MDL:";
inline constexpr char16_t kSerialKey[] = u"SN:";
inline constexpr char16_t kStatusKey[] = u";S:";
inline constexpr char kRequiredDeviceIdText[] = "MFG:";
// The status code stands as two hex digits at these zero-based positions of the S value.
inline constexpr int kStatusDigitsAt = 16;

// A device ID is read whole or not at all: trailing padding (zero bytes, blanks, CR/LF, which
// some printers send) is no part of it, and a control byte inside it makes it unreadable.
// Bytes above 0x7F are text: device IDs may carry Latin-1.
constexpr bool IsDeviceIdPadding(unsigned char byte)
{
    return byte == 0 || byte == ' ' || byte == '\r' || byte == '\n';
}
constexpr bool IsDeviceIdControlByte(unsigned char byte)
{
    return byte < 0x20 || byte == 0x7F;
}

// Identity placeholders and the download-mode identity (MFG "KX", MDL "reflash").
inline constexpr char16_t kUnknownIdentity[] = u"unknown";
inline constexpr char16_t kDownloadModeProductName[] = u"KX reflash";

// Status codes the gate lets commands through for.
inline constexpr int kStatusIdle = 0;
inline constexpr int kStatusManufacturingMode = 3;
// A busy printer: the gate holds commands back from it, like every code but the two above.
inline constexpr int kStatusPrinting = 2;

// Commands, each sent inside the command frame.
inline constexpr char kPrepareDownloadCommand[] = "ds2.set 79744, 1;";
inline constexpr char kDownloadCommand[] = "udw.srec_download;";
inline constexpr char kFirmwareRevisionCommand[] = "udw.get_fw_rev;";

// Frame around a command: 42 bytes before it, 16 after.
inline constexpr char kFrameHead[] = "\x1b%-12345X@PJL ENTER LANGUAGE=PCL3GUI\n\x1b"
                                     "E\x1b%P";
inline constexpr char kFrameTail[] = "exit;\x1b"
                                     "E\x1b%-12345X";
inline constexpr std::size_t kFrameHeadBytes = sizeof(kFrameHead) - 1;
inline constexpr std::size_t kFrameTailBytes = sizeof(kFrameTail) - 1;
static_assert(kFrameHeadBytes == 42 && kFrameTailBytes == 16);
inline constexpr std::size_t kCommandFrameBytes = 256;
inline constexpr std::size_t kMaxCommandBytes
    = kCommandFrameBytes - kFrameHeadBytes - kFrameTailBytes;
static_assert(kMaxCommandBytes == 198);

// Replies.
inline constexpr std::size_t kReplyBufferBytes = 1024;
inline constexpr std::uint32_t kReplySilenceLimitMs = 1000; // nothing at all has come
inline constexpr std::uint32_t kReplyGapLimitMs = 500; // after the last chunk
inline constexpr std::uint32_t kPauseAfterCommandMs = 200;

// The update's waits, in milliseconds and whole seconds.
inline constexpr std::uint32_t kBusPollIntervalMs = 10000;
inline constexpr std::uint32_t kLeaveBusLimitSeconds = 15; // after the download command: ~20 s
inline constexpr std::uint32_t kStoreLimitSeconds = 180; // after the image: ~190 s
inline constexpr std::uint32_t kPauseBeforeFlashListingMs = 3000;
inline constexpr std::uint32_t kPauseAfterTransferMs = 500;

// A firmware write that accepts no byte for this long fails. A healthy printer in download
// mode takes data continuously; even a slow one never stalls for a minute.
inline constexpr std::uint32_t kWriteStallLimitMs = 60000;

// The reason a write that hit that limit fails with.
inline std::string WriteStallText()
{
    return "The printer took no data for " + std::to_string(kWriteStallLimitMs / 1000) + " seconds";
}

// The reason a write fails with when all writes on its handle ran past the time the transfer
// allowed them (DevicePlatform::limitWriteTime).
inline std::string WriteTimeLimitText(std::uint32_t limitMs)
{
    return "The printer did not take all data within " + std::to_string(limitMs / 1000)
        + " seconds";
}

} // namespace vornik::contract
