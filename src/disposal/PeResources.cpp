#include "disposal/PeResources.h"

#include "disposal/PeImage.h"

namespace {
constexpr std::uint32_t kHighBit = 0x80000000u;
constexpr std::size_t kDirectoryHeader = 16;
constexpr std::size_t kDirectoryEntry = 8;
constexpr std::size_t kDataEntry = 16;
constexpr std::size_t kSectionHeader = 40;
constexpr std::size_t kMaxNameChars = 256;
}  // namespace

bool PeResourceReader::Open(const std::uint8_t* data, std::size_t length) {
    *this = PeResourceReader();
    std::uint32_t lfanew = 0;
    if (!DosHeaderOk(data, length, &lfanew) || !InBounds(length, lfanew, 24)) return false;
    if (!NtSignatureOk(data + lfanew, length - lfanew)) return false;
    const std::size_t fileHeader = std::size_t(lfanew) + 4;
    const std::size_t sections = ReadLe16(data + fileHeader + 2);
    const std::size_t optionalSize = ReadLe16(data + fileHeader + 16);
    const std::size_t optional = fileHeader + 20;
    if (!InBounds(length, optional, 2)) return false;
    const std::uint16_t magic = ReadLe16(data + optional);
    const std::size_t directories = optional + (magic == 0x20b ? 112 : magic == 0x10b ? 96 : 0);
    if (directories == optional) return false;
    const std::size_t resourceDirectory = directories + 2 * 8;
    if (resourceDirectory + 8 > optional + optionalSize || !InBounds(length, resourceDirectory, 8)) return false;
    const std::uint32_t rva = ReadLe32(data + resourceDirectory);
    const std::uint32_t size = ReadLe32(data + resourceDirectory + 4);
    m_data = data;
    m_length = length;
    m_sectionTable = optional + optionalSize;
    m_sectionCount = sections < kMaxPeSections ? sections : kMaxPeSections;
    if (!InBounds(length, m_sectionTable, m_sectionCount * kSectionHeader)) m_sectionCount = 0;
    if (rva == 0 || size < kDirectoryHeader || !RvaToOffset(rva, kDirectoryHeader, m_resourceOffset)) return false;
    // The directory may claim more than the file holds: keep what is there.
    m_resourceSize = size < m_length - m_resourceOffset ? size : m_length - m_resourceOffset;
    return true;
}

bool PeResourceReader::RvaToOffset(std::uint32_t rva, std::uint32_t size, std::size_t& offset) const {
    for (std::size_t i = 0; i < m_sectionCount; ++i) {
        const std::uint8_t* s = m_data + m_sectionTable + i * kSectionHeader;
        const std::uint32_t virtualSize = ReadLe32(s + 8), virtualAddress = ReadLe32(s + 12);
        const std::uint32_t rawSize = ReadLe32(s + 16), rawPointer = ReadLe32(s + 20);
        const std::uint32_t span = virtualSize > rawSize ? virtualSize : rawSize;
        if (rva < virtualAddress || std::uint64_t(rva) - virtualAddress >= span) continue;
        const std::uint64_t delta = std::uint64_t(rva) - virtualAddress;
        if (delta + size > rawSize) return false;  // not backed by file bytes
        const std::uint64_t at = std::uint64_t(rawPointer) + delta;
        if (at > m_length || !InBounds(m_length, std::size_t(at), size)) return false;
        offset = std::size_t(at);
        return true;
    }
    return false;
}

bool PeResourceReader::ReadName(std::uint32_t field, std::u16string& out) const {
    out.clear();
    if (!(field & kHighBit)) {
        const std::string digits = "#" + std::to_string(field & 0xFFFF);
        out.assign(digits.begin(), digits.end());
        return true;
    }
    const std::size_t at = field & ~kHighBit;
    if (!InBounds(m_resourceSize, at, 2)) return false;
    const std::size_t chars = ReadLe16(m_data + m_resourceOffset + at);
    if (chars > kMaxNameChars || !InBounds(m_resourceSize, at + 2, chars * 2)) return false;
    for (std::size_t i = 0; i < chars; ++i) out += char16_t(ReadLe16(m_data + m_resourceOffset + at + 2 + 2 * i));
    return true;
}

bool PeResourceReader::DirectoryBounds(std::size_t dir, std::size_t& first, std::size_t& count) const {
    if (!m_data || !InBounds(m_resourceSize, dir, kDirectoryHeader)) return false;
    const std::uint8_t* d = m_data + m_resourceOffset + dir;
    count = std::size_t(ReadLe16(d + 12)) + ReadLe16(d + 14);
    if (count > kMaxResourceEntriesPerDirectory) count = kMaxResourceEntriesPerDirectory;
    first = dir + kDirectoryHeader;
    if (!InBounds(m_resourceSize, first, count * kDirectoryEntry)) count = (m_resourceSize - first) / kDirectoryEntry;
    return true;
}

bool PeResourceReader::ReadDirectory(std::size_t dir, std::vector<PeDirectoryEntry>& out) const {
    out.clear();
    std::size_t first = 0, count = 0;
    if (!DirectoryBounds(dir, first, count)) return false;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* e = m_data + m_resourceOffset + first + i * kDirectoryEntry;
        out.push_back({ReadLe32(e), ReadLe32(e + 4)});
    }
    return true;
}

bool PeResourceReader::ReadData(std::size_t at, const std::uint8_t*& data, std::uint32_t& size) const {
    if (!m_data || !InBounds(m_resourceSize, at, kDataEntry)) return false;
    const std::uint8_t* de = m_data + m_resourceOffset + at;
    size = ReadLe32(de + 4);
    std::size_t offset = 0;
    if (!RvaToOffset(ReadLe32(de), size, offset)) return false;
    data = m_data + offset;
    return true;
}

void PeResourceReader::ForEach(const std::function<bool(const PeResourceEntry&)>& visit) const {
    if (!m_data) return;
    std::size_t budget = kMaxResourceEntriesVisited;
    auto entries = [this](std::size_t dir, std::size_t& first, std::size_t& count) {
        return DirectoryBounds(dir, first, count);
    };
    std::size_t typeFirst = 0, typeCount = 0;
    if (!entries(0, typeFirst, typeCount)) return;
    PeResourceEntry e;
    // Every entry visited at any level costs one from the budget, taken before it is looked at: an inner loop
    // that spends the last one ends the outer loops too.
    for (std::size_t t = 0; t < typeCount && budget > 0; ++t) {
        --budget;
        const std::uint8_t* te = m_data + m_resourceOffset + typeFirst + t * kDirectoryEntry;
        const std::uint32_t typeTarget = ReadLe32(te + 4);
        if (!(typeTarget & kHighBit) || !ReadName(ReadLe32(te), e.type)) continue;
        std::size_t nameFirst = 0, nameCount = 0;
        if (!entries(typeTarget & ~kHighBit, nameFirst, nameCount)) continue;
        for (std::size_t n = 0; n < nameCount && budget > 0; ++n) {
            --budget;
            const std::uint8_t* ne = m_data + m_resourceOffset + nameFirst + n * kDirectoryEntry;
            const std::uint32_t nameTarget = ReadLe32(ne + 4);
            if (!(nameTarget & kHighBit) || !ReadName(ReadLe32(ne), e.name)) continue;
            std::size_t langFirst = 0, langCount = 0;
            if (!entries(nameTarget & ~kHighBit, langFirst, langCount)) continue;
            for (std::size_t l = 0; l < langCount && budget > 0; ++l) {
                --budget;
                const std::uint8_t* le = m_data + m_resourceOffset + langFirst + l * kDirectoryEntry;
                const std::uint32_t dataTarget = ReadLe32(le + 4);
                // A third level that points to yet another directory is not a resource.
                if ((dataTarget & kHighBit) || !InBounds(m_resourceSize, dataTarget, kDataEntry)) continue;
                const std::uint8_t* de = m_data + m_resourceOffset + dataTarget;
                e.language = ReadLe32(le) & 0xFFFF;
                e.dataRva = ReadLe32(de);
                e.dataSize = ReadLe32(de + 4);
                e.dataInFile = RvaToOffset(e.dataRva, e.dataSize, e.dataOffset);
                if (!visit(e)) return;
            }
        }
    }
}

void PeResourceReader::ForEachName(
    const std::function<bool(const std::u16string& type, const std::u16string& name)>& visit) const {
    std::u16string lastType, lastName;
    bool any = false;
    ForEach([&](const PeResourceEntry& e) {
        if (any && e.type == lastType && e.name == lastName) return true;
        any = true;
        lastType = e.type;
        lastName = e.name;
        return visit(e.type, e.name);
    });
}

bool HasDocResourcePair(const std::uint8_t* data, std::size_t length) {
    PeResourceReader reader;
    if (!reader.Open(data, length)) return false;
    int count = 0;
    reader.ForEachName([&](const std::u16string& type, const std::u16string& name) {
        if (name == u"SIMPLE" && (type == u"DOC" || type == u"EXE")) ++count;
        return count < 2;
    });
    return count >= 2;
}
