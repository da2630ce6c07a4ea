// Variant 1 of the document repair on a real carrier program built for the tests.
#include <gtest/gtest.h>

#include "engine/LiveEffects.h"

#include "CleanerHarness.h"
#include "app/Globals.h"
#include "cleaners/drive/DocumentRestore.h"
#include "disposal/PeResources.h"
#include "util/ProgramPath.h"

namespace {

class DocumentRestoreTest : public ::testing::Test, protected CleanerHarness {
protected:
    void SetUp() override {
        carrier = dir / L"report.doc.exe";
        ASSERT_TRUE(::CopyFileW((ProgramFolder() + L"\\doc_infector.exe").c_str(), carrier.c_str(), FALSE));
        controller.ExeInfectorRepairReported = 0;
    }
    std::wstring carrier;
    DocumentRestore restore{controller, *log};
};

TEST_F(DocumentRestoreTest, CarrierIsRecognisedAndItsDocumentWrittenBeside) {
    const auto bytes = ReadBytes(carrier);
    ASSERT_TRUE(HasDocResourcePair(bytes.data(), bytes.size()));
    ASSERT_TRUE(restore.RestoreDocResource(carrier.c_str()));
    const std::string restored = ReadText(dir / L"report.doc");
    EXPECT_NE(std::string::npos, restored.find("kept safe inside the carrier"));
    EXPECT_EQ(1u, Stats().Repaired);
    EXPECT_EQ(1, controller.ExeInfectorRepairReported.load());
    EXPECT_NE(std::string::npos, LogText().find("\\report.doc,,\xd0\xde\xb8\xb4\xb3\xc9\xb9\xa6,,2,,")) << "修复成功, type 2";
    EXPECT_TRUE(FileExists(carrier)) << "the carrier itself is left to the per-file check";
}

TEST_F(DocumentRestoreTest, ExistingDocumentIsNeverOverwritten) {
    ASSERT_TRUE(WriteBytes(dir / L"report.doc", std::string("the user's newer copy")));
    ASSERT_TRUE(restore.RestoreDocResource(carrier.c_str()));
    EXPECT_EQ("the user's newer copy", ReadText(dir / L"report.doc"));
    WIN32_FIND_DATAW data;
    FindHandle find(::FindFirstFileW((dir / L"report*.doc").c_str(), &data));
    int docs = 0;
    std::wstring other;
    if (find) do {
            ++docs;
            if (std::wstring(data.cFileName) != L"report.doc") other = data.cFileName;
        } while (::FindNextFileW(find.Get(), &data));
    EXPECT_EQ(2, docs);
    ASSERT_FALSE(other.empty());
    EXPECT_NE(std::string::npos, ReadText(dir / other).find("kept safe")) << "the tick-count name holds the document";
}

TEST_F(DocumentRestoreTest, ProgramsWithoutTheResourceAreLeftAlone) {
    const std::wstring plain = dir / L"plain.exe";
    ASSERT_TRUE(::CopyFileW((ProgramFolder() + L"\\startup_probe.exe").c_str(), plain.c_str(), FALSE));
    EXPECT_FALSE(restore.RestoreDocResource(plain.c_str()));
    EXPECT_FALSE(FileExists(dir / L"plain.doc"));
    EXPECT_EQ(0u, Stats().Repaired);
}

TEST(MakeUniqueName, OnlyExistingPathsChange) {
    ScratchDir dir;
    LiveEffects fx;
    std::wstring path = dir / L"a.b.doc";
    EXPECT_FALSE(MakeUniqueName(fx, path, L".doc"));
    EXPECT_EQ(dir / L"a.b.doc", path);
    ASSERT_TRUE(WriteBytes(path, std::string("x")));
    EXPECT_TRUE(MakeUniqueName(fx, path, L".doc"));
    EXPECT_EQ(0u, path.find(dir / L"a"));
    EXPECT_EQ(L".doc", path.substr(path.size() - 4));
    EXPECT_EQ(std::wstring::npos, path.find(L".b"));
}

}  // namespace
