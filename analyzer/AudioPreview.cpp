#include "analyzer/AudioPreview.h"

#include <thread>

namespace kelo {

AudioPreview::AudioPreview() : front_(&buffers_[0]), back_(&buffers_[1]) {}

void AudioPreview::exchange() {
    WaveBuffer* incoming = back_;
    incoming->generation = nextGeneration_++;
    incoming->playPosition.store(0, std::memory_order_relaxed);
    WaveBuffer* old = front_.exchange(incoming, std::memory_order_seq_cst);
    // The audio thread announces a buffer and then re-checks front_; with both sides
    // sequentially consistent, once the slot stops naming `old` it cannot pick it up again.
    while (inUse_.load(std::memory_order_seq_cst) == old) std::this_thread::yield();
    back_ = old;
}

bool AudioPreview::mix(float* out, int frames, double sampleRate) noexcept {
    if (!playing_.load(std::memory_order_acquire)) {
        wasPlaying_ = false;
        return false;
    }
    WaveBuffer* buf = front_.load(std::memory_order_seq_cst);
    for (;;) {
        inUse_.store(buf, std::memory_order_seq_cst);
        WaveBuffer* again = front_.load(std::memory_order_seq_cst);
        if (again == buf) break;
        buf = again;
    }

    bool restarted = false;
    const int32_t length = buf->frames();
    if (length > 0 && out && frames > 0 && sampleRate > 0.0) {
        if (!wasPlaying_ || buf->generation != playingGeneration_) {
            position_ = 0.0;
            restarted = true;
        }
        wasPlaying_ = true;
        playingGeneration_ = buf->generation;

        const double step = 44100.0 / sampleRate;
        const float* samples = buf->samples.data();
        for (int i = 0; i < frames; ++i) {
            const auto index = int64_t(position_);
            if (index < length) out[i] += samples[index];
            position_ += step;
            if (position_ >= double(length)) {
                position_ = 0.0;
                restarted = true;
            }
        }
        buf->playPosition.store(int32_t(position_), std::memory_order_relaxed);
    }

    inUse_.store(nullptr, std::memory_order_seq_cst);
    return restarted;
}

bool loadRecording(AudioPreview& preview, const std::string& path, Pattern& analyzerPattern) {
    if (path.empty() || path.size() > kMaxRecordingPath) return false;
    WaveBuffer& buf = preview.back();
    if (!loadWaveFile(buf, path)) return false;
    normalizeWave(buf);
    analyzerPattern.setStepCount(stepCountFromFileName(path, analyzerPattern.stepCount()));
    preview.exchange();
    return true;
}

} // namespace kelo
