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
    std::string uncommented = "\n" + text;
    size_t keys = 0;
    for (size_t at = 0; (at = uncommented.find("\n;", at)) != std::string::npos; ++at) {
        if (uncommented[at + 2] == ' ' || uncommented.find(" = ", at) > uncommented.find('\n', at + 1)) continue;
        uncommented.erase(at + 1, 1);
        ++keys;
    }
    EXPECT_GE(keys, 15u);
    test::RecordingParameters switchedOn;
    EXPECT_TRUE(changesNoSetting(uncommented, switchedOn));
    EXPECT_EQ(switchedOn.values, (std::map<int, float>{{9, (120.0f - 25.0f) / 225.0f}})); // Tempo = 120
}

} // namespace
} // namespace kelo
