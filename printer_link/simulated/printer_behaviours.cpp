#include "printer_behaviours.h"

namespace vornik::sim {

namespace {

// Later than any wait of the update for a printer to come back in download mode.
constexpr int kTooLateMs = 120000;

std::int64_t Share(std::uint64_t imageBytes, int percent)
{
    return static_cast<std::int64_t>(imageBytes) * percent / 100;
}

} // namespace

PrinterConfig WithBehaviour(
    PrinterConfig config, PrinterBehaviour behaviour, std::uint64_t imageBytes, int percent)
{
    switch (behaviour) {
    case PrinterBehaviour::Well:
        break;
    case PrinterBehaviour::NeverLeavesBus:
        config.leaveBusAfterMs = -1;
        break;
    case PrinterBehaviour::ComesBackWithAnotherSerial:
        config.downloadSerial = config.serial + "-B";
        break;
    case PrinterBehaviour::ComesBackTooLate:
        config.reappearAfterMs = kTooLateMs;
        break;
    case PrinterBehaviour::FailsTransferAt:
        config.failWriteAfterBytes = Share(imageBytes, percent);
        break;
    case PrinterBehaviour::NeverFinishesStoring:
        config.storeTimeMs = -1;
        break;
    case PrinterBehaviour::UnpluggedAt:
        config.detachAfterBytes = Share(imageBytes, percent);
        break;
    }
    return config;
}

} // namespace vornik::sim
