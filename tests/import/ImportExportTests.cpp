// The pattern bank a fresh install ships, other programs' files (".ph" pattern banks, songs as
// real files and hand-built chunk trees, the import command's choice of format), and MIDI
// export, checked by reading the files back with an independent parser (mido).
#include <gtest/gtest.h>

#include "files/ForeignImport.h"
#include "files/MidiExport.h"
#include "files/PatternFile.h"
#include "tests/files/FileTestSupport.h"

namespace kelo {
namespace {

const std::filesystem::path kSongs = KELO_RBS_TESTDATA;

const PatternBank kSentinel = test::sentinelBank();

const std::filesystem::path kData = KELO_DATA_DIR;

TEST(DefaultBank, HoldsExactly128PlayableAndDistinctPatterns) {
    auto bank = std::make_unique<PatternBank>(test::sentinelBank());
    ASSERT_TRUE(readBank(*bank, (kData / "DefaultPatternBank.pat").string()));
    EXPECT_EQ(parseBank(*bank, test::readText(kData / "DefaultPatternBank.pat")), 128);
    std::set<std::string> distinct;
    for (const Pattern& p : bank->patterns) {
        EXPECT_EQ(p.header & 0x7FFF0080u, 0u); // every header set by the file
        for (int s = 0; s < p.stepCount(); ++s) {
            const int note = stepMidiNote(p.steps[s]);
            EXPECT_TRUE(note >= 24 && note <= 59) << note; // an octave either side of the base octave
        }
        distinct.insert(formatPattern(p));
    }
    EXPECT_EQ(distinct.size(), 128u);
}

// One pattern in the file's layout: a count line, then 16 step lines of nine integers (note,
// octave down, octave up, gate, accent, slide, three unused); steps not given are gated Cs.
std::string phPattern(long long count, const std::vector<std::string>& steps = {}) {
    std::string out = std::to_string(count) + " 0 0\n";
    for (size_t j = 0; j < 16; ++j) out += (j < steps.size() ? steps[j] : "0 0 0 1 0 0") + " 0 0 0\n";
    return out;
}

struct Imported {
    std::unique_ptr<PatternBank> bank = std::make_unique<PatternBank>(kSentinel);
    test::RecordingParameters params;
    int selected = -2, read = -2;
    bool ok = false;
    const PatternStep& step(int pattern, int s) const { return bank->patterns[pattern].steps[s]; }
    bool unchanged(int pattern) const { return test::untouched(*bank, pattern); }
};

Imported importText(const std::string& text) {
    test::TempDir dir("ph");
    Imported r;
    r.read = importPhFile(dir.write("bank.ph", text), *r.bank);
    return r;
}

TEST(PhImport, StepFieldsBecomeFlagsAndNumbersAndCountsAreHeldInRange) {
    // Both octave switches: an octave up, with the up flag only; it cannot overflow the largest number.
    Imported r = importText(phPattern(12, {"5 0 0 1 1 0", "7 1 0 1 0 1", "3 0 1 0 0 0", "2 1 1 1 0 0"}) +
                            phPattern(80) + phPattern(-3) + phPattern(0) +
                            phPattern(16, {"99999999 0 0 1 0 0", "-7 0 0 1 0 0", "2147483647 1 1 1 0 0",
                                           "-20 1 1 1 0 0", "-9 1 1 1 0 0"}) +
                            "99999999999999999999 1 1\n");
    EXPECT_EQ(r.read, 5);
    EXPECT_EQ(r.bank->patterns[0].header, (kSentinel.patterns[0].header & ~0x7Fu) | 12u);
    const PatternStep expected[] = {{5, StepGate | StepAccent}, {7, StepGate | StepDown | StepSlide},
                                    {3, StepUp}, {14, StepGate | StepUp}, {0, StepGate}, {35, StepGate},
                                    {0, StepGate}, {35, StepGate | StepUp}, {0, StepGate | StepUp},
                                    {3, StepGate | StepUp}};
    for (int s = 0; s < 10; ++s)
        EXPECT_EQ(std::tuple(r.step(s / 5 * 4, s % 5).note, r.step(s / 5 * 4, s % 5).flags),
                  std::tuple(expected[s].note, expected[s].flags)) << s;
    // Steps beyond the 16 the format holds keep their contents.
    EXPECT_EQ(std::memcmp(r.bank->patterns[0].steps + 16, kSentinel.patterns[0].steps + 16, 2 * (kMaxSteps - 16)), 0);
    EXPECT_EQ(std::tuple(r.bank->patterns[1].stepCount(), r.bank->patterns[2].stepCount(),
                         r.bank->patterns[3].stepCount()), std::tuple(64, 1, 1));
    EXPECT_EQ(r.step(1, 20).note, kSentinel.patterns[1].steps[20].note);

    std::string text;
    for (int i = 0; i < 130; ++i) text += phPattern(1 + i % 64, {std::to_string(i % 13) + " 0 0 1 0 0"});
    r = importText(text);
    EXPECT_EQ(r.read, 128);
    EXPECT_EQ(std::tuple(r.bank->patterns[127].stepCount(), r.step(127, 0).note),
              std::tuple(1 + 127 % 64, uint8_t(127 % 13)));
}

TEST(ForeignImportCommand, PathDecidesTheFormat) {
    test::TempDir dir("cmd");
    for (const char* name : {"bank.ph", "bank.txt", "bank.RBS"}) dir.write(name, phPattern(5, {"9 0 0 1 0 0"}));
    auto bank = std::make_unique<PatternBank>(kSentinel);
    int selected = -2;
    // Upper case is neither format: the extension is matched as written.
    for (const char* name : {"bank.txt", "bank.RBS", "missing.ph"}) {
        EXPECT_FALSE(importForeignPatterns(dir.file(name), *bank, nullptr, selected)) << name;
        EXPECT_EQ(selected, -1);
    }
    EXPECT_EQ(std::memcmp(bank.get(), &kSentinel, sizeof(PatternBank)), 0);
    selected = -2;
    EXPECT_TRUE(importForeignPatterns(dir.file("bank.ph"), *bank, nullptr, selected));
    EXPECT_EQ(std::tuple(selected, bank->patterns[0].stepCount(), bank->patterns[0].steps[0].note),
              std::tuple(-1, 5, uint8_t(9)));
    EXPECT_EQ(importPhFile(dir.file("missing.ph"), *bank), -1) << "unreadable, not empty";
    // ".rbs" wins when both appear: a ".ph" file in a folder named like a song is read as a song.
    test::TempDir songDir("x.rbs");
    songDir.write("bank.ph", phPattern(5));
    EXPECT_FALSE(importForeignPatterns(songDir.file("bank.ph"), *bank, nullptr, selected));
}

Imported importBytes(std::span<const uint8_t> bytes) {
    Imported r;
    RebirthSong parsed;
    parseRebirthSong(bytes, parsed);
    r.ok = applyRebirthSong(parsed, *r.bank, &r.params, r.selected);
    return r;
}

// A big-endian sized chunk, padded to an even length.
std::vector<uint8_t> chunk(const char* id, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> out(id, id + 4);
    for (int i = 3; i >= 0; --i) out.push_back(uint8_t(data.size() >> (8 * i)));
    out.insert(out.end(), data.begin(), data.end());
    if (data.size() & 1) out.push_back(0);
    return out;
}

std::vector<uint8_t> list(const char* type, const std::vector<std::vector<uint8_t>>& children) {
    std::vector<uint8_t> data(type, type + 4);
    for (const auto& c : children) data.insert(data.end(), c.begin(), c.end());
    return chunk("CAT ", data);
}

// A unit image whose pattern p holds `count` steps of note (p + j) % 13 with flag byte `flags`.
std::vector<uint8_t> unitImage(uint8_t selected, uint8_t firstKnob, uint8_t flags, uint8_t count = 16) {
    std::vector<uint8_t> u(kRebirthUnitBytes, 0);
    u[1] = selected;
    for (int k = 0; k < 6; ++k) u[2 + k] = uint8_t(firstKnob + k);
    u[8] = 1;
    for (size_t p = 0, r = 10; p < 32; ++p, r += 34) {
        u[r] = count;
        for (size_t j = 0; j < 16; ++j) u[r + 1 + 2 * j] = uint8_t((p + j) % 13), u[r + 2 + 2 * j] = flags;
    }
    return u;
}

// Known bytes of the real songs, read with a hex viewer: unit 0 at 0x68c (selected pattern at
// +1, knobs at +2..+7), its pattern p at 0x696 + 34 p (count, then note and flag byte per step);
// unit 1's patterns (bank 32..63) at 0xae8.
struct KnownStep {
    int pattern, step, note, flags; // note -1: not checked
};
struct KnownSong {
    const char* name;
    int selected;
    std::map<int, float> knobs; // parameter -> value
    std::vector<KnownStep> steps;
    std::vector<int> eightStepPatterns;
    int everyStep = -1; // flags of every step in patterns 0..63, each a C of 16 steps
};

const KnownSong kKnownSongs[] = {
    {"silent-default-song.rbs", -2, {}, {}, {}, 0},
    {"rebirth-default-song.rbs", 0, {{0, 0x42 / 127.0f}, {1, 0x41 / 127.0f}, {2, 0.0f}, {10, 0.0f}}, {}, {}, StepGate},
    {"kilomix-98.rbs", 4, {{0, 0x6f / 127.0f}, {1, 0.0f}, {2, 0x7b / 127.0f}, {4, 0x4a / 127.0f}, {5, 0x1f / 127.0f}},
     {{0, 0, 12, StepGate | StepUp}, {0, 1, 8, StepGate | StepUp}, {0, 2, -1, StepGate | StepUp | StepSlide},
      {0, 3, -1, StepUp}, // a rest keeps its octave flag
      {0, 7, 12, 0}, {2, 0, -1, StepGate | StepDown | StepSlide}, {2, 3, -1, StepDown}, {2, 10, -1, StepUp | StepSlide},
      {32, 0, 5, StepGate | StepSlide}, {32, 1, -1, 0}, {33, 10, 8, StepGate | StepSlide}}, {}},
    {"untitled-song-2.rbs", 0, {{0, 1.0f}, {10, 0.0f}}, // unit 1's waveform switch is not applied
     {{0, 3, 7, StepSlide}, {0, 15, 10, StepDown | StepSlide}, {1, 10, -1, StepSlide | StepAccent},
      {1, 13, -1, StepDown | StepSlide | StepAccent}, {2, 1, 3, StepGate | StepAccent},
      {2, 2, -1, StepGate | StepDown | StepAccent}, {32, 12, -1, StepGate | StepDown | StepSlide | StepAccent}}, {}},
    {"on-the-run.rbs", -2, {}, {{0, 0, -1, StepGate | StepDown}, {0, 4, -1, StepGate | StepUp | StepDown}}, {0, 32}},
};

// Every real song fills the first 64 patterns only, and its known steps match their chunk bytes.
TEST(RebirthSongFiles, ImportIntoTheFirst64PatternsAsTheirChunkBytesSay) {
    for (const KnownSong& known : kKnownSongs) {
        SCOPED_TRACE(known.name);
        Imported r;
        ASSERT_TRUE(importRebirthSong((kSongs / known.name).string(), *r.bank, &r.params, r.selected));
        EXPECT_TRUE(r.selected >= 0 && r.selected <= 31) << r.selected;
        EXPECT_TRUE(known.selected == -2 || r.selected == known.selected) << r.selected;
        EXPECT_EQ(r.params.values.size(), 7u); // knobs 0..5 and the waveform
        for (int i = 0; i < kNumPatterns; ++i) {
            const Pattern& p = r.bank->patterns[i];
            if (i >= 64) {
                EXPECT_TRUE(r.unchanged(i));
                continue;
            }
            EXPECT_TRUE(p.stepCount() >= 1 && p.stepCount() <= 16);
            EXPECT_EQ(p.header & ~0x7Fu, kSentinel.patterns[i].header & ~0x7Fu); // only the count changes
            for (int s = 0; s < p.stepCount(); ++s) EXPECT_LE(p.steps[s].note, 12);
        }
        for (const auto& [index, value] : known.knobs) EXPECT_FLOAT_EQ(r.params.values.at(index), value) << index;
        for (const KnownStep& k : known.steps) {
            const PatternStep& s = r.step(k.pattern, k.step);
            EXPECT_TRUE(k.note < 0 || s.note == k.note) << k.pattern << "/" << k.step << ": note " << int(s.note);
            EXPECT_EQ(s.flags, k.flags) << k.pattern << "/" << k.step;
        }
        for (int i = 0; known.everyStep >= 0 && i < 64; ++i) {
            ASSERT_EQ(r.bank->patterns[i].stepCount(), 16);
            for (int s = 0; s < 16; ++s) {
                const PatternStep& st = r.step(i, s);
                ASSERT_EQ(std::tuple(st.note, st.flags), std::tuple(0, known.everyStep)) << i << "/" << s;
            }
        }
        // A short pattern keeps the steps beyond its count.
        for (int p : known.eightStepPatterns) {
            EXPECT_EQ(r.bank->patterns[p].stepCount(), 8);
            const auto* beyond = r.bank->patterns[p].steps + 8;
            EXPECT_EQ(std::memcmp(beyond, kSentinel.patterns[p].steps + 8, 2 * (kMaxSteps - 8)), 0);
        }
    }
}

// Lists nest 32 deep at most, so a hostile file cannot exhaust the stack. (That a file without
// units changes nothing is the song fuzz test's to check.)
TEST(RebirthChunkWalk, ListsNestThirtyTwoDeepAtMost) {
    std::vector<uint8_t> nested = chunk("303 ", unitImage(0, 0, 0));
    for (int depth = 0; depth < 32; ++depth) nested = list("RB40", {nested});
    EXPECT_TRUE(importBytes(nested).ok);
    EXPECT_FALSE(importBytes(list("RB40", {nested})).ok);
}

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
