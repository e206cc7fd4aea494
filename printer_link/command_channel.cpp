// Talking to the selected printer: its machine status from the device ID, one framed command at
// a time, the reply, and on top of these the switch into firmware-download mode.
//
// Every operation opens gUSBDeviceFilePath, works and closes it again. Time comes from the
// platform clock, so the reply read's 1000 ms / 500 ms limits run on virtual time in tests.

#include "device_access.h"
#include "printer_link.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <cstring>
#include <exception>
#include <iterator>
#include <string>
#include <string_view>

using namespace vornik::contract;

std::uint8_t gCommandFrame[kCommandFrameBytes];
std::uint8_t gReplyBuffer[kReplyBufferBytes];
char16_t gPrinterStatusText[kTextUnits];

namespace {

std::uint8_t gReplyChunk[kReplyBufferBytes];
char16_t gStatusField[kFieldUnits];
char16_t gStatusDigits[3];

// The printer's own names for its status codes; the empty ones are codes it does not name.
constexpr const char16_t *kStatusNames[] = {
    /*  0 00 */ u"IDLE",
    /*  1 01 */ u"INITIALIZING",
    /*  2 02 */ u"PRINTING JOB",
    /*  3 03 */ u"MANUFACTURING MODE",
    /*  4 04 */ u"PRINTING REPORTS",
    /*  5 05 */ u"CANCELING JOB",
    /*  6 06 */ u"IO STALL",
    /*  7 07 */ u"DRY TIME WAIT",
    /*  8 08 */ u"COVER/DOOR OPEN [PEN CHANGE]",
    /*  9 09 */ u"OUT OF MEDIA (check status)",
    /* 10 0A */ u"BANNER EJECT NEEDED",
    /* 11 0B */ u"BANNER MISMATCH",
    /* 12 0C */ u"PHOTO MISMATCH",
    /* 13 0D */ u"DUPLEX MISMATCH",
    /* 14 0E */ u"MEDIA JAM",
    /* 15 0F */ u"CARRIAGE STALL",
    /* 16 10 */ u"PAPER STALL",
    /* 17 11 */ u"PEN FAILURE",
    /* 18 12 */ u"SEVERE HARD ERROR",
    /* 19 13 */ u"POWERING DOWN",
    /* 20 14 */ u"FRONT PANEL TEST",
    /* 21 15 */ u"DUPLEX MISSING",
    /* 22 16 */ u"OUTPUT BIN FULL",
    /* 23 17 */ u"",
    /* 24 18 */ u"MANUAL DUPLEX BLOCK",
    /* 25 19 */ u"SERVICE STALL",
    /* 26 1A */ u"OUT OF INK",
    /* 27 1B */ u"",
    /* 28 1C */ u"PUMP STALL",
    /* 29 1D */ u"",
    /* 30 1E */ u"DUPLEX MISSING",
    /* 31 1F */ u"REAR TRAY MISSING",
    /* 32 20 */ u"PEN NOT LATCHED",
    /* 33 21 */ u"",
    /* 34 22 */ u"",
    /* 35 23 */ u"OUTPUT TRAY",
    /* 36 24 */ u"MANUAL FEED BLOCK",
    /* 37 25 */ u"REAR FEED BLOCK",
    /* 38 26 */ u"TRAY 2 OUT OF PAPER",
    /* 39 27 */ u"UNABLE LOAD LOCKED TRAY",
    /* 40 28 */ u"NON GENUINE KX INK",
    /* 41 29 */ u"PPC RESUME",
    /* 42 2A */ u"",
    /* 43 2B */ u"",
    /* 44 2C */ u"PEN CLEANING",
    /* 45 2D */ u"PEN CHECKING",
    /* 46 2E */ u"DUPLEXER INVALID",
    /* 47 2F */ u"PICK STALL",
    /* 48 30 */ u"MECH ERROR",
    /* 49 31 */ u"SUPPLY FAILURE",
    /* 50 32 */ u"IDS START REQUIRED",
    /* 51 33 */ u"IDS STARTUP",
    /* 52 34 */ u"IO INSTALL",
    /* 53 35 */ u"MEDIA UPSIDE DOWN",
    /* 54 36 */ u"AIO LANGUAGE MENU",
};
static_assert(std::size(kStatusNames) == 55);

// Base-16 conversion with the rules of wcstol: leading blanks, an optional sign, an optional
// "0x", then hex digits up to the first other character; no digits give 0, and values beyond
// the 32-bit range stick at its ends. The units are 16-bit, so wcstol itself (32-bit wchar_t on
// Linux) cannot take them; std::from_chars reads the digits once they are narrowed.
std::int32_t ParseHex(const char16_t *text)
{
    // Only ASCII can be part of the number; the first other unit ends it like any non-digit.
    std::string narrow;
    for (const char16_t *p = text; *p != 0 && *p < 0x80; ++p)
        narrow.push_back(static_cast<char>(*p));
    std::string_view rest(narrow);
    while (!rest.empty() && std::string_view(" \t\n\v\f\r").find(rest.front()) != rest.npos)
        rest.remove_prefix(1);
    bool negative = false;
    if (!rest.empty() && (rest.front() == '+' || rest.front() == '-')) {
        negative = rest.front() == '-';
        rest.remove_prefix(1);
    }
    // "0x" counts as a prefix only when a hex digit follows; otherwise the "0" is the number.
    if (rest.size() > 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X')
        && std::isxdigit(static_cast<unsigned char>(rest[2])))
        rest.remove_prefix(2);
    std::uint64_t magnitude = 0;
    const auto [end, error]
        = std::from_chars(rest.data(), rest.data() + rest.size(), magnitude, 16);
    if (error == std::errc::invalid_argument)
        return 0;
    const bool beyond = error == std::errc::result_out_of_range;
    if (negative)
        return beyond || magnitude > std::uint64_t(INT_MAX) + 1
            ? INT_MIN
            : static_cast<std::int32_t>(-static_cast<std::int64_t>(magnitude));
    return beyond || magnitude > std::uint64_t(INT_MAX) ? INT_MAX
                                                        : static_cast<std::int32_t>(magnitude);
}

void CopyName(char16_t *out, const char16_t *name)
{
    const std::size_t n = std::min(std::char_traits<char16_t>::length(name), kTextUnits - 1);
    std::copy(name, name + n, out);
    std::fill(out + n, out + kTextUnits, u'\0');
}

} // namespace

void vornik::detail::ResetCommandChannelState()
{
    std::memset(gCommandFrame, 0, sizeof gCommandFrame);
    std::memset(gReplyBuffer, 0, sizeof gReplyBuffer);
    std::memset(gPrinterStatusText, 0, sizeof gPrinterStatusText);
    std::memset(gReplyChunk, 0, sizeof gReplyChunk);
    std::memset(gStatusField, 0, sizeof gStatusField);
    std::memset(gStatusDigits, 0, sizeof gStatusDigits);
}

const char16_t *PrinterStatusName(std::int32_t code)
{
    if (code < 0 || code >= static_cast<std::int32_t>(std::size(kStatusNames)))
        return u"";
    return kStatusNames[code];
}

std::int32_t SendFramedCommand(const char *command)
{
    if (!command)
        return 0;
    // A command that does not fit the frame buffer is refused before anything is opened or
    // written: a cut command could mean something else to the printer.
    const std::size_t n = strnlen(command, kMaxCommandBytes + 1);
    if (n > kMaxCommandBytes)
        return 0;

    vornik::detail::OpenDevice device;
    if (!device.isOpen())
        return 0;

    std::uint8_t *p = gCommandFrame;
    p = std::copy_n(reinterpret_cast<const std::uint8_t *>(kFrameHead), kFrameHeadBytes, p);
    p = std::copy_n(reinterpret_cast<const std::uint8_t *>(command), n, p);
    p = std::copy_n(reinterpret_cast<const std::uint8_t *>(kFrameTail), kFrameTailBytes, p);

    if (!device.platform().write(device.handle(), gCommandFrame, p - gCommandFrame))
        return 0;
    // The printer needs a moment with the channel still open before it takes the next request.
    vornik::TheClock().sleep(kPauseAfterCommandMs);
    return 1;
}

std::int32_t ReadPrinterReply()
{
    vornik::detail::OpenDevice device;
    if (!device.isOpen())
        return 0;
    vornik::Clock &clock = vornik::TheClock();

    std::size_t total = 0;
    bool done = false;
    std::uint32_t since = clock.tickCount();
    for (;;) {
        std::size_t got = 0;
        if (!device.platform().read(device.handle(), gReplyChunk, sizeof gReplyChunk, got)) {
            done = true;
        } else if (got > 0) {
            // The last chunk may bring more than is left; what does not fit is dropped.
            const std::size_t take
                = std::min({ got, sizeof gReplyChunk, kReplyBufferBytes - total });
            std::memcpy(gReplyBuffer + total, gReplyChunk, take);
            total += take;
            since = clock.tickCount();
            if (total >= kReplyBufferBytes)
                done = true;
        }
        // Each limit takes its own reading of the clock; the unsigned difference survives the
        // wrap of the tick count.
        if (std::uint32_t(clock.tickCount() - since) > kReplySilenceLimitMs && total == 0)
            done = true;
        if ((std::uint32_t(clock.tickCount() - since) > kReplyGapLimitMs && total > 0) || done)
            break;
    }
    return static_cast<std::int32_t>(total);
}

std::int32_t GetPrinterStatus()
{
    try {
        if (!QueryDeviceID())
            return -1;
        if (!GetDeviceIDField(kStatusKey, gStatusField))
            return -1;

        // The code stands at two fixed positions of the field; a shorter value gives fewer
        // digits (and no digits read as 0).
        std::fill(std::begin(gStatusDigits), std::end(gStatusDigits), u'\0');
        const std::size_t length = std::char_traits<char16_t>::length(gStatusField);
        for (int i = 0; i < 2 && kStatusDigitsAt + i < static_cast<int>(length); ++i)
            gStatusDigits[i] = gStatusField[kStatusDigitsAt + i];

        const std::int32_t code = ParseHex(gStatusDigits);
        CopyName(gPrinterStatusText, PrinterStatusName(code));
        return code;
    } catch (const std::exception &error) {
        vornik::detail::ShowException(error);
        return -1;
    }
}

std::int32_t SendCommandIfReady(const char *command)
{
    try {
        const std::int32_t code = GetPrinterStatus();
        if (code != kStatusIdle && code != kStatusManufacturingMode)
            return 0;
        return SendFramedCommand(command);
    } catch (const std::exception &error) {
        vornik::detail::ShowException(error);
        return 0;
    }
}

std::int32_t Lib_SendFlashCommand()
{
    try {
        // The first command's fate does not decide anything: the second is gated on its own.
        SendCommandIfReady(kPrepareDownloadCommand);
        // The reply itself means nothing to us; reading it lets the printer finish answering.
        ReadPrinterReply();
        return SendCommandIfReady(kDownloadCommand);
    } catch (const std::exception &error) {
        vornik::detail::ShowException(error);
        return 0;
    }
}

std::int32_t GetFirmwareRevision(char16_t out[kTextUnits])
{
    if (!out)
        return 0;
    try {
        std::fill(out, out + kTextUnits, u'\0');
        std::memset(gReplyBuffer, 0, sizeof gReplyBuffer);
        if (!SendCommandIfReady(kFirmwareRevisionCommand))
            return 0;

        constexpr int kTries = 5;
        for (int attempt = 0; attempt < kTries; ++attempt) {
            if (ReadPrinterReply() == 0)
                continue;
            const auto *end = std::find_if(gReplyBuffer, gReplyBuffer + kReplyBufferBytes,
                [](std::uint8_t b) { return b == ';' || b == 0; });
            const std::size_t length = end - gReplyBuffer;
            if (length == 0)
                return 0;
            // Longer revisions are cut to what the caller's text holds.
            const std::size_t n = std::min(length, kTextUnits - 1);
            for (std::size_t i = 0; i < n; ++i)
                out[i] = gReplyBuffer[i];
            return 1;
        }
        return 0;
    } catch (const std::exception &error) {
        vornik::detail::ShowException(error);
        return 0;
    }
}
