// GoogleTest entry shared by every test program. On Windows a crash must fail loudly: under wine
// an unhandled access violation may end the process with exit code 0, and MinGW's GoogleTest
// has no SEH guard around tests. The filter names the test and exits with a code of its own.
#include <gtest/gtest.h>

#include <cstdio>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

constexpr UINT kCrashExitCode = 86;

LONG WINAPI reportCrash(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* rec = info ? info->ExceptionRecord : nullptr;
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    std::fflush(stdout);
    std::fprintf(stderr, "\nFATAL: unhandled exception 0x%08lx at %p in test %s.%s\n",
                 rec ? static_cast<unsigned long>(rec->ExceptionCode) : 0ul, rec ? rec->ExceptionAddress : nullptr,
                 test ? test->test_suite_name() : "(none)", test ? test->name() : "(none)");
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), kCrashExitCode); // no unwinding in a corrupted process
    return EXCEPTION_EXECUTE_HANDLER;
}

} // namespace
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
    // No error dialogs: they block an unattended run.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(reportCrash);
#endif
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
