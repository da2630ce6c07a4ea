#pragma once
// A bounds-checked reader of the resource tree of a PE image held in memory. Hostile images (truncated,
// self-referencing, absurdly large directories) end the walk early; they never read outside the buffer.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

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

class PeResourceReader {
public:
    // False when the buffer is not a PE image with a resource directory inside it.
    bool Open(const std::uint8_t* data, std::size_t length);
    // Visits every type/name/language leaf in directory order until the visitor returns false.
    void ForEach(const std::function<bool(const PeResourceEntry&)>& visit) const;
    // Visits each type/name pair once (the first language), as resource name enumeration does.
    void ForEachName(const std::function<bool(const std::u16string& type, const std::u16string& name)>& visit) const;
    // Offset of `size` bytes at `rva` inside the buffer.
    bool RvaToOffset(std::uint32_t rva, std::uint32_t size, std::size_t& offset) const;

private:
    bool ReadName(std::uint32_t nameField, std::u16string& out) const;
    const std::uint8_t* m_data = nullptr;
    std::size_t m_length = 0;
    std::size_t m_sectionTable = 0;
    std::size_t m_sectionCount = 0;
    std::size_t m_resourceOffset = 0;  // the resource directory's start in the buffer
    std::size_t m_resourceSize = 0;
};

// True when the image carries both a "DOC"/"SIMPLE" and an "EXE"/"SIMPLE" resource (two such resources in all).
bool HasDocResourcePair(const std::uint8_t* data, std::size_t length);
