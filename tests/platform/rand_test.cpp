// The run-time library's generator is the program's alone: a shared library in the same
// process that calls rand() gets the C library's, and the program's sequence (which decides
// what Circles draws) goes on untouched.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "test_device.h"

extern "C" int RandLibraryDraw(void);

namespace {

std::vector<int> programDraws(bool libraryDrawsToo) {
    TestDevice device;  // a fresh device: its generator starts at 1
    std::vector<int> draws;
    for (int i = 0; i < 6; ++i) {
        if (libraryDrawsToo) RandLibraryDraw();
        draws.push_back(rand());
    }
    return draws;
}

TEST(Rand, ALibrarysDrawsLeaveTheProgramsSequenceAlone) {
    const std::vector<int> expected{41, 18467, 6334, 26500, 19169, 15724};
    EXPECT_EQ(programDraws(false), expected);
    EXPECT_EQ(programDraws(true), expected);
}

TEST(Rand, TheExecutableDoesNotExportIt) {
    // What the dynamic linker hands a library that asks for rand: not the program's.
    void* bound = dlsym(RTLD_DEFAULT, "rand");
    ASSERT_NE(bound, nullptr);
    EXPECT_NE(bound, reinterpret_cast<void*>(&rand));
}

}  // namespace
