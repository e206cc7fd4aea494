// The simulated printers as a program's default platform. Kept in a file of its own so that a
// program linking both an OS backend and the simulation gets the OS backend's default.
#include "simulated_printers.h"
#include "virtual_clock.h"

namespace vornik::sim {

ScaledRealClock &DefaultSimulatedClock()
{
    static ScaledRealClock clock(1);
    return clock;
}

SimulatedPrinters &DefaultSimulatedPrinters()
{
    static SimulatedPrinters printers(DefaultSimulatedClock());
    return printers;
}

} // namespace vornik::sim

namespace vornik {

void InstallDefaultPlatform()
{
    if (CurrentPlatform().devices)
        return;
    InstallPlatform(&sim::DefaultSimulatedPrinters(), &sim::DefaultSimulatedClock());
}

} // namespace vornik
