// The firmware image as resource 111 of type RCDATA of the program's own executable
// (firmware_image.rc.in), read from the mapped module: nothing is copied to disk.
#include "embedded_image.h"

#include <windows.h>

namespace vornik {
namespace {

constexpr int kFirmwareResourceId = 111;

class ResourceImage : public FirmwareImageSource {
public:
    bool openModule() override
    {
        module_ = nullptr;
        return GetModuleHandleExW(0, nullptr, &module_) && module_;
    }
    bool find() override
    {
        resource_ = FindResourceW(
            module_, MAKEINTRESOURCEW(kFirmwareResourceId), MAKEINTRESOURCEW(10 /* RT_RCDATA */));
        return resource_ != nullptr;
    }
    bool load() override
    {
        loaded_ = LoadResource(module_, resource_);
        return loaded_ != nullptr;
    }
    std::uint32_t size() override { return SizeofResource(module_, resource_); }
    const std::uint8_t *data() override
    {
        return static_cast<const std::uint8_t *>(LockResource(loaded_));
    }
    void release() override
    {
        if (loaded_)
            FreeResource(loaded_);
        loaded_ = nullptr;
        if (module_)
            FreeLibrary(module_); // GetModuleHandleExW counted a reference
        module_ = nullptr;
    }

private:
    HMODULE module_ = nullptr;
    HRSRC resource_ = nullptr;
    HGLOBAL loaded_ = nullptr;
};

} // namespace

FirmwareImageSource &EmbeddedFirmwareImage()
{
    static ResourceImage image;
    return image;
}

} // namespace vornik
