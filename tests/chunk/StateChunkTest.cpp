#include "plugin/StateChunk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <tuple>
#include <vector>

using namespace kelo;

namespace {

// Everything an instance keeps that the chunk covers, at its start-up values: 16-step empty
// patterns, "Default" programs, every slot 1.0.
struct LiveState {
    PatternBank bank{};
    ProgramRecord programs[kNumPrograms]{};
    float slots[kNumParamSlots]{};
    EngineSettings settings;
    int32_t editCursor = 0, currentPattern = 0, editAdvance = 0, currentProgram = 0, patternLock = 0;

    LiveState() {
        for (Pattern& p : bank.patterns) p.header = 16;
        for (ProgramRecord& r : programs) {
            std::strcpy(r.name, "Default");
            for (float& v : r.values) v = 0.5f;
        }
        for (float& v : slots) v = 1.0f;
    }
    ChunkState view() {
        return {&bank,           programs,     slots,           &settings, &editCursor,
                &currentPattern, &editAdvance, &currentProgram, &patternLock};
    }
    // Every field away from start-up, so a lost field shows; header bits no one reads ride along.
    void fillDistinct() {
        for (auto [bytes, size] : {std::pair<void*, size_t>{&bank, sizeof bank}, {programs, sizeof programs},
                                   {slots, sizeof slots}})
            for (size_t i = 0; i < size; ++i) static_cast<uint8_t*>(bytes)[i] = uint8_t(i * 7 + size);
        for (int i = 0; i < kNumPatterns; ++i) bank.patterns[i].setStepCount(1 + i % 64);
        for (ProgramRecord& r : programs) r.name[kProgramNameSize - 1] = 0;
        settings = {.filterMode = 2, .slopeFlag = 1, .tuningMode = 1, .syncMode = 1, .midiMode = 1,
                    .highpass = 1, .midiOutput = 1, .clockSync = 1, .midiTransmitKnobs = 1};
        // Pattern 37 has 38 steps.
        std::tie(currentPattern, editCursor, editAdvance, currentProgram, patternLock) =
            std::tuple(37, 21, 1, 11, 1);
    }
    // The state as bytes, the two settings the chunk does not restore included.
    std::vector<uint8_t> image() {
        std::vector<uint8_t> img(kStateChunkSize + 2);
        writeStateChunk(view(), *reinterpret_cast<uint8_t(*)[kStateChunkSize]>(img.data()));
        img[kStateChunkSize] = uint8_t(settings.slopeFlag);
        img[kStateChunkSize + 1] = uint8_t(settings.tuningMode);
        return img;
    }
};

using Chunk = uint8_t[kStateChunkSize];

uint32_t wordAt(const uint8_t* c, size_t offset) {
    uint32_t v;
    std::memcpy(&v, c + offset, 4);
    return v;
}
void putWord(uint8_t* c, size_t offset, uint32_t v) { std::memcpy(c + offset, &v, 4); }
size_t settingAt(int word) { return kChunkSettingsOffset + 4 * size_t(word); }

class StateChunkTest : public ::testing::Test {
protected:
    void SetUp() override {
        source.fillDistinct();
        ASSERT_TRUE(writeStateChunk(source.view(), chunk));
    }
    LiveState source, target;
    Chunk chunk;
};

} // namespace

TEST_F(StateChunkTest, WritesTheLayoutHostsKeep) {
    EXPECT_EQ(wordAt(chunk, 0), 200u);
    EXPECT_EQ(wordAt(chunk, 4), 20120u);
    // Pattern 5: header word, then steps as byte pairs; program 2: 24 name bytes, then floats.
    EXPECT_EQ(std::memcmp(chunk + 8 + 5 * 132, &source.bank.patterns[5], 132), 0);
    EXPECT_EQ(std::memcmp(chunk + 16904 + 2 * 196, &source.programs[2], 196), 0);
    EXPECT_EQ(std::memcmp(chunk + 20128 + 4 * 255, &source.slots[255], 4), 0);
    // MidiMode, SyncMode, cursor, pattern, advance, program; then the flags: slope, tuning,
    // highpass, FilterMode 2 in bits 3-4, MIDI out, lock, clock sync, knobs. The rest is zero.
    const uint32_t words[kChunkSettingsWords] = {1, 1, 21, 37, 1, 11, 0x7u | 2u << 3 | 0x1E0u};
    for (int w = 0; w < kChunkSettingsWords; ++w) EXPECT_EQ(wordAt(chunk, settingAt(w)), words[w]) << w;

    // Start-up carries FilterMode 1 alone; only bit 0 of the tuning mode is kept.
    for (const auto& [mode, tuning, lock, flags] : {std::tuple{1, 0, 0, 1u << 3}, {3, 2, 1, 3u << 3 | 0x40u}}) {
        LiveState s;
        std::tie(s.settings.filterMode, s.settings.tuningMode, s.patternLock) = std::tie(mode, tuning, lock);
        Chunk c;
        ASSERT_TRUE(writeStateChunk(s.view(), c));
        EXPECT_EQ(wordAt(c, settingAt(kChunkWordFlags)), flags);
    }
}

TEST_F(StateChunkTest, RoundTripRestoresAllButTheUsersOwnSettingsAndGoesBackToStartUp) {
    target.settings.accentVelocity = 77; // not part of the chunk
    ASSERT_TRUE(readStateChunk(target.view(), chunk, sizeof chunk));
    // Tuning and slope belong to the user's files: a project never changes them.
    const EngineSettings& es = target.settings;
    EXPECT_EQ(std::tie(es.tuningMode, es.slopeFlag, es.accentVelocity), std::make_tuple(0, 0, 77));
    target.settings.slopeFlag = target.settings.tuningMode = 1;
    EXPECT_EQ(target.image(), source.image());
    target.settings.slopeFlag = target.settings.tuningMode = 0;

    Chunk startup;
    ASSERT_TRUE(writeStateChunk(LiveState().view(), startup));
    ASSERT_TRUE(readStateChunk(target.view(), startup, sizeof startup));
    EXPECT_EQ(target.image(), LiveState().image());
}

TEST_F(StateChunkTest, OtherByteOrderRestoresEveryFieldAndLeavesTheHostsBlock) {
    // What a writer of the other byte order produces: every 32-bit field reversed, step bytes
    // and name text as they are.
    Chunk swapped, untouched;
    std::memcpy(swapped, chunk, sizeof chunk);
    std::vector<size_t> fields = {0, 4};
    for (size_t i = 0; i < kNumPatterns; ++i) fields.push_back(kChunkBankOffset + 132 * i);
    for (size_t i = 0; i < kNumPrograms * kProgramValues; ++i)
        fields.push_back(kChunkProgramsOffset + 196 * (i / kProgramValues) + 24 + 4 * (i % kProgramValues));
    for (size_t i = kChunkSettingsOffset; i < kStateChunkSize; i += 4) fields.push_back(i);
    for (size_t f : fields) std::reverse(swapped + f, swapped + f + 4);
    std::memcpy(untouched, swapped, sizeof swapped);
    ASSERT_EQ(wordAt(swapped, 0), 0xC8000000u);
    EXPECT_EQ(stateChunkByteOrder(swapped, sizeof swapped), ChunkByteOrder::Swapped);

    ASSERT_TRUE(readStateChunk(target.view(), swapped, sizeof swapped));
    EXPECT_EQ(std::memcmp(swapped, untouched, sizeof swapped), 0) << "the host's block must stay as it was";
    target.settings.slopeFlag = target.settings.tuningMode = 1;
    EXPECT_EQ(target.image(), source.image());
}

TEST_F(StateChunkTest, RefusedInputChangesNothingAndBytesPastTheChunkAreIgnored) {
    target.fillDistinct();
    const std::vector<uint8_t> before = target.image();
    // Lengths short of a chunk, on the heap so that a read past the end trips the sanitizer.
    for (size_t n : {size_t(0), size_t(4), size_t(8), size_t(63), kStateChunkSize / 2, kStateChunkSize - 1}) {
        std::unique_ptr<uint8_t[]> cut(new uint8_t[n ? n : 1]);
        std::memcpy(cut.get(), chunk, n);
        EXPECT_FALSE(readStateChunk(target.view(), cut.get(), n)) << n;
    }
    EXPECT_FALSE(readStateChunk(target.view(), nullptr, kStateChunkSize));
    for (uint32_t mark : {0u, 199u, 201u, 0xC9000000u, 0x000000C8u << 8, 0xFFFFFFFFu}) {
        Chunk bad;
        std::memcpy(bad, chunk, sizeof chunk);
        putWord(bad, 0, mark);
        EXPECT_FALSE(readStateChunk(target.view(), bad, sizeof bad)) << "mark " << mark;
        EXPECT_EQ(stateChunkByteOrder(bad, sizeof bad), ChunkByteOrder::Unknown);
    }
    // An incomplete state is refused too, before anything is written.
    ChunkState partial = target.view();
    partial.patternLock = nullptr;
    EXPECT_FALSE(readStateChunk(partial, chunk, sizeof chunk));
    EXPECT_EQ(target.image(), before);
    Chunk out;
    std::memset(out, 0xAB, sizeof out);
    EXPECT_FALSE(writeStateChunk(partial, out));
    EXPECT_EQ(wordAt(out, 0), 0u) << "a refused write must not look like a chunk";
    std::vector<uint8_t> longer(chunk, chunk + kStateChunkSize);
    longer.resize(kStateChunkSize + 100, 0xEE);
    EXPECT_TRUE(readStateChunk(LiveState().view(), longer.data(), longer.size()));
}

TEST_F(StateChunkTest, OutOfRangeValuesAreBroughtIntoRange) {
    // stepCount 0, 100 and 127 (bits 0..6) with other header bits that must survive.
    putWord(chunk, kChunkBankOffset + 0 * 132, 0x80001200u);
    putWord(chunk, kChunkBankOffset + 1 * 132, 0x00003364u);
    putWord(chunk, kChunkBankOffset + 2 * 132, 0x000000FFu);
    std::memset(chunk + kChunkProgramsOffset + 3 * 196, 'x', kProgramNameSize); // no terminator
    // Pattern, cursor, program and advance as stored; then as read.
    const std::tuple<uint32_t, uint32_t, uint32_t, uint32_t, int, int, int, int> cases[] = {
        {1000, 99, uint32_t(-4), 6, 127, 63, 0, 0}, {uint32_t(-1), uint32_t(-7), 16, 1, 0, 0, 15, 1}};
    for (const auto& [pattern, cursor, program, advance, wantPattern, wantCursor, wantProgram, wantAdvance] :
         cases) {
        putWord(chunk, settingAt(kChunkWordCurrentPattern), pattern);
        putWord(chunk, settingAt(kChunkWordEditCursor), cursor);
        putWord(chunk, settingAt(kChunkWordCurrentProgram), program);
        putWord(chunk, settingAt(kChunkWordEditAdvance), advance);
        ASSERT_TRUE(readStateChunk(target.view(), chunk, sizeof chunk));
        EXPECT_EQ(std::vector<uint32_t>({target.bank.patterns[0].header, target.bank.patterns[1].header,
                                         target.bank.patterns[2].header}),
                  std::vector<uint32_t>({0x80001201u, 0x00003340u, 0x000000C0u}));
        EXPECT_EQ(std::strlen(target.programs[3].name), size_t(kProgramNameSize - 1));
        EXPECT_EQ(std::tie(target.currentPattern, target.editCursor, target.currentProgram, target.editAdvance),
                  std::tie(wantPattern, wantCursor, wantProgram, wantAdvance));
    }
}
