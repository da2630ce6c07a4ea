// Throughput of our CRC-32 and MD5 (apart and in one pass) beside md5sum and cksum over the same bytes, in one run.
// Not a test: prints MB/s. Usage: digest_bench [MiB] (default 256).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "disposal/Digest.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

template <typename F>
double BestOf(int runs, F f) {
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        f();
        best = std::min(best, Seconds(t0, std::chrono::steady_clock::now()));
    }
    return best;
}

double TimeCommand(const std::string& cmd) {
    return BestOf(3, [&] {
        if (std::system((cmd + " > /dev/null").c_str()) != 0) std::fprintf(stderr, "failed: %s\n", cmd.c_str());
    });
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 256;
    const std::size_t size = mib << 20;
    std::vector<unsigned char> data(size);
    std::mt19937_64 rng(42);
    for (std::size_t i = 0; i + 8 <= size; i += 8) {
        const std::uint64_t r = rng();
        for (int k = 0; k < 8; ++k) data[i + k] = static_cast<unsigned char>(r >> (8 * k));
    }
    const std::string path = "/tmp/veludisk-digest-bench.bin";
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data.data(), 1, size, f);
        std::fclose(f);
    } else {
        std::perror(path.c_str());
        return 2;
    }

    volatile std::uint32_t sink = 0;
    const double crc = BestOf(5, [&] { sink = sink + Crc32(0, data.data(), size); });
    const double md5 = BestOf(3, [&] { sink = sink + Md5(data.data(), size)[0]; });
    const double both = BestOf(3, [&] {
        Md5Digest digest{};
        sink = sink + Crc32AndMd5(data.data(), size, digest) + digest[0];
    });
    const double md5sum = TimeCommand("md5sum " + path);
    const double cksum = TimeCommand("cksum " + path);
    std::remove(path.c_str());

    const double mb = double(size) / 1e6;
    std::printf("data: %zu MiB in memory (ours) and in the page cache (the commands)\n", mib);
    std::printf("%-22s %10.0f MB/s\n", "Crc32", mb / crc);
    std::printf("%-22s %10.0f MB/s\n", "cksum (POSIX CRC)", mb / cksum);
    std::printf("%-22s %10.0f MB/s\n", "Md5", mb / md5);
    std::printf("%-22s %10.0f MB/s\n", "md5sum", mb / md5sum);
    std::printf("%-22s %10.0f MB/s\n", "Crc32AndMd5 (one pass)", mb / both);
    std::printf("ratios: Crc32/cksum %.2f, Md5/md5sum %.2f, one pass/(Crc32 then Md5) %.2f\n", cksum / crc,
                md5sum / md5, both / (crc + md5));
    return 0;
}
