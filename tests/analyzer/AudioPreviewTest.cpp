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

// Puts a recording in the back buffer and publishes it.
void publish(AudioPreview& preview, const std::vector<float>& samples) {
    WaveBuffer& b = preview.back();
    ASSERT_TRUE(b.allocate(int32_t(samples.size())));
    b.samples = samples;
    b.frameCount = int32_t(samples.size());
    b.sampleRate = 44100;
    preview.exchange();
}

std::vector<float> render(AudioPreview& preview, int frames, double rate, bool expectRestart) {
    std::vector<float> out(size_t(frames), 0.0f);
    EXPECT_EQ(preview.mix(out.data(), frames, rate), expectRestart);
    return out;
}

using V = std::vector<float>;

TEST(AudioPreview, LoopsTheRecordingAndReportsEveryRestart) {
    AudioPreview preview;
    EXPECT_EQ(render(preview, 2, 44100.0, false), V(2, 0.0f)); // nothing loaded, not playing
    publish(preview, {1, 2, 3});
    EXPECT_EQ(render(preview, 2, 44100.0, false), V(2, 0.0f)); // not playing
    preview.setPlaying(true);
    EXPECT_EQ(render(preview, 2, 44100.0, true), (V{1, 2})); // switching on restarts
    EXPECT_EQ(render(preview, 1, 44100.0, true), (V{3}));    // wraps after the last sample
    EXPECT_EQ(preview.front().playPosition.load(), 0);
    EXPECT_EQ(render(preview, 2, 44100.0, false), (V{1, 2}));
    EXPECT_EQ(preview.front().playPosition.load(), 2);
    EXPECT_EQ(render(preview, 0, 0.0, false), V{}); // no rate: nothing
    std::vector<float> out{0.5f, 0.5f};
    preview.mix(out.data(), 2, 44100.0);
    EXPECT_EQ(out, (V{3.5f, 1.5f})); // mixed into what is there
    // At twice the nominal rate every sample plays twice; at half, every other one.
    preview.setPlaying(false);
    render(preview, 1, 88200.0, false);
    preview.setPlaying(true);
    EXPECT_EQ(render(preview, 7, 88200.0, true), (V{1, 1, 2, 2, 3, 3, 1}));
    publish(preview, {4, 5, 6});
    EXPECT_EQ(render(preview, 4, 22050.0, true), (V{4, 6, 4, 6})); // a new recording restarts too
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

// Loads keep refilling the back buffer while another thread renders. Every recording holds
// one constant value, so a block that mixes two values saw a buffer being refilled. Run it
// in a ThreadSanitizer build to check the hand-over itself.
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
} // namespace kelo
