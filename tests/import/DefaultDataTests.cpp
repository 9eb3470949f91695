// The files a fresh install ships: the default pattern bank and the User.ini template.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <new>
#include <set>

#include "files/EngineSettingsFile.h"
#include "files/PatternFile.h"
#include "tests/files/FileTestSupport.h"

namespace kelo {
namespace {

const std::filesystem::path kData = KELO_DATA_DIR;

TEST(DefaultBank, HoldsExactly128PlayableAndVariedPatterns) {
    auto bank = std::make_unique<PatternBank>(test::sentinelBank());
    ASSERT_TRUE(readBank(*bank, (kData / "DefaultPatternBank.pat").string()));
    auto counted = std::make_unique<PatternBank>();
    EXPECT_EQ(parseBank(*counted, test::readText(kData / "DefaultPatternBank.pat")), 128);

    // Playable bass notes, every pattern a different line, and a mix of lengths, swing,
    // triplets, accents, slides and octave jumps.
    int shuffled = 0, triplets = 0, accents = 0, slides = 0, jumps = 0;
    std::set<int> lengths;
    std::set<std::vector<uint16_t>> distinct;
    for (const Pattern& p : bank->patterns) {
        EXPECT_EQ(p.header & 0x7FFF0080u, 0u); // every header set by the file
        shuffled += p.shuffle() > 0;
        triplets += p.triplet();
        lengths.insert(p.stepCount());
        std::vector<uint16_t> line{uint16_t(p.stepCount())};
        for (int s = 0; s < p.stepCount(); ++s) {
            const PatternStep& st = p.steps[s];
            const int note = stepMidiNote(st);
            EXPECT_EQ(st.flags & (StepTie | StepRestMark | StepNoteMark), 0);
            EXPECT_TRUE(note >= 24 && note <= 59) << note; // an octave either side of the base octave
            if (!(st.flags & StepGate)) continue;
            accents += bool(st.flags & StepAccent), slides += bool(st.flags & StepSlide), jumps += bool(st.flags & StepUp);
            line.push_back(uint16_t(note << 8 | (st.flags & 0x18)));
        }
        EXPECT_GE(line.size(), 2u) << "a pattern that sounds";
        distinct.insert(line);
    }
    EXPECT_EQ(distinct.size(), 128u);
    EXPECT_GE(std::min({shuffled, triplets, accents, slides, jumps}), 16);
    EXPECT_TRUE(lengths.contains(16) && lengths.contains(12) && lengths.contains(64) && lengths.size() >= 5);
}

TEST(DefaultBank, CommittedFileIsWhatTheComposerWrites) {
    if (std::string(KELO_PYTHON3).empty()) GTEST_SKIP() << "python3 runs on the Linux side only";
    test::TempDir dir("bank");
    const std::string out = dir.file("bank.pat");
    const std::string command = std::string("\"") + KELO_PYTHON3 + "\" \"" +
                                (kData / "compose_bank.py").string() + "\" \"" + out + "\"";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(test::readText(out), test::readText(kData / "DefaultPatternBank.pat"));
}

// True when `text`, read as a User.ini, leaves every byte of the settings at the defaults
// (both built on zeroed memory so padding compares too).
bool changesNoSetting(const std::string& text, test::RecordingParameters& params) {
    alignas(EngineSettings) unsigned char defaults[sizeof(EngineSettings)] = {};
    alignas(EngineSettings) unsigned char read[sizeof(EngineSettings)] = {};
    new (defaults) EngineSettings;
    test::TempDir dir("ini");
    dir.write("User.ini", text);
    EXPECT_TRUE(readEngineSettings(*new (read) EngineSettings, dir.file("User.ini"), &params));
    return std::memcmp(defaults, read, sizeof read) == 0;
}

TEST(UserIniTemplate, ChangesNothingAsInstalledNorWithEverySettingSwitchedOn) {
    const std::string text = test::readText(kData / "User.ini");
    ASSERT_FALSE(text.empty());
    test::RecordingParameters asInstalled;
    EXPECT_TRUE(changesNoSetting(text, asInstalled));
    EXPECT_TRUE(asInstalled.values.empty());

    // Uncommenting each documented "; Key = value" line keeps the defaults: the documented
    // values are the real ones.
    std::string uncommented;
    size_t keys = 0;
    for (size_t at = 0, nl; at < text.size(); at = nl + 1) {
        nl = std::min(text.find('\n', at), text.size());
        std::string line = text.substr(at, nl - at);
        if (line.size() > 1 && line[0] == ';' && line[1] != ' ' && line.find(" = ") != std::string::npos) {
            line.erase(0, 1);
            ++keys;
        }
        uncommented += line + "\n";
    }
    EXPECT_GE(keys, 15u);
    test::RecordingParameters switchedOn;
    EXPECT_TRUE(changesNoSetting(uncommented, switchedOn));
    EXPECT_EQ(switchedOn.values, (std::map<int, float>{{9, (120.0f - 25.0f) / 225.0f}})); // Tempo = 120
}

} // namespace
} // namespace kelo
