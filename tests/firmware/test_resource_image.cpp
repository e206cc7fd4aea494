// Resource 111 of this program through the system's resource functions, each step made to fail
// in turn: the operator hears of a missing, unloadable or empty image, and every path hands
// back the module reference GetModuleHandleExW counted.
#include "text_support.h"
#include "transfer_world.h"

#include "firmware/resource_image_windows.h"
#include "firmware/transfer.h"

#include <string>
#include <vector>

namespace {

int gModuleReferences = 0;
std::string gFailing; // the step that fails: "module", "find", "load", "size", "lock"

BOOL WINAPI CountedGetModuleHandleEx(DWORD flags, LPCWSTR name, HMODULE *module)
{
    if (gFailing == "module")
        return FALSE;
    const BOOL got = GetModuleHandleExW(flags, name, module);
    gModuleReferences += got ? 1 : 0;
    return got;
}
BOOL WINAPI CountedFreeLibrary(HMODULE module)
{
    --gModuleReferences;
    return FreeLibrary(module);
}
HRSRC WINAPI MaybeFindResource(HMODULE module, LPCWSTR name, LPCWSTR type)
{
    return gFailing == "find" ? nullptr : FindResourceW(module, name, type);
}
HGLOBAL WINAPI MaybeLoadResource(HMODULE module, HRSRC resource)
{
    return gFailing == "load" ? nullptr : LoadResource(module, resource);
}
DWORD WINAPI MaybeSizeofResource(HMODULE module, HRSRC resource)
{
    return gFailing == "size" ? 0 : SizeofResource(module, resource);
}
LPVOID WINAPI MaybeLockResource(HGLOBAL loaded)
{
    return gFailing == "lock" ? nullptr : LockResource(loaded);
}

vornik::ResourceFunctions Counted()
{
    vornik::ResourceFunctions functions;
    functions.getModuleHandleEx = CountedGetModuleHandleEx;
    functions.freeLibrary = CountedFreeLibrary;
    functions.findResource = MaybeFindResource;
    functions.loadResource = MaybeLoadResource;
    functions.sizeofResource = MaybeSizeofResource;
    functions.lockResource = MaybeLockResource;
    return functions;
}

} // namespace

TEST_CASE("every step of taking the image out can fail, and each hands its module back")
{
    struct Row {
        const char *name;
        std::string failing;
        int resourceId;
        int result;
        std::string message; // empty: none
    };
    const Row rows[] = {
        { "healthy", "", vornik::kFirmwareResourceId, 1, "" },
        { "no module", "module", vornik::kFirmwareResourceId, 0, "" },
        { "not found", "find", vornik::kFirmwareResourceId, 0, "StrRes_FiirmwareNotFound" },
        { "a program without resource 112", "", 112, 0, "StrRes_FiirmwareNotFound" },
        { "not loadable", "load", vornik::kFirmwareResourceId, 0, "StrRes_FirmwareLoadFail" },
        { "empty", "size", vornik::kFirmwareResourceId, 0, "StrRes_FirmwareZeroBytes" },
        { "bytes out of reach", "lock", vornik::kFirmwareResourceId, 0, "" },
    };
    for (const Row &row : rows) {
        INFO(row.name);
        gFailing = row.failing;
        gModuleReferences = 0;
        testing::TransferWorld world;
        vornik::ResourceImage image(row.resourceId, Counted());
        CHECK(vornik::CopyFirmwareImageToPrinter(image, u"p", world.messages) == row.result);
        if (row.message.empty())
            CHECK(world.faults.empty());
        else
            CHECK(world.faults == std::vector<std::string> { row.message });
        CHECK(world.failures.empty());
        CHECK(gModuleReferences == 0);
        CHECK(world.sink.opened == row.result);
        CHECK((world.sink.bytes > 0) == (row.result == 1));
    }
    gFailing.clear();
}

TEST_CASE("the manifest rides along as resource 1 of type 24 and asks for no elevation")
{
    const HMODULE self = GetModuleHandleW(nullptr);
    const HRSRC found = FindResourceW(self, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    REQUIRE(found != nullptr);
    const HGLOBAL loaded = LoadResource(self, found);
    REQUIRE(loaded != nullptr);
    const std::string manifest(
        static_cast<const char *>(LockResource(loaded)), SizeofResource(self, found));
    CHECK(manifest.find(R"(level="asInvoker" uiAccess="false")") != std::string::npos);
    CHECK(manifest.find(">true</dpiAware>") != std::string::npos);
    // Windows reads it before our code runs; Wine takes every program for DPI aware, so here
    // this proves little, on Windows it proves the setting took.
    CHECK(IsProcessDPIAware());
}
