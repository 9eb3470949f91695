#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "analyzer/WaveBuffer.h"
#include "tests/analyzer/WaveImages.h"

namespace kelo {
namespace {

using test::Bytes;
using test::Chunk;

bool parse(WaveBuffer& buf, const Bytes& image) { return parseWaveImage(buf, image.data(), image.size()); }

std::vector<int16_t> ramp(int frames, int channels) {
    // Channel 0 climbs, the others hold distinct negative values, so a wrong channel shows.
    std::vector<int16_t> v;
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c) v.push_back(int16_t(c == 0 ? i * 97 - 20000 : -1000 * c - i));
    return v;
}

void expectFirstChannel(const WaveBuffer& buf, const std::vector<int16_t>& interleaved, int channels) {
    ASSERT_EQ(size_t(buf.frameCount) * size_t(channels), interleaved.size());
    ASSERT_EQ(buf.samples.size(), size_t(buf.frameCount));
    for (int i = 0; i < buf.frameCount; ++i)
        ASSERT_FLOAT_EQ(buf.samples[size_t(i)], float(interleaved[size_t(i * channels)] / 32767.0)) << i;
}

void expectRefused(const Bytes& image, int line) {
    SCOPED_TRACE(line);
    WaveBuffer buf;
    EXPECT_FALSE(parse(buf, image));
    EXPECT_EQ(buf.frameCount, 0);
    EXPECT_EQ(buf.sampleRate, 0);
    EXPECT_FALSE(buf.loaded);
}

// ---- files written by sox ----

bool haveSox() {
#ifdef _WIN32
    return false;
#else
    static const bool found = std::system("sox --version >/dev/null 2>&1") == 0;
    return found;
#endif
}

// Converts raw little-endian 16-bit frames into `out` with the given sox output options.
bool soxFromRaw(const test::ScratchDir& dir, const std::vector<int16_t>& interleaved, int channels,
                int rate, const std::string& outOptions, const std::string& out) {
    Bytes raw;
    for (int16_t v : interleaved) test::putLe16(raw, uint16_t(v));
    const std::string in = dir.write("in.raw", raw);
    const std::string cmd = "sox -q -t raw -r " + std::to_string(rate) + " -e signed -b 16 -L -c " +
                            std::to_string(channels) + " '" + in + "' " + outOptions + " '" + out +
                            "' 2>/dev/null";
    return std::system(cmd.c_str()) == 0;
}

struct SoxCase {
    const char* name;
    int channels;
    int rate;
};

TEST(WaveFileSox, SixteenBitWavAndAiffLoadFirstChannelAtTheirRate) {
    if (!haveSox()) GTEST_SKIP() << "sox not installed";
    test::ScratchDir dir("sox");
    const SoxCase cases[] = {{"mono44.wav", 1, 44100}, {"stereo48.wav", 2, 48000},
                             {"mono48.aiff", 1, 48000}, {"stereo44.aif", 2, 44100}};
    for (const SoxCase& c : cases) {
        SCOPED_TRACE(c.name);
        const auto frames = 300 + c.channels;
        const auto data = ramp(frames, c.channels);
        const std::string path = dir.file(c.name);
        ASSERT_TRUE(soxFromRaw(dir, data, c.channels, c.rate, "-b 16", path));
        WaveBuffer buf;
        ASSERT_TRUE(loadWaveFile(buf, path));
        EXPECT_TRUE(buf.loaded);
        EXPECT_EQ(buf.sampleRate, c.rate);
        EXPECT_EQ(buf.frameCount, frames);
        expectFirstChannel(buf, data, c.channels);
    }
}

TEST(WaveFileSox, OtherSampleFormatsAreRefused) {
    if (!haveSox()) GTEST_SKIP() << "sox not installed";
    test::ScratchDir dir("soxbad");
    const auto data = ramp(200, 1);
    const std::pair<const char*, const char*> cases[] = {
        {"-b 8 -e unsigned", "u8.wav"},       {"-b 24", "s24.wav"},
        {"-b 32 -e floating-point", "f32.wav"}, {"-b 24", "s24.aiff"},
        {"-b 8", "s8.aiff"},                  {"-b 16", "compressed.aifc"},
    };
    for (const auto& [options, name] : cases) {
        SCOPED_TRACE(name);
        const std::string path = dir.file(name);
        ASSERT_TRUE(soxFromRaw(dir, data, 1, 44100, options, path));
        WaveBuffer buf;
        EXPECT_FALSE(loadWaveFile(buf, path));
        EXPECT_EQ(buf.frameCount, 0);
    }
    // Three 16-bit channels make sox write the extensible format tag.
    const std::string ext = dir.file("ext.wav");
    ASSERT_TRUE(soxFromRaw(dir, ramp(200, 3), 3, 44100, "-b 16", ext));
    WaveBuffer buf;
    EXPECT_FALSE(loadWaveFile(buf, ext));
}

TEST(WaveFile, MissingFileIsRefused) {
    test::ScratchDir dir("missing");
    WaveBuffer buf;
    EXPECT_FALSE(loadWaveFile(buf, dir.file("nothing.wav")));
    EXPECT_FALSE(buf.loaded);
}

// ---- hand-made images ----

TEST(WaveFile, ChunkOrderPaddingAndReplacement) {
    const auto data = ramp(50, 2);
    {
        SCOPED_TRACE("odd unknown chunk before the format is skipped with its pad byte");
        WaveBuffer buf;
        ASSERT_TRUE(parse(buf, test::wav({Chunk{"LIST", {1, 2, 3}}, test::wavFormat(2, 22050), test::wavData(data)})));
        EXPECT_EQ(buf.sampleRate, 22050);
        expectFirstChannel(buf, data, 2);
    }
    {
        SCOPED_TRACE("a later data chunk replaces the samples");
        const auto second = ramp(7, 2);
        WaveBuffer buf;
        ASSERT_TRUE(parse(buf, test::wav({test::wavFormat(2, 44100), test::wavData(data), test::wavData(second)})));
        expectFirstChannel(buf, second, 2);
    }
    {
        SCOPED_TRACE("a refused format after the data ends reading but keeps the samples");
        WaveBuffer buf;
        ASSERT_TRUE(parse(buf, test::wav({test::wavFormat(2, 44100), test::wavData(data),
                                          test::wavFormat(1, 8000, 32, 3), test::wavData(ramp(3, 1))})));
        EXPECT_EQ(buf.sampleRate, 44100);
        expectFirstChannel(buf, data, 2);
    }
    {
        SCOPED_TRACE("a container size past the file's end is bounded by the file");
        WaveBuffer buf;
        ASSERT_TRUE(parse(buf, test::wav({test::wavFormat(1, 44100), test::wavData(ramp(9, 1))}, 0x7FFFFFF0)));
        EXPECT_EQ(buf.frameCount, 9);
    }
    {
        SCOPED_TRACE("AIFF with a sound offset and a comment chunk");
        const auto a = ramp(40, 2);
        WaveBuffer buf;
        ASSERT_TRUE(parse(buf, test::aiff({Chunk{"COMT", {0, 0, 7}}, test::aiffComm(2, 40, 48000), test::aiffSound(a, 6)})));
        EXPECT_EQ(buf.sampleRate, 48000);
        expectFirstChannel(buf, a, 2);
    }
}

TEST(WaveFile, MalformedWavIsRefused) {
    const auto mono = ramp(30, 1);
    const Chunk fmt = test::wavFormat(1, 44100);
    const Chunk data = test::wavData(mono);

    expectRefused(test::container(false, "WAVX", {fmt, data}), __LINE__);
    expectRefused(test::wav({data, fmt}), __LINE__);                                     // data before format
    expectRefused(test::wav({test::wavFormat(1, 44100, 16, 0xFFFE), data}), __LINE__);  // extensible
    expectRefused(test::wav({test::wavFormat(1, 44100, 8), data}), __LINE__);
    expectRefused(test::wav({fmt}), __LINE__);                                           // no sample data
    expectRefused(test::wav({test::wavFormat(1, 44100, 16, 1, 0), data}), __LINE__);    // block alignment 0
    expectRefused(test::wav({test::wavFormat(0, 44100), data}), __LINE__);              // no channels
    expectRefused(test::wav({test::wavFormat(1, 0), data}), __LINE__);                  // rate 0
    expectRefused(test::wav({test::wavFormat(2, 44100, 16, 1, 2), data}), __LINE__);    // frames past the chunk

    Chunk shortFmt = fmt;
    shortFmt.body.resize(14);
    expectRefused(test::wav({shortFmt, data}), __LINE__);

    Chunk negative = data;
    negative.declaredSize = 0x80000000u;
    expectRefused(test::wav({fmt, negative}), __LINE__);

    Chunk lyingData = data;
    lyingData.declaredSize = int64_t(data.body.size()) + 1000;
    expectRefused(test::wav({fmt, lyingData}), __LINE__);

    Chunk negativeJunk{"junk", {1, 2}};
    negativeJunk.declaredSize = 0xFFFFFFF0u;
    expectRefused(test::wav({fmt, data, negativeJunk}), __LINE__);

    expectRefused(test::wav({fmt, data}, 0xFFFFFFFC), __LINE__); // negative container size
    expectRefused(Bytes{'R', 'I', 'F', 'F', 4, 0, 0}, __LINE__);
}

TEST(WaveFile, MalformedAiffIsRefused) {
    const auto mono = ramp(30, 1);
    const Chunk comm = test::aiffComm(1, 30, 44100);
    const Chunk sound = test::aiffSound(mono);

    expectRefused(test::container(true, "AIFC", {comm, sound}), __LINE__);
    expectRefused(test::aiff({sound, comm}), __LINE__);                        // sound before COMM
    expectRefused(test::aiff({test::aiffComm(1, 30, 44100, 24), sound}), __LINE__);
    expectRefused(test::aiff({test::aiffComm(1, -1, 44100), sound}), __LINE__); // negative frame count
    expectRefused(test::aiff({test::aiffComm(1, 31, 44100), sound}), __LINE__); // frames past the chunk
    expectRefused(test::aiff({test::aiffComm(2, 30, 44100), sound}), __LINE__); // ditto, by channel stride
    expectRefused(test::aiff({test::aiffComm(0, 30, 44100), sound}), __LINE__);
    expectRefused(test::aiff({test::aiffSound(mono, 0)}), __LINE__);

    Chunk farOffset = sound;
    farOffset.body[3] = 200; // sound offset past the chunk
    expectRefused(test::aiff({comm, farOffset}), __LINE__);

    Chunk shortComm = comm;
    shortComm.body.resize(16);
    expectRefused(test::aiff({shortComm, sound}), __LINE__);

    Chunk badRate = comm;
    badRate.body[8] = 0xC0; // negative rate
    expectRefused(test::aiff({badRate, sound}), __LINE__);
}

TEST(WaveFile, EveryTruncationAndCorruptionIsHandledSafely) {
    const Bytes images[] = {
        test::wav({Chunk{"LIST", {9}}, test::wavFormat(2, 44100), test::wavData(ramp(20, 2))}),
        test::aiff({test::aiffComm(2, 20, 44100), test::aiffSound(ramp(20, 2), 2)}),
    };
    for (const Bytes& full : images) {
        // Every cut inside the sample data or earlier loses data and must be refused.
        for (size_t cut = 0; cut + 1 < full.size(); ++cut) {
            const Bytes part(full.begin(), full.begin() + long(cut));
            WaveBuffer buf;
            EXPECT_FALSE(parse(buf, part)) << "cut at " << cut;
        }
        // Flipped bytes: whatever comes out must be self-consistent.
        uint32_t seed = 12345;
        for (int round = 0; round < 3000; ++round) {
            Bytes bad = full;
            for (int flips = 0; flips < 3; ++flips) {
                seed = seed * 1664525u + 1013904223u;
                bad[(seed >> 8) % bad.size()] = uint8_t(seed >> 24);
            }
            WaveBuffer buf;
            if (parse(buf, bad)) {
                EXPECT_TRUE(buf.loaded);
                EXPECT_GT(buf.sampleRate, 0);
                EXPECT_EQ(size_t(buf.frameCount), buf.samples.size());
                for (float s : buf.samples) ASSERT_LE(std::fabs(s), 32768.0f / 32767.0f);
            } else {
                EXPECT_EQ(buf.frameCount, 0);
                EXPECT_FALSE(buf.loaded);
            }
        }
    }
}

TEST(WaveFile, AiffRateDecoding) {
    const uint8_t rate44k[10] = {0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(aiffSampleRate(rate44k), 44100);
    const uint32_t rates[] = {8000, 11025, 22050, 32000, 44100, 48000, 88200, 96000, 192000, 2};
    for (uint32_t r : rates) EXPECT_EQ(aiffSampleRate(test::extendedRate(r).data()), int32_t(r)) << r;
    // The bit shifted out last rounds: 0xAC44 plus a half.
    const uint8_t roundsUp[10] = {0x40, 0x0E, 0xAC, 0x44, 0x80, 0, 0, 0, 0, 0};
    EXPECT_EQ(aiffSampleRate(roundsUp), 44101);
    const uint8_t exponent30[10] = {0x40, 30, 0x12, 0x34, 0x56, 0x78, 0, 0, 0, 0};
    EXPECT_EQ(aiffSampleRate(exponent30), 0x12345678);
    const uint8_t tooLarge[10] = {0x40, 31, 0x80, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(aiffSampleRate(tooLarge), 0);
    const uint8_t below1[10] = {0x3F, 0xFE, 0x80, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(aiffSampleRate(below1), 0);
}

TEST(WaveFile, NormalisationScalesToFullScaleButLeavesSilence) {
    WaveBuffer buf;
    ASSERT_TRUE(buf.allocate(4));
    buf.frameCount = 4;
    buf.samples = {0.1f, -0.25f, 0.2f, 0.0f};
    normalizeWave(buf);
    EXPECT_FLOAT_EQ(buf.samples[1], -1.0f);
    EXPECT_FLOAT_EQ(buf.samples[0], 0.4f);
    EXPECT_FLOAT_EQ(buf.samples[2], 0.8f);

    buf.samples = {1e-7f, -5e-7f, 0.0f, 0.0f};
    normalizeWave(buf);
    EXPECT_FLOAT_EQ(buf.samples[1], -5e-7f);
}

TEST(WaveFile, StepCountFromPath) {
    EXPECT_EQ(stepCountFromFileName("/music/16step/bass line.wav", 7), 16);
    EXPECT_EQ(stepCountFromFileName("C:\\a\\pattern 16steps.aif", 7), 16);
    EXPECT_EQ(stepCountFromFileName("/x/step12.wav", 7), 12);
    EXPECT_EQ(stepCountFromFileName("/x/step99.wav", 7), 64);
    EXPECT_EQ(stepCountFromFileName("/x/step0.wav", 7), 1);
    EXPECT_EQ(stepCountFromFileName("/x/12 step.wav", 7), 2); // only two characters before
    EXPECT_EQ(stepCountFromFileName("/x/step_bass_9.wav", 7), 9);
    EXPECT_EQ(stepCountFromFileName("/x/step99999999999999999999.wav", 7), 64);
    EXPECT_EQ(stepCountFromFileName("step", 7), 7);
    EXPECT_EQ(stepCountFromFileName("/x/steps.wav", 7), 7);
    EXPECT_EQ(stepCountFromFileName("/x/16STEP.wav", 7), 7); // case matters
    EXPECT_EQ(stepCountFromFileName("/x/bass16.wav", 7), 7);
}

} // namespace
} // namespace kelo
