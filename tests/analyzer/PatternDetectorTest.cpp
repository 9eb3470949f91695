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
    float period = 0.0f;    // 0: silence
    float amp = 0.4f;       // below the accent level
    double sounding = 1.0;  // fraction of the window that sounds
    float glideFrom = 0.0f; // first cycle length of a glide (8 samples per cycle toward period)
};

constexpr int kWindow = 11025; // a sixteenth at 120 BPM, 44.1 kHz: a measure of 16 is 4 s

void fill(WaveBuffer& buf, const std::vector<Note>& notes, int window = kWindow) {
    std::vector<float> s(notes.size() * size_t(window), 0.0f);
    for (size_t k = 0, i = 0; k < notes.size(); ++k, i = 0) {
        const Note& n = notes[k];
        for (float cycle = n.glideFrom > 0.0f ? n.glideFrom : n.period; n.period > 0.0f && i < size_t(n.sounding * window);) {
            for (size_t j = 0, len = size_t(cycle); j < len && i < size_t(n.sounding * window); ++j, ++i)
                s[k * size_t(window) + i] = n.amp * (1.0f - 2.0f * float(j) / float(len));
            cycle = cycle > n.period ? std::max(n.period, cycle - 8.0f) : std::min(n.period, cycle + 8.0f);
        }
    }
    buf.allocate(int32_t(s.size()));
    buf.samples = s;
    buf.frameCount = int32_t(s.size());
    buf.sampleRate = 44100;
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

TEST(PatternDetector, PitchRoundsToTheNearestNote) {
    // {rate, period, note}: 400 is 45.039, 401 44.996 (a hair flat is still A), 389 45.522, 390 45.478.
    const std::tuple<int32_t, float, int32_t> cases[] = {
        {44100, 400.0f, 45}, {44100, 401.0f, 45}, {44100, 389.0f, 46}, {44100, 390.0f, 45}, {44100, 200.0f, 57},
        {44100, 800.0f, 33}, {48000, 400.0f, 47}, {44100, 1e-40f, kUnknownPitch}, // the rate over it overflows
        {0, 400.0f, kUnknownPitch}, {44100, 0.0f, kUnknownPitch}};
    for (const auto& [rate, period, note] : cases) EXPECT_EQ(pitchFromPeriod(rate, period), note) << period;
}

TEST(PatternDetector, SteadyNotesRestsAndShortWindows) {
    constexpr int32_t R = kRestPitch;
    WaveBuffer rec, none;
    fill(rec, {{400, 0.4f, 0.6}, {401, 0.4f, 0.6}, {200, 1.0f, 0.6}, {800, 0.4f, 0.6}, {}, {400, 0.4f, 0.6}});
    EXPECT_EQ(detect(rec, 6), (Detected{{45, 45, 57, 33, R, 45}, {1, 1, 1, 1, 0, 1}, {0, 0, 1, 0, 0, 0}, Ints(6, 0)}));
    EXPECT_EQ(detect(none, 16), (Detected{Ints(16, R), Ints(16, 0), Ints(16, 0), Ints(16, 0)})) << "nothing loaded";
    // A lone full-scale click is loud but carries no energy: a rest, and not accented.
    fill(rec, {{}, {400, 0.4f, 0.6}});
    rec.samples[100] = 1.0f;
    EXPECT_EQ(detect(rec, 2), (Detected{{R, 45}, {0, 1}, {0, 0}, {0, 0}}));
    // Windows of 1000 samples never hold a note; 1001 can.
    fill(rec, {{100, 1.0f}, {100, 1.0f}}, 1000);
    EXPECT_EQ(detect(rec, 2), (Detected{{R, R}, {0, 0}, {0, 0}, {0, 0}}));
    fill(rec, {{100, 1.0f}, {100, 1.0f}}, 1001);
    EXPECT_EQ(detect(rec, 2)[1], (Ints{1, 1}));
    // 64 windows of 63 samples: the last one starts at the recording's end.
    fill(rec, {{20, 1.0f}}, 3969);
    EXPECT_EQ(detect(rec, 64)[1], Ints(64, 0));
    DetectedSteps untouched;
    untouched.pitch[0] = 77;
    EXPECT_FALSE(detectSteps(rec, untouched, 0));
    EXPECT_EQ(untouched.pitch[0], 77);
}

TEST(PatternDetector, TailsMarkSlidesAndSlidNotesTakeTheGlideEnd) {
    WaveBuffer rec;
    fill(rec, {
                  {400, 0.4f, 1.0},          // 0: sounds to the end: slide
                  {200, 0.4f, 1.0, 400.0f},  // 1: slid into, rising to 200: 57, still sliding
                  {400, 0.4f, 0.74, 300.0f}, // 2: slid into, falling to 400: 45; dies early
                  {200, 0.4f, 1.0, 400.0f},  // 3: same glide as 1 but not slid into: mean rule
              });
    const Detected d = detect(rec, 4);
    EXPECT_EQ(d[3], (Ints{1, 1, 0, 1}));
    EXPECT_EQ(Ints(d[0].begin(), d[0].begin() + 3), (Ints{45, 57, 45}));
    EXPECT_TRUE(d[0][3] > 45 && d[0][3] < 57) << d[0][3];
}

TEST(PatternDetector, NoUsablePeriodKeepsThePatternNote) {
    WaveBuffer rec;
    fill(rec, {{}, {}, {400, 0.4f, 0.6}});
    for (int i = 0; i < kWindow * 6 / 10; ++i) rec.samples[size_t(i)] = 0.6f; // loud, never crosses zero
    // Alternating 300/500-sample cycles: no period within 10 samples of the one before.
    for (size_t i = kWindow, c = 0; i < size_t(2 * kWindow); ++c)
        for (size_t j = 0, len = c % 2 ? 500 : 300; j < len && i < size_t(2 * kWindow); ++j)
            rec.samples[i++] = 0.3f - 0.6f * float(j) / float(len);
    EXPECT_EQ(detect(rec, 3), (Detected{{kUnknownPitch, kUnknownPitch, 45}, {1, 1, 1}, {1, 0, 0}, {0, 1, 0}}));

    Pattern p{};
    p.setStepCount(3);
    p.steps[0] = {5, StepUp | StepTie};
    p.steps[1] = {7, StepDown};
    AnalyzerOptions opts;
    ASSERT_TRUE(applyDetection(rec, p, opts));
    EXPECT_EQ(Ints({p.steps[0].note, p.steps[1].note, p.steps[2].note}), (Ints{5, 7, 9}));
    EXPECT_EQ(Ints({p.steps[0].flags, p.steps[1].flags, p.steps[2].flags}),
              (Ints{StepUp | StepTie | StepGate | StepAccent, StepDown | StepGate | StepSlide, StepGate}));
}

TEST(PatternDetector, PitchToStepMapping) {
    // {pitch, note byte, octave flags}
    const int32_t cases[][3] = {{36, 0, 0},        {47, 11, 0},      {48, 0, StepUp},    {59, 11, StepUp},
                                {60, 12, StepUp},  {72, 12, StepUp}, {45, 9, 0},         {57, 9, StepUp},
                                {33, 9, StepDown}, {1, 1, StepDown}, {-5, 7, StepDown},  {-12, 0, StepDown},
                                {130, 22, StepUp}};
    for (const auto& c : cases) {
        PatternStep s{30, uint8_t(StepUp | StepDown | StepAccent | StepTie)};
        writeStepPitch(s, c[0]);
        EXPECT_EQ(Ints({s.note, s.flags}), (Ints{c[1], c[2] | StepAccent | StepTie})) << c[0];
    }
}

TEST(PatternDetector, ApplyDetectionHonoursOptionsAndStepCount) {
    WaveBuffer rec;
    fill(rec, {{400, 1.0f, 0.6}, {}, {200, 0.4f, 1.0}, {800, 0.4f, 0.6}});
    Pattern filled{};
    for (auto& step : filled.steps) step = {3, uint8_t(StepGate | StepTie | StepSlide)};
    filled.header = 0x80002804u; // triplet, shuffle 40, 4 steps
    const int kept = StepGate | StepTie | StepSlide;
    auto run = [&](bool pitch, bool rhythm, uint32_t stepField, const WaveBuffer& r) {
        AnalyzerOptions opts;
        opts.pitch = pitch, opts.rhythm = rhythm;
        Pattern p = filled;
        p.header = (p.header & ~0x7Fu) | stepField;
        EXPECT_EQ(applyDetection(r, p, opts), stepField != 0);
        return p;
    };
    auto steps = [](const Pattern& p, std::initializer_list<int> at) {
        Ints out;
        for (int i : at) out.push_back(p.steps[i].note * 256 + p.steps[i].flags);
        return out;
    };
    Pattern p = run(false, false, 4, rec); // only the step count may change
    EXPECT_EQ(0, std::memcmp(&p, &filled, sizeof p));
    p = run(true, false, 4, rec); // a rest reads as pitch 1; step 4 is beyond the count
    EXPECT_EQ(p.header, filled.header);
    EXPECT_EQ(steps(p, {0, 1, 2, 4}), (Ints{9 * 256 + kept, 256 + (kept | StepDown), 9 * 256 + (kept | StepUp), 3 * 256 + kept}));
    p = run(false, true, 4, rec);
    EXPECT_EQ(steps(p, {0, 1, 2, 4}), (Ints{3 * 256 + (StepGate | StepTie | StepAccent), 3 * 256 + StepTie, 3 * 256 + kept, 3 * 256 + kept}));
    p = run(true, true, 0, rec); // a zero step count becomes 1, nothing is detected
    EXPECT_EQ(p.stepCount(), 1);
    EXPECT_EQ(0, std::memcmp(p.steps, filled.steps, sizeof p.steps));
    p = run(true, true, 100, rec); // a step field above 64 detects 64 steps
    EXPECT_EQ(p.header, (filled.header & ~0x7Fu) | 64u);
    EXPECT_EQ(p.steps[63].flags, StepTie | StepDown);
    p = run(true, true, 4, WaveBuffer{}); // no recording: every step a rest on note 1
    EXPECT_EQ(steps(p, {0, 1, 2, 3}), Ints(4, 256 + (StepDown | StepTie)));
}

TEST(PatternDetector, TempoMatching) {
    WaveBuffer rec, none, tiny;
    fill(rec, {{400}}, 88200);
    fill(tiny, {{}}, 10);
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
    EXPECT_DOUBLE_EQ(match(rec), expected);
    EXPECT_EQ(told, std::vector<double>{expected});
    EXPECT_EQ(settings.syncMode, 0);
}

} // namespace
} // namespace kelo
