// The per-file check's decisions on the portable core over a folder of files, as the drive walk feeds it: each
// file of 1,025 bytes to 5 MiB - 1 read once, CRC-32 and MD5 from that buffer in one pass, the blacklists, the
// executable tests, the content detectors and the folder-icon comparison. Not a test: prints MB/s, files/s and peak
// memory. Usage: filecheck_bench FOLDER [ICON_INDEX ICON_IMAGES]   (bench/scan_bench.sh runs it)
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "cleaners/drive/ArchiveInfector.h"
#include "cleaners/drive/ContentDetectors.h"
#include "cleaners/drive/FileCheckRules.h"
#include "cleaners/drive/IconMatch.h"
#include "disposal/CrcBlacklist.h"
#include "disposal/Digest.h"
#include "disposal/PeImage.h"
#include "disposal/PeResources.h"

namespace {
std::vector<std::uint8_t> ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}
}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: filecheck_bench FOLDER [ICON_INDEX ICON_IMAGES]\n");
        return 2;
    }
    IconTable icons;
    std::vector<std::uint8_t> index, images;
    if (argc >= 4) {
        index = ReadAll(argv[2]);
        images = ReadAll(argv[3]);
        icons.Load(index.data(), index.size(), images.data(), images.size());
    }
    CrcBlacklist crcs;
    const char list[] = "08ffd97d\n";
    crcs.LoadFromText(list, sizeof list - 1);

    std::size_t files = 0, examined = 0, found = 0;
    std::uint64_t bytes = 0;
    const auto start = std::chrono::steady_clock::now();
    // One buffer for the run, grown as the checker grows it (never zero-filled or copied).
    std::unique_ptr<std::uint8_t[]> buffer;
    std::size_t capacity = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[1])) {
        if (!entry.is_regular_file()) continue;
        ++files;
        const std::uint64_t size = entry.file_size();
        if (!ContentSizeReadable(size)) continue;
        if (size > capacity) {
            capacity = GrownReadCapacity(capacity, size);
            buffer.reset(new std::uint8_t[capacity]);
        }
        const int fd = ::open(entry.path().c_str(), O_RDONLY);
        if (fd < 0) continue;
        const ssize_t got = ::read(fd, buffer.get(), size);
        ::close(fd);
        if (got != ssize_t(size)) continue;
        ++examined;
        bytes += size;
        const std::uint8_t* data = buffer.get();
        Md5Digest digest{};
        const std::uint32_t crc = Crc32AndMd5(data, size, digest);
        const std::wstring md5 = DigestHexWide(digest);
        bool threat = crcs.ContainsCrc(crc) || IsBlacklistedMd5(md5.c_str());
        if (!threat && IsPeImage(data, size)) {
            threat = IsDelphiInfector(data, size) ||
                     (!IsDllImage(data, size) && ((HasRarMarker(data, size) && IsScriptDropper(data, size)) ||
                                                  HasDocResourcePair(data, size) || IconResembles(icons, data, size)));
        } else if (!threat) {
            threat = IsVbsInfector(data, size) || IsScriptDropper(data, size);
        }
        found += threat;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("native per-file check: %zu files, %zu examined, %zu threats, %.1f MB in %.3f s: %.0f MB/s, %.0f files/s, "
                "peak memory %.1f MiB\n",
                files, examined, found, bytes / 1e6, seconds, bytes / 1e6 / seconds, examined / seconds,
                usage.ru_maxrss / 1024.0);
    return 0;
}
