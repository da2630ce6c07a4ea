// Any bytes as an executable image: the resource walk stays inside the buffer, every resource it reports
// with file data lies inside it, and the work per image is bounded.
#include <cstdlib>

#include "disposal/PeResources.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    PeResourceReader reader;
    if (reader.Open(data, size)) {
        std::size_t visited = 0;
        reader.ForEach([&](const PeResourceEntry& e) {
            if (e.dataInFile && (e.dataOffset > size || e.dataSize > size - e.dataOffset)) std::abort();
            if (++visited > kMaxResourceEntriesVisited) std::abort();
            return true;
        });
    }
    HasDocResourcePair(data, size);
    return 0;
}
