// What a simulated printer does during an update, as one list: the bench offers it, the
// rehearsal plays it, and the fault tests run it, so all three mean the same printer by the same
// name.
#pragma once

#include "printer_link/simulated/simulated_printers.h"

#include <cstdint>

namespace vornik::sim {

enum class PrinterBehaviour {
    Well,
    NeverLeavesBus,
    ComesBackWithAnotherSerial,
    // Returns in download mode only after the update has stopped looking for it.
    ComesBackTooLate,
    // Refuses the image from `percent` of it on.
    FailsTransferAt,
    NeverFinishesStoring,
    // Is unplugged once `percent` of the image has arrived.
    UnpluggedAt,
};

// `config` made to behave so, for an image of `imageBytes`.
PrinterConfig WithBehaviour(
    PrinterConfig config, PrinterBehaviour behaviour, std::uint64_t imageBytes, int percent = 0);

} // namespace vornik::sim
