// Fuzzes the device-ID path: whatever bytes a printer's driver hands over become the table's
// product name, serial number and the status code, without a read or write past any field.
#include "printer_link/platform.h"
#include "printer_link/printer_link.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

// One printer whose device ID is the fuzzer's input, as the driver would return it.
class OnePrinter : public vornik::DevicePlatform {
public:
    std::vector<std::uint8_t> id;
    bool beginEnumeration() override { return true; }
    vornik::InterfaceLookup interfacePath(int index, std::u16string &path) override
    {
        if (index > 0)
            return vornik::InterfaceLookup::NoMoreMembers;
        path = u"/dev/usb/lp0";
        return vornik::InterfaceLookup::Found;
    }
    void endEnumeration() override { }
    vornik::DeviceHandle open(const std::u16string &, vornik::OpenMode) override { return 3; }
    bool queryDeviceId(vornik::DeviceHandle, std::uint8_t *buffer, std::size_t size) override
    {
        // Exactly what came, never more than the buffer: a driver does not terminate a full one.
        if (!id.empty())
            std::memcpy(buffer, id.data(), std::min(size, id.size()));
        return true;
    }
    bool write(vornik::DeviceHandle, const std::uint8_t *, std::size_t) override { return true; }
    bool read(vornik::DeviceHandle, std::uint8_t *, std::size_t, std::size_t &got) override
    {
        got = 0;
        return true;
    }
    void close(vornik::DeviceHandle) override { }
};

class StoppedClock : public vornik::Clock {
public:
    std::uint32_t now = 0;
    std::uint32_t tickCount() override { return now; }
    void sleep(std::uint32_t ms) override { now += ms; }
};

bool Terminated(const char16_t *text)
{
    for (std::size_t i = 0; i < vornik::contract::kTextUnits; ++i)
        if (text[i] == 0)
            return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static OnePrinter printer;
    static StoppedClock clock;
    vornik::InstallPlatform(&printer, &clock);
    vornik::InstallErrorBox([](const std::u16string &, const std::u16string &) {});
    ResetPrinterLinkState();
    printer.id.assign(data, data + size);

    USBPrinterClassDeviceInfo table;
    std::memset(&table, 0xA5, sizeof table); // garbage before: every text must be rewritten
    const int count = Lib_EnumeratePrinterClassPnPDevices(&table);
    if (count != 1 || table.DeviceCount != 1)
        __builtin_trap();
    for (int i = 0; i < vornik::contract::kMaxPrinters; ++i) {
        if (!Terminated(table.ProductName[i]) || !Terminated(table.SerialNumber[i])
            || !Terminated(table.DevicePath[i]))
            __builtin_trap();
    }
    // Two sign-and-hex characters can read as any code from -255 to 255; only 0 to 54 have names.
    const int status = GetPrinterStatus();
    if (status < -255 || status > 255 || !Terminated(gPrinterStatusText))
        __builtin_trap();
    if ((status < 0 || status > 54) && gPrinterStatusText[0] != 0)
        __builtin_trap();
    return 0;
}
