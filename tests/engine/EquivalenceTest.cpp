// The optimised engine against the plain reference engine, over acid lines that exercise
// every filter mode, both waveforms, both distortion types, clipping, click noise, slides,
// accents, automation between sub-blocks, silences past the active samples, and 44.1, 48
// and 96 kHz.
//
// Tolerance: internal states are doubles and must agree to 1e-12 relative. The voice output
// and the fed-back filter outputs are floats, so a rounding difference of one double ulp can
// occasionally land a value on the other side of a float rounding boundary; the outputs are
// therefore compared to 1e-6 of the line's peak, which is still far below any audible or
// structural difference (a wrong coefficient or order of steps shows at 1e-3 and above).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

#include "ReferenceEngine.h"
#include "engine/OutputStage.h"
#include "engine/Voice.h"

using namespace kelo;

namespace {

// 16ths with a gate that closes half a step before a plain note ends; sliding steps keep
// it open into the next step. Pitches, accents and slides vary over 16 steps.
struct Line {
    static constexpr int kSteps = 16;
    static constexpr bool kAccent[kSteps] = {1, 0, 0, 1, 0, 0, 1, 0, 0, 0, 1, 0, 0, 1, 0, 0};
    static constexpr bool kSlide[kSteps] = {0, 0, 1, 0, 0, 1, 0, 0, 1, 1, 0, 1, 0, 0, 1, 0};
    static constexpr float kHz[kSteps] = {55.0f, 55.0f, 110.0f, 65.41f, 55.0f, 82.41f, 98.0f, 440.0f,
                                          130.8f, 55.0f, 73.42f, 110.0f, 1760.0f, 61.74f, 164.8f, 55.0f};
    VoiceControl vc;
    double perStep = 0, pos = 0;
    int step = -1;
    bool slidingIn = false;
    long restFrom = -1, restTo = -1, index = 0; // a stretch with no notes at all

    static void tick(void* ctx) {
        auto* a = static_cast<Line*>(ctx);
        const bool resting = a->index >= a->restFrom && a->index < a->restTo;
        ++a->index;
        if (resting) {
            a->vc.gate = 0;
            return;
        }
        if (a->step < 0 || a->pos >= a->perStep) {
            a->pos = a->step < 0 ? 0 : a->pos - a->perStep;
            a->step = (a->step + 1) % kSteps;
            a->vc.pitchHz = kHz[a->step];
            a->vc.accent = a->vc.accentStep = kAccent[a->step];
            a->vc.resetPhase = a->step == 8;
            if (a->slidingIn) {
                a->vc.slideFrom = 1;
            } else {
                a->vc.slideFrom = 0;
                a->vc.gate = a->vc.trigger = 1;
            }
            a->slidingIn = kSlide[a->step];
        }
        if (!a->slidingIn && a->pos >= a->perStep * 0.5) a->vc.gate = 0;
        a->pos += 1.0;
    }
    // The same line driven as the sequencer drives the voice: after a tick, every following
    // tick that leaves the control record as it is has been taken already (found by trying).
    static int run(void* ctx, int limit) {
        auto* a = static_cast<Line*>(ctx);
        tick(a);
        int quiet = 0;
        while (quiet < limit) {
            Line next = *a;
            tick(&next);
            if (std::memcmp(&next.vc, &a->vc, sizeof a->vc) != 0) break;
            *a = next;
            ++quiet;
        }
        return quiet;
    }
};

struct Config {
    double fs = 44100;
    int block = 128;
    VoiceSettings s;
    ParamSnapshot p;
    bool automate = false; // cutoff, resonance, drive and distortion move between sub-blocks
    long restFrom = -1, restTo = -1;
    double seconds = 1.5;
    long switchAt = -1; // at the first block from this sample on, `change` changes values
    std::function<void(ParamSnapshot&, VoiceSettings&)> change;
};

struct Divergence {
    double output = 0, peak = 0, state = 0;
};

double relative(double a, double b) { return std::fabs(a - b) / std::max({std::fabs(a), std::fabs(b), 1e-300}); }

Divergence compare(Config c) {
    Voice fast;
    fast.init(c.fs);
    OutputStage fastOut;
    test::ref::RefVoice slow;
    test::ref::RefOutputStage slowOut;
    Line lf, ls;
    lf.perStep = ls.perStep = c.fs / 8.0;
    lf.restFrom = ls.restFrom = c.restFrom;
    lf.restTo = ls.restTo = c.restTo;
    ParamSnapshot p = c.p;
    std::vector<float> a(size_t(c.block)), b(size_t(c.block));
    Divergence d;
    const long total = long(c.fs * c.seconds);
    VoiceSettings s = c.s;
    for (long done = 0, blockNo = 0; done < total; done += c.block, ++blockNo) {
        if (c.switchAt >= 0 && done >= c.switchAt && c.change) {
            c.change(p, s);
            c.switchAt = -1;
        }
        if (c.automate) {
            const double t = double(blockNo);
            p.cutoff = float(0.5 + 0.45 * std::sin(t * 0.05));
            p.resonance = float(0.6 + 0.35 * std::sin(t * 0.031));
            p.drive = float(blockNo % 40 < 20 ? 0.1 : 0.9);
            p.distortion = float(0.5 + 0.5 * std::sin(t * 0.02));
            p.tune = float(0.5 + 0.2 * std::sin(t * 0.013));
            p.envmod = float(0.5 + 0.4 * std::sin(t * 0.017));
            p.decay = float(0.5 + 0.4 * std::sin(t * 0.011));
            p.accent = float(0.5 + 0.4 * std::sin(t * 0.023));
        }
        fast.render(a.data(), c.block, c.fs, p, lf.vc, s, &Line::run, &lf);
        slow.render(b.data(), c.block, c.fs, p, ls.vc, s, &Line::tick, &ls);
        const int type = static_cast<int>(p.distType);
        fastOut.configure(p.drive, p.distortion, 0.064, type, p.highpass > 0.5f);
        fastOut.process(a.data(), c.block, c.fs);
        slowOut.driveT = p.drive;
        slowOut.distT = p.distortion;
        slowOut.type = type;
        slowOut.hpOn = p.highpass > 0.5f;
        slowOut.process(b.data(), c.block, c.fs);
        for (int i = 0; i < c.block; ++i) {
            d.output = std::max(d.output, double(std::fabs(a[size_t(i)] - b[size_t(i)])));
            d.peak = std::max(d.peak, double(std::fabs(b[size_t(i)])));
        }
        // The smoothed parameters after every block: one gone astray while the voice rests
        // may show nowhere else.
        const VoiceState& x = fast.state();
        const VoiceState& y = slow.v;
        for (auto [p1, p2] : {std::pair{x.tune, y.tune}, {x.cutoff, y.cutoff}, {x.resonance, y.resonance},
                              {x.envmod, y.envmod}})
            d.state = std::max(d.state, relative(p1, p2));
    }
    const VoiceState& x = fast.state();
    const VoiceState& y = slow.v;
    for (auto [p1, p2] : {std::pair{x.gateFollower, y.gateFollower}, {x.filterEnv, y.filterEnv}, {x.ampEnv, y.ampEnv},
                          {x.accentCap, y.accentCap}, {x.accentBoost, y.accentBoost}, {x.gateLag, y.gateLag},
                          {x.glide, y.glide}, {x.phase, y.phase}})
        d.state = std::max(d.state, relative(p1, p2));
    EXPECT_EQ(x.sampleCounter, y.sampleCounter);
    EXPECT_EQ(x.sinceTrigger, y.sinceTrigger);
    EXPECT_EQ(fast.scope().writeIndex.load(), slow.scope.writeIndex.load());
    EXPECT_EQ(fast.scope().crossings.load(), slow.scope.crossings.load());
    float scope = 0.0f;
    for (int k = 0; k < EnvelopeScope::kSize; ++k) scope = std::max(scope, std::fabs(fast.scope().at(k) - slow.scope.at(k)));
    EXPECT_LT(scope, 1e-5f);
    return d;
}

Config busyLine(double fs) {
    Config c;
    c.fs = fs;
    c.p.resonance = 0.85f;
    c.p.cutoff = 0.3f;
    c.p.envmod = 0.7f;
    c.p.decay = 0.35f;
    c.p.accent = 0.8f;
    c.p.distortion = 0.5f;
    c.p.highpass = 1.0f;
    return c;
}

void expectSame(const Config& c, const char* what) {
    const Divergence d = compare(c);
    EXPECT_GT(d.peak, 0.01) << what; // the line sounds
    EXPECT_LE(d.output, 1e-6 * d.peak) << what;
    EXPECT_LE(d.state, 1e-12) << what;
}

} // namespace

TEST(Equivalence, EveryFilterModeAtEveryRateMatchesTheReference) {
    for (double fs : {44100.0, 48000.0, 96000.0}) {
        for (int mode : {0, 1, 2, 5}) {
            Config c = busyLine(fs);
            c.s.filterMode = mode;
            c.seconds = 1.0;
            expectSame(c, (std::to_string(fs) + " mode " + std::to_string(mode)).c_str());
        }
    }
}

TEST(Equivalence, WaveformsDistortionsClippingAndSwitchesMatchTheReference) {
    Config square = busyLine(48000);
    square.p.waveform = 1.0f;
    square.p.distType = 1.0f; // foldback
    square.s.outputClipping = 1;
    square.s.filterMode = 0;
    expectSame(square, "square, foldback, clipping, mode 0");

    Config noNoise = busyLine(96000);
    noNoise.p.waveform = 0.7f;
    noNoise.s.vcaNoise = 0; // control lags, amplifier lag, slower attack
    noNoise.s.vcaLeveling = 1;
    noNoise.s.envmodKnob = 0;
    noNoise.s.filterMode = 2;
    noNoise.p.distortion = 0.0f;
    noNoise.p.highpass = 0.0f;
    expectSame(noNoise, "click noise off, leveling on, plain envmod, no distortion, no high-pass");

    Config clean = busyLine(44100);
    clean.p.distortion = 0.0f;
    expectSame(clean, "high-pass alone");

    Config hot = busyLine(44100);
    hot.p.drive = 1.0f;
    hot.p.distortion = 1.0f;
    hot.p.resonance = 1.0f;
    hot.p.cutoff = 1.0f;
    hot.s.outputClipping = 1;
    hot.s.relativeTuning = 1.01;
    expectSame(hot, "full drive, full resonance, clipping");
}

TEST(Equivalence, AutomationBlockSizesAndSilencesMatchTheReference) {
    for (int block : {1, 32, 128, 1024}) {
        Config c = busyLine(44100);
        c.block = block;
        c.automate = true;
        c.seconds = block == 1 ? 0.5 : 1.5;
        expectSame(c, ("automated, block " + std::to_string(block)).c_str());
    }
    // A rest longer than the active samples: the voice stops computing and catches up on its
    // smoothing and gate follower when the line resumes.
    Config rest = busyLine(44100);
    rest.s.activeClocks = 3000;
    rest.automate = true;
    rest.restFrom = 20000;
    rest.restTo = 40000;
    rest.seconds = 2.0;
    expectSame(rest, "rest past the active samples");
    // With the values held still, a rest long enough for the smoothed parameters to come
    // to rest, then notes whose gaps are skipped again: what the voice knows about lags at
    // rest must not outlive the notes that move them.
    Config still = busyLine(44100);
    still.block = 1;
    still.s.activeClocks = 1000;
    still.restFrom = 2000;
    still.restTo = 30000;
    still.seconds = 1.0;
    expectSame(still, "long rest, then notes with gaps");
    // Settings and waveform switched while the line plays: nothing remembered from the old
    // settings may leak into the new ones.
    Config sw = busyLine(44100);
    sw.switchAt = 30000;
    sw.change = [](ParamSnapshot& p, VoiceSettings& s) {
        s.envmodKnob = 0;
        s.tm3 = 0.9;
        s.filterMode = 0;
        p.waveform = 1.0f;
    };
    expectSame(sw, "settings switched mid-line");
    Config mute = busyLine(48000);
    mute.p.volume = 0.0f;
    const Divergence d = compare(mute);
    EXPECT_LT(d.peak, 1e-5); // only the output stage's guard residue before it rests
    EXPECT_EQ(d.output, 0.0);
}

TEST(Equivalence, EveryValueTheVoiceReadsTakesEffectAloneBetweenBlocks) {
    // The voice keeps what it works out from the parameters, the settings and the rate for
    // as long as they stay: a change to any one of them alone reaches the sound.
    using P = ParamSnapshot;
    using S = VoiceSettings;
    const std::pair<const char*, std::function<void(P&, S&)>> changes[] = {
        {"tune, to just above its bottom", [](P& p, S&) { p.tune = 0.0001f; }},
        {"cutoff", [](P& p, S&) { p.cutoff = 0.5f; }},
        {"resonance", [](P& p, S&) { p.resonance = 0.5f; }},
        {"envmod", [](P& p, S&) { p.envmod = 0.3f; }},
        {"decay", [](P& p, S&) { p.decay = 0.8f; }},
        {"accent", [](P& p, S&) { p.accent = 0.3f; }},
        {"waveform", [](P& p, S&) { p.waveform = 1.0f; }},
        {"smoothing speed", [](P&, S& s) { s.smoothSpeed = 0.004; }},
        {"amplifier decay", [](P&, S& s) { s.vcaDecay = 2.0; }},
        {"oscillator gain", [](P&, S& s) { s.vcoGain = 1.5; }},
        {"TM3", [](P&, S& s) { s.tm3 = 0.9; }},
        {"TM4", [](P&, S& s) { s.tm4 = 3.5; }},
        {"TM6", [](P&, S& s) { s.tm6 = 0.8; }},
        {"click noise", [](P&, S& s) { s.vcaNoise = 0; }},
        {"clipping", [](P&, S& s) { s.outputClipping = 1; }},
        {"envmod knob", [](P&, S& s) { s.envmodKnob = 0; }},
        {"filter mode", [](P&, S& s) { s.filterMode = 0; }},
        {"leveling", [](P&, S& s) { s.vcaLeveling = 1; }},
        {"active clocks", [](P&, S& s) { s.activeClocks = 1000; }},
        {"volume off", [](P& p, S&) { p.volume = 0.0f; }},
    };
    for (const auto& [what, change] : changes) {
        Config c = busyLine(48000);
        c.seconds = 0.5;
        c.switchAt = 12000;
        c.change = change;
        expectSame(c, what);
    }
}

// A hook's answer is held to what the call can take: a negative count means no quiet ticks,
// one past the end means the rest of the call.
TEST(Equivalence, OutOfRangeTickAnswersAreHeldToTheCall) {
    struct Counting {
        int calls = 0, answer = 0;
        static int tick(void* ctx, int) {
            auto* t = static_cast<Counting*>(ctx);
            ++t->calls;
            return t->answer;
        }
    };
    Voice v;
    VoiceControl vc;
    vc.gate = vc.trigger = 1;
    vc.pitchHz = 110.0f;
    const ParamSnapshot p;
    const VoiceSettings s;
    std::vector<float> buf(64, -7.0f);
    Counting negative{0, -5};
    v.render(buf.data(), 64, 44100.0, p, vc, s, &Counting::tick, &negative);
    EXPECT_EQ(negative.calls, 64);
    Counting huge{0, 1 << 30};
    v.render(buf.data(), 64, 44100.0, p, vc, s, &Counting::tick, &huge);
    EXPECT_EQ(huge.calls, 1);
    for (float x : buf) EXPECT_NE(x, -7.0f);
    EXPECT_EQ(v.state().sampleCounter, 128u);
}
