// Song import: real song files, hand-built chunk trees, and damaged files.
#include <gtest/gtest.h>

#include <memory>

#include "files/ForeignImport.h"
#include "tests/files/FileTestSupport.h"

namespace kelo {
namespace {

using test::samePattern;

const std::filesystem::path kSongs = KELO_RBS_TESTDATA;

std::vector<uint8_t> song(const char* name) {
    std::vector<uint8_t> bytes = test::readBytes(kSongs / name);
    EXPECT_FALSE(bytes.empty()) << "missing test song " << (kSongs / name);
    return bytes;
}

const PatternBank kSentinel = test::sentinelBank();

struct Imported {
    std::unique_ptr<PatternBank> bank = std::make_unique<PatternBank>(kSentinel);
    test::RecordingParameters params;
    int selected = -2;
    bool ok = false;
    const PatternStep& step(int pattern, int s) const { return bank->patterns[pattern].steps[s]; }
    bool unchanged(int pattern) const { return test::untouched(*bank, pattern); }
};

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

// Known bytes of the real songs, read from their unit images with a hex viewer: unit 0 starts
// at 0x68c (selected pattern at +1, knobs at +2..+7), its pattern p at 0x696 + 34 p (count,
// then note and flag byte per step); unit 1's patterns (bank 32..63) start at 0xae8.
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
    // 01 00 42 41 00 ...
    {"rebirth-default-song.rbs", 0, {{0, 0x42 / 127.0f}, {1, 0x41 / 127.0f}, {2, 0.0f}, {10, 0.0f}}, {}, {}, StepGate},
    // 00 04 6f 00 7b 00 4a 1f; pattern 0: 10 | 0c 04 | 08 04 | 05 05 | 05 14 | ... | 0c 10 at step 7;
    // pattern 2: 05 09, 05 18 at step 3, 05 15 at step 10; unit 1: 05 01, 05 10; step 10 of its
    // pattern 1 is 08 01.
    {"kilomix-98.rbs", 4, {{0, 0x6f / 127.0f}, {1, 0.0f}, {2, 0x7b / 127.0f}, {4, 0x4a / 127.0f}, {5, 0x1f / 127.0f}},
     {{0, 0, 12, StepGate | StepUp}, {0, 1, 8, StepGate | StepUp}, {0, 2, -1, StepGate | StepUp | StepSlide},
      {0, 3, -1, StepUp}, // a rest keeps its octave flag
      {0, 7, 12, 0}, {2, 0, -1, StepGate | StepDown | StepSlide}, {2, 3, -1, StepDown}, {2, 10, -1, StepUp | StepSlide},
      {32, 0, 5, StepGate | StepSlide}, {32, 1, -1, 0}, {33, 10, 8, StepGate | StepSlide}}, {}},
    // 01 00 7f; pattern 0: 07 11 at step 3, 0a 19 at 15; pattern 1: 0c 13 at 10, 00 1b at 13;
    // pattern 2: 03 02 at 1, 00 0a at 2; unit 1 pattern 0: 0a 0b at 12, its waveform switch (1)
    // is not applied.
    {"untitled-song-2.rbs", 0, {{0, 1.0f}, {10, 0.0f}},
     {{0, 3, 7, StepSlide}, {0, 15, 10, StepDown | StepSlide}, {1, 10, -1, StepSlide | StepAccent},
      {1, 13, -1, StepDown | StepSlide | StepAccent}, {2, 1, 3, StepGate | StepAccent},
      {2, 2, -1, StepGate | StepDown | StepAccent}, {32, 12, -1, StepGate | StepDown | StepSlide | StepAccent}}, {}},
    // Patterns 0 and 32 hold 8 steps; pattern 0: 07 08, 05 0c at step 4.
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

TEST(RebirthChunkWalk, UnitsAreFoundThroughNestedListsAndOddPadding) {
    std::vector<uint8_t> first = unitImage(5, 10, 0);
    first[11] = 0; // pattern 0, step 0: a C with accent and no rest
    first[12] = RebirthAccent;
    const auto file = list("RB40", {chunk("HEAD", std::vector<uint8_t>(7, 0xAA)), // odd: padded
                                    list("DEVL", {chunk("MIXR", {1, 2, 3}), list("XTRA", {chunk("DIST", {9})}),
                                                  chunk("303 ", first), chunk("303 ", unitImage(1, 20, RebirthRest))}),
                                    chunk("TRAK", {1, 2, 3, 4, 5})});
    const Imported r = importBytes(file);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(std::tuple(r.selected, r.bank->patterns[0].stepCount()), std::tuple(5, 16));
    EXPECT_EQ(std::tuple(r.step(0, 0).note, r.step(0, 0).flags), std::tuple(0, StepGate | StepAccent));
    // The second unit's pattern 5 lands in bank pattern 37; its steps are rests.
    EXPECT_EQ(std::tuple(r.step(37, 0).note, r.step(37, 0).flags), std::tuple(5, 0));
    EXPECT_EQ(r.params.values, (std::map<int, float>{{0, 10 / 127.0f}, {1, 11 / 127.0f}, {2, 12 / 127.0f},
                                                     {3, 13 / 127.0f}, {4, 14 / 127.0f}, {5, 15 / 127.0f},
                                                     {10, 1.0f}}));
}

TEST(RebirthChunkWalk, OneUnitLeavesTheSecondHalfAndExtraOrOversizedUnitsAreHandled) {
    const Imported one = importBytes(list("RB40", {chunk(" 303", unitImage(0, 0, 0))}));
    ASSERT_TRUE(one.ok);
    EXPECT_EQ(one.step(31, 0).note, 31 % 13);
    for (int i = 32; i < kNumPatterns; ++i) EXPECT_TRUE(one.unchanged(i)) << i;

    const Imported three = importBytes(list("RB40", {chunk("303 ", unitImage(0, 0, 0)),
                                                     chunk("303 ", unitImage(0, 0, RebirthAccent)),
                                                     chunk("303 ", unitImage(0, 0, RebirthDown))}));
    ASSERT_TRUE(three.ok);
    EXPECT_EQ(three.step(40, 3).flags, StepGate | StepAccent);
    for (int i = 64; i < kNumPatterns; ++i) EXPECT_TRUE(three.unchanged(i)) << i;

    // A unit chunk far longer than an image (and odd) is cut, and the walk goes on after it.
    std::vector<uint8_t> big = unitImage(2, 0, 0);
    big.resize(3001, 0x7F);
    const Imported r = importBytes(list("RB40", {chunk("303 ", big), chunk("303 ", unitImage(0, 0, RebirthSlide))}));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(std::tuple(r.selected, r.step(0, 0).flags, r.step(32, 0).flags),
              std::tuple(2, StepGate, StepGate | StepSlide));
}

TEST(RebirthChunkWalk, HostileValuesAreClamped) {
    std::vector<uint8_t> u = unitImage(200, 120, 0, 0); // count 0
    u[10 + 34] = 200;                                   // pattern 1: count far past the record
    u[11] = 250;                                        // pattern 0 step 0: impossible note
    u[7] = 200;                                         // Accent knob beyond 127
    u[8] = 7;                                           // waveform switch out of range
    const Imported r = importBytes(chunk("303 ", u));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.selected, 127);
    EXPECT_EQ(std::tuple(r.params.values.at(4), r.params.values.at(5), r.params.values.at(10)),
              std::tuple(124 / 127.0f, 1.0f, 1.0f));
    EXPECT_EQ(std::tuple(r.bank->patterns[0].stepCount(), r.step(0, 0).note), std::tuple(1, 35));
    EXPECT_EQ(r.bank->patterns[1].stepCount(), 16);
    EXPECT_EQ(r.step(1, 16).flags, kSentinel.patterns[1].steps[16].flags);
}

TEST(RebirthChunkWalk, FilesWithoutUnitsChangeNothing) {
    for (const auto& file : {std::vector<uint8_t>{}, std::vector<uint8_t>{'C', 'A', 'T', ' '},
                             list("RB40", {chunk("808 ", std::vector<uint8_t>(100, 1))}), chunk("CAT ", {'R', 'B'})}) {
        const Imported r = importBytes(file);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.selected, -1);
        EXPECT_TRUE(r.params.values.empty());
        for (int i = 0; i < kNumPatterns; ++i) EXPECT_TRUE(r.unchanged(i));
    }
    auto bank = std::make_unique<PatternBank>();
    int selected = 0;
    EXPECT_FALSE(importRebirthSong("/nonexistent/folder/song.rbs", *bank, nullptr, selected));
    EXPECT_EQ(selected, -1);

    // Lists nest 32 deep at most, so a hostile file cannot exhaust the stack.
    std::vector<uint8_t> nested = chunk("303 ", unitImage(0, 0, 0));
    for (int depth = 0; depth < 32; ++depth) nested = list("RB40", {nested});
    EXPECT_TRUE(importBytes(nested).ok);
    EXPECT_FALSE(importBytes(list("RB40", {nested})).ok);
}

// Whatever a damaged file does, every pattern ends up either untouched or as the intact song
// would have made it; nothing else can have come from bytes that were really read.
TEST(RebirthDamagedFiles, EveryPrefixChangesOnlyWhatItHolds) {
    const std::vector<uint8_t> full = song("untitled-song-2.rbs");
    ASSERT_FALSE(full.empty());
    const Imported whole = importBytes(full);
    size_t firstComplete = 0;
    for (size_t n = 0; n <= full.size(); ++n) {
        const Imported r = importBytes(std::span<const uint8_t>(full.data(), n));
        bool allAsWhole = true;
        for (int i = 0; i < kNumPatterns; ++i) {
            const bool asWhole = samePattern(r.bank->patterns[i], whole.bank->patterns[i]);
            ASSERT_TRUE(asWhole || r.unchanged(i)) << "prefix " << n << " pattern " << i;
            allAsWhole = allAsWhole && asWhole;
        }
        for (const auto& [index, value] : r.params.values) ASSERT_EQ(value, whole.params.values.at(index));
        ASSERT_TRUE(r.selected == -1 || r.selected == whole.selected);
        if (allAsWhole && firstComplete == 0) firstComplete = n;
    }
    // The last pattern needs the second unit image up to its final byte.
    EXPECT_EQ(firstComplete, 0xad6 + 8 + kRebirthUnitBytes);
}

} // namespace
} // namespace kelo
