#pragma once
// Four bytes that, appended to data whose CRC-32 is `current`, make the CRC-32 of the whole `target`:
// fixtures with the CRC of a listed worm without carrying the worm.
#include <array>
#include <cstdint>

inline std::array<std::uint8_t, 4> ForgeCrc32Suffix(std::uint32_t current, std::uint32_t target) {
    std::uint32_t table[256];
    std::uint8_t indexOfTopByte[256];
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        table[i] = c;
        indexOfTopByte[c >> 24] = std::uint8_t(i);  // the top bytes of the table are all distinct
    }
    // Run the register back four steps from the wanted final value; what is left, against the register
    // before the suffix, is the suffix.
    std::uint32_t reg = ~target;
    for (int step = 0; step < 4; ++step) {
        const std::uint8_t idx = indexOfTopByte[reg >> 24];
        reg = ((reg ^ table[idx]) << 8) | idx;
    }
    const std::uint32_t suffix = reg ^ ~current;
    return {std::uint8_t(suffix), std::uint8_t(suffix >> 8), std::uint8_t(suffix >> 16), std::uint8_t(suffix >> 24)};
}
