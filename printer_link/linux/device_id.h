// The IEEE 1284 device ID as the usblp driver hands it over, made into the plain zero-terminated
// text the printer layer expects. Pure: no device, no system call, tested on canned bytes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vornik::linux_backend {

// Size of usblp's own device-ID buffer; asking for more gains nothing.
inline constexpr std::size_t kDriverDeviceIdBytes = 1024;

// `raw` is the buffer the driver filled, `rawSize` bytes, with every byte the driver did not
// write still zero. Its first two bytes are the ID's length, the text follows without a
// terminator. Writes the whole text and a terminating zero to `out` and returns its length.
//
// An ID is read whole or not at all: one that does not fit `out` whole, whose length fits in
// neither byte order, or that holds a control byte inside its fields gives the empty text and 0.
// Padding after the last field (zero bytes, blanks, CR, LF) is dropped.
std::size_t UnwrapDeviceId(
    const std::uint8_t *raw, std::size_t rawSize, std::uint8_t *out, std::size_t outSize);

} // namespace vornik::linux_backend
