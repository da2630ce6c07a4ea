// The folder-icon comparison over executables built in memory with chosen icons.
#include <gtest/gtest.h>

#include <random>

#include "cleaners/drive/IconMatch.h"
#include "support/PeBuilder.h"

namespace {

std::vector<std::uint8_t> Image(std::size_t length, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> bytes(length);
    for (auto& b : bytes) b = std::uint8_t(rng());
    return bytes;
}

// A table in the shipped format: 16-byte header, 32-byte records, images end to end.
struct TableBytes {
    std::vector<std::uint8_t> index, images;
    void Add(std::uint8_t width, const std::vector<std::uint8_t>& image) {
        if (index.empty()) index.assign(16, 0);
        const std::uint32_t number = std::uint32_t((index.size() - 16) / 32 + 1);
        std::vector<std::uint8_t> record(32, 0);
        PeBuilder::Put32(record, 0, number);
        record[4] = width;
        record[5] = std::uint8_t(width * 2);
        PeBuilder::Put32(record, 8, std::uint32_t(image.size()));
        PeBuilder::Put32(record, 12, std::uint32_t(images.size()));
        index.insert(index.end(), record.begin(), record.end());
        PeBuilder::Put32(index, 0, number);
        images.insert(images.end(), image.begin(), image.end());
    }
    IconTable Load() const {
        IconTable table;
        EXPECT_TRUE(table.Load(index.data(), index.size(), images.data(), images.size()));
        return table;
    }
};

struct GroupEntry {
    std::uint8_t width, colours;
    std::uint32_t size;
    std::uint16_t id;
};

TestResource GroupIcon(const std::u16string& name, const std::vector<GroupEntry>& entries) {
    TestResource r{u"#14", name, 2052, {}};
    r.data.assign(6 + 14 * entries.size(), 0);
    PeBuilder::Put16(r.data, 2, 1);
    PeBuilder::Put16(r.data, 4, std::uint32_t(entries.size()));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::size_t at = 6 + 14 * i;
        r.data[at] = entries[i].width;
        r.data[at + 1] = entries[i].width;
        r.data[at + 2] = entries[i].colours;
        PeBuilder::Put16(r.data, at + 4, 1);
        PeBuilder::Put16(r.data, at + 6, 32);
        PeBuilder::Put32(r.data, at + 8, entries[i].size);
        PeBuilder::Put16(r.data, at + 12, entries[i].id);
    }
    return r;
}

TestResource Icon(std::uint16_t id, const std::vector<std::uint8_t>& data, std::uint16_t language = 2052) {
    const std::string digits = "#" + std::to_string(id);
    return TestResource{u"#3", std::u16string(digits.begin(), digits.end()), language, data};
}

class IconMatch : public ::testing::Test {
protected:
    void SetUp() override {
        table.Add(16, Image(1094, 1));
        table.Add(32, folder);
        table.Add(48, Image(9640, 3));
    }
    bool Resembles(const std::vector<TestResource>& resources) {
        const auto image = PeBuilder::Build(resources);
        const IconTable loaded = table.Load();
        return IconResembles(loaded, image.data(), image.size());
    }
    std::vector<std::uint8_t> folder = Image(2216, 2);
    TableBytes table;
};

TEST_F(IconMatch, AFullColourEntryEqualToATableImageMatches) {
    EXPECT_TRUE(Resembles({GroupIcon(u"#1", {{32, 0, 2216, 1}}), Icon(1, folder)}));
}

TEST_F(IconMatch, MoreThanNinetyPercentOfBytesWithinThirtyIsTheRule) {
    // 2216 bytes: 221 moved bytes leave 1995 close ones (90.03%), 222 leave exactly 1994 (89.98%).
    for (const auto& [moved, matches] : std::vector<std::pair<std::size_t, bool>>{{221, true}, {222, false}, {244, false}}) {
        auto changed = folder;
        for (std::size_t i = 0; i < moved; ++i) changed[i * 9] = std::uint8_t(changed[i * 9] + 100);
        EXPECT_EQ(matches, Resembles({GroupIcon(u"#1", {{32, 0, 2216, 1}}), Icon(1, changed)})) << moved;
    }
    // A byte 30 away still counts; the window is cut at 0 and 255, not wrapped.
    std::vector<std::uint8_t> low(100, 5), high(100, 250), near(100, 35), far(100, 36);
    EXPECT_TRUE(IconDataResembles(near.data(), low.data(), 100));
    EXPECT_FALSE(IconDataResembles(far.data(), low.data(), 100));
    std::vector<std::uint8_t> zero(100, 0), top(100, 255);
    EXPECT_TRUE(IconDataResembles(zero.data(), low.data(), 100));
    EXPECT_TRUE(IconDataResembles(top.data(), high.data(), 100));
    EXPECT_FALSE(IconDataResembles(top.data(), zero.data(), 100));
}

TEST_F(IconMatch, OnlyFullColourEntriesOfTheFirstGroupOfTheRightWidthAndLengthCount) {
    struct Case {
        const char* what;
        std::vector<TestResource> resources;
        bool matches;
    } cases[] = {
        {"16-colour entry", {GroupIcon(u"#1", {{32, 16, 2216, 1}}), Icon(1, folder)}, false},
        {"second entry of the group", {GroupIcon(u"#1", {{16, 16, 1094, 2}, {32, 0, 2216, 1}}), Icon(1, folder), Icon(2, Image(1094, 9))}, true},
        {"second group icon", {GroupIcon(u"#1", {{32, 0, 2216, 2}}), GroupIcon(u"#2", {{32, 0, 2216, 1}}), Icon(1, folder), Icon(2, Image(2216, 7))}, false},
        {"width differs", {GroupIcon(u"#1", {{48, 0, 2216, 1}}), Icon(1, folder)}, false},
        {"length differs", {GroupIcon(u"#1", {{32, 0, 2217, 1}}), Icon(1, [&] { auto f = folder; f.push_back(0); return f; }())}, false},
        {"icon id missing", {GroupIcon(u"#1", {{32, 0, 2216, 5}}), Icon(1, folder)}, false},
        {"icon in two languages", {GroupIcon(u"#1", {{32, 0, 2216, 1}}), Icon(1, folder, 1033), Icon(1, folder, 2052)}, false},
        {"no icons at all", {GroupIcon(u"#1", {{32, 0, 2216, 1}})}, false},
        {"named, not numbered, types", {TestResource{u"ICONS", u"#1", 2052, folder}}, false},
    };
    for (const auto& c : cases) EXPECT_EQ(c.matches, Resembles(c.resources)) << c.what;
}

TEST_F(IconMatch, MalformedImagesAndTablesAreNoMatch) {
    auto image = PeBuilder::Build({GroupIcon(u"#1", {{32, 0, 2216, 1}}), Icon(1, folder)});
    const IconTable loaded = table.Load();
    ASSERT_TRUE(IconResembles(loaded, image.data(), image.size()));
    // Truncated anywhere: never a read outside the buffer (the sanitizers watch), never a match without the icon.
    for (std::size_t cut = 0; cut < image.size(); cut += 97)
        EXPECT_FALSE(IconResembles(loaded, image.data(), cut)) << cut;
    // The root directory's first entry pointed back at the root: a loop the walk does not follow.
    auto looped = image;
    PeBuilder::Put32(looped, PeBuilder::kSectionFileOffset + 16 + 4, 0x80000000u);
    EXPECT_FALSE(IconResembles(loaded, looped.data(), looped.size()));
    // A group claiming more entries than it holds.
    auto claims = PeBuilder::Build({GroupIcon(u"#1", {{32, 0, 2216, 1}}), Icon(1, folder)});
    // the group data is the first leaf's data: find it by its header bytes 00 00 01 00 01 00
    for (std::size_t i = PeBuilder::kSectionFileOffset; i + 6 < claims.size(); ++i)
        if (claims[i] == 0 && claims[i + 1] == 0 && claims[i + 2] == 1 && claims[i + 3] == 0 && claims[i + 4] == 1 &&
            claims[i + 5] == 0 && claims[i + 6] == 32) {
            PeBuilder::Put16(claims, i + 4, 0xFFFF);
            break;
        }
    EXPECT_FALSE(IconResembles(loaded, claims.data(), claims.size()));

    IconTable empty;
    EXPECT_FALSE(IconResembles(empty, image.data(), image.size()));
    // A record pointing past the images, or a count past the index, loads nothing.
    auto bad = table;
    PeBuilder::Put32(bad.index, 16 + 32 + 12, std::uint32_t(bad.images.size()));
    IconTable t;
    EXPECT_FALSE(t.Load(bad.index.data(), bad.index.size(), bad.images.data(), bad.images.size()));
    EXPECT_TRUE(t.Records().empty());
    auto many = table;
    PeBuilder::Put32(many.index, 0, 4);
    EXPECT_FALSE(t.Load(many.index.data(), many.index.size(), many.images.data(), many.images.size()));
}

}  // namespace
