// Any bytes as an executable compared with a small icon table: the walk over resource directories, group-icon
// data and icon entries stays inside the buffer and ends. The table's records have the widths and lengths the
// seeds use, so the comparison itself runs too.
#include <cstdint>
#include <vector>

#include "cleaners/drive/IconMatch.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::vector<std::uint8_t> images(2216 + 64, 0x41);
    static const IconTable table = [] {
        std::vector<std::uint8_t> index(16 + 2 * 32, 0);
        index[0] = 2;
        const std::uint8_t records[2][12] = {{1, 0, 0, 0, 32, 64, 0, 0, 0xA8, 0x08, 0, 0},
                                             {2, 0, 0, 0, 4, 8, 0, 0, 64, 0, 0, 0}};
        for (int r = 0; r < 2; ++r)
            for (int i = 0; i < 12; ++i) index[16 + 32 * r + i] = records[r][i];
        index[16 + 32 + 12] = 0xA8;  // second image after the first
        index[16 + 32 + 13] = 0x08;
        IconTable t;
        t.Load(index.data(), index.size(), images.data(), images.size());
        return t;
    }();
    IconResembles(table, data, size);
    return 0;
}
