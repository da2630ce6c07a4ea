#include "cleaners/system/DerivedNames.h"

#include <cstdio>

#include "disposal/Digest.h"

namespace {
std::string Md5Text(const std::string& text) { return DigestHex(Md5(text.data(), text.size())); }

std::uint32_t Sum(const std::uint16_t* w, int first, int last) {
    std::uint32_t sum = 0;
    for (int k = first; k <= last; ++k) sum += w[k];
    return sum;
}
}  // namespace

std::string DriveIdStringOf(const std::uint16_t* w) {
    const std::uint32_t high = (std::uint32_t(w[1]) + w[3] + w[6] + w[21]) << 16;
    const std::uint32_t number = high + Sum(w, 10, 19) + Sum(w, 23, 26) + Sum(w, 27, 46);
    char text[16];
    std::snprintf(text, sizeof text, "%d", int(std::int32_t(number)));
    return text;
}

DerivedNames DeriveNames(const std::string& driveIdAnsi) {
    const std::string h1 = Md5Text(driveIdAnsi), h2 = Md5Text(h1), h3 = Md5Text(h2), h4 = Md5Text(h3);
    DerivedNames n;
    n.a = h1.substr(2, 6);
    n.b = h1.substr(13, 6);
    n.d = h1.substr(20, 6);
    n.e = h1.substr(0, 8);
    n.f = h2.substr(0, 6);
    n.g = h3.substr(0, 6);
    n.i = h4.substr(0, 6);
    return n;
}
