// The console scanner's estimate of what lies ahead: every file's bytes under the roots, nested folders and
// hidden files included, counted while the caller goes on.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "scan/ScanEstimate.h"

namespace {

std::uint64_t WaitForTotal(const ScanEstimate& estimate) {
    for (int i = 0; i < 200 && estimate.TotalBytes() == 0; ++i) ::Sleep(50);
    return estimate.TotalBytes();
}

TEST(ScanEstimate, CountsEveryFileUnderEveryRoot) {
    ScratchDir first(L"U:"), second(L"T:");
    ASSERT_TRUE(::CreateDirectoryW((first / L"a").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((first / L"a\\b").c_str(), nullptr));
    ASSERT_TRUE(WriteBytes(first / L"top.bin", PatternBytes(1000, 1)));
    ASSERT_TRUE(WriteBytes(first / L"a\\b\\deep.bin", PatternBytes(70000, 2)));
    ASSERT_TRUE(WriteBytes(first / L"a\\hidden.bin", PatternBytes(5, 3)));
    ASSERT_TRUE(::SetFileAttributesW((first / L"a\\hidden.bin").c_str(), FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(WriteBytes(second / L"other.bin", PatternBytes(123, 4)));
    ScanEstimate estimate;
    estimate.Start({first.Path() + L"\\", second.Path() + L"\\", L"U:\\no-such-folder\\"});
    EXPECT_EQ(1000u + 70000u + 5u + 123u, WaitForTotal(estimate));
}

TEST(ScanEstimate, NothingIsKnownWithoutRoots) {
    ScanEstimate estimate;
    estimate.Start({});
    ::Sleep(100);
    EXPECT_EQ(0u, estimate.TotalBytes());
}

}  // namespace
