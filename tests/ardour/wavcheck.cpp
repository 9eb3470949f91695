// Measurements on a rendered 16-bit PCM WAV for the host tests. Each command prints what it
// measured and exits 0 when the check holds, 1 when it fails, 2 on a usage or file error.
//
//   wavcheck level  <wav> <t0> <t1> <below|above> <dBFS>    peak level in [t0, t1)
//   wavcheck onset  <wav> <t0> <t1> <dBFS> <expected> <tol> first sample above dBFS in [t0, t1)
//   wavcheck pitch  <wav> <t0> <t1> <hz> <tol%>             fundamental in [t0, t1); the window
//                                                            must hold three periods at 2/3 hz
//   wavcheck quieter <wav> <t0> <t1> <r0> <r1> <dB>         rms of [t0,t1) at least dB below [r0,r1)
//   wavcheck same   <a.wav> <b.wav> <max lsb>               sample-wise difference of channel 0
// Times are seconds. Only the first channel is measured: the instrument is mono.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/render/WavRead.h"

namespace {

// Channel 0 of a 16-bit PCM file, read by the render tests' independent reader.
struct Wave {
    double rate = 0;
    std::vector<double> x; // full scale = 1.0
};

bool loadWave(const char* path, Wave& w) {
    const kelo::render::test::Wav wav = kelo::render::test::readWav(path);
    if (!wav.ok || wav.format != 1 || wav.bits != 16 || wav.sampleRate <= 0) return false;
    w.rate = wav.sampleRate;
    w.x.assign(wav.left.begin(), wav.left.end());
    return true;
}

double toDb(double v) { return v > 0 ? 20.0 * std::log10(v) : -200.0; }

// Sample range [t0, t1) clamped to the file.
void span(const Wave& w, double t0, double t1, size_t& a, size_t& e) {
    a = size_t(std::max(0.0, t0 * w.rate));
    e = size_t(std::max(0.0, t1 * w.rate));
    if (e > w.x.size()) e = w.x.size();
    if (a > e) a = e;
}

double peakOf(const Wave& w, double t0, double t1) {
    size_t a, e;
    span(w, t0, t1, a, e);
    double p = 0;
    for (size_t i = a; i < e; ++i) p = std::max(p, std::fabs(w.x[i]));
    return p;
}

double rmsOf(const Wave& w, double t0, double t1) {
    size_t a, e;
    span(w, t0, t1, a, e);
    if (e == a) return 0;
    double s = 0;
    for (size_t i = a; i < e; ++i) s += w.x[i] * w.x[i];
    return std::sqrt(s / double(e - a));
}

// Fundamental by the normalised square difference function: the first clear maximum (within
// 90 % of the best) picks the period, which avoids octave errors on bright waveforms.
// Periods longer than 1/minHz are not considered, which lets short windows be measured.
double pitchOf(const Wave& w, double t0, double t1, double minHz) {
    size_t a, e;
    span(w, t0, t1, a, e);
    const size_t minLag = size_t(w.rate / 2000.0), maxLag = size_t(w.rate / minHz);
    if (e - a < 2 * maxLag) return 0;
    const size_t n = e - a - maxLag;
    const double* x = w.x.data() + a;
    std::vector<double> nsdf(maxLag + 1, 0.0);
    for (size_t lag = minLag; lag <= maxLag; ++lag) {
        double r = 0, m = 0;
        for (size_t i = 0; i < n; ++i) {
            r += x[i] * x[i + lag];
            m += x[i] * x[i] + x[i + lag] * x[i + lag];
        }
        nsdf[lag] = m > 0 ? 2 * r / m : 0;
    }
    double best = 0;
    for (size_t lag = minLag + 1; lag < maxLag; ++lag) best = std::max(best, nsdf[lag]);
    if (best < 0.5) return 0;  // nothing periodic
    for (size_t lag = minLag + 1; lag < maxLag; ++lag) {
        if (nsdf[lag] >= 0.9 * best && nsdf[lag] >= nsdf[lag - 1] && nsdf[lag] >= nsdf[lag + 1]) {
            const double l = nsdf[lag - 1], c = nsdf[lag], r = nsdf[lag + 1];
            const double den = l - 2 * c + r;
            const double shift = den != 0 ? 0.5 * (l - r) / den : 0;
            return w.rate / (double(lag) + shift);
        }
    }
    return 0;
}

int usage() {
    std::fprintf(stderr, "usage: see the header of wavcheck.cpp\n");
    return 2;
}

int verdict(bool ok, const std::string& what) {
    std::printf("%s %s\n", ok ? "PASS" : "FAIL", what.c_str());
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) return usage();
    const std::string cmd = argv[1];
    Wave w;
    if (!loadWave(argv[2], w)) {
        std::fprintf(stderr, "cannot read 16-bit PCM WAV %s\n", argv[2]);
        return 2;
    }
    auto num = [&](int i) { return std::atof(argv[i]); };
    char msg[256];

    if (cmd == "level" && argc == 7) {
        const double db = toDb(peakOf(w, num(3), num(4)));
        const bool below = std::strcmp(argv[5], "below") == 0;
        std::snprintf(msg, sizeof msg, "peak %.1f dBFS in [%s, %s) %s %s", db, argv[3], argv[4], argv[5], argv[6]);
        return verdict(below ? db < num(6) : db > num(6), msg);
    }
    if (cmd == "onset" && argc == 8) {
        size_t a, e;
        span(w, num(3), num(4), a, e);
        const double thr = std::pow(10.0, num(5) / 20.0);
        size_t i = a;
        while (i < e && std::fabs(w.x[i]) <= thr) ++i;
        if (i == e) return verdict(false, "no sound above " + std::string(argv[5]) + " dBFS");
        const double t = double(i) / w.rate;
        std::snprintf(msg, sizeof msg, "onset at %.4f s (expected %s +- %s)", t, argv[6], argv[7]);
        return verdict(std::fabs(t - num(6)) <= num(7), msg);
    }
    if (cmd == "pitch" && argc == 7) {
        // Periods up to 1.5 times the expected one keep short windows usable; a sound an
        // octave low has no peak in that range and fails.
        const double hz = pitchOf(w, num(3), num(4), num(5) / 1.5);
        const double err = hz > 0 ? 100.0 * (hz / num(5) - 1.0) : 100.0;
        std::snprintf(msg, sizeof msg, "pitch %.2f Hz in [%s, %s) (expected %s Hz, %+.2f %%)", hz, argv[3], argv[4],
                      argv[5], err);
        return verdict(std::fabs(err) <= num(6), msg);
    }
    if (cmd == "quieter" && argc == 8) {
        const double q = toDb(rmsOf(w, num(3), num(4))), ref = toDb(rmsOf(w, num(5), num(6)));
        std::snprintf(msg, sizeof msg, "rms %.1f dBFS in [%s, %s) vs %.1f dBFS in [%s, %s), need %s dB less", q,
                      argv[3], argv[4], ref, argv[5], argv[6], argv[7]);
        return verdict(ref - q >= num(7) && ref > -100, msg);
    }
    if (cmd == "same" && argc == 5) {
        Wave v;
        if (!loadWave(argv[3], v)) {
            std::fprintf(stderr, "cannot read 16-bit PCM WAV %s\n", argv[3]);
            return 2;
        }
        const size_t n = std::min(w.x.size(), v.x.size());
        double maxDiff = 0;
        for (size_t i = 0; i < n; ++i) maxDiff = std::max(maxDiff, std::fabs(w.x[i] - v.x[i]));
        const double lsb = maxDiff * 32768.0;
        std::snprintf(msg, sizeof msg, "%zu vs %zu frames, max difference %.0f LSB", w.x.size(), v.x.size(), lsb);
        return verdict(w.x.size() == v.x.size() && lsb <= num(4), msg);
    }
    return usage();
}
