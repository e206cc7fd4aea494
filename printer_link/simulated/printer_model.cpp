#include "printer_model.h"

#include "printer_link/device_contract.h"

#include <algorithm>
#include <cstring>

namespace vornik::sim {

namespace {

constexpr char kInterfaceClass[] = "{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";

bool InDownloadIdentity(PrinterMode mode)
{
    return mode == PrinterMode::DownloadMode || mode == PrinterMode::Storing;
}

std::uint64_t After(std::uint64_t from, int ms)
{
    return ms < 0 ? kNever : from + static_cast<std::uint64_t>(ms);
}

} // namespace

bool OnBus(PrinterMode mode)
{
    return mode == PrinterMode::Normal || mode == PrinterMode::LeavingBus
        || mode == PrinterMode::DownloadMode || mode == PrinterMode::Storing;
}

PrinterModel::PrinterModel(int id, const PrinterConfig &config)
    : id_(id)
    , config_(config)
    , status_(config.status)
    , detailFailuresLeft_(config.interfaceDetailFailures)
{ }

void PrinterModel::reconfigure(const PrinterConfig &config)
{
    config_ = config;
    status_ = config.status;
    detailFailuresLeft_ = config.interfaceDetailFailures;
}

bool PrinterModel::failDetailLookup()
{
    if (detailFailuresLeft_ == 0)
        return false;
    if (detailFailuresLeft_ > 0)
        --detailFailuresLeft_;
    return true;
}

void PrinterModel::appear(PrinterMode mode, int pathNumber, int &notices)
{
    mode_ = mode;
    ++presence_;
    // Like a real re-enumeration: every arrival is a new device node with a new path.
    const bool download = InDownloadIdentity(mode);
    const std::string serial
        = download && !config_.downloadSerial.empty() ? config_.downloadSerial : config_.serial;
    std::string head = std::string("\\\\?\\usb#vid_5a17&pid_") + (download ? "0002" : "0001") + "#"
        + serial + "&" + std::to_string(pathNumber);
    const std::string tail = std::string("#") + kInterfaceClass;
    const std::size_t natural = head.size() + tail.size();
    if (config_.devicePathUnits > natural)
        head.append(config_.devicePathUnits - natural, 'x');
    path_ = Widen(head + tail);
    ++notices;
}

void PrinterModel::leave(PrinterMode mode, int &notices)
{
    const bool wasOnBus = OnBus(mode_);
    mode_ = mode;
    ++presence_;
    path_.clear();
    pendingReplies_.clear();
    inbox_.clear();
    unparsed_.clear();
    if (wasOnBus)
        ++notices;
}

void PrinterModel::advance(std::uint64_t now, int &nextPathNumber, int &notices)
{
    // One look may cover several steps (a long sleep); each happens at its own time.
    for (bool changed = true; changed;) {
        changed = false;
        if (mode_ == PrinterMode::LeavingBus && leaveAt_ <= now) {
            leave(PrinterMode::OffBus, notices);
            reappearAt_ = After(leaveAt_, config_.reappearAfterMs);
            changed = true;
        } else if (mode_ == PrinterMode::OffBus && reappearAt_ <= now) {
            appear(PrinterMode::DownloadMode, nextPathNumber++, notices);
            changed = true;
        } else if (mode_ == PrinterMode::Storing && goneAt_ <= now) {
            leave(PrinterMode::Gone, notices);
            restarted_ = true;
            changed = true;
        }
    }
    while (!pendingReplies_.empty() && pendingReplies_.front().first <= now) {
        inbox_ += pendingReplies_.front().second;
        pendingReplies_.pop_front();
    }
}

bool PrinterModel::deviceId(std::string &text, bool &terminated) const
{
    terminated = true;
    if (InDownloadIdentity(mode_)) {
        const std::string &serial
            = config_.downloadSerial.empty() ? config_.serial : config_.downloadSerial;
        text = "MFG:KX;MDL:reflash;SN:" + serial + ";";
        return true;
    }
    if (config_.deviceId == DeviceIdKind::Product) {
        static constexpr char kHex[] = "0123456789ABCDEF";
        const unsigned code = static_cast<unsigned>(status_) & 0xff;
        text = "MFG:" + config_.manufacturer + ";MDL:" + config_.model + ";SN:" + config_.serial
            + ";S:0000000000000000" + kHex[code >> 4] + kHex[code & 0x0f] + ";";
        return true;
    }
    if (config_.deviceId == DeviceIdKind::Raw) {
        text.assign(config_.rawDeviceId.begin(), config_.rawDeviceId.end());
        terminated = false;
        return true;
    }
    return false;
}

void PrinterModel::command(const std::string &command, std::uint64_t now)
{
    commands_.push_back(command);
    // Only an idle printer (or one in manufacturing mode) acts on commands; a busy one records
    // them, so a test can still see that something was sent that should not have been.
    const bool accepts
        = status_ == contract::kStatusIdle || status_ == contract::kStatusManufacturingMode;
    if (!commandSeen_) {
        commandSeen_ = true;
        if (config_.statusAfterFirstCommand)
            status_ = *config_.statusAfterFirstCommand;
    }
    if (!accepts)
        return;

    auto schedule = [&](const std::vector<ReplyChunk> &chunks) {
        std::uint64_t due = now;
        for (const ReplyChunk &chunk : chunks) {
            due += chunk.afterMs;
            pendingReplies_.emplace_back(due, chunk.bytes);
        }
    };
    if (command == contract::kPrepareDownloadCommand) {
        schedule(config_.prepareReply);
    } else if (command == contract::kFirmwareRevisionCommand) {
        schedule(config_.revisionReply);
    } else if (command == contract::kDownloadCommand && mode_ == PrinterMode::Normal) {
        mode_ = PrinterMode::LeavingBus;
        leaveAt_ = After(now, config_.leaveBusAfterMs);
    }
}

void PrinterModel::takeCommandBytes(
    const std::uint8_t *data, std::size_t size, std::uint64_t now, int &notices)
{
    const std::size_t before = commands_.size();
    const std::string bytes(reinterpret_cast<const char *>(data), size);
    commandBytes_ += bytes;
    unparsed_ += bytes;
    const std::string_view head(contract::kFrameHead, contract::kFrameHeadBytes);
    const std::string_view tail(contract::kFrameTail, contract::kFrameTailBytes);
    for (;;) {
        const std::size_t start = unparsed_.find(head);
        if (start == std::string::npos) {
            // Keep what could still be the beginning of a frame.
            if (unparsed_.size() >= head.size())
                unparsed_.erase(0, unparsed_.size() - (head.size() - 1));
            break;
        }
        const std::size_t end = unparsed_.find(tail, start + head.size());
        if (end == std::string::npos) {
            unparsed_.erase(0, start);
            break;
        }
        const std::string found = unparsed_.substr(start + head.size(), end - start - head.size());
        unparsed_.erase(0, end + tail.size());
        command(found, now);
    }
    // Pulled out right as this command went in: the write itself got through.
    const std::string &trigger = config_.detachOnCommand;
    if (!trigger.empty()
        && std::find(commands_.begin() + before, commands_.end(), trigger) != commands_.end())
        leave(PrinterMode::Gone, notices);
}

PrinterModel::ImageWrite PrinterModel::takeImageBytes(
    const std::uint8_t *data, std::size_t size, int &notices)
{
    if (config_.stallWrites)
        return ImageWrite::Stalled;
    std::uint64_t accepted = size;
    bool vanish = false;
    const auto roomBefore = [&](std::int64_t limit) {
        return limit <= static_cast<std::int64_t>(imageBytes_)
            ? std::uint64_t(0)
            : static_cast<std::uint64_t>(limit) - imageBytes_;
    };
    if (config_.failWriteAfterBytes >= 0) {
        accepted = std::min(accepted, roomBefore(config_.failWriteAfterBytes));
        // Once refused, a shorter write that would still fit is refused all the same.
        if (accepted < size || refusingImage_) {
            refusingImage_ = true;
            accepted = 0;
        }
    }
    if (config_.detachAfterBytes >= 0) {
        const std::uint64_t room = roomBefore(config_.detachAfterBytes);
        if (accepted >= room) {
            accepted = room;
            vanish = true;
        }
    }
    const bool taken = accepted == size;
    if (taken) {
        imageHash_.update(data, size);
        imageBytes_ += size;
    }
    if (vanish)
        leave(PrinterMode::Gone, notices);
    return taken ? ImageWrite::Taken : ImageWrite::Refused;
}

void PrinterModel::imageHandleClosed(std::uint64_t now)
{
    if (mode_ != PrinterMode::DownloadMode)
        return;
    const std::uint64_t expected = config_.expectedImageBytes;
    if (expected == 0 ? imageBytes_ > 0 : imageBytes_ >= expected) {
        imageComplete_ = true;
        mode_ = PrinterMode::Storing;
        goneAt_ = After(now, config_.storeTimeMs);
    }
}

std::uint64_t PrinterModel::replyWait(std::uint64_t now, std::uint64_t limit) const
{
    if (pendingReplies_.empty())
        return limit;
    return std::min(limit, pendingReplies_.front().first - now);
}

std::size_t PrinterModel::readInbox(std::uint8_t *buffer, std::size_t capacity)
{
    const std::size_t got = std::min(capacity, inbox_.size());
    std::memcpy(buffer, inbox_.data(), got);
    inbox_.erase(0, got);
    return got;
}

PrinterSnapshot PrinterModel::snapshot() const
{
    PrinterSnapshot snapshot;
    snapshot.id = id_;
    snapshot.config = config_;
    snapshot.mode = mode_;
    snapshot.status = status_;
    snapshot.path = path_;
    snapshot.commands = commands_;
    snapshot.commandBytes = commandBytes_;
    snapshot.imageBytes = imageBytes_;
    snapshot.imageSha256 = imageHash_.hexDigest();
    snapshot.imageComplete = imageComplete_;
    snapshot.restarted = restarted_;
    return snapshot;
}

} // namespace vornik::sim
