// The audio path must never allocate. Every allocation of this test program, the plug-in's
// included (it shares the C++ runtime and, on glibc, malloc), passes through the counters.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "host/Plugin.h"
#include "tests/plugin/ScratchHome.h"

namespace {
std::atomic<bool> counting{false};
std::atomic<long> allocations{0};
std::atomic<size_t> largestNothrowNew{0};

void noteAllocation() {
    if (counting.load(std::memory_order_relaxed)) allocations.fetch_add(1, std::memory_order_relaxed);
}
} // namespace

// These are the allocation functions of the whole program, so free() is their matching release;
// GCC cannot tell once they are inlined into a new-expression.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void* operator new(std::size_t n) {
    noteAllocation();
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    noteAllocation();
    if (n > largestNothrowNew.load()) largestNothrowNew = n;
    return std::malloc(n ? n : 1);
}
// The array forms the runtime provides call these.
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__)
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void __libc_free(void*);

void* malloc(size_t n) { return noteAllocation(), __libc_malloc(n); }
void* calloc(size_t n, size_t size) { return noteAllocation(), __libc_calloc(n, size); }
void* realloc(void* p, size_t n) { return noteAllocation(), __libc_realloc(p, n); }
void free(void* p) { __libc_free(p); }
}
#endif

namespace {

using kelo::host::MidiIn;

TEST(Allocation, NoneWhileProcessingEventsAndRendering) {
#if defined(_WIN32)
    GTEST_SKIP() << "the plug-in DLL links its runtime statically: its allocator is out of sight";
#endif
    kelo::test::Kelo k("MidiOutput = 1\nMidiOutputChannel = 0\nMidiTransmitKnobs = 1\n");
    // The entry creates the instance (a few hundred kilobytes) with a nothrow new: the counters
    // see the plug-in's allocations, or a pass below would mean nothing.
    EXPECT_GT(largestNothrowNew.load(), size_t(100000));
    const std::vector<MidiIn> start = {{0, 0x90, 0, 127}, {3, 0xB0, 74, 90}, {3, 0xB0, 7, 100}};
    const std::vector<MidiIn> moves = {{100, 0xB0, 71, 30}, {50, 0xB0, 74, 64}, {511, 0xE0, 0, 64}};
    const std::vector<MidiIn> stop = {{200, 0x80, 0, 0}, {300, 0xB0, 123, 0}};
    std::vector<float> left(512), right(512);
    k->render(512); // first touch of everything outside the measured region
    k->clearLogs();

    allocations = 0;
    counting = true;
    for (int i = 0; i < 42; ++i) {
        if (i % 4 == 0 || i == 41) k->sendEvents(i == 0 ? start : i == 41 ? stop : moves);
        k->process(512, left.data(), right.data());
    }
    counting = false;
    EXPECT_EQ(allocations.load(), 0);
    // The run did exercise MIDI output: knob echoes and sequencer notes went to the host.
    const auto& sent = k->sentMidi();
    auto sentOf = [&](int kind) {
        return std::count_if(sent.begin(), sent.end(), [&](const auto& m) { return (m.bytes[0] & 0xF0) == kind; });
    };
    EXPECT_TRUE(sentOf(0x90) > 2 && sentOf(0xB0) > 4) << sentOf(0x90) << " notes, " << sentOf(0xB0) << " CCs";
}

} // namespace
