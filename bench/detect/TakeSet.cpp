#include "bench/detect/TakeSet.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "files/ParameterTable.h"
#include "host/Plugin.h"
#include "plugin/StateChunk.h"

namespace kelo::bench {

namespace {

constexpr int kBlock = 512;
constexpr int kSteps = 16;
constexpr int kNekobiWaveform = 0, kNekobiCutoff = 2, kNekobiResonance = 3, kNekobiEnvmod = 4,
              kNekobiDecay = 5, kNekobiAccent = 6, kNekobiVolume = 7;

double stepFrames(double bpm, int rate) { return rate * 60.0 / (bpm * 4.0); }

// Plays `frames` frames, handing each event to the block it falls in.
struct TimedEvent {
    int64_t frame;
    host::MidiIn midi;
};
void play(host::Plugin& plugin, int64_t frames, std::vector<TimedEvent> events, std::vector<float>* out) {
    // Stable: a slide's new key must go down before the old one comes up.
    std::stable_sort(events.begin(), events.end(),
                     [](const TimedEvent& a, const TimedEvent& b) { return a.frame < b.frame; });
    std::vector<float> left(kBlock), right(kBlock);
    size_t next = 0;
    for (int64_t pos = 0; pos < frames; pos += kBlock) {
        const int n = int(std::min<int64_t>(kBlock, frames - pos));
        std::vector<host::MidiIn> block;
        for (; next < events.size() && events[next].frame < pos + n; ++next) {
            host::MidiIn m = events[next].midi;
            m.offset = int32_t(std::max<int64_t>(0, events[next].frame - pos));
            block.push_back(m);
        }
        if (!block.empty()) plugin.sendEvents(block);
        std::fill(left.begin(), left.end(), 0.0f);
        std::fill(right.begin(), right.end(), 0.0f);
        plugin.process(n, left.data(), right.data());
        plugin.clearLogs();
        if (out) out->insert(out->end(), left.begin(), left.begin() + n);
    }
    // Events at the end (the release of a note sliding past the measure) go with the next block.
    std::vector<host::MidiIn> rest;
    for (; next < events.size(); ++next) rest.push_back(events[next].midi);
    if (!rest.empty()) plugin.sendEvents(rest);
}

// Leading silence, then the measure at a peak of 0.9, through 16 bits.
Take makeTake(const Pattern& p, int silence, int rate, const std::vector<float>& measure) {
    Take t;
    t.played = p;
    t.silenceFrames = silence;
    t.sampleRate = rate;
    float peak = 0.0f;
    for (float s : measure) peak = std::max(peak, std::fabs(s));
    const float scale = peak > 0.0f ? 0.9f / peak : 0.0f;
    t.samples.assign(size_t(silence), 0.0f);
    for (float s : measure) t.samples.push_back(float(std::lround(s * scale * 32767.0f)) / 32767.0f);
    return t;
}

bool renderKelo(const TakeRequest& r, const std::vector<Pattern>& patterns, const std::vector<int>& silences,
                std::vector<Take>& out, std::string& error) {
    host::Plugin plugin;
    if (!plugin.load()) {
        error = "KELO: " + plugin.error();
        return false;
    }
    plugin.dispatcher(effOpen);
    plugin.start(float(r.sampleRate), kBlock);
    // The patterns go in through the saved state, the way a host restores a project.
    void* data = nullptr;
    const VstIntPtr size = plugin.dispatcher(effGetChunk, 0, 0, &data);
    if (!data || size < VstIntPtr(kStateChunkSize)) {
        error = "KELO gave no state chunk";
        return false;
    }
    std::vector<uint8_t> chunk(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
    for (size_t i = 0; i < patterns.size(); ++i)
        std::memcpy(chunk.data() + kChunkBankOffset + i * sizeof(Pattern), &patterns[i], sizeof(Pattern));
    const int32_t midiMode = 0, syncMode = 1; // pattern mode, host tempo
    std::memcpy(chunk.data() + kChunkSettingsOffset + 4 * kChunkWordMidiMode, &midiMode, 4);
    std::memcpy(chunk.data() + kChunkSettingsOffset + 4 * kChunkWordSyncMode, &syncMode, 4);
    plugin.dispatcher(effSetChunk, 0, VstIntPtr(chunk.size()), chunk.data());
    for (const auto& [index, value] : sounds(Synth::Kelo)[size_t(r.sound)].parameters) plugin.setParameter(index, value);
    plugin.setTempo(r.bpm);
    play(plugin, r.sampleRate, {}, nullptr); // smoothed knobs arrive

    const auto frames = int64_t(std::lround(stepFrames(r.bpm, r.sampleRate) * kSteps));
    for (size_t i = 0; i < patterns.size(); ++i) {
        std::vector<float> measure;
        play(plugin, frames, {{0, {0, 0x90, uint8_t(i), 100}}, {frames, {0, 0x80, uint8_t(i), 0}}}, &measure);
        // Accent boosts ring on after the key is released.
        play(plugin, r.sampleRate * 3 / 4, {}, nullptr);
        out.push_back(makeTake(patterns[i], silences[i], r.sampleRate, measure));
    }
    return true;
}

// The sequencer's timing as MIDI: a note starts with its step unless the step before slid
// into it (then the new key goes down before the old one comes up), and is released half a
// step before the end of its last step.
std::vector<TimedEvent> patternAsMidi(const Pattern& p, double step, int64_t frames) {
    std::vector<TimedEvent> ev;
    int held = -1;
    bool slideFrom = false;
    for (int k = 0; k < kSteps; ++k) {
        const PatternStep s = p.steps[k];
        const auto start = int64_t(std::lround(k * step));
        if (s.flags & StepGate) {
            const int note = stepMidiNote(s);
            const uint8_t velocity = (s.flags & StepAccent) ? 127 : 70;
            if (slideFrom && held >= 0) {
                if (note != held) {
                    ev.push_back({start, {0, 0x90, uint8_t(note), velocity}});
                    ev.push_back({start, {0, 0x80, uint8_t(held), 0}});
                }
            } else {
                ev.push_back({start, {0, 0x90, uint8_t(note), velocity}});
            }
            held = note;
        }
        slideFrom = (s.flags & StepSlide) && held >= 0;
        if (!slideFrom && held >= 0) {
            ev.push_back({int64_t(std::lround((k + 0.5) * step)), {0, 0x80, uint8_t(held), 0}});
            held = -1;
        }
    }
    if (held >= 0) ev.push_back({frames, {0, 0x80, uint8_t(held), 0}});
    return ev;
}

bool renderNekobi(const TakeRequest& r, const std::vector<Pattern>& patterns, const std::vector<int>& silences,
                  std::vector<Take>& out, std::string& error) {
    const std::string path = nekobiPath();
    host::Plugin plugin;
    // Nekobi takes its rate from the host while it is created and ignores later changes.
    plugin.timeInfo().sampleRate = r.sampleRate;
    if (path.empty() || !plugin.load(path)) {
        error = "Nekobi: " + (path.empty() ? std::string("not installed (apt-get install dpf-plugins-vst)") : plugin.error());
        return false;
    }
    plugin.dispatcher(effOpen);
    plugin.start(float(r.sampleRate), kBlock);
    for (const auto& [index, value] : sounds(Synth::Nekobi)[size_t(r.sound)].parameters) plugin.setParameter(index, value);
    play(plugin, r.sampleRate / 2, {}, nullptr);

    const double step = stepFrames(r.bpm, r.sampleRate);
    const auto frames = int64_t(std::lround(step * kSteps));
    for (size_t i = 0; i < patterns.size(); ++i) {
        std::vector<float> measure;
        play(plugin, frames, patternAsMidi(patterns[i], step, frames), &measure);
        play(plugin, r.sampleRate * 3 / 4, {}, nullptr);
        out.push_back(makeTake(patterns[i], silences[i], r.sampleRate, measure));
    }
    return true;
}

} // namespace

const char* synthName(Synth synth) { return synth == Synth::Kelo ? "KELO" : "Nekobi"; }

std::string nekobiPath() {
#if defined(_WIN32)
    return "";
#else
    std::error_code ec;
    for (const char* p : {"/usr/lib/vst/Nekobi-vst.so", "/usr/local/lib/vst/Nekobi-vst.so"})
        if (std::filesystem::is_regular_file(p, ec)) return p;
    return "";
#endif
}

const std::vector<Sound>& sounds(Synth synth) {
    // KELO: the sound the analyzer asks for, a resonant acid line, and a darker square.
    static const std::vector<Sound> kelo = {
        {"bright saw",
         {{kTune, 0.5f}, {kCutoff, 1.0f}, {kResonance, 0.0f}, {kEnvmod, 1.0f}, {kDecay, 1.0f}, {kAccent, 1.0f},
          {kWaveform, 0.0f}, {kVolume, 0.3f}}},
        {"acid",
         {{kTune, 0.5f}, {kCutoff, 0.45f}, {kResonance, 0.75f}, {kEnvmod, 0.6f}, {kDecay, 0.45f}, {kAccent, 0.8f},
          {kWaveform, 0.0f}, {kVolume, 0.3f}}},
        {"square",
         {{kTune, 0.5f}, {kCutoff, 0.35f}, {kResonance, 0.5f}, {kEnvmod, 0.5f}, {kDecay, 0.3f}, {kAccent, 0.6f},
          {kWaveform, 1.0f}, {kVolume, 0.3f}}},
    };
    static const std::vector<Sound> nekobi = {
        {"bright saw",
         {{kNekobiWaveform, 1.0f}, {kNekobiCutoff, 0.9f}, {kNekobiResonance, 0.1f}, {kNekobiEnvmod, 0.8f},
          {kNekobiDecay, 0.8f}, {kNekobiAccent, 0.8f}, {kNekobiVolume, 0.75f}}},
        {"acid square",
         {{kNekobiWaveform, 0.0f}, {kNekobiCutoff, 0.45f}, {kNekobiResonance, 0.6f}, {kNekobiEnvmod, 0.5f},
          {kNekobiDecay, 0.5f}, {kNekobiAccent, 0.6f}, {kNekobiVolume, 0.75f}}},
    };
    return synth == Synth::Kelo ? kelo : nekobi;
}

void Take::load(WaveBuffer& buffer) const {
    buffer.allocate(int32_t(samples.size()));
    std::copy(samples.begin(), samples.end(), buffer.samples.begin());
    buffer.frameCount = int32_t(samples.size());
    buffer.sampleRate = sampleRate;
    normalizeWave(buffer);
}

Pattern randomPattern(std::mt19937& rng) {
    auto chance = [&rng](double p) { return std::uniform_real_distribution<double>(0.0, 1.0)(rng) < p; };
    Pattern p{};
    p.setStepCount(kSteps);
    for (int k = 0; k < kSteps; ++k) {
        PatternStep& s = p.steps[k];
        s.note = uint8_t(std::uniform_int_distribution<int>(0, 12)(rng));
        if (!chance(0.72)) continue;
        s.flags = StepGate;
        const double octave = std::uniform_real_distribution<double>(0.0, 1.0)(rng);
        if (octave < 0.2) s.flags |= StepDown;
        else if (octave > 0.8) s.flags |= StepUp;
        if (chance(0.3)) s.flags |= StepAccent;
        if (chance(0.25)) s.flags |= StepSlide;
    }
    return p;
}

bool renderTakes(const TakeRequest& r, std::vector<Take>& out, std::string& error) {
    out.clear();
    if (r.count < 1 || r.count > kNumPatterns || r.sound < 0 || size_t(r.sound) >= sounds(r.synth).size()) {
        error = "bad request";
        return false;
    }
    std::mt19937 rng(r.seed);
    std::vector<Pattern> patterns;
    std::vector<int> silences;
    for (int i = 0; i < r.count; ++i) {
        patterns.push_back(randomPattern(rng));
        // A quarter of the recordings start right on the first step.
        const double ms = std::uniform_real_distribution<double>(-r.maxSilenceMs / 3, r.maxSilenceMs)(rng);
        silences.push_back(ms <= 0.0 ? 0 : int(std::lround(ms * 0.001 * r.sampleRate)));
    }
    const bool rendered = r.synth == Synth::Kelo ? renderKelo(r, patterns, silences, out, error)
                                                 : renderNekobi(r, patterns, silences, out, error);
    // Drawn apart from the patterns, so a request with trailing silence plays the same measures.
    std::mt19937 trailing(r.seed ^ 0x9e3779b9u);
    for (Take& t : out) {
        if (!(r.maxTrailingMs > 0.0)) break;
        const double ms = std::uniform_real_distribution<double>(r.maxTrailingMs / 4, r.maxTrailingMs)(trailing);
        t.trailingFrames = int(std::lround(ms * 0.001 * r.sampleRate));
        t.samples.resize(t.samples.size() + size_t(t.trailingFrames), 0.0f);
    }
    return rendered;
}

Scores& Scores::operator+=(const Scores& o) {
    heard += o.heard;
    notes += o.notes;
    rests += o.rests;
    accents += o.accents;
    slides += o.slides;
    falseSlides += o.falseSlides;
    return *this;
}

void scoreTake(const Pattern& played, const Pattern& detected, Scores& s) {
    bool slideFrom = false; // the step before slid on into this one
    int pitch = 0;
    for (int k = 0; k < kSteps; ++k) {
        const uint8_t f = played.steps[k].flags;
        const bool gated = f & StepGate;
        const bool sounding = gated || slideFrom;
        if (gated) pitch = stepMidiNote(played.steps[k]);
        const PatternStep& d = detected.steps[k];
        const bool heard = d.flags & StepGate;
        if (!sounding) {
            s.rests.add(!heard);
        } else {
            s.heard.add(heard);
            s.notes.add(heard && stepMidiNote(d) == pitch);
            if (heard) {
                if (gated && !slideFrom) s.accents.add(bool(f & StepAccent) == bool(d.flags & StepAccent));
                const bool slide = gated && (f & StepSlide);
                if (slide) s.slides.add(d.flags & StepSlide);
                else s.falseSlides.add(d.flags & StepSlide);
            }
        }
        slideFrom = gated && (f & StepSlide);
    }
}

} // namespace kelo::bench
