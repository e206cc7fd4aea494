// The USB printer class as SetupAPI and usbprint.sys know it: the interface class, the flags
// of the class query and the device-ID request. Written out here, with the values pinned, so
// that neither a header's include-order rules nor a typo can aim the query at another class.
#pragma once

// ntddpar.h uses CTL_CODE without including winioctl.h, which defines it; the order below is
// what makes this file stand on its own, so no include sorter may change it.
// clang-format off
#include <windows.h>
#include <winioctl.h>
#include <ntddpar.h>
// clang-format on
#include <setupapi.h>

namespace vornik::win {

// GUID_DEVINTERFACE_USBPRINT, {28d78fad-5a12-11d1-ae5b-0000f803a8c2}.
inline constexpr GUID kUsbPrintInterfaceClass
    = { 0x28d78fad, 0x5a12, 0x11d1, { 0xae, 0x5b, 0x00, 0x00, 0xf8, 0x03, 0xa8, 0xc2 } };

// Only interfaces whose device is attached now.
inline constexpr DWORD kPresentInterfaces = DIGCF_PRESENT | DIGCF_DEVICEINTERFACE;

static_assert(kPresentInterfaces == 0x12);
static_assert(IOCTL_PAR_QUERY_DEVICE_ID == 0x0016000C);
static_assert(kUsbPrintInterfaceClass.Data1 == 0x28d78fad && kUsbPrintInterfaceClass.Data2 == 0x5a12
    && kUsbPrintInterfaceClass.Data3 == 0x11d1 && kUsbPrintInterfaceClass.Data4[0] == 0xae
    && kUsbPrintInterfaceClass.Data4[7] == 0xc2);
static_assert(sizeof(wchar_t) == sizeof(char16_t), "paths pass between the two unchanged");

} // namespace vornik::win
