// Replays a fuzz target's seed corpus without libFuzzer: every file in the given folders is one input.
// A target reports a broken invariant by aborting, which fails the test. On Windows the inputs are replayed on
// a stack aligned as Windows aligns a thread's.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#if defined(_WIN32)
#include "support/MisalignedStack.h"
#endif

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

struct Arguments {
    int argc;
    char** argv;
};

int Replay(void* p) {
    const int argc = static_cast<Arguments*>(p)->argc;
    char** argv = static_cast<Arguments*>(p)->argv;
    std::size_t inputs = 0;
    for (int i = 1; i < argc; ++i) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[i])) {
            if (!entry.is_regular_file()) continue;
            std::ifstream in(entry.path(), std::ios::binary);
            std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
            ++inputs;
        }
    }
    std::printf("replayed %zu inputs\n", inputs);
    return inputs ? 0 : 1;  // an empty corpus is a broken setup, not a pass
}

}  // namespace

int main(int argc, char** argv) {
    Arguments arguments{argc, argv};
#if defined(_WIN32)
    return RunOnMisalignedStack(&Replay, &arguments);
#else
    return Replay(&arguments);
#endif
}
