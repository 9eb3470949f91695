// Hand-made WAV and AIFF images read as "Load Audio" reads them, and the preview that loops them.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "analyzer/AudioPreview.h"
#include "analyzer/WaveBuffer.h"

namespace kelo::test {
namespace {

using Bytes = std::vector<uint8_t>;
template <class... T> std::vector<int> V(T... v) { return {int(v)...}; }
inline void put(Bytes& b, uint32_t v, int bytes, bool bigEndian) {
    for (int i = 0; i < bytes; ++i) b.push_back(uint8_t(v >> (8 * (bigEndian ? bytes - 1 - i : i))));
}

struct Chunk {
    std::string id;
    Bytes body;
    int64_t declaredSize = -1; // -1: the body's real size
};

inline Chunk wavFormat(uint16_t channels, uint32_t rate, uint16_t bits = 16, uint16_t tag = 1, int align = -1) {
    Chunk c{"fmt ", {}};
    const uint32_t a = align < 0 ? uint32_t(channels * bits / 8) : uint32_t(align);
    for (auto [v, n] : {std::pair{uint32_t(tag), 2}, {channels, 2}, {rate, 4}, {rate * a, 4}, {a, 2}, {bits, 2}})
        put(c.body, v, n, false);
    return c;
}

// AIFF sound chunks start with a data offset (filled with junk) and a block size.
inline Chunk soundChunk(const std::vector<int16_t>& interleaved, bool aiff, uint32_t offset = 0) {
    Chunk c{aiff ? "SSND" : "data", {}};
    if (aiff) put(c.body, offset, 4, true), put(c.body, 0, 4, true), c.body.resize(c.body.size() + offset, 0xEE);
    for (int16_t v : interleaved) put(c.body, uint16_t(v), 2, aiff);
    return c;
}

inline Bytes extendedRate(uint32_t rate) {
    int exponent = 31;
    while (rate && !(rate & 0x80000000u)) rate <<= 1, --exponent;
    Bytes b;
    put(b, uint32_t(0x3FFF + exponent), 2, true), put(b, rate, 4, true), put(b, 0, 4, true);
    return b;
}

inline Chunk aiffComm(int16_t channels, int32_t frames, uint32_t rate, int16_t bits = 16) {
    Chunk c{"COMM", {}};
    put(c.body, uint16_t(channels), 2, true), put(c.body, uint32_t(frames), 4, true), put(c.body, uint16_t(bits), 2, true);
    const Bytes r = extendedRate(rate);
    c.body.insert(c.body.end(), r.begin(), r.end());
    return c;
}

// A RIFF or FORM container; chunks of odd size get their pad byte. containerSize -1: the true size.
inline Bytes container(const char* form, const std::vector<Chunk>& chunks, int64_t containerSize = -1) {
    const bool aiff = form[0] == 'A';
    Bytes body;
    for (const Chunk& c : chunks) {
        body.insert(body.end(), c.id.begin(), c.id.end());
        put(body, uint32_t(c.declaredSize < 0 ? int64_t(c.body.size()) : c.declaredSize), 4, aiff);
        body.insert(body.end(), c.body.begin(), c.body.end());
        if (c.body.size() & 1) body.push_back(0);
    }
    const std::string magic = aiff ? "FORM" : "RIFF";
    Bytes out(magic.begin(), magic.end());
    put(out, uint32_t(containerSize < 0 ? int64_t(body.size() + 4) : containerSize), 4, aiff);
    out.insert(out.end(), form, form + 4);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}
inline Bytes wav(const std::vector<Chunk>& chunks, int64_t size = -1) { return container("WAVE", chunks, size); }
inline Bytes aiff(const std::vector<Chunk>& chunks, int64_t size = -1) { return container("AIFF", chunks, size); }

// A folder of its own under the system temp folder, removed with the object.
struct ScratchDir {
    // A fresh name each run: wine cannot remove the long paths a run leaves.
    explicit ScratchDir(const std::string& tag)
        : path(std::filesystem::temp_directory_path() /
               ("kelo-analyzer-" + tag + std::to_string(std::random_device{}()))) {
        std::filesystem::create_directories(path);
    }
    ~ScratchDir() { std::error_code ec; std::filesystem::remove_all(path, ec); }
    std::string file(const std::string& name) const { return (path / name).string(); }
    std::string write(const std::string& name, const Bytes& bytes) const {
        if (std::FILE* f = std::fopen(file(name).c_str(), "wb")) std::fwrite(bytes.data(), 1, bytes.size(), f), std::fclose(f);
        return file(name);
    }
    std::filesystem::path path;
};


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
        WaveBuffer refused;
        EXPECT_FALSE(parse(refused, image));
        EXPECT_EQ(V(refused.frameCount, refused.sampleRate, refused.loaded), V(0, 0, 0));
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
    // {file, its 12 bytes, its size, the start of the error}; at the limit the chunks are read.
    const std::tuple<const char*, const char*, uint64_t, std::string> cases[] = {
        {"movie.wav", "RIFF\xff\xff\xff\x7f" "AVI ", kMaxWaveFileBytes + 1, "not a WAV or AIFF file"},
        {"huge.wav", "RIFF\xff\xff\xff\x7f" "WAVE", kMaxWaveFileBytes + 1, "the file is larger than 128 MiB"},
        {"empty.wav", "RIFF\x04\0\0\0" "WAVE", 12, "not a readable 16-bit PCM WAV or AIFF file"},
        {"missing.wav", nullptr, 0, "cannot open the file"}};
    for (const auto& [name, header, size, message] : cases) {
        EXPECT_FALSE(loadWaveFile(buf, header ? sparse(name, header, size) : dir.file(name), error));
        EXPECT_EQ(error.substr(0, message.size()), message);
        EXPECT_EQ(V(buf.frameCount, buf.loaded), V(0, 0));
    }
}

using Floats = std::vector<float>;

// Puts a recording in the back buffer and publishes it.
void publish(AudioPreview& preview, const std::vector<float>& samples) {
    WaveBuffer& b = preview.back();
    ASSERT_TRUE(b.allocate(int32_t(samples.size())));
    b.samples = samples;
    b.frameCount = int32_t(samples.size());
    b.sampleRate = 44100;
    preview.exchange();
}

Floats render(AudioPreview& preview, int frames, double rate, bool expectRestart) {
    std::vector<float> out(size_t(frames), 0.0f);
    EXPECT_EQ(preview.mix(out.data(), frames, rate), expectRestart);
    return out;
}

TEST(AudioPreview, LoopsTheRecordingAndReportsEveryRestart) {
    AudioPreview preview;
    EXPECT_EQ(render(preview, 2, 44100.0, false), Floats(2, 0.0f)); // nothing loaded, not playing
    publish(preview, {1, 2, 3});
    EXPECT_EQ(render(preview, 2, 44100.0, false), Floats(2, 0.0f)); // not playing
    preview.setPlaying(true);
    EXPECT_EQ(render(preview, 2, 44100.0, true), (Floats{1, 2})); // switching on restarts
    EXPECT_EQ(render(preview, 1, 44100.0, true), (Floats{3}));    // wraps after the last sample
    EXPECT_EQ(preview.front().playPosition.load(), 0);
    EXPECT_EQ(render(preview, 2, 44100.0, false), (Floats{1, 2}));
    EXPECT_EQ(preview.front().playPosition.load(), 2);
    EXPECT_EQ(render(preview, 0, 0.0, false), Floats{}); // no rate: nothing
    std::vector<float> out{0.5f, 0.5f};
    preview.mix(out.data(), 2, 44100.0);
    EXPECT_EQ(out, (Floats{3.5f, 1.5f})); // mixed into what is there
    // At twice the nominal rate every sample plays twice; at half, every other one.
    preview.setPlaying(false);
    render(preview, 1, 88200.0, false);
    preview.setPlaying(true);
    EXPECT_EQ(render(preview, 7, 88200.0, true), (Floats{1, 1, 2, 2, 3, 3, 1}));
    publish(preview, {4, 5, 6});
    EXPECT_EQ(render(preview, 4, 22050.0, true), (Floats{4, 6, 4, 6})); // a new recording restarts too
    EXPECT_EQ(preview.back().samples.front(), 1.0f) << "the previous recording is the one the next load refills";
}

TEST(AudioPreview, LoadRecordingPublishesOnlyGoodFiles) {
    test::ScratchDir dir("preview");
    std::vector<int16_t> pcm;
    for (int i = 0; i < 100; ++i) pcm.push_back(int16_t(i % 2 ? -8000 : 4000));
    const auto image = test::wav({test::wavFormat(1, 48000), test::soundChunk(pcm, false)});
    const std::string good = dir.write("bass 12steps.wav", image);
    const std::string bad = dir.write("broken 16steps.wav", test::Bytes(image.begin(), image.end() - 3));
    // A good file behind a path longer than the command takes.
    const auto deep = std::filesystem::path(dir.file(std::string(120, 'a'))) / std::string(120, 'b');
    std::filesystem::create_directories(deep);
    const std::string longPath = (deep / "16steps.wav").string();
    std::filesystem::copy_file(good, longPath);
    ASSERT_GT(longPath.size(), kMaxRecordingPath);
    AudioPreview preview;
    Pattern pattern{};
    pattern.header = 0x80000A10u; // triplet, shuffle 10, 16 steps
    pattern.steps[3] = {7, StepGate};
    ASSERT_TRUE(loadRecording(preview, good, pattern));
    std::filesystem::remove(good);
    for (const std::string& path : {bad, longPath, good, std::string()})
        EXPECT_FALSE(loadRecording(preview, path, pattern)) << path; // and leaves what was loaded
    EXPECT_EQ(test::V(pattern.header, pattern.steps[3].note, preview.front().sampleRate), test::V(0x80000A0Cu, 7, 48000))
        << "only the step count changed";
    ASSERT_EQ(preview.front().samples.size(), pcm.size());
    for (size_t i = 0; i < pcm.size(); ++i) ASSERT_FLOAT_EQ(preview.front().samples[i], i % 2 ? -1.0f : 0.5f) << i;
}

// Loads refill the back buffer while another thread renders; each recording holds one value,
// so a block mixing two saw a buffer being refilled (ThreadSanitizer checks the hand-over).
TEST(AudioPreview, LoadsWhileRenderingNeverTouchABufferInPlay) {
    AudioPreview preview;
    publish(preview, std::vector<float>(500, 1.0f));
    preview.setPlaying(true);
    std::atomic<bool> stop{false};
    std::atomic<int> blocks{0}, torn{0};
    std::thread audio([&] {
        for (std::vector<float> out(64); !stop.load(); blocks.fetch_add(1)) {
            std::fill(out.begin(), out.end(), 0.0f);
            preview.mix(out.data(), int(out.size()), 44100.0);
            torn += std::any_of(out.begin(), out.end(), [&](float v) { return v != out.front(); });
        }
    });
    test::ScratchDir dir("race");
    Pattern pattern{};
    pattern.header = 16;
    const std::string file = dir.write("bass_step8.wav", test::wav({test::wavFormat(1, 44100),
                                                                    test::soundChunk(std::vector<int16_t>(700, 1234), false)}));
    for (int i = 0; i < 400; ++i) {
        if (i % 20 == 0) {
            ASSERT_TRUE(loadRecording(preview, file, pattern));
        } else {
            publish(preview, std::vector<float>(size_t(300 + i), float(i)));
        }
        if (i % 50 == 0) preview.setPlaying(i % 100 == 0);
        if (i % 8 == 0) std::this_thread::yield(); // let the renderer pick buffers up
    }
    preview.setPlaying(true);
    for (const int seen = blocks.load(); blocks.load() < seen + 10;) std::this_thread::yield();
    stop = true;
    audio.join();
    EXPECT_EQ(torn.load(), 0);
    EXPECT_EQ(pattern.stepCount(), 8);
}

} // namespace
} // namespace kelo::test
