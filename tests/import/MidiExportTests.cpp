// MIDI file export, checked by reading the files back with an independent parser (mido).
#include <gtest/gtest.h>

#include <algorithm>

#include "files/MidiExport.h"
#include "tests/files/FileTestSupport.h"

namespace kelo {
namespace {

// One line per file ("type tracks ticks-per-quarter"), then one per message with its absolute tick.
const char* const kReader = R"(import sys
import mido
for path in sys.argv[1:]:
    f = mido.MidiFile(path)
    print('file', f.type, len(f.tracks), f.ticks_per_beat)
    for track in f.tracks:
        tick = 0
        for m in track:
            tick += m.time
            fields = [str(getattr(m, a)) for a in ('channel', 'note', 'velocity') if hasattr(m, a)]
            print(' '.join([m.type] + fields), '@%d' % tick)
)";

struct ExportCase {
    const char* name;
    int count;
    std::vector<PatternStep> steps; // from step `first` on; the rest are rests
    int first = 0;
    bool triplet = false;
    int accentVelocity = 100;
    int clockSync = 0;
    const char* expected;
};

const ExportCase kCases[] = {
    {"straight gated notes at the default velocity", 4, {{0, StepGate}, {0, StepGate}, {0, StepGate}, {0, StepGate}}, 0,
     false, 100, 0,
     "file 0 1 96\nnote_on 0 36 99 @0\nnote_off 0 36 99 @12\nnote_on 0 36 99 @24\nnote_off 0 36 99 @36\n"
     "note_on 0 36 99 @48\nnote_off 0 36 99 @60\nnote_on 0 36 99 @72\nnote_off 0 36 99 @84\nend_of_track @96\n"},
    {"triplets, and clock sync doubles the resolution", 3, {{2, StepGate | StepUp}, {0, 0}, {11, StepGate | StepDown}},
     0, true, 100, 3,
     "file 0 1 192\nnote_on 0 50 99 @0\nnote_off 0 50 99 @16\nnote_on 0 35 99 @64\nnote_off 0 35 99 @80\n"
     "end_of_track @96\n"},
    // C slides into E carrying the accent; G slides into the same G: no second note-on, but the
    // accent; a tie without gate is a rest.
    {"slides hold notes and carry the accent", 6,
     {{0, StepGate | StepSlide | StepAccent}, {4, StepGate}, {7, StepGate | StepSlide}, {7, StepGate | StepAccent},
      {0, StepTie}, {0, StepGate}}, 0, false, 64, 0,
     "file 0 1 96\nnote_on 0 36 127 @0\nnote_on 0 40 127 @24\nnote_off 0 36 127 @36\nnote_off 0 40 127 @36\n"
     "note_on 0 43 63 @48\nnote_off 0 43 127 @84\nnote_on 0 36 63 @120\nnote_off 0 36 63 @132\nend_of_track @144\n"},
    {"a pattern without gates holds only the end of track, a pattern long", 16,
     std::vector<PatternStep>(16, PatternStep{5, StepAccent | StepSlide}), 0, false, 100, 0,
     "file 0 1 96\nend_of_track @384\n"},
    {"notes still sliding at the end end with the pattern", 4,
     {{0, StepGate}, {0, 0}, {3, StepGate | StepSlide}, {5, StepGate | StepSlide}}, 0, false, 100, 0,
     "file 0 1 96\nnote_on 0 36 99 @0\nnote_off 0 36 99 @12\nnote_on 0 39 99 @48\nnote_on 0 41 99 @72\n"
     "note_off 0 39 99 @96\nnote_off 0 41 99 @96\nend_of_track @96\n"},
    {"accent level 1 still gives an audible note", 1, {{0, StepGate}}, 0, false, 1, 0,
     "file 0 1 96\nnote_on 0 36 1 @0\nnote_off 0 36 1 @12\nend_of_track @24\n"},
    {"60 rests first: a delta of two bytes", 64, {{0, StepGate}}, 60, false, 100, 0,
     "file 0 1 96\nnote_on 0 36 99 @1440\nnote_off 0 36 99 @1452\nend_of_track @1536\n"},
};

// Swing is set on every pattern: it must not move exported notes. Every track ends where its
// pattern does, so a host loops it at the pattern's length. On Linux it fails (never
// skips) when python3 or mido is unavailable.
TEST(MidiExport, FilesReadBackByAnIndependentParserAndUnwritablePathsFail) {
    test::TempDir dir("midi");
    dir.write("reader.py", kReader);
    std::string command = std::string("\"") + KELO_PYTHON3 + "\" \"" + dir.file("reader.py") + "\"";
    for (size_t i = 0; i < std::size(kCases); ++i) {
        const ExportCase& c = kCases[i];
        Pattern p{};
        p.setStepCount(c.count);
        p.setShuffle(100);
        p.setTriplet(c.triplet);
        std::copy(c.steps.begin(), c.steps.end(), p.steps + c.first);
        EngineSettings s;
        s.accentVelocity = c.accentVelocity;
        s.clockSync = c.clockSync;
        const std::string path = dir.file(std::to_string(i) + ".mid");
        ASSERT_TRUE(exportPatternMidi(p, s, path)) << c.name;
        EXPECT_FALSE(exportPatternMidi(p, s, dir.file("no/such/folder/" + std::to_string(i) + ".mid")));
        command += " \"" + path + "\"";
    }
    if (std::string(KELO_PYTHON3).empty()) GTEST_SKIP() << "the files are read back on the Linux side only";
    const std::string out = dir.file("reader.out");
    ASSERT_EQ(std::system((command + " > \"" + out + "\" 2>&1").c_str()), 0)
        << "reading the files back with python3-mido failed:\n" << test::readText(out);
    std::string expected;
    for (const ExportCase& c : kCases) expected += c.expected;
    EXPECT_EQ(test::readText(out), expected);
}

} // namespace
} // namespace kelo
