#include "platform.h"

#include <cstdio>
#include <string>

namespace vornik {

Platform &CurrentPlatform()
{
    static Platform platform;
    return platform;
}

void InstallPlatform(DevicePlatform *devices, Clock *clock)
{
    CurrentPlatform().devices = devices;
    CurrentPlatform().clock = clock;
}

void InstallErrorBox(ErrorBox box)
{
    CurrentPlatform().errorBox = std::move(box);
}

void InstallSessionHold(SessionHold *session)
{
    CurrentPlatform().session = session;
}

void ShowPrinterLayerError(const std::u16string &text)
{
    const ErrorBox &box = CurrentPlatform().errorBox;
    if (box) {
        box(text, u"FDU App");
        return;
    }
    // No user interface yet: the text must not be lost.
    std::string narrow;
    for (char16_t unit : text)
        narrow.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
    std::fprintf(stderr, "FDU App: %s\n", narrow.c_str());
}

} // namespace vornik
