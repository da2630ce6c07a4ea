#include "cleaners/drive/IconMatch.h"

#include "disposal/PeImage.h"
#include "disposal/PeResources.h"

namespace {
constexpr std::size_t kIndexHeader = 16;
constexpr std::size_t kIndexRecord = 32;
constexpr std::uint16_t kIconType = 3;
constexpr std::uint16_t kGroupIconType = 14;
constexpr std::size_t kGroupHeader = 6;
constexpr std::size_t kGroupEntry = 14;

// The data under a name entry whose language directory holds exactly one entry.
bool SingleLanguageData(const PeResourceReader& reader, const PeDirectoryEntry& name, const std::uint8_t*& data,
                        std::uint32_t& size) {
    std::vector<PeDirectoryEntry> languages;
    if (!name.IsDirectory() || !reader.ReadDirectory(name.Offset(), languages) || languages.size() != 1) return false;
    if (languages[0].IsDirectory()) return false;
    return reader.ReadData(languages[0].Offset(), data, size);
}
}  // namespace

bool IconTable::Load(const std::uint8_t* index, std::size_t indexLength, const std::uint8_t* images,
                     std::size_t imagesLength) {
    m_records.clear();
    if (!index || !images || indexLength < kIndexHeader) return false;
    const std::uint32_t count = ReadLe32(index);
    if (count > (indexLength - kIndexHeader) / kIndexRecord) return false;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint8_t* r = index + kIndexHeader + i * kIndexRecord;
        const std::uint32_t length = ReadLe32(r + 8), offset = ReadLe32(r + 12);
        if (length == 0 || offset > imagesLength || length > imagesLength - offset) {
            m_records.clear();
            return false;
        }
        m_records.push_back({ReadLe32(r), r[4], length, images + offset});
    }
    return true;
}

bool IconDataResembles(const std::uint8_t* data, const std::uint8_t* table, std::size_t length) {
    if (!data || !table || length == 0) return false;
    std::size_t close = 0;
    for (std::size_t j = 0; j < length; ++j) {
        const int t = table[j], d = data[j];
        close += (t - 30 <= d && d <= t + 30);
    }
    return close * 10 > length * 9;  // strictly more than 90%, in integers
}

bool IconResembles(const IconTable& table, const std::uint8_t* image, std::size_t size) {
    if (table.Records().empty()) return false;
    PeResourceReader reader;
    if (!reader.Open(image, size)) return false;
    std::vector<PeDirectoryEntry> root;
    if (!reader.ReadDirectory(0, root)) return false;
    const PeDirectoryEntry* groups = nullptr;
    const PeDirectoryEntry* icons = nullptr;
    for (const auto& e : root) {
        if (!groups && e.HasId(kGroupIconType)) groups = &e;
        if (!icons && e.HasId(kIconType)) icons = &e;
    }
    if (!groups || !icons || !groups->IsDirectory() || !icons->IsDirectory()) return false;

    // Only the first group icon: the one Explorer shows.
    std::vector<PeDirectoryEntry> groupNames;
    if (!reader.ReadDirectory(groups->Offset(), groupNames) || groupNames.empty()) return false;
    const std::uint8_t* group = nullptr;
    std::uint32_t groupSize = 0;
    if (!SingleLanguageData(reader, groupNames[0], group, groupSize) || groupSize < kGroupHeader) return false;
    if (ReadLe16(group + 2) != 1) return false;
    const std::size_t entries = ReadLe16(group + 4);
    if (entries > (groupSize - kGroupHeader) / kGroupEntry) return false;

    std::vector<PeDirectoryEntry> iconNames;
    if (!reader.ReadDirectory(icons->Offset(), iconNames)) return false;
    for (std::size_t i = 0; i < entries; ++i) {
        const std::uint8_t* entry = group + kGroupHeader + i * kGroupEntry;
        const std::uint8_t width = entry[0];
        if (entry[2] != 0) continue;  // palette icons are not what the worms carry
        const std::uint16_t id = ReadLe16(entry + 12);
        const std::uint8_t* icon = nullptr;
        std::uint32_t iconSize = 0;
        for (const auto& name : iconNames) {
            if (name.HasId(id)) {
                if (!SingleLanguageData(reader, name, icon, iconSize)) icon = nullptr;
                break;
            }
        }
        if (!icon) continue;
        for (const auto& record : table.Records())
            if (record.width == width && record.length == iconSize && IconDataResembles(icon, record.image, iconSize))
                return true;
    }
    return false;
}
