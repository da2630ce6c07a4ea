// The Windows tests' entry. "--sleep" makes this program a stand-in process that other tests start and end
// (a process running this very image is what the update hand-over may end).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--sleep") == 0) {
        ::Sleep(60000);
        return 0;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
