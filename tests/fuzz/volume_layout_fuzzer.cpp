// Boot sectors and retrieval pointers come from a stick that may be hostile: the arithmetic never overflows
// into a wrong list, and an accepted extent list never holds more clusters than the file.
#include <cstdlib>
#include <vector>

#include "cleaners/drive/ArchiveInfector.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::uint64_t offset = 0;
    FatDataOffset(data, size, 512, offset);
    if (size < 12) return 0;
    std::uint64_t fileSize = 0;
    for (int i = 0; i < 4; ++i) fileSize |= std::uint64_t(data[i]) << (8 * i);
    const std::uint32_t clusterSize = 1u << (data[4] % 17);
    std::vector<ClusterExtent> extents;
    for (std::size_t at = 5; at + 4 <= size && extents.size() < 64; at += 4)
        extents.push_back({std::uint64_t(data[at] | data[at + 1] << 8), std::uint64_t(data[at + 2] | data[at + 3] << 8)});
    std::vector<std::uint64_t> clusters;
    if (ExpandExtents(data[5] % 3, extents, fileSize, clusterSize, clusters) &&
        clusters.size() > (fileSize + clusterSize - 1) / clusterSize)
        std::abort();
    return 0;
}
