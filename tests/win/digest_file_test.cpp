// File digests and the PE file test against real files on the removable test drive.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "disposal/Digest.h"
#include "disposal/DigestFile.h"
#include "util/ProgramPath.h"
#include "util/WinHandle.h"

namespace {

TEST(Crc32OfFile, SizeLimitsAndValue) {
    ScratchDir dir;
    struct Case {
        std::size_t size;
        bool ok;
    } cases[] = {{0, false}, {1, true}, {4097, true}, {5242879, true}, {5242880, false}};
    for (const auto& c : cases) {
        const std::wstring path = dir / (L"f" + std::to_wstring(c.size));
        const auto bytes = PatternBytes(c.size, unsigned(c.size));
        ASSERT_TRUE(WriteBytes(path, bytes));
        std::uint32_t crc = 0xDEADBEEF;
        const HRESULT hr = Crc32OfFile(path.c_str(), &crc);
        EXPECT_EQ(c.ok ? S_OK : E_FAIL, hr) << "size " << c.size;
        if (c.ok) {
            EXPECT_EQ(Crc32(0, bytes.data(), bytes.size()), crc) << "size " << c.size;
        }
    }
    std::uint32_t crc = 0;
    EXPECT_EQ(E_FAIL, Crc32OfFile((dir / L"missing").c_str(), &crc));
    EXPECT_EQ(E_FAIL, Crc32OfFile(nullptr, &crc));
}

TEST(Crc32OfFile, ReadsAFileOpenForWritingElsewhere) {
    ScratchDir dir;
    const std::wstring path = dir / L"busy.bin";
    const auto bytes = PatternBytes(10000);
    ASSERT_TRUE(WriteBytes(path, bytes));
    FileHandle writer(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(writer.Valid());
    std::uint32_t crc = 0;
    ASSERT_EQ(S_OK, Crc32OfFile(path.c_str(), &crc));
    EXPECT_EQ(Crc32(0, bytes.data(), bytes.size()), crc);
}

TEST(Md5OfFile, DigestsInBlocksUnderTheSizeRule) {
    ScratchDir dir;
    struct Case {
        std::size_t size;
        std::uint32_t limit;
        int force;
        int expected;
    } cases[] = {
        {0, 0x500000, 0, 0},        {4095, 0x500000, 0, 0},     {4096, 0x500000, 0, 0},
        {4097, 0x500000, 0, 0},     {0x500000, 0x500000, 0, 0}, {0x500001, 0x500000, 0, 1},
        {0x500001, 0x500000, 1, 0}, {0x500001, 0, 0, 0},
    };
    for (const auto& c : cases) {
        const std::wstring path = dir / L"m.bin";
        const auto bytes = PatternBytes(c.size, 7);
        ASSERT_TRUE(WriteBytes(path, bytes));
        const wchar_t* text = nullptr;
        EXPECT_EQ(c.expected, Md5OfFile(path.c_str(), &text, c.limit, c.force)) << "size " << c.size;
        ASSERT_NE(nullptr, text);
        EXPECT_EQ(c.expected == 0 ? DigestHexWide(Md5(bytes.data(), bytes.size())) : std::wstring(), text)
            << "size " << c.size;
    }
}

TEST(Md5OfFile, MissingOrNullPathFails) {
    ScratchDir dir;
    const wchar_t* text = nullptr;
    EXPECT_EQ(1, Md5OfFile((dir / L"none").c_str(), &text, 0x500000, 0));
    EXPECT_EQ(1, Md5OfFile(nullptr, &text, 0x500000, 0));
}

TEST(Md5OfFile, SharesDeleteWithAnOpenHandle) {
    ScratchDir dir;
    const std::wstring path = dir / L"held.bin";
    const auto bytes = PatternBytes(5000, 3);
    ASSERT_TRUE(WriteBytes(path, bytes));
    FileHandle holder(::CreateFileW(path.c_str(), GENERIC_READ | DELETE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                                    nullptr));
    ASSERT_TRUE(holder.Valid());
    const wchar_t* text = nullptr;
    ASSERT_EQ(0, Md5OfFile(path.c_str(), &text, 0x500000, 0));
    EXPECT_EQ(DigestHexWide(Md5(bytes.data(), bytes.size())), text);
}

std::vector<unsigned char> PeBytes(std::size_t size, std::uint32_t lfanew) {
    std::vector<unsigned char> b(size, 0);
    b[0] = 'M';
    b[1] = 'Z';
    for (int i = 0; i < 4; ++i) b[60 + i] = static_cast<unsigned char>(lfanew >> (8 * i));
    if (lfanew + 2 <= size) b[lfanew] = 'P', b[lfanew + 1] = 'E';
    return b;
}

TEST(IsPeFile, HeadersMustBeReadable) {
    ScratchDir dir;
    struct Case {
        const char* what;
        std::vector<unsigned char> bytes;
        bool expected;
    } cases[] = {
        {"headers complete", PeBytes(128 + 248, 128), true},
        {"headers one byte short", PeBytes(128 + 247, 128), false},
        {"shorter than the DOS header", PeBytes(64, 60), false},
        {"e_lfanew beyond the end", PeBytes(200, 4096), false},
        {"no MZ", [] { auto b = PeBytes(400, 128); b[0] = 'X'; return b; }(), false},
        {"no PE", [] { auto b = PeBytes(400, 128); b[129] = 'X'; return b; }(), false},
    };
    for (const auto& c : cases) {
        const std::wstring path = dir / L"pe.bin";
        ASSERT_TRUE(WriteBytes(path, c.bytes));
        EXPECT_EQ(c.expected, IsPeFile(path.c_str())) << c.what;
    }
    EXPECT_TRUE(IsPeFile(ProgramFilePath().c_str())) << "this test program is a PE file";
    EXPECT_FALSE(IsPeFile((dir / L"missing").c_str()));
}

}  // namespace
