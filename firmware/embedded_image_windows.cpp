#include "embedded_image.h"
#include "resource_image_windows.h"

namespace vornik {

// GetModuleHandleExW without GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT counts a reference to
// the module. The transfer releases only what it loaded, so a resource that is missing or does
// not load hands its module reference back here, and every path gives back what it took.
bool ResourceImage::openModule()
{
    releaseModule();
    HMODULE module = nullptr;
    if (!functions_.getModuleHandleEx(0, nullptr, &module))
        return false;
    module_ = module;
    return module_ != nullptr;
}

bool ResourceImage::find()
{
    resource_ = module_ ? functions_.findResource(
                    module_, MAKEINTRESOURCEW(resourceId_), MAKEINTRESOURCEW(10 /* RT_RCDATA */))
                        : nullptr;
    if (!resource_)
        releaseModule();
    return resource_ != nullptr;
}

bool ResourceImage::load()
{
    loaded_ = module_ && resource_ ? functions_.loadResource(module_, resource_) : nullptr;
    if (!loaded_)
        releaseModule();
    return loaded_ != nullptr;
}

std::uint32_t ResourceImage::size()
{
    return module_ && resource_ ? functions_.sizeofResource(module_, resource_) : 0;
}

const std::uint8_t *ResourceImage::data()
{
    return loaded_ ? static_cast<const std::uint8_t *>(functions_.lockResource(loaded_)) : nullptr;
}

void ResourceImage::release()
{
    if (loaded_)
        functions_.freeResource(loaded_);
    loaded_ = nullptr;
    releaseModule();
}

void ResourceImage::releaseModule()
{
    resource_ = nullptr;
    if (module_)
        functions_.freeLibrary(module_);
    module_ = nullptr;
}

FirmwareImageSource &EmbeddedFirmwareImage()
{
    static ResourceImage image;
    return image;
}

} // namespace vornik
