// kelo-render's parts: the command line, the MIDI file reader and the audio writer.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "tests/files/FileTestSupport.h"
#include "tests/render/WavRead.h"
#include "tools/kelo-render/AudioWriter.h"
#include "tools/kelo-render/MidiFile.h"
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

TEST(RenderOptions, BadInputIsRefusedWithAOneLineReason) {
    const struct {
        std::vector<std::string> args;
        const char* reason;
    } cases[] = {
        {{"--pattern", "128"}, "--pattern must be 0..127, got 128"},
        {{"--pattern", "-1"}, "--pattern must be 0..127"},
        {{"--pattern", "5x"}, "not a whole number: '5x'"},
        {{"--bars", "0"}, "--bars must be 1..10000"},
        {{"--bars", "1e3"}, "--bars: not a whole number"},
        {{"--tempo", "abc"}, "--tempo: not a number"},
        {{"--tempo", "nan"}, "--tempo: not a number"},
        {{"--tempo", "120 "}, "--tempo: not a number"},
        {{"--bars", "99999999999999999999"}, "--bars: not a whole number"},
        {{"--tempo", "1000"}, "--tempo must be 1..999"},
        {{"--set", "Tempo=0.5"}, "1..999"},
        {{"--rate", "44100.5"}, "not a whole number"},
        {{"--rate", "4000"}, "--rate must be 8000..384000"},
        {{"--tail", "-1"}, "--tail must be 0..600"},
        {{"--normalize", "1"}, "--normalize must be -96..0"},
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
    EXPECT_TRUE(sameParameterName("Highpass Filter", "highpass_filter") && sameParameterName("Envmod", "env-mod"));
    EXPECT_TRUE(sameParameterName("Distortion Type", "DISTORTIONTYPE"));
    EXPECT_FALSE(sameParameterName("Distortion", "Distortion Type") || sameParameterName("", "Cutoff"));
}

using Bytes = std::vector<uint8_t>;

// A file with the given header fields and one track per body, each closed by end-of-track.
Bytes midiFile(int format, int division, std::initializer_list<Bytes> tracks, bool endTracks = true) {
    Bytes f = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, uint8_t(format), 0, uint8_t(tracks.size()),
               uint8_t(division >> 8), uint8_t(division)};
    for (Bytes body : tracks) {
        if (endTracks) body.insert(body.end(), {0x00, 0xFF, 0x2F, 0x00});
        f.insert(f.end(), {'M', 'T', 'r', 'k', 0, 0, uint8_t(body.size() >> 8), uint8_t(body.size())});
        f.insert(f.end(), body.begin(), body.end());
    }
    return f;
}

MidiSong parseOk(const Bytes& file) {
    MidiSong song;
    std::string error;
    EXPECT_TRUE(parseMidiFile(file, song, error)) << error;
    return song;
}

TEST(MidiFile, TracksMergeInTimeWithTheTempoTrackAppliedAndSmpteTimeCounts) {
    // Tempo track: 240 BPM (250 000 us) from the start. An unknown chunk after it is skipped.
    const Bytes tempo = {0x00, 0xFF, 0x51, 3, 0x03, 0xD0, 0x90};
    const Bytes notes = {0x60, 0x91, 60, 100, 0x60, 0x81, 60, 0, 0x00, 0xC1, 5};
    Bytes withJunk = midiFile(1, 96, {tempo, notes});
    withJunk.insert(withJunk.begin() + 14 + 8 + 11, {'J', 'U', 'N', 'K', 0, 0, 0, 2, 1, 2});
    for (const Bytes& file : {midiFile(1, 96, {tempo, notes}), withJunk}) {
        const MidiSong song = parseOk(file);
        ASSERT_EQ(song.events.size(), 3u);
        EXPECT_EQ(std::tuple(song.events[0].seconds, song.events[1].seconds, song.lengthSeconds),
                  std::tuple(0.25, 0.5, 0.5));
        EXPECT_EQ(std::tuple(song.events[2].status, song.events[2].data1), std::tuple(0xC1, 5)); // one data byte
    }
    // 25 frames per second, 40 ticks per frame: 1000 ticks are a second.
    const MidiSong smpte = parseOk(midiFile(0, 0xE728, {{0x87, 0x68, 0x90, 40, 1}}));
    ASSERT_EQ(smpte.events.size(), 1u);
    EXPECT_NEAR(smpte.events[0].seconds, 1.0, 1e-9);
}

// Every cut of a file is the MIDI fuzz test's to check.
TEST(MidiFile, MalformedOrTruncatedFilesAreRefusedNotRead) {
    const Bytes good = midiFile(0, 480, {{0x00, 0x90, 45, 100, 0x00, 0xFF, 0x01, 2, 'h', 'i'}});
    const struct {
        Bytes file;
        const char* reason;
    } cases[] = {
        {{}, "not a standard MIDI file"},
        {{'R', 'I', 'F', 'F', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96}, "not a standard MIDI file"},
        {Bytes(good.begin(), good.begin() + 10), "truncated MIDI file header"},
        {midiFile(2, 480, {}), "format 2 is not supported"},
        {midiFile(0, 0, {}), "zero time division"},
        {Bytes(good.begin(), good.end() - 3), "is truncated"},
        {midiFile(0, 480, {{0x00, 45, 100}}, false), "running status with no status"},
        {midiFile(0, 480, {{0x00, 0x90, 45}}, false), "ends inside an event"},
        {midiFile(0, 480, {{0x00, 0x90, 45, 200}}, false), "data byte above 127"},
        {midiFile(0, 480, {{0x00, 0xFF, 0x51, 9, 1}}, false), "malformed meta event"},
        {midiFile(0, 480, {{0xFF, 0xFF, 0xFF, 0xFF, 0x7F}}, false), "malformed"},
        {midiFile(0, 480, {{0x00, 0xF0, 0x05, 0x01}}, false), "malformed system exclusive event"},
        {midiFile(0, 480, {{0x00, 0xF8}}, false), "unexpected system message"},
        {midiFile(0, 0xE700, {{}}), "invalid SMPTE"},
    };
    auto refused = [](const Bytes& file, std::string& error) {
        MidiSong song;
        song.events.push_back({});
        return !parseMidiFile(file, song, error) && song.events.empty(); // nothing half-read is handed on
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        std::string error;
        EXPECT_TRUE(refused(cases[i].file, error)) << "case " << i;
        EXPECT_NE(error.find(cases[i].reason), std::string::npos) << "case " << i << " gave: " << error;
    }
}

namespace fs = std::filesystem;

class AudioWriterTest : public ::testing::Test {
protected:
    size_t filesInDir() const { return size_t(std::distance(fs::directory_iterator(dir_.folder()), {})); }
    std::string path(const char* name) const { return dir_.file(name); }
    // Left crosses full scale with values beyond it; right is its negation.
    const std::vector<float> kLeft = {0.0f, 0.5f, -0.5f, 1.0f, -1.0f, 1.5f, -2.0f, 0.25f, 1e-6f};
    const std::vector<float> kRight = {-0.0f, -0.5f, 0.5f, -1.0f, 1.0f, -1.5f, 2.0f, -0.25f, -1e-6f};
    kelo::test::TempDir dir_{"render-writer"};
};

TEST_F(AudioWriterTest, EachFormatStoresTheSamplesItCanAndReplacesTheTargetOnCommit) {
    const struct {
        SampleFormat format;
        int bits, tag;
        double step; // one quantisation step
    } cases[] = {{SampleFormat::Pcm16, 16, 1, 1.0 / 32767}, {SampleFormat::Pcm24, 24, 1, 1.0 / 8388607},
                 {SampleFormat::Float, 32, 3, 0.0}};
    const std::string out = path("out.wav");
    for (const auto& c : cases) {
        std::ofstream(out) << "previous render";
        AudioWriter w;
        std::string error;
        ASSERT_TRUE(w.open(out, 48000, c.format, error)) << error;
        // Written in two pieces: the header must still count them all.
        ASSERT_TRUE(w.write(kLeft.data(), kRight.data(), 4));
        ASSERT_TRUE(w.write(kLeft.data() + 4, kRight.data() + 4, kLeft.size() - 4));
        EXPECT_EQ(kelo::test::readText(out), "previous render") << "the target changes only on commit";
        ASSERT_TRUE(w.commit(error)) << error;
        EXPECT_EQ(filesInDir(), 1u) << "no scratch file left";
        const test::Wav wav = test::readWav(out);
        ASSERT_TRUE(wav.ok) << c.bits;
        EXPECT_EQ(std::vector<int>({wav.format, wav.bits, wav.channels, wav.sampleRate}),
                  std::vector<int>({c.tag, c.bits, 2, 48000}));
        EXPECT_EQ(wav.riffSize + 8, wav.fileSize);
        EXPECT_EQ(w.frames(), kLeft.size());
        EXPECT_FLOAT_EQ(w.peak(), 2.0f);
        EXPECT_EQ(w.clippedSamples(), c.step == 0.0 ? 0u : 4u);
        ASSERT_EQ(wav.frames(), kLeft.size());
        for (size_t i = 0; i < kLeft.size(); ++i) {
            const double expected = c.step == 0.0 ? kLeft[i] : std::fmax(-1.0, std::fmin(1.0, kLeft[i]));
            EXPECT_NEAR(wav.left[i], expected, c.step / 2 + 1e-9) << c.bits << " bits, sample " << i;
            EXPECT_NEAR(wav.right[i], -expected, c.step / 2 + 1e-9) << c.bits << " bits, sample " << i;
        }
    }
}

TEST_F(AudioWriterTest, NormalizeScalesEverySampleToThePeakAskedAndSilenceStaysSilent) {
    const std::vector<float> quiet = {-0.5f, 0.25f, 0.1f}; // the peak in the first frame
    const std::vector<float> silent(3, 0.0f);
    for (const auto* samples : {&quiet, &silent}) {
        AudioWriter w;
        std::string error;
        ASSERT_TRUE(w.open(path("norm.wav"), 44100, SampleFormat::Float, error, -6.0)) << error;
        ASSERT_TRUE(w.write(samples->data(), samples->data(), samples->size()));
        ASSERT_TRUE(w.commit(error)) << error;
        const double gain = samples == &quiet ? std::pow(10.0, -6.0 / 20.0) / 0.5 : 1.0;
        const test::Wav wav = test::readWav(path("norm.wav"));
        ASSERT_EQ(wav.frames(), samples->size());
        for (size_t i = 0; i < wav.frames(); ++i) EXPECT_NEAR(wav.left[i], (*samples)[i] * gain, 1e-6) << i;
        EXPECT_EQ(filesInDir(), 1u) << "no scratch file left";
    }
    // A writer dropped before its commit, or one that could not open, leaves the target alone.
    {
        AudioWriter w;
        std::string error;
        ASSERT_TRUE(w.open(path("norm.wav"), 44100, SampleFormat::Pcm16, error));
        ASSERT_TRUE(w.write(kLeft.data(), kLeft.data(), kLeft.size()));
        EXPECT_TRUE(fs::exists(w.scratchPath()));
        EXPECT_FALSE(w.open(dir_.folder(), 44100, SampleFormat::Pcm16, error));
        EXPECT_NE(error.find("it is a folder"), std::string::npos);
        EXPECT_FALSE(w.write(kLeft.data(), kLeft.data(), 1)) << "nothing is open";
    }
    EXPECT_EQ(filesInDir(), 1u);
    EXPECT_EQ(test::readWav(path("norm.wav")).frames(), 3u);
}


} // namespace
} // namespace kelo::render
