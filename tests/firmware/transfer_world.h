// The platform the firmware suites install: one device that takes what a transfer writes, and
// the messages the transfer raises.
#pragma once

#include "firmware/transfer.h"
#include "printer_link/platform.h"
#include "printer_link/simulated/sha256.h"

#include <cstdint>
#include <string>
#include <vector>

namespace testing {

// Opens whatever path it is given unless told not to, keeps every byte it takes (or only their
// count and digest, for an image too large to keep) and can fail the write that would go past
// `failAfter` bytes.
class SinkDevice : public vornik::DevicePlatform {
public:
    bool opens = true;
    bool keep = true;
    std::int64_t failAfter = -1;
    std::vector<std::uint8_t> received;
    std::uint64_t bytes = 0;
    vornik::sim::Sha256 hash;
    int opened = 0;
    int closed = 0;
    vornik::OpenMode lastMode = vornik::OpenMode::ReadWriteShared;
    std::u16string lastPath;

    bool beginEnumeration() override { return false; }
    vornik::InterfaceLookup interfacePath(int, std::u16string &) override
    {
        return vornik::InterfaceLookup::NoMoreMembers;
    }
    void endEnumeration() override { }
    vornik::DeviceHandle open(const std::u16string &path, vornik::OpenMode mode) override
    {
        lastPath = path;
        lastMode = mode;
        if (!opens)
            return vornik::kInvalidDeviceHandle;
        ++opened;
        return kHandle;
    }
    bool queryDeviceId(vornik::DeviceHandle, std::uint8_t *, std::size_t) override { return false; }
    bool write(vornik::DeviceHandle handle, const std::uint8_t *data, std::size_t size) override
    {
        if (handle != kHandle)
            return false;
        if (failAfter >= 0 && bytes + size > static_cast<std::uint64_t>(failAfter))
            return false;
        if (keep)
            received.insert(received.end(), data, data + size);
        hash.update(data, size);
        bytes += size;
        return true;
    }
    bool read(vornik::DeviceHandle, std::uint8_t *, std::size_t, std::size_t &got) override
    {
        got = 0;
        return false;
    }
    void close(vornik::DeviceHandle handle) override { closed += handle == kHandle; }
    std::string lastErrorText() const override { return "No such device"; }

private:
    static constexpr vornik::DeviceHandle kHandle = 7;
};

// The sink installed as the platform while this lives, and what the transfer told the operator.
struct TransferWorld {
    TransferWorld()
    {
        vornik::InstallPlatform(&sink, nullptr);
        messages.imageFault = [this](const char *key) { faults.push_back(key); };
        messages.failure = [this](const std::string &text) { failures.push_back(text); };
    }
    ~TransferWorld() { vornik::InstallPlatform(nullptr, nullptr); }
    TransferWorld(const TransferWorld &) = delete;
    TransferWorld &operator=(const TransferWorld &) = delete;

    SinkDevice sink;
    vornik::TransferMessages messages;
    std::vector<std::string> faults;
    std::vector<std::string> failures;
};

} // namespace testing
