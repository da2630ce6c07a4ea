#include "cleaners/drive/FileContent.h"

#include <winioctl.h>

#include <algorithm>
#include <cwctype>

namespace {
constexpr std::size_t kBootSectorSize = 512;

bool ReadAt(HANDLE handle, std::uint64_t offset, void* buffer, DWORD length) {
    LARGE_INTEGER at;
    at.QuadPart = LONGLONG(offset);
    if (!::SetFilePointerEx(handle, at, nullptr, FILE_BEGIN)) return false;
    DWORD read = 0;
    return ::ReadFile(handle, buffer, length, &read, nullptr) && read == length;
}
}  // namespace

bool SystemVolumeLayout::FileSystemName(const wchar_t* root, std::wstring& name) {
    wchar_t fileSystem[MAX_PATH + 1] = {};
    if (!::GetVolumeInformationW(root, nullptr, 0, nullptr, nullptr, nullptr, fileSystem, MAX_PATH + 1)) return false;
    name = fileSystem;
    return true;
}

bool SystemVolumeLayout::ClusterExtents(HANDLE file, std::size_t bufferBytes, std::uint64_t& startingVcn,
                                 std::vector<ClusterExtent>& extents) {
    extents.clear();
    STARTING_VCN_INPUT_BUFFER input{};
    input.StartingVcn.QuadPart = 0;
    std::vector<std::uint8_t> output(std::max<std::size_t>(bufferBytes, sizeof(RETRIEVAL_POINTERS_BUFFER)));
    DWORD returned = 0;
    if (!::DeviceIoControl(file, FSCTL_GET_RETRIEVAL_POINTERS, &input, sizeof input, output.data(),
                           DWORD(output.size()), &returned, nullptr))
        return false;
    const auto* pointers = reinterpret_cast<const RETRIEVAL_POINTERS_BUFFER*>(output.data());
    // The count comes from the file system; only what fits in what it returned is read.
    const std::size_t header = offsetof(RETRIEVAL_POINTERS_BUFFER, Extents);
    const std::size_t fits = returned > header ? (returned - header) / sizeof(pointers->Extents[0]) : 0;
    const std::size_t count = std::min<std::size_t>(pointers->ExtentCount, fits);
    startingVcn = std::uint64_t(pointers->StartingVcn.QuadPart);
    for (std::size_t i = 0; i < count; ++i)
        extents.push_back({std::uint64_t(pointers->Extents[i].NextVcn.QuadPart),
                           std::uint64_t(pointers->Extents[i].Lcn.QuadPart)});
    return true;
}

ContentMode ReadFileContent::Open(const wchar_t* path, FileContentHandle& content) {
    content = FileContentHandle();
    if (!path) return content.mode;
    content.handle.Reset(::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (content.handle) {
        LARGE_INTEGER size;
        if (!::GetFileSizeEx(content.handle.Get(), &size) || size.QuadPart > LONGLONG(0xFFFFFFFFu)) {
            content = FileContentHandle();
            return content.mode;
        }
        content.size = std::uint32_t(size.QuadPart);
        content.mode = ContentMode::Normal;
        return content.mode;
    }
    if (!OpenRaw(path, content)) content = FileContentHandle();
    return content.mode;
}

bool ReadFileContent::OpenRaw(const wchar_t* path, FileContentHandle& content) {
    // Only a path on a lettered drive has a volume device to read.
    if (!std::iswalpha(path[0]) || path[1] != L':' || (path[2] != L'\\' && path[2] != L'/')) return false;
    const wchar_t root[] = {path[0], L':', L'\\', 0};
    const wchar_t drive[] = {path[0], L':', 0};
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
    if (!::GetDiskFreeSpaceW(drive, &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters)) return false;
    const std::uint64_t clusterSize = std::uint64_t(sectorsPerCluster) * bytesPerSector;
    if (clusterSize == 0 || clusterSize > 0x10000000) return false;
    std::wstring fileSystem;
    if (!m_layout.FileSystemName(root, fileSystem)) return false;
    const VolumeFormat format = VolumeFormatOf(fileSystem);
    if (format == VolumeFormat::Unknown) return false;

    const wchar_t device[] = {L'\\', L'\\', L'.', L'\\', path[0], L':', 0};
    FileHandle volume(::CreateFileW(device, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    0, nullptr));
    if (!volume) return false;
    std::uint64_t offset = 0;
    if (format != VolumeFormat::Ntfs) {
        std::uint8_t boot[kBootSectorSize];
        if (!ReadAt(volume.Get(), 0, boot, sizeof boot) || !FatDataOffset(boot, sizeof boot, bytesPerSector, offset))
            return false;
    }

    FileHandle file(::CreateFileW(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return false;
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(file.Get(), &size) || !ContentSizeReadable(std::uint64_t(size.QuadPart))) return false;
    const std::size_t bufferBytes = std::max<std::size_t>(std::size_t(size.QuadPart / clusterSize) * 16 + 32, 32);
    std::uint64_t startingVcn = 0;
    std::vector<ClusterExtent> extents;
    if (!m_layout.ClusterExtents(file.Get(), bufferBytes, startingVcn, extents)) return false;
    if (!ExpandExtents(startingVcn, extents, std::uint64_t(size.QuadPart), std::uint32_t(clusterSize),
                       content.clusters))
        return false;
    content.handle = std::move(volume);
    content.size = std::uint32_t(size.QuadPart);
    content.clusterSize = std::uint32_t(clusterSize);
    content.clusterOffset = offset;
    content.mode = ContentMode::RawVolume;
    return true;
}

bool ReadFileContent::Read(FileContentHandle& content, std::uint8_t* buffer) {
    if (!buffer || !content.handle) return false;
    if (content.mode == ContentMode::Normal) {
        DWORD read = 0;
        return ::ReadFile(content.handle.Get(), buffer, content.size, &read, nullptr) && read == content.size;
    }
    if (content.mode != ContentMode::RawVolume) return false;
    std::vector<std::uint8_t> cluster(content.clusterSize);
    std::uint32_t done = 0;
    for (std::uint64_t lcn : content.clusters) {
        if (done >= content.size) break;
        if (lcn > (~std::uint64_t(0) - content.clusterOffset) / content.clusterSize) return false;
        if (!ReadAt(content.handle.Get(), lcn * content.clusterSize + content.clusterOffset, cluster.data(),
                    content.clusterSize))
            return false;
        const std::uint32_t take = std::min<std::uint32_t>(content.clusterSize, content.size - done);
        std::copy(cluster.begin(), cluster.begin() + take, buffer + done);
        done += take;
    }
    return done == content.size;
}
