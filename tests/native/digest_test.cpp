// CRC-32 against zlib, MD5 against the platform's own MD5, and the digest text helpers.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <random>
#include <vector>

#include "disposal/Digest.h"
#include "native/Md5Reference.h"

namespace {

std::vector<unsigned char> RandomBytes(std::size_t n, std::mt19937_64& rng) {
    std::vector<unsigned char> v(n);
    for (auto& b : v) b = static_cast<unsigned char>(rng());
    return v;
}

std::uint32_t ZlibCrc(std::uint32_t seed, const unsigned char* p, std::size_t n) {
    uLong crc = crc32(seed, p, 0);  // also for an empty input, so a null pointer is treated as zlib treats it
    while (n) {  // zlib takes uInt lengths
        const uInt chunk = n > (1u << 30) ? (1u << 30) : static_cast<uInt>(n);
        crc = crc32(crc, p, chunk);
        p += chunk;
        n -= chunk;
    }
    return static_cast<std::uint32_t>(crc);
}

std::vector<std::size_t> InterestingLengths() {
    std::vector<std::size_t> lengths = {0, 1, 2, 3, 7, 8, 15, 16, 17, 31, 32, 33, 63, 64, 65, 127, 128, 129, 191, 255, 256, 1000};
    for (std::size_t n = 55; n <= 65; ++n) lengths.push_back(n);
    for (std::size_t n = 4095; n <= 4097; ++n) lengths.push_back(n);
    lengths.insert(lengths.end(), {3u << 20, (5u << 20) - 1, 5u << 20, (7u << 20) + 13});
    return lengths;
}

TEST(Crc32, KnownCheckValues) {
    const char* check = "123456789";
    EXPECT_EQ(0xCBF43926u, Crc32(0, check, 9));
    EXPECT_EQ(0u, Crc32(0, "", 0));
    EXPECT_EQ(0u, Crc32(0, nullptr, 10));
    EXPECT_EQ(0u, Crc32(0x1234, nullptr, 0));
}

TEST(Crc32, MatchesZlibOverLengthsAndAlignments) {
    std::mt19937_64 rng(1);
    const auto big = RandomBytes((7u << 20) + 64, rng);
    for (std::size_t len : InterestingLengths()) {
        for (std::size_t misalign : {0, 1, 3, 7}) {
            const unsigned char* p = big.data() + misalign;
            ASSERT_EQ(ZlibCrc(0, p, len), Crc32(0, p, len)) << "length " << len << " offset " << misalign;
        }
        ASSERT_EQ(ZlibCrc(0, big.data(), len), Crc32Reference(0, big.data(), len)) << "reference, length " << len;
    }
}

TEST(Crc32, MatchesZlibOnManyRandomBuffers) {
    std::mt19937_64 rng(2);
    for (int i = 0; i < 2000; ++i) {
        const std::size_t len = rng() % 5000;
        const auto buf = RandomBytes(len, rng);
        const std::uint32_t seed = (i % 3 == 0) ? 0 : static_cast<std::uint32_t>(rng());
        ASSERT_EQ(ZlibCrc(seed, buf.data(), len), Crc32(seed, buf.data(), len)) << "length " << len;
    }
}

TEST(Crc32, ContinuesAcrossPieces) {
    std::mt19937_64 rng(3);
    const auto buf = RandomBytes(100000, rng);
    const std::uint32_t whole = Crc32(0, buf.data(), buf.size());
    for (std::size_t cut : {0, 1, 63, 64, 65, 4096, 99999, 100000}) {
        const std::uint32_t first = Crc32(0, buf.data(), cut);
        EXPECT_EQ(whole, Crc32(first, buf.data() + cut, buf.size() - cut)) << "cut at " << cut;
    }
}

TEST(Md5, Rfc1321TestSuite) {
    const std::pair<const char*, const char*> cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.second, DigestHex(Md5(c.first, std::strlen(c.first)))) << c.first;
}

TEST(Md5, MatchesOpensslOverLengthsAndRandomBuffers) {
    std::mt19937_64 rng(4);
    const auto big = RandomBytes((7u << 20) + 64, rng);
    for (std::size_t len : InterestingLengths())
        ASSERT_EQ(ReferenceMd5(big.data() + 1, len), DigestHex(Md5(big.data() + 1, len))) << "length " << len;
    for (int i = 0; i < 1000; ++i) {
        const std::size_t len = rng() % 3000;
        const auto buf = RandomBytes(len, rng);
        ASSERT_EQ(ReferenceMd5(buf.data(), len), DigestHex(Md5(buf.data(), len))) << "length " << len;
    }
}

TEST(Md5, IncrementalEqualsOneShotForAnySplit) {
    std::mt19937_64 rng(5);
    const auto buf = RandomBytes(20000, rng);
    const Md5Digest whole = Md5(buf.data(), buf.size());
    for (int trial = 0; trial < 200; ++trial) {
        Md5Context ctx;
        std::size_t off = 0;
        while (off < buf.size()) {
            const std::size_t n = std::min<std::size_t>(rng() % 200, buf.size() - off);
            ctx.Update(buf.data() + off, n);
            off += n;
        }
        ASSERT_EQ(whole, ctx.Final());
    }
}

// The one-pass form gives exactly the two separate digests: over every length around the 64-byte blocks, at an
// odd address, and in pieces of any size (a pending partial block sends a piece down the separate path).
TEST(Crc32AndMd5, EqualsTheSeparateDigests) {
    std::mt19937_64 rng(6);
    const auto big = RandomBytes((7u << 20) + 64, rng);
    for (std::size_t len : InterestingLengths()) {
        Md5Digest md5{};
        ASSERT_EQ(ZlibCrc(0, big.data() + 1, len), Crc32AndMd5(big.data() + 1, len, md5)) << "length " << len;
        ASSERT_EQ(ReferenceMd5(big.data() + 1, len), DigestHex(md5)) << "length " << len;
    }
    const auto buf = RandomBytes(20000, rng);
    for (int trial = 0; trial < 200; ++trial) {
        Md5Context ctx;
        std::uint32_t crc = 0;
        for (std::size_t off = 0, n = 0; off < buf.size(); off += n) {
            n = std::min<std::size_t>(rng() % 500, buf.size() - off);
            crc = ctx.UpdateWithCrc32(crc, buf.data() + off, n);
        }
        ASSERT_EQ(ZlibCrc(0, buf.data(), buf.size()), crc);
        ASSERT_EQ(ReferenceMd5(buf.data(), buf.size()), DigestHex(ctx.Final()));
    }
}

TEST(Md5Text, WholeAndMiddleForms) {
    EXPECT_EQ("900150983cd24fb0d6963f7d28e17f72", Md5OfText("abc", 32));
    EXPECT_EQ("900150983cd24fb0d6963f7d28e17f72", Md5OfText("abc", 0));
    EXPECT_EQ("3cd24fb0d6963f7d", Md5OfText("abc", 16));  // positions 9 to 24
    EXPECT_EQ("d41d8cd98f00b204e9800998ecf8427e", Md5OfText(nullptr, 0));
}

TEST(Md5OfBuffer, SizeRuleAndTextBuffer) {
    std::vector<unsigned char> buf(kDigestSizeLimit + 1, 'x');
    const wchar_t* text = nullptr;
    struct Case {
        std::size_t length;
        std::uint32_t limit;
        int force;
        bool expected;
    } cases[] = {
        {kDigestSizeLimit, kDigestSizeLimit, 0, true},       // at the limit
        {kDigestSizeLimit + 1, kDigestSizeLimit, 0, false},  // one past it
        {kDigestSizeLimit + 1, kDigestSizeLimit, 1, true},   // forced
        {kDigestSizeLimit + 1, 0, 0, true},                  // no limit
        {0, kDigestSizeLimit, 0, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, Md5OfBuffer(buf.data(), c.length, &text, c.limit, c.force)) << c.length;
        ASSERT_NE(nullptr, text);
        if (c.expected)
            EXPECT_EQ(DigestHexWide(Md5(buf.data(), c.length)), std::wstring(text));
        else
            EXPECT_EQ(std::wstring(), std::wstring(text)) << "a refused digest leaves no stale text";
    }
    EXPECT_FALSE(Md5OfBuffer(nullptr, 10, &text, 0, 1));
    EXPECT_EQ(L"", std::wstring(text));
}

}  // namespace

#include "support/CrcForge.h"

namespace {

TEST(CrcForge, ReachesAnyTarget) {
    std::mt19937_64 rng(6);
    for (std::uint32_t target : {0x08FFD97Du, 0x868E5DA1u, 0u, 0xFFFFFFFFu}) {
        auto data = RandomBytes(1000 + rng() % 100, rng);
        const auto suffix = ForgeCrc32Suffix(Crc32(0, data.data(), data.size()), target);
        data.insert(data.end(), suffix.begin(), suffix.end());
        EXPECT_EQ(target, Crc32(0, data.data(), data.size()));
    }
}

}  // namespace
