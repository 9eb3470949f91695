// The state chunk as a host sees it: through the real plug-in file's dispatcher.
#include <gtest/gtest.h>

#include <vector>

#include "plugin/StateChunk.h"
#include "tests/plugin/ScratchHome.h"

namespace {

using namespace kelo;
using namespace kelo::test;

size_t settingAt(int word) { return kChunkSettingsOffset + 4 * size_t(word); }

// Pattern `index` becomes 16 gated, sliding steps of one note: a steady tone while it plays.
void setHeldPattern(Bytes& c, int index, uint8_t note) {
    const size_t at = kChunkBankOffset + 132 * size_t(index);
    put<uint32_t>(c, at, 16);
    for (size_t s = 0; s < 16; ++s) {
        c[at + 4 + 2 * s] = note;
        c[at + 5 + 2 * s] = StepGate | StepSlide;
    }
}

class ChunkHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        home.write("Config.ini", "MidiOutput = 1\nMidiOutputChannel = 0\n");
        for (host::Plugin* p : {&a, &b}) {
            ASSERT_TRUE(p->load()) << p->error();
            p->start(44100.0f, 512);
        }
    }
    ScratchHome home;
    host::Plugin a, b;
};

TEST_F(ChunkHostTest, AFreshInstanceRestoresEverythingSilentlyAndAnswersTheSameBytes) {
    a.setParameter(1, 0.8125f);
    a.setParameter(9, 0.3f);
    a.setParameter(200, 0.25f); // an editor slot rides along too
    a.dispatcher(effSetProgram, 0, 3);
    char name[] = "Squelch";
    a.dispatcher(effSetProgramName, 0, 0, name);
    // Pattern and cursor edits the host cannot make directly go in through a chunk, and every
    // setting the chunk restores moves away from its default.
    Bytes edited = getChunk(a);
    setHeldPattern(edited, 5, 7);
    put<uint32_t>(edited, settingAt(kChunkWordCurrentPattern), 5);
    put<uint32_t>(edited, settingAt(kChunkWordEditCursor), 9);
    const uint32_t flags = kChunkFlagHighpass | 1u << 3 | kChunkFlagClockSync | kChunkFlagMidiOutput |
                           kChunkFlagTransmitKnobs | kChunkFlagPatternLock;
    for (const auto& [w, bits] : {std::pair{kChunkWordEditAdvance, 1u}, {kChunkWordSyncMode, 1u},
                                  {kChunkWordMidiMode, 2u}, {kChunkWordFlags, flags}})
        put(edited, settingAt(w), get<uint32_t>(edited, settingAt(w)) ^ bits);
    setChunk(a, edited, true); // isPreset makes no difference
    const Bytes saved = getChunk(a);
    ASSERT_EQ(saved.size(), kStateChunkSize);
    ASSERT_EQ(saved, edited);
    EXPECT_EQ(getChunk(a, true), saved);
    EXPECT_EQ(get<float>(saved, kChunkSlotsOffset + 4 * 1), 0.8125f);

    b.clearLogs();
    setChunk(b, saved);
    EXPECT_EQ(getChunk(b), saved);
    EXPECT_FLOAT_EQ(b.getParameter(1), 0.8125f);
    EXPECT_FLOAT_EQ(b.getParameter(9), 0.3f);
    EXPECT_FLOAT_EQ(b.getParameter(200), 0.25f);
    EXPECT_EQ(b.dispatcher(effGetProgram), 3);
    EXPECT_EQ(b.programName(), "Squelch");
    // Restored values are written straight in: the host hears no automation and no MIDI.
    EXPECT_TRUE(b.automations().empty());
    EXPECT_TRUE(b.sentMidi().empty());
}

TEST_F(ChunkHostTest, RejectedChunksChangeNothingAndARestoredPatternIsWhatPlays) {
    b.setParameter(1, 0.2f);
    const Bytes before = getChunk(b);
    a.setParameter(1, 0.9f);
    const Bytes other = getChunk(a);
    setChunk(b, Bytes(other.begin(), other.end() - 1));
    Bytes badMark = other;
    put<uint32_t>(badMark, 0, 201);
    setChunk(b, badMark);
    b.dispatcher(effSetChunk, 0, VstIntPtr(other.size()), nullptr);
    EXPECT_EQ(getChunk(b), before);
    EXPECT_FLOAT_EQ(b.getParameter(1), 0.2f);

    // The default bank's pattern 5 plays C (MIDI 36): a pattern not restored cannot pass.
    setHeldPattern(badMark, 5, 9);
    put<uint32_t>(badMark, 0, kStateChunkMark);
    setChunk(b, badMark);
    b.clearLogs();
    b.render(512, {{0, 0x90, 5, 100}});
    int note = -1;
    for (const host::SentMidi& m : b.sentMidi())
        if (m.bytes[0] == 0x90 && note < 0) note = m.bytes[1];
    EXPECT_EQ(note, 45);
}

} // namespace
