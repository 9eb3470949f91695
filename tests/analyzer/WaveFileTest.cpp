#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "analyzer/WaveBuffer.h"
#include "tests/analyzer/WaveImages.h"

namespace kelo {
namespace {

using test::Bytes;
using test::Chunk;
using test::V;

bool parse(WaveBuffer& buf, const Bytes& image) { return parseWaveImage(buf, image.data(), image.size()); }

// Channel 0 climbs, the others hold distinct values, so reading the wrong channel shows.
std::vector<int16_t> frames(int n, int channels) {
    std::vector<int16_t> v;
    for (int i = 0; i < n; ++i)
        for (int c = 0; c < channels; ++c) v.push_back(int16_t(c == 0 ? i * 97 - 20000 : -1000 * c - i));
    return v;
}

void expectFirstChannel(const WaveBuffer& buf, const std::vector<int16_t>& interleaved, int channels) {
    ASSERT_TRUE(buf.loaded);
    ASSERT_EQ(size_t(buf.frameCount) * size_t(channels), interleaved.size());
    ASSERT_EQ(buf.samples.size(), size_t(buf.frameCount));
    for (int i = 0; i < buf.frameCount; ++i)
        ASSERT_FLOAT_EQ(buf.samples[size_t(i)], float(interleaved[size_t(i * channels)] / 32767.0)) << i;
}

void expectRefused(const Bytes& image) {
    WaveBuffer refused;
    EXPECT_FALSE(parse(refused, image));
    EXPECT_EQ(V(refused.frameCount, refused.sampleRate, refused.loaded), V(0, 0, 0));
}

TEST(WaveFile, ChunkOrderPaddingAndReplacement) {
    const auto data = frames(50, 2), second = frames(7, 2), mono = frames(9, 1), four = frames(40, 2);
    const Chunk fmt = test::wavFormat(2, 44100);
    const std::tuple<Bytes, int, const std::vector<int16_t>*, int> cases[] = {
        // An odd-sized chunk is followed by its pad byte.
        {test::wav({Chunk{"LIST", {1, 2, 3}}, test::wavFormat(2, 22050), test::soundChunk(data, false)}), 22050, &data, 2},
        // A later data chunk replaces the samples; a refused format after the data ends reading.
        {test::wav({fmt, test::soundChunk(data, false), test::soundChunk(second, false)}), 44100, &second, 2},
        {test::wav({fmt, test::soundChunk(data, false), test::wavFormat(1, 8000, 32, 3), test::soundChunk(mono, false)}),
         44100, &data, 2},
        // A container size past the end of the file is bounded by the file.
        {test::wav({test::wavFormat(1, 44100), test::soundChunk(mono, false)}, 0x7FFFFFF0), 44100, &mono, 1},
        // AIFF with a comment chunk and a sound offset.
        {test::aiff({Chunk{"COMT", {0, 0, 7}}, test::aiffComm(2, 40, 48000), test::soundChunk(four, true, 6)}), 48000, &four, 2}};
    for (const auto& [image, rate, samples, channels] : cases) {
        WaveBuffer buf;
        ASSERT_TRUE(parse(buf, image));
        EXPECT_EQ(buf.sampleRate, rate);
        expectFirstChannel(buf, *samples, channels);
    }
}

TEST(WaveFile, MalformedFilesAreRefused) {
    const Chunk fmt = test::wavFormat(1, 44100), data = test::soundChunk(frames(30, 1), false);
    const Chunk comm = test::aiffComm(1, 30, 44100), sound = test::soundChunk(frames(30, 1), true);
    Chunk shortFmt = fmt, lying = data, hugeData = data, farOffset = sound, shortComm = comm, negativeRate = comm;
    shortFmt.body.resize(14), lying.declaredSize = data.body.size() + 1000, hugeData.declaredSize = 0x80000000u;
    farOffset.body[3] = 200, shortComm.body.resize(16), negativeRate.body[8] = 0xC0;
    int index = 0; // of the image in the list, printed on failure
    for (const Bytes& image : {
             test::container("WAVX", {fmt, data}), test::wav({data, fmt}), test::wav({fmt}),
             test::wav({test::wavFormat(1, 44100, 16, 0xFFFE), data}), test::wav({test::wavFormat(1, 44100, 8), data}),
             test::wav({test::wavFormat(1, 44100, 24), data}), test::wav({test::wavFormat(1, 44100, 32, 3), data}),
             test::wav({test::wavFormat(1, 44100, 16, 1, 0), data}), // block alignment 0
             test::wav({test::wavFormat(0, 44100), data}), test::wav({test::wavFormat(1, 0), data}),
             test::wav({test::wavFormat(2, 44100, 16, 1, 2), data}), // frames past the chunk
             test::wav({fmt, data}, 0xFFFFFFFC), Bytes{'R', 'I', 'F', 'F', 4, 0, 0}, test::wav({shortFmt, data}),
             test::wav({fmt, lying}), test::wav({fmt, hugeData}), test::wav({fmt, data, Chunk{"junk", {1, 2}, 0xFFFFFFF0u}}),
             test::container("AIFC", {comm, sound}), test::aiff({sound, comm}),
             test::aiff({test::aiffComm(1, 30, 44100, 24), sound}), test::aiff({test::aiffComm(1, -1, 44100), sound}),
             test::aiff({test::aiffComm(1, 31, 44100), sound}), test::aiff({test::aiffComm(2, 30, 44100), sound}),
             test::aiff({test::aiffComm(0, 30, 44100), sound}), test::aiff({comm, farOffset}),
             test::aiff({shortComm, sound}), test::aiff({negativeRate, sound})}) {
        SCOPED_TRACE(index++);
        expectRefused(image);
    }
}

TEST(WaveFile, AiffRateStepCountAndQuietNormalisation) {
    for (uint32_t r : {2u, 8000u, 11025u, 22050u, 48000u, 96000u, 192000u})
        EXPECT_EQ(aiffSampleRate(test::extendedRate(r).data()), int32_t(r));
    const uint8_t rates[][10] = {{0x40, 0x0E, 0xAC, 0x44}, {0x40, 0x0E, 0xAC, 0x44, 0x80}, // the last bit rounds up
                                 {0x40, 30, 0x12, 0x34, 0x56, 0x78}, {0x40, 31, 0x80}, {0x3F, 0xFE, 0x80}};
    EXPECT_EQ(V(aiffSampleRate(rates[0]), aiffSampleRate(rates[1]), aiffSampleRate(rates[2]), aiffSampleRate(rates[3]),
                aiffSampleRate(rates[4])),
              V(44100, 44101, 0x12345678, 0, 0)) << "too large and below one give 0";
    const std::pair<const char*, int> paths[] = {
        {"/music/16step/bass line.wav", 16}, {"C:\\a\\pattern 16steps.aif", 16}, {"/x/step12.wav", 12},
        {"/x/step99.wav", 64},               {"/x/step0.wav", 1},                {"/x/12 step.wav", 2},
        {"/x/step_bass_9.wav", 9},           {"/x/step99999999999999999.wav", 64}, {"/x/steps.wav", 7},
        {"/x/16STEP.wav", 7},                {"/x/bass16.wav", 7}};
    for (const auto& [path, steps] : paths) EXPECT_EQ(stepCountFromFileName(path, 7), steps) << path;
    WaveBuffer quiet;
    quiet.samples = {1e-7f, -5e-7f, 0.0f}, quiet.frameCount = 3;
    normalizeWave(quiet);
    EXPECT_EQ(quiet.samples[1], -5e-7f) << "silence stays unscaled";
}

// A large file is judged by its 12-byte header and its size before anything else is read.
TEST(WaveFile, LargeFilesAreRefusedBeforeTheyAreRead) {
    test::ScratchDir dir("limits");
    auto sparse = [&](const char* name, const char* header, uint64_t size) {
        const std::string path = dir.file(name);
        std::ofstream(path, std::ios::binary).write(header, 12);
        std::filesystem::resize_file(path, size);
        return path;
    };
    WaveBuffer buf;
    std::string error;
    EXPECT_FALSE(loadWaveFile(buf, sparse("movie.wav", "RIFF\xff\xff\xff\x7f" "AVI ", kMaxWaveFileBytes + 1), error));
    EXPECT_EQ(error, "not a WAV or AIFF file");
    EXPECT_FALSE(loadWaveFile(buf, sparse("huge.wav", "RIFF\xff\xff\xff\x7f" "WAVE", kMaxWaveFileBytes + 1), error));
    EXPECT_NE(error.find("larger than 128 MiB"), std::string::npos) << error;
    EXPECT_EQ(V(buf.frameCount, buf.loaded), V(0, 0));
    EXPECT_FALSE(loadWaveFile(buf, dir.file("missing.wav"), error));
    EXPECT_EQ(error, "cannot open the file");
    // At the limit the file is read and judged by its chunks.
    EXPECT_FALSE(loadWaveFile(buf, sparse("empty.wav", "RIFF\x04\0\0\0" "WAVE", 12), error));
    EXPECT_EQ(error, "not a readable 16-bit PCM WAV or AIFF file");
}

} // namespace
} // namespace kelo
