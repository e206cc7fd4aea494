// The image the build embeds comes back out of the program whole: its size and SHA-256 are
// taken from the image file when the program is built, and the program reads its own copy the
// way the product does (the linked section on Linux, resource 111 on Windows). The transfer
// then sends exactly those bytes, to the second printer as to the first.
#include "text_support.h"
#include "transfer_world.h"

#include "image_facts.h"

#include "firmware/embedded_image.h"
#include "firmware/transfer.h"
#include "printer_link/simulated/sha256.h"

TEST_CASE("the embedded image reads back with the size and digest of the file it came from")
{
    vornik::FirmwareImageSource &image = vornik::EmbeddedFirmwareImage();
    REQUIRE(image.openModule());
    REQUIRE(image.find());
    REQUIRE(image.load());
    CHECK(image.size() == kExpectedImageBytes);
    const std::uint8_t *bytes = image.data();
    REQUIRE(bytes != nullptr);
    CHECK(vornik::sim::Sha256::hexOf(bytes, image.size()) == kExpectedImageSha256);
    image.release();
}

TEST_CASE("two transfers of the embedded image each send it whole from its first byte")
{
    for (int printer = 1; printer <= 2; ++printer) {
        INFO("printer ", printer);
        testing::TransferWorld world;
        world.sink.keep = false;

        CHECK(vornik::CopyFirmwareImageToPrinter(
                  vornik::EmbeddedFirmwareImage(), u"p", world.messages)
            == 1);
        CHECK(world.faults.empty());
        CHECK(world.failures.empty());
        CHECK(world.sink.bytes == kExpectedImageBytes);
        CHECK(world.sink.hash.hexDigest() == kExpectedImageSha256);
        CHECK(world.sink.closed == 1);
    }
}
