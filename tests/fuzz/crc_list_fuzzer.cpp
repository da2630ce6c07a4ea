// The blacklist text comes from our own resource, but the parser must hold on any bytes: the list it leaves
// is sorted, unique, free of zeros, and finds every value it holds.
#include <algorithm>
#include <cstdlib>

#include "disposal/CrcBlacklist.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CrcBlacklist list;
    list.LoadFromText(reinterpret_cast<const char*>(data), size);
    const auto& v = list.Values();
    if (!std::is_sorted(v.begin(), v.end()) || std::adjacent_find(v.begin(), v.end()) != v.end()) std::abort();
    if (std::find(v.begin(), v.end(), 0u) != v.end()) std::abort();
    for (std::uint32_t crc : v)
        if (!list.ContainsCrc(crc)) std::abort();
    if (size >= 4) {
        const std::uint32_t learned = std::uint32_t(data[0]) | std::uint32_t(data[1]) << 8 |
                                      std::uint32_t(data[2]) << 16 | std::uint32_t(data[3]) << 24;
        list.LearnCrc(learned);
        if (!list.ContainsCrc(learned) || !std::is_sorted(v.begin(), v.end())) std::abort();
    }
    return 0;
}
