// Writes the placeholder firmware image of a build that was given no real one: a fixed size
// and deterministic content, so that every build and every test sees the same bytes.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s OUTPUT SIZE\n", argv[0]);
        return 2;
    }
    const unsigned long long size = std::strtoull(argv[2], nullptr, 10);
    std::FILE *out = std::fopen(argv[1], "wb");
    if (!out) {
        std::perror(argv[1]);
        return 1;
    }
    static const char header[] = "VORNIK PLACEHOLDER FIRMWARE IMAGE - NOT FOR PRINTERS\n";
    std::vector<unsigned char> block(1 << 20);
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    unsigned long long written = 0;
    while (written < size) {
        for (auto &byte : block) {
            // xorshift64*: cheap, deterministic, and no long runs a transfer could hide behind.
            state ^= state >> 12, state ^= state << 25, state ^= state >> 27;
            byte = static_cast<unsigned char>((state * 0x2545F4914F6CDD1Dull) >> 56);
        }
        if (written == 0)
            std::copy(header, header + sizeof(header) - 1, block.begin());
        const std::size_t n
            = static_cast<std::size_t>(std::min<unsigned long long>(block.size(), size - written));
        if (std::fwrite(block.data(), 1, n, out) != n) {
            std::perror(argv[1]);
            return 1;
        }
        written += n;
    }
    return std::fclose(out) == 0 ? 0 : 1;
}
