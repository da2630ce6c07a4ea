#include "disposal/PeImage.h"

namespace {
constexpr std::size_t kLfanewOffset = 60;
constexpr std::size_t kCharacteristicsOffset = 22;
constexpr std::uint16_t kDllCharacteristic = 0x2000;
constexpr std::size_t kDllMinLength = 312;
}  // namespace

bool DosHeaderOk(const std::uint8_t* header, std::size_t length, std::uint32_t* lfanew) {
    if (!header || !InBounds(length, kLfanewOffset, 4) || header[0] != 'M' || header[1] != 'Z') return false;
    if (lfanew) *lfanew = ReadLe32(header + kLfanewOffset);
    return true;
}

bool NtSignatureOk(const std::uint8_t* nt, std::size_t length) {
    return nt && length >= 4 && nt[0] == 'P' && nt[1] == 'E' && nt[2] == 0 && nt[3] == 0;
}

bool IsPeImage(const void* data, std::size_t length) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    std::uint32_t lfanew = 0;
    if (!p || length < kPeMinLength || !DosHeaderOk(p, length, &lfanew)) return false;
    if (lfanew == 0 || lfanew >= length) return false;
    // The signature must fit too: e_lfanew in the last three bytes would read past the buffer.
    if (!InBounds(length, lfanew, 4)) return false;
    return NtSignatureOk(p + lfanew, length - lfanew);
}

bool IsDllImage(const void* data, std::size_t length) {
    if (length <= kDllMinLength || !IsPeImage(data, length)) return false;
    const auto* p = static_cast<const std::uint8_t*>(data);
    const std::uint32_t lfanew = ReadLe32(p + kLfanewOffset);
    if (lfanew < 1 || std::uint64_t(lfanew) + kNtHeadersProbe >= length) return false;
    return (ReadLe16(p + lfanew + kCharacteristicsOffset) & kDllCharacteristic) != 0;
}
