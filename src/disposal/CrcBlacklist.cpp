#include "disposal/CrcBlacklist.h"

#include <algorithm>

namespace {
int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
}  // namespace

std::uint32_t ParseCrcGroup(const char* group, std::size_t length) {
    std::size_t i = 0;
    while (i < length && group[i] && IsBlank(group[i])) ++i;
    bool negative = false;
    if (i < length && (group[i] == '+' || group[i] == '-')) negative = group[i++] == '-';
    if (i + 1 < length && group[i] == '0' && (group[i + 1] == 'x' || group[i + 1] == 'X') &&
        i + 2 < length && HexValue(group[i + 2]) >= 0)
        i += 2;
    std::uint32_t value = 0;
    for (; i < length && HexValue(group[i]) >= 0; ++i) value = (value << 4) | std::uint32_t(HexValue(group[i]));
    return negative ? 0u - value : value;
}

VResult CrcBlacklist::LoadFromText(const char* text, std::size_t size) {
    if (!text || size == 0) return kResultFail;
    VResult result = kResultOk;
    for (std::size_t off = 0; off < size; off += kCrcGroupChars) {
        const std::size_t n = std::min(kCrcGroupChars, size - off);
        const std::uint32_t value = ParseCrcGroup(text + off, n);
        if (value == 0) {
            result = kResultFail;
            break;
        }
        m_crcList.push_back(value);
    }
    Sort();
    return result;
}

bool CrcBlacklist::ContainsCrc(std::uint32_t crc) const {
    return std::binary_search(m_crcList.begin(), m_crcList.end(), crc);
}

void CrcBlacklist::LearnCrc(std::uint32_t crc) {
    if (ContainsCrc(crc)) return;
    m_crcList.insert(std::upper_bound(m_crcList.begin(), m_crcList.end(), crc), crc);
}

void CrcBlacklist::Release() {
    m_crcList.clear();
    m_crcList.shrink_to_fit();
}

// Duplicates in the text are dropped here rather than searched for on every append.
void CrcBlacklist::Sort() {
    std::sort(m_crcList.begin(), m_crcList.end());
    m_crcList.erase(std::unique(m_crcList.begin(), m_crcList.end()), m_crcList.end());
}
