#pragma once
// Writing a pattern as a Standard MIDI File (format 0, one track) for use in a host's
// sequencer. Timing follows the sequencer's step and gate lengths without swing.
#include <cstdint>
#include <string>
#include <vector>

#include "files/EngineSettings.h"
#include "sequencer/Pattern.h"

namespace kelo {

enum MidiEventType : uint32_t { MidiNoteOff = 8, MidiNoteOn = 9 };

struct MidiTrackEvent {
    uint32_t delta;    // ticks since the previous event
    uint32_t type;     // MidiNoteOn or MidiNoteOff
    uint32_t channel;  // always 0
    uint32_t note;
    uint32_t velocity;
};

class MidiTrack {
public:
    static constexpr int kMaxEvents = 1024;

    explicit MidiTrack(uint32_t ticksPerQuarter) : ticksPerQuarter_(ticksPerQuarter) {}

    // Appends an event; false (and nothing stored) when the list is full.
    bool add(const MidiTrackEvent& e);
    const std::vector<MidiTrackEvent>& events() const { return events_; }
    uint32_t ticksPerQuarter() const { return ticksPerQuarter_; }
    // Ticks from the last event to the end of the track (a loop in a host's sequencer lasts
    // until there, so a pattern ending in rests keeps its length).
    void setEndDelta(uint32_t ticks) { endDelta_ = ticks; }
    uint32_t endDelta() const { return endDelta_; }

    // The whole file image: header chunk, one track chunk, end of track.
    std::vector<uint8_t> fileBytes() const;
    // Replaces `path` with the image, whole or not at all; false when it cannot be written.
    bool write(const std::string& path) const;

private:
    uint32_t ticksPerQuarter_;
    uint32_t endDelta_ = 0;
    std::vector<MidiTrackEvent> events_;
};

// 24 ticks a step (32 in triplet patterns), released half a step after the step starts;
// 96 ticks per quarter, 192 with ClockSync. A slide holds its note into the next gated step.
// Ties are not followed: a step without a gate is a rest. The track ends where the pattern does.
MidiTrack buildPatternTrack(const Pattern& pattern, const EngineSettings& settings);

// Writes `pattern` as a MIDI file at `path`; false when the file cannot be written.
bool exportPatternMidi(const Pattern& pattern, const EngineSettings& settings,
                       const std::string& path);

} // namespace kelo
