// Finding the printers: the printer-class interfaces the platform lists, the IEEE 1284 device ID
// of each, and the product name and serial number derived from it. Also the one selected device
// path that every later operation opens, and the probe that tells whether it still opens.
//
// All machine access goes through vornik::CurrentPlatform(); nothing here knows which operating
// system (or simulation) is underneath.

#include "device_access.h"
#include "printer_link.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <string>
#include <string_view>

using namespace vornik::contract;

USBPrinterClassDeviceInfo gUSBPrinterClassDeviceInfo;
char16_t gUSBDeviceFilePath[kTextUnits];
std::uint8_t gDeviceID[kDeviceIdBytes];
char16_t gDeviceIDWide[kDeviceIdBytes];

namespace {

// The field texts of the identity fill. Process-wide like the other buffers of the layer.
char16_t gManufacturerField[kFieldUnits];
char16_t gModelField[kFieldUnits];
char16_t gSerialField[kFieldUnits];
char16_t gProductNameField[kFieldUnits];

// A platform whose detail look-up keeps failing must not hold the enumeration forever, and a
// member that never gives its path is left out rather than listed without one.
constexpr int kDetailRetries = 3;

// Length of a zero-terminated text that may not be longer than `capacity` units; `capacity`
// when no terminator is found there.
std::size_t BoundedLength(const char16_t *text, std::size_t capacity)
{
    std::size_t n = 0;
    while (n < capacity && text[n] != 0)
        ++n;
    return n;
}

// Copies `source` (up to `sourceUnits`) into a field of `capacity` units, cut to capacity - 1,
// and zeroes the rest of the field so no tail of an earlier, longer text survives.
void CopyText(
    char16_t *field, std::size_t capacity, const char16_t *source, std::size_t sourceUnits)
{
    const std::size_t n = std::min(sourceUnits, capacity - 1);
    std::memmove(field, source, n * sizeof(char16_t));
    std::fill(field + n, field + capacity, u'\0');
}

void CopyText(char16_t *field, std::size_t capacity, std::u16string_view source)
{
    CopyText(field, capacity, source.data(), source.size());
}

} // namespace

namespace vornik::detail {

void ShowException(const std::exception &error)
{
    ShowPrinterLayerError(Widen(error.what()));
}

std::u16string SelectedPath()
{
    return std::u16string(gUSBDeviceFilePath, BoundedLength(gUSBDeviceFilePath, kTextUnits));
}

OpenDevice::OpenDevice()
{
    devices_ = CurrentPlatform().devices;
    const std::u16string path = SelectedPath();
    // An empty selection names no printer; the platform is not even asked.
    if (devices_ && !path.empty())
        handle_ = devices_->open(path, OpenMode::ReadWriteShared);
}

OpenDevice::~OpenDevice()
{
    close();
}

void OpenDevice::close()
{
    if (handle_ != kInvalidDeviceHandle)
        devices_->close(handle_);
    handle_ = kInvalidDeviceHandle;
}

} // namespace vornik::detail

using vornik::detail::OpenDevice;

std::int32_t QueryDeviceID()
{
    OpenDevice device;
    if (!device.isOpen())
        return 0;

    // The driver's answer goes into a zeroed buffer first: a short answer that lacks its zero
    // byte is then still terminated, and a refused or implausible answer leaves the last good
    // device ID in place.
    std::uint8_t answer[kDeviceIdBytes] = {};
    if (!device.platform().queryDeviceId(device.handle(), answer, sizeof answer))
        return 0;

    // An ID is read whole or not at all. One that fills the whole buffer without a zero byte
    // has been cut by the driver or the printer, and a control byte inside the fields (a zero
    // among them) means its text is not what the printer meant: either would hand out a field
    // (a serial number, the status) that is not whole. Padding after the last field is no
    // part of the ID.
    if (answer[sizeof answer - 1] != 0)
        return 0;
    std::size_t length = sizeof answer;
    while (length > 0 && IsDeviceIdPadding(answer[length - 1]))
        --length;
    if (length == 0)
        return 0;
    const std::string_view text(reinterpret_cast<const char *>(answer), length);
    if (std::any_of(text.begin(), text.end(),
            [](char byte) { return IsDeviceIdControlByte(static_cast<unsigned char>(byte)); }))
        return 0;
    if (text.find(kRequiredDeviceIdText) == std::string_view::npos)
        return 0;

    std::memcpy(gDeviceID, answer, length);
    std::fill(gDeviceID + length, gDeviceID + kDeviceIdBytes, std::uint8_t(0));
    std::size_t i = 0;
    for (; i < text.size(); ++i)
        gDeviceIDWide[i] = static_cast<unsigned char>(text[i]);
    std::fill(gDeviceIDWide + i, gDeviceIDWide + kDeviceIdBytes, u'\0');
    return 1;
}

std::int32_t GetDeviceIDField(const char16_t *key, char16_t out[kFieldUnits])
{
    if (!out)
        return 0;
    std::fill(out, out + kFieldUnits, u'\0');
    if (!key || key[0] == 0)
        return 0;

    const std::u16string_view id(gDeviceIDWide, BoundedLength(gDeviceIDWide, kDeviceIdBytes));
    if (id.empty())
        return 0;
    // Deliberately a plain substring search: the first occurrence counts, even inside another
    // field's value or at the tail of a longer field name.
    const std::u16string_view keyText(key, BoundedLength(key, kDeviceIdBytes + 1));
    const std::size_t at = id.find(keyText);
    if (at == std::u16string_view::npos)
        return 0;
    const std::size_t valueStart = at + keyText.size();
    if (valueStart >= id.size())
        return 0;

    std::u16string_view value = id.substr(valueStart);
    value = value.substr(0, value.find(u';'));
    CopyText(out, kFieldUnits, value);
    return 1;
}

void ResetDeviceTable(USBPrinterClassDeviceInfo *table)
{
    if (table)
        std::memset(table, 0, sizeof *table);
}

void FillDeviceIdentities(USBPrinterClassDeviceInfo *table)
{
    if (!table)
        return;
    try {
        const int count = std::clamp<std::int32_t>(table->DeviceCount, 0, kMaxPrinters);
        for (int i = 0; i < count; ++i) {
            // An empty path would leave the previous printer selected and give this entry that
            // printer's identity.
            const bool reachable = table->DevicePath[i][0] != 0;
            if (reachable)
                Lib_SetUSBDeviceFilePath(1, table->DevicePath[i]);
            if (!reachable || !QueryDeviceID()) {
                CopyText(table->ProductName[i], kTextUnits, kUnknownIdentity);
                CopyText(table->SerialNumber[i], kTextUnits, kUnknownIdentity);
                continue;
            }
            // A missing MFG or MDL field leaves its part of the name empty.
            GetDeviceIDField(kManufacturerKey, gManufacturerField);
            GetDeviceIDField(kModelKey, gModelField);

            std::u16string name(gManufacturerField, BoundedLength(gManufacturerField, kFieldUnits));
            name += u' ';
            name.append(gModelField, BoundedLength(gModelField, kFieldUnits));
            CopyText(gProductNameField, kFieldUnits, name);

            GetDeviceIDField(kSerialKey, gSerialField);

            CopyText(table->ProductName[i], kTextUnits, gProductNameField,
                BoundedLength(gProductNameField, kFieldUnits));
            CopyText(table->SerialNumber[i], kTextUnits, gSerialField,
                BoundedLength(gSerialField, kFieldUnits));
        }
    } catch (const std::exception &error) {
        vornik::detail::ShowException(error);
    }
}

std::int32_t Lib_EnumeratePrinterClassPnPDevices(USBPrinterClassDeviceInfo *table)
{
    if (!table)
        return 0;
    vornik::DevicePlatform *devices = nullptr;
    bool setOpen = false;
    try {
        ResetDeviceTable(table);
        devices = vornik::CurrentPlatform().devices;
        if (!devices || !devices->beginEnumeration())
            return 0;
        setOpen = true;

        // The member index runs on past members that are left out; the table index does not,
        // so the table stays dense.
        int k = 0;
        int failures = 0;
        std::u16string path;
        for (int member = 0; k < kMaxPrinters;) {
            path.clear();
            const vornik::InterfaceLookup lookup = devices->interfacePath(member, path);
            if (lookup == vornik::InterfaceLookup::NoMoreMembers)
                break;
            if (lookup == vornik::InterfaceLookup::DetailUnavailable) {
                if (++failures <= kDetailRetries)
                    continue;
                failures = 0;
                ++member;
                continue;
            }
            failures = 0;
            ++member;
            // A path that does not fit is left out whole: a cut path could open another device
            // or nothing, and would be taken for the real one. An empty path would not move the
            // selection, so the identity of the previous printer would be read for this entry.
            if (path.empty() || path.size() >= kTextUnits
                || path.find(u'\0') != std::u16string::npos)
                continue;
            CopyText(table->DevicePath[k], kTextUnits, path);
            ++k;
        }
        table->DeviceCount = k;

        FillDeviceIdentities(table);

        setOpen = false;
        devices->endEnumeration();
        return k;
    } catch (const std::exception &error) {
        if (setOpen) {
            try {
                devices->endEnumeration();
            } catch (const std::exception &) {
                // The first failure is the one worth showing.
            }
        }
        // Half a table is no table: the result says no printer, and the table agrees.
        ResetDeviceTable(table);
        vornik::detail::ShowException(error);
        return 0;
    }
}

std::int32_t Lib_GetSupportedPrinterDeviceInfo(const char16_t *productName,
    USBPrinterClassDeviceInfo *destination, const USBPrinterClassDeviceInfo *source)
{
    if (!destination)
        return 0;
    std::int32_t n = 0;
    if (productName && source) {
        const std::u16string_view wanted(
            productName, std::char_traits<char16_t>::length(productName));
        const int count = std::clamp<std::int32_t>(source->DeviceCount, 0, kMaxPrinters);
        for (int i = 0; i < count; ++i) {
            const std::u16string_view name(
                source->ProductName[i], BoundedLength(source->ProductName[i], kTextUnits));
            if (name != wanted)
                continue;
            // memmove inside CopyText: source and destination may be the same table.
            CopyText(destination->ProductName[n], kTextUnits, name);
            CopyText(destination->DevicePath[n], kTextUnits, source->DevicePath[i],
                BoundedLength(source->DevicePath[i], kTextUnits));
            CopyText(destination->SerialNumber[n], kTextUnits, source->SerialNumber[i],
                BoundedLength(source->SerialNumber[i], kTextUnits));
            ++n;
        }
    }
    destination->DeviceCount = n;
    return n;
}

void Lib_SetUSBDeviceFilePath(std::int32_t mode, const char16_t *path)
{
    if (mode == 0) {
        std::fill(std::begin(gUSBDeviceFilePath), std::end(gUSBDeviceFilePath), u'\0');
        return;
    }
    if (mode != 1 || !path || path[0] == 0)
        return;
    const std::size_t n = BoundedLength(path, kTextUnits);
    if (n == kTextUnits) {
        // Too long to hold. Keeping the old selection would send the next command to another
        // printer, and a cut path is not the device asked for: select nothing instead.
        std::fill(std::begin(gUSBDeviceFilePath), std::end(gUSBDeviceFilePath), u'\0');
        return;
    }
    CopyText(gUSBDeviceFilePath, kTextUnits, path, n);
}

std::int32_t Lib_IsConnectionValid()
{
    try {
        // The backend decides what "still there" means for its driver: a printer that another
        // program holds open has not left the bus, though it does not open for us right now.
        vornik::DevicePlatform *devices = vornik::CurrentPlatform().devices;
        const std::u16string path = vornik::detail::SelectedPath();
        if (!devices || path.empty())
            return 0;
        return devices->isPresent(path) ? 1 : 0;
    } catch (const std::exception &error) {
        vornik::detail::ShowException(error);
        return 0;
    }
}

void ResetPrinterLinkState()
{
    std::memset(&gUSBPrinterClassDeviceInfo, 0, sizeof gUSBPrinterClassDeviceInfo);
    std::memset(gUSBDeviceFilePath, 0, sizeof gUSBDeviceFilePath);
    std::memset(gDeviceID, 0, sizeof gDeviceID);
    std::memset(gDeviceIDWide, 0, sizeof gDeviceIDWide);
    std::memset(gManufacturerField, 0, sizeof gManufacturerField);
    std::memset(gModelField, 0, sizeof gModelField);
    std::memset(gSerialField, 0, sizeof gSerialField);
    std::memset(gProductNameField, 0, sizeof gProductNameField);
    vornik::detail::ResetCommandChannelState();
}
