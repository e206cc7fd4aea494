// The image the build embeds comes back out of the program whole: its size and SHA-256 are
// taken from the image file when the program is built, and the program reads its own copy the
// way the product does (the linked section on Linux, resource 111 on Windows). The transfer
// then sends exactly those bytes, to the second printer as to the first.
#include "text_support.h"

#include "image_facts.h"

#include "firmware/embedded_image.h"
#include "firmware/transfer.h"
#include "printer_link/platform.h"
#include "printer_link/simulated/sha256.h"

#include <string>

namespace {

// Hashes what it is sent instead of keeping it.
class HashingDevice : public vornik::DevicePlatform {
public:
    vornik::sim::Sha256 hash;
    std::uint64_t bytes = 0;
    int closed = 0;

    bool beginEnumeration() override { return false; }
    vornik::InterfaceLookup interfacePath(int, std::u16string &) override
    {
        return vornik::InterfaceLookup::NoMoreMembers;
    }
    void endEnumeration() override { }
    vornik::DeviceHandle open(const std::u16string &, vornik::OpenMode) override { return 3; }
    bool queryDeviceId(vornik::DeviceHandle, std::uint8_t *, std::size_t) override { return false; }
    bool write(vornik::DeviceHandle, const std::uint8_t *data, std::size_t size) override
    {
        hash.update(data, size);
        bytes += size;
        return true;
    }
    bool read(vornik::DeviceHandle, std::uint8_t *, std::size_t, std::size_t &got) override
    {
        got = 0;
        return false;
    }
    void close(vornik::DeviceHandle) override { ++closed; }
};

} // namespace

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
        HashingDevice device;
        vornik::InstallPlatform(&device, nullptr);
        std::vector<std::string> messages;
        vornik::TransferMessages report;
        report.imageFault = [&messages](const char *key) { messages.push_back(key); };
        report.failure = [&messages](const std::string &text) { messages.push_back(text); };

        CHECK(
            vornik::CopyFirmwareImageToPrinter(vornik::EmbeddedFirmwareImage(), u"p", report) == 1);
        vornik::InstallPlatform(nullptr, nullptr);
        CHECK(messages.empty());
        CHECK(device.bytes == kExpectedImageBytes);
        CHECK(device.hash.hexDigest() == kExpectedImageSha256);
        CHECK(device.closed == 1);
    }
}
