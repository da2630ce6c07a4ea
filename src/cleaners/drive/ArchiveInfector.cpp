#include "cleaners/drive/ArchiveInfector.h"

#include <cstdio>
#include <string>

#include "cleaners/drive/ContentDetectors.h"
#include "disposal/PeImage.h"
#include "util/AsciiCase.h"

namespace {
constexpr std::size_t kRarMarkerLimit = 3145728;

__attribute__((noinline)) std::string RarMarker() {
    std::string s("Rar");
    s += "!";
    return s;
}
}  // namespace

bool HasRarMarker(const std::uint8_t* content, std::size_t length) {
    if (!content || length > kRarMarkerLimit) return false;
    const std::string marker = RarMarker();
    return FindBytes(content, reinterpret_cast<const std::uint8_t*>(marker.data()), marker.size(), length) != kNoMatch;
}

std::wstring DocumentNameFor(const std::wstring& fileName) { return fileName.substr(0, fileName.find(L'.')) + L".doc"; }

std::wstring UniqueName(const std::wstring& fileName, std::uint32_t tick, const std::wstring& extension) {
    wchar_t digits[16];
    std::swprintf(digits, 16, L"%3d", static_cast<int>(tick));
    return fileName.substr(0, fileName.find(L'.')) + digits + extension;
}

VolumeFormat VolumeFormatOf(const std::wstring& name) {
    if (AsciiEqualsNoCase(name, std::wstring(L"NTFS"))) return VolumeFormat::Ntfs;
    if (AsciiEqualsNoCase(name, std::wstring(L"fat32"))) return VolumeFormat::Fat32;
    if (AsciiEqualsNoCase(name, std::wstring(L"fat"))) return VolumeFormat::Fat;
    return VolumeFormat::Unknown;
}

bool FatDataOffset(const std::uint8_t* boot, std::size_t length, std::uint32_t bytesPerSector, std::uint64_t& offset) {
    if (!boot || length < 512 || bytesPerSector == 0) return false;
    const std::uint32_t sectorSize = ReadLe16(boot + 11);
    const std::uint64_t reserved = ReadLe16(boot + 14);
    const std::uint64_t fats = boot[16];
    const std::uint64_t rootEntries = ReadLe16(boot + 17);
    std::uint64_t perFat = ReadLe16(boot + 22);
    if (perFat == 0) perFat = ReadLe32(boot + 36);
    if (sectorSize == 0) return false;
    const std::uint64_t rootSectors = (rootEntries * 32 + sectorSize - 1) / sectorSize;
    offset = std::uint64_t(bytesPerSector) * (reserved + fats * perFat + rootSectors);
    return true;
}

bool ExpandExtents(std::uint64_t startingVcn, const std::vector<ClusterExtent>& extents, std::uint64_t fileSize,
                   std::uint32_t clusterSize, std::vector<std::uint64_t>& clusters) {
    clusters.clear();
    if (clusterSize == 0) return false;
    const std::uint64_t needed = (fileSize + clusterSize - 1) / clusterSize;
    std::uint64_t vcn = startingVcn;
    for (const auto& e : extents) {
        if (e.nextVcn <= vcn || e.nextVcn - vcn > needed - clusters.size()) return false;
        for (std::uint64_t i = 0; i < e.nextVcn - vcn; ++i) clusters.push_back(e.lcn + i);
        vcn = e.nextVcn;
    }
    return true;
}

namespace {
bool ContainsNoCase(const std::wstring& text, const wchar_t* part) {
    return AsciiFindNoCase(text, std::wstring(part)) != std::wstring::npos;
}

bool IsDeviceName(const std::wstring& name) {
    // Windows ignores the extension and trailing spaces when it resolves a device name.
    std::wstring stem = name.substr(0, name.find(L'.'));
    while (!stem.empty() && stem.back() == L' ') stem.pop_back();
    static const wchar_t* const kDevices[] = {L"con", L"prn", L"aux", L"nul", L"clock$", L"conin$", L"conout$"};
    for (const wchar_t* device : kDevices)
        if (AsciiEqualsNoCase(stem, std::wstring(device))) return true;
    if (stem.size() == 4 && stem[3] >= L'1' && stem[3] <= L'9') {
        const std::wstring prefix = stem.substr(0, 3);
        return AsciiEqualsNoCase(prefix, std::wstring(L"com")) || AsciiEqualsNoCase(prefix, std::wstring(L"lpt"));
    }
    return false;
}
}  // namespace

bool IsDocumentEntry(const std::wstring& name) {
    return ContainsNoCase(name, L".jpg") || ContainsNoCase(name, L".doc") || ContainsNoCase(name, L".txt") ||
           IsNestedArchiveEntry(name);
}

bool IsNestedArchiveEntry(const std::wstring& name) { return ContainsNoCase(name, L".com"); }

bool SafeEntryFileName(const std::wstring& name, std::wstring& bare) {
    bare.clear();
    if (name.empty() || name[0] == L'\\' || name[0] == L'/') return false;
    std::size_t start = 0;
    std::wstring component;
    for (std::size_t i = 0; i <= name.size(); ++i) {
        if (i < name.size() && name[i] != L'\\' && name[i] != L'/') continue;
        component = name.substr(start, i - start);
        if (component == L"..") return false;
        start = i + 1;
    }
    // The last component is the file name; a name ending in a separator has none.
    // Windows drops trailing dots and spaces, so "..." or ". " would name the folder itself.
    if (component.find_last_not_of(L". ") == std::wstring::npos) return false;
    for (wchar_t c : name)
        if (c < 0x20 || c == L':' || c == L'*' || c == L'?' || c == L'"' || c == L'<' || c == L'>' || c == L'|')
            return false;
    if (IsDeviceName(component)) return false;
    bare = component;
    return true;
}
