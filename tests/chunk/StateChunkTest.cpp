#include "plugin/StateChunk.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

using namespace kelo;

namespace {

// Everything a plug-in instance keeps that the chunk covers.
struct LiveState {
    PatternBank bank{};
    ProgramRecord programs[kNumPrograms]{};
    float slots[kNumParamSlots]{};
    EngineSettings settings;
    int32_t editCursor = 0, currentPattern = 0, editAdvance = 0, currentProgram = 0, patternLock = 0;

    ChunkState view() {
        ChunkState s;
        s.bank = &bank;
        s.programs = programs;
        s.slots = slots;
        s.settings = &settings;
        s.editCursor = &editCursor;
        s.currentPattern = &currentPattern;
        s.editAdvance = &editAdvance;
        s.currentProgram = &currentProgram;
        s.patternLock = &patternLock;
        return s;
    }

    // Start-up values: 16-step empty patterns, "Default" programs, every slot 1.0.
    void resetToStartup() {
        for (Pattern& p : bank.patterns) {
            p.header = 16;
            std::memset(p.steps, 0, sizeof p.steps);
        }
        for (ProgramRecord& r : programs) {
            std::memset(&r, 0, sizeof r);
            std::strcpy(r.name, "Default");
            for (float& v : r.values) v = 0.5f;
        }
        for (float& v : slots) v = 1.0f;
        settings = EngineSettings{};
        editCursor = currentPattern = editAdvance = currentProgram = patternLock = 0;
    }

    // A state where every field differs from start-up, so a lost field shows.
    void fillDistinct() {
        for (int i = 0; i < kNumPatterns; ++i) {
            Pattern& p = bank.patterns[i];
            p.header = uint32_t(1 + i % 64) | uint32_t(i % 128) << 8 | (i % 3 == 0 ? 0x80000000u : 0u) |
                       (i % 5 == 0 ? 0x00450080u : 0u);  // undocumented bits ride along
            for (int s = 0; s < kMaxSteps; ++s) p.steps[s] = {uint8_t((i + s) % 36), uint8_t(i * 7 + s)};
        }
        for (int i = 0; i < kNumPrograms; ++i) {
            std::memset(&programs[i], 0, sizeof programs[i]);
            std::snprintf(programs[i].name, kProgramNameSize, "Program %02d acid", i);
            for (int v = 0; v < kProgramValues; ++v) programs[i].values[v] = float(i) * 0.01f + float(v) * 0.001f;
        }
        for (int i = 0; i < kNumParamSlots; ++i) slots[i] = float(i) / 255.0f + 0.000123f;
        settings.midiMode = 1;
        settings.syncMode = 1;
        settings.highpass = 1;
        settings.filterMode = 2;
        settings.midiOutput = 1;
        settings.clockSync = 1;
        settings.midiTransmitKnobs = 1;
        settings.slopeFlag = 1;
        settings.tuningMode = 1;
        currentPattern = 37;  // stepCount 38
        editCursor = 21;
        editAdvance = 1;
        currentProgram = 11;
        patternLock = 1;
    }
};

using Chunk = uint8_t[kStateChunkSize];

uint32_t wordAt(const uint8_t* c, size_t offset) {
    uint32_t v;
    std::memcpy(&v, c + offset, 4);
    return v;
}
void putWord(uint8_t* c, size_t offset, uint32_t v) { std::memcpy(c + offset, &v, 4); }
uint32_t settingsWord(const uint8_t* c, int word) { return wordAt(c, kChunkSettingsOffset + 4 * size_t(word)); }
void putSettingsWord(uint8_t* c, int word, uint32_t v) { putWord(c, kChunkSettingsOffset + 4 * size_t(word), v); }

// What a writer of the other byte order would have produced: every 32-bit field reversed,
// step bytes and name text as they are.
void reverseFieldOrder(uint8_t* c) {
    auto rev = [&](size_t off) { std::swap(c[off], c[off + 3]); std::swap(c[off + 1], c[off + 2]); };
    rev(0);
    rev(4);
    for (int i = 0; i < kNumPatterns; ++i) rev(kChunkBankOffset + 132 * size_t(i));
    for (int i = 0; i < kNumPrograms; ++i)
        for (int v = 0; v < kProgramValues; ++v) rev(kChunkProgramsOffset + 196 * size_t(i) + 24 + 4 * size_t(v));
    for (int w = 0; w < kChunkSettingsWords; ++w) rev(kChunkSettingsOffset + 4 * size_t(w));
    for (int s = 0; s < kNumParamSlots; ++s) rev(kChunkSlotsOffset + 4 * size_t(s));
}

class StateChunkTest : public ::testing::Test {
protected:
    void SetUp() override {
        source = std::make_unique<LiveState>();
        target = std::make_unique<LiveState>();
        source->resetToStartup();
        source->fillDistinct();
        target->resetToStartup();
        ASSERT_TRUE(writeStateChunk(source->view(), chunk));
    }

    // A snapshot of the target's state as bytes, to prove that nothing changed.
    std::vector<uint8_t> targetImage() {
        Chunk c;
        writeStateChunk(target->view(), c);
        std::vector<uint8_t> img(c, c + kStateChunkSize);
        img.push_back(uint8_t(target->settings.slopeFlag));
        img.push_back(uint8_t(target->settings.tuningMode));
        return img;
    }

    std::unique_ptr<LiveState> source, target;
    Chunk chunk;
};

} // namespace

TEST_F(StateChunkTest, WritesTheDocumentedLayout) {
    EXPECT_EQ(wordAt(chunk, 0), 200u);
    EXPECT_EQ(wordAt(chunk, 4), 20120u);
    // Pattern 5 at 8 + 5 * 132: header word then its steps as byte pairs.
    const size_t p5 = 8 + 5 * 132;
    EXPECT_EQ(wordAt(chunk, p5), source->bank.patterns[5].header);
    EXPECT_EQ(chunk[p5 + 4 + 2 * 3], source->bank.patterns[5].steps[3].note);
    EXPECT_EQ(chunk[p5 + 4 + 2 * 3 + 1], source->bank.patterns[5].steps[3].flags);
    // Program 2: 24 name bytes, then its floats.
    const size_t pr2 = 16904 + 2 * 196;
    EXPECT_STREQ(reinterpret_cast<const char*>(chunk + pr2), "Program 02 acid");
    float v;
    std::memcpy(&v, chunk + pr2 + 24 + 4 * 42, 4);
    EXPECT_EQ(v, source->programs[2].values[42]);
    std::memcpy(&v, chunk + 20128 + 4 * 255, 4);
    EXPECT_EQ(v, source->slots[255]);

    EXPECT_EQ(settingsWord(chunk, 0), 1u);   // MidiMode
    EXPECT_EQ(settingsWord(chunk, 1), 1u);   // SyncMode
    EXPECT_EQ(settingsWord(chunk, 2), 21u);  // editCursor
    EXPECT_EQ(settingsWord(chunk, 3), 37u);  // currentPattern
    EXPECT_EQ(settingsWord(chunk, 4), 1u);   // editAdvance
    EXPECT_EQ(settingsWord(chunk, 5), 11u);  // current program
    // slope, tuning, highpass, FilterMode 2 in bits 3-4, MIDI out, lock, clock sync, knobs.
    EXPECT_EQ(settingsWord(chunk, 6), 0x1u | 0x2u | 0x4u | (2u << 3) | 0x20u | 0x40u | 0x80u | 0x100u);
    for (int w = 7; w < kChunkSettingsWords; ++w) EXPECT_EQ(settingsWord(chunk, w), 0u) << "word " << w;
}

TEST_F(StateChunkTest, FlagsWordEncodesEachSettingIndependently) {
    LiveState s;
    s.resetToStartup();
    Chunk c;
    s.settings.filterMode = 1;
    ASSERT_TRUE(writeStateChunk(s.view(), c));
    EXPECT_EQ(settingsWord(c, 6), 1u << 3) << "start-up settings carry only FilterMode 1";

    s.settings.filterMode = 3;
    s.settings.tuningMode = 2;  // only bit 0 of the tuning mode is kept
    s.patternLock = 1;
    writeStateChunk(s.view(), c);
    EXPECT_EQ(settingsWord(c, 6), (3u << 3) | 0x40u);
}

TEST_F(StateChunkTest, RoundTripRestoresEverythingAndRewritesIdenticalBytes) {
    target->settings.accentVelocity = 77;  // not part of the chunk
    ASSERT_TRUE(readStateChunk(target->view(), chunk, sizeof chunk));

    EXPECT_EQ(std::memcmp(&target->bank, &source->bank, sizeof(PatternBank)), 0);
    EXPECT_EQ(std::memcmp(target->programs, source->programs, sizeof target->programs), 0);
    EXPECT_EQ(std::memcmp(target->slots, source->slots, sizeof target->slots), 0);
    EXPECT_STREQ(target->programs[15].name, "Program 15 acid");
    EXPECT_EQ(target->currentPattern, 37);
    EXPECT_EQ(target->editCursor, 21);
    EXPECT_EQ(target->editAdvance, 1);
    EXPECT_EQ(target->currentProgram, 11);
    EXPECT_EQ(target->patternLock, 1);
    const EngineSettings& es = target->settings;
    EXPECT_EQ(es.midiMode, 1);
    EXPECT_EQ(es.syncMode, 1);
    EXPECT_EQ(es.highpass, 1);
    EXPECT_EQ(es.filterMode, 2);
    EXPECT_EQ(es.midiOutput, 1);
    EXPECT_EQ(es.clockSync, 1);
    EXPECT_EQ(es.midiTransmitKnobs, 1);

    // Tuning and slope belong to the user's files: a project never changes them (the chunk
    // says 1 for both).
    EXPECT_EQ(es.tuningMode, 0);
    EXPECT_EQ(es.slopeFlag, 0);
    EXPECT_EQ(es.accentVelocity, 77);

    Chunk again;
    ASSERT_TRUE(writeStateChunk(target->view(), again));
    // Identical except the two flags the target kept for itself.
    putSettingsWord(again, 6, settingsWord(again, 6) | kChunkFlagSlope18 | kChunkFlagTuningMode);
    EXPECT_EQ(std::memcmp(again, chunk, kStateChunkSize), 0);
}

TEST_F(StateChunkTest, OtherByteOrderRestoresHeadersProgramsAndParameters) {
    Chunk swapped;
    std::memcpy(swapped, chunk, sizeof chunk);
    reverseFieldOrder(swapped);
    ASSERT_EQ(wordAt(swapped, 0), 0xC8000000u);
    EXPECT_EQ(stateChunkByteOrder(swapped, sizeof swapped), ChunkByteOrder::Swapped);
    Chunk untouched;
    std::memcpy(untouched, swapped, sizeof swapped);

    ASSERT_TRUE(readStateChunk(target->view(), swapped, sizeof swapped));

    EXPECT_EQ(std::memcmp(swapped, untouched, sizeof swapped), 0) << "the host's block must stay as it was";
    for (int i = 0; i < kNumPatterns; ++i) {
        ASSERT_EQ(target->bank.patterns[i].header, source->bank.patterns[i].header) << "pattern " << i;
        ASSERT_EQ(std::memcmp(target->bank.patterns[i].steps, source->bank.patterns[i].steps, 128), 0);
    }
    // All sixteen programs, not just the first, keep their names and values.
    for (int i = 0; i < kNumPrograms; ++i) {
        EXPECT_STREQ(target->programs[i].name, source->programs[i].name);
        for (int v = 0; v < kProgramValues; ++v)
            ASSERT_EQ(target->programs[i].values[v], source->programs[i].values[v]) << i << "/" << v;
    }
    EXPECT_EQ(std::memcmp(target->slots, source->slots, sizeof target->slots), 0);
    EXPECT_EQ(target->currentPattern, 37);
    EXPECT_EQ(target->editCursor, 21);
    EXPECT_EQ(target->currentProgram, 11);
    EXPECT_EQ(target->settings.filterMode, 2);
    EXPECT_EQ(target->patternLock, 1);
}

TEST_F(StateChunkTest, UnusableChunksChangeNothing) {
    target->fillDistinct();
    target->settings.tuningMode = 0;
    const std::vector<uint8_t> before = targetImage();

    LiveState other;
    other.resetToStartup();
    Chunk valid;
    writeStateChunk(other.view(), valid);

    EXPECT_FALSE(readStateChunk(target->view(), nullptr, kStateChunkSize));
    EXPECT_FALSE(readStateChunk(target->view(), valid, 0));
    EXPECT_FALSE(readStateChunk(target->view(), valid, kStateChunkSize - 1));
    EXPECT_FALSE(readStateChunk(target->view(), valid, 8));

    for (uint32_t mark : {0u, 199u, 201u, 0xC9000000u, 0x000000C8u << 8, 0xFFFFFFFFu}) {
        Chunk bad;
        std::memcpy(bad, valid, sizeof valid);
        putWord(bad, 0, mark);
        EXPECT_FALSE(readStateChunk(target->view(), bad, sizeof bad)) << "mark " << mark;
        EXPECT_EQ(stateChunkByteOrder(bad, sizeof bad), ChunkByteOrder::Unknown);
    }
    EXPECT_EQ(targetImage(), before);

    // An incomplete destination is refused too, before anything is written.
    ChunkState partial = target->view();
    partial.patternLock = nullptr;
    EXPECT_FALSE(readStateChunk(partial, valid, sizeof valid));
    EXPECT_EQ(targetImage(), before);
    Chunk out;
    std::memset(out, 0xAB, sizeof out);
    EXPECT_FALSE(writeStateChunk(partial, out));
    EXPECT_EQ(wordAt(out, 0), 0u) << "a refused write must not look like a chunk";
}

TEST_F(StateChunkTest, ExtraBytesAfterTheChunkAreIgnored) {
    std::vector<uint8_t> longer(chunk, chunk + kStateChunkSize);
    longer.resize(kStateChunkSize + 100, 0xEE);
    ASSERT_TRUE(readStateChunk(target->view(), longer.data(), longer.size()));
    EXPECT_EQ(std::memcmp(target->slots, source->slots, sizeof target->slots), 0);
}

TEST_F(StateChunkTest, OutOfRangeValuesAreBroughtIntoRange) {
    // stepCount 0 and 100 (bits 0..6) with other header bits that must survive.
    putWord(chunk, kChunkBankOffset + 0 * 132, 0x80001200u);
    putWord(chunk, kChunkBankOffset + 1 * 132, 0x00003364u);
    putWord(chunk, kChunkBankOffset + 2 * 132, 0x000000FFu);  // 127 steps plus bit 7
    putSettingsWord(chunk, kChunkWordCurrentPattern, 1000);
    putSettingsWord(chunk, kChunkWordEditCursor, 99);
    putSettingsWord(chunk, kChunkWordCurrentProgram, uint32_t(-4));
    putSettingsWord(chunk, kChunkWordEditAdvance, 6);
    std::memset(chunk + kChunkProgramsOffset + 3 * 196, 'x', kProgramNameSize);  // no terminator

    ASSERT_TRUE(readStateChunk(target->view(), chunk, sizeof chunk));
    EXPECT_EQ(target->bank.patterns[0].header, 0x80001201u);
    EXPECT_EQ(target->bank.patterns[1].header, 0x00003340u);
    EXPECT_EQ(target->bank.patterns[2].header, 0x000000C0u);
    EXPECT_EQ(target->currentPattern, 127);
    EXPECT_EQ(target->editCursor, target->bank.patterns[127].stepCount() - 1);
    EXPECT_EQ(target->currentProgram, 0);
    EXPECT_EQ(target->editAdvance, 0);
    EXPECT_EQ(std::strlen(target->programs[3].name), size_t(kProgramNameSize - 1));

    putSettingsWord(chunk, kChunkWordCurrentPattern, uint32_t(-1));
    putSettingsWord(chunk, kChunkWordEditCursor, uint32_t(-7));
    putSettingsWord(chunk, kChunkWordCurrentProgram, 16);
    ASSERT_TRUE(readStateChunk(target->view(), chunk, sizeof chunk));
    EXPECT_EQ(target->currentPattern, 0);
    EXPECT_EQ(target->editCursor, 0);
    EXPECT_EQ(target->currentProgram, 15);
}

// Under the sanitizer build this also proves that no input is read past its end.
TEST_F(StateChunkTest, TruncatedAndCorruptedInputsKeepTheStateSound) {
    for (size_t n = 0; n < kStateChunkSize; n += (n < 64 ? 1 : 997)) {
        // Exactly n bytes on the heap, so a read past the end trips the sanitizer.
        std::unique_ptr<uint8_t[]> cut(new uint8_t[n ? n : 1]);
        std::memcpy(cut.get(), chunk, n);
        EXPECT_FALSE(readStateChunk(target->view(), cut.get(), n)) << n;
    }

    std::mt19937 rng(1234);
    for (int round = 0; round < 200; ++round) {
        std::unique_ptr<uint8_t[]> junk(new uint8_t[kStateChunkSize]);
        for (size_t i = 0; i < kStateChunkSize; ++i) junk[i] = uint8_t(rng());
        putWord(junk.get(), 0, round % 2 ? 200u : 0xC8000000u);
        ASSERT_TRUE(readStateChunk(target->view(), junk.get(), kStateChunkSize));
        ASSERT_GE(target->currentPattern, 0);
        ASSERT_LT(target->currentPattern, kNumPatterns);
        ASSERT_GE(target->currentProgram, 0);
        ASSERT_LT(target->currentProgram, kNumPrograms);
        ASSERT_GE(target->editCursor, 0);
        ASSERT_LT(target->editCursor, target->bank.patterns[target->currentPattern].stepCount());
        ASSERT_LE(target->settings.filterMode, 3);
        for (const Pattern& p : target->bank.patterns) {
            ASSERT_GE(p.stepCount(), 1);
            ASSERT_LE(p.stepCount(), kMaxSteps);
        }
        for (const ProgramRecord& r : target->programs) ASSERT_LT(std::strlen(r.name), size_t(kProgramNameSize));
    }
}
