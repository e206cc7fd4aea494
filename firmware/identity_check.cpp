#include "identity_check.h"

#include "printer_link/platform.h"

#include <algorithm>
#include <string>
#include <string_view>

namespace {

struct ProductRow {
    std::u16string_view productName;
    std::u16string_view prefix;
};

constexpr std::u16string_view kMorval510k = u"MORVAL 510k";
constexpr std::u16string_view kBranch9Prefix = u"io_quillet_dist_pp1_009.";
constexpr std::u16string_view kBranch20Prefix = u"io_quillet_dist_pp1_020.";
constexpr std::u16string_view kBranch9Suffix = u" ->Br_009";
constexpr std::u16string_view kBranch20Suffix = u" ->Br_020:M01_Best Colormap";

// Rows 2 to 11; row 1 (MORVAL 510k) picks its prefix from the file name.
constexpr ProductRow kProducts[] = {
    { u"JOXGroup Ra4400", u"io_quillet_dist_pp1_013." },
    { u"ZELTAN QXR3301", u"io_quillet_dist_pp1_016." },
    { u"ZELTAN QXR3302", u"io_quillet_dist_pp1_016." },
    { u"ZELTAN QXR3303", u"io_quillet_dist_pp1_016." },
    { u"ZELTAN QXR3304", u"io_quillet_dist_pp1_016." },
    { u"MORVAL TKR510", u"io_quillet_dist_pp1_016." },
    { u"quadrix uLM-B", u"io_quillet_dist_pp1_016." },
    { u"ZELTAN VKT6600", u"io_quillet_dist_pp1_017." },
    { u"TAZ LABEL PrismLine 2", u"io_quillet_dist_pp1_017." },
    { u"ZELTAN BRW7000", u"io_quillet_dist_pp1_021." },
};

} // namespace

std::int32_t Lib_FlashFileValidityCheck(
    const char16_t *productName, const char16_t *fileName, char16_t *out, std::int32_t outUnits)
{
    if (!productName || !fileName) {
        vornik::ShowPrinterLayerError(
            u"AUTO_BUILD ERROR: Firmware file name OR Product name missing!");
        return kFhxNameMissing;
    }
    const std::u16string_view product(productName);
    const std::u16string_view file(fileName);
    const auto contains = [&file](std::u16string_view text) {
        return file.find(text) != std::u16string_view::npos;
    };

    if (!contains(u".fhx"))
        return kFhxInvalidExtension;
    if (!contains(u"secure_signed"))
        return kFhxUnsigned;

    std::u16string_view prefix;
    std::u16string_view branchSuffix;
    if (product == kMorval510k) {
        const bool branch9 = contains(kBranch9Prefix);
        prefix = branch9 ? kBranch9Prefix : kBranch20Prefix;
        branchSuffix = branch9 ? kBranch9Suffix : kBranch20Suffix;
    } else {
        for (const ProductRow &row : kProducts) {
            if (product == row.productName) {
                prefix = row.prefix;
                break;
            }
        }
        if (prefix.empty())
            return kFhxUnsupportedProduct;
    }
    const std::size_t at = file.find(prefix);
    if (at == std::u16string_view::npos)
        return kFhxMismatch;

    std::u16string buildText;
    const std::u16string_view rest = file.substr(at + prefix.size());
    if (!rest.empty()) {
        buildText = rest.substr(0, rest.find(u'_'));
        buildText += branchSuffix;
    }

    // The build refuses texts that do not fit start-up's buffer; a caller with a smaller one
    // gets the text cut rather than a write past its end.
    if (out && outUnits > 0) {
        const std::size_t units = std::min<std::size_t>(buildText.size(), outUnits - 1);
        buildText.copy(out, units);
        out[units] = u'\0';
    }
    return kFhxOk;
}
