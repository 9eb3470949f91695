#pragma once
// Streams stereo float audio to a WAV file (16/24-bit PCM or 32-bit float, written here, so
// the bytes are the same on every platform) or to FLAC (through libsndfile where available).
// The data goes to a scratch file beside the target, which takes the target's name only when
// commit() succeeds: a failed or interrupted render never leaves a half-written file.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "platform/FileReplacement.h"
#include "tools/kelo-render/Options.h"

namespace kelo::render {

class AudioWriter {
public:
    AudioWriter() = default;
    ~AudioWriter(); // abandons an uncommitted file
    AudioWriter(const AudioWriter&) = delete;
    AudioWriter& operator=(const AudioWriter&) = delete;

    // FLAC when the target ends in ".flac" (any letter case), else WAV. With `normalizeDb`,
    // every sample is scaled so that the file's peak lands on that level (dBFS); the samples
    // then wait in a second scratch file until commit() knows the peak.
    bool open(const std::string& target, int sampleRate, SampleFormat format, std::string& error,
              std::optional<double> normalizeDb = std::nullopt);
    bool write(const float* left, const float* right, size_t frames);
    // Completes the file and moves it over the target.
    bool commit(std::string& error);
    // Closes and deletes the scratch files; the target is untouched.
    void abandon();

    uint64_t frames() const { return frames_; }
    // The largest magnitude given to write(), before any normalising.
    float peak() const { return peak_; }
    // The factor every sample was written with (1 unless normalising; final after commit()).
    double gain() const { return gain_; }
    // Samples beyond full scale (after the gain) that an integer format had to clip.
    uint64_t clippedSamples() const { return clipped_; }
    const std::string& scratchPath() const { return out_.scratchPath(); }

    // Bytes a WAV of this many frames needs, to refuse renders a WAV file cannot hold.
    static uint64_t wavBytes(uint64_t frames, SampleFormat format);

private:
    bool encode(const float* left, const float* right, size_t frames);
    bool writeWavHeader();
    bool normalizeInto(std::string& error);

    platform::FileReplacement out_;  // becomes the target
    platform::FileReplacement raw_;  // normalising: the samples as given, never committed
    void* sndfile_ = nullptr;        // SNDFILE* when writing FLAC
    SampleFormat format_ = SampleFormat::Float;
    std::optional<double> normalizeDb_;
    int sampleRate_ = 44100;
    bool open_ = false;
    bool flac_ = false;
    bool failed_ = false;
    uint64_t frames_ = 0;   // frames given to write()
    uint64_t encoded_ = 0;  // frames in the output file
    uint64_t clipped_ = 0;
    float peak_ = 0.0f;
    double gain_ = 1.0;
    std::vector<uint8_t> bytes_;
    std::vector<int32_t> ints_;
    std::vector<float> rawFrames_;
};

} // namespace kelo::render
