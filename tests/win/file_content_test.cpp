// Reading whole files for the per-file check: normally, and from the volume when a program holds the file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <sstream>

#include "TestSupport.h"
#include "cleaners/drive/FileContent.h"

namespace {

// Answers what the file system would, and remembers what it was asked.
class LayoutDouble : public VolumeLayoutSource {
public:
    bool FileSystemName(const wchar_t*, std::wstring& name) override {
        name = fileSystem;
        return true;
    }
    bool ClusterExtents(HANDLE, std::size_t bufferBytes, std::uint64_t& startingVcn,
                        std::vector<ClusterExtent>& out) override {
        ++queries;
        askedBuffer = bufferBytes;
        startingVcn = 0;
        out = extents;
        return true;
    }
    std::wstring fileSystem = L"NTFS";
    std::vector<ClusterExtent> extents;
    int queries = 0;
    std::size_t askedBuffer = 0;
};

std::vector<unsigned char> Pattern(std::size_t size) {
    std::vector<unsigned char> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>(i * 7 + i / 251);
    return bytes;
}

FileHandle HoldWithoutSharing(const std::wstring& path) {
    return FileHandle(::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
}

TEST(FileContent, AnOpenFileIsReadWholeInOneGo) {
    ScratchDir dir;
    const auto bytes = Pattern(70000);
    ASSERT_TRUE(WriteBytes(dir / L"a.bin", bytes));
    LayoutDouble layout;
    ReadFileContent reader(layout);
    FileContentHandle content;
    ASSERT_EQ(ContentMode::Normal, reader.Open((dir / L"a.bin").c_str(), content));
    EXPECT_EQ(70000u, content.size);
    std::vector<unsigned char> read(content.size);
    ASSERT_TRUE(reader.Read(content, read.data()));
    EXPECT_EQ(bytes, read);
    EXPECT_EQ(0, layout.queries) << "the volume is not consulted for a file that opens";
}

TEST(FileContent, MissingFilesAndLockedFilesOnUnknownVolumesAreNotReadable) {
    ScratchDir dir;
    LayoutDouble layout;
    ReadFileContent reader(layout);
    FileContentHandle content;
    EXPECT_EQ(ContentMode::NotReadable, reader.Open((dir / L"none.bin").c_str(), content));
    ASSERT_TRUE(WriteBytes(dir / L"held.bin", Pattern(4096)));
    FileHandle held = HoldWithoutSharing(dir / L"held.bin");
    ASSERT_TRUE(held);
    layout.fileSystem = L"CDFS";
    layout.extents = {{1, 10}};
    EXPECT_EQ(ContentMode::NotReadable, reader.Open((dir / L"held.bin").c_str(), content));
    EXPECT_EQ(0, layout.queries);
    std::vector<unsigned char> buffer(4096);
    EXPECT_FALSE(reader.Read(content, buffer.data()));
}

TEST(FileContent, LockedFilesOutsideTheReadableSizesAreNeverMapped) {
    ScratchDir dir;
    LayoutDouble layout;  // NTFS: no boot sector to read, straight to the size rule
    ReadFileContent reader(layout);
    struct Case {
        std::size_t size;
        bool mapped;
    } cases[] = {{1024, false}, {1025, true}, {5242879, true}, {5242880, false}};
    for (const auto& c : cases) {
        const std::wstring path = dir / L"held.bin";
        ASSERT_TRUE(WriteBytes(path, Pattern(c.size)));
        FileHandle held = HoldWithoutSharing(path);
        ASSERT_TRUE(held);
        layout.queries = 0;
        layout.extents = {{(c.size + 4095) / 4096, 100}};
        FileContentHandle content;
        const ContentMode mode = reader.Open(path.c_str(), content);
        EXPECT_EQ(c.mapped ? ContentMode::RawVolume : ContentMode::NotReadable, mode) << c.size;
        EXPECT_EQ(c.mapped ? 1 : 0, layout.queries) << c.size;
        if (c.mapped) {
            EXPECT_EQ((c.size / content.clusterSize) * 16 + 32, layout.askedBuffer) << c.size;
            EXPECT_EQ(0u, content.clusterOffset) << "NTFS clusters count from the volume's start";
        }
        held.Reset();
        ::DeleteFileW(path.c_str());
    }
}

TEST(FileContent, ExtentsThatDoNotFitTheFileMakeItUnreadable) {
    ScratchDir dir;
    LayoutDouble layout;
    ReadFileContent reader(layout);
    const std::wstring path = dir / L"held.bin";
    ASSERT_TRUE(WriteBytes(path, Pattern(10000)));  // three clusters of 4 KiB
    FileHandle held = HoldWithoutSharing(path);
    ASSERT_TRUE(held);
    const std::vector<std::vector<ClusterExtent>> bad = {
        {{4, 100}},             // one cluster more than the file has
        {{2, 100}, {2, 300}},   // an extent that does not advance
    };
    for (const auto& extents : bad) {
        layout.extents = extents;
        FileContentHandle content;
        EXPECT_EQ(ContentMode::NotReadable, reader.Open(path.c_str(), content));
    }
    layout.extents = {{2, 100}, {3, 50}};
    FileContentHandle content;
    ASSERT_EQ(ContentMode::RawVolume, reader.Open(path.c_str(), content));
    EXPECT_EQ((std::vector<std::uint64_t>{100, 101, 50}), content.clusters);
}

// Run by tests/wine/raw-volume-image.sh with drive G: on a FAT32 image it made.
TEST(RawVolumeImage, LockedFileIsReadClusterByCluster) {
    const char* clusters = std::getenv("VELUDISK_RAW_CLUSTERS");
    const char* file = std::getenv("VELUDISK_RAW_FILE");
    ASSERT_TRUE(clusters && file) << "run through tests/wine/raw-volume-image.sh";
    const std::wstring path(file, file + std::strlen(file));

    // FAT numbers data clusters from 2; the file system reports them from the data area's start.
    LayoutDouble layout;
    layout.fileSystem = L"FAT32";
    std::stringstream runs(clusters);
    std::string run;
    std::uint64_t vcn = 0;
    while (std::getline(runs, run, ',')) {
        const std::size_t dash = run.find('-');
        const std::uint64_t first = std::stoull(run.substr(0, dash));
        const std::uint64_t last = dash == std::string::npos ? first : std::stoull(run.substr(dash + 1));
        vcn += last - first + 1;
        layout.extents.push_back({vcn, first - 2});
    }

    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, total = 0;
    ASSERT_TRUE(::GetDiskFreeSpaceW(L"G:", &sectorsPerCluster, &bytesPerSector, &freeClusters, &total));
    ASSERT_EQ(4096u, sectorsPerCluster * bytesPerSector) << "the image is made with 4 KiB clusters";

    const auto expected = ReadBytes(path);
    ASSERT_EQ(20000u, expected.size());
    FileHandle held = HoldWithoutSharing(path);
    ASSERT_TRUE(held);
    ReadFileContent reader(layout);
    FileContentHandle content;
    ASSERT_EQ(ContentMode::RawVolume, reader.Open(path.c_str(), content));
    EXPECT_GT(content.clusterOffset, 0u) << "FAT32 clusters start after the reserved sectors and the FATs";
    EXPECT_EQ(vcn, content.clusters.size());
    std::vector<unsigned char> read(content.size);
    ASSERT_TRUE(reader.Read(content, read.data()));
    EXPECT_EQ(expected, read);

    // A file of 1024 bytes on the same volume is never read.
    layout.queries = 0;
    FileContentHandle small;
    const std::wstring smallPath = L"G:\\SMALL.BIN";
    ASSERT_TRUE(WriteBytes(smallPath, Pattern(1024)));
    FileHandle heldSmall = HoldWithoutSharing(smallPath);
    EXPECT_EQ(ContentMode::NotReadable, reader.Open(smallPath.c_str(), small));
    EXPECT_EQ(0, layout.queries);
}

}  // namespace
