#include "simulated_printers.h"

#include "printer_link/device_contract.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <limits>
#include <stdexcept>

namespace vornik::sim {

namespace {

constexpr std::uint64_t kNever = std::numeric_limits<std::uint64_t>::max();

// How long a read with nothing to hand waits before it returns empty, like the driver's short
// read timeout. It must pass clock time: on a virtual clock nothing else would.
constexpr std::uint64_t kReadWaitMs = 50;

constexpr char kInterfaceClass[] = "{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";

std::u16string Widen(const std::string &text)
{
    std::u16string wide;
    wide.reserve(text.size());
    for (unsigned char c : text)
        wide.push_back(c);
    return wide;
}

bool OnBus(PrinterMode mode)
{
    return mode == PrinterMode::Normal || mode == PrinterMode::LeavingBus
        || mode == PrinterMode::DownloadMode || mode == PrinterMode::Storing;
}

bool InDownloadIdentity(PrinterMode mode)
{
    return mode == PrinterMode::DownloadMode || mode == PrinterMode::Storing;
}

std::uint64_t After(std::uint64_t from, int ms)
{
    return ms < 0 ? kNever : from + static_cast<std::uint64_t>(ms);
}

} // namespace

struct SimulatedPrinters::Printer {
    int id = 0;
    PrinterConfig config;
    PrinterMode mode = PrinterMode::Normal;
    int status = 0;
    std::u16string path;
    // Counts every arrival and departure; a handle opened under another value is dead.
    std::uint64_t presence = 0;
    int detailFailuresLeft = 0;

    bool commandSeen = false;
    std::string unparsed;
    std::string commandBytes;
    std::vector<std::string> commands;

    std::deque<std::pair<std::uint64_t, std::string>> pendingReplies; // due time, bytes
    std::string inbox; // arrived, not yet read

    std::uint64_t leaveAt = kNever;
    std::uint64_t reappearAt = kNever;
    std::uint64_t goneAt = kNever;

    std::uint64_t imageBytes = 0;
    Sha256 imageHash;
    bool imageComplete = false;
    bool restarted = false;
    bool refusingImage = false; // a write went past failWriteAfterBytes
};

SimulatedPrinters::SimulatedPrinters(Clock &clock)
    : clock_(clock)
    , lastTick_(clock.tickCount())
{ }

SimulatedPrinters::~SimulatedPrinters() = default;

std::uint64_t SimulatedPrinters::nowLocked()
{
    const std::uint32_t tick = clock_.tickCount();
    now_ += static_cast<std::uint32_t>(tick - lastTick_);
    lastTick_ = tick;
    return now_;
}

void SimulatedPrinters::notify(int count)
{
    std::function<void()> listener;
    {
        std::lock_guard lock(mutex_);
        listener = listener_;
    }
    if (!listener)
        return;
    for (int i = 0; i < count; ++i)
        listener();
}

SimulatedPrinters::Printer *SimulatedPrinters::findById(int id) const
{
    for (const auto &printer : printers_) {
        if (printer->id == id)
            return printer.get();
    }
    return nullptr;
}

SimulatedPrinters::Printer *SimulatedPrinters::findByPath(const std::u16string &path)
{
    if (path.empty())
        return nullptr;
    for (const auto &printer : printers_) {
        if (OnBus(printer->mode) && printer->path == path)
            return printer.get();
    }
    return nullptr;
}

SimulatedPrinters::Printer *SimulatedPrinters::liveHandleLocked(
    DeviceHandle handle, OpenHandle **open)
{
    const auto it = handles_.find(handle);
    if (it == handles_.end())
        return nullptr;
    Printer *printer = findById(it->second.printerId);
    if (!printer || !OnBus(printer->mode) || printer->presence != it->second.presence)
        return nullptr;
    if (open)
        *open = &it->second;
    return printer;
}

bool SimulatedPrinters::hasLiveHandleLocked(const Printer &printer, bool exclusiveOnly) const
{
    for (const auto &[handle, open] : handles_) {
        if (open.printerId != printer.id || open.presence != printer.presence)
            continue;
        if (!exclusiveOnly || open.mode == OpenMode::WriteExclusive)
            return true;
    }
    return false;
}

void SimulatedPrinters::appearLocked(Printer &printer, PrinterMode mode, int &notices)
{
    printer.mode = mode;
    ++printer.presence;
    // Like a real re-enumeration: every arrival is a new device node with a new path.
    const bool download = InDownloadIdentity(mode);
    const std::string serial = download && !printer.config.downloadSerial.empty()
        ? printer.config.downloadSerial
        : printer.config.serial;
    std::string head = std::string("\\\\?\\usb#vid_5a17&pid_") + (download ? "0002" : "0001") + "#"
        + serial + "&" + std::to_string(nextPathNumber_++);
    const std::string tail = std::string("#") + kInterfaceClass;
    const std::size_t natural = head.size() + tail.size();
    if (printer.config.devicePathUnits > natural)
        head.append(printer.config.devicePathUnits - natural, 'x');
    printer.path = Widen(head + tail);
    ++notices;
}

void SimulatedPrinters::leaveLocked(Printer &printer, PrinterMode mode, int &notices)
{
    const bool wasOnBus = OnBus(printer.mode);
    printer.mode = mode;
    ++printer.presence;
    printer.path.clear();
    printer.pendingReplies.clear();
    printer.inbox.clear();
    printer.unparsed.clear();
    if (wasOnBus)
        ++notices;
}

void SimulatedPrinters::advanceLocked(int &notices)
{
    const std::uint64_t now = nowLocked();
    for (const auto &owned : printers_) {
        Printer &printer = *owned;
        // One look may cover several steps (a long sleep); each happens at its own time.
        for (bool changed = true; changed;) {
            changed = false;
            if (printer.mode == PrinterMode::LeavingBus && printer.leaveAt <= now) {
                leaveLocked(printer, PrinterMode::OffBus, notices);
                printer.reappearAt = After(printer.leaveAt, printer.config.reappearAfterMs);
                changed = true;
            } else if (printer.mode == PrinterMode::OffBus && printer.reappearAt <= now) {
                appearLocked(printer, PrinterMode::DownloadMode, notices);
                changed = true;
            } else if (printer.mode == PrinterMode::Storing && printer.goneAt <= now) {
                leaveLocked(printer, PrinterMode::Gone, notices);
                printer.restarted = true;
                changed = true;
            }
        }
        while (!printer.pendingReplies.empty() && printer.pendingReplies.front().first <= now) {
            printer.inbox += printer.pendingReplies.front().second;
            printer.pendingReplies.pop_front();
        }
    }
}

int SimulatedPrinters::attach(const PrinterConfig &config)
{
    int notices = 0;
    int id = 0;
    {
        std::lock_guard lock(mutex_);
        advanceLocked(notices);
        auto printer = std::make_unique<Printer>();
        printer->id = id = nextId_++;
        printer->config = config;
        printer->status = config.status;
        printer->detailFailuresLeft = config.interfaceDetailFailures;
        appearLocked(*printer, PrinterMode::Normal, notices);
        printers_.push_back(std::move(printer));
    }
    notify(notices);
    return id;
}

void SimulatedPrinters::detach(int id)
{
    int notices = 0;
    {
        std::lock_guard lock(mutex_);
        advanceLocked(notices);
        if (Printer *printer = findById(id))
            leaveLocked(*printer, PrinterMode::Gone, notices);
    }
    notify(notices);
}

void SimulatedPrinters::detachAll()
{
    int notices = 0;
    {
        std::lock_guard lock(mutex_);
        advanceLocked(notices);
        for (const auto &printer : printers_)
            leaveLocked(*printer, PrinterMode::Gone, notices);
    }
    notify(notices);
}

void SimulatedPrinters::reconfigure(int id, const PrinterConfig &config)
{
    int notices = 0;
    {
        std::lock_guard lock(mutex_);
        advanceLocked(notices);
        if (Printer *printer = findById(id)) {
            printer->config = config;
            printer->status = config.status;
            printer->detailFailuresLeft = config.interfaceDetailFailures;
        }
    }
    notify(notices);
}

void SimulatedPrinters::setStatus(int id, int status)
{
    int notices = 0;
    {
        std::lock_guard lock(mutex_);
        advanceLocked(notices);
        if (Printer *printer = findById(id))
            printer->status = status;
    }
    notify(notices);
}

std::vector<int> SimulatedPrinters::printerIds() const
{
    std::lock_guard lock(mutex_);
    std::vector<int> ids;
    for (const auto &printer : printers_)
        ids.push_back(printer->id);
    return ids;
}

PrinterSnapshot SimulatedPrinters::snapshotLocked(const Printer &printer) const
{
    PrinterSnapshot snapshot;
    snapshot.id = printer.id;
    snapshot.config = printer.config;
    snapshot.mode = printer.mode;
    snapshot.status = printer.status;
    snapshot.path = printer.path;
    snapshot.commands = printer.commands;
    snapshot.commandBytes = printer.commandBytes;
    snapshot.imageBytes = printer.imageBytes;
    snapshot.imageSha256 = printer.imageHash.hexDigest();
    snapshot.imageComplete = printer.imageComplete;
    snapshot.restarted = printer.restarted;
    snapshot.handleOpen = hasLiveHandleLocked(printer, false);
    return snapshot;
}

PrinterSnapshot SimulatedPrinters::snapshot(int id) const
{
    std::lock_guard lock(mutex_);
    const Printer *printer = findById(id);
    if (!printer)
        throw std::out_of_range("no simulated printer with id " + std::to_string(id));
    return snapshotLocked(*printer);
}

std::vector<PrinterSnapshot> SimulatedPrinters::snapshots() const
{
    std::lock_guard lock(mutex_);
    std::vector<PrinterSnapshot> all;
    for (const auto &printer : printers_)
        all.push_back(snapshotLocked(*printer));
    return all;
}

void SimulatedPrinters::poll()
{
    int notices = 0;
    {
        std::lock_guard lock(mutex_);
        advanceLocked(notices);
    }
    notify(notices);
}

void SimulatedPrinters::failNextClassQuery()
{
    std::lock_guard lock(mutex_);
    failClassQuery_ = true;
}

void SimulatedPrinters::setChangeListener(std::function<void()> listener)
{
    std::lock_guard lock(mutex_);
    listener_ = std::move(listener);
}

bool SimulatedPrinters::beginEnumeration()
{
    int notices = 0;
    bool ok = true;
    {
        std::lock_guard lock(mutex_);
        advanceLocked(notices);
        enumeration_.clear();
        denied_.clear();
        if (failClassQuery_) {
            failClassQuery_ = false;
            ok = false;
        } else {
            // The set is fixed when it is opened, as the platform's is.
            for (const auto &printer : printers_) {
                if (OnBus(printer->mode))
                    enumeration_.push_back(printer->id);
            }
        }
    }
    notify(notices);
    return ok;
}

InterfaceLookup SimulatedPrinters::interfacePath(int index, std::u16string &path)
{
    int notices = 0;
    InterfaceLookup result = InterfaceLookup::Found;
    {
        std::lock_guard lock(mutex_);
        advanceLocked(notices);
        if (index < 0 || index >= static_cast<int>(enumeration_.size())) {
            result = InterfaceLookup::NoMoreMembers;
        } else {
            Printer *printer = findById(enumeration_[index]);
            // A member that has gone since the set was opened has no detail to give.
            if (!printer || !OnBus(printer->mode)) {
                result = InterfaceLookup::DetailUnavailable;
            } else if (printer->detailFailuresLeft != 0) {
                if (printer->detailFailuresLeft > 0)
                    --printer->detailFailuresLeft;
                result = InterfaceLookup::DetailUnavailable;
            } else {
                path = printer->path;
            }
        }
    }
    notify(notices);
    return result;
}

int SimulatedPrinters::deniedInLastEnumeration() const
{
    std::lock_guard lock(mutex_);
    return static_cast<int>(denied_.size());
}

void SimulatedPrinters::endEnumeration()
{
    std::lock_guard lock(mutex_);
    enumeration_.clear();
}

DeviceHandle SimulatedPrinters::open(const std::u16string &path, OpenMode mode)
{
    int notices = 0;
    DeviceHandle handle = kInvalidDeviceHandle;
    {
        std::lock_guard lock(mutex_);
        advanceLocked(notices);
        Printer *printer = findByPath(path);
        if (printer && printer->config.accessDenied) {
            if (std::find(enumeration_.begin(), enumeration_.end(), printer->id)
                != enumeration_.end())
                denied_.insert(printer->id);
            printer = nullptr;
        }
        // An exclusive holder keeps everybody out, and an exclusive open needs the device free.
        if (printer && !hasLiveHandleLocked(*printer, true)
            && !(mode == OpenMode::WriteExclusive && hasLiveHandleLocked(*printer, false))) {
            handle = nextHandle_++;
            handles_[handle] = OpenHandle { printer->id, printer->presence, mode, false };
        }
    }
    notify(notices);
    return handle;
}

bool SimulatedPrinters::queryDeviceId(DeviceHandle handle, std::uint8_t *buffer, std::size_t size)
{
    int notices = 0;
    bool ok = false;
    {
        std::lock_guard lock(mutex_);
        advanceLocked(notices);
        Printer *printer = liveHandleLocked(handle);
        if (printer && buffer) {
            std::string text;
            bool terminated = true;
            if (InDownloadIdentity(printer->mode)) {
                const std::string &serial = printer->config.downloadSerial.empty()
                    ? printer->config.serial
                    : printer->config.downloadSerial;
                text = "MFG:KX;MDL:reflash;SN:" + serial + ";";
                ok = true;
            } else if (printer->config.deviceId == DeviceIdKind::Product) {
                static constexpr char kHex[] = "0123456789ABCDEF";
                const unsigned code = static_cast<unsigned>(printer->status) & 0xff;
                text = "MFG:" + printer->config.manufacturer + ";MDL:" + printer->config.model
                    + ";SN:" + printer->config.serial + ";S:0000000000000000" + kHex[code >> 4]
                    + kHex[code & 0x0f] + ";";
                ok = true;
            } else if (printer->config.deviceId == DeviceIdKind::Raw) {
                text.assign(printer->config.rawDeviceId.begin(), printer->config.rawDeviceId.end());
                terminated = false;
                ok = true;
            }
            if (ok) {
                const std::size_t n = std::min(text.size(), size);
                std::memcpy(buffer, text.data(), n);
                if (terminated && n < size)
                    buffer[n] = 0;
            }
        }
    }
    notify(notices);
    return ok;
}

void SimulatedPrinters::commandLocked(Printer &printer, const std::string &command)
{
    printer.commands.push_back(command);
    // Only an idle printer (or one in manufacturing mode) acts on commands; a busy one records
    // them, so a test can still see that something was sent that should not have been.
    const bool accepts = printer.status == contract::kStatusIdle
        || printer.status == contract::kStatusManufacturingMode;
    if (!printer.commandSeen) {
        printer.commandSeen = true;
        if (printer.config.statusAfterFirstCommand)
            printer.status = *printer.config.statusAfterFirstCommand;
    }
    if (!accepts)
        return;

    const std::uint64_t now = now_;
    auto schedule = [&](const std::vector<ReplyChunk> &chunks) {
        std::uint64_t due = now;
        for (const ReplyChunk &chunk : chunks) {
            due += chunk.afterMs;
            printer.pendingReplies.emplace_back(due, chunk.bytes);
        }
    };
    if (command == contract::kPrepareDownloadCommand) {
        schedule(printer.config.prepareReply);
    } else if (command == contract::kFirmwareRevisionCommand) {
        schedule(printer.config.revisionReply);
    } else if (command == contract::kDownloadCommand && printer.mode == PrinterMode::Normal) {
        printer.mode = PrinterMode::LeavingBus;
        printer.leaveAt = After(now, printer.config.leaveBusAfterMs);
    }
}

void SimulatedPrinters::takeCommandBytesLocked(
    Printer &printer, const std::uint8_t *data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char *>(data), size);
    printer.commandBytes += bytes;
    printer.unparsed += bytes;
    const std::string_view head(contract::kFrameHead, contract::kFrameHeadBytes);
    const std::string_view tail(contract::kFrameTail, contract::kFrameTailBytes);
    for (;;) {
        const std::size_t start = printer.unparsed.find(head);
        if (start == std::string::npos) {
            // Keep what could still be the beginning of a frame.
            if (printer.unparsed.size() >= head.size())
                printer.unparsed.erase(0, printer.unparsed.size() - (head.size() - 1));
            return;
        }
        const std::size_t end = printer.unparsed.find(tail, start + head.size());
        if (end == std::string::npos) {
            printer.unparsed.erase(0, start);
            return;
        }
        const std::string command
            = printer.unparsed.substr(start + head.size(), end - start - head.size());
        printer.unparsed.erase(0, end + tail.size());
        commandLocked(printer, command);
    }
}

bool SimulatedPrinters::write(DeviceHandle handle, const std::uint8_t *data, std::size_t size)
{
    int notices = 0;
    bool ok = false;
    bool stall = false;
    {
        std::lock_guard lock(mutex_);
        advanceLocked(notices);
        OpenHandle *open = nullptr;
        Printer *printer = liveHandleLocked(handle, &open);
        if (!printer || (!data && size > 0)) {
            ok = false;
        } else if (printer->mode == PrinterMode::DownloadMode) {
            if (printer->config.stallWrites) {
                stall = true;
            } else {
                std::uint64_t accepted = size;
                bool vanish = false;
                const auto roomBefore = [&](std::int64_t limit) {
                    return limit <= static_cast<std::int64_t>(printer->imageBytes)
                        ? std::uint64_t(0)
                        : static_cast<std::uint64_t>(limit) - printer->imageBytes;
                };
                if (printer->config.failWriteAfterBytes >= 0) {
                    accepted = std::min(accepted, roomBefore(printer->config.failWriteAfterBytes));
                    // Once refused, a shorter write that would still fit is refused all the same.
                    if (accepted < size || printer->refusingImage) {
                        printer->refusingImage = true;
                        accepted = 0;
                    }
                }
                if (printer->config.detachAfterBytes >= 0) {
                    const std::uint64_t room = roomBefore(printer->config.detachAfterBytes);
                    if (accepted >= room) {
                        accepted = room;
                        vanish = true;
                    }
                }
                ok = accepted == size;
                if (ok) {
                    printer->imageHash.update(data, size);
                    printer->imageBytes += size;
                    open->wroteImage = open->wroteImage || size > 0;
                }
                if (vanish)
                    leaveLocked(*printer, PrinterMode::Gone, notices);
            }
        } else if (printer->mode == PrinterMode::Normal
            || printer->mode == PrinterMode::LeavingBus) {
            const std::size_t before = printer->commands.size();
            takeCommandBytesLocked(*printer, data, size);
            ok = true;
            // Pulled out right as this command went in: the write itself got through.
            const std::string &trigger = printer->config.detachOnCommand;
            if (!trigger.empty()
                && std::find(printer->commands.begin() + before, printer->commands.end(), trigger)
                    != printer->commands.end())
                leaveLocked(*printer, PrinterMode::Gone, notices);
        }
        // A printer that is storing its image takes nothing more.
    }
    if (stall) {
        // Nothing moves: the write gives up after the limit every backend keeps.
        clock_.sleep(contract::kWriteStallLimitMs);
        std::lock_guard lock(mutex_);
        advanceLocked(notices);
    }
    notify(notices);
    return ok;
}

bool SimulatedPrinters::read(
    DeviceHandle handle, std::uint8_t *buffer, std::size_t capacity, std::size_t &got)
{
    got = 0;
    int notices = 0;
    bool ok = false;
    std::unique_lock lock(mutex_);
    advanceLocked(notices);
    Printer *printer = liveHandleLocked(handle);
    if (printer && printer->inbox.empty()) {
        std::uint64_t wait = kReadWaitMs;
        if (!printer->pendingReplies.empty())
            wait = std::min(wait, printer->pendingReplies.front().first - now_);
        // The wait happens without the lock, so that attach, detach and the other thread's
        // calls go on meanwhile.
        lock.unlock();
        clock_.sleep(static_cast<std::uint32_t>(wait));
        lock.lock();
        advanceLocked(notices);
        printer = liveHandleLocked(handle);
    }
    if (printer) {
        ok = true;
        if (buffer) {
            got = std::min(capacity, printer->inbox.size());
            std::memcpy(buffer, printer->inbox.data(), got);
            printer->inbox.erase(0, got);
        }
    }
    lock.unlock();
    notify(notices);
    return ok;
}

void SimulatedPrinters::close(DeviceHandle handle)
{
    int notices = 0;
    {
        std::lock_guard lock(mutex_);
        advanceLocked(notices);
        OpenHandle *open = nullptr;
        Printer *printer = liveHandleLocked(handle, &open);
        if (printer && open->wroteImage && printer->mode == PrinterMode::DownloadMode) {
            const std::uint64_t expected = printer->config.expectedImageBytes;
            if (expected == 0 ? printer->imageBytes > 0 : printer->imageBytes >= expected) {
                printer->imageComplete = true;
                printer->mode = PrinterMode::Storing;
                printer->goneAt = After(now_, printer->config.storeTimeMs);
            }
        }
        handles_.erase(handle);
        // A store time of zero leaves at once.
        advanceLocked(notices);
    }
    notify(notices);
}

} // namespace vornik::sim
