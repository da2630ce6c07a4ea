// A stored deletion list is read from the registry, where anything may have written it: decoding never
// reads outside the value, and an intact list survives adding to it and writing it back.
#include <cstdlib>

#include "engine/BootDeleteList.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    BootDeleteList list;
    if (DecodeBootList(data, size, list) != BootListRead::Ok) return 0;
    for (const auto& e : list.entries)
        if (BootEntryPath(e).size() > BOOT_ENTRY_PATH_BYTES / 2) std::abort();
    const std::size_t before = list.entries.size();
    const BootListAdd added = AddBootDelete(list, u"C:\\fuzz.exe");
    if (added == BootListAdd::Added && list.entries.size() != before + 1) std::abort();
    const auto bytes = EncodeBootList(list);
    BootDeleteList again;
    if (DecodeBootList(bytes.data(), bytes.size(), again) != BootListRead::Ok) std::abort();
    if (again.entries != list.entries) std::abort();
    return 0;
}
