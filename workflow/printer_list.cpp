// The operator's list of supported printers, kept in step with what is plugged in.
#include "printer_link/printer_link.h"
#include "ui/form1.h"
#include "workflow/printer_info.h"

#include <QListWidget>

#include <exception>

namespace {

// The product name as the printer layer compares it: 16-bit units with a terminator. Reads the
// text without QString::utf16(), which turns a null text into an empty one in place; the build
// texts keep "not supplied" apart from "empty" for the identity check after the first listing.
std::u16string ToTableText(const QString &text)
{
    std::u16string units;
    units.reserve(static_cast<std::size_t>(text.size()));
    for (const QChar unit : text)
        units.push_back(unit.unicode());
    return units;
}

QString FailureText(const std::exception &error)
{
    return QString::fromUtf8(error.what());
}

} // namespace

void Form1::WndProc(quint32 message, quintptr wParam)
{
    if (message != WM_DEVICECHANGE || wParam != DBT_DEVNODES_CHANGED)
        return;
    // A notice that comes in while a listing pumps events is dropped, not deferred: the
    // listing under way already looks at the devices as they are now.
    if (gUSBPnPDetected != 0)
        return;
    gUSBPnPDetected = 1;
    App_USBEvent_Handler();
}

void Form1::App_USBEvent_Handler()
{
    try {
        if (g_BlockUsbEnumeration == 0)
            App_EnumerateSupportedPrintersInIdleMode();
    } catch (const std::exception &error) {
        App_ShowUIMessage_Handler(1, FailureText(error), 0, 0);
    }
    // Cleared on every path: a guard left set would silence every later notice.
    gUSBPnPDetected = 0;
}

void Form1::App_EnumerateSupportedPrintersInIdleMode()
{
    try {
        SupportedPrinterCheckedListBox->clear();
        if (Lib_EnumeratePrinterClassPnPDevices(&gUSBPrinterClassDeviceInfo) != 0) {
            App_ClearPrinterInfo(QStringLiteral("IDLE"));
            const std::u16string product = ToTableText(texts_.productName);
            USBPrinterClassDeviceInfo &idle = gFDUPrinterInfo.IdleModeInfo;
            const int found = Lib_GetSupportedPrinterDeviceInfo(
                product.c_str(), &idle, &gUSBPrinterClassDeviceInfo);
            if (found > 0) {
                RepaintsHeldBack held(SupportedPrinterCheckedListBox);
                SupportedPrinterCheckedListBox->clear();
                for (int i = 0; i < found; ++i) {
                    auto *entry = new QListWidgetItem(QString::fromUtf16(idle.ProductName[i])
                        + QStringLiteral("[SN#:") + QString::fromUtf16(idle.SerialNumber[i])
                        + QStringLiteral("]"));
                    // Unticked: the list gives every line it takes its tick box (ui/form1.cpp).
                    SupportedPrinterCheckedListBox->addItem(entry);
                }
            }
        }
        PumpEvents();
    } catch (const std::exception &error) {
        App_ShowUIMessage_Handler(1, FailureText(error), 0, 0);
    }
}

void Form1::App_EnumerateSupportedPrintersInFlashMode()
{
    try {
        if (Lib_EnumeratePrinterClassPnPDevices(&gUSBPrinterClassDeviceInfo) != 0) {
            App_ClearPrinterInfo(QStringLiteral("FLASH"));
            USBPrinterClassDeviceInfo &flash = gFDUPrinterInfo.FlashModeInfo;
            const USBPrinterClassDeviceInfo &idle = gFDUPrinterInfo.IdleModeInfo;
            const int found = Lib_GetSupportedPrinterDeviceInfo(
                vornik::contract::kDownloadModeProductName, &flash, &gUSBPrinterClassDeviceInfo);
            for (int k = 0; k < found; ++k) {
                const std::u16string_view serial(flash.SerialNumber[k]);
                flash.Selected[k] = 0;
                for (int j = 0; j < idle.DeviceCount && j < vornik::contract::kMaxPrinters; ++j) {
                    if (idle.Selected[j] != 0
                        && serial == std::u16string_view(idle.SerialNumber[j])) {
                        flash.Selected[k] = 1;
                        break;
                    }
                }
            }
        }
        PumpEvents();
    } catch (const std::exception &error) {
        App_ShowUIMessage_Handler(1, FailureText(error), 0, 0);
    }
}

void Form1::App_ClearPrinterInfo(const QString &param_PrinterMode)
{
    USBPrinterClassDeviceInfo &table = param_PrinterMode == QLatin1String("IDLE")
        ? gFDUPrinterInfo.IdleModeInfo
        : gFDUPrinterInfo.FlashModeInfo;
    table.DeviceCount = 0;
    for (int i = 0; i < vornik::contract::kMaxPrinters; ++i) {
        table.DevicePath[i][0] = u'\0';
        table.ProductName[i][0] = u'\0';
        table.SerialNumber[i][0] = u'\0';
    }
}

void UI_CopyManagedStringToWcharArray(const QString &param_ManagedStr, char16_t *param_WcharArray)
{
    const qsizetype units
        = std::min<qsizetype>(param_ManagedStr.size(), vornik::contract::kTextUnits - 1);
    const auto *source = reinterpret_cast<const char16_t *>(param_ManagedStr.constData());
    std::copy(source, source + units, param_WcharArray);
    param_WcharArray[units] = u'\0';
}
