// The window's side of the firmware transfer: messages in the operator's language.
#include "firmware/transfer.h"
#include "ui/form1.h"

#include <stdexcept>

int Form1::App_CopyFirmwareRCDATAResourceToPrinter(const char16_t *param_pUsbPathStrW)
{
    static vornik::MemoryFirmwareImage noImage(nullptr, 0);
    vornik::FirmwareImageSource &image = image_ ? *image_ : noImage;

    vornik::TransferMessages messages;
    messages.imageFault = [this](const char *key) {
        QString text;
        try {
            text = StrRes(key);
        } catch (const std::exception &error) {
            text = QString::fromUtf8(error.what());
        }
        if (!text.isEmpty())
            App_ShowUIMessage_Handler(1, text, 0, 0);
    };
    messages.failure = [this](const std::string &text) {
        App_ShowUIMessage_Handler(1, QString::fromStdString(text), 0, 0);
    };
    messages.progress = [this](std::uint64_t accepted, std::uint64_t total) {
        App_ReportTransferProgress(accepted, total);
    };
    return vornik::CopyFirmwareImageToPrinter(image, param_pUsbPathStrW, messages);
}
