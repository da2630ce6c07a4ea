// The fast pattern searches against the byte-at-a-time rule on any content, and every detector on any bytes.
#include <cstdlib>

#include "cleaners/drive/ContentDetectors.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    // The first byte chooses how much of the rest is the pattern.
    const std::size_t patternLength = 1 + data[0] % 8;
    if (size < 1 + patternLength) return 0;
    const std::uint8_t* pattern = data + 1;
    const std::uint8_t* content = data + 1 + patternLength;
    const std::size_t contentLength = size - 1 - patternLength;
    if (FindBytes(content, pattern, patternLength, contentLength) !=
        FindBytesReference(content, pattern, patternLength, contentLength, false))
        std::abort();
    if (FindBytesNoCase(content, pattern, patternLength, contentLength) !=
        FindBytesReference(content, pattern, patternLength, contentLength, true))
        std::abort();
    IsDelphiInfector(data, size);
    IsVbsInfector(data, size);
    IsScriptDropper(data, size);
    return 0;
}
