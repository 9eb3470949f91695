// Times the sound engine on a busy acid line: 16ths at 120 BPM, every step gated, 5 of 16
// accented, 5 of 16 sliding, through the voice and the output stage with the volume ramp,
// at several rates and block sizes; and an idle instance. Prints the median of several runs.
//
//   bench_voice [seconds-per-run] [runs]
//   bench_voice --one <rate> <block> <seconds> [busy|idle|voice-idle]
//   bench_voice --one-plugin <rate> <block> <seconds> [busy|idle]
//     one configuration, one run: short enough to count instructions under callgrind
//   bench_voice --one <rate> <block> <seconds> stage|stage-fold
//     the output stage alone (Saturate or Foldback) over a recorded busy line
//   bench_voice --startup [plug-in file]
//     one start-up: load the file, start it at 44.1 kHz and render its first block
//   bench_voice --startup-vs <peer plug-in file> [runs]
//     median start-up times of this plug-in and a peer, taken in turns in the same run
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <ctime>
#include <vector>

#include "engine/OutputStage.h"
#include "engine/Voice.h"

#ifdef KELO_PLUGIN_PATH
#include <cstdint>
#include <cstring>

#include "host/Plugin.h"
#include "sequencer/Pattern.h"
#endif

namespace {

using namespace kelo;

// The per-sample step driver, standing in for the sequencer: the gate closes half a step
// before a plain note ends; a sliding step keeps it open into a legato next step.
struct AcidLine {
    static constexpr int kSteps = 16;
    static constexpr bool kAccent[kSteps] = {1, 0, 0, 1, 0, 0, 1, 0, 0, 0, 1, 0, 0, 1, 0, 0};
    static constexpr bool kSlide[kSteps] = {0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0};
    static constexpr float kHz[kSteps] = {55.0f,  55.0f,  110.0f, 65.41f, 55.0f,  82.41f, 98.0f,  55.0f,
                                          130.8f, 55.0f,  73.42f, 110.0f, 55.0f,  61.74f, 164.8f, 55.0f};
    VoiceControl* vc = nullptr;
    double samplesPerStep = 0;
    double pos = 0;
    int step = -1;
    bool slidingIn = false;

    static void tick(void* ctx) {
        auto* a = static_cast<AcidLine*>(ctx);
        VoiceControl& v = *a->vc;
        if (a->step < 0 || a->pos >= a->samplesPerStep) {
            a->pos = a->step < 0 ? 0 : a->pos - a->samplesPerStep;
            a->step = (a->step + 1) % kSteps;
            v.pitchHz = kHz[a->step];
            v.accent = kAccent[a->step];
            v.accentStep = kAccent[a->step];
            if (a->slidingIn) {
                v.slideFrom = 1;
            } else {
                v.slideFrom = 0;
                v.gate = 1;
                v.trigger = 1;
            }
            a->slidingIn = kSlide[a->step];
        }
        if (!a->slidingIn && a->pos >= a->samplesPerStep * 0.5) v.gate = 0;
        a->pos += 1.0;
    }
    // As the sequencer answers the voice: the tick, then the following ticks that change
    // nothing (before the next step and, with the gate open on a plain step, before its
    // half), taken at once.
    static int run(void* ctx, int limit) {
        auto* a = static_cast<AcidLine*>(ctx);
        tick(a);
        double until = a->samplesPerStep;
        if (!a->slidingIn && a->vc->gate) until = std::min(until, a->samplesPerStep * 0.5);
        const double room = std::ceil(until - a->pos); // ticks whose position stays below `until`
        const int quiet = room <= 0.0 ? 0 : (room < limit ? static_cast<int>(room) : limit);
        a->pos += quiet;
        return quiet;
    }
};

struct Instance {
    Voice voice;
    OutputStage out;
    VoiceControl vc;
    VoiceSettings settings;
    ParamSnapshot p;
    AcidLine line;
    float gain = 0.0f;
    bool busy = true;
    bool stoppedSequencer = false; // idle: tick still called, but it never starts a note

    Instance(double fs, bool busyLine) : busy(busyLine) {
        voice.init(fs);
        p.resonance = 0.85f;
        p.cutoff = 0.3f;
        p.envmod = 0.7f;
        p.decay = 0.35f;
        p.accent = 0.8f;
        p.distortion = 0.5f;
        p.distType = 0.0f;
        p.highpass = 1.0f;
        line.vc = &vc;
        line.samplesPerStep = fs / (120.0 / 60.0 * 4.0);
    }

    static int idleTick(void*, int limit) { return limit; }

    bool voiceOnly = false;

    void block(float* buf, int n, double fs) {
        VoiceTick tick = busy ? &AcidLine::run : (stoppedSequencer ? &idleTick : nullptr);
        voice.render(buf, n, fs, p, vc, settings, tick, &line);
        if (voiceOnly) return;
        out.configure(p.drive, p.distortion, 0.064, static_cast<int>(p.distType), p.highpass > 0.5f);
        out.process(buf, n, fs);
        const float target = p.volume * p.volume;
        const float step = (target - gain) / static_cast<float>(n);
        float g = gain; // a local, as the plug-in's ramp keeps it: no reload after each store
        for (int i = 0; i < n; ++i) {
            buf[i] *= g;
            g += step;
        }
        gain = target;
    }
};

volatile float g_sink;

// Seconds of processor time of this process: on a shared machine wall time also counts
// the time other programs held the core. Windows' clock() is wall time in milliseconds,
// too coarse for the idle figures, so there the steady clock serves.
double processSeconds() {
#ifdef _WIN32
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
#else
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
#endif
}

double nsPerSample(double fs, int blockSize, double seconds, bool busy, bool stoppedSequencer,
                   bool voiceOnly = false) {
    Instance inst(fs, busy);
    inst.stoppedSequencer = stoppedSequencer;
    inst.voiceOnly = voiceOnly;
    std::vector<float> buf(static_cast<size_t>(blockSize));
    const long total = static_cast<long>(fs * seconds);
    // Warm up: tables, caches, and for the idle case the release running out.
    for (long done = 0; done < static_cast<long>(fs * 0.5); done += blockSize) inst.block(buf.data(), blockSize, fs);
    if (!busy) {
        for (long done = 0; done < 90000; done += blockSize) inst.block(buf.data(), blockSize, fs);
    }
    const double c0 = processSeconds();
    float acc = 0;
    for (long done = 0; done < total; done += blockSize) {
        inst.block(buf.data(), blockSize, fs);
        acc += buf[0];
    }
    const double c1 = processSeconds();
    g_sink = acc;
    return (c1 - c0) * 1e9 / static_cast<double>(total);
}

// The output stage alone: the busy line's voice output is recorded once, then each block
// is copied in and run through the stage, so only the stage (and a 128-float copy) is timed.
double stageNsPerSample(double fs, int blockSize, double seconds, int type) {
    Instance inst(fs, true);
    inst.voiceOnly = true;
    const long total = static_cast<long>(fs * seconds);
    const long recorded = static_cast<long>(fs * 2.0) / blockSize * blockSize; // two bars, looped
    std::vector<float> voice(static_cast<size_t>(recorded));
    for (long done = 0; done < recorded; done += blockSize) inst.block(voice.data() + done, blockSize, fs);
    OutputStage out;
    std::vector<float> buf(static_cast<size_t>(blockSize));
    float acc = 0;
    auto run = [&](long samples) {
        for (long done = 0; done < samples; done += blockSize) {
            std::memcpy(buf.data(), voice.data() + done % recorded, sizeof(float) * static_cast<size_t>(blockSize));
            out.configure(inst.p.drive, inst.p.distortion, 0.064, type, inst.p.highpass > 0.5f);
            out.process(buf.data(), blockSize, fs);
            acc += buf[0];
        }
    };
    run(static_cast<long>(fs * 0.5));
    const double c0 = processSeconds();
    run(total);
    const double c1 = processSeconds();
    g_sink = acc;
    return (c1 - c0) * 1e9 / static_cast<double>(total);
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

#ifdef KELO_PLUGIN_PATH
// The same line through the plug-in file: pattern 0 written into the state chunk, started
// by its MIDI note, played by the plug-in's own sequencer. Includes the shell's block
// handling, the sequencer and the copy to both outputs. Returns ns/sample and the peak.
std::pair<double, float> pluginNsPerSample(double fs, int blockSize, double seconds, bool busy) {
    host::Plugin p;
    if (!p.load()) {
        std::fprintf(stderr, "cannot load the plug-in: %s\n", p.error().c_str());
        return {0.0, 0.0f};
    }
    p.setTimeInfoEnabled(false);
    p.start(static_cast<float>(fs), blockSize);
    void* data = nullptr;
    const VstIntPtr size = p.dispatcher(effGetChunk, 0, 0, &data);
    std::vector<uint8_t> chunk(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
    Pattern pat{};
    pat.header = 16;
    for (int i = 0; i < AcidLine::kSteps; ++i) {
        static constexpr uint8_t kNote[AcidLine::kSteps] = {0, 0, 12, 3, 0, 7, 10, 0, 15, 0, 5, 12, 0, 2, 19, 0};
        pat.steps[i].note = kNote[i];
        pat.steps[i].flags = static_cast<uint8_t>(StepGate | (AcidLine::kAccent[i] ? StepAccent : 0) |
                                                  (AcidLine::kSlide[i] ? StepSlide : 0));
    }
    std::memcpy(chunk.data() + 8, &pat, sizeof pat); // pattern 0 of the bank
    p.dispatcher(effSetChunk, 0, static_cast<VstIntPtr>(chunk.size()), chunk.data());
    const float values[][2] = {{1, 0.3f}, {2, 0.85f}, {3, 0.7f}, {4, 0.35f}, {5, 0.8f},
                               {7, 0.5f}, {11, 0.0f}, {12, 1.0f}};
    for (const auto& v : values) p.setParameter(static_cast<int>(v[0]), v[1]);

    std::vector<float> left(static_cast<size_t>(blockSize)), right(left);
    if (busy) p.sendEvents({{0, 0x90, 0, 100}}); // pattern 0, held
    const long total = static_cast<long>(fs * seconds);
    for (long done = 0; done < static_cast<long>(fs * 0.5); done += blockSize) p.process(blockSize, left.data(), right.data());
    if (!busy) {
        for (long done = 0; done < 90000; done += blockSize) p.process(blockSize, left.data(), right.data());
    }
    float peak = 0.0f;
    const double c0 = processSeconds();
    for (long done = 0; done < total; done += blockSize) {
        p.process(blockSize, left.data(), right.data());
        peak = std::max(peak, std::fabs(left[0]));
    }
    const double c1 = processSeconds();
    return {(c1 - c0) * 1e9 / static_cast<double>(total), peak};
}

// Loading the file, its entry (the instance's construction), starting it and its first
// block of 512 frames: what a host pays per instance when it scans or opens a project.
// Returns seconds of wall time (start-up is mostly not the processor's own work alone).
double startupSeconds(const std::string& path) {
    const auto t0 = std::chrono::steady_clock::now();
    {
        host::Plugin p;
        if (!p.load(path)) {
            std::fprintf(stderr, "cannot load %s: %s\n", path.c_str(), p.error().c_str());
            return -1.0;
        }
        p.start(44100.0f, 512);
        std::vector<float> left(512), right(512);
        p.process(512, left.data(), right.data());
        const auto t1 = std::chrono::steady_clock::now();
        return std::chrono::duration<double>(t1 - t0).count();
    }
}
#endif

} // namespace

int main(int argc, char** argv) {
#ifdef KELO_PLUGIN_PATH
    if (argc > 1 && std::strcmp(argv[1], "--startup") == 0) {
        const double s = startupSeconds(argc > 2 ? argv[2] : host::defaultPluginPath());
        std::printf("start-up: %.3f ms\n", s * 1e3);
        return s < 0.0 ? 1 : 0;
    }
    if (argc > 2 && std::strcmp(argv[1], "--startup-vs") == 0) {
        const int runs = argc > 3 ? std::atoi(argv[3]) : 21;
        std::vector<double> own, peer;
        for (int i = 0; i < runs; ++i) {
            own.push_back(startupSeconds(host::defaultPluginPath()));
            peer.push_back(startupSeconds(argv[2]));
        }
        const double a = median(own), b = median(peer);
        std::printf("start-up, median of %d: KELO %.3f ms, %s %.3f ms, ratio %.2f\n", runs, a * 1e3, argv[2], b * 1e3,
                    a / b);
        return 0;
    }
    if (argc > 4 && std::strcmp(argv[1], "--one-plugin") == 0) {
        const double fs = std::atof(argv[2]);
        const int blockSize = std::atoi(argv[3]);
        const bool busy = !(argc > 5 && std::strcmp(argv[5], "idle") == 0);
        const double ns = pluginNsPerSample(fs, blockSize, std::atof(argv[4]), busy).first;
        std::printf("plug-in %s %.0f Hz block %d: %.3f ns/sample\n", busy ? "busy" : "idle", fs, blockSize, ns);
        return 0;
    }
#endif
    if (argc > 4 && std::strcmp(argv[1], "--one") == 0) {
        const double fs = std::atof(argv[2]);
        const int blockSize = std::atoi(argv[3]);
        const std::string what = argc > 5 ? argv[5] : "busy";
        if (what == "stage" || what == "stage-fold") {
            const int type = what == "stage" ? OutputStage::Saturate : OutputStage::Foldback;
            const double ns = stageNsPerSample(fs, blockSize, std::atof(argv[4]), type);
            std::printf("%s %.0f Hz block %d: %.3f ns/sample\n", what.c_str(), fs, blockSize, ns);
            return 0;
        }
        const double ns = nsPerSample(fs, blockSize, std::atof(argv[4]), what == "busy", false, what == "voice-idle");
        std::printf("%s %.0f Hz block %d: %.3f ns/sample\n", what.c_str(), fs, blockSize, ns);
        return 0;
    }
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    std::printf("busy acid line, %g s per run, median of %d runs\n", seconds, runs);
    std::printf("%8s %6s %12s %12s\n", "rate", "block", "ns/sample", "x realtime");
    for (double fs : {44100.0, 48000.0, 96000.0}) {
        for (int blockSize : {32, 128, 1024}) {
            std::vector<double> r;
            for (int i = 0; i < runs; ++i) r.push_back(nsPerSample(fs, blockSize, seconds, true, false));
            const double ns = median(r);
            std::printf("%8.0f %6d %12.2f %12.0f\n", fs, blockSize, ns, 1e9 / (ns * fs));
        }
    }
    std::printf("idle instance (after the release), 44.1 kHz\n");
    for (int blockSize : {32, 128, 1024}) {
        std::vector<double> note, seq;
        for (int i = 0; i < runs; ++i) {
            note.push_back(nsPerSample(44100, blockSize, seconds, false, false));
            seq.push_back(nsPerSample(44100, blockSize, seconds, false, true));
        }
        std::vector<double> voice;
        for (int i = 0; i < runs; ++i) voice.push_back(nsPerSample(44100, blockSize, seconds, false, false, true));
        std::printf("%8s %6d %12.3f ns/sample in note mode (voice alone %.3f), %.3f with a stopped sequencer tick\n",
                    "", blockSize, median(note), median(voice), median(seq));
    }
#ifdef KELO_PLUGIN_PATH
    std::printf("through the plug-in file (shell, sequencer, voice, output stage)\n");
    for (double fs : {44100.0, 48000.0, 96000.0}) {
        for (int blockSize : {32, 128, 1024}) {
            std::vector<double> r;
            float peak = 0.0f;
            for (int i = 0; i < runs; ++i) {
                const auto m = pluginNsPerSample(fs, blockSize, seconds, true);
                r.push_back(m.first);
                peak = std::max(peak, m.second);
            }
            const double ns = median(r);
            std::printf("%8.0f %6d %12.2f %12.0f   (peak %.2f)\n", fs, blockSize, ns, 1e9 / (ns * fs), peak);
        }
    }
    for (int blockSize : {32, 128, 1024}) {
        std::vector<double> r;
        for (int i = 0; i < runs; ++i) r.push_back(pluginNsPerSample(44100, blockSize, seconds, false).first);
        std::printf("%8s %6d %12.3f ns/sample idle instance, 44.1 kHz\n", "", blockSize, median(r));
    }
#endif
    return 0;
}
