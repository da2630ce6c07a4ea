#pragma once
// Recognising executables that wear a folder or document icon: the first group icon of the image is compared
// with a table of such icons. Everything is read from the bytes the walk already holds, bounds-checked, so a
// malformed executable is simply no match.
#include <cstddef>
#include <cstdint>
#include <vector>

struct IconRecord {
    std::uint32_t number;
    std::uint8_t width;
    std::uint32_t length;
    const std::uint8_t* image;  // `length` bytes inside the images the table was loaded from
};

class IconTable {
public:
    // The index (16-byte header with the record count, then 32-byte records) and the images it points into.
    // False, and an empty table, when the index is malformed or a record points outside the images.
    bool Load(const std::uint8_t* index, std::size_t indexLength, const std::uint8_t* images,
              std::size_t imagesLength);
    const std::vector<IconRecord>& Records() const { return m_records; }
    void Clear() { m_records.clear(); }

private:
    std::vector<IconRecord> m_records;
};

// Icon data D resembles a table image T of the same length when more than 90% of the bytes lie within 30 of
// T's byte.
bool IconDataResembles(const std::uint8_t* data, const std::uint8_t* tableImage, std::size_t length);

// The executable's first group icon has a full-colour entry (colour count 0) whose icon resource resembles a
// table record of the same width and length.
bool IconResembles(const IconTable& table, const std::uint8_t* image, std::size_t size);
