#include <gtest/gtest.h>

#include "TestSupport.h"
#include "util/WinHandle.h"

namespace {

bool IsOpenHandle(HANDLE h) {
    DWORD flags = 0;
    return ::GetHandleInformation(h, &flags) != 0;
}

TEST(UniqueHandle, ClosesOnceWhenItGoesAndMovesOwnership) {
    HANDLE raw = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(nullptr, raw);
    {
        KernelHandle a(raw);
        KernelHandle b(std::move(a));
        EXPECT_FALSE(a.Valid());
        EXPECT_EQ(raw, b.Get());
        KernelHandle c;
        c = std::move(b);
        EXPECT_TRUE(IsOpenHandle(raw));
    }
    EXPECT_FALSE(IsOpenHandle(raw));
}

TEST(UniqueHandle, ReleaseGivesUpOwnership) {
    KernelHandle a(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    HANDLE raw = a.Release();
    EXPECT_FALSE(a.Valid());
    EXPECT_TRUE(IsOpenHandle(raw));
    ::CloseHandle(raw);
}

TEST(UniqueHandle, FileAndFindHandlesUseTheirOwnInvalidValue) {
    ScratchDir dir;
    FileHandle missing(::CreateFileW((dir / L"none").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(missing.Valid());
    EXPECT_EQ(INVALID_HANDLE_VALUE, missing.Get());
    WIN32_FIND_DATAW data;
    FindHandle none(::FindFirstFileW((dir / L"*.none").c_str(), &data));
    EXPECT_FALSE(none.Valid());
    ASSERT_TRUE(WriteBytes(dir / L"a.txt", std::string("a")));
    FindHandle one(::FindFirstFileW((dir / L"*.txt").c_str(), &data));
    EXPECT_TRUE(one.Valid());
}

TEST(UniqueHandle, RegistryKeyThroughPut) {
    RegKey key;
    ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE", 0, KEY_READ, key.Put()));
    EXPECT_TRUE(key.Valid());
    key.Reset();
    EXPECT_FALSE(key.Valid());
}

}  // namespace
