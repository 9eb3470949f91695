// kelo-render: renders the KELO plug-in file to an audio file without a DAW.
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <string>

#include "platform/Platform.h"
#include "tools/kelo-render/Options.h"
#include "tools/kelo-render/Render.h"

namespace {

std::atomic<bool> interrupted{false};

extern "C" void onSignal(int) { interrupted.store(true); }

// A progress line for renders that take more than a moment, redrawn a few times a second.
class Progress {
public:
    Progress(bool enabled, int rate) : enabled_(enabled), rate_(rate), start_(Clock::now()), last_(start_) {}
    void update(uint64_t done, uint64_t expected) {
        if (!enabled_ || expected == 0) return;
        const auto now = Clock::now();
        if (now - start_ < std::chrono::seconds(2) || now - last_ < std::chrono::milliseconds(250)) return;
        last_ = now;
        shown_ = true;
        std::fprintf(stderr, "\rkelo-render: %3d%%  %.1f of %.1f s", int(100.0 * double(done) / double(expected)),
                     double(done) / rate_, double(expected) / rate_);
        std::fflush(stderr);
    }
    void finish() {
        if (shown_) std::fputs("\n", stderr);
        shown_ = false;
    }
    double elapsed() const { return std::chrono::duration<double>(Clock::now() - start_).count(); }

private:
    using Clock = std::chrono::steady_clock;
    bool enabled_;
    double rate_;
    Clock::time_point start_, last_;
    bool shown_ = false;
};

} // namespace

int main(int argc, char** argv) {
    using namespace kelo::render;
    Options options;
    std::string error;
    if (!parseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "kelo-render: %s (see --help)\n", error.c_str());
        return kExitBadInput;
    }
    if (options.help) {
        std::fputs(usageText(), stdout);
        return kExitOk;
    }

    if (options.printDataFolder) {
        const std::string folder = kelo::platform::dataFolder();
        if (folder.empty()) {
            std::fputs("kelo-render: no documents folder is known (HOME is not set?)\n", stderr);
            return kExitFailed;
        }
        std::puts(folder.c_str());
        return kExitOk;
    }

    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    Progress progress(!options.quiet, options.sampleRate);
    RenderResult result;
    const int code = renderToFile(
        options, argc > 0 ? argv[0] : "", result, error,
        [&](uint64_t done, uint64_t expected) { progress.update(done, expected); }, &interrupted);
    progress.finish();
    if (code != kExitOk) {
        std::fprintf(stderr, "kelo-render: %s\n", error.c_str());
        return code;
    }
    if (result.tailCut)
        std::fprintf(stderr, "kelo-render: still sounding after the %g s release limit; cut there\n",
                     options.tailSeconds);
    const auto dbfs = [](double level) { return level > 0.0 ? 20.0 * std::log10(level) : -INFINITY; };
    // Said even with --quiet: the file does not hold what the instrument played.
    if (result.clippedSamples > 0)
        std::fprintf(stderr,
                     "kelo-render: %llu samples beyond full scale were clipped (the render peaks at %+.1f dBFS);\n"
                     "kelo-render: leave out --format for 32-bit float, which keeps them, or add --normalize -1\n"
                     "kelo-render: to scale the peak to -1 dBFS\n",
                     static_cast<unsigned long long>(result.clippedSamples), dbfs(double(result.peak) * result.gain));
    if (!options.quiet) {
        const double filePeak = double(result.peak) * result.gain;
        char normalized[64] = "";
        if (options.normalizeDb && result.peak > 0.0f)
            std::snprintf(normalized, sizeof normalized, ", normalised from %+.1f dBFS", dbfs(result.peak));
        std::printf("%s: %.3f s (%llu frames at %d Hz, stereo), peak %.1f dBFS (%.4f%s), tempo %g BPM, "
                    "rendered in %.2f s\n",
                    options.output.c_str(), double(result.frames) / options.sampleRate,
                    static_cast<unsigned long long>(result.frames), options.sampleRate, dbfs(filePeak), filePeak,
                    normalized, result.tempo, progress.elapsed());
    }
    return kExitOk;
}
