// Song import: real song files, hand-built chunk trees, and damaged files.
#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "files/ForeignImport.h"
#include "tests/import/ImportTestSupport.h"

namespace kelo {
namespace {

using test::fillSentinel;
using test::samePattern;

const std::filesystem::path kSongs = KELO_RBS_TESTDATA;
const char* const kSongFiles[] = {"kilomix-98.rbs", "on-the-run.rbs", "rebirth-default-song.rbs",
                                  "silent-default-song.rbs", "untitled-song-2.rbs"};

std::vector<uint8_t> song(const char* name) {
    std::vector<uint8_t> bytes = test::readBytes(kSongs / name);
    EXPECT_FALSE(bytes.empty()) << "missing test song " << (kSongs / name);
    return bytes;
}

struct Imported {
    std::unique_ptr<PatternBank> before = std::make_unique<PatternBank>();
    std::unique_ptr<PatternBank> bank = std::make_unique<PatternBank>();
    test::RecordingParams params;
    int selected = -2;
    bool ok = false;
};

Imported importBytes(std::span<const uint8_t> bytes) {
    Imported r;
    fillSentinel(*r.before);
    *r.bank = *r.before;
    RebirthSong parsed;
    parseRebirthSong(bytes, parsed);
    r.ok = applyRebirthSong(parsed, *r.bank, &r.params, r.selected);
    return r;
}

const PatternStep& step(const Imported& r, int pattern, int s) { return r.bank->patterns[pattern].steps[s]; }

// --- Building chunk trees by hand -------------------------------------------------------------

std::vector<uint8_t> chunk(const char* id, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> out(id, id + 4);
    const uint32_t n = uint32_t(data.size());
    for (int i = 3; i >= 0; --i) out.push_back(uint8_t(n >> (8 * i)));
    out.insert(out.end(), data.begin(), data.end());
    if (n & 1) out.push_back(0);
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
    for (int p = 0; p < 32; ++p) {
        const size_t r = 10 + 34 * size_t(p);
        u[r] = count;
        for (int j = 0; j < 16; ++j) {
            u[r + 1 + 2 * j] = uint8_t((p + j) % 13);
            u[r + 2 + 2 * j] = flags;
        }
    }
    return u;
}

// --- Real songs ---------------------------------------------------------------------------------

TEST(RebirthSongFiles, EveryRealSongImportsIntoTheFirst64PatternsOnly) {
    for (const char* name : kSongFiles) {
        SCOPED_TRACE(name);
        auto bank = std::make_unique<PatternBank>();
        fillSentinel(*bank);
        const auto before = std::make_unique<PatternBank>(*bank);
        test::RecordingParams params;
        int selected = -2;
        ASSERT_TRUE(importRebirthSong((kSongs / name).string(), *bank, &params, selected));
        EXPECT_GE(selected, 0);
        EXPECT_LE(selected, 31);
        EXPECT_EQ(params.values.size(), 7u); // knobs 0..5 and the waveform
        for (int i = 0; i < 64; ++i) {
            const Pattern& p = bank->patterns[i];
            EXPECT_GE(p.stepCount(), 1);
            EXPECT_LE(p.stepCount(), 16);
            // Only the count changes in the header.
            EXPECT_EQ(p.header & ~0x7Fu, before->patterns[i].header & ~0x7Fu);
            for (int s = 0; s < p.stepCount(); ++s) EXPECT_LE(p.steps[s].note, 12);
        }
        for (int i = 64; i < kNumPatterns; ++i) EXPECT_TRUE(samePattern(bank->patterns[i], before->patterns[i]));
    }
}

TEST(RebirthSongFiles, SilentSongGivesRestsAndDefaultSongGivesGatedCs) {
    const Imported silent = importBytes(song("silent-default-song.rbs"));
    const Imported plain = importBytes(song("rebirth-default-song.rbs"));
    ASSERT_TRUE(silent.ok);
    ASSERT_TRUE(plain.ok);
    for (int i = 0; i < 64; ++i) {
        ASSERT_EQ(silent.bank->patterns[i].stepCount(), 16);
        ASSERT_EQ(plain.bank->patterns[i].stepCount(), 16);
        for (int s = 0; s < 16; ++s) {
            EXPECT_EQ(step(silent, i, s).flags, 0) << i << "/" << s;
            EXPECT_EQ(step(silent, i, s).note, 0);
            EXPECT_EQ(step(plain, i, s).flags, StepGate) << i << "/" << s;
            EXPECT_EQ(step(plain, i, s).note, 0);
        }
    }
    // Unit image at 0x68c: 01 00 42 41 00 ...: selected 0, Tune 0x42, Cutoff 0x41, Resonance 0.
    EXPECT_EQ(plain.selected, 0);
    EXPECT_FLOAT_EQ(plain.params.values.at(0), 0x42 / 127.0f);
    EXPECT_FLOAT_EQ(plain.params.values.at(1), 0x41 / 127.0f);
    EXPECT_FLOAT_EQ(plain.params.values.at(2), 0.0f);
    EXPECT_FLOAT_EQ(plain.params.values.at(10), 0.0f);
}

TEST(RebirthSongFiles, AcidSongStepsMatchTheirChunkBytes) {
    const Imported r = importBytes(song("kilomix-98.rbs"));
    ASSERT_TRUE(r.ok);
    // Unit 0 image at 0x68c: 00 04 6f 00 7b 00 4a 1f 00 00.
    EXPECT_EQ(r.selected, 4);
    EXPECT_FLOAT_EQ(r.params.values.at(0), 0x6f / 127.0f);
    EXPECT_FLOAT_EQ(r.params.values.at(1), 0.0f);
    EXPECT_FLOAT_EQ(r.params.values.at(2), 0x7b / 127.0f);
    EXPECT_FLOAT_EQ(r.params.values.at(4), 0x4a / 127.0f);
    EXPECT_FLOAT_EQ(r.params.values.at(5), 0x1f / 127.0f);
    // Pattern 0 at 0x696: 10 | 0c 04 | 08 04 | 05 05 | 05 14 | ... | 0c 10 (step 7).
    EXPECT_EQ(step(r, 0, 0).note, 12);
    EXPECT_EQ(step(r, 0, 0).flags, StepGate | StepUp);
    EXPECT_EQ(step(r, 0, 1).note, 8);
    EXPECT_EQ(step(r, 0, 2).flags, StepGate | StepUp | StepSlide);
    EXPECT_EQ(step(r, 0, 3).flags, StepUp); // rest keeps its octave flag
    EXPECT_EQ(step(r, 0, 7).note, 12);
    EXPECT_EQ(step(r, 0, 7).flags, 0);
    // Pattern 2 at 0x6da: 05 09 (slide, down), 05 18 at step 3 (rest, down), 05 15 at step 10.
    EXPECT_EQ(step(r, 2, 0).flags, StepGate | StepDown | StepSlide);
    EXPECT_EQ(step(r, 2, 3).flags, StepDown);
    EXPECT_EQ(step(r, 2, 10).flags, StepUp | StepSlide);
    // Unit 1, pattern 0 at 0xae8: 05 01, 05 10 -> bank pattern 32.
    EXPECT_EQ(step(r, 32, 0).note, 5);
    EXPECT_EQ(step(r, 32, 0).flags, StepGate | StepSlide);
    EXPECT_EQ(step(r, 32, 1).flags, 0);
    // Unit 1, pattern 1 at 0xb0a: step 10 is 08 01.
    EXPECT_EQ(step(r, 33, 10).note, 8);
    EXPECT_EQ(step(r, 33, 10).flags, StepGate | StepSlide);
}

TEST(RebirthSongFiles, DenseFlagCombinationsMapBitByBit) {
    const Imported r = importBytes(song("untitled-song-2.rbs"));
    ASSERT_TRUE(r.ok);
    // Unit 0 image: 01 00 7f ... -> selected 0, Tune full.
    EXPECT_EQ(r.selected, 0);
    EXPECT_FLOAT_EQ(r.params.values.at(0), 1.0f);
    // Pattern 0 at 0x696: step 3 = 07 11, step 15 = 0a 19.
    EXPECT_EQ(step(r, 0, 3).note, 7);
    EXPECT_EQ(step(r, 0, 3).flags, StepSlide);
    EXPECT_EQ(step(r, 0, 15).note, 10);
    EXPECT_EQ(step(r, 0, 15).flags, StepDown | StepSlide);
    // Pattern 1 at 0x6b8: step 10 = 0c 13, step 13 = 00 1b.
    EXPECT_EQ(step(r, 1, 10).flags, StepSlide | StepAccent);
    EXPECT_EQ(step(r, 1, 13).flags, StepDown | StepSlide | StepAccent);
    // Pattern 2 at 0x6da: step 1 = 03 02, step 2 = 00 0a.
    EXPECT_EQ(step(r, 2, 1).note, 3);
    EXPECT_EQ(step(r, 2, 1).flags, StepGate | StepAccent);
    EXPECT_EQ(step(r, 2, 2).flags, StepGate | StepDown | StepAccent);
    // Unit 1 pattern 0 at 0xae8: step 12 = 0a 0b; its waveform switch (1) is not applied.
    EXPECT_EQ(step(r, 32, 12).flags, StepGate | StepDown | StepSlide | StepAccent);
    EXPECT_FLOAT_EQ(r.params.values.at(10), 0.0f);
}

TEST(RebirthSongFiles, ShortFirstPatternsKeepTheStepsBeyondTheirCount) {
    const Imported r = importBytes(song("on-the-run.rbs"));
    ASSERT_TRUE(r.ok);
    for (int p : {0, 32}) {
        EXPECT_EQ(r.bank->patterns[p].stepCount(), 8);
        for (int s = 8; s < kMaxSteps; ++s) {
            EXPECT_EQ(step(r, p, s).note, r.before->patterns[p].steps[s].note);
            EXPECT_EQ(step(r, p, s).flags, r.before->patterns[p].steps[s].flags);
        }
    }
    // Pattern 0 at 0x696: 07 08 (down), step 4 = 05 0c (up and down).
    EXPECT_EQ(step(r, 0, 0).flags, StepGate | StepDown);
    EXPECT_EQ(step(r, 0, 4).flags, StepGate | StepUp | StepDown);
    EXPECT_EQ(r.bank->patterns[1].stepCount(), 16);
}

// --- Hand-built chunk trees ---------------------------------------------------------------------

TEST(RebirthChunkWalk, UnitsAreFoundThroughNestedListsAndOddPadding) {
    std::vector<uint8_t> first = unitImage(5, 10, 0);
    // First unit, pattern 0: 16 steps, the first a C with accent and no rest.
    first[10] = 16;
    first[11] = 0;
    first[12] = RebirthAccent;
    const auto file = list("RB40", {chunk("HEAD", std::vector<uint8_t>(7, 0xAA)), // odd: padded
                                    list("DEVL", {chunk("MIXR", {1, 2, 3}), list("XTRA", {chunk("DIST", {9})}),
                                                  chunk("303 ", first), chunk("303 ", unitImage(1, 20, RebirthRest))}),
                                    chunk("TRAK", {1, 2, 3, 4, 5})});
    const Imported r = importBytes(file);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.selected, 5);
    EXPECT_EQ(r.bank->patterns[0].stepCount(), 16);
    EXPECT_EQ(step(r, 0, 0).note, 0);
    EXPECT_EQ(step(r, 0, 0).flags, 0x11);
    // The second unit's pattern 5 lands in bank pattern 37; its steps are rests.
    EXPECT_EQ(step(r, 37, 0).note, 5);
    EXPECT_EQ(step(r, 37, 0).flags, 0);
    EXPECT_FLOAT_EQ(r.params.values.at(0), 10 / 127.0f);
    EXPECT_FLOAT_EQ(r.params.values.at(5), 15 / 127.0f);
    EXPECT_FLOAT_EQ(r.params.values.at(10), 1.0f);
}

TEST(RebirthChunkWalk, OneUnitLeavesTheSecondHalfAndExtraUnitsAreIgnored) {
    const Imported one = importBytes(list("RB40", {chunk(" 303", unitImage(0, 0, 0))}));
    ASSERT_TRUE(one.ok);
    EXPECT_EQ(step(one, 31, 0).note, 31 % 13);
    for (int i = 32; i < kNumPatterns; ++i)
        EXPECT_TRUE(samePattern(one.bank->patterns[i], one.before->patterns[i])) << i;

    const Imported three = importBytes(list("RB40", {chunk("303 ", unitImage(0, 0, 0)),
                                                     chunk("303 ", unitImage(0, 0, RebirthAccent)),
                                                     chunk("303 ", unitImage(0, 0, RebirthDown))}));
    ASSERT_TRUE(three.ok);
    EXPECT_EQ(step(three, 40, 3).flags, StepGate | StepAccent);
    for (int i = 64; i < kNumPatterns; ++i)
        EXPECT_TRUE(samePattern(three.bank->patterns[i], three.before->patterns[i])) << i;
}

TEST(RebirthChunkWalk, OversizedUnitIsCutAndTheWalkContinuesAfterIt) {
    std::vector<uint8_t> big = unitImage(2, 0, 0);
    big.resize(3001, 0x7F); // odd and far longer than a unit image
    const Imported r = importBytes(list("RB40", {chunk("303 ", big), chunk("303 ", unitImage(0, 0, RebirthSlide))}));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.selected, 2);
    EXPECT_EQ(step(r, 0, 0).flags, StepGate);
    EXPECT_EQ(step(r, 32, 0).flags, StepGate | StepSlide);
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
    EXPECT_FLOAT_EQ(r.params.values.at(4), 124 / 127.0f);
    EXPECT_FLOAT_EQ(r.params.values.at(5), 1.0f);
    EXPECT_FLOAT_EQ(r.params.values.at(10), 1.0f);
    EXPECT_EQ(r.bank->patterns[0].stepCount(), 1);
    EXPECT_EQ(step(r, 0, 0).note, 35);
    EXPECT_EQ(r.bank->patterns[1].stepCount(), 16);
    EXPECT_EQ(step(r, 1, 16).flags, r.before->patterns[1].steps[16].flags);
}

TEST(RebirthChunkWalk, FilesWithoutUnitsChangeNothing) {
    for (const auto& file : {std::vector<uint8_t>{}, std::vector<uint8_t>{'C', 'A', 'T', ' '},
                             list("RB40", {chunk("808 ", std::vector<uint8_t>(100, 1))}),
                             chunk("CAT ", {'R', 'B'})}) {
        const Imported r = importBytes(file);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.selected, -1);
        EXPECT_TRUE(r.params.values.empty());
        for (int i = 0; i < kNumPatterns; ++i) EXPECT_TRUE(samePattern(r.bank->patterns[i], r.before->patterns[i]));
    }
    auto bank = std::make_unique<PatternBank>();
    int selected = 0;
    EXPECT_FALSE(importRebirthSong("/nonexistent/folder/song.rbs", *bank, nullptr, selected));
    EXPECT_EQ(selected, -1);
}

// --- Damaged files ------------------------------------------------------------------------------

// Whatever a damaged file does, every pattern ends up either untouched or as the intact song
// would have made it; nothing else can have come from bytes that were really read.
TEST(RebirthDamagedFiles, EveryPrefixChangesOnlyWhatItHolds) {
    const std::vector<uint8_t> full = song("untitled-song-2.rbs");
    ASSERT_FALSE(full.empty());
    const Imported whole = importBytes(full);
    const size_t secondUnitEnd = 0xad6 + 8 + kRebirthUnitBytes;
    size_t firstComplete = 0;
    for (size_t n = 0; n <= full.size(); ++n) {
        const Imported r = importBytes(std::span<const uint8_t>(full.data(), n));
        bool allAsWhole = true;
        for (int i = 0; i < kNumPatterns; ++i) {
            const bool asWhole = samePattern(r.bank->patterns[i], whole.bank->patterns[i]);
            const bool untouched = samePattern(r.bank->patterns[i], r.before->patterns[i]);
            ASSERT_TRUE(asWhole || untouched) << "prefix " << n << " pattern " << i;
            allAsWhole = allAsWhole && asWhole;
        }
        for (const auto& [index, value] : r.params.values) ASSERT_EQ(value, whole.params.values.at(index));
        ASSERT_TRUE(r.selected == -1 || r.selected == whole.selected);
        if (allAsWhole && firstComplete == 0) firstComplete = n;
    }
    // The last pattern needs the unit image up to its final byte.
    EXPECT_EQ(firstComplete, secondUnitEnd);
}

TEST(RebirthDamagedFiles, RandomByteFlipsNeverLeaveTheRules) {
    std::mt19937 rng(20261206);
    for (const char* name : kSongFiles) {
        SCOPED_TRACE(name);
        const std::vector<uint8_t> original = song(name);
        ASSERT_FALSE(original.empty());
        for (int round = 0; round < 400; ++round) {
            std::vector<uint8_t> damaged = original;
            const int flips = 1 + int(rng() % 12);
            for (int k = 0; k < flips; ++k) {
                // Half of the damage lands in the chunk headers and unit images, where it matters.
                const size_t span = (round & 1) ? damaged.size() : std::min<size_t>(damaged.size(), 0xf30);
                damaged[rng() % span] ^= uint8_t(1u << (rng() % 8));
            }
            if (round % 5 == 0) damaged.resize(rng() % damaged.size());
            const Imported r = importBytes(damaged);
            ASSERT_GE(r.selected, -1);
            ASSERT_LE(r.selected, 127);
            for (const auto& [index, value] : r.params.values) {
                ASSERT_GE(value, 0.0f);
                ASSERT_LE(value, 1.0f);
            }
            for (int i = 0; i < kNumPatterns; ++i) {
                const Pattern& p = r.bank->patterns[i];
                ASSERT_GE(p.stepCount(), 1);
                ASSERT_LE(p.stepCount(), 64);
                if (i >= 64) {
                    ASSERT_TRUE(samePattern(p, r.before->patterns[i]));
                }
                for (int s = 0; s < kMaxSteps; ++s) ASSERT_LE(p.steps[s].note, 40 + 19);
            }
        }
    }
}

} // namespace
} // namespace kelo
