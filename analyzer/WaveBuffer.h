#pragma once
// A recording for the pattern analyzer: the first channel of a 16-bit WAV or AIFF file as
// floats at full scale 1.0, plus the position the audio preview has reached in it.
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace kelo {

struct WaveBuffer {
    std::vector<float> samples; // one value per frame (first channel)
    int32_t frameCount = 0;     // 0 when nothing is loaded
    int32_t sampleRate = 0;     // the file's rate in Hz
    bool loaded = false;        // a file has been read successfully into this buffer
    // Written by the audio thread while it previews the buffer, read by the waveform view.
    std::atomic<int32_t> playPosition{0};
    // Set by AudioPreview when the buffer is published; lets the audio thread tell a
    // refilled buffer from the one it was already playing.
    uint64_t generation = 0;

    WaveBuffer() = default;
    WaveBuffer(const WaveBuffer&) = delete;
    WaveBuffer& operator=(const WaveBuffer&) = delete;

    // Room for n frames (zeroed); previous samples are dropped. False when memory runs out.
    bool allocate(int32_t n);
    // Frames actually backed by samples (guards against a hand-edited frameCount).
    int32_t frames() const {
        const auto n = int64_t(samples.size());
        return frameCount < 0 ? 0 : (int64_t(frameCount) < n ? frameCount : int32_t(n));
    }
};

// Reads a 16-bit integer PCM WAV or AIFF file into the buffer (first channel only).
// True when sample data was read. On false the buffer holds no frames; its old samples
// are gone, so load into a buffer nobody else is reading.
bool loadWaveFile(WaveBuffer& buffer, const std::string& path);
// The same, saying why in `error` (one line, no path) when it answers false.
bool loadWaveFile(WaveBuffer& buffer, const std::string& path, std::string& error);

// Files above this size are refused before they are read: a recording of one measure, even
// at 192 kHz in several channels, is a few megabytes.
constexpr uint64_t kMaxWaveFileBytes = uint64_t(128) << 20;

// Same rules, parsing a file image already in memory.
bool parseWaveImage(WaveBuffer& buffer, const uint8_t* data, size_t size);

// Scales the buffer so its largest absolute sample is 1.0; a silent buffer (peak at or
// below 1e-6) is left as it is.
void normalizeWave(WaveBuffer& buffer);

// Step count taken from a path that says one ("16step", "step12"): the number found from
// two characters before the first "step" onward, limited to 1..64. Without "step" or
// without a digit after it, `current` comes back unchanged.
int stepCountFromFileName(const std::string& path, int current);

// The 80-bit extended-precision sample rate of an AIFF "COMM" chunk as an integer rate;
// 0 when it does not describe a rate between 1 and 2^31 - 1.
int32_t aiffSampleRate(const uint8_t extended[10]);

} // namespace kelo
