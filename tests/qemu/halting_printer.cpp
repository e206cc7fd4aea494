// A printer for the guest tests whose bulk endpoint fails a transfer while it stays on the bus:
// after a given number of image bytes it halts its OUT endpoint, which the host sees as a
// stalled bulk transfer (EPIPE in the USB core, EIO from usblp's blocking write). The kernel's
// printer gadget cannot do that, so this one is built on FunctionFS, where the function's
// endpoints are files and writing to an OUT endpoint halts it. It answers the printer class's
// device-ID request itself. Built static: the guest has no C library of its own.
//
//   vornik_halting_printer --udc UDC --halt-after BYTES [--device-id TEXT] [--name SUFFIX]
//
// SUFFIX tells the gadgets of several such printers apart (default: none).
//
// Standard output, one line each: "ready", "received N", "halted N" (or "error TEXT").
// End of standard input takes the gadget down.
#include <linux/usb/ch9.h>
#include <linux/usb/functionfs.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <endian.h>
#include <fcntl.h>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// Named apart per printer by --name.
std::string gGadget = "/sys/kernel/config/usb_gadget/vornik-halting";
std::string gInstance = "vornikhalt";
std::string gMount = "/tmp/vornik-halting-ffs";
// usblp's class requests.
constexpr std::uint8_t kGetDeviceId = 0;
constexpr std::uint8_t kGetPortStatus = 1;

std::atomic<bool> gQuit { false };

void Say(const std::string &line)
{
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

[[noreturn]] void Die(const std::string &why)
{
    Say("error " + why + ": " + std::strerror(errno));
    std::exit(1);
}

bool WriteFile(const std::string &path, const std::string &text)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    return ok;
}

// One bulk OUT endpoint on a unidirectional printer interface (class 7, subclass 1,
// protocol 1), at full and at high speed.
struct Descriptors {
    usb_functionfs_descs_head_v2 header;
    __le32 fsCount;
    __le32 hsCount;
    struct Speed {
        usb_interface_descriptor interface;
        usb_endpoint_descriptor_no_audio out;
    } __attribute__((packed)) fs, hs;
} __attribute__((packed));

Descriptors MakeDescriptors()
{
    Descriptors d {};
    d.header.magic = htole32(FUNCTIONFS_DESCRIPTORS_MAGIC_V2);
    d.header.length = htole32(sizeof d);
    d.header.flags = htole32(FUNCTIONFS_HAS_FS_DESC | FUNCTIONFS_HAS_HS_DESC);
    d.fsCount = htole32(2);
    d.hsCount = htole32(2);
    for (auto *speed : { &d.fs, &d.hs }) {
        speed->interface.bLength = USB_DT_INTERFACE_SIZE;
        speed->interface.bDescriptorType = USB_DT_INTERFACE;
        speed->interface.bNumEndpoints = 1;
        speed->interface.bInterfaceClass = USB_CLASS_PRINTER;
        speed->interface.bInterfaceSubClass = 1;
        speed->interface.bInterfaceProtocol = 1;
        speed->interface.iInterface = 1;
        speed->out.bLength = USB_DT_ENDPOINT_SIZE;
        speed->out.bDescriptorType = USB_DT_ENDPOINT;
        speed->out.bEndpointAddress = 1 | USB_DIR_OUT;
        speed->out.bmAttributes = USB_ENDPOINT_XFER_BULK;
    }
    d.fs.out.wMaxPacketSize = htole16(64);
    d.hs.out.wMaxPacketSize = htole16(512);
    return d;
}

struct Strings {
    usb_functionfs_strings_head header;
    struct {
        __le16 code;
        char text[sizeof "Printer"];
    } __attribute__((packed)) english;
} __attribute__((packed));

Strings MakeStrings()
{
    Strings s {};
    s.header.magic = htole32(FUNCTIONFS_STRINGS_MAGIC);
    s.header.length = htole32(sizeof s);
    s.header.str_count = htole32(1);
    s.header.lang_count = htole32(1);
    s.english.code = htole16(0x0409);
    std::memcpy(s.english.text, "Printer", sizeof "Printer");
    return s;
}

void BuildGadget()
{
    const std::string g = gGadget;
    const std::string function = g + "/functions/ffs." + gInstance;
    const std::string config = g + "/configs/c.1";
    const bool ok = ::mkdir(g.c_str(), 0755) == 0 && WriteFile(g + "/idVendor", "0x1d6b")
        && WriteFile(g + "/idProduct", "0x0105")
        && ::mkdir((g + "/strings/0x409").c_str(), 0755) == 0
        && WriteFile(g + "/strings/0x409/manufacturer", "ZELTAN")
        && WriteFile(g + "/strings/0x409/product", "halting printer")
        && WriteFile(g + "/strings/0x409/serialnumber", "HALT1")
        && ::mkdir(function.c_str(), 0755) == 0 && ::mkdir(config.c_str(), 0755) == 0
        && ::symlink(function.c_str(), (config + "/ffs.vornikhalt").c_str()) == 0;
    if (!ok)
        Die("cannot build the gadget");
}

void TearDown()
{
    const std::string g = gGadget;
    WriteFile(g + "/UDC", "\n");
    ::umount(gMount.c_str());
    ::unlink((g + "/configs/c.1/ffs.vornikhalt").c_str());
    ::rmdir((g + "/configs/c.1").c_str());
    ::rmdir((g + "/functions/ffs." + gInstance).c_str());
    ::rmdir((g + "/strings/0x409").c_str());
    ::rmdir(g.c_str());
}

// Control requests addressed to the interface reach us as events on ep0.
void ServeControl(int ep0, const std::string &deviceId)
{
    usb_functionfs_event events[4];
    while (!gQuit) {
        const ssize_t got = ::read(ep0, events, sizeof events);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        for (ssize_t i = 0; i < got / static_cast<ssize_t>(sizeof events[0]); ++i) {
            if (events[i].type != FUNCTIONFS_SETUP)
                continue;
            const usb_ctrlrequest &request = events[i].u.setup;
            const std::size_t wanted = le16toh(request.wLength);
            if (!(request.bRequestType & USB_DIR_IN)) {
                char sink[64];
                (void)!::read(ep0, sink, std::min(wanted, sizeof sink));
                continue;
            }
            std::string reply;
            if (request.bRequest == kGetDeviceId) {
                const std::size_t length = deviceId.size() + 2;
                reply.push_back(static_cast<char>(length >> 8));
                reply.push_back(static_cast<char>(length & 0xFF));
                reply += deviceId;
            } else if (request.bRequest == kGetPortStatus) {
                reply = "\x18"; // selected, no error, paper present
            }
            reply.resize(std::min(reply.size(), wanted));
            (void)!::write(ep0, reply.data(), reply.size());
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    std::string udc;
    unsigned long long haltAfter = 0;
    std::string deviceId = "MFG:KX;MDL:reflash;CMD:SREC;CLS:PRINTER;SN:HALT1;";
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        if (key == "--udc")
            udc = argv[i + 1];
        else if (key == "--halt-after")
            haltAfter = std::strtoull(argv[i + 1], nullptr, 10);
        else if (key == "--device-id")
            deviceId = argv[i + 1];
        else if (key == "--name") {
            gGadget += argv[i + 1];
            gInstance += argv[i + 1];
            gMount += argv[i + 1];
        }
    }
    if (udc.empty() || haltAfter == 0) {
        std::fprintf(stderr, "usage: vornik_halting_printer --udc UDC --halt-after BYTES\n");
        return 2;
    }

    TearDown(); // what a killed run may have left
    BuildGadget();
    ::mkdir(gMount.c_str(), 0755);
    if (::mount(gInstance.c_str(), gMount.c_str(), "functionfs", 0, nullptr) != 0)
        Die("cannot mount functionfs");
    const int ep0 = ::open((std::string(gMount) + "/ep0").c_str(), O_RDWR | O_CLOEXEC);
    if (ep0 < 0)
        Die("cannot open ep0");
    const Descriptors descriptors = MakeDescriptors();
    const Strings strings = MakeStrings();
    if (::write(ep0, &descriptors, sizeof descriptors) != sizeof descriptors
        || ::write(ep0, &strings, sizeof strings) != sizeof strings)
        Die("cannot write the descriptors");
    const int ep1 = ::open((std::string(gMount) + "/ep1").c_str(), O_RDWR | O_CLOEXEC);
    if (ep1 < 0)
        Die("cannot open ep1");
    if (!WriteFile(std::string(gGadget) + "/UDC", udc))
        Die("cannot bind to " + udc);
    Say("ready");

    std::thread control(ServeControl, ep0, deviceId);
    std::thread image([ep1, haltAfter] {
        static char buffer[8192];
        unsigned long long received = 0;
        while (!gQuit) {
            const ssize_t got = ::read(ep1, buffer, sizeof buffer);
            if (got < 0) {
                if (errno == EINTR || errno == ESHUTDOWN)
                    continue;
                return;
            }
            received += static_cast<unsigned long long>(got);
            if (received >= haltAfter) {
                // Writing to an OUT endpoint halts it: the host's next bulk transfer stalls.
                const ssize_t halted = ::write(ep1, buffer, 1);
                Say("halted " + std::to_string(received) + " "
                    + (halted < 0 && errno == EBADMSG ? "ok" : "failed"));
                return;
            }
        }
    });
    image.detach();

    // Until the test closes our standard input.
    char line[256];
    while (::read(STDIN_FILENO, line, sizeof line) > 0) { }
    gQuit = true;
    WriteFile(std::string(gGadget) + "/UDC", "\n");
    ::close(ep1);
    ::close(ep0);
    control.detach();
    TearDown();
    return 0;
}
