// The firmware image as resource 111 of type RCDATA of the program's own executable
// (firmware_image.rc.in), read from the mapped module: nothing is copied to disk.
//
// The resource functions come as a table: the product takes the system's own, and a test wraps
// them to count module references or to make one step fail.
#pragma once

#include "firmware/firmware_image.h"

#include <windows.h>

namespace vornik {

inline constexpr int kFirmwareResourceId = 111;

struct ResourceFunctions {
    BOOL(WINAPI *getModuleHandleEx)(DWORD, LPCWSTR, HMODULE *) = ::GetModuleHandleExW;
    HRSRC(WINAPI *findResource)(HMODULE, LPCWSTR, LPCWSTR) = ::FindResourceW;
    HGLOBAL(WINAPI *loadResource)(HMODULE, HRSRC) = ::LoadResource;
    DWORD(WINAPI *sizeofResource)(HMODULE, HRSRC) = ::SizeofResource;
    LPVOID(WINAPI *lockResource)(HGLOBAL) = ::LockResource;
    BOOL(WINAPI *freeResource)(HGLOBAL) = ::FreeResource;
    BOOL(WINAPI *freeLibrary)(HMODULE) = ::FreeLibrary;
};

class ResourceImage : public FirmwareImageSource {
public:
    explicit ResourceImage(int resourceId = kFirmwareResourceId, ResourceFunctions functions = {})
        : resourceId_(resourceId)
        , functions_(functions)
    { }
    ~ResourceImage() override { release(); }
    ResourceImage(const ResourceImage &) = delete;
    ResourceImage &operator=(const ResourceImage &) = delete;

    bool openModule() override;
    bool find() override;
    bool load() override;
    std::uint32_t size() override;
    const std::uint8_t *data() override;
    void release() override;

private:
    void releaseModule();

    int resourceId_;
    ResourceFunctions functions_;
    HMODULE module_ = nullptr;
    HRSRC resource_ = nullptr;
    HGLOBAL loaded_ = nullptr;
};

} // namespace vornik
