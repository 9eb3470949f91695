#include <gtest/gtest.h>

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

Pattern newPattern(int steps) {
    Pattern p{};
    p.header = 16;
    p.setStepCount(steps);
    return p;
}

TEST(PatternDetector, PitchTruncatesTowardZero) {
    EXPECT_EQ(pitchFromPeriod(44100, 400.0f), 45);
    EXPECT_EQ(pitchFromPeriod(44100, 401.0f), 44); // 44.996
    EXPECT_EQ(pitchFromPeriod(44100, 200.0f), 57);
    EXPECT_EQ(pitchFromPeriod(44100, 800.0f), 33);
    EXPECT_EQ(pitchFromPeriod(48000, 400.0f), 46);
    EXPECT_EQ(pitchFromPeriod(0, 400.0f), kUnknownPitch);
    EXPECT_EQ(pitchFromPeriod(44100, 0.0f), kUnknownPitch);
}

TEST(PatternDetector, SteadyNotesGivePitchGateAndAccent) {
    WaveBuffer rec;
    fill(rec, {{400, 0.4f, 0.6}, {401, 0.4f, 0.6}, {200, 1.0f, 0.6}, {800, 0.4f, 0.6},
               {}, {400, 0.4f, 0.6}});
    DetectedSteps d;
    ASSERT_TRUE(detectSteps(rec, d, 6));
    const int32_t pitch[] = {45, 44, 57, 33, kRestPitch, 45};
    const int32_t gate[] = {1, 1, 1, 1, 0, 1};
    const int32_t accent[] = {0, 0, 1, 0, 0, 0};
    for (int k = 0; k < 6; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(d.pitch[size_t(k)], pitch[k]);
        EXPECT_EQ(d.gate[size_t(k)], gate[k]);
        EXPECT_EQ(d.accent[size_t(k)], accent[k]);
        EXPECT_EQ(d.slide[size_t(k)], 0);
    }
}

TEST(PatternDetector, RestsAndShortWindows) {
    WaveBuffer rec;
    {
        SCOPED_TRACE("nothing loaded: every step is a rest");
        DetectedSteps d;
        ASSERT_TRUE(detectSteps(rec, d, 16));
        for (int k = 0; k < 16; ++k) {
            EXPECT_EQ(d.pitch[size_t(k)], kRestPitch);
            EXPECT_EQ(d.gate[size_t(k)] + d.accent[size_t(k)] + d.slide[size_t(k)], 0);
        }
    }
    {
        SCOPED_TRACE("a lone full-scale click is loud but carries no energy: a rest, not accented");
        fill(rec, {{}, {400, 0.4f, 0.6}});
        rec.samples[100] = 1.0f;
        DetectedSteps d;
        ASSERT_TRUE(detectSteps(rec, d, 2));
        EXPECT_EQ(d.gate[0], 0);
        EXPECT_EQ(d.accent[0], 0);
        EXPECT_EQ(d.gate[1], 1);
    }
    {
        SCOPED_TRACE("windows of 1000 samples never hold a note, 1001 can");
        fill(rec, {{100, 1.0f}, {100, 1.0f}}, 1000);
        DetectedSteps d;
        ASSERT_TRUE(detectSteps(rec, d, 2));
        EXPECT_EQ(d.gate[0] + d.gate[1] + d.accent[0], 0);
        fill(rec, {{100, 1.0f}, {100, 1.0f}}, 1001);
        ASSERT_TRUE(detectSteps(rec, d, 2));
        EXPECT_EQ(d.gate[0], 1);
    }
    {
        SCOPED_TRACE("windows past the recording's end are rests");
        fill(rec, {{20, 1.0f}}, 3969);
        DetectedSteps d;
        ASSERT_TRUE(detectSteps(rec, d, 64)); // windows of 63: the last starts at the end
        for (int k = 0; k < 64; ++k) EXPECT_EQ(d.gate[size_t(k)], 0) << k;
    }
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
    EXPECT_EQ(d.slide[0], 1);
    EXPECT_EQ(d.pitch[1], 57);
    EXPECT_EQ(d.slide[1], 1);
    EXPECT_EQ(d.pitch[2], 45);
    EXPECT_EQ(d.slide[2], 0);
    EXPECT_GT(d.pitch[3], 45);
    EXPECT_LT(d.pitch[3], 57);
    EXPECT_EQ(d.slide[3], 1);
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
    EXPECT_EQ(d.pitch[0], kUnknownPitch);
    EXPECT_EQ(d.gate[0], 1);
    EXPECT_EQ(d.accent[0], 1);
    EXPECT_EQ(d.pitch[1], kUnknownPitch);
    EXPECT_EQ(d.gate[1], 1);

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
    struct Case {
        int32_t pitch;
        uint8_t note;
        uint8_t octaveFlags;
    };
    const Case cases[] = {{36, 0, 0},         {47, 11, 0},         {48, 0, StepUp},   {59, 11, StepUp},
                          {60, 12, StepUp},   {72, 12, StepUp},    {45, 9, 0},        {57, 9, StepUp},
                          {33, 9, StepDown},  {1, 1, StepDown},    {0, 0, StepDown},  {-5, 7, StepDown},
                          {-12, 0, StepDown}, {130, 22, StepUp}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pitch);
        PatternStep s{30, uint8_t(StepUp | StepDown | StepAccent | StepTie)};
        writeStepPitch(s, c.pitch);
        EXPECT_EQ(s.note, c.note);
        EXPECT_EQ(s.flags, c.octaveFlags | StepAccent | StepTie);
    }
}

TEST(PatternDetector, ApplyDetectionHonoursOptionsAndStepCount) {
    WaveBuffer rec;
    fill(rec, {{400, 1.0f, 0.6}, {}, {200, 0.4f, 1.0}, {800, 0.4f, 0.6}});
    Pattern filled = newPattern(4);
    for (int i = 0; i < kMaxSteps; ++i) filled.steps[i] = {3, uint8_t(StepGate | StepTie | StepSlide)};
    filled.setShuffle(40);
    filled.setTriplet(true);

    {
        SCOPED_TRACE("both options off: only the step count is touched");
        AnalyzerOptions off;
        off.pitch = false;
        off.rhythm = false;
        Pattern p = filled;
        ASSERT_TRUE(applyDetection(rec, p, off));
        EXPECT_EQ(0, std::memcmp(&p, &filled, sizeof p));
    }
    {
        SCOPED_TRACE("pitch only");
        AnalyzerOptions opts;
        opts.rhythm = false;
        Pattern p = filled;
        ASSERT_TRUE(applyDetection(rec, p, opts));
        EXPECT_EQ(p.steps[0].note, 9);
        EXPECT_EQ(p.steps[0].flags, StepGate | StepTie | StepSlide);
        EXPECT_EQ(p.steps[1].note, 1); // a rest reads as pitch 1
        EXPECT_EQ(p.steps[1].flags, StepGate | StepTie | StepSlide | StepDown);
        EXPECT_EQ(p.steps[2].flags, StepGate | StepTie | StepSlide | StepUp);
        EXPECT_EQ(p.steps[4].note, 3); // beyond the step count
        EXPECT_EQ(p.header, filled.header);
    }
    {
        SCOPED_TRACE("rhythm only");
        AnalyzerOptions opts;
        opts.pitch = false;
        Pattern p = filled;
        ASSERT_TRUE(applyDetection(rec, p, opts));
        EXPECT_EQ(p.steps[0].flags, StepGate | StepTie | StepAccent);
        EXPECT_EQ(p.steps[1].flags, StepTie);
        EXPECT_EQ(p.steps[2].flags, StepGate | StepTie | StepSlide);
        EXPECT_EQ(p.steps[2].note, 3);
        EXPECT_EQ(p.steps[4].flags, StepGate | StepTie | StepSlide);
    }
    {
        SCOPED_TRACE("a zero step count becomes 1 and nothing is detected");
        Pattern p = filled;
        p.header &= ~0x7Fu;
        AnalyzerOptions opts;
        EXPECT_FALSE(applyDetection(rec, p, opts));
        EXPECT_EQ(p.stepCount(), 1);
        EXPECT_EQ(0, std::memcmp(p.steps, filled.steps, sizeof p.steps));
    }
    {
        SCOPED_TRACE("a step count field above 64 is detected as 64 steps");
        Pattern p = filled;
        p.header = (p.header & ~0x7Fu) | 100u;
        AnalyzerOptions opts;
        ASSERT_TRUE(applyDetection(rec, p, opts));
        EXPECT_EQ(p.stepCount(), 64);
        EXPECT_EQ(p.shuffle(), 40);
        EXPECT_TRUE(p.triplet());
        EXPECT_EQ(p.steps[63].flags & (StepGate | StepSlide), 0);
    }
    {
        SCOPED_TRACE("an empty recording turns every step into a rest on note 1");
        WaveBuffer empty;
        Pattern p = filled;
        AnalyzerOptions opts;
        ASSERT_TRUE(applyDetection(empty, p, opts));
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(p.steps[i].note, 1);
            EXPECT_EQ(p.steps[i].flags, StepDown | StepTie);
        }
    }
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
