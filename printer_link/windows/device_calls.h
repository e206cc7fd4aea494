// The system calls through which the Windows backend finds, opens and gives up on printers. They
// go through a table so that tests can play what a printer's driver and SetupAPI answer (a
// printer waking from selective suspend, one that has left, a driver that lets a cancelled read
// run on) on a machine that has no USB printer; the product uses the real calls.
#pragma once

#include "printer_link/platform.h"
#include "printer_link/windows/usbprint_class.h"

#include <memory>

// "A device which does not exist was specified": in the Windows SDK's winerror.h, not in
// MinGW-w64's.
#ifndef ERROR_NO_SUCH_DEVICE
#define ERROR_NO_SUCH_DEVICE 433L
#endif

namespace vornik::win {

struct DeviceCalls {
    decltype(&::CreateFileW) createFile = ::CreateFileW;
    decltype(&::SetupDiGetClassDevsW) getClassDevs = ::SetupDiGetClassDevsW;
    decltype(&::SetupDiEnumDeviceInterfaces) enumInterfaces = ::SetupDiEnumDeviceInterfaces;
    decltype(&::SetupDiGetDeviceInterfaceDetailW) interfaceDetail
        = ::SetupDiGetDeviceInterfaceDetailW;
    decltype(&::SetupDiDestroyDeviceInfoList) destroyInfoList = ::SetupDiDestroyDeviceInfoList;
    decltype(&::CancelIoEx) cancelIo = ::CancelIoEx;
};

// A Windows device platform over `calls`; InstallDefaultPlatform installs one over the real
// calls. The clock is always the system's.
std::unique_ptr<DevicePlatform> MakeDevicePlatform(DeviceCalls calls = {});

} // namespace vornik::win
