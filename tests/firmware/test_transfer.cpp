// The transfer is the step that can brick a printer: every byte in order, the device closed on
// every path, and every failure reported rather than passed off as success.
#include "text_support.h"
#include "transfer_world.h"

#include "firmware/transfer.h"

#include <string>
#include <vector>

namespace {

using testing::TransferWorld;

// An image whose steps can each be made to fail, and that counts its releases.
class ScriptedImage : public vornik::FirmwareImageSource {
public:
    explicit ScriptedImage(std::vector<std::uint8_t> bytes)
        : bytes(std::move(bytes))
    { }
    std::vector<std::uint8_t> bytes;
    bool module = true, found = true, loads = true, reachable = true;
    int loadedCount = 0, released = 0;

    bool openModule() override { return module; }
    bool find() override { return found; }
    bool load() override { return loads && ++loadedCount; }
    std::uint32_t size() override { return static_cast<std::uint32_t>(bytes.size()); }
    const std::uint8_t *data() override { return reachable ? bytes.data() : nullptr; }
    void release() override { ++released; }
};

std::vector<std::uint8_t> Pattern(std::size_t size)
{
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 31 + (i >> 11));
    return bytes;
}

} // namespace

TEST_CASE("every byte of the image reaches the device in order, and the device is closed")
{
    struct Row {
        const char *name;
        std::size_t size;
    };
    const Row rows[] = {
        { "one byte", 1 },
        { "exactly one block", vornik::kTransferBlockBytes },
        { "a block and one", vornik::kTransferBlockBytes + 1 },
        { "odd size over many blocks", 1'000'003 },
    };
    for (const Row &row : rows) {
        INFO(row.name);
        TransferWorld world;
        ScriptedImage image(Pattern(row.size));
        CHECK(vornik::CopyFirmwareImageToPrinter(image, u"/dev/usb/lp3", world.messages) == 1);
        CHECK(world.sink.received == image.bytes);
        CHECK(world.sink.lastPath == std::u16string(u"/dev/usb/lp3"));
        CHECK(world.sink.lastMode == vornik::OpenMode::WriteExclusive);
        CHECK(world.sink.closed == 1);
        CHECK(image.released == 1);
        CHECK(world.faults.empty());
        CHECK(world.failures.empty());
    }
}

TEST_CASE("a second printer gets the image from its first byte")
{
    TransferWorld world;
    ScriptedImage image(Pattern(200'000));
    CHECK(vornik::CopyFirmwareImageToPrinter(image, u"a", world.messages) == 1);
    world.sink.received.clear();
    CHECK(vornik::CopyFirmwareImageToPrinter(image, u"b", world.messages) == 1);
    CHECK(world.sink.received == image.bytes);
    CHECK(world.sink.closed == 2);
}

// A missing, unloadable, empty or unreachable image, or a device that does not open.
TEST_CASE("no image to send or no device to take it: the transfer fails, nothing opened or said")
{
    struct Row {
        const char *name;
        std::string fault;
        std::string message; // empty: none
        int releases;
    };
    const Row rows[] = {
        { "no module", "module", "", 0 },
        { "not found", "find", "StrRes_FiirmwareNotFound", 0 },
        { "not loadable", "load", "StrRes_FirmwareLoadFail", 0 },
        { "empty", "empty", "StrRes_FirmwareZeroBytes", 1 },
        { "unreachable bytes", "data", "", 1 },
        { "device does not open", "open", "", 1 },
    };
    for (const Row &row : rows) {
        INFO(row.name);
        TransferWorld world;
        world.sink.opens = row.fault != "open";
        ScriptedImage image(row.fault == "empty" ? std::vector<std::uint8_t>() : Pattern(100));
        image.module = row.fault != "module";
        image.found = row.fault != "find";
        image.loads = row.fault != "load";
        image.reachable = row.fault != "data";

        CHECK(vornik::CopyFirmwareImageToPrinter(image, u"p", world.messages) == 0);
        if (row.message.empty())
            CHECK(world.faults.empty());
        else
            CHECK(world.faults == std::vector<std::string> { row.message });
        CHECK(world.failures.empty());
        CHECK(world.sink.opened == 0);
        CHECK(image.released == row.releases);
    }
}

TEST_CASE("a failed write stops the transfer and says why")
{
    struct Row {
        const char *name;
        std::int64_t failAfter;
    };
    const Row rows[] = {
        { "at the first byte", 0 },
        { "half way", 500'000 },
        { "in the last block", 999'999 },
    };
    for (const Row &row : rows) {
        INFO(row.name);
        TransferWorld world;
        world.sink.failAfter = row.failAfter;
        ScriptedImage image(Pattern(1'000'000));
        CHECK(vornik::CopyFirmwareImageToPrinter(image, u"p", world.messages) == 0);
        REQUIRE(world.failures.size() == 1u);
        INFO(world.failures.front());
        CHECK(world.failures.front().find("No such device") != std::string::npos);
        CHECK(world.sink.received.size() <= static_cast<std::size_t>(row.failAfter));
        CHECK(world.sink.closed == 1);
        CHECK(image.released == 1);
    }
}
