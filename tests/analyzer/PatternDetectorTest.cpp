#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <tuple>
#include <vector>

#include "analyzer/PatternDetector.h"

namespace kelo {
namespace {

// A measure as a 303-style sequencer plays it: gated notes released half a step later unless
// they slide, when the next note glides to its pitch (28 ms to 1/e unless told); accents louder.
// The wave runs from one phase, so glides are continuous.
struct Step {
    int midi = 0; // 0: rest
    bool accent = false;
    bool slide = false;
};

struct Take {
    int rate = 44100;
    double bpm = 125.0;
    double silenceSeconds = 0.0;
    float level = 0.3f;
    float accentLevel = 0.75f;
    double glideSeconds = 0.0284;
    double pulseWidth = 0.0; // 0: sawtooth
    double trailingSeconds = 0.0;
    double fadeSeconds = 0.0; // to 1/e; 0: no fade
    double detune = 0.0;      // semitones
    bool firstWaveLow = false; // the pulse stays low through each struck note's first wave
    bool boostEndsWithStep = false; // a note slid into sounds at the plain level
};

void render(WaveBuffer& buf, const std::vector<Step>& steps, const Take& t) {
    const double step = t.rate * 60.0 / (t.bpm * 4.0);
    const auto lead = size_t(t.silenceSeconds * t.rate);
    std::vector<float> s(lead + size_t(std::lround(step * double(steps.size()) + t.trailingSeconds * t.rate)), 0.0f);
    double phase = 0.0, hz = 0.0, amp = 0.0, waves = 0.0;
    const double glide = std::exp(-1.0 / (t.glideSeconds * t.rate));
    const double fade = t.fadeSeconds > 0.0 ? std::exp(-1.0 / (t.fadeSeconds * t.rate)) : 1.0;
    bool held = false;
    for (size_t k = 0; k < steps.size(); ++k) {
        const Step& st = steps[k];
        const auto from = size_t(std::lround(step * double(k))), to = size_t(std::lround(step * double(k + 1)));
        const double target = st.midi ? 8.175799 * std::exp2((st.midi + t.detune) / 12.0) : hz;
        const bool slidInto = held && k > 0;
        if (st.midi && !slidInto) hz = target, amp = st.accent ? t.accentLevel : t.level, waves = 0.0;
        if (slidInto && t.boostEndsWithStep) amp = std::min(amp, double(t.level));
        const bool sounding = st.midi || slidInto;
        held = sounding && st.slide;
        for (size_t i = from; i < to && lead + i < s.size(); ++i) {
            const bool gate = sounding && (held || double(i - from) < 0.5 * step);
            if (slidInto) hz = target + (hz - target) * glide;
            phase += hz / t.rate;
            phase -= std::floor(phase);
            waves += hz / t.rate;
            const bool high = phase < t.pulseWidth && !(t.firstWaveLow && waves < 1.0);
            const double wave = t.pulseWidth > 0.0 ? (high ? 1.0 : -0.2) : 1.0 - 2.0 * phase;
            if (gate) s[lead + i] = float(amp * wave);
            amp *= fade;
        }
    }
    buf.allocate(int32_t(s.size()));
    buf.samples = s;
    buf.frameCount = int32_t(s.size());
    buf.sampleRate = t.rate;
    normalizeWave(buf);
}

using Ints = std::vector<int32_t>;
using Detected = std::vector<Ints>; // pitch, gate, accent and slide of each step

Detected detect(const WaveBuffer& rec, int steps) {
    DetectedSteps d;
    EXPECT_TRUE(detectSteps(rec, d, steps));
    Detected out;
    for (const auto* field : {&d.pitch, &d.gate, &d.accent, &d.slide}) out.emplace_back(field->begin(), field->begin() + steps);
    return out;
}

// What detection should give for the steps: slid-into notes carry no accent of their own.
Detected expected(const std::vector<Step>& steps) {
    Detected out(4);
    bool held = false;
    for (const Step& st : steps) {
        out[0].push_back(st.midi ? st.midi : kRestPitch);
        out[1].push_back(st.midi ? 1 : 0);
        out[2].push_back(st.midi && st.accent && !held ? 1 : 0);
        out[3].push_back(st.midi && st.slide ? 1 : 0);
        held = st.midi && st.slide;
    }
    return out;
}

// A line with a leading rest, low notes, accents and slides up and down by up to an octave.
const std::vector<Step> kLine = {{},         {36, true},  {24},         {48, false, true}, {36, false, true},
                                 {48},       {},          {29, true},   {41},              {27, false, true},
                                 {39, true}, {},          {53},         {45, true, true},  {33},
                                 {26}};

TEST(PatternDetector, ReadsRealTemposRatesAndLeadingSilence) {
    // {rate, BPM, leading silence, level}: a quiet recording reads as a loud one.
    for (const auto& [rate, bpm, silence, gain] :
         {std::tuple{44100, 140.0, 0.0, 1.0f}, {48000, 100.0, 0.42, 1.0f}, {44100, 125.0, 0.25, 0.03f},
          {8000, 125.0, 0.1, 1.0f}, {22050, 140.0, 0.3, 1.0f}, {192000, 125.0, 0.05, 1.0f},
          {44100, 60.0, 0.0, 1.0f}}) {
        SCOPED_TRACE(std::to_string(rate) + " Hz, " + std::to_string(int(bpm)) + " BPM, silence " + std::to_string(silence));
        WaveBuffer rec;
        render(rec, kLine, {rate, bpm, silence});
        for (float& x : rec.samples) x *= gain;
        EXPECT_EQ(detect(rec, 16), expected(kLine));
        // The measure starts a step before the first onset and lasts to the end of the file.
        const MeasureGrid grid = measureGrid(rec, 16);
        const double step = rate * 60.0 / (bpm * 4.0);
        EXPECT_NEAR(grid.start, silence * rate, silence > 0.0 ? 0.02 * step : 0.5);
        EXPECT_NEAR(grid.stepLength, step, 0.002 * step);
    }
}

TEST(PatternDetector, AnotherSynthsGlideTuningAndWaves) {
    // Glides of another synth (12 ms to 1/e, read a note off under the instrument's own law) and
    // a slower one through a chain; tuned sharp; a narrow pulse, which matches itself at every
    // whole number of waves; a square whose struck notes start with an odd first wave.
    const std::vector<Step> one = {{36, false, true}, {48}, {40}, {41}, {43, true}, {45}, {38}, {40}};
    const std::vector<Step> chain = {{36, false, true}, {48, false, true}, {36, false, true}, {48},
                                     {43, true},        {45},              {38},              {40}};
    struct Row {
        const std::vector<Step>* line;
        int rate;
        double bpm, silence, glide, detune, pulse, fade;
        bool firstWaveLow;
    };
    for (const Row& r : {Row{&kLine, 48000, 140.0, 0.2, 0.012, 0.0, 0.0, 0.15, false},
                         Row{&kLine, 48000, 140.0, 0.2, 0.012, 0.42, 0.0, 0.15, false},
                         Row{&kLine, 48000, 140.0, 0.2, 0.0284, 0.0, 0.1, 0.0, false},
                         Row{&kLine, 44100, 110.0, 0.0, 0.0284, 0.0, 0.45, 0.0, true},
                         Row{&one, 48000, 125.0, 0.0, 0.012, 0.0, 0.0, 0.15, false},
                         Row{&chain, 48000, 125.0, 0.0, 0.045, 0.4, 0.0, 0.15, false}}) {
        SCOPED_TRACE("glide " + std::to_string(r.glide) + " detune " + std::to_string(r.detune));
        WaveBuffer rec;
        Take take{r.rate, r.bpm, r.silence};
        take.glideSeconds = r.glide, take.detune = r.detune, take.pulseWidth = r.pulse;
        take.fadeSeconds = r.fade, take.firstWaveLow = r.firstWaveLow;
        render(rec, *r.line, take);
        EXPECT_EQ(detect(rec, int(r.line->size())), expected(*r.line));
    }
    // A slide at once whose lowest notes' waves reach back past the file's start: not matched.
    const std::vector<Step> line = {{40, false, true}, {52}, {}, {45, false, true}, {33}};
    WaveBuffer rec;
    render(rec, line, {44100, 200.0});
    EXPECT_EQ(detect(rec, 5), expected(line));
}

TEST(PatternDetector, SilenceAfterTheMeasure) {
    const double step = 44100 * 60.0 / (125.0 * 4.0);
    // Cut at the measure's start (a rest), or with silence before too: then the first note starts it.
    for (const auto& [before, after] : {std::pair{0.0, 0.3}, {0.0, 2.5}, {0.13, 1.0}}) {
        SCOPED_TRACE("before " + std::to_string(before) + " after " + std::to_string(after));
        WaveBuffer rec;
        Take take{44100, 125.0, before};
        take.trailingSeconds = after;
        render(rec, kLine, take);
        const MeasureGrid grid = measureGrid(rec, 16);
        EXPECT_NEAR(grid.stepLength, step, 0.001 * step);
        EXPECT_NEAR(grid.start, before > 0.0 ? before * 44100 + step : 0.0, 0.01 * step);
        std::vector<Step> line(kLine.begin() + (before > 0.0 ? 1 : 0), kLine.end());
        line.resize(16);
        EXPECT_EQ(detect(rec, 16), expected(line));
        // Match Tempo plays the measure, not the file, in the host's time.
        rec.loaded = true;
        Pattern p{};
        p.setStepCount(16);
        AnalyzerOptions opts;
        opts.matchTempo = true;
        EngineSettings settings;
        EXPECT_NEAR(matchTempo(rec, p, opts, 44100.0, settings, nullptr), 125.0, 0.2);
    }
}

TEST(PatternDetector, AccentsAreRelativeToTheRecordingsOwnLevels) {
    const std::vector<Step> line = {{36, true}, {38}, {40}, {43, true}, {45}, {36}, {}, {48, true}};
    WaveBuffer rec;
    // An accent only 1.4 times louder, and a recording made quietly, still shows.
    render(rec, line, {44100, 125.0, 0.0, 0.1f, 0.14f});
    EXPECT_EQ(detect(rec, 8), expected(line));
    // Every struck note accented: the notes slid into, back at the plain level, show it.
    const std::vector<Step> accented = {{36, true, true}, {38}, {40, true}, {43, true}, {45, true, true}, {36}, {}, {48, true}};
    Take boosts{44100, 125.0, 0.0, 0.3f, 0.75f};
    boosts.boostEndsWithStep = true;
    render(rec, accented, boosts);
    EXPECT_EQ(detect(rec, 8), expected(accented));
    // Notes all alike are plain, however loud, though the one slid into has faded well below.
    Take alike{44100, 125.0, 0.0, 0.8f, 0.8f};
    alike.fadeSeconds = 0.3;
    const std::vector<Step> held = {{36, true}, {38, false, true}, {40}, {43, true}, {45}, {36}, {}, {48, true}};
    render(rec, held, alike);
    EXPECT_EQ(detect(rec, 8)[2], Ints(8, 0));
}

TEST(PatternDetector, SilenceShortWindowsAndNoPeriod) {
    WaveBuffer none;
    EXPECT_EQ(detect(none, 16), (Detected{Ints(16, kRestPitch), Ints(16, 0), Ints(16, 0), Ints(16, 0)}));
    WaveBuffer rec;
    render(rec, {{45}, {}, {45}, {}}, {44100, 125.0});
    for (float& x : rec.samples) x *= 0.0f;
    EXPECT_EQ(detect(rec, 4)[1], Ints(4, 0)) << "digital silence";
    // More steps than frames: every window is empty.
    render(rec, {{45}}, {44100, 125.0});
    rec.samples.resize(40), rec.frameCount = 40;
    EXPECT_EQ(detect(rec, 64)[1][63], 0);
    DetectedSteps untouched{{77}};
    EXPECT_FALSE(detectSteps(rec, untouched, 0));
    EXPECT_EQ(untouched.pitch[0], 77);
    // A faint echo (a delay effect) is neither a note nor a measure of the notes' level.
    const std::vector<Step> echoed = {{36, true}, {}, {}, {}, {45}, {}, {}, {}};
    render(rec, echoed, {44100, 125.0});
    std::vector<float> e(rec.samples.size(), 0.0f); // 125 ms, each repeat half as loud
    for (size_t i = 5512; i < e.size(); ++i) e[i] = 0.045f * rec.samples[i - 5512] + 0.5f * e[i - 5512];
    for (size_t i = 0; i < e.size(); ++i) rec.samples[i] += e[i];
    EXPECT_EQ(detect(rec, 8), expected(echoed));
    // A held offset has no period (the pattern keeps its note); the note it slides into is read.
    Take fast{44100, 125.0};
    fast.glideSeconds = 0.003;
    render(rec, {{45}, {45, false, true}, {57}}, fast);
    const int step = rec.frameCount / 3;
    for (int i = step; i < 2 * step; ++i) rec.samples[size_t(i)] = 0.6f;
    const Detected d = detect(rec, 3);
    EXPECT_EQ((Detected{d[0], d[1], d[3]}), (Detected{{45, kUnknownPitch, 57}, {1, 1, 1}, {0, 1, 0}}));
    Pattern p{};
    p.setStepCount(3);
    p.steps[1] = {7, StepDown | StepTie};
    ASSERT_TRUE(applyDetection(rec, p, AnalyzerOptions{}));
    EXPECT_EQ(Ints({p.steps[1].note, p.steps[1].flags & (StepDown | StepTie | StepGate)}),
              Ints({7, StepDown | StepTie | StepGate}));
}

TEST(PatternDetector, ApplyDetectionHonoursOptionsAndStepCount) {
    WaveBuffer rec;
    render(rec, {{45, true}, {}, {57, false, true}, {33}}, {44100, 125.0});
    Pattern filled{};
    for (auto& step : filled.steps) step = {3, uint8_t(StepGate | StepTie | StepSlide)};
    filled.header = 0x80002804u; // triplet, shuffle 40, 4 steps
    // {pitch, rhythm, step field, note * 256 + flags of steps 0, 1, 2 and 4 after}; a rest reads
    // as pitch 1 (note 1, octave down); step 4 is beyond the count.
    const int kept = StepGate | StepTie | StepSlide, t = StepTie;
    const std::tuple<bool, bool, uint32_t, Ints> cases[] = {
        {false, false, 4, {0x300 + kept, 0x300 + kept, 0x300 + kept, 0x300 + kept}},
        {true, false, 4, {0x900 + kept, 0x100 + (kept | StepDown), 0x900 + (kept | StepUp), 0x300 + kept}},
        {false, true, 4, {0x300 + (StepGate | t | StepAccent), 0x300 + t, 0x300 + kept, 0x300 + kept}},
        {true, true, 0, {0x300 + kept, 0x300 + kept, 0x300 + kept, 0x300 + kept}}}; // nothing detected
    for (const auto& [pitch, rhythm, stepField, after] : cases) {
        AnalyzerOptions opts;
        opts.pitch = pitch, opts.rhythm = rhythm;
        Pattern p = filled;
        p.header = (p.header & ~0x7Fu) | stepField;
        EXPECT_EQ(applyDetection(rec, p, opts), stepField != 0);
        EXPECT_EQ(p.header, (filled.header & ~0x7Fu) | std::max(stepField, 1u)) << "only the step count";
        EXPECT_EQ(Ints({p.steps[0].note * 256 + p.steps[0].flags, p.steps[1].note * 256 + p.steps[1].flags,
                        p.steps[2].note * 256 + p.steps[2].flags, p.steps[4].note * 256 + p.steps[4].flags}),
                  after) << pitch << rhythm << stepField;
    }
    Pattern p = filled;
    p.header = (p.header & ~0x7Fu) | 100u; // a step field above 64 detects 64 steps
    ASSERT_TRUE(applyDetection(rec, p, AnalyzerOptions{}));
    EXPECT_EQ(p.header, (filled.header & ~0x7Fu) | 64u);
    EXPECT_EQ(p.steps[63].flags & (StepGate | StepTie), StepTie);
    p = filled;
    ASSERT_TRUE(applyDetection(WaveBuffer{}, p, AnalyzerOptions{})); // no recording: rests on note 1
    EXPECT_EQ(Ints({p.steps[0].note, p.steps[3].flags}), Ints({1, StepDown | StepTie}));
}

TEST(PatternDetector, TempoMatching) {
    WaveBuffer rec, none, tiny;
    render(rec, std::vector<Step>(16, Step{45}), {44100, 120.0}); // 88200 frames
    tiny.allocate(10), tiny.frameCount = 10, tiny.sampleRate = 44100;
    rec.loaded = tiny.loaded = true;
    Pattern p{};
    p.setStepCount(16);
    EngineSettings settings;
    settings.syncMode = 1;
    AnalyzerOptions opts;
    std::vector<double> told;
    auto match = [&](const WaveBuffer& r) { return matchTempo(r, p, opts, 48000.0, settings, [&](double bpm) { told.push_back(bpm); }); };
    EXPECT_EQ(match(rec), 0.0) << "option off";
    opts.matchTempo = true;
    EXPECT_EQ(match(none), 0.0);
    EXPECT_EQ(match(tiny), 0.0) << "fewer frames than steps would ask for an infinite tempo";
    EXPECT_TRUE(told.empty() && settings.syncMode == 1) << "nothing is done";
    // 88200 / 16 = 5512 whole samples per step, at the host's 48 kHz, four steps a beat.
    const double expected = 48000.0 * 60.0 / (5512 * 4.0);
    ASSERT_EQ(rec.frameCount, 88200);
    EXPECT_DOUBLE_EQ(match(rec), expected);
    EXPECT_EQ(told, std::vector<double>{expected});
    EXPECT_EQ(settings.syncMode, 0);
}

} // namespace
} // namespace kelo
