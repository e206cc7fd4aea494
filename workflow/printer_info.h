// The workflow's working record: the supported printers found in normal mode, the printers
// found again in download mode during a run, and the update state of each row of the run.
#pragma once

#include "printer_link/device_table.h"

#include <cstdint>

struct PrinterInfo {
    USBPrinterClassDeviceInfo IdleModeInfo;
    USBPrinterClassDeviceInfo FlashModeInfo;
    std::int32_t UpdateState[vornik::contract::kMaxPrinters];
};

static_assert(offsetof(PrinterInfo, FlashModeInfo) == sizeof(USBPrinterClassDeviceInfo));
static_assert(offsetof(PrinterInfo, UpdateState) == 2 * sizeof(USBPrinterClassDeviceInfo));

extern PrinterInfo gFDUPrinterInfo;

// Update states of a row of the run.
enum UpdateStateValue : std::int32_t {
    kStateIdleMode = 1,
    kStateSettingFlashMode = 2,
    kStateFlashMode = 3,
    kStateSendingFirmware = 4,
    kStateStoring = 5,
    kStateCompleted = 6,
    kStateFailed = 7,
};
