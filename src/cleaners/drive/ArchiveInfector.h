#pragma once
// The portable half of the archive and document infector repair: the marker test, restore names, and the
// arithmetic of reading a locked file's clusters straight from its FAT or NTFS volume.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// At most 3 MiB of content that contains the RAR archive marker.
bool HasRarMarker(const std::uint8_t* content, std::size_t length);

// "report.doc.exe" and "report.exe" both give "report.doc": the name cut at its first "." plus ".doc".
std::wstring DocumentNameFor(const std::wstring& fileName);
// The name with everything from its first "." replaced by the tick count ("%3d") and the extension.
std::wstring UniqueName(const std::wstring& fileName, std::uint32_t tick, const std::wstring& extension);

enum class VolumeFormat { Unknown, Fat, Fat32, Ntfs };
VolumeFormat VolumeFormatOf(const std::wstring& fileSystemName);

// Byte offset of cluster 0 of a FAT volume's data area, from its 512-byte boot sector; false for a boot sector
// whose numbers cannot describe a volume.
bool FatDataOffset(const std::uint8_t* bootSector, std::size_t length, std::uint32_t bytesPerSector,
                   std::uint64_t& offset);

// One extent of a file's retrieval pointers: the virtual cluster that follows it, and where it starts on the
// volume.
struct ClusterExtent {
    std::uint64_t nextVcn;
    std::uint64_t lcn;
};

// The logical cluster of each virtual cluster of a file, from its extents; false for extents that do not
// advance or that describe more clusters than the file has.
bool ExpandExtents(std::uint64_t startingVcn, const std::vector<ClusterExtent>& extents, std::uint64_t fileSize,
                   std::uint32_t clusterSize, std::vector<std::uint64_t>& clusters);

// Read sizes: files of 1024 bytes or less and of 5 MiB or more are never read.
constexpr std::uint64_t kContentMinExclusive = 1024;
constexpr std::uint64_t kContentMaxExclusive = 5u << 20;
inline bool ContentSizeReadable(std::uint64_t size) { return size > kContentMinExclusive && size < kContentMaxExclusive; }
// The size the per-file check's read buffer grows to when `needed` does not fit in `capacity`: at least
// twofold, up to the largest readable size, so that a walk meeting ever larger files does not pay for fresh
// pages at each one.
inline std::size_t GrownReadCapacity(std::size_t capacity, std::size_t needed) {
    const std::size_t doubled = capacity * 2 > needed ? capacity * 2 : needed;
    return doubled < std::size_t(kContentMaxExclusive - 1) ? doubled : std::size_t(kContentMaxExclusive - 1);
}

// Archive entries worth extracting: the name contains ".jpg", ".doc", ".txt" or ".com" (a nested archive)
// anywhere, ignoring case.
bool IsDocumentEntry(const std::wstring& entryName);
bool IsNestedArchiveEntry(const std::wstring& entryName);

// The archive's entry names come from whoever made it. The bare file name an entry may be written under, or
// false for a name that is empty, absolute, carries a drive or a stream, has a ".." component, a character no
// Windows file name may hold, or names a device ("con", "nul.doc", "COM1.txt").
bool SafeEntryFileName(const std::wstring& entryName, std::wstring& bareName);
