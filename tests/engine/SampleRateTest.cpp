// The sound is defined at 44.1 kHz and must be the same at every host rate: the same held
// notes give the same spectrum, and envelopes and releases take the same time.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <functional>

#include "EngineTestUtil.h"
#include "engine/OutputStage.h"

using namespace kelo;
using test::VoiceRig;

namespace {

constexpr double kRates[] = {22050.0, 32000.0, 48000.0, 88200.0, 192000.0};

// A held note through the voice and the output stage, as the plug-in renders it.
std::vector<float> heldNote(const ParamSnapshot& p, float hz, double fs, double seconds) {
    Voice v;
    OutputStage os;
    VoiceControl vc;
    VoiceSettings s;
    s.relativeTuning = 1.0; // strictly periodic, so every partial is a harmonic
    vc.pitchHz = hz;
    vc.gate = vc.trigger = 1;
    std::vector<float> out(size_t(fs * seconds));
    for (size_t i = 0; i < out.size(); i += 64) {
        const int len = int(std::min<size_t>(64, out.size() - i));
        v.render(out.data() + i, len, fs, p, vc, s, nullptr, nullptr);
        os.configure(p.drive, p.distortion, 0.064, int(p.distType), p.highpass > 0.5f);
        os.process(out.data() + i, len, fs);
    }
    return out;
}

// Level in dB of the component at f over 0.3 .. 0.55 s (Blackman-Harris window).
double levelDb(const std::vector<float>& x, double fs, double f) {
    const size_t from = size_t(0.3 * fs), n = size_t(0.25 * fs);
    std::complex<double> acc = 0;
    double sum = 0;
    for (size_t i = 0; i < n; ++i) {
        const double t = 2 * test::kPi * double(i) / double(n);
        const double w = 0.35875 - 0.48829 * std::cos(t) + 0.14128 * std::cos(2 * t) - 0.01168 * std::cos(3 * t);
        acc += w * double(x[from + i]) * std::polar(1.0, -2 * test::kPi * f * double(from + i) / fs);
        sum += w;
    }
    return 20 * std::log10(2 * std::abs(acc) / sum + 1e-30);
}

} // namespace

TEST(SampleRate, HeldNotesHaveTheSameSpectrumUpTo10kHzAtEveryRate) {
    // The defaults; an open resonant filter; the busy line's sound (high resonance, high-pass,
    // "Saturate"); "Foldback" after the high-pass.
    using P = ParamSnapshot;
    for (const auto& [p, hz] : {std::pair{P{.decay = 0.4f}, 110.0f},
                                {P{.cutoff = 0.9f, .resonance = 0.5f, .envmod = 0.5f, .decay = 0.4f}, 110.0f},
                                {P{.cutoff = 0.3f, .resonance = 0.85f, .envmod = 0.7f, .decay = 0.4f,
                                   .distortion = 0.5f, .highpass = 1}, 55.0f},
                                {P{.cutoff = 0.6f, .resonance = 0.3f, .envmod = 0.3f, .decay = 0.4f,
                                   .distortion = 0.6f, .distType = 1, .highpass = 1}, 110.0f}}) {
        const std::vector<float> ref = heldNote(p, hz, 44100, 0.6);
        std::vector<double> refDb;
        double top = -1e9;
        for (int h = 1; h * hz <= 10000; ++h) {
            refDb.push_back(levelDb(ref, 44100, h * hz));
            top = std::max(top, refDb.back());
        }
        for (double fs : kRates) {
            const std::vector<float> x = heldNote(p, hz, fs, 0.6);
            double worst = 0;
            for (size_t k = 0; k < refDb.size(); ++k)
                if (refDb[k] > top - 80) worst = std::max(worst, std::fabs(levelDb(x, fs, double(k + 1) * hz) - refDb[k]));
            EXPECT_LT(worst, 1.0) << "cutoff " << p.cutoff << " resonance " << p.resonance << " at " << fs;
        }
    }
}

TEST(SampleRate, EnvelopesGlideReleaseAndLagsTakeTheirTimesAtEveryRate) {
    struct Case {
        const char* what;
        std::function<void(VoiceRig&)> setup;
        double (*get)(const VoiceState&);
        double threshold;
        bool falling;
        double seconds; // at 44.1 kHz; 0: only the same at every rate
    };
    const auto filterEnv = [](const VoiceState& s) { return s.filterEnv; };
    const auto decay = [](float d, bool accent) {
        return [=](VoiceRig& r) {
            r.p.decay = d;
            r.noteOn(110.0f, accent);
        };
    };
    const Case cases[] = {
        {"Decay 0", decay(0.0f, false), filterEnv, 0.1, true, 0.19},
        {"Decay 1", decay(1.0f, false), filterEnv, 0.1, true, 2.6},
        {"Decay 0.5", decay(0.5f, false), filterEnv, 0.1, true, 1.0 / (0.5 / 0.19 + 0.5 / 2.6)},
        {"accent, which ignores Decay", decay(1.0f, true), filterEnv, 0.1, true, 0.2},
        {"VcaDecay", [](VoiceRig& r) { r.s.vcaDecay = 0.5; r.noteOn(110.0f); },
         [](const VoiceState& s) { return s.ampEnv; }, 0.1, true, 0.5},
        {"slide, 90 % of the way", [](VoiceRig& r) {
             r.noteOn(110.0f);
             r.render(size_t(r.fs * 0.05));
             r.vc.slideFrom = 1; // legato: gate stays on, no trigger
             r.vc.pitchHz = 220.0f;
         }, [](const VoiceState& s) { return s.glide; }, 209.0, false, 0.0653},
        {"release", [](VoiceRig& r) {
             r.noteOn(110.0f);
             r.render(size_t(r.fs * 0.05));
             r.vc.gate = 0;
         }, [](const VoiceState& s) { return s.gateLag; }, 0.1, true, 0.00261},
        {"gate follower", decay(0.5f, false), [](const VoiceState& s) { return s.gateFollower; }, 0.5, false, 0},
        {"accent charge", [](VoiceRig& r) {
             r.p.accent = 1.0f;
             r.p.resonance = 1.0f; // the accent capacitor's slow charge
             r.noteOn(110.0f, true);
         }, [](const VoiceState& s) { return s.accentCapSmooth; }, 0.05, false, 0},
    };
    for (const Case& c : cases) {
        auto timeAt = [&c](double fs) {
            VoiceRig r;
            r.fs = fs;
            c.setup(r);
            return double(r.samplesUntil(long(fs * 3), c.get, c.threshold, c.falling)) / fs;
        };
        const double at44 = timeAt(44100);
        ASSERT_GT(at44, 0.0) << c.what;
        EXPECT_TRUE(c.seconds == 0 || std::fabs(at44 - c.seconds) < c.seconds * 0.005) << c.what << " " << at44;
        for (double fs : kRates) EXPECT_NEAR(timeAt(fs) / at44, 1.0, 0.02) << c.what << " at " << fs;
    }
}

TEST(SampleRate, RatesBelowTheFastestLagsLimitAreSilentAndAboveItAccentsStayFinite) {
    // The accent charge at Resonance 0 is the fastest lag: at the lowest accepted rate it is
    // still stable, one hertz below the rate is refused.
    for (double fs : {std::ceil(Voice::kMinRate), 8000.0, std::floor(Voice::kMinRate) - 1.0}) {
        VoiceRig r;
        r.fs = fs;
        r.p.accent = 1.0f;
        r.p.resonance = 0.0f;
        r.p.cutoff = 1.0f;
        double peak = 0;
        for (int note = 0; note < 6; ++note) {
            r.noteOn(note % 2 ? 110.0f : 55.0f, true);
            for (float x : r.render(size_t(fs * 0.25))) {
                ASSERT_TRUE(std::isfinite(x)) << fs;
                peak = std::max(peak, double(std::fabs(x)));
            }
        }
        EXPECT_TRUE(fs < Voice::kMinRate ? peak == 0.0 : peak > 0.05) << fs << " peak " << peak;
    }
}

TEST(SampleRate, EveryRateRendersWithItsOwnFilterTablesAlsoAfterAnother) {
    // The filter keeps the tables of the last rate away from 44.1 kHz; a visit to another
    // rate and back (44.1 kHz, whose curve replaces them, or 96 kHz) must leave no table of
    // the visited rate in use, nor keep the visited rate from getting its own.
    VoiceSettings s;
    auto tablesAt = [&](double fs) {
        Filter f;
        f.prepare(s, RateClass::of(fs));
        return f;
    };
    const Filter at48 = tablesAt(48000), at44 = tablesAt(44100), at96 = tablesAt(96000);
    auto same = [](const Filter& a, const Filter& b) {
        return std::equal(a.feedbackTable(), a.feedbackTable() + FilterTables::kCurveSize, b.feedbackTable()) &&
               (a.at44() || std::equal(a.stageLeadTable(), a.stageLeadTable() + 2 * FilterTables::kExpSize,
                                       b.stageLeadTable()));
    };
    ASSERT_FALSE(same(at48, at44));
    ASSERT_FALSE(same(at48, at96));
    for (const Filter* visited : {&at44, &at96}) {
        VoiceRig r;
        r.noteOn(55.0f);
        for (const Filter* expected : {&at48, visited, &at48}) {
            r.fs = expected == &at48 ? 48000 : (expected == &at44 ? 44100 : 96000);
            r.render(512);
            EXPECT_TRUE(same(r.voice.filter(), *expected)) << r.fs << " after a visit to " << (visited == &at44 ? 44100 : 96000);
        }
    }
}
