// The real plug-in file driven as a careless or hostile host would drive it. Nothing may crash,
// every output sample must be finite, and the notes the plug-in sends must all end. Built with
// the sanitizers, this is also the memory and thread check of the whole shell.
// Fixed seeds; KELO_TORTURE_CYCLES=500 ctest -R torture makes every loop 500 times longer.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <random>
#include <thread>
#include <tuple>
#include <vector>

#include "plugin/StateChunk.h"
#include "tests/plugin/ScratchHome.h"

namespace {

using namespace kelo;
using namespace kelo::test;
using host::Plugin;

int cycles() {
    const char* v = std::getenv("KELO_TORTURE_CYCLES");
    return std::max(1, v ? std::atoi(v) : 1);
}

struct Rng : std::mt19937 {
    using std::mt19937::mt19937;
    uint32_t next() { return uint32_t((*this)()); }
    int below(int n) { return int(next() % uint32_t(n)); }
    template <class C> auto pick(const C& a) { return a[size_t(below(int(std::size(a))))]; }
};

const float kEdgeFloats[] = {NAN, INFINITY, -INFINITY, 1e30f, -1e30f, -1, 2, 0, 1, 0.5f, -0.0f, FLT_MIN / 4};
const char kMidiOut[] = "MidiOutput = 1\nMidiOutputChannel = 2\nMidiTransmitKnobs = 1\nMidiKeyProgramming = 1\n";

// What came out of the plug-in: `broken` counts samples not finite or unequal between outputs.
struct Audit {
    int64_t broken = 0, subnormal = 0;
    float peak = 0.0f;
    void render(Plugin& p, int frames, const std::vector<host::MidiIn>& events = {}) {
        const host::Block b = p.render(frames, events);
        for (size_t i = 0; i < b.left.size(); ++i) {
            if (!std::isfinite(b.left[i]) || b.left[i] != b.right[i]) ++broken;
            else if (std::fpclassify(b.left[i]) == FP_SUBNORMAL) ++subnormal;
            else peak = std::max(peak, std::fabs(b.left[i]));
        }
    }
};

// `count` events of every kind a host might send, null entries and sysex among them, at wild
// offsets. `keepState`: only events that leave what a chunk saves as it was (no note-ons, no
// mapped controllers), for checks that read the state back.
struct EventList {
    std::vector<VstMidiEvent> midi;
    std::vector<VstMidiSysexEvent> sysex;
    std::vector<VstEvent*> pointers;
    char dump[6] = {char(0xF0), 0x7E, 0x7F, 0x09, 0x01, char(0xF7)};

    void send(Rng& r, Plugin& p, int count, int frames, bool keepState = false) {
        // Any statuses and controllers, or only those that keep the state.
        static const std::vector<int> statuses[2] = {
            {0x90, 0x90, 0x90, 0x80, 0x80, 0xB0, 0xB0, 0xE0, 0xC0, 0xD0, 0xA0, 0xF8, 0xFA, 0xFC},
            {0x80, 0xB0, 0xE0, 0xD0, 0xF8}};
        static const std::vector<int> controllers[2] = {{123, 126, 7, 74, 76, 64, 120, 121, 0, 127},
                                                        {123, 126, 120, 3, 9}};
        const int32_t offsets[] = {0, 0, 1, frames / 2, frames - 1, frames, -1, -100000, 1 << 30, INT32_MIN};
        midi.assign(size_t(count), VstMidiEvent{});
        sysex.assign(size_t(count), VstMidiSysexEvent{});
        pointers.assign(size_t(count), nullptr);
        for (size_t i = 0; i < size_t(count); ++i) {
            const int kind = r.below(20);
            if (kind == 0) continue;
            const int32_t offset = r.below(3) ? (frames > 0 ? r.below(frames) : 0) : r.pick(offsets);
            const int status = r.pick(statuses[keepState]) | (r.below(4) ? 0 : r.below(16));
            const int data1 = (status & 0xF0) == 0xB0 ? r.pick(controllers[keepState]) : r.below(4) ? r.below(20)
                                                                                                    : r.below(256);
            midi[i] = {kVstMidiType, int32_t(sizeof(VstMidiEvent)), offset, 0, 0, 0,
                       {char(status), char(data1), char(r.below(3) ? r.below(128) : r.below(256)), 0}, 0, 0, 0, 0};
            sysex[i] = {kVstSysExType, int32_t(sizeof(VstMidiSysexEvent)), offset, 0, 6, 0, dump, 0};
            void* event = kind == 1 ? static_cast<void*>(&sysex[i]) : &midi[i];
            pointers[i] = static_cast<VstEvent*>(event);
        }
        p.sendRawEvents(pointers.data(), count);
    }
};

// Notes left on downstream, in the order a host plays what was sent: by block, then offset (a
// message sent between blocks goes with the next one), then as sent. All-notes-off does not
// end a note: not every receiver honours it.
int notesLeftOn(const std::vector<host::SentMidi>& log) {
    std::vector<std::tuple<int64_t, int32_t, size_t>> order;
    for (size_t i = 0; i < log.size(); ++i) {
        const host::SentMidi& m = log[i];
        if (m.type != kVstMidiType) continue;
        order.emplace_back(m.block > 0 ? m.block : m.blocksStarted + 1, m.block > 0 ? m.deltaFrames : -1, i);
    }
    std::sort(order.begin(), order.end());
    bool on[16][128] = {};
    for (const auto& [block, offset, i] : order) {
        const uint8_t* b = log[i].bytes;
        const int kind = b[0] & 0xF0;
        if (kind == 0x80 || kind == 0x90) on[b[0] & 15][b[1] & 0x7F] = kind == 0x90 && b[2] > 0;
    }
    return int(std::count(&on[0][0], &on[0][0] + 16 * 128, true));
}

size_t settingsWordAt(int word) { return kChunkSettingsOffset + 4 * size_t(word); }

// A chunk whose every field holds a value the instance keeps as it is, so it must read back
// byte for byte: random patterns, program names and values, slots, and pattern choice.
Bytes validRandomChunk(Rng& r, const Bytes& base) {
    Bytes c = base;
    for (size_t b = kChunkBankOffset; b < kChunkSettingsOffset; ++b) c[b] = uint8_t(r.next());
    for (size_t i = 0; i < kNumPatterns; ++i)
        put(c, kChunkBankOffset + sizeof(Pattern) * i,
            uint32_t(1 + r.below(64)) | uint32_t(r.below(128)) << 8 | (r.below(2) ? 0x80000000u : 0u));
    for (size_t i = 0; i < kNumPrograms; ++i) c[kChunkProgramsOffset + 196 * i + 23] = 0; // name ends
    for (size_t i = 0; i < kNumParamSlots; ++i) put(c, kChunkSlotsOffset + 4 * i, float(r.below(1001)) / 1000.0f);
    put(c, settingsWordAt(kChunkWordCurrentPattern), r.below(kNumPatterns));
    put(c, settingsWordAt(kChunkWordCurrentProgram), r.below(kNumPrograms));
    put(c, settingsWordAt(kChunkWordEditCursor), 0);
    return c;
}

// Any bytes at all behind a mark the instance may accept.
Bytes garbageChunk(Rng& r) {
    Bytes c(kStateChunkSize + size_t(r.below(64)));
    for (uint8_t& b : c) b = uint8_t(r.next());
    const uint32_t marks[] = {uint32_t(kStateChunkMark), kStateChunkMarkSwapped, 0u, 201u};
    put(c, 0, r.pick(marks));
    for (int i = 0; i < 8; ++i) put(c, kChunkSlotsOffset + 4 * size_t(r.below(256)), r.pick(kEdgeFloats));
    return c;
}

// A mixed session: keys, controllers, tempo and rate changes, suspends, chunks, parameters at
// their edges, any block shape.
void randomSession(Plugin& p, Rng& r, int steps, Audit& audit) {
    static const int blockSizes[] = {0, 1, 2, 64, 127, 512, 512, 1024, 4096, 44101, -1, -512};
    static const double tempos[] = {120.0, 250.0, 1.0, 0.0, -5.0, 1e30, HUGE_VAL, NAN, 999.0, 1e-7};
    static const float rates[] = {44100, 48000, 96000, 22050, 8000, 2000, 1, 999, 1200, 1600, 1e9f};
    static const VstInt32 harmless[] = {effGetProgram,   effSetProgram,  effGetVstVersion, effCanBeAutomated,
                                        effGetPlugCategory, effSetBlockSize, effGetTailSize, effStartProcess,
                                        effStopProcess,  effSetBypass};
    EventList events;
    for (int i = 0; i < steps; ++i) {
        const int what = r.below(100);
        if (what < 60) {
            const int frames = r.pick(blockSizes);
            if (r.below(8)) events.send(r, p, r.below(10) ? r.below(6) : 500, frames);
            audit.render(p, frames);
        } else if (what < 75) {
            p.setParameter(r.below(300) - 20, r.below(2) ? r.pick(kEdgeFloats) : float(r.below(101)) / 100.0f);
        } else if (what < 80) {
            p.setTempo(r.pick(tempos));
        } else if (what < 85) {
            p.suspend();
            if (r.below(3) == 0) p.dispatcher(effSetSampleRate, 0, 0, nullptr, r.pick(rates));
            if (r.below(4)) p.resume();
        } else if (what < 92) {
            Bytes c = getChunk(p);
            put(c, settingsWordAt(kChunkWordMidiMode), r.below(4) - (r.below(8) == 0 ? 5 : 0));
            put(c, settingsWordAt(kChunkWordSyncMode), r.below(2));
            put(c, settingsWordAt(kChunkWordFlags), r.next() & 0x1FF);
            for (int k = 0; k < 6; ++k) put(c, kChunkSlotsOffset + 4 * size_t(r.below(16)), r.pick(kEdgeFloats));
            for (int k = 0; k < 40; ++k) c[kChunkBankOffset + size_t(r.below(128 * 132))] = uint8_t(r.next());
            setChunk(p, c);
        } else if (what < 96) {
            setChunk(p, garbageChunk(r));
        } else {
            p.dispatcher(r.pick(harmless), r.below(40) - 20, r.below(40) - 20, nullptr, r.pick(kEdgeFloats));
        }
    }
}

TEST(Torture, TwoInstancesOnTwoThreadsThenOpenAndCloseTwoHundredTimesWithSessionsThatEndEveryNote) {
    ScratchHome home;
    Audit audit, audits[2];
    // A few full loads and unloads of the file, then instances while it stays loaded, as in a
    // host: the last unload runs the file's static destructors, which the sanitizer cannot see
    // ordered after another thread's reads by the loader's lock.
    for (int i = 0; i < 2; ++i) ASSERT_TRUE(Plugin().load());
    Plugin keeper;
    ASSERT_TRUE(keeper.load()) << keeper.error();
    std::atomic<int> loaded{0};
    auto run = [&](int which) {
        Plugin p;
        if (!p.load()) return;
        loaded.fetch_add(1);
        p.start(which ? 48000.0f : 44100.0f, 512);
        Rng r{uint32_t(77 + which)};
        randomSession(p, r, 200 * cycles(), audits[which]);
    };
    std::thread a(run, 0), b(run, 1);
    a.join();
    b.join();
    EXPECT_EQ(loaded.load(), 2);
    EXPECT_EQ(audits[0].broken + audits[1].broken, 0);

    home.write("User.ini", kMidiOut);
    const int frames[] = {64, 0, 1, -7};
    Rng r{20240601};
    for (int i = 0; i < 200 * cycles(); ++i) {
        Plugin p;
        ASSERT_TRUE(p.load()) << p.error();
        if (i % 4 == 1) p.start();
        if (i % 4 >= 2) p.start(44100.0f, 64);
        // Blocks before any resume (and before a sample rate) too.
        if (i % 4 != 1) audit.render(p, frames[i / 4 % 4], {{0, 0x90, uint8_t(i % 128), 100}});
        if (i % 8 == 3) p.suspend();
        if (i % 25 != 0) continue;
        // A random session; then the host stops: the plug-in is resumed if it was left suspended
        // and hears all-notes-off, and whatever it sent must be over by the end of that block.
        p.setTempo(180.0);
        randomSession(p, r, 120, audit);
        p.resume();
        audit.render(p, 512, {{0, 0xB0, 123, 0}});
        EXPECT_EQ(notesLeftOn(p.sentMidi()), 0) << "session " << i;
    }
    EXPECT_EQ(audit.broken, 0);
}

TEST(Torture, EveryOpcodeWithEdgeArgumentsThenExtremeValuesRatesBlocksAndEvents) {
    ScratchHome home;
    home.write("User.ini", kMidiOut);
    Plugin p;
    ASSERT_TRUE(p.load()) << p.error();
    // Zeroed memory large enough for any record or text an opcode may read or write, a chunk too.
    std::vector<uint8_t> memory(1 << 16, 0);
    void* pointers[] = {nullptr, memory.data()};
    const VstInt32 indexes[] = {0, 1, -1, 12, 13, 16, 255, 256, INT32_MAX, INT32_MIN};
    const VstIntPtr values[] = {0, 1, -1, 127, 44100, INT32_MAX, INT32_MIN, std::numeric_limits<VstIntPtr>::max()};
    Rng r{0x5EED};
    Audit audit;
    for (int round = 0; round < cycles(); ++round) {
        for (VstInt32 op = 0; op <= 80; ++op) {
            if (op == effClose) continue;
            for (int k = 0; k < 24; ++k) {
                // Here `value` is a pointer too, and a window handle is no memory of ours.
                const bool pointerValue = op == effSetSpeakerArrangement || op == effGetSpeakerArrangement;
                const VstIntPtr value = pointerValue ? VstIntPtr(r.pick(pointers)) : r.pick(values);
                std::fill(memory.begin(), memory.end(), 0);
                p.dispatcher(op, r.pick(indexes), value, op == effEditOpen ? nullptr : r.pick(pointers),
                             r.pick(kEdgeFloats));
            }
            p.dispatcher(effEditClose);
            p.resume();
            audit.render(p, 256, {{0, 0x90, uint8_t(op), 127}, {3, 0xB0, 74, uint8_t(op)}});
        }
    }
    EXPECT_EQ(audit.broken, 0);

    EventList events;
    // 1000 to 1650 Hz closely: the edge where the fastest lag stops being stable.
    const float rates[] = {1, 10, 100, 999, 1000, 1100, 1250, 1400, 1500, 1589, 1590, 1591, 1600, 1650,
                           2000, 4000, 8000, 22050, 44100, 96000, 192000, 384000, 1e6f, 1e8f, 1e9f};
    for (int round = 0; round < cycles(); ++round) {
        for (float rate : rates) {
            const int64_t brokenBefore = audit.broken;
            p.suspend();
            p.start(rate, 512);
            // Pattern 0's steps (from byte 12): accented notes, sliding and not; every knob at its top.
            Bytes c = getChunk(p);
            for (size_t s = 0; s < 16; ++s)
                put<uint16_t>(c, 12 + 2 * s, s * 5 % 13 | (StepGate | StepAccent | (s % 3 ? 0 : StepSlide)) << 8);
            setChunk(p, c);
            for (int slot = 0; slot < 13; ++slot) p.setParameter(slot, slot == 9 ? 0.5f : 1.0f);
            audit.render(p, 512, {{0, 0x90, 0, 127}, {100, 0xB0, 74, 127}});
            for (int frames : {512, 512, 512, 512, 512, 512, 512, 4096}) audit.render(p, frames);
            audit.render(p, 512, {{0, 0x80, 0, 0}});
            EXPECT_EQ(audit.broken, brokenBefore) << "samples not finite at " << rate << " Hz";
        }
        p.suspend();
        p.start(44100.0f, 512);
        // Every parameter slot at every edge value, then a block.
        for (float v : kEdgeFloats) {
            for (int slot = -3; slot < 260; ++slot) p.setParameter(slot, v);
            audit.render(p, 300, {{0, 0x90, 7, 127}});
            for (int slot = 0; slot < 256; ++slot)
                ASSERT_TRUE(p.getParameter(slot) >= 0.0f && p.getParameter(slot) <= 1.0f) << slot << " after " << v;
        }
        // Block shapes beyond the render buffer and below zero, with 500 events of every kind.
        for (int frames : {0, 1, 44101, 262144, -1, -44100, 3}) {
            events.send(r, p, 500, frames);
            audit.render(p, frames);
        }
    }
    EXPECT_EQ(audit.broken, 0);
}

TEST(Torture, ChunksSetOnOneThreadWhileAnotherRenders) {
    ScratchHome home; // no MIDI output: the test host records nothing from two threads
    Plugin p;
    ASSERT_TRUE(p.load()) << p.error();
    p.start(44100.0f, 256);
    std::atomic<bool> done{false};
    std::atomic<int64_t> blocks{0};
    Audit audioAudit;
    std::thread audio([&] {
        Rng r{99};
        EventList events;
        while (!done.load()) {
            const int frames = r.below(8) ? 256 : 4096;
            events.send(r, p, r.below(4), frames, true);
            audioAudit.render(p, frames);
            blocks.fetch_add(1);
        }
    });
    Rng r{1234};
    const Bytes base = getChunk(p);
    int roundTrips = 0;
    for (int i = 0; i < 60 * cycles(); ++i) {
        const Bytes c = validRandomChunk(r, base);
        setChunk(p, c);
        roundTrips += getChunk(p) == c;
        setChunk(p, garbageChunk(r));
        for (int k = 0; k < 8; ++k) p.setParameter(r.below(13), r.pick(kEdgeFloats));
        // Let some of the hand-overs meet a block boundary, some meet a block in progress.
        const int64_t seen = blocks.load();
        while (i % 3 == 0 && blocks.load() == seen) std::this_thread::yield();
    }
    done = true;
    audio.join();
    EXPECT_EQ(roundTrips, 60 * cycles()) << "chunks that did not read back as set";
    EXPECT_GT(blocks.load(), 0);
    EXPECT_EQ(audioAudit.broken, 0);
}

TEST(Torture, SilenceAfterResonanceHasNoDenormals) {
    ScratchHome home;
    for (float cutoff : {0.05f, 0.5f, 1.0f}) {
        Plugin p;
        ASSERT_TRUE(p.load()) << p.error();
        p.start(44100.0f, 512);
        Bytes c = getChunk(p);
        put(c, settingsWordAt(kChunkWordMidiMode), 1); // note mode: one note, then nothing
        setChunk(p, c);
        for (int i = 0; i < 13; ++i) p.setParameter(i, i == 1 ? cutoff : i == 0 || i == 9 ? 0.5f : i == 10 ? 0 : 1);
        Audit sound, tail;
        // The note, two seconds for it to die away, then a second that must be silent.
        sound.render(p, 512, {{0, 0x90, 40, 127}, {300, 0x80, 40, 0}});
        for (int b = 1; b < 258; ++b) (b < 172 ? sound : tail).render(p, 512);
        EXPECT_GT(sound.peak, 0.01f) << "cutoff " << cutoff;
        EXPECT_EQ(sound.broken + tail.broken + sound.subnormal + tail.subnormal, 0) << "cutoff " << cutoff;
        EXPECT_LT(tail.peak, 1e-4f) << "cutoff " << cutoff;
    }
}

} // namespace
