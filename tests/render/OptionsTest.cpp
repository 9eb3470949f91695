#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "tools/kelo-render/Options.h"

namespace kelo::render {
namespace {

// Parses `args` as given after the program name; the error text when refused.
bool parse(std::vector<std::string> args, Options& o, std::string& error) {
    args.insert(args.begin(), "kelo-render");
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    return parseOptions(int(argv.size()), argv.data(), o, error);
}

TEST(RenderOptions, ValuesInBothSpellingsTempoByNameAndHelp) {
    Options o;
    std::string error;
    ASSERT_TRUE(parse({"--pattern=127", "--bars", "2", "--tempo=133.5", "--rate", "48000", "--format", "FLOAT", "-o",
                       "x.WAV", "--set", "cutoff=0.25", "--set=Distortion Type=1", "--tail", "0"},
                      o, error))
        << error;
    EXPECT_EQ(o.pattern, 127);
    EXPECT_EQ(o.bars, 2);
    EXPECT_DOUBLE_EQ(o.tempo, 133.5);
    EXPECT_TRUE(o.tempoGiven);
    EXPECT_EQ(o.sampleRate, 48000);
    EXPECT_EQ(o.format, SampleFormat::Float);
    EXPECT_EQ(o.output, "x.WAV");
    EXPECT_DOUBLE_EQ(o.tailSeconds, 0.0);
    ASSERT_EQ(o.settings.size(), 2u);
    EXPECT_TRUE(o.settings[0].name == "cutoff" && o.settings[0].value == 0.25);
    EXPECT_TRUE(o.settings[1].name == "Distortion Type" && o.settings[1].value == 1.0);

    // Floats unless asked otherwise; FLAC, which holds integers, takes 24 bits.
    Options d;
    ASSERT_TRUE(parse({"--normalize", "-1.5"}, d, error)) << error;
    EXPECT_EQ(std::tuple(d.format, d.normalizeDb.value_or(99)), std::tuple(SampleFormat::Float, -1.5));
#ifdef KELO_RENDER_HAVE_FLAC
    ASSERT_TRUE(parse({"-o", "a.flac"}, d, error)) << error;
    EXPECT_EQ(std::tuple(d.format, d.normalizeDb.has_value()), std::tuple(SampleFormat::Pcm24, false));
#endif

    // Tempo by name is in beats per minute, not a 0..1 parameter value.
    Options t;
    ASSERT_TRUE(parse({"--set", "TEMPO=140"}, t, error)) << error;
    EXPECT_DOUBLE_EQ(t.tempo, 140.0);
    EXPECT_TRUE(t.tempoGiven);
    EXPECT_TRUE(t.settings.empty());

    // Help wins over the rest and names every option.
    Options h;
    ASSERT_TRUE(parse({"--help", "--pattern", "999"}, h, error));
    EXPECT_TRUE(h.help);
    const std::string help = usageText();
    for (const char* option : {"--output", "--format", "--pattern ", "--bars", "--tempo", "--rate", "--bank",
                               "--pattern-file", "--set", "--midi", "--tail", "--plugin", "--data-folder", "--quiet",
                               "--help", "--normalize"})
        EXPECT_NE(help.find(option), std::string::npos) << option;
}

TEST(RenderOptions, BadInputIsRefusedWithAOneLineReason) {
    const struct {
        std::vector<std::string> args;
        const char* reason;
    } cases[] = {
        {{"--pattern", "128"}, "--pattern must be 0..127, got 128"},
        {{"--pattern", "-1"}, "--pattern must be 0..127"},
        {{"--pattern", "5x"}, "not a whole number: '5x'"},
        {{"--pattern", ""}, "not a whole number"},
        {{"--bars", "0"}, "--bars must be 1..10000"},
        {{"--bars", "1e3"}, "--bars: not a whole number"},
        {{"--tempo", "abc"}, "--tempo: not a number"},
        {{"--tempo", "nan"}, "--tempo: not a number"},
        {{"--tempo", "inf"}, "--tempo: not a number"},
        {{"--tempo", "120 "}, "--tempo: not a number"},
        {{"--bars", "99999999999999999999"}, "--bars: not a whole number"},
        {{"--tempo", "1000"}, "--tempo must be 1..999"},
        {{"--set", "Tempo=0.5"}, "1..999"},
        {{"--rate", "44100.5"}, "not a whole number"},
        {{"--rate", "4000"}, "--rate must be 8000..384000"},
        {{"--tail", "-1"}, "--tail must be 0..600"},
        {{"--normalize", "1"}, "--normalize must be -96..0"},
        {{"--normalize", "loud"}, "--normalize: not a number"},
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
        std::string joined, error;
        for (const std::string& a : c.args) joined += "[" + a + "]";
        Options o;
        EXPECT_FALSE(parse(c.args, o, error)) << joined;
        EXPECT_NE(error.find(c.reason), std::string::npos) << joined << " gave: " << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << "one line: " << error;
    }
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
