// The files a fresh install ships: the default pattern bank and the User.ini template.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <set>

#include "files/EngineSettingsFile.h"
#include "files/PatternFile.h"
#include "tests/import/ImportTestSupport.h"

namespace kelo {
namespace {

const std::filesystem::path kData = KELO_DATA_DIR;

std::string readText(const std::filesystem::path& p) {
    const std::vector<uint8_t> bytes = test::readBytes(p);
    return std::string(bytes.begin(), bytes.end());
}

class DefaultBank : public testing::Test {
protected:
    void SetUp() override {
        test::fillSentinel(*bank);
        ASSERT_TRUE(readBank(*bank, (kData / "DefaultPatternBank.pat").string()));
    }
    std::unique_ptr<PatternBank> bank = std::make_unique<PatternBank>();
};

TEST_F(DefaultBank, HoldsExactly128PlayablePatterns) {
    auto counted = std::make_unique<PatternBank>();
    EXPECT_EQ(parseBank(*counted, readText(kData / "DefaultPatternBank.pat")), 128);
    for (int i = 0; i < kNumPatterns; ++i) {
        const Pattern& p = bank->patterns[i];
        SCOPED_TRACE(i);
        ASSERT_GE(p.stepCount(), 1);
        ASSERT_LE(p.stepCount(), 64);
        // The file sets every header: nothing of the sentinel's uninterpreted bits survives.
        EXPECT_EQ(p.header & 0x7FFF0080u, 0u);
        int gated = 0;
        for (int s = 0; s < p.stepCount(); ++s) {
            gated += p.steps[s].flags & StepGate;
            EXPECT_EQ(p.steps[s].flags & (StepTie | StepRestMark | StepNoteMark), 0);
            // The bass range: one octave either side of the base octave.
            EXPECT_GE(stepMidiNote(p.steps[s]), 24);
            EXPECT_LE(stepMidiNote(p.steps[s]), 59);
        }
        EXPECT_GE(gated, 1);
    }
}

TEST_F(DefaultBank, IsVariedLikeARealCollection) {
    int shuffled = 0, triplets = 0, withAccent = 0, withSlide = 0, withOctaveJump = 0;
    std::map<int, int> lengths;
    std::set<std::vector<uint16_t>> distinct;
    for (const Pattern& p : bank->patterns) {
        shuffled += p.shuffle() > 0;
        triplets += p.triplet();
        ++lengths[p.stepCount()];
        bool accent = false, slide = false, up = false;
        std::vector<uint16_t> key{uint16_t(p.stepCount())};
        for (int s = 0; s < p.stepCount(); ++s) {
            const PatternStep& st = p.steps[s];
            const bool gate = st.flags & StepGate;
            accent |= gate && (st.flags & StepAccent);
            slide |= gate && (st.flags & StepSlide);
            up |= gate && (st.flags & StepUp);
            key.push_back(uint16_t(gate ? stepMidiNote(st) << 8 | (st.flags & 0x18) : 0));
        }
        withAccent += accent;
        withSlide += slide;
        withOctaveJump += up;
        distinct.insert(key);
    }
    EXPECT_EQ(distinct.size(), 128u) << "every pattern is a different line";
    EXPECT_GE(shuffled, 16);
    EXPECT_GE(triplets, 16);
    EXPECT_GE(withAccent, 120);
    EXPECT_GE(withSlide, 90);
    EXPECT_GE(withOctaveJump, 48);
    EXPECT_GE(lengths[16], 64) << "mostly one-bar patterns";
    for (int n : {8, 12, 24, 32, 64}) EXPECT_GE(lengths[n], 1) << n << "-step patterns";
    EXPECT_LE(lengths[64], 8);
}

TEST_F(DefaultBank, CommittedFileIsWhatTheComposerWrites) {
    test::ScratchDir dir("bank");
    const std::string out = (dir / "bank.pat").string();
    const std::string command = std::string("\"") + KELO_PYTHON3 + "\" \"" +
                                (kData / "compose_bank.py").string() + "\" \"" + out + "\"";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(readText(out), readText(kData / "DefaultPatternBank.pat"));
}

// Reads `text` as a User.ini into settings built on zeroed memory, so whole objects compare.
struct ReadSettings {
    alignas(EngineSettings) unsigned char defaults[sizeof(EngineSettings)];
    alignas(EngineSettings) unsigned char read[sizeof(EngineSettings)];
    test::RecordingParams params;
    bool ok = false;

    explicit ReadSettings(const std::string& text) {
        std::memset(defaults, 0, sizeof defaults);
        std::memset(read, 0, sizeof read);
        new (defaults) EngineSettings;
        auto* s = new (read) EngineSettings;
        test::ScratchDir dir("ini");
        test::writeText(dir / "User.ini", text);
        ok = readEngineSettings(*s, (dir / "User.ini").string(), &params);
    }
    bool unchanged() const { return std::memcmp(defaults, read, sizeof read) == 0; }
};

TEST(UserIniTemplate, ChangesNothingAsInstalled) {
    const std::string text = readText(kData / "User.ini");
    ASSERT_FALSE(text.empty());
    const ReadSettings r(text);
    EXPECT_TRUE(r.ok);
    EXPECT_TRUE(r.unchanged());
    EXPECT_TRUE(r.params.values.empty());
}

TEST(UserIniTemplate, DocumentedValuesAreTheDefaults) {
    // With every setting switched on as written, the settings stay at their defaults.
    std::string text = readText(kData / "User.ini");
    std::string uncommented;
    size_t keys = 0;
    for (size_t at = 0; at < text.size();) {
        size_t nl = text.find('\n', at);
        if (nl == std::string::npos) nl = text.size();
        std::string line = text.substr(at, nl - at);
        if (line.size() > 1 && line[0] == ';' && line[1] != ' ' && line.find(" = ") != std::string::npos) {
            line.erase(0, 1);
            ++keys;
        }
        uncommented += line + "\n";
        at = nl + 1;
    }
    EXPECT_GE(keys, 15u);
    const ReadSettings r(uncommented);
    EXPECT_TRUE(r.ok);
    EXPECT_TRUE(r.unchanged());
    ASSERT_EQ(r.params.values.count(9), 1u); // Tempo = 120 goes to the tempo parameter
    EXPECT_FLOAT_EQ(r.params.values.at(9), (120.0f - 25.0f) / 225.0f);
}

} // namespace
} // namespace kelo
