// The simulated printers themselves: other tests and the bench trust them to keep the device
// contract, so their timeline, sharing rules, faults and image accounting are checked here.

#include "simulated_world.h"

#include "printer_link/simulated/sha256.h"

#include <algorithm>
#include <atomic>
#include <thread>

using namespace testing;
using vornik::DeviceHandle;
using vornik::kInvalidDeviceHandle;
using vornik::OpenMode;
using vornik::sim::PrinterConfig;
using vornik::sim::PrinterMode;
using vornik::sim::Sha256;

namespace {

std::string Framed(const std::string &command)
{
    return std::string(vornik::contract::kFrameHead) + command + vornik::contract::kFrameTail;
}

bool Write(vornik::DevicePlatform &devices, DeviceHandle handle, const std::string &bytes)
{
    return devices.write(
        handle, reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size());
}

std::string DeviceId(vornik::DevicePlatform &devices, DeviceHandle handle)
{
    std::uint8_t buffer[vornik::contract::kDeviceIdBytes] = {};
    if (!devices.queryDeviceId(handle, buffer, sizeof buffer))
        return {};
    return std::string(reinterpret_cast<const char *>(buffer));
}

} // namespace

TEST_CASE("SHA-256 gives the known digests, whole or in pieces")
{
    struct Row {
        const char *name;
        std::string input;
        std::size_t piece; // bytes per update; 0: all at once
        std::string digest;
    };
    std::string allBytes;
    for (int i = 0; i < 3 * 256; ++i)
        allBytes.push_back(char(i));
    const Row rows[] = {
        { "empty", "", 0, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855" },
        { "abc", "abc", 0, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad" },
        { "448 bits", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", 0,
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1" },
        { "896 bits, byte by byte",
            "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklm"
            "nopqrlmnopqrsmnopqrstnopqrstu",
            1, "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1" },
        // Around the padding boundaries: 55 bytes still take the length in the same block, 56
        // do not.
        { "55 a", std::string(55, 'a'), 0,
            "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318" },
        { "56 a", std::string(56, 'a'), 0,
            "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a" },
        { "63 a", std::string(63, 'a'), 7,
            "7d3e74a05d7db15bce4ad9ec0658ea98e3f06eeecf16b4c6fff2da457ddc2f34" },
        { "64 a", std::string(64, 'a'), 0,
            "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb" },
        { "65 a", std::string(65, 'a'), 64,
            "635361c48bb9eab14198e76ea8ab7f1a41685d6ad62aa9146d301d4f17eb0ae0" },
        { "120 a", std::string(120, 'a'), 33,
            "2f3d335432c70b580af0e8e1b3674a7c020d683aa5f73aaaedfdc55af904c21c" },
        { "every byte value", allBytes, 100,
            "f3a25aa93aa2fbba28d79260535bbd6a5eb0fc1c24a8b0f04e12b484c1dfe363" },
        { "a million a in odd pieces", std::string(1000000, 'a'), 997,
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0" },
    };
    for (const Row &row : rows) {
        INFO(row.name);
        const auto *data = reinterpret_cast<const std::uint8_t *>(row.input.data());
        Sha256 hash;
        const std::size_t step
            = row.piece > 0 ? row.piece : std::max<std::size_t>(row.input.size(), 1);
        for (std::size_t at = 0; at < row.input.size(); at += step)
            hash.update(data + at, std::min(step, row.input.size() - at));
        CHECK(hash.hexDigest() == row.digest);
        // Taking the digest does not disturb the running hash.
        CHECK(hash.hexDigest() == row.digest);
    }
}

TEST_CASE("sharing: only two shared opens stand side by side")
{
    struct Row {
        const char *name;
        OpenMode first;
        OpenMode second;
        bool secondOpens;
    };
    const Row rows[] = {
        { "shared, shared", OpenMode::ReadWriteShared, OpenMode::ReadWriteShared, true },
        { "shared, exclusive", OpenMode::ReadWriteShared, OpenMode::WriteExclusive, false },
        { "exclusive, shared", OpenMode::WriteExclusive, OpenMode::ReadWriteShared, false },
        { "exclusive, exclusive", OpenMode::WriteExclusive, OpenMode::WriteExclusive, false },
    };
    for (const Row &row : rows) {
        INFO(row.name);
        SimulatedWorld world;
        const std::u16string path = world.printers.snapshot(world.printers.attach({})).path;

        const DeviceHandle a = world.printers.open(path, row.first);
        CHECK(a != kInvalidDeviceHandle);
        const DeviceHandle b = world.printers.open(path, row.second);
        CHECK((b != kInvalidDeviceHandle) == row.secondOpens);
        world.printers.close(a);
        world.printers.close(b);
        // Once the first is closed again, the second kind opens.
        const DeviceHandle c = world.printers.open(path, row.second);
        CHECK(c != kInvalidDeviceHandle);
        world.printers.close(c);
    }
}

TEST_CASE("a printer's life through an update: leave, come back, take the image, store, leave")
{
    SimulatedWorld world;
    auto &printers = world.printers;
    int notices = 0;
    printers.setChangeListener([&notices] { ++notices; });

    PrinterConfig config;
    config.serial = "SN0007";
    config.status = 26;
    config.leaveBusAfterMs = 2000;
    config.reappearAfterMs = 1000;
    config.storeTimeMs = 30000;
    std::string image(10000, '\0');
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = char(i * 7 + 3);
    config.expectedImageBytes = image.size();
    const int id = printers.attach(config);
    CHECK(notices == 1);
    const std::u16string normalPath = printers.snapshot(id).path;

    const DeviceHandle normal = printers.open(normalPath, OpenMode::ReadWriteShared);
    CHECK(DeviceId(printers, normal) == "MFG:ZELTAN;MDL:QXR3303;SN:SN0007;S:00000000000000001A;");
    // Busy: the command is received but not acted on.
    CHECK(Write(printers, normal, Framed("udw.srec_download;")));
    CHECK(printers.snapshot(id).mode == PrinterMode::Normal);

    printers.setStatus(id, 0);
    // A frame may arrive in pieces.
    const std::string frame = Framed("udw.srec_download;");
    CHECK(Write(printers, normal, frame.substr(0, 20)));
    CHECK(Write(printers, normal, frame.substr(20)));
    CHECK(printers.snapshot(id).commands.size() == 2u);
    CHECK(printers.snapshot(id).mode == PrinterMode::LeavingBus);

    world.clock.advance(1999);
    printers.poll();
    CHECK(printers.snapshot(id).mode == PrinterMode::LeavingBus);
    world.clock.advance(1);
    printers.poll();
    CHECK(printers.snapshot(id).mode == PrinterMode::OffBus);
    CHECK(notices == 2);
    // A handle from before the departure is dead for good.
    CHECK_FALSE(Write(printers, normal, Framed("ds2.set 79744, 1;")));
    CHECK(DeviceId(printers, normal).empty());
    std::size_t got = 0;
    std::uint8_t byte;
    CHECK_FALSE(printers.read(normal, &byte, 1, got));
    printers.close(normal);
    CHECK(printers.open(normalPath, OpenMode::ReadWriteShared) == kInvalidDeviceHandle);

    world.clock.advance(1000);
    printers.poll();
    const auto download = printers.snapshot(id);
    CHECK(download.mode == PrinterMode::DownloadMode);
    CHECK(notices == 3);
    CHECK(download.path != normalPath);
    CHECK(printers.open(normalPath, OpenMode::ReadWriteShared) == kInvalidDeviceHandle);

    const DeviceHandle stream = printers.open(download.path, OpenMode::WriteExclusive);
    REQUIRE(stream != kInvalidDeviceHandle);
    CHECK(DeviceId(printers, stream) == "MFG:KX;MDL:reflash;SN:SN0007;");
    for (std::size_t at = 0; at < image.size(); at += 3000)
        CHECK(Write(printers, stream, image.substr(at, 3000)));
    printers.close(stream);

    const auto stored = printers.snapshot(id);
    CHECK(stored.mode == PrinterMode::Storing);
    CHECK(stored.imageComplete);
    CHECK(stored.imageBytes == std::uint64_t(image.size()));
    CHECK(stored.imageSha256
        == Sha256::hexOf(reinterpret_cast<const std::uint8_t *>(image.data()), image.size()));
    // The probe of the update may still open the path while the printer stores.
    const DeviceHandle probe = printers.open(stored.path, OpenMode::ReadWriteShared);
    CHECK(probe != kInvalidDeviceHandle);
    printers.close(probe);

    world.clock.advance(30000);
    printers.poll();
    CHECK(printers.snapshot(id).mode == PrinterMode::Gone);
    CHECK(notices == 4);
    CHECK(printers.open(stored.path, OpenMode::ReadWriteShared) == kInvalidDeviceHandle);
    printers.poll();
    CHECK(notices == 4);
}

TEST_CASE("image faults: what the printer received and where it is an hour later")
{
    struct Row {
        const char *name;
        int failWriteAfter;
        int detachAfter;
        bool stall;
        int storeTimeMs;
        int received;
        bool allWritten;
        PrinterMode modeAnHourLater;
        int returnAfterMs = -1;
        bool keepsOldFirmware = false;
        const char *revisionAnHourLater = "VRN.01.23"; // what "udw.get_fw_rev;" gets then
    };
    const Row rows[] = {
        { "healthy", -1, -1, false, 1000, 10000, true, PrinterMode::Gone, -1, false,
            "QXR3303.2528A.01" },
        { "never finishes storing", -1, -1, false, -1, 10000, true, PrinterMode::Storing },
        // A failed write counts none of its bytes: the sender was told nothing of them was taken.
        { "write fails after 4096", 4096, -1, false, 1000, 4000, false, PrinterMode::DownloadMode },
        { "detaches after 4500, inside a write", -1, 4500, false, 1000, 4000, false,
            PrinterMode::Gone },
        { "first write fails", 0, -1, false, 1000, 0, false, PrinterMode::DownloadMode },
        { "detaches after 5000", -1, 5000, false, 1000, 5000, false, PrinterMode::Gone },
        { "detaches right at the end", -1, 10000, false, 1000, 10000, true, PrinterMode::Gone },
        { "stalls", -1, -1, true, 1000, 0, false, PrinterMode::DownloadMode },
        { "stores, comes back", -1, -1, false, 1000, 10000, true, PrinterMode::Normal, 5000, false,
            "QXR3303.2528A.01" },
        { "stores nothing, comes back", -1, -1, false, 1000, 10000, true, PrinterMode::Normal, 5000,
            true },
        { "unplugged, never comes back", -1, 5000, false, 1000, 5000, false, PrinterMode::Gone,
            5000 },
        { "never finishes storing, never comes back", -1, -1, false, -1, 10000, true,
            PrinterMode::Storing, 5000 },
    };
    const std::string piece(1000, 'i');
    std::string whole;
    for (int i = 0; i < 10; ++i)
        whole += piece;
    const std::string image
        = Sha256::hexOf(reinterpret_cast<const std::uint8_t *>(whole.data()), whole.size());
    for (const Row &row : rows) {
        INFO(row.name);
        SimulatedWorld world;
        PrinterConfig config;
        config.leaveBusAfterMs = 0;
        config.reappearAfterMs = 0;
        config.expectedImageBytes = 10000;
        config.failWriteAfterBytes = row.failWriteAfter;
        config.detachAfterBytes = row.detachAfter;
        config.stallWrites = row.stall;
        config.storeTimeMs = row.storeTimeMs;
        config.returnAfterMs = row.returnAfterMs;
        config.keepsOldFirmware = row.keepsOldFirmware;
        config.revisionOfImage[image] = "QXR3303.2528A.01";
        const int id = world.printers.attach(config);

        const DeviceHandle normal
            = world.printers.open(world.printers.snapshot(id).path, OpenMode::ReadWriteShared);
        CHECK(Write(world.printers, normal, Framed("udw.srec_download;")));
        world.printers.close(normal);
        REQUIRE(world.printers.snapshot(id).mode == PrinterMode::DownloadMode);

        const std::uint64_t start = world.clock.elapsed();
        const DeviceHandle stream
            = world.printers.open(world.printers.snapshot(id).path, OpenMode::WriteExclusive);
        bool ok = true;
        for (int at = 0; at < 10000 && ok; at += 1000)
            ok = Write(world.printers, stream, piece);
        // Refused once, refused for good: not even a byte that would still fit gets in.
        if (row.failWriteAfter >= 0)
            CHECK(!Write(world.printers, stream, std::string(1, 'i')));
        world.printers.close(stream);
        CHECK(ok == row.allWritten);
        CHECK(world.printers.snapshot(id).imageBytes == std::uint64_t(row.received));
        if (row.stall)
            CHECK(world.clock.elapsed() - start >= vornik::contract::kWriteStallLimitMs);

        world.clock.advance(3600 * 1000);
        world.printers.poll();
        const auto later = world.printers.snapshot(id);
        CHECK(later.mode == row.modeAnHourLater);
        CHECK(later.revision == row.revisionAnHourLater);
        if (later.mode == PrinterMode::Normal) {
            // Back with the same serial number, and asked through the command channel.
            CHECK(later.restarted);
            Lib_SetUSBDeviceFilePath(1, later.path.c_str());
            char16_t revision[vornik::contract::kTextUnits];
            CHECK(GetFirmwareRevision(revision) == 1);
            CHECK(Printable(revision) == row.revisionAnHourLater);
        }
    }
}

TEST_CASE("a read without data passes the read's time; with a chunk due it waits just for it")
{
    SimulatedWorld world;
    PrinterConfig config;
    config.prepareReply = { { 20, "hi" } };
    const int id = world.printers.attach(config);
    const DeviceHandle handle
        = world.printers.open(world.printers.snapshot(id).path, OpenMode::ReadWriteShared);
    std::uint8_t buffer[16];
    std::size_t got = 99;

    std::uint64_t start = world.clock.elapsed();
    CHECK(world.printers.read(handle, buffer, sizeof buffer, got));
    CHECK(got == 0u);
    CHECK(world.clock.elapsed() - start == 50u);

    CHECK(Write(world.printers, handle, Framed("ds2.set 79744, 1;")));
    start = world.clock.elapsed();
    CHECK(world.printers.read(handle, buffer, sizeof buffer, got));
    CHECK(std::string(reinterpret_cast<const char *>(buffer), got) == "hi");
    CHECK(world.clock.elapsed() - start == 20u);
    world.printers.close(handle);
}

TEST_CASE("printers plugged in and out on another thread while the layer enumerates")
{
    SimulatedWorld world;
    std::atomic<int> notices = 0;
    world.printers.setChangeListener([&notices] { ++notices; });
    constexpr int kRounds = 200;

    std::thread plugger([&] {
        for (int i = 0; i < kRounds; ++i)
            world.printers.detach(world.printers.attach({}));
    });
    USBPrinterClassDeviceInfo table;
    int unexpected = 0;
    for (int i = 0; i < kRounds; ++i) {
        const int count = Lib_EnumeratePrinterClassPnPDevices(&table);
        unexpected += count != 0 && count != 1;
    }
    plugger.join();
    CHECK(unexpected == 0);
    CHECK(notices.load() == 2 * kRounds);
    CHECK(Lib_EnumeratePrinterClassPnPDevices(&table) == 0);
}

TEST_CASE("the default platform of a simulated build is the simulated printers")
{
    vornik::InstallPlatform(nullptr, nullptr);
    vornik::InstallDefaultPlatform();
    CHECK(vornik::CurrentPlatform().devices
        == static_cast<vornik::DevicePlatform *>(&vornik::sim::DefaultSimulatedPrinters()));
    CHECK(vornik::CurrentPlatform().clock
        == static_cast<vornik::Clock *>(&vornik::sim::DefaultSimulatedClock()));

    // An installed platform is left alone.
    SimulatedWorld world;
    vornik::InstallDefaultPlatform();
    CHECK(vornik::CurrentPlatform().devices
        == static_cast<vornik::DevicePlatform *>(&world.printers));
}
