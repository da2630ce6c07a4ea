#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <random>

#include "cleaners/drive/ContentDetectors.h"
#include "disposal/PeResources.h"
#include "support/PeBuilder.h"

namespace {

std::size_t Find(const std::string& content, const std::string& pattern, bool noCase = false) {
    const auto* c = reinterpret_cast<const std::uint8_t*>(content.data());
    const auto* p = reinterpret_cast<const std::uint8_t*>(pattern.data());
    return noCase ? FindBytesNoCase(c, p, pattern.size(), content.size()) : FindBytes(c, p, pattern.size(), content.size());
}

TEST(FindBytes, MatchingRule) {
    struct Case {
        const char* content;
        const char* pattern;
        std::size_t expected;
    } cases[] = {
        {"xxxy", "xxy", kNoMatch},  // the byte that broke a partial match is not retried
        {"axxy", "xxy", 1},
        {"abc", "abc", 0},
        {"zzabc", "abc", 2},  // a match ending on the last byte
        {"ab", "abc", kNoMatch},
        {"aab", "ab", kNoMatch},
        // In a run of first bytes the rule tries every other one: the pair at the end counts only after an
        // even number of them.
        {"aaab", "ab", 2},
        {"aaaab", "ab", kNoMatch},
        {"aaaabxab", "ab", 6},
        {"aaabc", "abc", 2},
        {"abxaab", "abc", kNoMatch},
        {"aabaab", "aab", 0},
        {"aaab", "aab", kNoMatch},  // tried at 0, broken at 2 by "a", which is not tried again
        {"a", "a", 0},
        {"", "a", kNoMatch},
        {"abcabd", "abd", 3},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, Find(c.content, c.pattern)) << c.content << " / " << c.pattern;
        EXPECT_EQ(c.expected, Find(c.content, c.pattern, true)) << c.content << " / " << c.pattern;
    }
    EXPECT_EQ(kNoMatch, FindBytes(nullptr, reinterpret_cast<const std::uint8_t*>("a"), 1, 1));
    EXPECT_EQ(kNoMatch, Find("abc", ""));
}

TEST(FindBytes, NoCaseFoldsOnlyAsciiCapitals) {
    EXPECT_EQ(0u, Find("EXECUTE", "execute", true));
    EXPECT_EQ(0u, Find("execute", "EXECUTE", true));
    EXPECT_EQ(kNoMatch, Find("EXECUTE", "execute"));
    EXPECT_EQ(kNoMatch, Find("\xC0", "\xE0", true));  // bytes above ASCII are compared as they are
    EXPECT_EQ(kNoMatch, Find("@", "`", true));
}

// Both versions give memchr's answer wherever the byte lies relative to the start, the alignment and the
// 16- and 64-byte blocks, and for bytes whose high bit is set (the word version's borrow trick).
TEST(FindBytes, FindByteIsMemchr) {
    std::vector<std::uint8_t> buffer(300);
    for (std::size_t offset = 0; offset < 17; ++offset) {
        for (std::size_t length : {0, 1, 7, 8, 15, 16, 17, 63, 64, 65, 130, 200}) {
            for (std::uint8_t value : {std::uint8_t(0x00), std::uint8_t(0x41), std::uint8_t(0x80), std::uint8_t(0xFF)}) {
                for (std::size_t at = 0; at <= length; ++at) {  // at == length: absent
                    std::fill(buffer.begin(), buffer.end(), std::uint8_t(value ^ 0x01));
                    if (at < length) buffer[offset + at] = value;
                    if (at + 1 < length) buffer[offset + at + 1] = value;  // a later one is not the answer
                    buffer[offset + length] = value;                        // nor one just past the end
                    const std::uint8_t* p = buffer.data() + offset;
                    const void* hit = std::memchr(p, value, length);
                    const std::size_t expected = hit ? std::size_t(static_cast<const std::uint8_t*>(hit) - p) : kNoMatch;
                    ASSERT_EQ(expected, FindByte(p, value, length)) << offset << " " << length << " " << at;
                    ASSERT_EQ(expected, FindByteInWords(p, value, length)) << offset << " " << length << " " << at;
                }
            }
        }
    }
    EXPECT_EQ(kNoMatch, FindByte(nullptr, 0, 10));
    EXPECT_EQ(kNoMatch, FindByteInWords(nullptr, 0, 10));
}

// Few letters make runs of first bytes, pairs and partial matches everywhere, also across the 16- and 64-byte
// blocks of the pair search.
TEST(FindBytes, FastEqualsReference) {
    std::mt19937 rng(7);
    for (int trial = 0; trial < 40000; ++trial) {
        const std::size_t n = rng() % (trial % 4 ? 64 : 300), m = 1 + rng() % 5;
        std::string content(n, ' '), pattern(m, ' ');
        const char alphabet[] = "xXyY\n";
        for (auto& c : content) c = alphabet[rng() % 5];
        for (auto& c : pattern) c = alphabet[rng() % 5];
        const auto* cp = reinterpret_cast<const std::uint8_t*>(content.data());
        const auto* pp = reinterpret_cast<const std::uint8_t*>(pattern.data());
        ASSERT_EQ(FindBytesReference(cp, pp, m, n, false), FindBytes(cp, pp, m, n)) << content << " / " << pattern;
        ASSERT_EQ(FindBytesReference(cp, pp, m, n, true), FindBytesNoCase(cp, pp, m, n)) << content << " / " << pattern;
    }
}

std::string Delphi() { return "..CreateProcess(..'\\bin\\dcc32.exe\" ..ValueEx(k,'RootDir'.."; }
std::string Vbs() { return "x\r\nexecute y\nucase(hex(int(rnd*24000+40960)"; }

bool Delphi(const std::string& s) { return IsDelphiInfector(reinterpret_cast<const std::uint8_t*>(s.data()), s.size()); }
bool Vbs(const std::string& s) { return IsVbsInfector(reinterpret_cast<const std::uint8_t*>(s.data()), s.size()); }
bool Dropper(const std::string& s) { return IsScriptDropper(reinterpret_cast<const std::uint8_t*>(s.data()), s.size()); }

TEST(Detectors, Delphi) {
    EXPECT_TRUE(Delphi(Delphi()));
    EXPECT_TRUE(Delphi("CreateProcess \\bin\\dcc32.exe\" ValueEx(k,$RootDir$"));
    EXPECT_FALSE(Delphi("CREATEPROCESS \\bin\\dcc32.exe\" ValueEx(k,'RootDir'")) << "case-sensitive";
    EXPECT_FALSE(Delphi("CreateProcess \\bin\\dcc32.exe ValueEx(k,'RootDir'")) << "P2 ends with a quote";
    EXPECT_FALSE(Delphi("CreateProcess \\bin\\dcc32.exe\" nothing else"));
    std::string atLimit = Delphi();
    atLimit.resize(kDelphiLimit, ' ');
    EXPECT_TRUE(Delphi(atLimit));
    atLimit.push_back(' ');
    EXPECT_FALSE(Delphi(atLimit)) << "one byte over 3 MiB is not examined";
}

TEST(Detectors, Vbs) {
    EXPECT_TRUE(Vbs(Vbs()));
    EXPECT_TRUE(Vbs("\nEXECUTE opentextfile(wscript.scriptfullname,1):"));
    EXPECT_FALSE(Vbs("x\n\nexecute ucase(hex(int(rnd*24000+40960)")) << "two line feeds: the second is not retried";
    EXPECT_FALSE(Vbs("execute ucase(hex(int(rnd*24000+40960)")) << "no line feed before execute";
    EXPECT_FALSE(Vbs("\nexecute nothing"));
    std::string atLimit = Vbs();
    atLimit.resize(kVbsLimit, ' ');
    EXPECT_TRUE(Vbs(atLimit));
    atLimit.push_back(' ');
    EXPECT_FALSE(Vbs(atLimit));
}

TEST(Detectors, ScriptDropperSets) {
    const std::string set2 = "KillVirus.TXT SOLA exefile\\shell\\";
    EXPECT_TRUE(Dropper("Fonts\\HIDESE Funct Tasks.job"));
    EXPECT_FALSE(Dropper("Fonts\\HIDESE " + set2)) << "D1 without D2 decides no; set 2 is not tried";
    EXPECT_TRUE(Dropper("Fonts\\HIDESE Funct " + set2)) << "D1 and D2 without D3: set 2 decides";
    EXPECT_FALSE(Dropper("Fonts\\HIDESE Funct KillVirus.TXT"));
    EXPECT_TRUE(Dropper(set2));
    EXPECT_FALSE(Dropper("KillVirus.TXT SOL exefile\\shell\\"));
    EXPECT_FALSE(Dropper(""));
}

TEST(Detectors, ProtectedHashes) {
    EXPECT_TRUE(IsProtectedHash("1c82a24b96d32e44cc9a3f6baab61611"));
    EXPECT_TRUE(IsProtectedHash("1876e5815b53cccd827dd6513d9ec3f5"));
    EXPECT_TRUE(IsProtectedHash(L"C4EEE9E8EA67B5B1B494CAF2FEF07D5C"));
    EXPECT_FALSE(IsProtectedHash("1c82a24b96d32e44cc9a3f6baab6161"));
    EXPECT_FALSE(IsProtectedHash("1c82a24b96d32e44cc9a3f6baab616110"));
    EXPECT_FALSE(IsProtectedHash(static_cast<const char*>(nullptr)));
    EXPECT_FALSE(IsProtectedHash(L"\x4e2d"));
}

std::vector<std::uint8_t> Bytes(const char* s) { return std::vector<std::uint8_t>(s, s + std::strlen(s)); }

TEST(PeResources, ReadsTypesNamesAndData) {
    const auto image = PeBuilder::Build({{u"DOC", u"SIMPLE", 2052, Bytes("document")},
                                         {u"#14", u"#1", 1033, Bytes("group")},
                                         {u"EXE", u"SIMPLE", 2052, Bytes("program")}});
    PeResourceReader reader;
    ASSERT_TRUE(reader.Open(image.data(), image.size()));
    std::vector<std::string> seen;
    reader.ForEach([&](const PeResourceEntry& e) {
        EXPECT_TRUE(e.dataInFile);
        seen.push_back(std::string(e.type.begin(), e.type.end()) + "/" + std::string(e.name.begin(), e.name.end()) +
                       "/" + std::to_string(e.language) + "=" +
                       std::string(image.begin() + e.dataOffset, image.begin() + e.dataOffset + e.dataSize));
        return true;
    });
    EXPECT_EQ((std::vector<std::string>{"#14/#1/1033=group", "DOC/SIMPLE/2052=document", "EXE/SIMPLE/2052=program"}), seen);
    EXPECT_TRUE(HasDocResourcePair(image.data(), image.size()));
}

TEST(PeResources, DocPairNeedsTwoSimpleResources) {
    const auto onlyDoc = PeBuilder::Build({{u"DOC", u"SIMPLE", 2052, Bytes("d")}});
    EXPECT_FALSE(HasDocResourcePair(onlyDoc.data(), onlyDoc.size()));
    const auto otherName = PeBuilder::Build({{u"DOC", u"SIMPLE", 2052, Bytes("d")}, {u"EXE", u"OTHER", 2052, Bytes("e")}});
    EXPECT_FALSE(HasDocResourcePair(otherName.data(), otherName.size()));
    const auto lower = PeBuilder::Build({{u"doc", u"simple", 2052, Bytes("d")}, {u"exe", u"simple", 2052, Bytes("e")}});
    EXPECT_FALSE(HasDocResourcePair(lower.data(), lower.size())) << "exact comparison";
}

TEST(PeResources, MalformedImagesAreNoMatch) {
    const auto good = PeBuilder::Build({{u"DOC", u"SIMPLE", 2052, Bytes("d")}, {u"EXE", u"SIMPLE", 2052, Bytes("e")}});
    // Cut anywhere before the names are complete; data cut short does not hide the names.
    for (std::size_t cut : {std::size_t(0), std::size_t(63), std::size_t(300), std::size_t(PeBuilder::kSectionFileOffset + 10),
                            std::size_t(PeBuilder::kSectionFileOffset + 40)}) {
        std::vector<std::uint8_t> truncated(good.begin(), good.begin() + cut);
        EXPECT_FALSE(HasDocResourcePair(truncated.data(), truncated.size())) << "cut at " << cut;
    }
    // The type directory's first entry pointing back at the root directory.
    auto loop = good;
    PeBuilder::Put32(loop, PeBuilder::kSectionFileOffset + 16 + 4, 0x80000000u);
    EXPECT_FALSE(HasDocResourcePair(loop.data(), loop.size()));
    // A directory claiming 65535 entries.
    auto huge = good;
    PeBuilder::Put16(huge, PeBuilder::kSectionFileOffset + 12, 0xFFFF);
    PeBuilder::Put16(huge, PeBuilder::kSectionFileOffset + 14, 0xFFFF);
    HasDocResourcePair(huge.data(), huge.size());  // bounded work, no read outside the buffer
    // A name string whose length runs past the section.
    auto longName = good;
    for (std::size_t i = PeBuilder::kSectionFileOffset; i + 1 < longName.size(); ++i)
        if (longName[i] == 3 && longName[i + 1] == 0 && longName[i + 2] == 'D') PeBuilder::Put16(longName, i, 0x7FFF);
    EXPECT_FALSE(HasDocResourcePair(longName.data(), longName.size()));
}

}  // namespace

#include "cleaners/drive/MediaFiles.h"

namespace {

TEST(MediaFiles, Extensions) {
    struct Case {
        const wchar_t* path;
        bool media;
    } cases[] = {
        {L"U:\\a.wmv", true},   {L"U:\\a.WMV", true},      {L"U:\\song.Mp3", true}, {L"U:\\a.wma", true},
        {L"U:\\a.asf", true},   {L"U:\\a.mp2", true},      {L"U:\\a.wmv.txt", false}, {L"U:\\a.mp4", false},
        {L".wmv", false},       {L"U:\\noextension", false}, {L"U:\\a.wmvx", false},
    };
    for (const auto& c : cases) EXPECT_EQ(c.media, HasMediaExtension(c.path)) << c.path;
}

TEST(MediaFiles, CommandTypeAndLicenceAddress) {
    EXPECT_TRUE(IsUrlAndExit(L"URLANDEXIT"));
    EXPECT_TRUE(IsUrlAndExit(L"UrlAndExit"));
    EXPECT_FALSE(IsUrlAndExit(L"URL"));
    EXPECT_EQ(20u, std::wcslen(kKnownLicenceAddress));
    EXPECT_TRUE(StartsWithKnownLicenceAddress(std::wstring(kKnownLicenceAddress) + L"lic?x=1"));
    EXPECT_TRUE(StartsWithKnownLicenceAddress(L"HTTP://DRM.WMVLA.CN/"));
    EXPECT_FALSE(StartsWithKnownLicenceAddress(L"http://drm.wmvla.cn"));
    EXPECT_FALSE(StartsWithKnownLicenceAddress(L"https://example.com/licence"));
}

}  // namespace

#include "cleaners/drive/ArchiveInfector.h"

namespace {

TEST(ArchiveInfector, RarMarkerAndNames) {
    const std::string rar = std::string("xxRar") + "!\x1a\x07";
    EXPECT_TRUE(HasRarMarker(reinterpret_cast<const std::uint8_t*>(rar.data()), rar.size()));
    EXPECT_FALSE(HasRarMarker(reinterpret_cast<const std::uint8_t*>("xxrar!"), 6));
    std::string big = rar;
    big.resize(3145729, ' ');
    EXPECT_FALSE(HasRarMarker(reinterpret_cast<const std::uint8_t*>(big.data()), big.size())) << "over 3 MiB";
    EXPECT_EQ(L"report.doc", DocumentNameFor(L"report.doc.exe"));
    EXPECT_EQ(L"report.doc", DocumentNameFor(L"report.exe"));
    EXPECT_EQ(L"noext.doc", DocumentNameFor(L"noext"));
    EXPECT_EQ(L"report 42.doc", UniqueName(L"report.doc", 42, L".doc"));
    EXPECT_EQ(L"report123456.doc", UniqueName(L"report.doc", 123456, L".doc"));
}

TEST(ArchiveInfector, ReadableSizes) {
    EXPECT_FALSE(ContentSizeReadable(1024));
    EXPECT_TRUE(ContentSizeReadable(1025));
    EXPECT_TRUE(ContentSizeReadable((5u << 20) - 1));
    EXPECT_FALSE(ContentSizeReadable(5u << 20));
}

// The read buffer: whatever the file needs, at least double the old size, never more than a readable file.
TEST(ArchiveInfector, ReadBufferGrowth) {
    const std::size_t largest = (5u << 20) - 1;
    struct Case {
        std::size_t capacity, needed, expected;
    } cases[] = {
        {0, 2000, 2000}, {2000, 2001, 4000}, {2000, 9000, 9000}, {3u << 20, (3u << 20) + 1, largest},
        {largest - 10, largest, largest}, {0, largest, largest},
    };
    for (const auto& c : cases) EXPECT_EQ(c.expected, GrownReadCapacity(c.capacity, c.needed)) << c.capacity << " " << c.needed;
}

TEST(ArchiveInfector, VolumeFormats) {
    EXPECT_EQ(VolumeFormat::Ntfs, VolumeFormatOf(L"NTFS"));
    EXPECT_EQ(VolumeFormat::Fat32, VolumeFormatOf(L"FAT32"));
    EXPECT_EQ(VolumeFormat::Fat, VolumeFormatOf(L"Fat"));
    EXPECT_EQ(VolumeFormat::Unknown, VolumeFormatOf(L"exFAT"));
}

TEST(ArchiveInfector, FatDataOffsets) {
    std::vector<std::uint8_t> boot(512, 0);
    auto put16 = [&](std::size_t at, unsigned v) { boot[at] = std::uint8_t(v), boot[at + 1] = std::uint8_t(v >> 8); };
    // FAT16: 512-byte sectors, 4 reserved, 2 FATs of 200 sectors, 512 root entries (32 sectors).
    put16(11, 512);
    put16(14, 4);
    boot[16] = 2;
    put16(17, 512);
    put16(22, 200);
    std::uint64_t offset = 0;
    ASSERT_TRUE(FatDataOffset(boot.data(), boot.size(), 512, offset));
    EXPECT_EQ(512u * (4 + 400 + 32), offset);
    // FAT32: sectors per FAT in the 32-bit field, no root entries.
    put16(14, 32);
    put16(17, 0);
    put16(22, 0);
    boot[36] = 0x10;
    boot[37] = 0x27;  // 10000
    ASSERT_TRUE(FatDataOffset(boot.data(), boot.size(), 512, offset));
    EXPECT_EQ(512u * (32 + 2 * 10000), offset);
    put16(11, 0);
    EXPECT_FALSE(FatDataOffset(boot.data(), boot.size(), 512, offset)) << "no sector size";
    EXPECT_FALSE(FatDataOffset(boot.data(), 100, 512, offset));
}

TEST(ArchiveInfector, ExtentsExpandToClusters) {
    std::vector<std::uint64_t> clusters;
    ASSERT_TRUE(ExpandExtents(0, {{2, 100}, {5, 40}}, 5 * 4096, 4096, clusters));
    EXPECT_EQ((std::vector<std::uint64_t>{100, 101, 40, 41, 42}), clusters);
    EXPECT_FALSE(ExpandExtents(0, {{2, 100}, {2, 40}}, 5 * 4096, 4096, clusters)) << "an extent that does not advance";
    EXPECT_FALSE(ExpandExtents(0, {{6, 100}}, 5 * 4096, 4096, clusters)) << "more clusters than the file has";
    EXPECT_TRUE(ExpandExtents(0, {{2, 7}}, 4097, 4096, clusters)) << "a partly used last cluster counts";
    EXPECT_FALSE(ExpandExtents(0, {{1, 7}}, 4096, 0, clusters));
}

}  // namespace

TEST(ArchiveInfector, DocumentEntries) {
    struct Case {
        const wchar_t* name;
        bool document, nested;
    } cases[] = {
        {L"report.doc", true, false},   {L"PHOTO.JPG", true, false},  {L"a.docx", true, false},
        {L"notes.txt.exe", true, false}, {L"inner.COM", true, true},   {L"x.company", true, true},
        {L"setup.exe", false, false},   {L"doc", false, false},       {L"", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsDocumentEntry(c.name), c.document) << std::wstring(c.name).size();
        EXPECT_EQ(IsNestedArchiveEntry(c.name), c.nested);
    }
}

TEST(ArchiveInfector, EntryNamesFromTheArchiveAreReducedToSafeBareNames) {
    struct Case {
        const wchar_t* name;
        const wchar_t* bare;  // null: refused
    } cases[] = {
        {L"report.doc", L"report.doc"},
        {L"sub\\dir\\report.doc", L"report.doc"},
        {L"sub/report.doc", L"report.doc"},
        {L"..\\report.doc", nullptr},
        {L"sub\\..\\..\\report.doc", nullptr},
        {L"sub/../report.doc", nullptr},
        {L"\\windows\\report.doc", nullptr},
        {L"/report.doc", nullptr},
        {L"C:\\report.doc", nullptr},
        {L"C:report.doc", nullptr},
        {L"report.doc:stream", nullptr},
        {L"\\\\?\\C:\\report.doc", nullptr},
        {L"sub\\", nullptr},
        {L"...", nullptr},
        {L"sub\\. ", nullptr},
        {L"con", nullptr},
        {L"CON.doc", nullptr},
        {L"nul .txt", nullptr},
        {L"sub\\com1.doc", nullptr},
        {L"LPT9.jpg", nullptr},
        {L"com0.doc", L"com0.doc"},
        {L"console.doc", L"console.doc"},
        {L"what?.doc", nullptr},
        {L"a\x01.doc", nullptr},
        {L"", nullptr},
        {L"..doc", L"..doc"},
    };
    for (const auto& c : cases) {
        std::wstring bare = L"stale";
        const bool ok = SafeEntryFileName(c.name, bare);
        EXPECT_EQ(ok, c.bare != nullptr) << "case " << (&c - cases);
        EXPECT_EQ(bare, c.bare ? c.bare : L"") << "case " << (&c - cases);
    }
}
