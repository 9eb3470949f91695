#include "files/MidiExport.h"

#include <algorithm>
#include <string_view>

#include "platform/FileReplacement.h"

namespace kelo {
namespace {

void putTag(std::vector<uint8_t>& out, const char* tag) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(tag[i]));
}

void putBigEndian(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out.push_back(uint8_t(value >> (8 * i)));
}

// Variable-length quantity: 7-bit groups, most significant first, continuation bit on all but
// the last. The format allows at most four bytes (28 bits).
void putVariableLength(std::vector<uint8_t>& out, uint32_t value) {
    value = std::min<uint32_t>(value, 0x0FFFFFFF);
    uint8_t groups[4];
    int n = 0;
    do {
        groups[n++] = uint8_t(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    while (n > 1) out.push_back(uint8_t(groups[--n] | 0x80));
    out.push_back(groups[0]);
}

} // namespace

bool MidiTrack::add(const MidiTrackEvent& e) {
    if (int(events_.size()) >= kMaxEvents) return false;
    events_.push_back(e);
    return true;
}

std::vector<uint8_t> MidiTrack::fileBytes() const {
    std::vector<uint8_t> out;
    putTag(out, "MThd");
    putBigEndian(out, 6, 4);
    putBigEndian(out, 0, 2); // format 0
    putBigEndian(out, 1, 2); // one track
    putBigEndian(out, ticksPerQuarter_, 2);
    putTag(out, "MTrk");
    const size_t lengthAt = out.size();
    putBigEndian(out, 0, 4); // filled in below
    const size_t trackStart = out.size();
    for (const MidiTrackEvent& e : events_) {
        putVariableLength(out, e.delta);
        out.push_back(uint8_t((e.type & 0x0F) << 4 | (e.channel & 0x0F)));
        out.push_back(uint8_t(e.note & 0x7F));
        out.push_back(uint8_t(e.velocity & 0x7F));
    }
    putVariableLength(out, endDelta_);
    for (uint8_t b : {0xFF, 0x2F, 0x00}) out.push_back(b); // end of track
    const uint32_t trackLength = uint32_t(out.size() - trackStart);
    for (int i = 0; i < 4; ++i) out[lengthAt + i] = uint8_t(trackLength >> (24 - 8 * i));
    return out;
}

bool MidiTrack::write(const std::string& path) const {
    const std::vector<uint8_t> bytes = fileBytes();
    return platform::replaceFile(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())) ==
           platform::ReplaceResult::Written;
}

MidiTrack buildPatternTrack(const Pattern& pattern, const EngineSettings& settings) {
    MidiTrack track(settings.clockSync != 0 ? 192 : 96);
    const uint32_t stepTicks = pattern.triplet() ? 32 : 24;
    const uint32_t gateTicks = stepTicks / 2;
    // A note-on with velocity 0 would be read as a note-off: keep normal notes audible.
    const uint32_t normalVelocity = uint32_t(std::clamp(settings.accentVelocity - 1, 1, 127));

    uint32_t t = 0;
    uint32_t lastEventTick = 0;
    int soundingNote = -1;
    uint32_t pending[128] = {};
    bool accent = false;
    bool previousSlide = false;

    auto releasePending = [&](uint32_t at) {
        for (int n = 0; n < 128; ++n) {
            if (pending[n] == 0) continue;
            track.add({at - lastEventTick, MidiNoteOff, 0, uint32_t(n), pending[n]});
            lastEventTick = at;
            pending[n] = 0;
        }
        soundingNote = -1;
    };

    for (int i = 0; i < pattern.stepCount(); ++i) {
        const PatternStep& step = pattern.steps[i];
        const bool gate = step.flags & StepGate;
        const bool slide = step.flags & StepSlide;
        // An accent carries across a slide, as in playback.
        accent = (accent && previousSlide) || (gate && (step.flags & StepAccent));
        if (gate) {
            const int m = stepMidiNote(step);
            const uint32_t velocity = accent ? 127 : normalVelocity;
            // Sliding into the same pitch continues the note.
            if (m != soundingNote) {
                track.add({t - lastEventTick, MidiNoteOn, 0, uint32_t(m), velocity});
                lastEventTick = t;
                soundingNote = m;
            }
            pending[m] = velocity;
            if (!slide) releasePending(t + gateTicks);
        }
        previousSlide = slide;
        t += stepTicks;
    }
    // A pattern ending in a slide would leave its notes hanging in the file: end them where the
    // pattern ends.
    releasePending(t);
    track.setEndDelta(t - lastEventTick);
    return track;
}

bool exportPatternMidi(const Pattern& pattern, const EngineSettings& settings,
                       const std::string& path) {
    return buildPatternTrack(pattern, settings).write(path);
}

} // namespace kelo
