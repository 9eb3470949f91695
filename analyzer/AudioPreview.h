#pragma once
// Preview playback of the analyzer's recording, and the hand-over of freshly loaded
// recordings from the editor thread to the audio thread.
//
// Two WaveBuffers: the front one is what the audio thread plays and detection reads; the
// back one belongs to the editor thread, which loads into it and then calls exchange().
// The audio thread never waits: at the start of mix() it announces the buffer it is about
// to read in an atomic "in use" slot and re-checks that it is still the front one.
// exchange() swaps the front pointer and then waits, on the editor thread, until that slot
// no longer names the old front buffer (at most the rest of one audio block), so the old
// buffer is never refilled while it is being played.
//
// Editor thread: back(), front(), exchange(), setPlaying(), playing(), and loadRecording().
// Audio thread:  mix(). Only one editor thread may load at a time.
#include <atomic>
#include <cstdint>
#include <string>

#include "analyzer/WaveBuffer.h"
#include "sequencer/Pattern.h"

namespace kelo {

class AudioPreview {
public:
    AudioPreview();
    AudioPreview(const AudioPreview&) = delete;
    AudioPreview& operator=(const AudioPreview&) = delete;

    // ---- editor thread ----
    WaveBuffer& back() { return *back_; }
    const WaveBuffer& front() const { return *front_.load(std::memory_order_acquire); }
    // Publishes the back buffer as the front one; returns once the audio thread has let go
    // of the previous front buffer, which becomes the new back buffer.
    void exchange();
    // The "Play Audio" switch. Starting always plays from the recording's beginning.
    void setPlaying(bool on) { playing_.store(on, std::memory_order_release); }
    bool playing() const { return playing_.load(std::memory_order_acquire); }

    // ---- audio thread ----
    // Adds the front recording into out[0..frames) while the preview is playing, reading it
    // with a step of 44100 / sampleRate and looping at its end. Returns true when the
    // recording started again from its beginning (a wrap, a newly published recording or
    // the preview being switched on): the owner then calls Sequencer::restartTiming() so the
    // pattern stays in step with the recording. Never allocates, locks or waits.
    bool mix(float* out, int frames, double sampleRate) noexcept;

private:
    WaveBuffer buffers_[2];
    std::atomic<WaveBuffer*> front_;
    WaveBuffer* back_;
    std::atomic<WaveBuffer*> inUse_{nullptr};
    std::atomic<bool> playing_{false};
    uint64_t nextGeneration_ = 1;

    // Audio thread only.
    double position_ = 0.0;
    uint64_t playingGeneration_ = 0;
    bool wasPlaying_ = false;
};

// Longest path the "Load Audio" command takes (it keeps paths in a 256-byte field).
constexpr size_t kMaxRecordingPath = 255;

// The "Load Audio" command after the file has been chosen: loads the file into the back
// buffer, normalises it, takes the step count from the path into the analyzer pattern and
// publishes the recording. On failure (unreadable file, path too long) nothing changes:
// the front recording, the pattern and the preview stay as they were.
bool loadRecording(AudioPreview& preview, const std::string& path, Pattern& analyzerPattern);

} // namespace kelo
