#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#include "analyzer/PatternDetector.h"

namespace kelo {
namespace {

// One step of a synthetic recording: a falling sawtooth (one sharp upward jump per cycle,
// like the instrument's bright saw), optionally gliding from another period.
struct Note {
    float period = 0.0f;   // 0: silence
    float amp = 0.4f;      // below the accent level
    double sounding = 1.0; // fraction of the window that sounds
    float glideFrom = 0.0f; // first cycle length of a glide (8 samples per cycle toward period)
};

constexpr int kWindow = 11025; // a sixteenth at 120 BPM, 44.1 kHz: a measure of 16 is 4 s

void appendStep(std::vector<float>& out, const Note& n, int window) {
    const size_t start = out.size();
    out.resize(start + size_t(window), 0.0f);
    if (n.period <= 0.0f) return;
    const auto sounding = size_t(n.sounding * window);
    float cycle = n.glideFrom > 0.0f ? n.glideFrom : n.period;
    size_t i = 0;
    while (i < sounding) {
        const auto len = size_t(cycle);
        for (size_t j = 0; j < len && i < sounding; ++j, ++i)
            out[start + i] = n.amp * (1.0f - 2.0f * float(j) / float(len));
        if (cycle > n.period) cycle = std::max(n.period, cycle - 8.0f);
        if (cycle < n.period) cycle = std::min(n.period, cycle + 8.0f);
    }
}

void fill(WaveBuffer& buf, const std::vector<Note>& notes, int window = kWindow, int32_t rate = 44100) {
    std::vector<float> s;
    for (const Note& n : notes) appendStep(s, n, window);
    buf.allocate(int32_t(s.size()));
    buf.samples = s;
    buf.frameCount = int32_t(s.size());
    buf.sampleRate = rate;
}

using Ints = std::vector<int32_t>;
Ints first(const std::array<int32_t, kMaxSteps>& a, int n) { return Ints(a.begin(), a.begin() + n); }

Pattern newPattern(int steps) {
    Pattern p{};
    p.header = 16;
    p.setStepCount(steps);
    return p;
}

TEST(PatternDetector, PitchRoundsToTheNearestNote) {
    EXPECT_EQ(pitchFromPeriod(44100, 400.0f), 45); // 45.039
    EXPECT_EQ(pitchFromPeriod(44100, 401.0f), 45); // 44.996: a hair flat is still A
    EXPECT_EQ(pitchFromPeriod(44100, 389.0f), 46); // 45.522
    EXPECT_EQ(pitchFromPeriod(44100, 390.0f), 45); // 45.478
    EXPECT_EQ(pitchFromPeriod(44100, 200.0f), 57);
    EXPECT_EQ(pitchFromPeriod(44100, 800.0f), 33);
    EXPECT_EQ(pitchFromPeriod(48000, 400.0f), 47); // 46.506
    EXPECT_EQ(pitchFromPeriod(44100, 1e-40f), kUnknownPitch); // the rate over it overflows
    EXPECT_EQ(pitchFromPeriod(0, 400.0f), kUnknownPitch);
    EXPECT_EQ(pitchFromPeriod(44100, 0.0f), kUnknownPitch);
}

TEST(PatternDetector, SteadyNotesGivePitchGateAndAccent) {
    WaveBuffer rec;
    fill(rec, {{400, 0.4f, 0.6}, {401, 0.4f, 0.6}, {200, 1.0f, 0.6}, {800, 0.4f, 0.6},
               {}, {400, 0.4f, 0.6}});
    DetectedSteps d;
    ASSERT_TRUE(detectSteps(rec, d, 6));
    EXPECT_EQ(first(d.pitch, 6), (Ints{45, 45, 57, 33, kRestPitch, 45}));
    EXPECT_EQ(first(d.gate, 6), (Ints{1, 1, 1, 1, 0, 1}));
    EXPECT_EQ(first(d.accent, 6), (Ints{0, 0, 1, 0, 0, 0}));
    EXPECT_EQ(first(d.slide, 6), Ints(6, 0));
}

TEST(PatternDetector, RestsAndShortWindows) {
    WaveBuffer rec;
    DetectedSteps d;
    ASSERT_TRUE(detectSteps(rec, d, 16)); // nothing loaded: all rests
    EXPECT_EQ(first(d.pitch, 16), Ints(16, kRestPitch));
    EXPECT_EQ(first(d.gate, 16), Ints(16, 0));
    EXPECT_EQ(first(d.accent, 16), Ints(16, 0));

    // A lone full-scale click is loud but carries no energy: a rest, and not accented.
    fill(rec, {{}, {400, 0.4f, 0.6}});
    rec.samples[100] = 1.0f;
    ASSERT_TRUE(detectSteps(rec, d, 2));
    EXPECT_EQ(first(d.gate, 2), (Ints{0, 1}));
    EXPECT_EQ(d.accent[0], 0);

    // Windows of 1000 samples never hold a note; 1001 can.
    fill(rec, {{100, 1.0f}, {100, 1.0f}}, 1000);
    ASSERT_TRUE(detectSteps(rec, d, 2));
    EXPECT_EQ(first(d.gate, 2), Ints(2, 0));
    EXPECT_EQ(first(d.accent, 2), Ints(2, 0));
    fill(rec, {{100, 1.0f}, {100, 1.0f}}, 1001);
    ASSERT_TRUE(detectSteps(rec, d, 2));
    EXPECT_EQ(first(d.gate, 2), Ints(2, 1));

    // 64 windows of 63 samples: the last one starts at the recording's end.
    fill(rec, {{20, 1.0f}}, 3969);
    ASSERT_TRUE(detectSteps(rec, d, 64));
    EXPECT_EQ(first(d.gate, 64), Ints(64, 0));

    DetectedSteps untouched;
    untouched.pitch[0] = 77;
    EXPECT_FALSE(detectSteps(rec, untouched, 0));
    EXPECT_EQ(untouched.pitch[0], 77);
}

TEST(PatternDetector, TailsMarkSlidesAndSlidNotesTakeTheGlideEnd) {
    WaveBuffer rec;
    fill(rec, {
                  {400, 0.4f, 1.0},         // 0: sounds to the end: slide
                  {200, 0.4f, 1.0, 400.0f}, // 1: slid into, rising to 200: 57, still sliding
                  {400, 0.4f, 0.74, 300.0f}, // 2: slid into, falling to 400: 45; dies early
                  {200, 0.4f, 1.0, 400.0f}, // 3: same glide as 1 but not slid into: mean rule
              });
    DetectedSteps d;
    ASSERT_TRUE(detectSteps(rec, d, 4));
    EXPECT_EQ(first(d.slide, 4), (Ints{1, 1, 0, 1}));
    EXPECT_EQ(first(d.pitch, 3), (Ints{45, 57, 45}));
    EXPECT_GT(d.pitch[3], 45);
    EXPECT_LT(d.pitch[3], 57);
}

TEST(PatternDetector, NoUsablePeriodKeepsThePatternNote) {
    WaveBuffer rec;
    fill(rec, {{}, {}, {400, 0.4f, 0.6}});
    for (int i = 0; i < kWindow * 6 / 10; ++i) rec.samples[size_t(i)] = 0.6f; // loud, never crosses zero
    // Alternating 300/500-sample cycles: no period within 10 samples of the one before.
    size_t i = kWindow;
    for (int c = 0; i < size_t(2 * kWindow); ++c) {
        const int len = c % 2 ? 500 : 300;
        for (int j = 0; j < len && i < size_t(2 * kWindow); ++j) rec.samples[i++] = 0.3f - 0.6f * float(j) / float(len);
    }
    DetectedSteps d;
    ASSERT_TRUE(detectSteps(rec, d, 3));
    EXPECT_EQ(first(d.pitch, 2), Ints(2, kUnknownPitch));
    EXPECT_EQ(first(d.gate, 2), Ints(2, 1));
    EXPECT_EQ(first(d.accent, 2), (Ints{1, 0}));

    Pattern p = newPattern(3);
    p.steps[0] = {5, StepUp | StepTie};
    p.steps[1] = {7, StepDown};
    AnalyzerOptions opts;
    ASSERT_TRUE(applyDetection(rec, p, opts));
    EXPECT_EQ(p.steps[0].note, 5);
    EXPECT_EQ(p.steps[0].flags, StepUp | StepTie | StepGate | StepAccent);
    EXPECT_EQ(p.steps[1].note, 7);
    EXPECT_EQ(p.steps[1].flags, StepDown | StepGate | StepSlide);
    EXPECT_EQ(p.steps[2].note, 9);
    EXPECT_EQ(p.steps[2].flags, StepGate);
}

TEST(PatternDetector, PitchToStepMapping) {
    // {pitch, note byte, octave flags}
    const int32_t cases[][3] = {{36, 0, 0},       {47, 11, 0},       {48, 0, StepUp},  {59, 11, StepUp},
                                {60, 12, StepUp}, {72, 12, StepUp},  {45, 9, 0},       {57, 9, StepUp},
                                {33, 9, StepDown}, {1, 1, StepDown}, {-5, 7, StepDown}, {-12, 0, StepDown},
                                {130, 22, StepUp}};
    for (const auto& c : cases) {
        PatternStep s{30, uint8_t(StepUp | StepDown | StepAccent | StepTie)};
        writeStepPitch(s, c[0]);
        EXPECT_EQ(s.note, c[1]) << c[0];
        EXPECT_EQ(s.flags, c[2] | StepAccent | StepTie) << c[0];
    }
}

TEST(PatternDetector, ApplyDetectionHonoursOptionsAndStepCount) {
    WaveBuffer rec;
    fill(rec, {{400, 1.0f, 0.6}, {}, {200, 0.4f, 1.0}, {800, 0.4f, 0.6}});
    Pattern filled = newPattern(4);
    for (auto& step : filled.steps) step = {3, uint8_t(StepGate | StepTie | StepSlide)};
    filled.header |= 0x80002800u; // shuffle 40, triplet
    auto run = [&](bool pitch, bool rhythm, uint32_t stepField, const WaveBuffer& r) {
        AnalyzerOptions opts;
        opts.pitch = pitch;
        opts.rhythm = rhythm;
        Pattern p = filled;
        p.header = (p.header & ~0x7Fu) | stepField;
        EXPECT_EQ(applyDetection(r, p, opts), stepField != 0);
        return p;
    };
    const uint8_t kept = StepGate | StepTie | StepSlide;

    Pattern p = run(false, false, 4, rec); // only the step count may change
    EXPECT_EQ(0, std::memcmp(&p, &filled, sizeof p));

    p = run(true, false, 4, rec);
    EXPECT_EQ(p.header, filled.header);
    EXPECT_EQ(p.steps[0].note, 9);
    EXPECT_EQ(p.steps[0].flags, kept);
    EXPECT_EQ(p.steps[1].note, 1); // a rest reads as pitch 1
    EXPECT_EQ(p.steps[1].flags, kept | StepDown);
    EXPECT_EQ(p.steps[2].flags, kept | StepUp);
    EXPECT_EQ(p.steps[4].note, 3); // beyond the step count

    p = run(false, true, 4, rec);
    EXPECT_EQ(p.steps[0].flags, StepGate | StepTie | StepAccent);
    EXPECT_EQ(p.steps[1].flags, StepTie);
    EXPECT_EQ(p.steps[2].flags, kept);
    EXPECT_EQ(p.steps[2].note, 3);
    EXPECT_EQ(p.steps[4].flags, kept);

    p = run(true, true, 0, rec); // a zero step count becomes 1, nothing is detected
    EXPECT_EQ(p.stepCount(), 1);
    EXPECT_EQ(0, std::memcmp(p.steps, filled.steps, sizeof p.steps));

    p = run(true, true, 100, rec); // a step field above 64 detects 64 steps
    EXPECT_EQ(p.header, (filled.header & ~0x7Fu) | 64u);
    EXPECT_EQ(p.steps[63].flags, StepTie | StepDown);

    p = run(true, true, 4, WaveBuffer{}); // no recording: every step a rest on note 1
    for (int i = 0; i < 4; ++i) EXPECT_EQ(p.steps[i].note * 256 + p.steps[i].flags, 256 + (StepDown | StepTie));
}

TEST(PatternDetector, TempoMatching) {
    WaveBuffer rec;
    fill(rec, {{400}}, 88200);
    rec.loaded = true;
    Pattern p = newPattern(16);
    EngineSettings settings;
    AnalyzerOptions opts;
    double told = -1.0;
    auto setTempo = [&](double bpm) { told = bpm; };

    settings.syncMode = 1;
    EXPECT_EQ(matchTempo(rec, p, opts, 48000.0, settings, setTempo), 0.0); // option off
    EXPECT_EQ(told, -1.0);
    EXPECT_EQ(settings.syncMode, 1);

    opts.matchTempo = true;
    // 88200 / 16 = 5512 whole samples per step, at the host's 48 kHz, four steps a beat.
    const double expected = 48000.0 * 60.0 / (5512 * 4.0);
    EXPECT_DOUBLE_EQ(matchTempo(rec, p, opts, 48000.0, settings, setTempo), expected);
    EXPECT_DOUBLE_EQ(told, expected);
    EXPECT_EQ(settings.syncMode, 0);

    // Fewer frames than steps would ask for an infinite tempo: nothing happens.
    settings.syncMode = 1;
    told = -1.0;
    fill(rec, {{}}, 10);
    rec.loaded = true;
    EXPECT_EQ(matchTempo(rec, p, opts, 48000.0, settings, setTempo), 0.0);
    EXPECT_EQ(told, -1.0);
    EXPECT_EQ(settings.syncMode, 1);

    WaveBuffer none;
    EXPECT_EQ(matchTempo(none, p, opts, 48000.0, settings, setTempo), 0.0);
    EXPECT_EQ(matchedTempo(44100 * 2, 16, 44100.0), 44100.0 * 60.0 / (5512 * 4.0));
}

} // namespace
} // namespace kelo
