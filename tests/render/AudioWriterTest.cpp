#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#ifdef KELO_RENDER_HAVE_FLAC
#include <sndfile.h>
#endif

#include "tests/render/WavRead.h"
#include "tools/kelo-render/AudioWriter.h"

namespace kelo::render {
namespace {

namespace fs = std::filesystem;

class AudioWriterTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string path(const char* name) const { return (dir_ / name).string(); }
    size_t filesInDir() const { return size_t(std::distance(fs::directory_iterator(dir_), fs::directory_iterator())); }
    std::string slurp(const std::string& p) const {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // Left crosses full scale with values beyond it; right is its negation.
    const std::vector<float> kLeft = {0.0f, 0.5f, -0.5f, 1.0f, -1.0f, 1.5f, -2.0f, 0.25f, 1e-6f};
    const std::vector<float> kRight = {-0.0f, -0.5f, 0.5f, -1.0f, 1.0f, -1.5f, 2.0f, -0.25f, -1e-6f};
    const fs::path dir_ = fs::temp_directory_path() / ("kelo-render-writer-" +
                          std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
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
        EXPECT_EQ(slurp(out), "previous render") << "the target changes only on commit";
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
}

TEST_F(AudioWriterTest, FailedOrAbandonedWritesLeaveTheTargetAlone) {
    const std::string out = path("keep.wav");
    std::ofstream(out) << "old contents";
    {
        AudioWriter w;
        std::string error;
        ASSERT_TRUE(w.open(out, 44100, SampleFormat::Pcm16, error));
        ASSERT_TRUE(w.write(kLeft.data(), kLeft.data(), kLeft.size()));
        EXPECT_TRUE(fs::exists(w.scratchPath()));
    } // destroyed without commit
    EXPECT_EQ(filesInDir(), 1u);
    EXPECT_EQ(slurp(out), "old contents");
    AudioWriter w;
    std::string error;
    EXPECT_FALSE(w.open(dir_.string(), 44100, SampleFormat::Pcm16, error));
    EXPECT_NE(error.find("it is a folder"), std::string::npos);
    EXPECT_FALSE(w.write(kLeft.data(), kLeft.data(), 1)) << "nothing is open";
}

#ifdef KELO_RENDER_HAVE_FLAC
TEST_F(AudioWriterTest, FlacHoldsTheSameIntegersAsWav) {
    const std::string out = path("out.FLAC");
    AudioWriter w;
    std::string error;
    ASSERT_TRUE(w.open(out, 44100, SampleFormat::Pcm24, error)) << error;
    ASSERT_TRUE(w.write(kLeft.data(), kRight.data(), kLeft.size()));
    ASSERT_TRUE(w.commit(error)) << error;
    SF_INFO info{};
    SNDFILE* f = sf_open(out.c_str(), SFM_READ, &info);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(info.format, SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
    ASSERT_EQ(info.frames, sf_count_t(kLeft.size()));
    std::vector<int> samples(kLeft.size() * 2);
    ASSERT_EQ(sf_readf_int(f, samples.data(), info.frames), info.frames);
    sf_close(f);
    for (size_t i = 0; i < kLeft.size(); ++i) {
        const double clipped = std::fmax(-1.0, std::fmin(1.0, kLeft[i]));
        EXPECT_EQ(samples[2 * i] >> 8, std::lrint(clipped * 8388607)) << i;
        EXPECT_EQ(samples[2 * i + 1] >> 8, std::lrint(-clipped * 8388607)) << i;
    }
}
#endif

} // namespace
} // namespace kelo::render
