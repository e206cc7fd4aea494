// A fresh simulated machine for one test: a virtual clock, printers on it, the printer layer's
// buffers back at their start state, and the "FDU App" boxes collected instead of shown.
#pragma once

#include "text_support.h"

#include "printer_link/platform.h"
#include "printer_link/printer_link.h"
#include "printer_link/simulated/simulated_printers.h"
#include "printer_link/simulated/virtual_clock.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace testing {

// One text of a device table.
inline std::u16string Entry(const char16_t (&field)[vornik::contract::kTextUnits])
{
    return std::u16string(field);
}

// Printers whose platform calls can be made to fail or throw, for the paths real drivers take
// only now and then.
class FaultyPrinters : public vornik::sim::SimulatedPrinters {
public:
    using SimulatedPrinters::SimulatedPrinters;

    bool throwOnBegin = false;
    bool throwOnOpen = false;
    bool failWrites = false;

    bool beginEnumeration() override
    {
        if (throwOnBegin)
            throw std::runtime_error("class query broke");
        return SimulatedPrinters::beginEnumeration();
    }
    vornik::DeviceHandle open(const std::u16string &path, vornik::OpenMode mode) override
    {
        if (throwOnOpen)
            throw std::runtime_error("open broke");
        return SimulatedPrinters::open(path, mode);
    }
    bool write(vornik::DeviceHandle handle, const std::uint8_t *data, std::size_t size) override
    {
        return failWrites ? false : SimulatedPrinters::write(handle, data, size);
    }
};

struct SimulatedWorld {
    explicit SimulatedWorld(std::uint32_t clockStart = 0)
        : clock(clockStart)
        , printers(clock)
    {
        ResetPrinterLinkState();
        vornik::InstallPlatform(&printers, &clock);
        vornik::InstallErrorBox([this](const std::u16string &text, const std::u16string &caption) {
            errors.push_back(Printable(caption) + ": " + Printable(text));
        });
    }
    ~SimulatedWorld()
    {
        vornik::InstallPlatform(nullptr, nullptr);
        vornik::InstallErrorBox({});
    }
    SimulatedWorld(const SimulatedWorld &) = delete;
    SimulatedWorld &operator=(const SimulatedWorld &) = delete;

    // A printer whose driver hands over exactly these bytes as its device ID.
    int attachRaw(const std::string &deviceId)
    {
        vornik::sim::PrinterConfig config;
        config.deviceId = vornik::sim::DeviceIdKind::Raw;
        config.rawDeviceId.assign(deviceId.begin(), deviceId.end());
        return printers.attach(config);
    }

    // Attaches one printer and makes it the selected one.
    int attachSelected(const vornik::sim::PrinterConfig &config)
    {
        const int id = printers.attach(config);
        Lib_SetUSBDeviceFilePath(1, printers.snapshot(id).path.c_str());
        return id;
    }

    vornik::sim::VirtualClock clock;
    FaultyPrinters printers;
    std::vector<std::string> errors;
};

} // namespace testing
