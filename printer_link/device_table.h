// The device table that discovery fills and the workflow keeps two more of.
//
// Its layout is binding: the workflow's PrinterInfo embeds two tables back to back and reaches
// the fields by this layout, so the asserts below pin every offset.
#pragma once

#include "device_contract.h"

#include <cstddef>
#include <cstdint>

struct USBPrinterClassDeviceInfo {
    std::int32_t DeviceCount;
    std::int32_t Selected[vornik::contract::kMaxPrinters];
    char16_t ProductName[vornik::contract::kMaxPrinters][vornik::contract::kTextUnits];
    char16_t DevicePath[vornik::contract::kMaxPrinters][vornik::contract::kTextUnits];
    char16_t SerialNumber[vornik::contract::kMaxPrinters][vornik::contract::kTextUnits];
};

static_assert(sizeof(char16_t) == 2);
static_assert(offsetof(USBPrinterClassDeviceInfo, DeviceCount) == 0);
static_assert(offsetof(USBPrinterClassDeviceInfo, Selected) == 4);
static_assert(offsetof(USBPrinterClassDeviceInfo, ProductName) == 28);
static_assert(offsetof(USBPrinterClassDeviceInfo, DevicePath) == 28 + 6 * 256 * 2);
static_assert(offsetof(USBPrinterClassDeviceInfo, SerialNumber) == 28 + 2 * 6 * 256 * 2);
static_assert(sizeof(USBPrinterClassDeviceInfo) == 28 + 3 * 6 * 256 * 2);
