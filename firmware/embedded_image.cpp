#include "embedded_image.h"

// Start and end of the image, placed by the assembler file the build generates.
extern "C" const std::uint8_t vornik_firmware_image_begin[];
extern "C" const std::uint8_t vornik_firmware_image_end[];

namespace vornik {
namespace {

// The image lives in the program's read-only data: there is nothing to load or release, and
// its size is fixed by the linker.
class LinkedImage : public FirmwareImageSource {
public:
    bool openModule() override { return true; }
    bool find() override { return true; }
    bool load() override { return true; }
    std::uint32_t size() override
    {
        return static_cast<std::uint32_t>(vornik_firmware_image_end - vornik_firmware_image_begin);
    }
    const std::uint8_t *data() override { return vornik_firmware_image_begin; }
    void release() override { }
};

} // namespace

FirmwareImageSource &EmbeddedFirmwareImage()
{
    static LinkedImage image;
    return image;
}

} // namespace vornik
