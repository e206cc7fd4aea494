// Fuzzes the firmware-name check: any product name and file name give a result code from 0 to 5
// and a terminated build text inside the buffer, never a write past it.
#include "firmware/identity_check.h"
#include "printer_link/platform.h"

#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    vornik::InstallErrorBox([](const std::u16string &, const std::u16string &) {});
    // The input is two 16-bit texts split at the first zero unit.
    std::u16string units(size / 2, u'\0');
    std::memcpy(units.data(), data, units.size() * 2);
    const std::size_t split = units.find(u'\0');
    const std::u16string product = units.substr(0, split);
    const std::u16string file
        = split == std::u16string::npos ? std::u16string() : units.substr(split + 1);

    char16_t out[kBuildTextUnits + 8];
    std::fill(std::begin(out), std::end(out), u'#');
    out[0] = u'\0';
    const int result
        = Lib_FlashFileValidityCheck(product.c_str(), file.c_str(), out, kBuildTextUnits);
    if (result < 0 || result > 5)
        __builtin_trap();
    for (int i = kBuildTextUnits; i < kBuildTextUnits + 8; ++i)
        if (out[i] != u'#')
            __builtin_trap();
    if (std::char_traits<char16_t>::length(out) >= static_cast<std::size_t>(kBuildTextUnits))
        __builtin_trap();
    return 0;
}
