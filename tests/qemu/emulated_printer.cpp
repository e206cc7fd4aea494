// An emulated printer for the guest tests: one USB printer of the device contract, played on the
// gadget side of the kernel's dummy USB controller so that usblp on the host side sees a real
// device. Built static: the guest has no C library of its own.
//
// The test that starts it drives it through standard input and follows it on standard output,
// one line each way:
//   in:  status HH | reply DELAY_MS GAP_MS CHUNK... | reply none | reply default | leave |
//        join | quit
// A "reply" line shapes the answer to the next command only.
//   out: control LINE (each input line once it has taken effect) | ready NODE |
//        device-id TEXT | joined normal|download SERIAL | left REASON | frame HEX |
//        command TEXT | garbage HEX | reply TEXT | image ok|mismatch BYTES SHA256 MS |
//        image overrun|incomplete BYTES | error TEXT
// End of input counts as "quit": the printer leaves the bus and takes its gadget down.
//
// With --ipp-usb yes the printer also offers, in normal mode and beside its printer interface,
// two IPP-over-USB interfaces (class 7, subclass 1, protocol 4) as a printer with IPP Everywhere
// does. They are FunctionFS functions served by threads that speak just enough HTTP/1.1 for a
// host's IPP-over-USB daemon to take the printer into service: Get-Printer-Attributes by POST
// to /ipp/print, 404 for everything else. Each request is reported as "http METHOD PATH". The
// USB strings then name the manufacturer and model, since such daemons pick their quirks by them.
//
// Facts of the 6.1 printer gadget (f_printer) this program works around:
// - It answers the device-ID request with a length that leaves out its own two bytes and then
//   sends only that many bytes in all, so the last two characters of pnp_string never arrive.
//   The ID is therefore written with two bytes of padding; the host then sees exactly what a
//   printer that follows IEEE 1284 sends.
// - Its character device exists only while the gadget is bound to a controller, and its minor
//   number is handed out when the function is created. Gadgets are bound under one lock so each
//   printer can tell which /dev/g_printerN appeared for it.
// - It receives in 8 KiB requests and usblp sends no zero-length packet: a transfer that ends on
//   a full 512-byte packet short of 8 KiB is held back until more data comes. The image check
//   therefore never waits forever for the last bytes; it reports what it got.
#include "printer_link/simulated/sha256.h"

#include <linux/usb/ch9.h>
#include <linux/usb/functionfs.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <endian.h>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <poll.h>
#include <pthread.h>
#include <set>
#include <signal.h>
#include <string>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

volatile sig_atomic_t gStopRequested = 0;

constexpr char kGadgetRoot[] = "/sys/kernel/config/usb_gadget";
constexpr char kGadgetClass[] = "/sys/class/usb_printer_gadget";
constexpr char kBindLock[] = "/tmp/vornik-gadget-bind.lock";
constexpr int kNormalProductId = 0x0104;
constexpr int kDownloadProductId = 0x0105;

const std::string kFrameHead = "\x1b%-12345X@PJL ENTER LANGUAGE=PCL3GUI\n\x1b"
                               "E\x1b%P";
const std::string kFrameTail = "exit;\x1b"
                               "E\x1b%-12345X";

struct Options {
    std::string udc = "dummy_udc.0";
    std::string name; // gadget directory; defaults to one derived from the controller
    std::string manufacturer = "ZELTAN";
    std::string model = "QXR3303";
    std::string serial = "SN0001";
    std::string status = "00";
    std::string revision = "VRN.01.23;";
    std::string prepareReply = "ok;";
    int replyDelayMs = 400; // after the frame: the host pauses 200 ms and reopens to read
    int leaveDelayMs = 100; // after the download command
    int rejoinDelayMs = 1000; // off the bus before coming back in download mode
    int storeMs = 300; // after the last image byte, before leaving the bus
    // After leaving stored, back in normal mode after this long, answering `storedRevision`
    // when the image was the one expected (else the revision it had); negative: stays away.
    int restartMs = -1;
    std::string storedRevision = "VRN.02.00;";
    int imageIdleMs = 8000; // no image byte for this long: report what came
    unsigned long long imageBytes = 0;
    std::string imageSha256;
    std::string fault = "none"; // stay | other-serial | vanish | stall
    std::size_t deviceIdBytes = 0; // normal-mode ID stretched to this length, status field last
    bool startInDownloadMode = false;
    bool ippUsb = false;
};

[[noreturn]] void Usage(const char *why)
{
    std::fprintf(stderr,
        "emulated printer: %s\n"
        "usage: vornik_emulated_printer --udc UDC [--name DIR] [--mfg M] [--mdl M] [--serial S]\n"
        "       [--status HH] [--revision TEXT] [--prepare-reply TEXT] [--reply-delay MS]\n"
        "       [--leave-delay MS] [--rejoin-delay MS] [--store MS] [--image-idle MS]\n"
        "       [--restart MS] [--stored-revision TEXT]\n"
        "       [--image-bytes N --image-sha256 HEX]\n"
        "       [--fault none|stay|other-serial|vanish|stall] [--device-id-bytes N]\n"
        "       [--start-in-download-mode yes] [--ipp-usb yes]\n",
        why);
    std::exit(2);
}

Options ParseOptions(int argc, char **argv)
{
    const std::pair<const char *, std::string Options::*> texts[]
        = { { "--udc", &Options::udc }, { "--name", &Options::name },
              { "--mfg", &Options::manufacturer }, { "--mdl", &Options::model },
              { "--serial", &Options::serial }, { "--status", &Options::status },
              { "--revision", &Options::revision }, { "--prepare-reply", &Options::prepareReply },
              { "--stored-revision", &Options::storedRevision },
              { "--image-sha256", &Options::imageSha256 }, { "--fault", &Options::fault } };
    const std::pair<const char *, int Options::*> numbers[]
        = { { "--reply-delay", &Options::replyDelayMs },
              { "--leave-delay", &Options::leaveDelayMs },
              { "--rejoin-delay", &Options::rejoinDelayMs }, { "--store", &Options::storeMs },
              { "--restart", &Options::restartMs }, { "--image-idle", &Options::imageIdleMs } };
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string key = argv[i];
        if (i + 1 >= argc)
            Usage(("missing value for " + key).c_str());
        const std::string value = argv[++i];
        const auto number = [&]() {
            char *end = nullptr;
            const long long parsed = std::strtoll(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || parsed < 0)
                Usage(("not a number: " + key + " " + value).c_str());
            return parsed;
        };
        const auto named = [&key](const auto &entry) { return key == entry.first; };
        const auto text = std::find_if(std::begin(texts), std::end(texts), named);
        const auto count = std::find_if(std::begin(numbers), std::end(numbers), named);
        if (text != std::end(texts))
            options.*text->second = value;
        else if (count != std::end(numbers))
            options.*count->second = static_cast<int>(number());
        else if (key == "--image-bytes")
            options.imageBytes = static_cast<unsigned long long>(number());
        else if (key == "--device-id-bytes")
            options.deviceIdBytes = static_cast<std::size_t>(number());
        else if (key == "--start-in-download-mode")
            options.startInDownloadMode = value == "yes";
        else if (key == "--ipp-usb")
            options.ippUsb = value == "yes";
        else
            Usage(("unknown option " + key).c_str());
    }
    if (options.status.size() != 2)
        Usage("the status is two hex digits");
    if (options.fault != "none" && options.fault != "stay" && options.fault != "other-serial"
        && options.fault != "vanish" && options.fault != "stall")
        Usage("unknown fault");
    if (options.name.empty()) {
        options.name = "vornik-" + options.udc;
        std::replace(options.name.begin(), options.name.end(), '.', '-');
    }
    return options;
}

// Whole lines: the IPP-over-USB threads report too.
void Emit(const std::string &line)
{
    static std::mutex mutex;
    const std::lock_guard<std::mutex> lock(mutex);
    const std::string whole = line + '\n';
    std::fwrite(whole.data(), 1, whole.size(), stdout);
    std::fflush(stdout);
}

std::string Hex(const std::string &bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (unsigned char byte : bytes) {
        hex.push_back(digits[byte >> 4]);
        hex.push_back(digits[byte & 15]);
    }
    return hex;
}

// Printable for one output line: control characters as \xHH.
std::string Printable(const std::string &bytes)
{
    std::string text;
    for (unsigned char byte : bytes) {
        if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
            text.push_back(static_cast<char>(byte));
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            text += escaped;
        }
    }
    return text;
}

bool WriteFile(const std::string &path, const std::string &content)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const ssize_t written = ::write(fd, content.data(), content.size());
    ::close(fd);
    return written == static_cast<ssize_t>(content.size());
}

std::set<std::string> GadgetNodes()
{
    std::set<std::string> names;
    if (DIR *dir = ::opendir(kGadgetClass)) {
        while (const dirent *entry = ::readdir(dir)) {
            if (std::strncmp(entry->d_name, "g_printer", 9) == 0)
                names.insert(entry->d_name);
        }
        ::closedir(dir);
    }
    return names;
}

// --- IPP over USB ------------------------------------------------------------------------------

// A stopping thread is woken from its blocking endpoint read by this signal (no SA_RESTART).
constexpr int kWakeSignal = SIGUSR1;

void AppendBigEndian(std::string &to, unsigned value, int bytes)
{
    for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8)
        to.push_back(static_cast<char>((value >> shift) & 0xFF));
}

void AppendAttribute(
    std::string &to, std::uint8_t tag, const std::string &name, const std::string &value)
{
    to.push_back(static_cast<char>(tag));
    AppendBigEndian(to, static_cast<unsigned>(name.size()), 2);
    to += name;
    AppendBigEndian(to, static_cast<unsigned>(value.size()), 2);
    to += value;
}

struct HttpRequest {
    std::string method;
    std::string path;
    std::string body;
};

// The first whole request in `buffer`, taken out of it; none while it is still incomplete.
// Bodies come with a Content-Length or chunked, as Go's HTTP client sends them.
std::optional<HttpRequest> TakeHttpRequest(std::string &buffer)
{
    const std::size_t headEnd = buffer.find("\r\n\r\n");
    if (headEnd == std::string::npos)
        return std::nullopt;
    std::string head = buffer.substr(0, headEnd + 2);
    for (char &c : head)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    HttpRequest request;
    const std::size_t firstBlank = buffer.find(' ');
    const std::size_t secondBlank = buffer.find(' ', firstBlank + 1);
    request.method = buffer.substr(0, firstBlank);
    request.path = buffer.substr(firstBlank + 1, secondBlank - firstBlank - 1);
    std::size_t at = headEnd + 4;
    if (head.find("\r\ntransfer-encoding: chunked\r\n") != std::string::npos) {
        for (;;) {
            const std::size_t lineEnd = buffer.find("\r\n", at);
            if (lineEnd == std::string::npos)
                return std::nullopt;
            const std::size_t size = std::strtoul(buffer.c_str() + at, nullptr, 16);
            if (buffer.size() < lineEnd + 2 + size + 2)
                return std::nullopt;
            request.body.append(buffer, lineEnd + 2, size);
            at = lineEnd + 2 + size + 2;
            if (size == 0)
                break;
        }
    } else if (const std::size_t length = head.find("\r\ncontent-length:");
               length != std::string::npos) {
        const std::size_t size = std::strtoul(head.c_str() + length + 17, nullptr, 10);
        if (buffer.size() < at + size)
            return std::nullopt;
        request.body = buffer.substr(at, size);
        at += size;
    }
    buffer.erase(0, at);
    return request;
}

// The answer to an IPP request: the printer's attributes for Get-Printer-Attributes, an
// operation-not-supported status for anything else. Version 2.0, the request's own ID.
std::string IppResponse(const std::string &request, const std::string &makeAndModel,
    const std::string &deviceId, const std::string &serial)
{
    constexpr unsigned kGetPrinterAttributes = 0x000B;
    constexpr unsigned kOperationNotSupported = 0x0501;
    const unsigned operation = request.size() >= 8
        ? (static_cast<unsigned char>(request[2]) << 8) | static_cast<unsigned char>(request[3])
        : 0;
    std::string response("\x02\x00", 2);
    AppendBigEndian(response, operation == kGetPrinterAttributes ? 0 : kOperationNotSupported, 2);
    response += request.size() >= 8 ? request.substr(4, 4) : std::string(4, '\0');
    response.push_back('\x01'); // operation attributes
    AppendAttribute(response, 0x47, "attributes-charset", "utf-8");
    AppendAttribute(response, 0x48, "attributes-natural-language", "en-us");
    if (operation == kGetPrinterAttributes) {
        char uuid[64];
        std::snprintf(uuid, sizeof uuid, "urn:uuid:5a454c54-414e-4000-8000-%012llx",
            static_cast<unsigned long long>(std::hash<std::string> {}(serial)&0xFFFFFFFFFFFFull));
        response.push_back('\x04'); // printer attributes
        AppendAttribute(response, 0x41, "printer-make-and-model", makeAndModel);
        AppendAttribute(response, 0x41, "printer-device-id", deviceId);
        AppendAttribute(response, 0x45, "printer-uuid", uuid);
        AppendAttribute(response, 0x49, "document-format-supported", "application/octet-stream");
        AppendAttribute(response, 0x23, "printer-state", std::string("\0\0\0\x03", 4)); // idle
    }
    response.push_back('\x03'); // end of attributes
    return response;
}

// One IPP-over-USB interface: a FunctionFS function with a bulk OUT and a bulk IN endpoint,
// whose HTTP requests a thread answers. Control requests for the interface are turned away.
class IppInterface {
public:
    IppInterface(
        std::string instance, std::string makeAndModel, std::string deviceId, std::string serial)
        : instance_(std::move(instance))
        , mount_("/tmp/vornik-ffs-" + instance_)
        , makeAndModel_(std::move(makeAndModel))
        , deviceId_(std::move(deviceId))
        , serial_(std::move(serial))
    { }
    ~IppInterface() { stop(); }

    // After the function directory exists: mounts it and hands the kernel its descriptors, which
    // FunctionFS needs before the gadget can bind.
    bool start()
    {
        ::mkdir(mount_.c_str(), 0755);
        if (::mount(instance_.c_str(), mount_.c_str(), "functionfs", 0, nullptr) != 0)
            return false;
        mounted_ = true;
        ep0_ = ::open((mount_ + "/ep0").c_str(), O_RDWR | O_CLOEXEC);
        const Descriptors descriptors = makeDescriptors();
        usb_functionfs_strings_head strings {};
        strings.magic = htole32(FUNCTIONFS_STRINGS_MAGIC);
        strings.length = htole32(sizeof strings);
        if (ep0_ < 0 || ::write(ep0_, &descriptors, sizeof descriptors) != sizeof descriptors
            || ::write(ep0_, &strings, sizeof strings) != sizeof strings)
            return false;
        out_ = ::open((mount_ + "/ep1").c_str(), O_RDWR | O_CLOEXEC);
        in_ = ::open((mount_ + "/ep2").c_str(), O_RDWR | O_CLOEXEC);
        if (out_ < 0 || in_ < 0)
            return false;
        control_ = std::thread([this] { serveControl(); });
        http_ = std::thread([this] { serveHttp(); });
        return true;
    }

    // Ends the threads and unmounts; the gadget is unbound by then.
    void stop()
    {
        stopping_ = true;
        for (std::thread *thread : { &control_, &http_ }) {
            if (!thread->joinable())
                continue;
            // The thread may be just about to block again: keep waking it until it is gone.
            std::atomic<bool> joined { false };
            std::thread waker([&] {
                while (!joined) {
                    ::pthread_kill(thread->native_handle(), kWakeSignal);
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                }
            });
            thread->join();
            joined = true;
            waker.join();
        }
        for (int *fd : { &out_, &in_, &ep0_ }) {
            if (*fd >= 0)
                ::close(*fd);
            *fd = -1;
        }
        if (mounted_)
            ::umount(mount_.c_str());
        mounted_ = false;
        ::rmdir(mount_.c_str());
    }

private:
    struct Descriptors {
        usb_functionfs_descs_head_v2 header;
        __le32 fsCount;
        __le32 hsCount;
        struct Speed {
            usb_interface_descriptor interface;
            usb_endpoint_descriptor_no_audio out;
            usb_endpoint_descriptor_no_audio in;
        } __attribute__((packed)) fs, hs;
    } __attribute__((packed));

    static Descriptors makeDescriptors()
    {
        Descriptors d {};
        d.header.magic = htole32(FUNCTIONFS_DESCRIPTORS_MAGIC_V2);
        d.header.length = htole32(sizeof d);
        d.header.flags = htole32(FUNCTIONFS_HAS_FS_DESC | FUNCTIONFS_HAS_HS_DESC);
        d.fsCount = htole32(3);
        d.hsCount = htole32(3);
        for (auto *speed : { &d.fs, &d.hs }) {
            speed->interface.bLength = USB_DT_INTERFACE_SIZE;
            speed->interface.bDescriptorType = USB_DT_INTERFACE;
            speed->interface.bNumEndpoints = 2;
            speed->interface.bInterfaceClass = USB_CLASS_PRINTER;
            speed->interface.bInterfaceSubClass = 1;
            speed->interface.bInterfaceProtocol = 4;
            const std::uint16_t packet = speed == &d.fs ? 64 : 512;
            int number = 1;
            for (auto *endpoint : { &speed->out, &speed->in }) {
                endpoint->bLength = USB_DT_ENDPOINT_SIZE;
                endpoint->bDescriptorType = USB_DT_ENDPOINT;
                endpoint->bEndpointAddress = static_cast<std::uint8_t>(
                    number++ | (endpoint == &speed->in ? USB_DIR_IN : USB_DIR_OUT));
                endpoint->bmAttributes = USB_ENDPOINT_XFER_BULK;
                endpoint->wMaxPacketSize = htole16(packet);
            }
        }
        return d;
    }

    void serveControl()
    {
        usb_functionfs_event events[4];
        while (!stopping_) {
            const ssize_t got = ::read(ep0_, events, sizeof events);
            if (got < 0) {
                if (errno == EINTR)
                    continue;
                return;
            }
            for (ssize_t i = 0; i < got / static_cast<ssize_t>(sizeof events[0]); ++i) {
                if (events[i].type != FUNCTIONFS_SETUP)
                    continue;
                // Transferring the wrong way on ep0 stalls the request.
                char none = 0;
                if (events[i].u.setup.bRequestType & USB_DIR_IN)
                    (void)!::read(ep0_, &none, 0);
                else
                    (void)!::write(ep0_, &none, 0);
            }
        }
    }

    void serveHttp()
    {
        std::string buffer;
        std::vector<char> chunk(16384);
        while (!stopping_) {
            const ssize_t got = ::read(out_, chunk.data(), chunk.size());
            if (got < 0) {
                if (errno == ESHUTDOWN) // the host went away: what it had sent is void
                    buffer.clear();
                else if (errno != EINTR)
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                continue;
            }
            buffer.append(chunk.data(), static_cast<std::size_t>(got));
            while (const std::optional<HttpRequest> request = TakeHttpRequest(buffer))
                answer(*request);
        }
    }

    void answer(const HttpRequest &request)
    {
        Emit("http " + request.method + " " + request.path);
        std::string head;
        std::string body;
        if (request.method == "POST" && request.path == "/ipp/print") {
            body = IppResponse(request.body, makeAndModel_, deviceId_, serial_);
            head = "HTTP/1.1 200 OK\r\nContent-Type: application/ipp\r\n";
        } else {
            head = "HTTP/1.1 404 Not Found\r\n";
        }
        head += "Content-Length: " + std::to_string(body.size()) + "\r\n";
        // A reply that fills its last packet would leave the host's read waiting for more.
        if ((head.size() + 2 + body.size()) % 64 == 0)
            head += "Server: vornik\r\n";
        const std::string reply = head + "\r\n" + body;
        if (::write(in_, reply.data(), reply.size()) != static_cast<ssize_t>(reply.size()))
            Emit("error http reply not sent: " + std::string(std::strerror(errno)));
    }

    const std::string instance_;
    const std::string mount_;
    const std::string makeAndModel_;
    const std::string deviceId_;
    const std::string serial_;
    bool mounted_ = false;
    int ep0_ = -1;
    int out_ = -1;
    int in_ = -1;
    std::atomic<bool> stopping_ { false };
    std::thread control_;
    std::thread http_;
};

// One printer gadget in configfs: created on start, bound to and unbound from the controller as
// the printer joins and leaves the bus, taken down at the end.
class Gadget {
public:
    explicit Gadget(const Options &options)
        : options_(options)
        , root_(std::string(kGadgetRoot) + "/" + options.name)
        , udc_(options.udc)
    { }

    // `ippDeviceId` is what the IPP-over-USB interfaces, if any, report as the device ID.
    bool create(const std::string &serial, const std::string &ippDeviceId)
    {
        const std::string function = root_ + "/functions/printer.usb0";
        const std::string config = root_ + "/configs/c.1";
        if (::mkdir(root_.c_str(), 0755) != 0 && errno != EEXIST)
            return fail("cannot create " + root_);
        created_ = true;
        bool ok = WriteFile(root_ + "/idVendor", "0x1d6b") && WriteFile(root_ + "/bcdUSB", "0x0200")
            && ::mkdir((root_ + "/strings/0x409").c_str(), 0755) == 0
            && WriteFile(root_ + "/strings/0x409/manufacturer",
                options_.ippUsb ? options_.manufacturer : "Vornik test bench")
            && WriteFile(root_ + "/strings/0x409/product",
                options_.ippUsb ? options_.model : "Emulated printer")
            && ::mkdir(function.c_str(), 0755) == 0 && ::mkdir(config.c_str(), 0755) == 0
            && ::mkdir((config + "/strings/0x409").c_str(), 0755) == 0
            && WriteFile(config + "/strings/0x409/configuration", "printer")
            && WriteFile(config + "/MaxPower", "2")
            && ::symlink(function.c_str(), (config + "/printer.usb0").c_str()) == 0;
        if (!ok)
            return fail("cannot build the gadget under " + root_ + ": " + std::strerror(errno));
        for (int i = 0; options_.ippUsb && i < 2; ++i) {
            const std::string instance = options_.name + "-ipp" + std::to_string(i);
            if (::mkdir((root_ + "/functions/ffs." + instance).c_str(), 0755) != 0)
                return fail("cannot create the function ffs." + instance);
            ipp_.push_back(std::make_unique<IppInterface>(
                instance, options_.manufacturer + " " + options_.model, ippDeviceId, serial));
            if (!ipp_.back()->start())
                return fail(
                    "cannot start FunctionFS for " + instance + ": " + std::strerror(errno));
        }
        return setIdentity(kNormalProductId, serial);
    }

    // The IPP-over-USB interfaces join the configuration after the printer interface, or leave
    // it; only while unbound.
    void setIppInterfaces(bool present)
    {
        for (std::size_t i = 0; i < ipp_.size(); ++i) {
            const std::string instance = options_.name + "-ipp" + std::to_string(i);
            const std::string link = root_ + "/configs/c.1/ffs." + instance;
            if (present)
                ::symlink((root_ + "/functions/ffs." + instance).c_str(), link.c_str());
            else
                ::unlink(link.c_str());
        }
    }

    // Product ID and USB serial string; only while unbound.
    bool setIdentity(int productId, const std::string &serial)
    {
        char id[16];
        std::snprintf(id, sizeof id, "0x%04x", productId);
        return WriteFile(root_ + "/idProduct", id)
            && WriteFile(root_ + "/strings/0x409/serialnumber", serial);
    }

    // The gadget sends the length without its own two bytes and cuts the text to match; two
    // bytes of padding make the host receive the whole ID with the length a printer would send.
    bool setDeviceId(const std::string &deviceId)
    {
        if (!WriteFile(root_ + "/functions/printer.usb0/pnp_string", deviceId + "  "))
            return false;
        Emit("device-id " + deviceId);
        return true;
    }

    bool bind()
    {
        // Other printers bind under the same lock, so the node that appears here is ours.
        const int lock = ::open(kBindLock, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (lock < 0 || ::flock(lock, LOCK_EX) != 0)
            return fail("cannot take the bind lock");
        const std::set<std::string> before = GadgetNodes();
        bool bound = WriteFile(root_ + "/UDC", udc_);
        if (bound && node_.empty()) {
            const auto deadline = Clock::now() + std::chrono::seconds(5);
            while (node_.empty() && Clock::now() < deadline) {
                for (const std::string &name : GadgetNodes())
                    if (!before.count(name))
                        node_ = "/dev/" + name;
                if (node_.empty())
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            bound = !node_.empty();
        }
        ::close(lock);
        if (!bound)
            return fail("cannot bind " + root_ + " to " + udc_);
        bound_ = true;
        return true;
    }

    void unbind()
    {
        if (bound_)
            WriteFile(root_ + "/UDC", "\n");
        bound_ = false;
    }

    void destroy()
    {
        unbind();
        if (!created_)
            return;
        const std::string config = root_ + "/configs/c.1";
        setIppInterfaces(false);
        for (std::size_t i = 0; i < ipp_.size(); ++i) {
            ipp_[i]->stop();
            ::rmdir(
                (root_ + "/functions/ffs." + options_.name + "-ipp" + std::to_string(i)).c_str());
        }
        ipp_.clear();
        ::unlink((config + "/printer.usb0").c_str());
        ::rmdir((config + "/strings/0x409").c_str());
        ::rmdir(config.c_str());
        ::rmdir((root_ + "/functions/printer.usb0").c_str());
        ::rmdir((root_ + "/strings/0x409").c_str());
        ::rmdir(root_.c_str());
        created_ = false;
    }

    const std::string &node() const { return node_; }
    bool bound() const { return bound_; }

private:
    bool fail(const std::string &why)
    {
        Emit("error " + why);
        return false;
    }

    const Options options_;
    std::string root_;
    std::string udc_;
    std::string node_;
    std::vector<std::unique_ptr<IppInterface>> ipp_;
    bool created_ = false;
    bool bound_ = false;
};

struct PendingReply {
    int delayMs = 0;
    int gapMs = 0;
    std::vector<std::string> chunks;
};

class Printer {
public:
    explicit Printer(const Options &options)
        : options_(options)
        , gadget_(options)
        , status_(options.status)
        , revision_(options.revision)
    { }

    int run()
    {
        if (options_.startInDownloadMode)
            mode_ = Mode::Download;
        const bool download = mode_ == Mode::Download;
        if (!gadget_.create(download ? downloadSerial() : options_.serial, normalDeviceId())
            || (download && !gadget_.setIdentity(kDownloadProductId, downloadSerial()))
            || !gadget_.setDeviceId(deviceId()) || !joinBus())
            return shutDown(1);
        Emit("ready " + gadget_.node());
        if (download) {
            startImage();
            Emit("joined download " + downloadSerial());
        } else {
            Emit("joined normal " + options_.serial);
        }
        while (!quit_ && !gStopRequested) {
            std::vector<pollfd> fds { { STDIN_FILENO, POLLIN, 0 } };
            if (device_ >= 0 && Clock::now() >= deviceRetry_ && !stoppedReading_)
                fds.push_back({ device_, POLLIN, 0 });
            const int polled = ::poll(fds.data(), fds.size(), nextTimeoutMs());
            if (polled < 0 && errno != EINTR)
                return shutDown(1);
            if (polled > 0 && fds[0].revents)
                readControl();
            if (polled > 0 && fds.size() > 1 && fds[1].revents)
                readDevice();
            runDueTimers();
        }
        return shutDown(0);
    }

private:
    enum class Mode { Normal, Download, Done };

    std::string deviceId() const
    {
        if (mode_ != Mode::Normal)
            return "MFG:KX;MDL:reflash;CMD:SREC;CLS:PRINTER;SN:" + downloadSerial() + ";";
        return normalDeviceId();
    }

    std::string normalDeviceId() const
    {
        // The status code stands at positions 16 and 17 of the S value.
        const std::string head = "MFG:" + options_.manufacturer + ";MDL:" + options_.model
            + ";CMD:PJL,PCL3GUI;CLS:PRINTER;SN:" + options_.serial;
        const std::string status = ";S:0380000000000000" + status_ + "00000000;";
        // A long ID keeps its status field at the very end, beyond what fits a 512-byte buffer.
        const std::size_t natural = head.size() + status.size();
        if (options_.deviceIdBytes > natural + 5)
            return head + ";CMT:" + std::string(options_.deviceIdBytes - natural - 5, 'x') + status;
        return head + status;
    }

    std::string downloadSerial() const
    {
        return options_.fault == "other-serial" ? options_.serial + "X" : options_.serial;
    }

    bool joinBus()
    {
        // A printer in download mode offers its printer interface alone.
        gadget_.setIppInterfaces(mode_ == Mode::Normal);
        if (!gadget_.bind())
            return false;
        for (int tries = 0; tries < 500; ++tries) {
            device_ = ::open(gadget_.node().c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
            if (device_ >= 0)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        Emit("error cannot open " + gadget_.node() + ": " + std::strerror(errno));
        return false;
    }

    void leaveBus(const std::string &reason)
    {
        if (device_ >= 0)
            ::close(device_);
        device_ = -1;
        gadget_.unbind();
        received_.clear();
        ++joinGeneration_;
        Emit("left " + reason);
    }

    void readControl()
    {
        char chunk[4096];
        const ssize_t got = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            return;
        if (got <= 0) {
            quit_ = true;
            return;
        }
        control_.append(chunk, static_cast<std::size_t>(got));
        std::size_t end;
        while ((end = control_.find('\n')) != std::string::npos) {
            const std::string line = control_.substr(0, end);
            control_.erase(0, end + 1);
            handleControl(line);
            Emit("control " + line);
        }
    }

    void handleControl(const std::string &line)
    {
        std::vector<std::string> words;
        std::size_t at = 0;
        while (at < line.size()) {
            const std::size_t next = line.find(' ', at);
            const std::string word = line.substr(at, next - at);
            if (!word.empty())
                words.push_back(word);
            at = next == std::string::npos ? line.size() : next + 1;
        }
        if (words.empty())
            return;
        if (words[0] == "status" && words.size() == 2 && words[1].size() == 2) {
            status_ = words[1];
            if (!gadget_.setDeviceId(deviceId()))
                Emit("error cannot change the device ID");
        } else if (words[0] == "reply" && words.size() == 2 && words[1] == "none") {
            nextReply_ = PendingReply {};
            hasNextReply_ = true;
        } else if (words[0] == "reply" && words.size() == 2 && words[1] == "default") {
            hasNextReply_ = false;
        } else if (words[0] == "reply" && words.size() >= 4) {
            nextReply_ = PendingReply { std::atoi(words[1].c_str()), std::atoi(words[2].c_str()),
                { words.begin() + 3, words.end() } };
            hasNextReply_ = true;
        } else if (words[0] == "leave") {
            if (gadget_.bound())
                leaveBus("asked");
        } else if (words[0] == "join") {
            if (!gadget_.bound()) {
                gadget_.setDeviceId(deviceId());
                if (joinBus())
                    Emit(std::string("joined ")
                        + (mode_ == Mode::Normal ? "normal " + options_.serial
                                                 : "download " + downloadSerial()));
            }
        } else if (words[0] == "quit") {
            quit_ = true;
        } else {
            Emit("error unknown control line: " + line);
        }
    }

    void readDevice()
    {
        char chunk[65536];
        const ssize_t got = ::read(device_, chunk, sizeof chunk);
        if (got < 0) {
            // Until the host has configured the device the gadget turns reads away.
            if (errno != EAGAIN && errno != EINTR)
                deviceRetry_ = Clock::now() + std::chrono::milliseconds(20);
            return;
        }
        if (got == 0)
            return;
        if (mode_ == Mode::Normal) {
            takeFrames(chunk, static_cast<std::size_t>(got));
        } else if (mode_ == Mode::Download) {
            takeImage(chunk, static_cast<std::size_t>(got));
        } else {
            imageReceived_ += static_cast<std::size_t>(got);
            Emit("image overrun " + std::to_string(imageReceived_));
        }
    }

    void takeFrames(const char *data, std::size_t size)
    {
        received_.append(data, size);
        std::size_t tail;
        while ((tail = received_.find(kFrameTail)) != std::string::npos) {
            const std::string frame = received_.substr(0, tail + kFrameTail.size());
            received_.erase(0, frame.size());
            if (frame.compare(0, kFrameHead.size(), kFrameHead) != 0
                || frame.size() < kFrameHead.size() + kFrameTail.size()) {
                Emit("garbage " + Hex(frame));
                continue;
            }
            Emit("frame " + Hex(frame));
            const std::string command = frame.substr(
                kFrameHead.size(), frame.size() - kFrameHead.size() - kFrameTail.size());
            Emit("command " + Printable(command));
            obey(command);
        }
        if (received_.size() > 65536) {
            Emit("garbage " + Hex(received_));
            received_.clear();
        }
    }

    void obey(const std::string &command)
    {
        PendingReply reply;
        if (command == "ds2.set 79744, 1;")
            reply = { options_.replyDelayMs, 0, { options_.prepareReply } };
        else if (command == "udw.get_fw_rev;")
            reply = { options_.replyDelayMs, 0, { revision_ } };
        if (hasNextReply_) {
            reply = nextReply_;
            hasNextReply_ = false;
        }
        scheduleReply(reply);

        if (command == "udw.srec_download;" && options_.fault != "stay") {
            after(options_.leaveDelayMs, [this] {
                leaveBus("download");
                mode_ = Mode::Download;
                after(options_.rejoinDelayMs, [this] {
                    gadget_.setIdentity(kDownloadProductId, downloadSerial());
                    gadget_.setDeviceId(deviceId());
                    if (joinBus()) {
                        startImage();
                        Emit("joined download " + downloadSerial());
                    }
                });
            });
        }
    }

    void scheduleReply(const PendingReply &reply)
    {
        int at = reply.delayMs;
        const std::uint64_t generation = joinGeneration_;
        for (const std::string &chunk : reply.chunks) {
            after(at, [this, chunk, generation] {
                // A reply for a printer that has left since is lost with the bus.
                if (device_ < 0 || generation != joinGeneration_)
                    return;
                const ssize_t written = ::write(device_, chunk.data(), chunk.size());
                if (written == static_cast<ssize_t>(chunk.size()))
                    Emit("reply " + Printable(chunk));
                else
                    Emit("error reply not sent: " + std::string(std::strerror(errno)));
            });
            at += reply.gapMs;
        }
    }

    void takeImage(const char *data, std::size_t size)
    {
        lastImageByte_ = Clock::now();
        imageHash_.update(reinterpret_cast<const std::uint8_t *>(data), size);
        imageReceived_ += size;
        if (options_.fault == "vanish" && imageReceived_ >= options_.imageBytes / 2) {
            mode_ = Mode::Done;
            leaveBus("vanished after " + std::to_string(imageReceived_) + " bytes");
            return;
        }
        // The gadget's receive queue fills up and the host's write waits with nothing taken,
        // while the printer stays on the bus.
        if (options_.fault == "stall" && !stoppedReading_
            && imageReceived_ >= options_.imageBytes / 2) {
            stoppedReading_ = true;
            Emit("stopped reading after " + std::to_string(imageReceived_) + " bytes");
            return;
        }
        if (options_.imageBytes > 0 && imageReceived_ >= options_.imageBytes)
            finishImage();
    }

    void finishImage()
    {
        const std::string digest = imageHash_.hexDigest();
        const char *verdict = imageReceived_ > options_.imageBytes ? "overrun"
            : digest == options_.imageSha256                       ? "ok"
                                                                   : "mismatch";
        const auto took
            = std::chrono::duration_cast<std::chrono::milliseconds>(lastImageByte_ - imageStart_);
        Emit(std::string("image ") + verdict + " " + std::to_string(imageReceived_) + " " + digest
            + " " + std::to_string(took.count()) + "ms");
        mode_ = Mode::Done;
        const bool stored = std::strcmp(verdict, "ok") == 0;
        after(options_.storeMs, [this, stored] {
            leaveBus("stored");
            if (options_.restartMs < 0)
                return;
            // Restarted: the same serial number in normal mode, on a new bus address.
            after(options_.restartMs, [this, stored] {
                mode_ = Mode::Normal;
                if (stored)
                    revision_ = options_.storedRevision;
                gadget_.setIdentity(kNormalProductId, options_.serial);
                gadget_.setDeviceId(deviceId());
                if (joinBus())
                    Emit("joined normal " + options_.serial);
            });
        });
    }

    void startImage()
    {
        imageStart_ = Clock::now();
        lastImageByte_ = Clock::now();
        watchImage();
    }

    // Reports an image that stopped short, once, and keeps waiting in case the rest comes.
    void watchImage()
    {
        after(500, [this] {
            if (mode_ != Mode::Download)
                return;
            const auto idle = Clock::now() - lastImageByte_;
            if (!incompleteReported_ && imageReceived_ > 0
                && idle > std::chrono::milliseconds(options_.imageIdleMs)) {
                Emit("image incomplete " + std::to_string(imageReceived_));
                incompleteReported_ = true;
            }
            watchImage();
        });
    }

    void after(int ms, std::function<void()> action)
    {
        timers_.push_back({ Clock::now() + std::chrono::milliseconds(ms), std::move(action) });
    }

    int nextTimeoutMs() const
    {
        auto next = Clock::now() + std::chrono::seconds(1);
        if (device_ >= 0 && deviceRetry_ > Clock::now())
            next = std::min(next, deviceRetry_);
        for (const Timer &timer : timers_)
            next = std::min(next, timer.due);
        const auto wait
            = std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now()).count();
        return static_cast<int>(std::max<long long>(0, wait) + 1);
    }

    void runDueTimers()
    {
        const auto now = Clock::now();
        std::vector<std::function<void()>> due;
        for (auto it = timers_.begin(); it != timers_.end();) {
            if (it->due <= now) {
                due.push_back(std::move(it->action));
                it = timers_.erase(it);
            } else {
                ++it;
            }
        }
        for (auto &action : due)
            action();
    }

    int shutDown(int code)
    {
        if (device_ >= 0)
            ::close(device_);
        device_ = -1;
        gadget_.destroy();
        return code;
    }

    struct Timer {
        Clock::time_point due;
        std::function<void()> action;
    };

    const Options options_;
    Gadget gadget_;
    std::string status_;
    std::string revision_;
    Mode mode_ = Mode::Normal;
    int device_ = -1;
    Clock::time_point deviceRetry_ {};
    std::uint64_t joinGeneration_ = 0;
    std::string control_;
    std::string received_;
    PendingReply nextReply_;
    bool hasNextReply_ = false;
    std::vector<Timer> timers_;
    vornik::sim::Sha256 imageHash_;
    unsigned long long imageReceived_ = 0;
    Clock::time_point imageStart_ {};
    Clock::time_point lastImageByte_ {};
    bool incompleteReported_ = false;
    bool stoppedReading_ = false;
    bool quit_ = false;
};

} // namespace

int main(int argc, char **argv)
{
    const Options options = ParseOptions(argc, argv);
    // A test that dies must not leave the controller bound; SIGTERM ends the loop like "quit".
    ::signal(SIGPIPE, SIG_IGN);
    struct sigaction term { };
    term.sa_handler = [](int) { gStopRequested = 1; };
    ::sigaction(SIGTERM, &term, nullptr);
    ::sigaction(SIGINT, &term, nullptr);
    struct sigaction wake { };
    wake.sa_handler = [](int) {};
    ::sigaction(kWakeSignal, &wake, nullptr);
    Printer printer(options);
    return printer.run();
}
