// What the machine says, without privileges, about the print system that may have taken printers
// from the printer driver.
#pragma once

#include <QString>

#include <chrono>

// The name of the program that holds the printers another program took, where the machine says
// so: "ipp-usb" while systemd reports ipp-usb's service active (asked over the system bus).
// Empty when nothing says, when there is no system bus or systemd, or no answer within `bound`.
QString ProgramHoldingPrinters(std::chrono::milliseconds bound = std::chrono::milliseconds(1500));
