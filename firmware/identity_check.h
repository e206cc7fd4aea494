// Does the embedded firmware file fit the product this build serves? Checked once at start-up,
// on the two build texts only: the image bytes are never looked at.
#pragma once

#include <cstdint>

// Result codes.
inline constexpr std::int32_t kFhxNameMissing = 0;
inline constexpr std::int32_t kFhxOk = 1;
inline constexpr std::int32_t kFhxMismatch = 2;
inline constexpr std::int32_t kFhxUnsigned = 3;
inline constexpr std::int32_t kFhxInvalidExtension = 4;
inline constexpr std::int32_t kFhxUnsupportedProduct = 5;

// Checks `fileName` against `productName` (either may be null) and, on 1, writes the build text
// (build number, plus the branch suffix for the one product with branches) into `out`, cut to
// `outUnits` - 1 units. `out` is left alone on every other result.
std::int32_t Lib_FlashFileValidityCheck(
    const char16_t *productName, const char16_t *fileName, char16_t *out, std::int32_t outUnits);

// The size of the output buffer that start-up passes; the build refuses texts that need more.
inline constexpr std::int32_t kBuildTextUnits = 50;
