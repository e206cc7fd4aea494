// A small SHA-256 so the simulated printers can prove which image bytes reached them without
// keeping tens of megabytes around. Fed incrementally; digest() may be taken at any time
// without disturbing further updates.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace vornik::sim {

class Sha256 {
public:
    Sha256();

    void update(const std::uint8_t *data, std::size_t size);
    std::array<std::uint8_t, 32> digest() const;
    // Lower-case hex of digest().
    std::string hexDigest() const;

    static std::string hexOf(const std::uint8_t *data, std::size_t size);

private:
    void compress(const std::uint8_t *block);

    std::array<std::uint32_t, 8> state_;
    std::array<std::uint8_t, 64> block_ {};
    std::size_t blockUsed_ = 0;
    std::uint64_t totalBytes_ = 0;
};

} // namespace vornik::sim
