// The firmware-name check decides whether the tool may run at all, so every rule gets a row.
#include "text_support.h"

#include "firmware/identity_check.h"
#include "printer_link/platform.h"

#include <algorithm>
#include <string>

using namespace testing;

namespace {

constexpr char16_t kGoodFile[]
    = u"io_quillet_dist_pp1_016.2528A_nonassert_appsigned_lbi_rootfs_secure_signed.fhx";

// Counts the "FDU App" boxes instead of showing them.
struct BoxCounter {
    BoxCounter()
    {
        vornik::InstallErrorBox([this](const std::u16string &, const std::u16string &caption) {
            captions.push_back(caption);
        });
    }
    ~BoxCounter() { vornik::InstallErrorBox({}); }
    std::vector<std::u16string> captions;
};

} // namespace

TEST_CASE("the name check: result and build text for every rule")
{
    struct Row {
        const char *name;
        std::u16string product;
        std::u16string file;
        int result;
        std::u16string buildText;
    };
    const Row rows[] = {
        { "this build", u"ZELTAN QXR3303", kGoodFile, 1, u"2528A" },
        { "extension tested first", u"ZELTAN QXR3303", u"io_quillet_dist_pp1_016.2528A_x.bin", 4,
            u"" },
        { "unsigned", u"ZELTAN QXR3303", u"io_quillet_dist_pp1_016.2528A_x.fhx", 3, u"" },
        { "marks anywhere in the name", u"ZELTAN QXR3303",
            u".fhx secure_signed io_quillet_dist_pp1_016.2528A", 1, u"2528A" },
        { "empty file name", u"ZELTAN QXR3303", u"", 4, u"" },
        { "empty product", u"", kGoodFile, 5, u"" },
        { "product in lower case", u"zeltan qxr3303", kGoodFile, 5, u"" },
        { "product with trailing blank", u"ZELTAN QXR3303 ", kGoodFile, 5, u"" },
        { "prefix of another line", u"ZELTAN QXR3303",
            u"io_quillet_dist_pp1_017.2528A_secure_signed.fhx", 2, u"" },
        { "branch 9", u"MORVAL 510k", u"io_quillet_dist_pp1_009.2528A_secure_signed.fhx", 1,
            u"2528A ->Br_009" },
        { "branch 20", u"MORVAL 510k", u"io_quillet_dist_pp1_020.2528A_secure_signed.fhx", 1,
            u"2528A ->Br_020:M01_Best Colormap" },
        { "both branches: 9 wins", u"MORVAL 510k",
            u"io_quillet_dist_pp1_020.1111B_io_quillet_dist_pp1_009.2528A_secure_signed.fhx", 1,
            u"2528A ->Br_009" },
        { "neither branch", u"MORVAL 510k", u"io_quillet_dist_pp1_016.2528A_secure_signed.fhx", 2,
            u"" },
        { "prefix last", u"ZELTAN QXR3303", u"secure_signed.fhx io_quillet_dist_pp1_016.", 1, u"" },
        { "prefix last, branch product", u"MORVAL 510k",
            u"secure_signed.fhx io_quillet_dist_pp1_009.", 1, u"" },
        { "underscore after prefix", u"ZELTAN QXR3303",
            u"io_quillet_dist_pp1_016._secure_signed.fhx", 1, u"" },
        { "underscore after prefix, branch product", u"MORVAL 510k",
            u"io_quillet_dist_pp1_009._secure_signed.fhx", 1, u" ->Br_009" },
        { "prefix twice: first counts", u"ZELTAN QXR3303",
            u"io_quillet_dist_pp1_016.1111_io_quillet_dist_pp1_016.2222_secure_signed.fhx", 1,
            u"1111" },
        { "no underscore after build number", u"ZELTAN QXR3303",
            u"secure_signed.fhx io_quillet_dist_pp1_016.2528A.x", 1, u"2528A.x" },
        { "every other row", u"TAZ LABEL PrismLine 2",
            u"io_quillet_dist_pp1_017.7_secure_signed.fhx", 1, u"7" },
        { "last row", u"ZELTAN BRW7000", u"io_quillet_dist_pp1_021.9_secure_signed.fhx", 1, u"9" },
    };
    for (const Row &row : rows) {
        INFO(row.name);
        BoxCounter boxes;
        char16_t out[kBuildTextUnits] = u"untouched";
        CHECK(
            Lib_FlashFileValidityCheck(row.product.c_str(), row.file.c_str(), out, kBuildTextUnits)
            == row.result);
        CHECK(Text(out) == (row.result == 1 ? row.buildText : u"untouched"));
        CHECK(boxes.captions.empty());
    }
}

TEST_CASE("a null name shows the build-error box and leaves the output alone")
{
    BoxCounter boxes;
    char16_t out[kBuildTextUnits] = u"untouched";
    CHECK(Lib_FlashFileValidityCheck(nullptr, kGoodFile, out, kBuildTextUnits) == 0);
    CHECK(Lib_FlashFileValidityCheck(u"ZELTAN QXR3303", nullptr, out, kBuildTextUnits) == 0);
    CHECK(boxes.captions == std::vector<std::u16string>(2, u"FDU App"));
    CHECK(Text(out) == u"untouched");
}

TEST_CASE("a build text longer than the buffer is cut, never written past it")
{
    BoxCounter boxes;
    char16_t out[8];
    std::fill(std::begin(out), std::end(out), u'#');
    CHECK(Lib_FlashFileValidityCheck(
              u"MORVAL 510k", u"io_quillet_dist_pp1_020.2528A_secure_signed.fhx", out, 4)
        == 1);
    CHECK(Text(out) == u"252");
    CHECK(out[4] == u'#');
}
