// Times the editor's idle routine on the real instance with the default skin, the way a host
// drives it: 30 idle calls per second, audio rendered between them (33 ms per call).
//   - at rest: the editor open, nothing moving;
//   - playing: the sequencer runs (the run light blinks), the host automates Cutoff and
//     Resonance and moves the tempo the instance follows (knobs and digits change).
// Prints, per case, the mean and the 99th percentile of the time per idle call (thread CPU
// time), the share of one core at 30 calls per second, and the area repainted per second.
//
//   bench_editor [seconds per case]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <time.h>
#endif

#include "editor/CreateEditor.h"
#include "editor/Riv303Uru.h"
#include "platform/Platform.h"
#include "platform/Services.h"
#include "plugin/Vez303.h"
#include "toolkit/CFrame.h"
#include "toolkit/platform/OffscreenFrame.h"

using namespace kelo;

namespace {

constexpr uint32_t kIdleMs = 33;
constexpr int kFramesPerIdle = 44100 * kIdleMs / 1000;

// The system's services with a clock that advances one idle period per call.
class SteppedClock : public platform::Services {
public:
    SteppedClock() : system_(platform::systemServices()) { platform::setServices(this); }
    ~SteppedClock() override { platform::setServices(nullptr); }
    void chooseFile(const platform::FileDialogRequest& r, platform::FileDialogDone d) override {
        system_.chooseFile(r, std::move(d));
    }
    void showMessage(const platform::MessageRequest& r, platform::MessageDone d) override {
        system_.showMessage(r, std::move(d));
    }
    void poll() override { system_.poll(); }
    void cancelDialogs(const void* owner) override { system_.cancelDialogs(owner); }
    bool openUrl(const std::string& url) override { return system_.openUrl(url); }
    bool openInTextEditor(const std::string& path) override { return system_.openInTextEditor(path); }
    bool listFolder(const std::string& p, std::vector<platform::FolderEntry>& e) override {
        return system_.listFolder(p, e);
    }
    uint32_t tickCount() override { return now; }
    uint32_t now = 1000;

private:
    platform::Services& system_;
};

VstTimeInfo timeInfo{};

VstIntPtr VSTCALLBACK host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    if (opcode == audioMasterVersion) return 2400;
    if (opcode == audioMasterGetTime) return reinterpret_cast<VstIntPtr>(&timeInfo);
    return 0;
}

double cpuMicros() {
#if !defined(_WIN32)
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e6 + double(t.tv_nsec) / 1e3;
#else
    using namespace std::chrono;
    return double(duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count()) / 1e3;
#endif
}

struct Result {
    double meanUs = 0;
    double p99Us = 0;
    double pixelsPerSecond = 0;
};

Result run(Vez303& plugin, Riv303Uru& editor, SteppedClock& clock, double seconds, bool playing) {
    std::vector<float> left(kFramesPerIdle), right(kFramesPerIdle);
    float* outputs[2] = {left.data(), right.data()};
    gui::OffscreenFrame* screen = editor.getFrame()->getOffscreenFrame();
    const int calls = int(seconds * 1000.0 / kIdleMs);
    std::vector<double> times;
    double area = 0;
    for (int i = 0; i < calls; ++i) {
        if (playing) {
            timeInfo.tempo = 120.0 + 20.0 * ((i / 15) % 8); // a new tempo every half second
            plugin.setParameter(kCutoff, 0.5f + 0.4f * float((i % 60) - 30) / 30.0f);
            plugin.setParameter(kResonance, float(i % 90) / 90.0f);
        }
        plugin.processReplacing(nullptr, outputs, kFramesPerIdle);
        clock.now += kIdleMs;
        screen->takeInvalidations();
        const double t0 = cpuMicros();
        editor.idle();
        times.push_back(cpuMicros() - t0);
        for (const gui::CRect& r : screen->takeInvalidations()) area += r.getWidth() * r.getHeight();
    }
    std::sort(times.begin(), times.end());
    Result r;
    for (double t : times) r.meanUs += t;
    r.meanUs /= double(times.size());
    r.p99Us = times[std::min(times.size() - 1, size_t(double(times.size()) * 0.99))];
    r.pixelsPerSecond = area / seconds;
    return r;
}

void print(const char* name, const Result& r) {
    std::printf("%-8s %8.1f us/idle (p99 %7.1f)  %5.2f %% of a core at 30 Hz  %10.0f px repainted/s\n", name,
                r.meanUs, r.p99Us, r.meanUs * 30.0 / 1e4, r.pixelsPerSecond);
}

} // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::max(1.0, std::atof(argv[1])) : 5.0;
#if !defined(_WIN32)
    // An empty user of its own: the instance reads and writes nothing of the real user's.
    namespace fs = std::filesystem;
    std::string home = (fs::temp_directory_path() / "kelo-bench-XXXXXX").string();
    if (!mkdtemp(home.data())) return 2;
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", home.c_str(), 1);
#endif
    const std::string data = platform::dataFolder();
    platform::ensureFolder(data);
    std::ofstream(data + "Gui.ini") << "KnobMode = 2\n";
    std::ofstream(data + "User.ini") << "Eggs = 0\nSyncMode = 1\n";
    timeInfo.tempo = 120.0;
    timeInfo.sampleRate = 44100.0;
    timeInfo.flags = kVstTempoValid;

    SteppedClock clock;
    int status = 0;
    {
        Vez303 plugin(&host, &createEditor);
        auto& editor = *static_cast<Riv303Uru*>(plugin.getEditor());
        plugin.dispatcher(effSetSampleRate, 0, 0, nullptr, 44100.0f);
        plugin.dispatcher(effSetBlockSize, 0, kFramesPerIdle, nullptr, 0.0f);
        plugin.dispatcher(effMainsChanged, 0, 1, nullptr, 0.0f);
        if (!editor.openOffscreen()) {
            std::fprintf(stderr, "the editor did not open\n");
            status = 1;
        } else {
            for (int i = 0; i < 10; ++i) editor.idle();
            print("at rest", run(plugin, editor, clock, seconds, false));
            editor.link().programCommand(14); // run
            print("playing", run(plugin, editor, clock, seconds, true));
            editor.close();
        }
        plugin.dispatcher(effMainsChanged, 0, 0, nullptr, 0.0f);
    }
#if !defined(_WIN32)
    std::filesystem::remove_all(home);
#endif
    return status;
}
