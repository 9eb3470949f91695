// The voice and output stage over acid lines that reach every filter mode, both waveforms,
// both distortion types, clipping, slides, accents, automation, rests and every value the
// voice caches. Each line leaves a print (a randomly signed sum of its samples, a sum of its
// states), recorded from a plain re-implementation of every per-sample formula that the
// engine matched to 1e-12 of the line's norm. The tolerances take another libm; a wrong
// coefficient, order of steps or stale cache moves a print by 1e-4 and more.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "engine/OutputStage.h"
#include "engine/Voice.h"

using namespace kelo;

namespace {

// 16ths whose gate closes half a step early; sliding steps hold it into the next step.
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
    long restFrom = -1, restTo = -1, index = 0;

    void tick() {
        const bool resting = index >= restFrom && index < restTo;
        ++index;
        if (resting) {
            vc.gate = 0;
            return;
        }
        if (step < 0 || pos >= perStep) {
            pos = step < 0 ? 0 : pos - perStep;
            step = (step + 1) % kSteps;
            vc.pitchHz = kHz[step];
            vc.accent = vc.accentStep = kAccent[step];
            vc.resetPhase = step == 8;
            vc.slideFrom = slidingIn;
            if (!slidingIn) vc.gate = vc.trigger = 1;
            slidingIn = kSlide[step];
        }
        if (!slidingIn && pos >= perStep * 0.5) vc.gate = 0;
        pos += 1.0;
    }
    static int single(void* ctx, int) {
        static_cast<Line*>(ctx)->tick();
        return 0;
    }
    // As the sequencer answers: every following tick that leaves the record as it is.
    static int run(void* ctx, int limit) {
        auto* a = static_cast<Line*>(ctx);
        a->tick();
        int quiet = 0;
        for (Line next = *a; quiet < limit; ++quiet, *a = next) {
            next.tick();
            if (std::memcmp(&next.vc, &a->vc, sizeof a->vc) != 0) break;
        }
        return quiet;
    }
};

struct Config {
    double fs = 44100;
    int block = 128;
    VoiceSettings s;
    ParamSnapshot p;
    bool automate = false; // every knob the voice reads moves between blocks
    bool singleTicks = false;
    long restFrom = -1, restTo = -1;
    double seconds = 1.0;
    long switchAt = -1; // the first block from this sample on applies `change`
    std::function<void(ParamSnapshot&, VoiceSettings&)> change;
};

struct Print {
    double out = 0, state = 0, norm = 0;
};

Print play(Config c) {
    Voice voice;
    voice.init(c.fs);
    OutputStage os;
    Line line;
    line.perStep = c.fs / 8.0;
    line.restFrom = c.restFrom;
    line.restTo = c.restTo;
    std::vector<float> buf(size_t(c.block));
    Print pr;
    uint32_t lcg = 1;
    for (long done = 0, blockNo = 0; done < long(c.fs * c.seconds); done += c.block, ++blockNo) {
        if (c.switchAt >= 0 && done >= c.switchAt) {
            c.change(c.p, c.s);
            c.switchAt = -1;
        }
        if (c.automate) {
            const double t = double(blockNo);
            c.p.cutoff = float(0.5 + 0.45 * std::sin(t * 0.05));
            c.p.resonance = float(0.6 + 0.35 * std::sin(t * 0.031));
            c.p.drive = float(blockNo % 40 < 20 ? 0.1 : 0.9);
            c.p.distortion = float(0.5 + 0.5 * std::sin(t * 0.02));
            c.p.tune = float(0.5 + 0.2 * std::sin(t * 0.013));
            c.p.envmod = float(0.5 + 0.4 * std::sin(t * 0.017));
            c.p.decay = float(0.5 + 0.4 * std::sin(t * 0.011));
            c.p.accent = float(0.5 + 0.4 * std::sin(t * 0.023));
        }
        const VoiceTick tick = c.singleTicks ? &Line::single : &Line::run;
        voice.render(buf.data(), c.block, c.fs, c.p, line.vc, c.s, tick, &line);
        os.configure(c.p.drive, c.p.distortion, 0.064, int(c.p.distType), c.p.highpass > 0.5f);
        os.process(buf.data(), c.block, c.fs);
        for (float x : buf) {
            lcg = lcg * 1664525u + 1013904223u;
            pr.out += (lcg >> 31 ? x : -x);
            pr.norm += double(x) * x;
        }
        // The smoothed parameters after every block: one astray while the voice rests shows
        // nowhere else.
        const VoiceState& v = voice.state();
        pr.state += v.tune + v.cutoff + v.resonance + v.envmod;
    }
    pr.norm = std::sqrt(pr.norm);
    const VoiceState& v = voice.state();
    for (double x : {v.gateFollower, v.filterEnv, v.ampEnv, v.accentCap, v.accentBoost, v.gateLag,
                     v.glide / 1000, v.phase, double(v.sampleCounter % 1000) / 1000,
                     double(v.sinceTrigger % 1000) / 1000})
        pr.state += x;
    const EnvelopeScope& scope = voice.scope();
    for (int k = 0; k < EnvelopeScope::kSize; ++k) pr.state += scope.at(k) * (1 + k % 7) / 4096.0;
    pr.state += scope.writeIndex.load() + 1000 * scope.crossings.load();
    return pr;
}

Config busyLine(double fs = 44100) {
    Config c;
    c.fs = fs;
    c.p = {.cutoff = 0.3f, .resonance = 0.85f, .envmod = 0.7f, .decay = 0.35f, .accent = 0.8f,
           .distortion = 0.5f, .highpass = 1.0f};
    return c;
}

using Scenario = std::function<void(Config&)>;
using Change = std::function<void(ParamSnapshot&, VoiceSettings&)>;

Scenario block(int size) {
    return [=](Config& c) {
        c.block = size;
        c.automate = true;
        c.seconds = size == 1 ? 0.5 : 1.5;
    };
}

// One value changed alone while the line plays: the voice keeps what it works out from the
// parameters, settings and rate as long as they stay, and must notice.
Scenario alone(Change ch) {
    return [=](Config& c) {
        c = busyLine(48000);
        c.seconds = 0.5;
        c.switchAt = 12000;
        c.change = ch;
    };
}

struct Row {
    std::string what;
    Scenario setup;
    double out, state;
};

void expectPrints(const std::vector<Row>& rows) {
    for (const Row& r : rows) {
        Config c = busyLine();
        r.setup(c);
        const Print pr = play(c);
        EXPECT_NEAR(pr.out, r.out, 1e-6 * pr.norm + 1e-12) << r.what << ": norm " << pr.norm;
        EXPECT_NEAR(pr.state, r.state, 1e-9 * std::fabs(r.state)) << r.what;
    }
}

} // namespace

TEST(RecordedSound, EveryFilterModeAtEveryRate) {
    const double rates[3] = {44100, 48000, 96000}, state[3] = {1815.75798838, 1939.4202649, 2820.6704552};
    const double out[3][4] = {{11.4735993172, 5.07508129881, 27.9549936879, 42.7933628654},
                              {-17.0542866893, -17.6071558499, -39.6941635633, 36.6719860673},
                              {-10.4964597789, -16.2330135108, -52.4719453368, -78.3480459472}};
    std::vector<Row> rows;
    for (int r = 0; r < 3; ++r)
        for (int m : {0, 1, 2, 5}) {
            const Scenario mode = [fs = rates[r], m](Config& c) {
                c = busyLine(fs);
                c.s.filterMode = m;
            };
            rows.push_back({"mode " + std::to_string(m) + " at " + std::to_string(rates[r]), mode,
                            out[r][m == 5 ? 3 : m], state[r]});
        }
    expectPrints(rows);
}

TEST(RecordedSound, WaveformsDistortionsClippingAutomationAndRests) {
    expectPrints({
        {"square, foldback, clipping, mode 0", [](Config& c) {
             c = busyLine(48000);
             c.p.waveform = 1.0f;
             c.p.distType = 1.0f;
             c.s.outputClipping = 1;
             c.s.filterMode = 0;
         }, -99.8323391642, 1939.4202649},
        {"click noise off, leveling, plain envmod, no distortion or high-pass", [](Config& c) {
             c = busyLine(96000);
             c.p.waveform = 0.7f;
             c.s.vcaNoise = 0;
             c.s.vcaLeveling = 1;
             c.s.envmodKnob = 0;
             c.s.filterMode = 2;
             c.p.distortion = 0.0f;
             c.p.highpass = 0.0f;
         }, 206.844182996, 2820.6704552},
        {"high-pass alone", [](Config& c) { c.p.distortion = 0.0f; }, 11.4791184496, 1815.75798838},
        {"everything full at 48 kHz, clipping", [](Config& c) {
             c = busyLine(48000);
             c.p.drive = c.p.distortion = c.p.resonance = c.p.cutoff = c.p.envmod = c.p.accent = 1.0f;
             c.s.outputClipping = 1;
             c.s.relativeTuning = 1.01;
         }, 10.4049431993, 2370.70519776},
        {"automated, block 1", block(1), -7.06814637748, 47481.2817099},
        {"automated, block 32", block(32), -7.86706998418, 5480.35993142},
        {"automated, block 128", block(128), 40.3767815566, 2211.37166114},
        // The sequencer's runs of quiet ticks render as one tick a sample does.
        {"automated, block 128, a tick a sample", [](Config& c) {
             block(128)(c);
             c.singleTicks = true;
         }, 40.3767815566, 2211.37166114},
        {"muted", [](Config& c) { c.p.volume = 0.0f; }, -1.10040570159e-06, 811.696579408},
        {"automated, block 1024", block(1024), 48.5135374707, 1253.65377765},
        // The voice stops computing past the active samples and catches up on its smoothing
        // and gate follower when the line resumes.
        {"rest past the active samples", [](Config& c) {
             c.s.activeClocks = 3000;
             c.automate = true;
             c.restFrom = 20000;
             c.restTo = 40000;
             c.seconds = 2.0;
         }, -5.0967346115, 2607.66126517},
        // Values held still through a rest long enough for the smoothing to settle, then
        // gaps skipped again: what the voice knows about lags at rest must not outlive them.
        {"long rest, then notes with gaps", [](Config& c) {
             c.block = 1;
             c.s.activeClocks = 1000;
             c.restFrom = 2000;
             c.restTo = 30000;
         }, -1.26581844435, 104725.671624},
        {"settings switched mid-line", [](Config& c) {
             c.seconds = 1.5;
             c.switchAt = 30000;
             c.change = [](ParamSnapshot& p, VoiceSettings& s) {
                 s.envmodKnob = 0;
                 s.tm3 = 0.9;
                 s.filterMode = 0;
                 p.waveform = 1.0f;
             };
         }, -63.7758624994, 2274.86002084},
    });
}

TEST(RecordedSound, EveryValueTheVoiceReadsTakesEffectAloneBetweenBlocks) {
    using P = ParamSnapshot;
    using S = VoiceSettings;
    expectPrints({
        {"tune near 0", alone([](P& p, S&) { p.tune = 0.0001f; }), -14.1017471679, 1510.81254366},
        {"cutoff", alone([](P& p, S&) { p.cutoff = 0.5f; }), 1.41403319752, 1574.0346047},
        {"resonance", alone([](P& p, S&) { p.resonance = 0.5f; }), 14.7042940956, 1524.392529},
        {"envmod", alone([](P& p, S&) { p.envmod = 0.3f; }), 21.8268403237, 1519.89483738},
        {"decay", alone([](P& p, S&) { p.decay = 0.8f; }), -12.4286147416, 1556.05955426},
        {"accent", alone([](P& p, S&) { p.accent = 0.3f; }), 7.8945718691, 1555.94202132},
        {"waveform", alone([](P& p, S&) { p.waveform = 1.0f; }), 0.786460349467, 1555.9880156},
        {"smoothing speed", alone([](P&, S& s) { s.smoothSpeed = 0.004; }), 6.4487759843, 1555.9880122},
        {"amplifier decay", alone([](P&, S& s) { s.vcaDecay = 2.0; }), 6.35234523362, 1555.98728121},
        {"oscillator gain", alone([](P&, S& s) { s.vcoGain = 1.5; }), 6.03442142952, 1555.9880156},
        {"TM3", alone([](P&, S& s) { s.tm3 = 0.9; }), -3.96709644494, 1555.9880156},
        {"TM4", alone([](P&, S& s) { s.tm4 = 3.5; }), 7.8706435647, 1555.9880156},
        {"TM6", alone([](P&, S& s) { s.tm6 = 0.8; }), 6.29381898894, 1555.9880156},
        {"click noise", alone([](P&, S& s) { s.vcaNoise = 0; }), 5.83410913848, 1555.60185695},
        {"clipping", alone([](P&, S& s) { s.outputClipping = 1; }), 5.8256348497, 1555.9880156},
        {"envmod knob", alone([](P&, S& s) { s.envmodKnob = 0; }), 5.38301061073, 1555.9880156},
        {"filter mode", alone([](P&, S& s) { s.filterMode = 0; }), 9.47025086409, 1555.9880156},
        {"leveling", alone([](P&, S& s) { s.vcaLeveling = 1; }), 9.68305929416, 1555.9880156},
        {"active clocks", alone([](P&, S& s) { s.activeClocks = 1000; }), 6.25959359217, 1537.37784805},
        {"volume off", alone([](P& p, S&) { p.volume = 0.0f; }), -4.28819462112, 1501.32068958},
    });
}

// A hook's answer is held to what the call can take: a negative count means no quiet ticks,
// one past the end means the rest of the call.
TEST(RecordedSound, OutOfRangeTickAnswersAreHeldToTheCall) {
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
    std::vector<float> buf(64, -7.0f);
    Counting negative{0, -5}, huge{0, 1 << 30};
    v.render(buf.data(), 64, 44100.0, {}, vc, {}, &Counting::tick, &negative);
    v.render(buf.data(), 64, 44100.0, {}, vc, {}, &Counting::tick, &huge);
    EXPECT_EQ(negative.calls, 64);
    EXPECT_EQ(huge.calls, 1);
    for (float x : buf) EXPECT_NE(x, -7.0f);
    EXPECT_EQ(v.state().sampleCounter, 128u);
}
