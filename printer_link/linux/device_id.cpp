#include "device_id.h"

#include "printer_link/device_contract.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace vornik::linux_backend {

namespace {

// The text a length of `declared` bytes (its own two included) stands for, without trailing
// padding; nothing when that text is empty or carries a control byte.
std::optional<std::size_t> TextLength(const std::uint8_t *text, std::size_t declared)
{
    std::size_t length = declared - 2;
    while (length > 0 && contract::IsDeviceIdPadding(text[length - 1]))
        --length;
    if (length == 0 || std::any_of(text, text + length, contract::IsDeviceIdControlByte))
        return std::nullopt;
    return length;
}

} // namespace

std::size_t UnwrapDeviceId(
    const std::uint8_t *raw, std::size_t rawSize, std::uint8_t *out, std::size_t outSize)
{
    if (!out || outSize == 0)
        return 0;
    out[0] = 0;
    if (!raw || rawSize < 2)
        return 0;

    // The length is big-endian and counts its own two bytes. usblp copies exactly as many bytes
    // as that reading says, at least two and at most one short of its buffer. Some printers send
    // the length little-endian; usblp then copies what the big-endian reading says, with stale
    // bytes of its own buffer behind the ID, and the ID's own reading tells where it ends.
    const std::size_t bigEndian = std::size_t { raw[0] } << 8 | raw[1];
    const std::size_t littleEndian = std::size_t { raw[1] } << 8 | raw[0];
    const std::size_t copied
        = std::min({ std::max<std::size_t>(bigEndian, 2), kDriverDeviceIdBytes - 1, rawSize });

    // The little-endian reading is only taken when the big-endian one cannot be a length: where
    // both could be, a big-endian ID with a bad byte inside would otherwise pass as its own
    // shorter prefix.
    const bool bigEndianPlausible = bigEndian >= 2 && bigEndian <= copied;
    for (const std::size_t declared : { bigEndian, littleEndian }) {
        if (declared < 2 || declared > copied)
            continue;
        const std::optional<std::size_t> length = TextLength(raw + 2, declared);
        if (!length) {
            if (bigEndianPlausible)
                return 0;
            continue;
        }
        // Cutting would hand out a shortened field (a serial number, the status) as if whole.
        if (*length > outSize - 1)
            return 0;
        std::memcpy(out, raw + 2, *length);
        out[*length] = 0;
        return *length;
    }
    return 0;
}

} // namespace vornik::linux_backend
