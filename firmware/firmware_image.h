// Where the firmware image comes from. The transfer takes the image out of the program step by
// step, and each step can fail on its own: the program has no image, the image cannot be
// loaded, it is empty, or its bytes cannot be reached. The embedded image (embedded_image.h)
// is the one the product uses; tests present missing, broken or small images.
#pragma once

#include <cstdint>

namespace vornik {

class FirmwareImageSource {
public:
    virtual ~FirmwareImageSource() = default;

    // The program's own module; false when it cannot be had.
    virtual bool openModule() = 0;
    // The image resource within it; false when the program carries none.
    virtual bool find() = 0;
    // Loads the found image; false when that fails.
    virtual bool load() = 0;
    // Size of the loaded image in bytes; 0 when it is empty.
    virtual std::uint32_t size() = 0;
    // Address of the loaded image's first byte; nullptr when it cannot be reached.
    virtual const std::uint8_t *data() = 0;
    // Releases what load() took.
    virtual void release() = 0;
};

// An image held in memory, for tests and the bench.
class MemoryFirmwareImage : public FirmwareImageSource {
public:
    MemoryFirmwareImage(const std::uint8_t *bytes, std::uint32_t size)
        : bytes_(bytes)
        , size_(size)
    { }
    bool openModule() override { return true; }
    bool find() override { return bytes_ != nullptr; }
    bool load() override { return true; }
    std::uint32_t size() override { return size_; }
    const std::uint8_t *data() override { return bytes_; }
    void release() override { }

private:
    const std::uint8_t *bytes_;
    std::uint32_t size_;
};

} // namespace vornik
