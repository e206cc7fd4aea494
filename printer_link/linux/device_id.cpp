#include "device_id.h"

#include <algorithm>
#include <cstring>

namespace vornik::linux_backend {

namespace {

// Control characters end the ID; bytes above 0x7F are kept, device IDs may carry Latin-1.
bool IsText(std::uint8_t byte)
{
    return byte >= 0x20 && byte != 0x7F;
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

    // The length is big-endian and counts its own two bytes. Some printers send it
    // little-endian: a reading that claims more than the driver delivered is taken the other
    // way round, and when neither fits, what did arrive is all there is.
    const std::size_t bigEndian = std::size_t { raw[0] } << 8 | raw[1];
    const std::size_t littleEndian = std::size_t { raw[1] } << 8 | raw[0];
    std::size_t declared = rawSize;
    if (bigEndian <= rawSize)
        declared = bigEndian;
    else if (littleEndian <= rawSize)
        declared = littleEndian;

    const std::uint8_t *text = raw + 2;
    const std::size_t available = rawSize - 2;
    const std::size_t counted = std::min(declared >= 2 ? declared - 2 : 0, available);
    std::size_t length = 0;
    while (length < counted && IsText(text[length]))
        ++length;

    // The Linux printer gadget leaves its own two bytes out of the length, which would cut the
    // last two characters of the ID. When the counted reading ends in the middle of a field
    // and text goes on, take up to the two bytes the other reading allows.
    if (length == counted && (length == 0 || text[length - 1] != ';')) {
        const std::size_t uncounted = std::min(declared, available);
        while (length < uncounted && IsText(text[length]))
            ++length;
    }

    length = std::min(length, outSize - 1);
    std::memcpy(out, text, length);
    out[length] = 0;
    return length;
}

} // namespace vornik::linux_backend
