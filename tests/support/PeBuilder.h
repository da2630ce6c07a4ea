#pragma once
// Builds small PE32 images with a chosen resource tree, for tests of the resource reader.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct TestResource {
    std::u16string type;  // "#<n>" for a numeric id
    std::u16string name;
    std::uint16_t language = 2052;
    std::vector<std::uint8_t> data;
};

class PeBuilder {
public:
    static constexpr std::uint32_t kSectionRva = 0x1000;
    static constexpr std::uint32_t kSectionFileOffset = 0x200;

    // The image; `resourceSection` receives the raw section bytes' offset for tests that corrupt them.
    static std::vector<std::uint8_t> Build(const std::vector<TestResource>& resources) {
        std::vector<std::uint8_t> rsrc = ResourceSection(resources);
        std::vector<std::uint8_t> image(kSectionFileOffset + rsrc.size(), 0);
        image[0] = 'M';
        image[1] = 'Z';
        Put32(image, 60, 64);
        image[64] = 'P';
        image[65] = 'E';
        Put16(image, 68, 0x14c);  // machine
        Put16(image, 70, 1);      // sections
        Put16(image, 84, 224);    // optional header size
        const std::size_t optional = 88;
        Put16(image, optional, 0x10b);
        Put32(image, optional + 92, 16);  // number of data directories
        Put32(image, optional + 96 + 16, kSectionRva);
        Put32(image, optional + 96 + 20, std::uint32_t(rsrc.size()));
        const std::size_t section = optional + 224;
        const char name[] = ".rsrc";
        for (int i = 0; i < 5; ++i) image[section + i] = std::uint8_t(name[i]);
        Put32(image, section + 8, std::uint32_t(rsrc.size()));
        Put32(image, section + 12, kSectionRva);
        Put32(image, section + 16, std::uint32_t(rsrc.size()));
        Put32(image, section + 20, kSectionFileOffset);
        std::copy(rsrc.begin(), rsrc.end(), image.begin() + kSectionFileOffset);
        return image;
    }

    // A hostile tree: every entry of the root points to one shared name directory, every entry of that to one
    // shared language directory, whose entries all name one data entry. Walked naively, that is n^3 visits.
    static std::vector<std::uint8_t> SharedSubdirectories(std::uint32_t n) {
        std::vector<TestResource> one = {{u"#3", u"#1", 2052, std::vector<std::uint8_t>(64, 0x5A)}};
        std::vector<std::uint8_t> image = Build(one);
        const std::size_t dirBytes = 16 + 8 * std::size_t(n);
        std::vector<std::uint8_t> rsrc(3 * dirBytes + 16 + 64, 0);
        for (std::size_t level = 0; level < 3; ++level) {
            const std::size_t dir = level * dirBytes;
            Put16(rsrc, dir + 14, n);  // id entries
            for (std::uint32_t i = 0; i < n; ++i) {
                Put32(rsrc, dir + 16 + 8 * i, i + 1);
                Put32(rsrc, dir + 20 + 8 * i, level < 2 ? std::uint32_t((level + 1) * dirBytes) | 0x80000000u
                                                        : std::uint32_t(3 * dirBytes));
            }
        }
        Put32(rsrc, 3 * dirBytes, kSectionRva + std::uint32_t(3 * dirBytes + 16));
        Put32(rsrc, 3 * dirBytes + 4, 64);
        image.resize(kSectionFileOffset);
        image.insert(image.end(), rsrc.begin(), rsrc.end());
        const std::size_t optional = 88, section = optional + 224;
        Put32(image, optional + 96 + 20, std::uint32_t(rsrc.size()));
        Put32(image, section + 8, std::uint32_t(rsrc.size()));
        Put32(image, section + 16, std::uint32_t(rsrc.size()));
        return image;
    }

    static void Put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
        b[at] = std::uint8_t(v);
        b[at + 1] = std::uint8_t(v >> 8);
    }
    static void Put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + i] = std::uint8_t(v >> (8 * i));
    }

private:
    // Directories first (types, then names per type, then languages per name), then data entries, name
    // strings and the data itself.
    static std::vector<std::uint8_t> ResourceSection(const std::vector<TestResource>& resources) {
        std::map<std::u16string, std::map<std::u16string, std::vector<const TestResource*>>> tree;
        for (const auto& r : resources) tree[r.type][r.name].push_back(&r);
        std::size_t dirBytes = 16 + 8 * tree.size();
        std::size_t leafCount = 0;
        for (const auto& t : tree) {
            dirBytes += 16 + 8 * t.second.size();
            for (const auto& n : t.second) dirBytes += 16 + 8 * n.second.size(), leafCount += n.second.size();
        }
        std::vector<std::uint8_t> out(dirBytes + 16 * leafCount, 0);
        std::size_t nextDir = 16 + 8 * tree.size(), nextData = dirBytes;
        auto nameField = [&](const std::u16string& text) -> std::uint32_t {
            if (!text.empty() && text[0] == u'#') return std::uint32_t(std::stoul(std::string(text.begin() + 1, text.end())));
            const std::uint32_t at = std::uint32_t(out.size());
            out.resize(out.size() + 2 + 2 * text.size());
            Put16(out, at, std::uint32_t(text.size()));
            for (std::size_t i = 0; i < text.size(); ++i) Put16(out, at + 2 + 2 * i, text[i]);
            return at | 0x80000000u;
        };
        std::vector<std::pair<std::size_t, const TestResource*>> leaves;
        Put16(out, 12 + 2, 0);
        Put16(out, 12, std::uint32_t(tree.size()));  // all entries counted as named; the reader adds both counts
        std::size_t typeEntry = 16;
        for (const auto& t : tree) {
            const std::size_t nameDir = nextDir;
            nextDir += 16 + 8 * t.second.size();
            Put32(out, typeEntry, nameField(t.first));
            Put32(out, typeEntry + 4, std::uint32_t(nameDir) | 0x80000000u);
            typeEntry += 8;
            Put16(out, nameDir + 12, std::uint32_t(t.second.size()));
            std::size_t nameEntry = nameDir + 16;
            for (const auto& n : t.second) {
                const std::size_t langDir = nextDir;
                nextDir += 16 + 8 * n.second.size();
                Put32(out, nameEntry, nameField(n.first));
                Put32(out, nameEntry + 4, std::uint32_t(langDir) | 0x80000000u);
                nameEntry += 8;
                Put16(out, langDir + 14, std::uint32_t(n.second.size()));
                std::size_t langEntry = langDir + 16;
                for (const TestResource* r : n.second) {
                    Put32(out, langEntry, r->language);
                    Put32(out, langEntry + 4, std::uint32_t(nextData));
                    leaves.emplace_back(nextData, r);
                    nextData += 16;
                    langEntry += 8;
                }
            }
        }
        for (const auto& leaf : leaves) {
            const std::uint32_t at = std::uint32_t(out.size());
            out.insert(out.end(), leaf.second->data.begin(), leaf.second->data.end());
            Put32(out, leaf.first, kSectionRva + at);
            Put32(out, leaf.first + 4, std::uint32_t(leaf.second->data.size()));
        }
        return out;
    }
};
