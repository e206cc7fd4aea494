// The printer layer's function set: discovery, path selection, the connection probe and the
// command channel. Plain functions over process-wide buffers; callers serialise every call.
//
// Results follow one convention: 1 success, 0 failure, counts, -1 for "no status". Ordinary
// failures are results, never messages; a standard exception raised inside is shown in the
// "FDU App" error box (platform.h) and turned into the failure value.
#pragma once

#include "device_contract.h"
#include "device_table.h"

#include <cstdint>

// Process-wide state of discovery.
extern USBPrinterClassDeviceInfo gUSBPrinterClassDeviceInfo;
extern char16_t gUSBDeviceFilePath[vornik::contract::kTextUnits];
extern std::uint8_t gDeviceID[vornik::contract::kDeviceIdBytes];
extern char16_t gDeviceIDWide[vornik::contract::kDeviceIdBytes];

// Process-wide buffers of the command channel.
extern std::uint8_t gCommandFrame[vornik::contract::kCommandFrameBytes];
extern std::uint8_t gReplyBuffer[vornik::contract::kReplyBufferBytes];
extern char16_t gPrinterStatusText[vornik::contract::kTextUnits];

// Discovery.
std::int32_t Lib_EnumeratePrinterClassPnPDevices(USBPrinterClassDeviceInfo *table);
std::int32_t Lib_GetSupportedPrinterDeviceInfo(const char16_t *productName,
                                               USBPrinterClassDeviceInfo *destination,
                                               const USBPrinterClassDeviceInfo *source);
void Lib_SetUSBDeviceFilePath(std::int32_t mode, const char16_t *path);
std::int32_t Lib_IsConnectionValid();

std::int32_t QueryDeviceID();
std::int32_t GetDeviceIDField(const char16_t *key, char16_t out[vornik::contract::kFieldUnits]);
void ResetDeviceTable(USBPrinterClassDeviceInfo *table);
void FillDeviceIdentities(USBPrinterClassDeviceInfo *table);

// Command channel.
std::int32_t Lib_SendFlashCommand();
std::int32_t GetPrinterStatus();
std::int32_t SendCommandIfReady(const char *command);
std::int32_t SendFramedCommand(const char *command);
std::int32_t ReadPrinterReply();
std::int32_t GetFirmwareRevision(char16_t out[vornik::contract::kTextUnits]);

// The name of a status code from the printer's status table; empty for gaps and unknown codes.
const char16_t *PrinterStatusName(std::int32_t code);

// Puts every process-wide buffer of the layer back to its state at program start. For tests
// that run many scenarios in one process.
void ResetPrinterLinkState();
