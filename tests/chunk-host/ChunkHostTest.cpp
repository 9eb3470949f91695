// The state chunk as a host sees it: through the real plug-in file's dispatcher.
#include "host/Plugin.h"
#include "plugin/StateChunk.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/plugin/ScratchHome.h"

using kelo::host::Plugin;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes getChunk(Plugin& p, bool isPreset = false) {
    void* data = nullptr;
    const VstIntPtr size = p.dispatcher(effGetChunk, isPreset ? 1 : 0, 0, &data);
    if (size <= 0 || data == nullptr) return {};
    const uint8_t* b = static_cast<const uint8_t*>(data);
    return Bytes(b, b + size);
}

void setChunk(Plugin& p, const Bytes& bytes, bool isPreset = false) {
    p.dispatcher(effSetChunk, isPreset ? 1 : 0, VstIntPtr(bytes.size()), const_cast<uint8_t*>(bytes.data()));
}

uint32_t word(const Bytes& c, size_t offset) {
    uint32_t v;
    std::memcpy(&v, c.data() + offset, 4);
    return v;
}
void putWord(Bytes& c, size_t offset, uint32_t v) { std::memcpy(c.data() + offset, &v, 4); }

size_t stepOffset(int pattern, int step) { return kelo::kChunkBankOffset + 132 * size_t(pattern) + 4 + 2 * size_t(step); }

// Pattern `index` becomes 16 gated, sliding steps of one note: a steady tone while it plays.
void setHeldPattern(Bytes& c, int index, uint8_t note) {
    putWord(c, kelo::kChunkBankOffset + 132 * size_t(index), 16);
    for (int s = 0; s < 16; ++s) {
        c[stepOffset(index, s)] = note;
        c[stepOffset(index, s) + 1] = kelo::StepGate | kelo::StepSlide;
    }
}

class ChunkHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        home.write("Config.ini", "MidiOutput = 1\nMidiOutputChannel = 0\n");
        for (Plugin* p : {&a, &b}) {
            ASSERT_TRUE(p->load()) << p->error();
            p->start(44100.0f, 512);
        }
    }

    kelo::test::ScratchHome home;
    Plugin a, b;
};

} // namespace

TEST_F(ChunkHostTest, GetChunkIsTheWholeImageWhateverIsPreset) {
    EXPECT_NE(a.effect()->flags & effFlagsProgramChunks, 0);
    const Bytes bank = getChunk(a, false), preset = getChunk(a, true);
    ASSERT_EQ(bank.size(), kelo::kStateChunkSize);
    EXPECT_EQ(preset, bank);
    EXPECT_EQ(word(bank, 0), 200u);
    EXPECT_EQ(word(bank, 4), 20120u);
    float volume;
    std::memcpy(&volume, bank.data() + kelo::kChunkSlotsOffset + 4 * 8, 4);
    EXPECT_EQ(volume, a.getParameter(8));
}

TEST_F(ChunkHostTest, FreshInstanceRestoresEverythingAndAnswersIdenticalBytes) {
    a.setParameter(1, 0.8125f);
    a.setParameter(9, 0.3f);
    a.setParameter(200, 0.25f);  // an editor slot rides along too
    a.dispatcher(effSetProgram, 0, 3);
    char name[] = "Squelch";
    a.dispatcher(effSetProgramName, 0, 0, name);
    // Pattern and cursor edits the host cannot make directly go in through a chunk.
    Bytes edited = getChunk(a);
    setHeldPattern(edited, 5, 7);
    using namespace kelo;
    putWord(edited, kChunkSettingsOffset + 4 * kChunkWordCurrentPattern, 5);
    putWord(edited, kChunkSettingsOffset + 4 * kChunkWordEditCursor, 9);
    // Every setting the chunk restores, away from its default.
    for (const auto& [w, bits] : {std::pair{kChunkWordEditAdvance, 1u}, {kChunkWordSyncMode, 1u}, {kChunkWordMidiMode, 2u},
                                  {kChunkWordFlags, kChunkFlagHighpass | 1u << 3 | kChunkFlagClockSync | kChunkFlagMidiOutput |
                                                        kChunkFlagTransmitKnobs | kChunkFlagPatternLock}})
        putWord(edited, kChunkSettingsOffset + 4 * size_t(w), word(edited, kChunkSettingsOffset + 4 * size_t(w)) ^ bits);
    setChunk(a, edited, true);  // isPreset makes no difference
    const Bytes saved = getChunk(a);
    ASSERT_EQ(saved, edited);

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

TEST_F(ChunkHostTest, RejectedChunksLeaveTheInstanceUnchanged) {
    b.setParameter(1, 0.2f);
    const Bytes before = getChunk(b);
    a.setParameter(1, 0.9f);
    const Bytes other = getChunk(a);

    Bytes shortChunk(other.begin(), other.begin() + 21151);
    setChunk(b, shortChunk);
    Bytes badMark = other;
    putWord(badMark, 0, 201);
    setChunk(b, badMark);
    b.dispatcher(effSetChunk, 0, VstIntPtr(other.size()), nullptr);

    EXPECT_EQ(getChunk(b), before);
    EXPECT_FLOAT_EQ(b.getParameter(1), 0.2f);
}

// The default bank's pattern 5 plays C (MIDI 36): a pattern that was not restored cannot pass.
TEST_F(ChunkHostTest, RestoredPatternIsWhatPlays) {
    Bytes c = getChunk(b);
    setHeldPattern(c, 5, 9);
    setChunk(b, c);
    b.clearLogs();
    b.render(512, {{0, 0x90, 5, 100}});
    int note = -1;
    for (const kelo::host::SentMidi& m : b.sentMidi())
        if (m.bytes[0] == 0x90 && note < 0) note = m.bytes[1];
    EXPECT_EQ(note, 45);
}
