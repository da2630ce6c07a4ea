// Our own programs carry the detectors' patterns (in pieces) and import CreateProcessW: none of the content
// detectors may take them for a threat.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "cleaners/drive/ContentDetectors.h"
#include "disposal/PeResources.h"
#include "util/ProgramPath.h"

namespace {

TEST(SelfDetection, OwnImagesAreClean) {
    const std::wstring build = ProgramFolder() + L"\\..\\..";
    for (const std::wstring& image : {ProgramFilePath(), build + L"\\src\\veludisk.exe"}) {
        const auto bytes = ReadBytes(image);
        ASSERT_GT(bytes.size(), 10000u) << std::string(image.begin(), image.end());
        const std::string text(bytes.begin(), bytes.end());
        EXPECT_FALSE(IsDelphiInfector(bytes.data(), bytes.size()));
        EXPECT_FALSE(IsVbsInfector(bytes.data(), bytes.size()));
        EXPECT_FALSE(IsScriptDropper(bytes.data(), bytes.size()));
        EXPECT_FALSE(HasDocResourcePair(bytes.data(), bytes.size()));
        EXPECT_EQ(std::string::npos, text.find(std::string("Fonts\\HIDES") + "E")) << "(built here in two pieces too)";
    }
    const auto self = ReadBytes(ProgramFilePath());
    EXPECT_NE(std::string::npos, std::string(self.begin(), self.end()).find("CreateProcessW"))
        << "the test image imports CreateProcessW, as the program will";
}

}  // namespace
