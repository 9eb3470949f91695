#pragma once
// Streams stereo float audio to a WAV file (16/24-bit PCM or 32-bit float, written here, so
// the bytes are the same on every platform) or to FLAC (through libsndfile where available).
// The data goes to a scratch file beside the target, which takes the target's name only when
// commit() succeeds: a failed or interrupted render never leaves a half-written file.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/kelo-render/Options.h"

namespace kelo::render {

class AudioWriter {
public:
    AudioWriter() = default;
    ~AudioWriter(); // abandons an uncommitted file
    AudioWriter(const AudioWriter&) = delete;
    AudioWriter& operator=(const AudioWriter&) = delete;

    // FLAC when the target ends in ".flac" (any letter case), else WAV.
    bool open(const std::string& target, int sampleRate, SampleFormat format, std::string& error);
    bool write(const float* left, const float* right, size_t frames);
    // Completes the file and moves it over the target.
    bool commit(std::string& error);
    // Closes and deletes the scratch file; the target is untouched.
    void abandon();

    uint64_t frames() const { return frames_; }
    float peak() const { return peak_; }
    // Samples beyond full scale that integer formats had to clip.
    uint64_t clippedSamples() const { return clipped_; }
    const std::string& scratchPath() const { return scratch_; }

    // Bytes a WAV of this many frames needs, to refuse renders a WAV file cannot hold.
    static uint64_t wavBytes(uint64_t frames, SampleFormat format);

private:
    bool writeWavHeader();

    std::string target_;
    std::string scratch_;
    std::FILE* file_ = nullptr;
    void* sndfile_ = nullptr; // SNDFILE* when writing FLAC
    SampleFormat format_ = SampleFormat::Pcm24;
    int sampleRate_ = 44100;
    bool failed_ = false;
    uint64_t frames_ = 0;
    uint64_t clipped_ = 0;
    float peak_ = 0.0f;
    std::vector<uint8_t> bytes_;
    std::vector<int32_t> ints_;
};

} // namespace kelo::render
