#pragma once
// Reading a whole file for the per-file check, including a file a running program holds open without sharing:
// then its clusters are read straight from the volume.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "cleaners/drive/ArchiveInfector.h"
#include "util/WinHandle.h"

enum class ContentMode { NotReadable = 0, Normal = 1, RawVolume = 2 };

struct FileContentHandle {
    FileHandle handle;  // the file (normal) or its volume (raw)
    std::uint32_t size = 0;
    std::uint32_t clusterSize = 0;
    std::vector<std::uint64_t> clusters;  // logical cluster of each of the file's clusters, in file order
    std::uint64_t clusterOffset = 0;      // byte offset of logical cluster 0 on the volume
    ContentMode mode = ContentMode::NotReadable;
};

// What the file system says about a volume's layout. Tests stand in for it where Wine cannot answer (it names
// every drive "NTFS" and has no retrieval pointers).
class VolumeLayoutSource {
public:
    virtual ~VolumeLayoutSource() = default;
    // The file system's name for the volume of `root` ("X:\").
    virtual bool FileSystemName(const wchar_t* root, std::wstring& name) = 0;
    // The extents of `file` from virtual cluster 0, asked with an output buffer of `bufferBytes`.
    virtual bool ClusterExtents(HANDLE file, std::size_t bufferBytes, std::uint64_t& startingVcn,
                                std::vector<ClusterExtent>& extents) = 0;
};

// GetVolumeInformation and FSCTL_GET_RETRIEVAL_POINTERS.
class SystemVolumeLayout : public VolumeLayoutSource {
public:
    bool FileSystemName(const wchar_t* root, std::wstring& name) override;
    bool ClusterExtents(HANDLE file, std::size_t bufferBytes, std::uint64_t& startingVcn,
                        std::vector<ClusterExtent>& extents) override;
};

class ReadFileContent {
public:
    explicit ReadFileContent(VolumeLayoutSource& layout) : m_layout(layout) {}
    // Fills `content` and returns its mode; the raw fallback applies only to readable sizes on FAT, FAT32 and
    // NTFS volumes.
    ContentMode Open(const wchar_t* path, FileContentHandle& content);
    // `buffer` holds content.size bytes; true when all of them were read.
    bool Read(FileContentHandle& content, std::uint8_t* buffer);

private:
    bool OpenRaw(const wchar_t* path, FileContentHandle& content);
    VolumeLayoutSource& m_layout;
};
