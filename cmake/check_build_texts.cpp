// Run at configure time: prints the identity result and the length of the build text the two
// build texts give, so the build can refuse a pair whose text would not fit start-up's buffer.
#include "firmware/identity_check.h"

#include <cstdio>
#include <string>

namespace {

std::u16string FromUtf8(const char *text)
{
    std::u16string out;
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p;) {
        char32_t c = *p++;
        int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        c &= extra == 3 ? 0x07 : extra == 2 ? 0x0F : extra == 1 ? 0x1F : 0x7F;
        for (; extra > 0 && (*p & 0xC0) == 0x80; --extra)
            c = (c << 6) | (*p++ & 0x3F);
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
    }
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3)
        return 2;
    const std::u16string product = FromUtf8(argv[1]);
    const std::u16string file = FromUtf8(argv[2]);
    char16_t text[4096] = {};
    const int result = Lib_FlashFileValidityCheck(product.c_str(), file.c_str(), text, 4096);
    std::printf("%d %zu\n", result, std::u16string(text).size());
    return 0;
}
