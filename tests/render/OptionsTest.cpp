#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/kelo-render/Options.h"

namespace kelo::render {
namespace {

struct Parsed {
    bool ok;
    Options options;
    std::string error;
};

Parsed parse(std::vector<std::string> args) {
    args.insert(args.begin(), "kelo-render");
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    Parsed p;
    p.ok = parseOptions(int(argv.size()), argv.data(), p.options, p.error);
    return p;
}

TEST(RenderOptions, ValuesInBothSpellingsAndRepeatedSettings) {
    const Parsed p = parse({"--pattern=127", "--bars", "2", "--tempo=133.5", "--rate", "48000", "--format", "FLOAT",
                            "-o", "x.WAV", "--set", "cutoff=0.25", "--set=Distortion Type=1", "--tail", "0"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.pattern, 127);
    EXPECT_EQ(p.options.bars, 2);
    EXPECT_DOUBLE_EQ(p.options.tempo, 133.5);
    EXPECT_TRUE(p.options.tempoGiven);
    EXPECT_EQ(p.options.sampleRate, 48000);
    EXPECT_EQ(p.options.format, SampleFormat::Float);
    EXPECT_EQ(p.options.output, "x.WAV");
    EXPECT_DOUBLE_EQ(p.options.tailSeconds, 0.0);
    ASSERT_EQ(p.options.settings.size(), 2u);
    EXPECT_EQ(p.options.settings[0].name, "cutoff");
    EXPECT_DOUBLE_EQ(p.options.settings[0].value, 0.25);
    EXPECT_EQ(p.options.settings[1].name, "Distortion Type");
    EXPECT_DOUBLE_EQ(p.options.settings[1].value, 1.0);
}

TEST(RenderOptions, TempoSetByNameIsInBeatsPerMinute) {
    const Parsed p = parse({"--set", "TEMPO=140"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_DOUBLE_EQ(p.options.tempo, 140.0);
    EXPECT_TRUE(p.options.tempoGiven);
    EXPECT_TRUE(p.options.settings.empty()); // not a 0..1 parameter value

    const Parsed normalised = parse({"--set", "Tempo=0.5"});
    EXPECT_FALSE(normalised.ok);
    EXPECT_NE(normalised.error.find("1..999"), std::string::npos);
}

TEST(RenderOptions, BadInputIsRefusedWithAReason) {
    const struct {
        std::vector<std::string> args;
        const char* reason;
    } cases[] = {
        {{"--pattern", "128"}, "--pattern must be 0..127, got 128"},
        {{"--pattern", "-1"}, "--pattern must be 0..127"},
        {{"--pattern", "5x"}, "not a whole number: '5x'"},
        {{"--pattern", ""}, "not a whole number"},
        {{"--bars", "0"}, "--bars must be 1..10000"},
        {{"--tempo", "abc"}, "--tempo: not a number"},
        {{"--tempo", "nan"}, "--tempo: not a number"},
        {{"--tempo", "inf"}, "--tempo: not a number"},
        {{"--tempo", "120 "}, "--tempo: not a number"},
        {{"--bars", "99999999999999999999"}, "--bars: not a whole number"},
        {{"--tempo", "1000"}, "--tempo must be 1..999"},
        {{"--rate", "44100.5"}, "not a whole number"},
        {{"--rate", "4000"}, "--rate must be 8000..384000"},
        {{"--tail", "-1"}, "--tail must be 0..600"},
        {{"--format", "pcm8"}, "--format must be pcm16, pcm24 or float"},
        {{"--set", "Cutoff"}, "--set needs NAME=VALUE"},
        {{"--set", "=0.5"}, "--set needs NAME=VALUE"},
        {{"--set", "Cutoff=1.01"}, "--set Cutoff must be 0..1"},
        {{"--set", "Cutoff="}, "--set Cutoff: not a number"},
        {{"--bank"}, "--bank needs a value"},
        {{"--bank", ""}, "--bank needs a file name"},
        {{"-o", "render.mp3"}, "output must end in .wav or .flac"},
#ifdef KELO_RENDER_HAVE_FLAC
        {{"-o", "render.flac", "--format", "float"}, "FLAC holds 16- or 24-bit samples"},
#else
        {{"-o", "render.flac"}, "FLAC output is not available in this build"},
#endif
        {{"--frobnicate"}, "unknown option: --frobnicate"},
        {{"stray"}, "unexpected argument: stray"},
        {{"--midi", "a.mid", "--pattern", "3"}, "--midi plays the file in note mode"},
        {{"--midi", "a.mid", "--bars", "3"}, "--midi plays the file in note mode"},
        {{"--midi", "a.mid", "--set", "Tempo=90"}, "--midi plays the file in note mode"},
        {{"--midi", "a.mid", "--pattern-file", "p.pat"}, "--midi plays the file in note mode"},
    };
    for (const auto& c : cases) {
        std::string joined;
        for (const std::string& a : c.args) joined += "[" + a + "]";
        const Parsed p = parse(c.args);
        EXPECT_FALSE(p.ok) << joined;
        EXPECT_NE(p.error.find(c.reason), std::string::npos) << joined << " gave: " << p.error;
        EXPECT_EQ(p.error.find('\n'), std::string::npos) << "one line: " << p.error;
    }
}

TEST(RenderOptions, HelpNamesEveryOption) {
    const Parsed p = parse({"--help", "--pattern", "999"}); // help wins over the rest
    ASSERT_TRUE(p.ok);
    EXPECT_TRUE(p.options.help);
    const std::string help = usageText();
    for (const char* option : {"--output", "--format", "--pattern ", "--bars", "--tempo", "--rate", "--bank",
                               "--pattern-file", "--set", "--midi", "--tail", "--plugin", "--data-folder", "--quiet", "--help"})
        EXPECT_NE(help.find(option), std::string::npos) << option;
}

TEST(RenderOptions, ParameterNamesIgnoreCaseSpacesAndSeparators) {
    EXPECT_TRUE(sameParameterName("Highpass Filter", "highpass_filter"));
    EXPECT_TRUE(sameParameterName("Distortion Type", "DISTORTIONTYPE"));
    EXPECT_TRUE(sameParameterName("Envmod", "env-mod"));
    EXPECT_FALSE(sameParameterName("Distortion", "Distortion Type"));
    EXPECT_FALSE(sameParameterName("", "Cutoff"));
}

} // namespace
} // namespace kelo::render
