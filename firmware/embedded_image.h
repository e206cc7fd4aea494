// The firmware image carried inside this program.
#pragma once

#include "firmware/firmware_image.h"

namespace vornik {

// The image the build embedded, read from the program's own mapped memory.
FirmwareImageSource &EmbeddedFirmwareImage();

} // namespace vornik
