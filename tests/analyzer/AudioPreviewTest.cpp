#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "analyzer/AudioPreview.h"
#include "tests/analyzer/WaveImages.h"

namespace kelo {
namespace {

// Puts a recording of the given samples in the back buffer and publishes it.
void publish(AudioPreview& preview, const std::vector<float>& samples, int32_t rate = 44100) {
    WaveBuffer& b = preview.back();
    ASSERT_TRUE(b.allocate(int32_t(samples.size())));
    b.samples = samples;
    b.frameCount = int32_t(samples.size());
    b.sampleRate = rate;
    preview.exchange();
}

TEST(AudioPreview, MixesTheRecordingInALoopAndReportsRestarts) {
    AudioPreview preview;
    publish(preview, {1.0f, 2.0f, 3.0f});
    std::vector<float> out(8, 0.5f);

    EXPECT_FALSE(preview.mix(out.data(), 8, 44100.0)); // not playing
    EXPECT_EQ(out, std::vector<float>(8, 0.5f));

    preview.setPlaying(true);
    EXPECT_TRUE(preview.mix(out.data(), 2, 44100.0)); // starting is a restart
    EXPECT_TRUE(preview.mix(out.data() + 2, 1, 44100.0)); // wraps after the third sample
    EXPECT_EQ(preview.front().playPosition.load(), 0);
    EXPECT_FALSE(preview.mix(out.data() + 3, 0, 44100.0));
    EXPECT_TRUE(preview.mix(out.data() + 3, 5, 44100.0)); // wraps inside the block
    EXPECT_EQ(out, (std::vector<float>{1.5f, 2.5f, 3.5f, 1.5f, 2.5f, 3.5f, 1.5f, 2.5f}));
    EXPECT_EQ(preview.front().playPosition.load(), 2);

    // Twice the recording's nominal rate: every sample twice.
    preview.setPlaying(false);
    EXPECT_FALSE(preview.mix(out.data(), 1, 88200.0));
    preview.setPlaying(true);
    std::vector<float> slow(7, 0.0f);
    EXPECT_TRUE(preview.mix(slow.data(), 7, 88200.0));
    EXPECT_EQ(slow, (std::vector<float>{1, 1, 2, 2, 3, 3, 1}));

    // Half the rate: every other sample; the position passes the end and starts over.
    std::vector<float> fast(4, 0.0f);
    publish(preview, {1.0f, 2.0f, 3.0f});
    EXPECT_TRUE(preview.mix(fast.data(), 4, 22050.0));
    EXPECT_EQ(fast, (std::vector<float>{1, 3, 1, 3}));
}

TEST(AudioPreview, NewRecordingStartsFromItsBeginning) {
    AudioPreview preview;
    publish(preview, {1, 2, 3, 4, 5});
    preview.setPlaying(true);
    std::vector<float> out(3, 0.0f);
    preview.mix(out.data(), 3, 44100.0);
    publish(preview, {10, 20, 30, 40, 50});
    std::vector<float> next(2, 0.0f);
    EXPECT_TRUE(preview.mix(next.data(), 2, 44100.0));
    EXPECT_EQ(next, (std::vector<float>{10, 20}));
    // The old recording is back in the back buffer, where the next load refills it.
    EXPECT_EQ(preview.back().samples.front(), 1.0f);
}

TEST(AudioPreview, EmptyRecordingOrBadRateAddsNothing) {
    AudioPreview preview;
    preview.setPlaying(true);
    std::vector<float> out(4, 0.25f);
    EXPECT_FALSE(preview.mix(out.data(), 4, 44100.0));
    publish(preview, {1, 1});
    EXPECT_FALSE(preview.mix(out.data(), 4, 0.0));
    EXPECT_FALSE(preview.mix(nullptr, 4, 44100.0));
    EXPECT_EQ(out, std::vector<float>(4, 0.25f));
}

TEST(AudioPreview, LoadRecordingPublishesOnlyGoodFiles) {
    test::ScratchDir dir("preview");
    std::vector<int16_t> pcm;
    for (int i = 0; i < 100; ++i) pcm.push_back(int16_t(i % 2 ? -8000 : 4000));
    const auto image = test::wav({test::wavFormat(1, 48000), test::wavData(pcm)});
    const std::string good = dir.write("bass 12steps.wav", image);
    const std::string bad = dir.write("broken 16steps.wav", test::Bytes(image.begin(), image.end() - 3));

    AudioPreview preview;
    Pattern pattern{};
    pattern.header = 0x80000A10u; // triplet, shuffle 10, 16 steps
    pattern.steps[3] = {7, StepGate};

    ASSERT_TRUE(loadRecording(preview, good, pattern));
    EXPECT_EQ(pattern.header, 0x80000A0Cu); // only the step count changed
    EXPECT_EQ(pattern.steps[3].note, 7);
    EXPECT_EQ(preview.front().frameCount, 100);
    EXPECT_EQ(preview.front().sampleRate, 48000);
    EXPECT_FLOAT_EQ(preview.front().samples[1], -1.0f); // normalised
    EXPECT_FLOAT_EQ(preview.front().samples[0], 0.5f);

    EXPECT_FALSE(loadRecording(preview, bad, pattern));
    // A good file behind a path longer than the command takes.
    std::filesystem::path deep = dir.file(std::string(100, 'a'));
    deep /= std::string(100, 'b');
    std::filesystem::create_directories(deep);
    const std::string longPath = (deep / "16steps.wav").string();
    std::filesystem::copy_file(good, longPath);
    ASSERT_GT(longPath.size(), kMaxRecordingPath);
    EXPECT_FALSE(loadRecording(preview, longPath, pattern));
    EXPECT_FALSE(loadRecording(preview, "", pattern));
    EXPECT_EQ(pattern.stepCount(), 12);
    EXPECT_EQ(preview.front().frameCount, 100);
    EXPECT_FLOAT_EQ(preview.front().samples[1], -1.0f);
}

// Loads keep refilling the back buffer while another thread renders. Every recording holds
// one constant value, so a block that mixes two values saw a buffer being refilled. Run it
// in a ThreadSanitizer build to check the hand-over itself.
TEST(AudioPreview, LoadsWhileRenderingNeverTouchABufferInPlay) {
    AudioPreview preview;
    publish(preview, std::vector<float>(500, 1.0f));
    preview.setPlaying(true);

    std::atomic<bool> stop{false};
    std::atomic<int> blocks{0};
    std::atomic<int> torn{0};
    std::thread audio([&] {
        std::vector<float> out(64);
        while (!stop.load()) {
            std::fill(out.begin(), out.end(), 0.0f);
            preview.mix(out.data(), int(out.size()), 44100.0);
            for (float v : out)
                if (v != out.front()) {
                    torn.fetch_add(1);
                    break;
                }
            blocks.fetch_add(1);
        }
    });

    test::ScratchDir dir("race");
    Pattern pattern{};
    pattern.header = 16;
    std::vector<int16_t> pcm(700, 1234);
    const std::string file = dir.write("bass_step8.wav", test::wav({test::wavFormat(1, 44100), test::wavData(pcm)}));

    constexpr int kLoads = 400;
    for (int i = 0; i < kLoads; ++i) {
        if (i % 20 == 0) {
            ASSERT_TRUE(loadRecording(preview, file, pattern));
        } else {
            WaveBuffer& b = preview.back();
            ASSERT_TRUE(b.allocate(300 + i));
            std::fill(b.samples.begin(), b.samples.end(), float(i));
            b.frameCount = 300 + i;
            b.sampleRate = 44100;
            preview.exchange();
        }
        if (i % 50 == 0) preview.setPlaying(i % 100 == 0);
        // Give the renderer time to pick the buffer up now and then.
        if (i % 8 == 0) std::this_thread::yield();
    }
    preview.setPlaying(true);
    const int seen = blocks.load();
    while (blocks.load() < seen + 10) std::this_thread::yield();
    stop.store(true);
    audio.join();

    EXPECT_EQ(torn.load(), 0);
    EXPECT_EQ(pattern.stepCount(), 8);
}

} // namespace
} // namespace kelo
