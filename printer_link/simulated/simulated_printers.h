// In-process printers that keep the device contract (device_contract.h), for the bench and the
// tests. They run on whatever Clock they are given: a VirtualClock makes the 10-second polls and
// the 190-second waits pass in microseconds; a ScaledRealClock runs them in (scaled) real time.
//
// A printer's life is a timeline computed from the clock whenever it is looked at: after the
// download command it leaves the bus after a while, comes back as "KX reflash", takes the image,
// stores it and leaves again. Each step can be made to fail. Every byte of the image written to
// a printer is counted and hashed, so a test can prove what the printer received.
#pragma once

#include "printer_link/platform.h"
#include "printer_link/simulated/virtual_clock.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace vornik::sim {

struct ReplyChunk {
    std::uint32_t afterMs = 0; // after the previous chunk (the first: after the command)
    std::string bytes;
};

// The device ID in normal mode. In download mode every printer answers
// "MFG:KX;MDL:reflash;SN:<downloadSerial or serial>;".
enum class DeviceIdKind {
    Product, // "MFG:<manufacturer>;MDL:<model>;SN:<serial>;S:<status field>;"
    Unreadable, // the driver refuses the device-ID request
    Raw, // exactly `rawDeviceId`, as the driver hands it over (no terminator added)
};

struct PrinterConfig {
    std::string serial = "SN0001";
    std::string manufacturer = "ZELTAN";
    std::string model = "QXR3303";
    DeviceIdKind deviceId = DeviceIdKind::Product;
    std::vector<std::uint8_t> rawDeviceId;

    // Status code shown in the S field (two hex digits at positions 16 and 17). Only a printer in
    // status 0 or 3 acts on a command; every framed command is recorded either way.
    int status = 0;
    // If set, the status changes to this value once the first framed command has arrived.
    std::optional<int> statusAfterFirstCommand;

    // Reply to "ds2.set 79744, 1;".
    std::vector<ReplyChunk> prepareReply = { { 50, "ok;" } };
    // Reply to "udw.get_fw_rev;": the revision, ended by ";".
    std::vector<ReplyChunk> revisionReply = { { 50, "VRN.01.23;" } };

    // Download mode. Negative times mean "never".
    int leaveBusAfterMs = 2000; // after "udw.srec_download;"
    int reappearAfterMs = 1000; // after leaving, as "KX reflash"
    std::string downloadSerial; // empty: the same serial as in normal mode

    // Firmware. The printer expects this many bytes; when they have all come and the handle is
    // closed, it stores the image and leaves the bus after `storeTimeMs`.
    std::uint64_t expectedImageBytes = 0; // 0: whatever arrives before the close
    int storeTimeMs = 30000; // negative: never finishes storing
    // After storing, the printer runs the firmware of the image it stored: it answers the
    // revision listed here for the image's SHA-256 (hex), or "IMG-" and the first 8 hex digits
    // for an image not listed. Until it has stored one it answers `revisionReply`.
    std::map<std::string, std::string> revisionOfImage;
    // Takes the image and restarts as usual, but still runs its old firmware afterwards.
    bool keepsOldFirmware = false;
    // Once it has stored the image and left, it comes back in normal mode with the same serial
    // number after this long, on a new path; negative: never.
    int returnAfterMs = -1;
    // The status it shows when it comes back; none: the status it had before.
    std::optional<int> statusOnReturn;
    //
    // A write that fails (by either of the next two) takes none of its bytes, neither counted
    // nor hashed: the printer has received what the sender was told it accepted, so the
    // transfer's "failed after N bytes" and `imageBytes` name the same N.
    //
    // Bytes up to this count are taken; the write that would go past it fails, and so does every
    // later one.
    std::int64_t failWriteAfterBytes = -1;
    // The printer vanishes once this many bytes came; the write that reaches the count succeeds
    // only if it ends exactly there.
    std::int64_t detachAfterBytes = -1;
    // In download mode the printer takes no byte at all: each image write waits the stall limit
    // on the clock and then fails, as a real printer that holds its data back would.
    bool stallWrites = false;
    // The printer is unplugged the moment this framed command arrives (empty: never).
    std::string detachOnCommand;

    // This account may not open the printer (a node of group lp, for someone outside it): every
    // open fails, so its device ID cannot be read.
    bool accessDenied = false;
    // Another program has taken the printer from the driver (a print system): it is on the bus
    // but has no interface to list, only the count of such printers says it is there.
    bool takenByAnotherProgram = false;

    // Presence probe / enumeration faults.
    int interfaceDetailFailures = 0; // the next N path look-ups of this member fail; <0: all
    // 0: the natural device path; larger: the path is padded to exactly this many units (for
    // paths that do not fit the device table).
    std::size_t devicePathUnits = 0;
};

enum class PrinterMode {
    Normal, // listed with its product identity
    LeavingBus, // download command received, still listed
    OffBus, // between normal mode and download mode
    DownloadMode, // listed as "KX reflash"
    Storing, // image received, still listed
    Gone, // left the bus (stored, or detached); only a printer that stored may come back
};

struct PrinterSnapshot {
    int id = 0;
    PrinterConfig config;
    PrinterMode mode = PrinterMode::Normal;
    int status = 0; // status code now shown in the device ID
    std::u16string path; // current device path ("" when off the bus)
    std::vector<std::string> commands; // framed commands received, unwrapped
    std::string commandBytes; // every byte written outside download mode
    std::uint64_t imageBytes = 0; // bytes of the writes accepted in download mode
    std::string imageSha256; // hex digest of those bytes
    bool imageComplete = false; // the handle was closed after the expected bytes
    bool handleOpen = false;
    // Gone after storing the image (it restarted), rather than unplugged at some point; still
    // set once it has come back.
    bool restarted = false;
    // The revision it would answer now ("udw.get_fw_rev;" without the ";").
    std::string revision;
};

class PrinterModel;

// The bus: owns the printers, hands out and checks handles, lists the printers that are present
// and raises the device-change notices. One lock serialises every call; the listener and the
// waits of read and stalled writes run outside it.
class SimulatedPrinters : public DevicePlatform {
public:
    explicit SimulatedPrinters(Clock &clock);
    ~SimulatedPrinters() override;

    // Attach and detach at any time, from any thread. Each raises a device-change notice. A
    // detached printer (like one that left for good) stays readable through snapshot() with the
    // mode Gone, so a test can still see what it received.
    int attach(const PrinterConfig &config);
    void detach(int id);
    void detachAll();
    void reconfigure(int id, const PrinterConfig &config);
    void setStatus(int id, int status);

    // Every printer ever attached, in attach order (the order the enumeration lists them in).
    std::vector<int> printerIds() const;
    // Throws std::out_of_range for an id that was never handed out.
    PrinterSnapshot snapshot(int id) const;
    std::vector<PrinterSnapshot> snapshots() const;

    // Applies every timed change that is due by now (leaving the bus, coming back, finishing
    // storing), raising a device-change notice for each. Every device operation does this first;
    // the bench calls it on a timer so the list follows the printers while nobody asks.
    void poll();

    // DevicePlatform.
    bool beginEnumeration() override;
    InterfaceLookup interfacePath(int index, std::u16string &path) override;
    void endEnumeration() override;
    DeviceHandle open(const std::u16string &path, OpenMode mode) override;
    bool queryDeviceId(DeviceHandle handle, std::uint8_t *buffer, std::size_t size) override;
    bool write(DeviceHandle handle, const std::uint8_t *data, std::size_t size) override;
    bool read(
        DeviceHandle handle, std::uint8_t *buffer, std::size_t capacity, std::size_t &got) override;
    void close(DeviceHandle handle) override;
    void setChangeListener(std::function<void()> listener) override;
    int deniedInLastEnumeration() const override;
    int takenInLastEnumeration() const override;

    // Makes the next class query fail (the enumeration then finds nothing).
    void failNextClassQuery();

private:
    struct OpenHandle {
        int printerId = 0;
        std::uint64_t presence = 0; // the printer's presence when opened
        OpenMode mode = OpenMode::ReadWriteShared;
        bool wroteImage = false;
    };

    std::uint64_t nowLocked();
    void advanceLocked(int &notices);
    PrinterModel *findByPath(const std::u16string &path);
    PrinterModel *findById(int id) const;
    PrinterModel *liveHandleLocked(DeviceHandle handle, OpenHandle **open = nullptr);
    bool hasLiveHandleLocked(const PrinterModel &printer, bool exclusiveOnly) const;
    PrinterSnapshot snapshotLocked(const PrinterModel &printer) const;
    void notify(int count);

    Clock &clock_;
    mutable std::mutex mutex_;
    std::vector<std::unique_ptr<PrinterModel>> printers_;
    std::map<DeviceHandle, OpenHandle> handles_;
    std::vector<int> enumeration_;
    std::set<int> denied_; // printers of the last enumeration that refused to open
    int taken_ = 0; // printers of the last enumeration another program had taken
    std::function<void()> listener_;
    std::uint64_t now_ = 0; // milliseconds since construction, without the 32-bit wrap
    std::uint32_t lastTick_ = 0;
    DeviceHandle nextHandle_ = 1;
    int nextId_ = 1;
    int nextPathNumber_ = 1;
    bool failClassQuery_ = false;
};

// The printers and clock of the simulated backend's default platform (InstallDefaultPlatform):
// process-wide, created on first use, real time at factor 1. The bench builds its own clock and
// printers instead and installs those.
SimulatedPrinters &DefaultSimulatedPrinters();
ScaledRealClock &DefaultSimulatedClock();

} // namespace vornik::sim
