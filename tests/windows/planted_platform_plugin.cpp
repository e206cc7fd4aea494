// A stand-in for someone else's qwindows.dll: a real platform plugin as far as Qt's loader can
// tell (the metadata Qt reads from the file before it loads it names the key "windows"), which
// creates a file "<its own path>.loaded" the moment Windows maps it into a process, before any
// of its code could do harm. It never creates a platform.
#include <qpa/qplatformintegrationplugin.h>

#include <string>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

class PlantedPlatformPlugin : public QPlatformIntegrationPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QPlatformIntegrationFactoryInterface_iid FILE
        "planted_platform_plugin.json")

public:
    QPlatformIntegration *create(const QString &, const QStringList &) override { return nullptr; }
};

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        wchar_t path[MAX_PATH];
        const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
        if (length > 0 && length < MAX_PATH - 8) {
            const std::wstring mark = std::wstring(path, length) + L".loaded";
            HANDLE file = CreateFileW(mark.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file != INVALID_HANDLE_VALUE)
                CloseHandle(file);
        }
    }
    return TRUE;
}

#include "planted_platform_plugin.moc"
