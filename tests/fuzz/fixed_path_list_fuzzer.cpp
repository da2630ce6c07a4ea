// Any text as the known-malware path resource: decoding ends, and every entry it gives has the allowed length.
#include <cstdlib>

#include "cleaners/drive/FileCheckRules.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    for (const auto& entry : DecodeFixedPathList(reinterpret_cast<const char*>(data), size))
        if (entry.size() < 3 || entry.size() > 259 || entry.find('\r') != std::string::npos) std::abort();
    return 0;
}
