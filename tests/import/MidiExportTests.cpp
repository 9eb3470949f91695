// MIDI file export, checked by reading the files back with an independent parser (mido).
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "files/MidiExport.h"
#include "tests/import/ImportTestSupport.h"

namespace kelo {
namespace {

struct ReadEvent {
    std::string type;
    int note, velocity, channel, tick;
    bool operator==(const ReadEvent&) const = default;
};

std::ostream& operator<<(std::ostream& os, const ReadEvent& e) {
    return os << e.type << " " << e.note << " v" << e.velocity << " ch" << e.channel << " @" << e.tick;
}

struct ReadFile {
    int format = -1, tracks = -1, ticksPerQuarter = -1;
    std::vector<ReadEvent> events; // absolute ticks, end of track included
};

const char* const kReader = R"(import sys
import mido
f = mido.MidiFile(sys.argv[1])
print('file', f.type, len(f.tracks), f.ticks_per_beat)
for track in f.tracks:
    tick = 0
    for m in track:
        tick += m.time
        print(m.type, getattr(m, 'note', -1), getattr(m, 'velocity', -1), getattr(m, 'channel', -1), tick)
)";

// Reads `midi` with mido; fails the test (never skips) when python3 or mido is unavailable.
ReadFile readBack(const test::ScratchDir& dir, const std::string& midi) {
    test::writeText(dir / "reader.py", kReader);
    const std::string out = (dir / "reader.out").string();
    const std::string command = std::string("\"") + KELO_PYTHON3 + "\" \"" + (dir / "reader.py").string() +
                                "\" \"" + midi + "\" > \"" + out + "\" 2>&1";
    const int rc = std::system(command.c_str());
    std::ifstream in(out);
    std::stringstream text;
    text << in.rdbuf();
    ReadFile r;
    EXPECT_EQ(rc, 0) << "reading the file back with python3-mido failed:\n" << text.str();
    std::string word;
    text >> word >> r.format >> r.tracks >> r.ticksPerQuarter;
    EXPECT_EQ(word, "file") << text.str();
    ReadEvent e;
    while (text >> e.type >> e.note >> e.velocity >> e.channel >> e.tick) r.events.push_back(e);
    return r;
}

Pattern makePattern(int count, bool triplet = false) {
    Pattern p{};
    p.header = 0;
    p.setStepCount(count);
    p.setShuffle(100); // swing must not move exported notes
    p.setTriplet(triplet);
    return p;
}

ReadFile exportAndRead(const Pattern& p, const EngineSettings& s) {
    test::ScratchDir dir("midi");
    const std::string path = (dir / "pattern.mid").string();
    EXPECT_TRUE(exportPatternMidi(p, s, path));
    return readBack(dir, path);
}

ReadEvent on(int note, int velocity, int tick) { return {"note_on", note, velocity, 0, tick}; }
ReadEvent off(int note, int velocity, int tick) { return {"note_off", note, velocity, 0, tick}; }
ReadEvent end(int tick) { return {"end_of_track", -1, -1, -1, tick}; }

TEST(MidiExport, StraightGatedNotesAtDefaultVelocity) {
    Pattern p = makePattern(4);
    for (int s = 0; s < 4; ++s) p.steps[s] = {0, StepGate};
    EngineSettings settings;
    const ReadFile r = exportAndRead(p, settings);
    EXPECT_EQ(r.format, 0);
    EXPECT_EQ(r.tracks, 1);
    EXPECT_EQ(r.ticksPerQuarter, 96);
    const std::vector<ReadEvent> expected = {on(36, 99, 0),  off(36, 99, 12), on(36, 99, 24), off(36, 99, 36),
                                             on(36, 99, 48), off(36, 99, 60), on(36, 99, 72), off(36, 99, 84),
                                             end(84)};
    EXPECT_EQ(r.events, expected);
}

TEST(MidiExport, TripletTimingAndClockSyncResolution) {
    Pattern p = makePattern(3, true);
    p.steps[0] = {2, StepGate | StepUp};
    p.steps[1] = {0, 0};
    p.steps[2] = {11, StepGate | StepDown};
    EngineSettings settings;
    settings.clockSync = 3; // any non-zero value
    const ReadFile r = exportAndRead(p, settings);
    EXPECT_EQ(r.ticksPerQuarter, 192);
    const std::vector<ReadEvent> expected = {on(50, 99, 0), off(50, 99, 16), on(35, 99, 64), off(35, 99, 80), end(80)};
    EXPECT_EQ(r.events, expected);
}

TEST(MidiExport, SlidesHoldNotesAndCarryTheAccent) {
    Pattern p = makePattern(6);
    p.steps[0] = {0, StepGate | StepSlide | StepAccent}; // C slides into E
    p.steps[1] = {4, StepGate};                          // accent carried over the slide
    p.steps[2] = {7, StepGate | StepSlide};              // G slides into the same G
    p.steps[3] = {7, StepGate | StepAccent};             // no second note-on, but the accent
    p.steps[4] = {0, StepTie};                           // a tie without gate is a rest
    p.steps[5] = {0, StepGate};
    EngineSettings settings;
    settings.accentVelocity = 64;
    const ReadFile r = exportAndRead(p, settings);
    const std::vector<ReadEvent> expected = {on(36, 127, 0),  on(40, 127, 24), off(36, 127, 36), off(40, 127, 36),
                                             on(43, 63, 48),  off(43, 127, 84), on(36, 63, 120), off(36, 63, 132),
                                             end(132)};
    EXPECT_EQ(r.events, expected);
}

TEST(MidiExport, RestOnlyPatternHoldsJustTheEndOfTrack) {
    Pattern p = makePattern(16);
    for (int s = 0; s < 16; ++s) p.steps[s] = {uint8_t(s % 12), StepAccent | StepSlide}; // no gate anywhere
    const ReadFile r = exportAndRead(p, EngineSettings{});
    EXPECT_EQ(r.events, std::vector<ReadEvent>{end(0)});
}

TEST(MidiExport, NotesStillSlidingAtTheEndAreEndedWithThePattern) {
    Pattern p = makePattern(4);
    p.steps[0] = {0, StepGate};
    p.steps[2] = {3, StepGate | StepSlide};
    p.steps[3] = {5, StepGate | StepSlide};
    const ReadFile r = exportAndRead(p, EngineSettings{});
    const std::vector<ReadEvent> expected = {on(36, 99, 0),   off(36, 99, 12), on(39, 99, 48),
                                             on(41, 99, 72),  off(39, 99, 96), off(41, 99, 96), end(96)};
    EXPECT_EQ(r.events, expected);
}

TEST(MidiExport, LowAccentLevelsStillGiveAudibleNotes) {
    Pattern p = makePattern(1);
    p.steps[0] = {0, StepGate};
    for (int level : {0, 1}) {
        EngineSettings settings;
        settings.accentVelocity = level;
        const MidiTrack track = buildPatternTrack(p, settings);
        ASSERT_EQ(track.events().size(), 2u);
        EXPECT_EQ(track.events()[0].velocity, 1u);
        EXPECT_EQ(track.events()[1].type, uint32_t(MidiNoteOff));
    }
}

TEST(MidiExport, LongDeltasAndTrackLengthInTheFileImage) {
    Pattern p = makePattern(64);
    p.steps[60] = {0, StepGate}; // 60 rests first: delta 1440 needs two bytes
    const MidiTrack track = buildPatternTrack(p, EngineSettings{});
    const std::vector<uint8_t> bytes = track.fileBytes();
    const std::vector<uint8_t> expected = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96,
                                           'M', 'T', 'r', 'k', 0, 0, 0, 13,
                                           0x8B, 0x20, 0x90, 36, 99, // 1440 = 11 * 128 + 32
                                           12, 0x80, 36, 99,
                                           0, 0xFF, 0x2F, 0};
    EXPECT_EQ(bytes, expected);

    test::ScratchDir dir("midi-long");
    ASSERT_TRUE(track.write((dir / "long.mid").string()));
    const ReadFile r = readBack(dir, (dir / "long.mid").string());
    EXPECT_EQ(r.events, (std::vector<ReadEvent>{on(36, 99, 1440), off(36, 99, 1452), end(1452)}));
}

TEST(MidiExport, UnwritablePathReportsFailure) {
    Pattern p = makePattern(1);
    p.steps[0] = {0, StepGate};
    EXPECT_FALSE(exportPatternMidi(p, EngineSettings{}, "/nonexistent/folder/out.mid"));
}

} // namespace
} // namespace kelo
