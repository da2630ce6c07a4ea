#pragma once
// A bounds-checked reader of the resource tree of a PE image held in memory. Hostile images (truncated,
// self-referencing, absurdly large directories) end the walk early; they never read outside the buffer.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct PeResourceEntry {
    std::u16string type;  // a string name as written, a numeric id as "#<n>"
    std::u16string name;
    std::uint32_t language = 0;
    std::uint32_t dataRva = 0;
    std::uint32_t dataSize = 0;
    std::size_t dataOffset = 0;  // in the buffer; valid only when dataInFile
    bool dataInFile = false;
};

// Caps on the work one image may cause.
constexpr std::size_t kMaxResourceEntriesPerDirectory = 4096;
constexpr std::size_t kMaxResourceEntriesVisited = 65536;
constexpr std::size_t kMaxPeSections = 96;

// One entry of a resource directory as it stands: its name or id field, and what it points to (a
// subdirectory when the high bit is set, else a data entry), both relative to the resource directory's start.
struct PeDirectoryEntry {
    std::uint32_t nameField;
    std::uint32_t target;
    bool HasId(std::uint16_t id) const { return !(nameField & 0x80000000u) && nameField == id; }
    bool IsDirectory() const { return (target & 0x80000000u) != 0; }
    std::size_t Offset() const { return target & 0x7FFFFFFFu; }
};

class PeResourceReader {
public:
    // False when the buffer is not a PE image with a resource directory inside it.
    bool Open(const std::uint8_t* data, std::size_t length);
    // Visits every type/name/language leaf in directory order until the visitor returns false.
    void ForEach(const std::function<bool(const PeResourceEntry&)>& visit) const;
    // Visits each type/name pair once (the first language), as resource name enumeration does.
    void ForEachName(const std::function<bool(const std::u16string& type, const std::u16string& name)>& visit) const;
    // The entries of the directory at `dir` (0 is the root); false when the directory is not in the buffer.
    // At most kMaxResourceEntriesPerDirectory, and only those the buffer holds.
    bool ReadDirectory(std::size_t dir, std::vector<PeDirectoryEntry>& entries) const;
    // The data a data entry at `at` describes; false unless all of it lies in the buffer.
    bool ReadData(std::size_t at, const std::uint8_t*& data, std::uint32_t& size) const;
    // Offset of `size` bytes at `rva` inside the buffer.
    bool RvaToOffset(std::uint32_t rva, std::uint32_t size, std::size_t& offset) const;

private:
    bool ReadName(std::uint32_t nameField, std::u16string& out) const;
    bool DirectoryBounds(std::size_t dir, std::size_t& first, std::size_t& count) const;
    const std::uint8_t* m_data = nullptr;
    std::size_t m_length = 0;
    std::size_t m_sectionTable = 0;
    std::size_t m_sectionCount = 0;
    std::size_t m_resourceOffset = 0;  // the resource directory's start in the buffer
    std::size_t m_resourceSize = 0;
};

// True when the image carries both a "DOC"/"SIMPLE" and an "EXE"/"SIMPLE" resource (two such resources in all).
bool HasDocResourcePair(const std::uint8_t* data, std::size_t length);
