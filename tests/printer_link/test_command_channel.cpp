// The command channel against simulated printers on a virtual clock: the exact frame bytes,
// status parsing and the gate, the reply read's timing, the firmware-revision query and the
// switch into download mode end to end.

#include "simulated_world.h"

#include <algorithm>
#include <cstring>
#include <optional>

using namespace testing;
using namespace std::string_literals;
using vornik::sim::DeviceIdKind;
using vornik::sim::PrinterConfig;
using vornik::sim::PrinterMode;

namespace {

const std::string kHead("\x1b%-12345X@PJL ENTER LANGUAGE=PCL3GUI\n\x1b"
                        "E\x1b%P");
const std::string kTail("exit;\x1b"
                        "E\x1b%-12345X");

std::string FromHex(const char *hex)
{
    std::string bytes;
    for (; hex[0] && hex[1]; hex += 2)
        bytes.push_back(static_cast<char>(std::stoi(std::string(hex, 2), nullptr, 16)));
    return bytes;
}

std::string Bytes(const std::uint8_t *data, std::size_t size)
{
    return std::string(reinterpret_cast<const char *>(data), size);
}

} // namespace

TEST_CASE("a command goes out in its frame, byte for byte, or not at all")
{
    struct Row {
        const char *name;
        std::string command;
        int result;
        std::string frame; // empty: head, command, tail
    };
    const Row rows[] = {
        { "download command, byte for byte", "udw.srec_download;", 1,
            FromHex("1b252d31323334355840504a4c20454e544552204c414e47554147453d50434c3347"
                    "55490a1b451b25507564772e737265635f646f776e6c6f61643b657869743b1b451b"
                    "252d313233343558") },
        { "17 bytes", "ds2.set 79744, 1;", 1, "" },
        { "empty", "", 1, "" },
        { "198 bytes fill the buffer", std::string(198, 'c'), 1, "" },
        { "199 bytes refused", std::string(199, 'c'), 0, "" },
        { "far too long refused", std::string(5000, 'c'), 0, "" },
    };
    for (const Row &row : rows) {
        INFO(row.name);
        SimulatedWorld world;
        const int id = world.attachSelected({});
        std::string frame = row.frame;
        if (frame.empty() && row.result)
            frame = kHead + row.command + kTail;

        const std::uint64_t before = world.clock.elapsed();
        CHECK(SendFramedCommand(row.command.c_str()) == row.result);

        const auto printer = world.printers.snapshot(id);
        CHECK(printer.commandBytes == frame);
        CHECK(frame.size() == (row.result ? row.command.size() + 58 : 0));
        if (row.result) {
            CHECK(printer.commands == std::vector<std::string> { row.command });
            CHECK(Bytes(gCommandFrame, frame.size()) == frame);
            CHECK(world.clock.elapsed() - before >= 200);
        } else {
            CHECK(printer.commands.empty());
            CHECK(world.clock.elapsed() == before);
        }
        CHECK_FALSE(printer.handleOpen);
    }
}

TEST_CASE("a failed write closes the device at once, without the pause")
{
    SimulatedWorld world;
    world.attachSelected({});
    world.printers.failWrites = true;
    const std::uint64_t before = world.clock.elapsed();
    CHECK(SendFramedCommand("ds2.set 79744, 1;") == 0);
    CHECK(world.clock.elapsed() == before);
    CHECK_FALSE(world.printers.snapshots().front().handleOpen);

    Lib_SetUSBDeviceFilePath(0, nullptr);
    world.printers.failWrites = false;
    CHECK(SendFramedCommand("ds2.set 79744, 1;") == 0);
    CHECK(ReadPrinterReply() == 0);
}

TEST_CASE("the status field decides the code, its name and whether the gate lets a command by")
{
    struct Row {
        const char *name;
        std::optional<std::string> statusField; // none: no S field at all
        int code;
        std::u16string statusName;
        bool sent;
    };
    const std::string zeros(16, '0');
    const Row rows[] = {
        { "idle", zeros + "00", 0, u"IDLE", true },
        { "manufacturing mode", zeros + "03", 3, u"MANUFACTURING MODE", true },
        { "printing", zeros + "02", 2, u"PRINTING JOB", false },
        { "1A", zeros + "1A", 26, u"OUT OF INK", false },
        { "1a", zeros + "1a", 26, u"OUT OF INK", false },
        { "gap 17", zeros + "17", 23, u"", false },
        { "30 shares a name with 21", zeros + "1E", 30, u"DUPLEX MISSING", false },
        { "last named", zeros + "36", 54, u"AIO LANGUAGE MENU", false },
        { "past the table", zeros + "37", 55, u"", false },
        { "FF", zeros + "FF", 255, u"", false },
        { "only positions 16 and 17 count", zeros + "0312", 3, u"MANUFACTURING MODE", true },
        { "digits elsewhere ignored", "1A1A1A1A1A1A1A1A00"s, 0, u"IDLE", true },
        { "16 characters", zeros, 0, u"IDLE", true },
        { "empty value", ""s, 0, u"IDLE", true },
        { "17 characters: one digit", zeros + "5", 5, u"CANCELING JOB", false },
        { "blank then digit", zeros + " 3", 3, u"MANUFACTURING MODE", true },
        { "minus sign", zeros + "-3", -3, u"", false },
        { "plus sign", zeros + "+3", 3, u"MANUFACTURING MODE", true },
        { "0x with no digit after it", zeros + "0x", 0, u"IDLE", true },
        { "no hex digit", zeros + "zz", 0, u"IDLE", true },
        { "digit then junk", zeros + "2z", 2, u"PRINTING JOB", false },
        { "no S field", std::nullopt, -1, u"", false },
    };
    for (const Row &row : rows) {
        INFO(row.name);
        SimulatedWorld world;
        // CLS ends in "S:" too; only a field named S counts.
        std::string deviceId = "MFG:ZELTAN;MDL:QXR3303;CLS:" + std::string(16, '0') + "02;SN:A1;";
        if (row.statusField)
            deviceId += "S:" + *row.statusField + ";";
        const int id = world.attachRaw(deviceId + '\0');
        Lib_SetUSBDeviceFilePath(1, world.printers.snapshot(id).path.c_str());

        std::fill(std::begin(gPrinterStatusText), std::end(gPrinterStatusText), u'?');
        gPrinterStatusText[1] = 0;
        CHECK(GetPrinterStatus() == row.code);
        CHECK(Text(gPrinterStatusText) == (row.code == -1 ? u"?"s : row.statusName));

        CHECK(SendCommandIfReady("ds2.set 79744, 1;") == (row.sent ? 1 : 0));
        CHECK(world.printers.snapshot(id).commands.size() == (row.sent ? 1u : 0u));
    }
}

TEST_CASE("the reply read gathers chunks and ends on silence, a pause or a full buffer")
{
    struct Row {
        const char *name;
        std::uint32_t clockStart;
        std::vector<int> delays; // each chunk after the previous, the first after the command
        std::vector<int> sizes;
        int total;
        int minMs; // duration of the read
        int maxMs;
    };
    const std::uint32_t nearWrap = 0xFFFFFF00u; // wraps 256 ms after the start
    const Row rows[] = {
        { "silence", 0, {}, {}, 0, 1001, 1100 },
        { "silence across the wrap", nearWrap, {}, {}, 0, 1001, 1100 },
        { "one chunk", 0, { 50 }, { 3 }, 3, 501, 600 },
        { "chunks 300 ms apart", 0, { 250, 300, 300 }, { 10, 20, 30 }, 60, 1151, 1250 },
        { "chunks 300 ms apart across the wrap", nearWrap, { 250, 300, 300 }, { 10, 20, 30 }, 60,
            1151, 1250 },
        { "first chunk just before the silence limit", 0, { 1150 }, { 4 }, 4, 1451, 1550 },
        { "a pause over 500 ms ends it", 0, { 250, 600 }, { 5, 7 }, 5, 501, 600 },
        { "full buffer ends it at once", 0, { 50, 100 }, { 1024, 9 }, 1024, 0, 0 },
        { "last chunk cut to what fits", 0, { 50, 300 }, { 1000, 100 }, 1024, 0, 400 },
    };
    for (const Row &row : rows) {
        INFO(row.name);
        SimulatedWorld world(row.clockStart);
        PrinterConfig config;
        config.prepareReply.clear();
        std::string expected;
        for (std::size_t i = 0; i < row.delays.size(); ++i) {
            const std::string chunk(row.sizes[i], char('a' + i));
            config.prepareReply.push_back({ std::uint32_t(row.delays[i]), chunk });
            expected += chunk;
        }
        expected.resize(std::min<std::size_t>(expected.size(), row.total));
        world.attachSelected(config);

        REQUIRE(SendFramedCommand("ds2.set 79744, 1;") == 1);
        const std::uint64_t start = world.clock.elapsed();
        CHECK(ReadPrinterReply() == row.total);
        const std::uint64_t took = world.clock.elapsed() - start;
        INFO("read took ", took, " ms");
        CHECK(took >= std::uint64_t(row.minMs));
        CHECK(took <= std::uint64_t(row.maxMs));
        CHECK(Bytes(gReplyBuffer, row.total) == expected);
    }
}

TEST_CASE("the download-mode switch sends both commands only to a ready printer")
{
    struct Row {
        const char *name;
        int status;
        int statusAfterFirstCommand; // -1: unchanged
        DeviceIdKind deviceIdKind;
        int result;
        std::vector<std::string> commands;
    };
    const std::vector<std::string> both { "ds2.set 79744, 1;", "udw.srec_download;" };
    const Row rows[] = {
        { "idle", 0, -1, DeviceIdKind::Product, 1, both },
        { "manufacturing mode", 3, -1, DeviceIdKind::Product, 1, both },
        { "printing gets nothing", 2, -1, DeviceIdKind::Product, 0, {} },
        { "out of ink gets nothing", 26, -1, DeviceIdKind::Product, 0, {} },
        { "starts printing after the first", 0, 2, DeviceIdKind::Product, 0,
            { "ds2.set 79744, 1;" } },
        { "unreadable device ID", 0, -1, DeviceIdKind::Unreadable, 0, {} },
    };
    for (const Row &row : rows) {
        INFO(row.name);
        SimulatedWorld world;
        PrinterConfig config;
        config.status = row.status;
        if (row.statusAfterFirstCommand >= 0)
            config.statusAfterFirstCommand = row.statusAfterFirstCommand;
        config.deviceId = row.deviceIdKind;
        const int id = world.attachSelected(config);

        const std::uint64_t start = world.clock.elapsed();
        CHECK(Lib_SendFlashCommand() == row.result);
        CHECK(world.printers.snapshot(id).commands == row.commands);
        // Two pauses after the commands and the reply read between them.
        if (row.result)
            CHECK(world.clock.elapsed() - start > 900);
        CHECK(world.errors.empty());
    }
}

TEST_CASE("a printer switched into download mode leaves the bus and comes back as KX reflash")
{
    struct Row {
        const char *name;
        std::string downloadSerial;
        std::u16string listedSerial;
    };
    const Row rows[] = {
        { "same serial", "", u"SN0042" },
        { "other serial in download mode", "DL0042", u"DL0042" },
    };
    for (const Row &row : rows) {
        INFO(row.name);
        SimulatedWorld world;
        int notices = 0;
        world.printers.setChangeListener([&notices] { ++notices; });
        PrinterConfig config;
        config.serial = "SN0042";
        config.downloadSerial = row.downloadSerial;
        config.leaveBusAfterMs = 4000;
        config.reappearAfterMs = 2000;
        const int id = world.printers.attach(config);
        CHECK(notices == 1);

        USBPrinterClassDeviceInfo table;
        REQUIRE(Lib_EnumeratePrinterClassPnPDevices(&table) == 1);
        const std::u16string normalPath = Entry(table.DevicePath[0]);
        Lib_SetUSBDeviceFilePath(1, table.DevicePath[0]);
        CHECK(Lib_SendFlashCommand() == 1);
        CHECK(world.printers.snapshot(id).commands
            == std::vector<std::string> { "ds2.set 79744, 1;", "udw.srec_download;" });

        // Polled the way the update waits for it: the old path stops opening.
        int polls = 0;
        while (Lib_IsConnectionValid() && polls < 20) {
            world.clock.sleep(1000);
            ++polls;
        }
        CHECK(Lib_IsConnectionValid() == 0);
        CHECK(world.printers.snapshot(id).mode == PrinterMode::OffBus);
        CHECK(notices == 2);

        world.clock.sleep(3000);
        REQUIRE(Lib_EnumeratePrinterClassPnPDevices(&table) == 1);
        CHECK(notices == 3);
        USBPrinterClassDeviceInfo flash;
        REQUIRE(Lib_GetSupportedPrinterDeviceInfo(u"KX reflash", &flash, &table) == 1);
        CHECK(Entry(flash.SerialNumber[0]) == row.listedSerial);
        CHECK(Entry(flash.DevicePath[0]) != normalPath);
        Lib_SetUSBDeviceFilePath(1, flash.DevicePath[0]);
        CHECK(Lib_IsConnectionValid() == 1);
    }
}

TEST_CASE("the firmware revision is the reply up to its first ; and fits its buffer")
{
    struct Row {
        const char *name;
        std::optional<std::string> reply; // none: no reply at all
        int status;
        int result;
        std::u16string revision;
    };
    const Row rows[] = {
        { "revision then more", "VRN.01.23;rest;"s, 0, 1, u"VRN.01.23" },
        { "no ;", "VRN.01.23"s, 0, 1, u"VRN.01.23" },
        { "ended by a zero byte", std::string("VRN\0XY;", 7), 0, 1, u"VRN" },
        { "; first", ";VRN;"s, 0, 0, u"" },
        { "300 characters cut to 255", std::string(300, 'R'), 0, 1, std::u16string(255, u'R') },
        { "silent printer", std::nullopt, 0, 0, u"" },
        { "busy printer", "VRN.01.23;"s, 2, 0, u"" },
    };
    for (const Row &row : rows) {
        INFO(row.name);
        SimulatedWorld world;
        PrinterConfig config;
        config.status = row.status;
        config.revisionReply.clear();
        if (row.reply)
            config.revisionReply.push_back({ 50, *row.reply });
        world.attachSelected(config);
        std::memset(gReplyBuffer, 'j', sizeof gReplyBuffer);

        char16_t out[vornik::contract::kTextUnits];
        std::fill(std::begin(out), std::end(out), u'#');
        const std::uint64_t start = world.clock.elapsed();
        CHECK(GetFirmwareRevision(out) == row.result);
        CHECK(Text(out) == row.revision);
        // Five silent reads of just over a second each.
        if (!row.reply && row.status == 0)
            CHECK(world.clock.elapsed() - start > 5000);
    }
}

TEST_CASE("exceptions in the command channel become failure values and an FDU App box")
{
    SimulatedWorld world;
    world.attachSelected({});
    world.printers.throwOnOpen = true;

    CHECK(GetPrinterStatus() == -1);
    CHECK(SendCommandIfReady("ds2.set 79744, 1;") == 0);
    CHECK(Lib_SendFlashCommand() == 0);
    char16_t out[vornik::contract::kTextUnits];
    CHECK(GetFirmwareRevision(out) == 0);
    CHECK_FALSE(world.errors.empty());
    for (const std::string &error : world.errors)
        CHECK(error == "FDU App: open broke");
}
