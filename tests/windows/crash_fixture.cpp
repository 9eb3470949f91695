// A test program that crashes in its second test: the shared test main must turn that into
// a report naming the test and a distinct exit code, never a silent exit status 0.
#include <gtest/gtest.h>

TEST(CrashFixture, PassesFirst) { SUCCEED(); }

TEST(CrashFixture, DereferencesNull) {
    volatile int* volatile target = nullptr;
    *target = 42;
}
