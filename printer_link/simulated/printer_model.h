// One simulated printer: its timeline after the download command, the frame parser that turns
// written bytes into commands, the replies it schedules, its device ID and how it takes (or
// refuses) image bytes. It knows nothing of handles, enumeration or locking: the bus
// (simulated_printers.cpp) owns every printer, holds the lock around each call and turns the
// notices counted here into device-change calls.
#pragma once

#include "printer_link/simulated/sha256.h"
#include "printer_link/simulated/simulated_printers.h"

#include <cstdint>
#include <deque>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace vornik::sim {

inline constexpr std::uint64_t kNever = std::numeric_limits<std::uint64_t>::max();

bool OnBus(PrinterMode mode);

class PrinterModel {
public:
    PrinterModel(int id, const PrinterConfig &config);

    // Arrives on the bus in `mode` under a new path made from `pathNumber`; one notice.
    void appear(PrinterMode mode, int pathNumber, int &notices);
    // Leaves the bus (and everything in flight with it); a notice if it was on the bus.
    void leave(PrinterMode mode, int &notices);
    // Takes every step of the timeline that is due by `now`, each at its own time, and moves
    // due reply chunks into the inbox. `nextPathNumber` numbers the paths of reappearances.
    void advance(std::uint64_t now, int &nextPathNumber, int &notices);
    void reconfigure(const PrinterConfig &config);
    void setStatus(int status) { status_ = status; }

    // The device ID as the driver would hand it over; false when the driver refuses it.
    // `terminated`: the driver ends it with a zero byte where there is room.
    bool deviceId(std::string &text, bool &terminated) const;

    // Bytes written outside download mode at `now`. They always get through, even when the
    // command they complete unplugs the printer (detachOnCommand).
    void takeCommandBytes(
        const std::uint8_t *data, std::size_t size, std::uint64_t now, int &notices);

    enum class ImageWrite { Taken, Refused, Stalled };
    // A write of image bytes in download mode. A refused write takes none of its bytes; the
    // printer may have left the bus as a result (detachAfterBytes).
    ImageWrite takeImageBytes(const std::uint8_t *data, std::size_t size, int &notices);
    // The image handle was closed at `now` after writing: starts storing once enough came.
    void imageHandleClosed(std::uint64_t now);

    // How long a read may wait at `now` before the next reply chunk is due (at most `limit`).
    std::uint64_t replyWait(std::uint64_t now, std::uint64_t limit) const;
    // Hands over up to `capacity` bytes that arrived and are not yet read.
    std::size_t readInbox(std::uint8_t *buffer, std::size_t capacity);
    bool inboxEmpty() const { return inbox_.empty(); }

    // Everything but the handle state, which only the bus knows.
    PrinterSnapshot snapshot() const;

    int id() const { return id_; }
    PrinterMode mode() const { return mode_; }
    const std::u16string &path() const { return path_; }
    // Counts every arrival and departure; a handle opened under another value is dead.
    std::uint64_t presence() const { return presence_; }
    // True (and one failure used up) when this path look-up is to fail.
    bool failDetailLookup();
    // This account may not open it (see PrinterConfig::accessDenied).
    bool accessDenied() const { return config_.accessDenied; }
    bool takenByAnotherProgram() const { return config_.takenByAnotherProgram; }

private:
    void command(const std::string &command, std::uint64_t now);

    int id_ = 0;
    PrinterConfig config_;
    PrinterMode mode_ = PrinterMode::Normal;
    int status_ = 0;
    std::u16string path_;
    std::uint64_t presence_ = 0;
    int detailFailuresLeft_ = 0;

    bool commandSeen_ = false;
    std::string unparsed_;
    std::string commandBytes_;
    std::vector<std::string> commands_;

    std::deque<std::pair<std::uint64_t, std::string>> pendingReplies_; // due time, bytes
    std::string inbox_; // arrived, not yet read

    std::uint64_t leaveAt_ = kNever;
    std::uint64_t reappearAt_ = kNever;
    std::uint64_t goneAt_ = kNever;
    std::uint64_t returnAt_ = kNever; // back in normal mode after storing

    std::uint64_t imageBytes_ = 0;
    Sha256 imageHash_;
    bool imageComplete_ = false;
    bool restarted_ = false;
    bool refusingImage_ = false; // a write went past failWriteAfterBytes
    std::string storedRevision_; // empty: still the firmware it was attached with

    // What it answers to "udw.get_fw_rev;" now, without the ";".
    std::string revision() const;
};

} // namespace vornik::sim
