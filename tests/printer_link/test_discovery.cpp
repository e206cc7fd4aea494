// Discovery against simulated printers: what ends up in the device table for the printers and
// device IDs a driver may hand over, the filter, the selected path and the failure paths.

#include "simulated_world.h"

#include <algorithm>
#include <cstring>
#include <optional>

using namespace testing;
using namespace std::string_literals;
using vornik::contract::kMaxPrinters;
using vornik::contract::kTextUnits;
using vornik::sim::DeviceIdKind;
using vornik::sim::PrinterConfig;

namespace {

void SetEntry(char16_t (&field)[kTextUnits], const std::u16string &text)
{
    std::memset(field, 0, sizeof field);
    std::memcpy(field, text.data(), std::min<std::size_t>(text.size(), 255) * sizeof(char16_t));
}

std::u16string Numbered(const char *text, int n)
{
    std::string numbered = text;
    numbered += std::to_string(n);
    return Widen(numbered);
}

// A table full of leftovers, to show what an operation rewrites and what it leaves.
USBPrinterClassDeviceInfo JunkTable()
{
    USBPrinterClassDeviceInfo table;
    std::memset(&table, 0, sizeof table);
    table.DeviceCount = 5;
    for (int i = 0; i < kMaxPrinters; ++i) {
        table.Selected[i] = 1;
        SetEntry(table.ProductName[i], Numbered("old name ", i));
        SetEntry(table.DevicePath[i], Numbered("old path ", i));
        SetEntry(table.SerialNumber[i], Numbered("old serial ", i));
    }
    return table;
}

bool EntryIsZero(const USBPrinterClassDeviceInfo &table, int i)
{
    static const char16_t zero[kTextUnits] = {};
    return std::memcmp(table.ProductName[i], zero, sizeof zero) == 0
        && std::memcmp(table.DevicePath[i], zero, sizeof zero) == 0
        && std::memcmp(table.SerialNumber[i], zero, sizeof zero) == 0;
}

std::string Padded(std::string id, std::size_t length, char fill)
{
    id.append(length - id.size(), fill);
    return id;
}

} // namespace

TEST_CASE("enumeration lists at most six printers and leaves the selection on the last")
{
    struct Row {
        const char *name;
        int attached;
        int listed;
    };
    const Row rows[] = {
        { "none", 0, 0 },
        { "one", 1, 1 },
        { "six", 6, 6 },
        { "seven: the first six", 7, 6 },
    };
    for (const Row &row : rows) {
        INFO(row.name);
        SimulatedWorld world;
        std::vector<int> ids;
        for (int i = 0; i < row.attached; ++i) {
            PrinterConfig config;
            config.serial = "SN";
            config.serial += std::to_string(100 + i);
            ids.push_back(world.printers.attach(config));
        }
        Lib_SetUSBDeviceFilePath(1, u"before");

        USBPrinterClassDeviceInfo table = JunkTable();
        CHECK(Lib_EnumeratePrinterClassPnPDevices(&table) == row.listed);

        CHECK(table.DeviceCount == row.listed);
        for (int i = 0; i < kMaxPrinters; ++i) {
            INFO("entry ", i);
            CHECK(table.Selected[i] == 0);
            if (i >= row.listed) {
                CHECK(EntryIsZero(table, i));
                continue;
            }
            CHECK(Entry(table.ProductName[i]) == u"ZELTAN QXR3303"s);
            CHECK(Entry(table.SerialNumber[i]) == Numbered("SN", 100 + i));
            CHECK(Entry(table.DevicePath[i]) == world.printers.snapshot(ids[i]).path);
        }
        // The enumeration walks the selection over every entry and leaves it on the last one.
        const std::u16string expected
            = row.listed ? Entry(table.DevicePath[row.listed - 1]) : u"before"s;
        CHECK(Text(gUSBDeviceFilePath) == expected);
        CHECK(world.errors.empty());
    }
}

TEST_CASE("product name and serial number come from the device ID, or are unknown")
{
    struct Row {
        const char *name;
        std::optional<std::string> deviceId; // none: the driver refuses the request
        std::u16string productName;
        std::u16string serial;
    };
    const std::u16string unknown = u"unknown";
    const std::string product = "MFG:ZELTAN;MDL:QXR3303;SN:A1;";
    const Row rows[] = {
        { "product", product + '\0', u"ZELTAN QXR3303", u"A1" },
        { "download mode without serial", std::string("MFG:KX;MDL:reflash;\0", 20), u"KX reflash",
            u"" },
        { "MFG ends the text", std::string("MDL:QXR3303;SN:A1;MFG:\0", 23), u" QXR3303", u"A1" },
        { "no MDL", std::string("MFG:ZELTAN;SN:A1;\0", 18), u"ZELTAN ", u"A1" },
        { "blank after MDL kept", std::string("MFG:ZELTAN;MDL: QXR3303;\0", 25), u"ZELTAN  QXR3303",
            u"" },
        { "SN inside another field counts",
            std::string("MFG:ZELTAN;MDL:QXR3303;DESSN:X9;SN:A1;\0", 39), u"ZELTAN QXR3303", u"X9" },
        { "bytes above 0x7F widened one to one",
            std::string("MFG:Z\xC9LTAN;MDL:QXR3303;SN:\xFF;\0", 30), u"Z\u00C9LTAN QXR3303",
            u"\u00FF" },
        { "no terminator, shorter than the buffer", product, u"ZELTAN QXR3303", u"A1" },

        { "no MFG", std::string("MDL:QXR3303;SN:A1;\0", 19), unknown, unknown },
        { "MFG in lower case", std::string("mfg:ZELTAN;MDL:QXR3303;\0", 24), unknown, unknown },
        { "MFG after the terminator", std::string("SN:A1;\0MFG:ZELTAN;", 18), unknown, unknown },
        { "empty", std::string(1, '\0'), unknown, unknown },
        { "driver refuses", std::nullopt, unknown, unknown },

        // The widths: 511 characters fit; a full buffer without a terminator is a cut device ID.
        { "511 characters", Padded(product + "X:", 511, 'x') + '\0', u"ZELTAN QXR3303", u"A1" },
        { "512 characters, no terminator", Padded(product + "X:", 512, 'x'), unknown, unknown },
        { "longer than the buffer", Padded(product + "X:", 700, 'x'), unknown, unknown },
        { "serial of 127 kept", "MFG:ZELTAN;MDL:QXR3303;SN:" + std::string(127, 's') + ";",
            u"ZELTAN QXR3303", std::u16string(127, u's') },
        { "serial of 200 cut to 127", "MFG:ZELTAN;MDL:QXR3303;SN:" + std::string(200, 's') + ";",
            u"ZELTAN QXR3303", std::u16string(127, u's') },
        { "product name cut to 127",
            "MFG:" + std::string(100, 'M') + ";MDL:" + std::string(100, 'D') + ";SN:A1;",
            std::u16string(100, u'M') + u' ' + std::u16string(26, u'D'), u"A1" },
    };
    for (const Row &row : rows) {
        INFO(row.name);
        SimulatedWorld world;
        if (!row.deviceId) {
            PrinterConfig config;
            config.deviceId = DeviceIdKind::Unreadable;
            world.printers.attach(config);
        } else {
            world.attachRaw(*row.deviceId);
        }

        USBPrinterClassDeviceInfo table;
        REQUIRE(Lib_EnumeratePrinterClassPnPDevices(&table) == 1);
        CHECK(Entry(table.ProductName[0]) == row.productName);
        CHECK(Entry(table.SerialNumber[0]) == row.serial);
        CHECK(world.errors.empty());
    }
}

TEST_CASE("a member whose path cannot be read is asked again, and skipped when it never answers")
{
    struct Row {
        const char *name;
        int attached;
        int failingMember;
        int failures; // negative: every time
        std::vector<int> listed;
    };
    const Row rows[] = {
        { "first fails once", 3, 0, 1, { 0, 1, 2 } },
        { "middle fails three times", 3, 1, 3, { 0, 1, 2 } },
        { "middle fails four times", 3, 1, 4, { 0, 2 } },
        { "last always fails", 3, 2, -1, { 0, 1 } },
        { "first always fails", 3, 0, -1, { 1, 2 } },
        { "the seventh moves up", 7, 0, -1, { 1, 2, 3, 4, 5, 6 } },
    };
    for (const Row &row : rows) {
        INFO(row.name);
        SimulatedWorld world;
        for (int i = 0; i < row.attached; ++i) {
            PrinterConfig config;
            config.serial = "P";
            config.serial += std::to_string(i);
            if (i == row.failingMember)
                config.interfaceDetailFailures = row.failures;
            world.printers.attach(config);
        }

        USBPrinterClassDeviceInfo table;
        const int listed = static_cast<int>(row.listed.size());
        CHECK(Lib_EnumeratePrinterClassPnPDevices(&table) == listed);
        for (int k = 0; k < listed; ++k) {
            CHECK(Entry(table.SerialNumber[k]) == Numbered("P", row.listed[k]));
            CHECK(Entry(table.ProductName[k]) == u"ZELTAN QXR3303"s);
        }
        for (int k = listed; k < kMaxPrinters; ++k)
            CHECK(EntryIsZero(table, k));
    }
}

TEST_CASE("a device path that does not fit the table is not listed")
{
    struct Row {
        const char *name;
        int pathUnits;
        bool listed;
    };
    const Row rows[] = {
        { "255 units fit", 255, true },
        { "256 units do not", 256, false },
        { "400 units do not", 400, false },
    };
    for (const Row &row : rows) {
        INFO(row.name);
        SimulatedWorld world;
        PrinterConfig odd;
        odd.serial = "ODD";
        odd.devicePathUnits = row.pathUnits;
        const int oddId = world.printers.attach(odd);
        PrinterConfig plain;
        plain.serial = "PLAIN";
        world.printers.attach(plain);

        USBPrinterClassDeviceInfo table;
        CHECK(Lib_EnumeratePrinterClassPnPDevices(&table) == (row.listed ? 2 : 1));
        CHECK(Entry(table.SerialNumber[0]) == (row.listed ? u"ODD"s : u"PLAIN"s));
        if (row.listed) {
            CHECK(Entry(table.DevicePath[0]) == world.printers.snapshot(oddId).path);
            Lib_SetUSBDeviceFilePath(1, table.DevicePath[0]);
            CHECK(Lib_IsConnectionValid() == 1);
        }
    }
}

TEST_CASE("a failed class query leaves an empty table and the selection as it was")
{
    SimulatedWorld world;
    world.printers.attach({});
    Lib_SetUSBDeviceFilePath(1, u"before");

    world.printers.failNextClassQuery();
    USBPrinterClassDeviceInfo table = JunkTable();
    CHECK(Lib_EnumeratePrinterClassPnPDevices(&table) == 0);
    USBPrinterClassDeviceInfo empty;
    std::memset(&empty, 0, sizeof empty);
    CHECK(std::memcmp(&table, &empty, sizeof table) == 0);

    CHECK(Lib_EnumeratePrinterClassPnPDevices(nullptr) == 0);
    CHECK(Text(gUSBDeviceFilePath) == u"before"s);
    // The next query works again and finds the printer.
    CHECK(Lib_EnumeratePrinterClassPnPDevices(&table) == 1);
}

TEST_CASE("enumerating twice gives the same table, byte for byte")
{
    SimulatedWorld world;
    world.printers.attach({});
    PrinterConfig unreadable;
    unreadable.deviceId = DeviceIdKind::Unreadable;
    world.printers.attach(unreadable);
    PrinterConfig other;
    other.serial = "SN0002";
    world.printers.attach(other);

    USBPrinterClassDeviceInfo first;
    USBPrinterClassDeviceInfo second = JunkTable();
    CHECK(Lib_EnumeratePrinterClassPnPDevices(&first) == 3);
    CHECK(Lib_EnumeratePrinterClassPnPDevices(&second) == 3);
    CHECK(std::memcmp(&first, &second, sizeof first) == 0);
    CHECK(Entry(first.SerialNumber[1]) == u"unknown"s);
}

TEST_CASE("the filter copies exact product-name matches to the front, in order")
{
    struct Row {
        const char *name;
        std::vector<std::u16string> names;
        std::u16string wanted;
        std::vector<int> matches;
    };
    const std::vector<std::u16string> mixed { u"ZELTAN QXR3303", u"KX reflash", u"unknown",
        u"ZELTAN QXR3303" };
    const Row rows[] = {
        { "two of four, in order", mixed, u"ZELTAN QXR3303", { 0, 3 } },
        { "download mode", mixed, u"KX reflash", { 1 } },
        { "lower case", mixed, u"zeltan qxr3303", {} },
        { "trailing blank", mixed, u"ZELTAN QXR3303 ", {} },
        { "prefix", mixed, u"ZELTAN", {} },
        { "empty source", {}, u"ZELTAN QXR3303", {} },
    };
    for (const Row &row : rows) {
        INFO(row.name);
        SimulatedWorld world;

        USBPrinterClassDeviceInfo source;
        std::memset(&source, 0, sizeof source);
        source.DeviceCount = static_cast<std::int32_t>(row.names.size());
        for (std::size_t i = 0; i < row.names.size(); ++i) {
            SetEntry(source.ProductName[i], row.names[i]);
            SetEntry(source.DevicePath[i], Numbered("path ", int(i)));
            SetEntry(source.SerialNumber[i], Numbered("serial ", int(i)));
        }
        const USBPrinterClassDeviceInfo before = JunkTable();
        USBPrinterClassDeviceInfo destination = before;

        const int matches = static_cast<int>(row.matches.size());
        CHECK(Lib_GetSupportedPrinterDeviceInfo(row.wanted.c_str(), &destination, &source)
            == matches);
        CHECK(destination.DeviceCount == matches);
        CHECK(std::memcmp(destination.Selected, before.Selected, sizeof before.Selected) == 0);
        for (int n = 0; n < matches; ++n) {
            CHECK(Entry(destination.ProductName[n]) == row.names[row.matches[n]]);
            CHECK(Entry(destination.DevicePath[n]) == Numbered("path ", row.matches[n]));
            CHECK(Entry(destination.SerialNumber[n]) == Numbered("serial ", row.matches[n]));
        }
        // The entries past the matches keep what they held.
        for (int n = matches; n < kMaxPrinters; ++n) {
            CHECK(Entry(destination.ProductName[n]) == Entry(before.ProductName[n]));
            CHECK(Entry(destination.DevicePath[n]) == Entry(before.DevicePath[n]));
        }
    }
}

TEST_CASE("path selection: mode 1 selects a path that fits, mode 0 clears, others do nothing")
{
    struct Row {
        const char *name;
        int mode;
        std::u16string path;
        std::optional<std::u16string> selection; // none: the printer's own path stays selected
    };
    const Row rows[] = {
        { "mode 1, empty path keeps", 1, u"", std::nullopt },
        { "mode 0 clears", 0, u"ignored", u"" },
        { "mode 2 does nothing", 2, u"other", std::nullopt },
        { "mode -1 does nothing", -1, u"other", std::nullopt },
        { "mode 1 selects", 1, u"other", u"other" },
        { "255 units selected", 1, std::u16string(255, u'p'), std::u16string(255, u'p') },
        // Keeping the old selection would aim the next command at the wrong printer.
        { "256 units select nothing", 1, std::u16string(256, u'p'), u"" },
    };
    for (const Row &row : rows) {
        INFO(row.name);
        SimulatedWorld world;
        const int id = world.attachSelected({});
        const std::u16string printerPath = world.printers.snapshot(id).path;
        CHECK(Lib_IsConnectionValid() == 1);

        Lib_SetUSBDeviceFilePath(row.mode, row.path.c_str());

        CHECK(Text(gUSBDeviceFilePath) == row.selection.value_or(printerPath));
        CHECK(gUSBDeviceFilePath[kTextUnits - 1] == u'\0');
        CHECK(Lib_IsConnectionValid() == (row.selection ? 0 : 1));
    }
}

TEST_CASE("field extraction: first occurrence anywhere, up to the next ;, at most 127 units")
{
    struct Row {
        const char *name;
        std::u16string deviceId;
        std::u16string key;
        int found;
        std::u16string value;
    };
    const Row rows[] = {
        { "middle field", u"MFG:A;MDL:B;SN:C;", u"MDL:", 1, u"B" },
        { "runs to the end", u"MFG:A;SN:C", u"SN:", 1, u"C" },
        { "key then ;", u"MFG:;MDL:B;", u"MFG:", 1, u"" },
        { "key ends the text", u"MDL:B;MFG:", u"MFG:", 0, u"" },
        { "absent", u"MFG:A;", u"SN:", 0, u"" },
        { "case-sensitive", u"MFG:A;sn:C;", u"SN:", 0, u"" },
        { "first occurrence, any place", u"MFG:A;DESSN:X;SN:C;", u"SN:", 1, u"X" },
        { "value not trimmed", u"MFG:  A ;", u"MFG:", 1, u"  A " },
        { "status key needs its ;", u"MFG:A;CLS:1;", u";S:", 0, u"" },
        { "status field first", u"S:123;MFG:A;", u";S:", 0, u"" },
        { "empty text", u"", u"MFG:", 0, u"" },
        { "127 kept", u"SN:" + std::u16string(127, u'v'), u"SN:", 1, std::u16string(127, u'v') },
        { "cut to 127", u"SN:" + std::u16string(300, u'v') + u";", u"SN:", 1,
            std::u16string(127, u'v') },
    };
    for (const Row &row : rows) {
        INFO(row.name);
        SimulatedWorld world;
        std::memcpy(gDeviceIDWide, row.deviceId.data(), row.deviceId.size() * sizeof(char16_t));

        // A guard around the output shows that nothing is written past its 128 units.
        char16_t out[vornik::contract::kFieldUnits + 8];
        std::fill(std::begin(out), std::end(out), u'#');
        CHECK(GetDeviceIDField(row.key.c_str(), out) == row.found);
        CHECK(Text(out) == row.value);
        for (std::size_t i = vornik::contract::kFieldUnits; i < std::size(out); ++i)
            CHECK(out[i] == u'#');
    }
}

TEST_CASE("exceptions in discovery become failure values and an FDU App box")
{
    SimulatedWorld world;
    world.printers.attach({});
    world.printers.attach({});

    // Inside the identity fill: the fill stops, the interfaces found still count.
    world.printers.throwOnOpen = true;
    USBPrinterClassDeviceInfo table;
    CHECK(Lib_EnumeratePrinterClassPnPDevices(&table) == 2);
    CHECK(world.errors == std::vector<std::string> { "FDU App: open broke" });
    CHECK(Entry(table.ProductName[0]) == u""s);

    CHECK(Lib_IsConnectionValid() == 0);
    CHECK(world.errors.size() == 2);

    world.printers.throwOnOpen = false;
    world.printers.throwOnBegin = true;
    CHECK(Lib_EnumeratePrinterClassPnPDevices(&table) == 0);
    REQUIRE_FALSE(world.errors.empty());
    CHECK(world.errors.back() == "FDU App: class query broke");
}
