#include "simulated_printers.h"

#include "printer_link/device_contract.h"
#include "printer_link/simulated/printer_model.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace vornik::sim {

namespace {

// How long a read with nothing to hand waits before it returns empty, like the driver's short
// read timeout. It must pass clock time: on a virtual clock nothing else would.
constexpr std::uint64_t kReadWaitMs = 50;

} // namespace

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

PrinterModel *SimulatedPrinters::findById(int id) const
{
    for (const auto &printer : printers_) {
        if (printer->id() == id)
            return printer.get();
    }
    return nullptr;
}

PrinterModel *SimulatedPrinters::findByPath(const std::u16string &path)
{
    if (path.empty())
        return nullptr;
    for (const auto &printer : printers_) {
        if (OnBus(printer->mode()) && printer->path() == path)
            return printer.get();
    }
    return nullptr;
}

PrinterModel *SimulatedPrinters::liveHandleLocked(DeviceHandle handle, OpenHandle **open)
{
    const auto it = handles_.find(handle);
    if (it == handles_.end())
        return nullptr;
    PrinterModel *printer = findById(it->second.printerId);
    if (!printer || !OnBus(printer->mode()) || printer->presence() != it->second.presence)
        return nullptr;
    if (open)
        *open = &it->second;
    return printer;
}

bool SimulatedPrinters::hasLiveHandleLocked(const PrinterModel &printer, bool exclusiveOnly) const
{
    for (const auto &[handle, open] : handles_) {
        if (open.printerId != printer.id() || open.presence != printer.presence())
            continue;
        if (!exclusiveOnly || open.mode == OpenMode::WriteExclusive)
            return true;
    }
    return false;
}

void SimulatedPrinters::advanceLocked(int &notices)
{
    const std::uint64_t now = nowLocked();
    for (const auto &printer : printers_)
        printer->advance(now, nextPathNumber_, notices);
}

int SimulatedPrinters::attach(const PrinterConfig &config)
{
    int notices = 0;
    int id = 0;
    {
        std::lock_guard lock(mutex_);
        advanceLocked(notices);
        auto printer = std::make_unique<PrinterModel>(id = nextId_++, config);
        printer->appear(PrinterMode::Normal, nextPathNumber_++, notices);
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
        if (PrinterModel *printer = findById(id))
            printer->leave(PrinterMode::Gone, notices);
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
            printer->leave(PrinterMode::Gone, notices);
    }
    notify(notices);
}

void SimulatedPrinters::reconfigure(int id, const PrinterConfig &config)
{
    int notices = 0;
    {
        std::lock_guard lock(mutex_);
        advanceLocked(notices);
        if (PrinterModel *printer = findById(id))
            printer->reconfigure(config);
    }
    notify(notices);
}

void SimulatedPrinters::setStatus(int id, int status)
{
    int notices = 0;
    {
        std::lock_guard lock(mutex_);
        advanceLocked(notices);
        if (PrinterModel *printer = findById(id))
            printer->setStatus(status);
    }
    notify(notices);
}

std::vector<int> SimulatedPrinters::printerIds() const
{
    std::lock_guard lock(mutex_);
    std::vector<int> ids;
    for (const auto &printer : printers_)
        ids.push_back(printer->id());
    return ids;
}

PrinterSnapshot SimulatedPrinters::snapshotLocked(const PrinterModel &printer) const
{
    PrinterSnapshot snapshot = printer.snapshot();
    snapshot.handleOpen = hasLiveHandleLocked(printer, false);
    return snapshot;
}

PrinterSnapshot SimulatedPrinters::snapshot(int id) const
{
    std::lock_guard lock(mutex_);
    const PrinterModel *printer = findById(id);
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
        taken_ = 0;
        if (failClassQuery_) {
            failClassQuery_ = false;
            ok = false;
        } else {
            // The set is fixed when it is opened, as the platform's is.
            for (const auto &printer : printers_) {
                if (!OnBus(printer->mode()))
                    continue;
                if (printer->takenByAnotherProgram())
                    ++taken_;
                else
                    enumeration_.push_back(printer->id());
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
            PrinterModel *printer = findById(enumeration_[index]);
            // A member that has gone since the set was opened has no detail to give.
            if (!printer || !OnBus(printer->mode()) || printer->failDetailLookup())
                result = InterfaceLookup::DetailUnavailable;
            else
                path = printer->path();
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

int SimulatedPrinters::takenInLastEnumeration() const
{
    std::lock_guard lock(mutex_);
    return taken_;
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
        PrinterModel *printer = findByPath(path);
        if (printer && printer->accessDenied()) {
            if (std::find(enumeration_.begin(), enumeration_.end(), printer->id())
                != enumeration_.end())
                denied_.insert(printer->id());
            printer = nullptr;
        }
        // An exclusive holder keeps everybody out, and an exclusive open needs the device free.
        if (printer && !hasLiveHandleLocked(*printer, true)
            && !(mode == OpenMode::WriteExclusive && hasLiveHandleLocked(*printer, false))) {
            handle = nextHandle_++;
            handles_[handle] = OpenHandle { printer->id(), printer->presence(), mode, false };
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
        const PrinterModel *printer = liveHandleLocked(handle);
        std::string text;
        bool terminated = true;
        if (printer && buffer && printer->deviceId(text, terminated)) {
            const std::size_t n = std::min(text.size(), size);
            std::memcpy(buffer, text.data(), n);
            if (terminated && n < size)
                buffer[n] = 0;
            ok = true;
        }
    }
    notify(notices);
    return ok;
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
        PrinterModel *printer = liveHandleLocked(handle, &open);
        if (!printer || (!data && size > 0)) {
            ok = false;
        } else if (printer->mode() == PrinterMode::DownloadMode) {
            switch (printer->takeImageBytes(data, size, notices)) {
            case PrinterModel::ImageWrite::Taken:
                ok = true;
                open->wroteImage = open->wroteImage || size > 0;
                break;
            case PrinterModel::ImageWrite::Refused:
                break;
            case PrinterModel::ImageWrite::Stalled:
                stall = true;
                break;
            }
        } else if (printer->mode() == PrinterMode::Normal
            || printer->mode() == PrinterMode::LeavingBus) {
            printer->takeCommandBytes(data, size, now_, notices);
            ok = true;
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
    PrinterModel *printer = liveHandleLocked(handle);
    if (printer && printer->inboxEmpty()) {
        const std::uint64_t wait = printer->replyWait(now_, kReadWaitMs);
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
        if (buffer)
            got = printer->readInbox(buffer, capacity);
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
        PrinterModel *printer = liveHandleLocked(handle, &open);
        if (printer && open->wroteImage)
            printer->imageHandleClosed(now_);
        handles_.erase(handle);
        // A store time of zero leaves at once.
        advanceLocked(notices);
    }
    notify(notices);
}

} // namespace vornik::sim
