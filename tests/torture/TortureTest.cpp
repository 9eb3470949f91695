// The real plug-in file driven as a careless or hostile host would drive it: every opcode with
// edge arguments, absurd parameter values, sample rates and block sizes, wild event lists,
// chunks replaced while another thread renders. Nothing may crash, every output sample must be
// finite, and the notes the plug-in sends must all end. Built with the sanitizers, this is also
// the memory and thread check of the whole shell.
//
// Fixed seeds; every loop is bounded by KELO_TORTURE_CYCLES (default 1, a few seconds). For a
// long run by hand: KELO_TORTURE_CYCLES=500 ctest -R torture --output-on-failure
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <thread>
#include <vector>

#include "host/Plugin.h"
#include "plugin/StateChunk.h"
#include "tests/plugin/ScratchHome.h"

namespace {

using namespace kelo;
using host::Plugin;
using host::SentMidi;
using Bytes = std::vector<uint8_t>;

int cycles() {
    const char* v = std::getenv("KELO_TORTURE_CYCLES");
    const int n = v ? std::atoi(v) : 1;
    return n > 0 ? n : 1;
}

struct Rng {
    uint64_t s;
    uint32_t next() {
        s ^= s << 13, s ^= s >> 7, s ^= s << 17;
        return uint32_t(s >> 32);
    }
    int below(int n) { return int(next() % uint32_t(n)); }
    template <class T, size_t N> T pick(const T (&a)[N]) { return a[below(int(N))]; }
};

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();
const float kEdgeFloats[] = {kNaN, kInf, -kInf, 1e30f, -1e30f, -1.0f, 2.0f, 0.0f, 1.0f, 0.5f, -0.0f, FLT_MIN / 4};

// Output samples the plug-in must never produce, counted: `broken` are not finite or differ
// between the two outputs.
struct Audit {
    int64_t broken = 0, subnormal = 0;
    float peak = 0.0f;
    void take(const float* x, int n) {
        for (int i = 0; i < n; ++i) {
            if (!std::isfinite(x[i])) ++broken;
            else if (std::fpclassify(x[i]) == FP_SUBNORMAL) ++subnormal;
            else peak = std::max(peak, std::fabs(x[i]));
        }
    }
};

// One processReplacing of `frames` (any int) into buffers large enough for it.
void render(Plugin& p, int frames, Audit& audit) {
    static thread_local std::vector<float> left, right;
    const size_t n = frames > 0 ? size_t(frames) : 0;
    if (left.size() < n + 1) left.resize(n + 1), right.resize(n + 1);
    p.process(frames, left.data(), right.data());
    audit.take(left.data(), int(n));
    if (n && std::memcmp(left.data(), right.data(), n * sizeof(float)) != 0) ++audit.broken;
}

// A list of `count` events of every kind the host might send, at wild offsets.
struct EventList {
    std::vector<VstMidiEvent> midi;
    std::vector<VstMidiSysexEvent> sysex;
    std::vector<VstEvent*> pointers;
    char dump[8] = {char(0xF0), 0x7E, 0x7F, 0x09, 0x01, char(0xF7)};

    // `keepState`: only events that leave the state a chunk saves as it is (no note-ons, no
    // mapped controllers), for checks that read the state back.
    void build(Rng& r, int count, int frames, bool keepState = false) {
        midi.assign(size_t(count), VstMidiEvent{});
        sysex.assign(size_t(count), VstMidiSysexEvent{});
        pointers.clear();
        const int32_t offsets[] = {0, 0, 1, frames / 2, frames - 1, frames, -1, -100000, 1 << 30, INT32_MIN};
        for (int i = 0; i < count; ++i) {
            const int kind = r.below(20);
            if (kind == 0) {
                pointers.push_back(nullptr);
                continue;
            }
            const int32_t offset = r.below(3) ? (frames > 0 ? r.below(frames) : 0) : r.pick(offsets);
            if (kind == 1) {
                VstMidiSysexEvent& e = sysex[size_t(i)];
                e.type = kVstSysExType;
                e.byteSize = sizeof e;
                e.deltaFrames = offset;
                e.dumpBytes = 6;
                e.sysexDump = dump;
                pointers.push_back(reinterpret_cast<VstEvent*>(&e));
                continue;
            }
            static const uint8_t statuses[] = {0x90, 0x90, 0x90, 0x80, 0x80, 0xB0, 0xB0, 0xE0, 0xC0, 0xD0, 0xA0, 0xF8, 0xFA, 0xFC};
            static const uint8_t controllers[] = {123, 126, 7, 74, 76, 64, 120, 121, 0, 127};
            VstMidiEvent& e = midi[size_t(i)];
            e.type = kVstMidiType;
            e.byteSize = sizeof e;
            e.deltaFrames = offset;
            static const uint8_t keepingStatuses[] = {0x80, 0xB0, 0xE0, 0xD0, 0xF8};
            static const uint8_t keepingControllers[] = {123, 126, 120, 3, 9};
            const uint8_t status = uint8_t((keepState ? r.pick(keepingStatuses) : r.pick(statuses)) |
                                           (r.below(4) ? 0 : r.below(16)));
            const uint8_t controller = keepState ? r.pick(keepingControllers) : r.pick(controllers);
            e.midiData[0] = char(status);
            e.midiData[1] = char((status & 0xF0) == 0xB0 ? controller : (r.below(4) ? r.below(20) : r.below(256)));
            e.midiData[2] = char(r.below(3) ? r.below(128) : r.below(256));
            pointers.push_back(reinterpret_cast<VstEvent*>(&e));
        }
    }
};

// Notes left on downstream by what the plug-in sent, read in the order a host plays it:
// by block, then by offset (a message sent between blocks goes with the next one), then as
// sent. All-notes-off is not counted as ending a note: not every receiver honours it.
int notesLeftOn(const std::vector<SentMidi>& log) {
    struct Timed {
        int64_t block;
        int32_t offset;
        size_t order;
        const SentMidi* m;
    };
    std::vector<Timed> t;
    for (size_t i = 0; i < log.size(); ++i) {
        const SentMidi& m = log[i];
        if (m.type != kVstMidiType) continue;
        t.push_back(m.block > 0 ? Timed{m.block, m.deltaFrames, i, &m} : Timed{m.blocksStarted + 1, -1, i, &m});
    }
    std::sort(t.begin(), t.end(), [](const Timed& a, const Timed& b) {
        return a.block != b.block ? a.block < b.block : a.offset != b.offset ? a.offset < b.offset : a.order < b.order;
    });
    bool on[16][128] = {};
    for (const Timed& e : t) {
        const uint8_t status = e.m->bytes[0], note = e.m->bytes[1] & 0x7F;
        if ((status & 0xF0) == 0x90 && e.m->bytes[2] > 0) on[status & 15][note] = true;
        if ((status & 0xF0) == 0x80 || ((status & 0xF0) == 0x90 && e.m->bytes[2] == 0)) on[status & 15][note] = false;
    }
    int left = 0;
    for (auto& channel : on)
        for (bool b : channel) left += b;
    return left;
}

Bytes getChunk(Plugin& p) {
    void* data = nullptr;
    const VstIntPtr n = p.dispatcher(effGetChunk, 0, 0, &data);
    if (n <= 0 || !data) return {};
    return Bytes(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + n);
}

void setChunk(Plugin& p, Bytes& c) { p.dispatcher(effSetChunk, 0, VstIntPtr(c.size()), c.data()); }

void putWord(Bytes& c, size_t offset, uint32_t v) { std::memcpy(c.data() + offset, &v, 4); }
void putFloat(Bytes& c, size_t offset, float v) { std::memcpy(c.data() + offset, &v, 4); }

// A chunk in which every field holds a value the instance keeps as it is, so reading it back
// must give the same bytes: random patterns, programs, slots and settings. Flag bits 0 and 1
// belong to the user's settings files and are taken from `base`.
Bytes validRandomChunk(Rng& r, const Bytes& base) {
    Bytes c = base;
    for (int i = 0; i < kNumPatterns; ++i) {
        const size_t at = kChunkBankOffset + sizeof(Pattern) * size_t(i);
        putWord(c, at, uint32_t(1 + r.below(64)) | uint32_t(r.below(128)) << 8 | (r.below(2) ? 0x80000000u : 0u));
        for (size_t b = 4; b < sizeof(Pattern); ++b) c[at + b] = uint8_t(r.next());
    }
    for (size_t b = kChunkProgramsOffset; b < kChunkSettingsOffset; ++b) c[b] = uint8_t(r.next());
    for (int i = 0; i < kNumPrograms; ++i) {
        const size_t at = kChunkProgramsOffset + sizeof(ProgramRecord) * size_t(i);
        c[at + kProgramNameSize - 1] = 0;
    }
    for (int i = 0; i < kNumParamSlots; ++i) putFloat(c, kChunkSlotsOffset + 4 * size_t(i), float(r.below(1001)) / 1000.0f);
    const size_t w = kChunkSettingsOffset;
    const uint32_t current = uint32_t(r.below(kNumPatterns));
    uint32_t steps;
    std::memcpy(&steps, c.data() + kChunkBankOffset + sizeof(Pattern) * current, 4);
    putWord(c, w + 4 * kChunkWordMidiMode, uint32_t(r.below(3)));
    putWord(c, w + 4 * kChunkWordSyncMode, uint32_t(r.below(2)));
    putWord(c, w + 4 * kChunkWordEditCursor, uint32_t(r.below(int(steps & 0x7F))));
    putWord(c, w + 4 * kChunkWordCurrentPattern, current);
    putWord(c, w + 4 * kChunkWordEditAdvance, uint32_t(r.below(2)));
    putWord(c, w + 4 * kChunkWordCurrentProgram, uint32_t(r.below(kNumPrograms)));
    uint32_t baseFlags;
    std::memcpy(&baseFlags, base.data() + w + 4 * kChunkWordFlags, 4);
    putWord(c, w + 4 * kChunkWordFlags, (r.next() & 0x1FCu) | (baseFlags & 3u));
    return c;
}

// Any bytes at all behind a mark the instance accepts.
Bytes garbageChunk(Rng& r) {
    Bytes c(kStateChunkSize + size_t(r.below(64)));
    for (uint8_t& b : c) b = uint8_t(r.next());
    const uint32_t marks[] = {uint32_t(kStateChunkMark), kStateChunkMarkSwapped, 0u, 201u};
    putWord(c, 0, r.pick(marks));
    for (int i = 0; i < 8; ++i) putFloat(c, kChunkSlotsOffset + 4 * size_t(r.below(kNumParamSlots)), r.pick(kEdgeFloats));
    return c;
}

// A mixed pattern session: keys, controllers, tempo and rate changes, suspends, chunks,
// parameters at their edges, any block shape.
void randomSession(Plugin& p, Rng& r, int steps, Audit& audit) {
    EventList events;
    const int blockSizes[] = {0, 1, 2, 64, 127, 512, 512, 1024, 4096, 44101, -1, -512};
    const double tempos[] = {120.0, 250.0, 1.0, 0.0, -5.0, 1e30, std::numeric_limits<double>::infinity(),
                             std::numeric_limits<double>::quiet_NaN(), 999.0, 1e-7};
    const float rates[] = {44100.0f, 48000.0f, 96000.0f, 22050.0f, 8000.0f, 2000.0f, 1.0f, 999.0f, 1200.0f, 1600.0f, 1e9f};
    for (int i = 0; i < steps; ++i) {
        const int what = r.below(100);
        if (what < 60) {
            const int frames = r.pick(blockSizes);
            events.build(r, r.below(10) ? r.below(6) : 500, frames);
            if (r.below(8)) p.sendRawEvents(events.pointers.data(), int(events.pointers.size()));
            render(p, frames, audit);
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
            if (c.empty()) continue;
            const size_t w = kChunkSettingsOffset;
            putWord(c, w + 4 * kChunkWordMidiMode, uint32_t(r.below(4) - (r.below(8) == 0 ? 5 : 0)));
            putWord(c, w + 4 * kChunkWordSyncMode, uint32_t(r.below(2)));
            putWord(c, w + 4 * kChunkWordFlags, r.next() & 0x1FF);
            for (int k = 0; k < 6; ++k) putFloat(c, kChunkSlotsOffset + 4 * size_t(r.below(16)), r.pick(kEdgeFloats));
            for (int k = 0; k < 40; ++k) c[kChunkBankOffset + size_t(r.below(int(sizeof(PatternBank))))] = uint8_t(r.next());
            setChunk(p, c);
        } else if (what < 96) {
            Bytes c = garbageChunk(r);
            setChunk(p, c);
        } else {
            static const VstInt32 harmless[] = {effGetProgram, effSetProgram, effGetVstVersion, effCanBeAutomated,
                                                effGetPlugCategory, effSetBlockSize, effGetTailSize, effStartProcess,
                                                effStopProcess, effSetBypass};
            p.dispatcher(r.pick(harmless), r.below(40) - 20, r.below(40) - 20, nullptr, r.pick(kEdgeFloats));
        }
    }
}

const char kMidiOut[] = "MidiOutput = 1\nMidiOutputChannel = 2\nMidiTransmitKnobs = 1\nMidiKeyProgramming = 1\n";

TEST(Torture, OpenAndCloseTwoHundredTimes) {
    test::ScratchHome home;
    home.write("User.ini", kMidiOut);
    Audit audit;
    // A few full loads and unloads of the file, then instances while it stays loaded (as
    // hosts do when they scan and open projects).
    for (int i = 0; i < 2; ++i) {
        Plugin p;
        ASSERT_TRUE(p.load()) << p.error();
    }
    Plugin keeper;
    ASSERT_TRUE(keeper.load()) << keeper.error();
    for (int i = 0; i < 200 * cycles(); ++i) {
        Plugin p;
        ASSERT_TRUE(p.load()) << p.error();
        if (i % 4 == 1) p.start();
        if (i % 4 >= 2) {
            p.start(44100.0f, 64);
            p.sendEvents({{0, 0x90, uint8_t(i % 128), 100}});
            render(p, 64, audit);
        }
        if (i % 8 == 3) p.suspend();
    }
    EXPECT_EQ(audit.broken, 0);
}

TEST(Torture, EveryOpcodeWithEdgeArguments) {
    test::ScratchHome home;
    home.write("User.ini", kMidiOut);
    Plugin p;
    ASSERT_TRUE(p.load()) << p.error();
    // Zeroed memory large enough for any record or text an opcode may read or write, with a
    // chunk's worth of bytes behind it.
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
                VstIntPtr value = r.pick(values);
                void* ptr = r.pick(pointers);
                // Here `value` is a pointer too, and a window handle is no memory of ours.
                if (op == effSetSpeakerArrangement || op == effGetSpeakerArrangement)
                    value = reinterpret_cast<VstIntPtr>(r.pick(pointers));
                if (op == effEditOpen) ptr = nullptr;
                std::memset(memory.data(), 0, memory.size());
                p.dispatcher(op, r.pick(indexes), value, ptr, r.pick(kEdgeFloats));
            }
            p.dispatcher(effEditClose);
            p.resume();
            p.sendEvents({{0, 0x90, uint8_t(op), 127}, {3, 0xB0, 74, uint8_t(op)}});
            render(p, 256, audit);
        }
    }
    p.dispatcher(effSetSampleRate, 0, 0, nullptr, 44100.0f);
    p.resume();
    render(p, 512, audit);
    EXPECT_EQ(audit.broken, 0);
}

TEST(Torture, ExtremeValuesRatesBlocksAndEvents) {
    test::ScratchHome home;
    home.write("User.ini", kMidiOut);
    Audit audit;
    {
        // Processing before any resume, and before a sample rate was set.
        Plugin p;
        ASSERT_TRUE(p.load()) << p.error();
        p.sendEvents({{0, 0x90, 1, 127}});
        for (int frames : {512, 0, 1, -7}) render(p, frames, audit);
    }
    Plugin p;
    ASSERT_TRUE(p.load()) << p.error();
    Rng r{42};
    EventList events;
    // 1000 to 1650 Hz closely: the edge where the fastest lag stops being stable.
    const float rates[] = {1.0f, 10.0f, 100.0f, 999.0f, 1000.0f, 1100.0f, 1250.0f, 1400.0f, 1500.0f,
                           1589.0f, 1590.0f, 1591.0f, 1600.0f, 1650.0f, 2000.0f, 4000.0f, 8000.0f, 22050.0f,
                           44100.0f, 96000.0f, 192000.0f, 384000.0f, 1e6f, 1e8f, 1e9f};
    for (int round = 0; round < cycles(); ++round) {
        for (float rate : rates) {
            const int64_t brokenBefore = audit.broken;
            p.suspend();
            p.start(rate, 512);
            // Accented notes, sliding and not, with every knob at its top.
            Bytes c = getChunk(p);
            for (int s = 0; s < 16; ++s) {
                c[kChunkBankOffset + 4 + 2 * size_t(s)] = uint8_t(s * 5 % 13);
                c[kChunkBankOffset + 5 + 2 * size_t(s)] = uint8_t(StepGate | StepAccent | (s % 3 ? 0 : StepSlide));
            }
            setChunk(p, c);
            for (int slot = 0; slot < 13; ++slot) p.setParameter(slot, slot == 9 ? 0.5f : 1.0f);
            p.sendEvents({{0, 0x90, 0, 127}, {100, 0xB0, 74, 127}});
            for (int b = 0; b < 8; ++b) render(p, 512, audit);
            render(p, 4096, audit);
            p.sendEvents({{0, 0x80, 0, 0}});
            render(p, 512, audit);
            EXPECT_EQ(audit.broken, brokenBefore) << "samples not finite at " << rate << " Hz";
        }
        p.suspend();
        p.start(44100.0f, 512);
        // Every parameter slot at every edge value, then a block.
        for (float v : kEdgeFloats) {
            for (int slot = -3; slot < 260; ++slot) p.setParameter(slot, v);
            p.sendEvents({{0, 0x90, 7, 127}});
            render(p, 300, audit);
            for (int slot = 0; slot < 256; ++slot) {
                const float got = p.getParameter(slot);
                ASSERT_TRUE(got >= 0.0f && got <= 1.0f) << "slot " << slot << " holds " << got << " after " << v;
            }
        }
        // Block shapes beyond the render buffer and below zero; event lists of every kind.
        for (int frames : {0, 1, 44101, 262144, -1, -44100, 3}) {
            events.build(r, 500, frames);
            p.sendRawEvents(events.pointers.data(), int(events.pointers.size()));
            render(p, frames, audit);
        }
    }
    EXPECT_EQ(audit.broken, 0);
}

TEST(Torture, RandomSessionsEndEveryNoteTheySent) {
    test::ScratchHome home;
    home.write("User.ini", kMidiOut);
    Rng r{20240601};
    Audit audit;
    int sessions = 0;
    for (int s = 0; s < 8 * cycles(); ++s) {
        Plugin p;
        ASSERT_TRUE(p.load()) << p.error();
        p.start(44100.0f, 512);
        p.setTempo(180.0);
        p.sendEvents({{0, 0x90, uint8_t(r.below(16)), 100}});
        render(p, 512, audit);
        randomSession(p, r, 120, audit);
        // The host stops: the plug-in is resumed if it was left suspended and hears
        // all-notes-off; whatever it sent must be over by the end of that block.
        p.resume();
        p.sendEvents({{0, 0xB0, 123, 0}});
        render(p, 512, audit);
        EXPECT_EQ(notesLeftOn(p.sentMidi()), 0) << "session " << s;
        ++sessions;
    }
    EXPECT_EQ(audit.broken, 0);
    EXPECT_EQ(sessions, 8 * cycles());
}

TEST(Torture, ChunksSetOnOneThreadWhileAnotherRenders) {
    test::ScratchHome home; // no MIDI output: the test host records nothing from two threads
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
            events.build(r, r.below(4), frames, true);
            p.sendRawEvents(events.pointers.data(), int(events.pointers.size()));
            render(p, frames, audioAudit);
            blocks.fetch_add(1);
        }
    });
    Rng r{1234};
    const Bytes base = getChunk(p);
    int roundTrips = 0;
    for (int i = 0; i < 60 * cycles(); ++i) {
        Bytes c = validRandomChunk(r, base);
        setChunk(p, c);
        const Bytes back = getChunk(p);
        EXPECT_TRUE(back == c) << "chunk " << i << " did not read back as set";
        roundTrips += back == c;
        Bytes g = garbageChunk(r);
        setChunk(p, g);
        for (int k = 0; k < 8; ++k) p.setParameter(r.below(13), r.pick(kEdgeFloats));
        // Let some of the hand-overs meet a block boundary, some meet a block in progress.
        const int64_t seen = blocks.load();
        while (i % 3 == 0 && blocks.load() == seen) std::this_thread::yield();
    }
    done = true;
    audio.join();
    EXPECT_EQ(roundTrips, 60 * cycles());
    EXPECT_GT(blocks.load(), 0);
    EXPECT_EQ(audioAudit.broken, 0);
}

TEST(Torture, TwoInstancesOnTwoThreads) {
    test::ScratchHome home;
    // The file stays loaded, as in a host: its last unload runs its static destructors, which
    // the sanitizer cannot see ordered after the other thread's reads by the loader's lock.
    Plugin keeper;
    ASSERT_TRUE(keeper.load()) << keeper.error();
    Audit audits[2];
    std::atomic<int> loaded{0};
    auto run = [&](int which) {
        Plugin p;
        if (!p.load()) return;
        loaded.fetch_add(1);
        p.start(which ? 48000.0f : 44100.0f, 512);
        Rng r{uint64_t(77 + which)};
        randomSession(p, r, 200 * cycles(), audits[which]);
    };
    std::thread a(run, 0), b(run, 1);
    a.join();
    b.join();
    EXPECT_EQ(loaded.load(), 2);
    EXPECT_EQ(audits[0].broken + audits[1].broken, 0);
}

TEST(Torture, SilenceAfterResonanceHasNoDenormals) {
    test::ScratchHome home;
    for (float cutoff : {0.05f, 0.5f, 1.0f}) {
        Plugin p;
        ASSERT_TRUE(p.load()) << p.error();
        p.start(44100.0f, 512);
        Bytes c = getChunk(p);
        putWord(c, kChunkSettingsOffset + 4 * kChunkWordMidiMode, 1); // note mode: one note, then nothing
        setChunk(p, c);
        const float values[13] = {0.5f, cutoff, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 0.5f, 0.0f, 1.0f, 1.0f};
        for (int i = 0; i < 13; ++i) p.setParameter(i, values[i]);
        Audit sound, tail;
        p.sendEvents({{0, 0x90, 40, 127}, {300, 0x80, 40, 0}});
        // The note, two seconds for it to die away, then a second that must be silent.
        for (int b = 0; b < 172; ++b) render(p, 512, sound);
        for (int b = 0; b < 86; ++b) render(p, 512, tail);
        EXPECT_GT(sound.peak, 0.01f) << "cutoff " << cutoff;
        EXPECT_EQ(sound.broken + tail.broken, 0);
        EXPECT_EQ(sound.subnormal + tail.subnormal, 0) << "cutoff " << cutoff;
        EXPECT_LT(tail.peak, 1e-4f) << "cutoff " << cutoff;
    }
}

} // namespace
