// Throughput of the content detectors and the byte search under them, beside memchr and memmem over the same
// buffer, in one run. Not a test: prints MB/s. Usage: detector_bench [MiB per buffer] (default 3).
// Two kinds of content: random bytes (few candidate first bytes) and ASCII text (many), at the size the
// detectors' limits allow, so every detector scans the whole buffer without finding anything.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "cleaners/drive/ArchiveInfector.h"
#include "cleaners/drive/ContentDetectors.h"

namespace {

template <typename F>
double BestOf(int runs, F f) {
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        asm volatile("" ::: "memory");  // each run searches again: nothing is hoisted out of the loop
        f();
        asm volatile("" ::: "memory");
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    return best;
}

void Report(const char* what, std::size_t bytes, double seconds) {
    std::printf("  %-34s %9.0f MB/s\n", what, double(bytes) / 1e6 / seconds);
}

void Run(const char* kind, const std::vector<std::uint8_t>& data) {
    const std::size_t n = data.size();
    const std::uint8_t* p = data.data();
    volatile std::size_t sink = 0;
    std::printf("%s, %zu bytes:\n", kind, n);
    Report("memchr (one byte absent)", n, BestOf(20, [&] { sink = sink + (std::memchr(p, 0xFF, n) != nullptr); }));
    static const char kPattern[] = "Fonts\\HIDESE";
    Report("memmem (absent pattern)", n, BestOf(20, [&] {
               sink = sink + (memmem(p, n, kPattern, sizeof kPattern - 1) != nullptr);
           }));
    const auto* pattern = reinterpret_cast<const std::uint8_t*>(kPattern);
    Report("FindBytes", n, BestOf(20, [&] { sink = sink + FindBytes(p, pattern, sizeof kPattern - 1, n); }));
    Report("FindBytesNoCase", n, BestOf(20, [&] { sink = sink + FindBytesNoCase(p, pattern, sizeof kPattern - 1, n); }));
    Report("FindBytesReference (byte at a time)", n,
           BestOf(3, [&] { sink = sink + FindBytesReference(p, pattern, sizeof kPattern - 1, n, false); }));
    Report("IsDelphiInfector", n, BestOf(10, [&] { sink = sink + IsDelphiInfector(p, n); }));
    Report("IsVbsInfector (1 MiB limit)", std::min<std::size_t>(n, kVbsLimit),
           BestOf(10, [&] { sink = sink + IsVbsInfector(p, std::min<std::size_t>(n, kVbsLimit)); }));
    Report("IsScriptDropper", n, BestOf(10, [&] { sink = sink + IsScriptDropper(p, n); }));
    Report("HasRarMarker", n, BestOf(10, [&] { sink = sink + HasRarMarker(p, n); }));
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 3;
    const std::size_t size = std::min<std::size_t>(mib << 20, kDelphiLimit);
    std::mt19937_64 rng(7);
    std::vector<std::uint8_t> random(size), text(size);
    for (auto& b : random) b = static_cast<std::uint8_t>(rng() % 0xFF);  // never 0xFF: memchr scans it all
    static const char kWords[] = "the quick brown fox jumps over a lazy dog while Set oShell = CreateObject ";
    for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<std::uint8_t>(kWords[(i * 13 + i / 97) % (sizeof kWords - 1)]);
    Run("random bytes", random);
    Run("ASCII text", text);
    return 0;
}
