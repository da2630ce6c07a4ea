// The core tests' entry on Windows: every test runs on a stack aligned as Windows aligns a thread's.
#include <gtest/gtest.h>

#include "support/MisalignedStack.h"

namespace {
int RunAll(void*) { return RUN_ALL_TESTS(); }
}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return RunOnMisalignedStack(&RunAll, nullptr);
}
