#include "analyzer/PatternDetector.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <numbers>
#include <vector>

namespace kelo {

namespace {

constexpr double kNote0Hz = 8.175799;
// Pitch search range: a semitone below the lowest note the instrument plays with Tune turned
// fully down, up to well above its highest.
constexpr double kLowestHz = 15.0;
constexpr double kHighestHz = 1100.0;
// Pitch is analysed on a copy decimated to about this rate: the fundamentals sit far below it.
constexpr int kAnalysisRate = 11025;

// Where in a step (fractions of the step length) each measurement is taken. The sequencer
// closes a note's gate half a step before the step ends, so the body lies wholly inside the
// gated half and the tail wholly after it; a slid note sounds on through the tail.
constexpr double kBodyFrom = 0.02, kBodyTo = 0.4;
constexpr double kTailFrom = 0.8, kTailTo = 0.97;
constexpr double kGateEnd = 0.5;

// A step whose body is below this share of the recording's typical note level is silent.
constexpr double kPresentShare = 0.3;
// ...but a quieter note still counts when it starts well above the previous step's end (a high
// note through a closed filter): the fading sound of a released note never rises like that.
constexpr double kQuietShare = 0.05;
constexpr double kQuietRise = 4.0;
// A released note keeps sounding only through ring-out (an accent boost, the filter): its body
// must stand clearly above what was still sounding at the end of the step before.
constexpr double kRingRise = 1.15;
// A note that keeps this share of its body level in the step's last part was held (slide).
constexpr double kSlideShare = 0.25;
// Accent: the louder of two groups of struck notes, when they are at least this far apart.
constexpr double kAccentSplit = 1.1;

// Glide time constant (1/e) assumed when a recording's own glides do not show it: the
// instrument's slide time of 0.0653 s to a tenth.
constexpr double kDefaultGlideSeconds = 0.0653 / 2.302585092994046;

// The recording as the detector reads it: bounds-safe window measures.
struct Signal {
    const float* data;
    int64_t size;
    // Root mean square over [from, to) clipped to the recording; 0 for an empty window.
    double rms(double from, double to) const {
        const int64_t a = std::max<int64_t>(0, int64_t(std::ceil(from)));
        const int64_t b = std::min<int64_t>(size, int64_t(std::ceil(to)));
        if (b <= a) return 0.0;
        double sum = 0.0;
        for (int64_t i = a; i < b; ++i) sum += double(data[i]) * double(data[i]);
        return std::sqrt(sum / double(b - a));
    }
};

// The first channel decimated for pitch analysis: each output sample is a triangular average
// of 2 * factor - 1 input samples, which keeps the fundamentals and damps what would alias.
std::vector<float> decimate(const Signal& s, int factor) {
    std::vector<float> out;
    if (factor <= 1) return std::vector<float>(s.data, s.data + s.size);
    out.resize(size_t(s.size / factor));
    const double norm = 1.0 / double(factor) / double(factor);
    for (size_t j = 0; j < out.size(); ++j) {
        const int64_t centre = int64_t(j) * factor;
        double sum = 0.0;
        for (int64_t i = -factor + 1; i < factor; ++i) {
            const int64_t at = centre + i;
            if (at >= 0 && at < s.size) sum += double(s.data[at]) * double(factor - std::llabs(i));
        }
        out[j] = float(sum * norm);
    }
    return out;
}

// Period (in samples, fractional) of x[0..n) by the cumulative mean normalised difference: the
// shortest lag whose difference dips below the threshold, so a note is never read an octave
// low, and the difference is taken over whole waves rather than crossings, so the filter's
// ringing between them does not count. 0 when nothing periodic is found.
double findPeriod(const float* x, int n, int minLag, int maxLag, std::vector<double>& d, double* centre = nullptr) {
    // At least a third of the longest lag must be compared, whatever the note's length.
    maxLag = std::min(maxLag, n * 3 / 4);
    if (maxLag <= minLag + 2) return 0.0;
    const int w = n - maxLag;
    d.assign(size_t(maxLag + 2), 0.0);
    for (int lag = 1; lag <= maxLag + 1 && lag + w <= n; ++lag) {
        double sum = 0.0;
        for (int i = 0; i < w; ++i) {
            const double diff = double(x[i]) - double(x[i + lag]);
            sum += diff * diff;
        }
        d[size_t(lag)] = sum;
    }
    double running = 0.0;
    double energy = 0.0;
    for (int i = 0; i < w; ++i) energy += double(x[i]) * double(x[i]);
    if (!(energy > 0.0)) return 0.0;
    std::vector<double>& nd = d; // normalised in place
    for (int lag = 1; lag <= maxLag + 1 && lag + w <= n; ++lag) {
        running += d[size_t(lag)];
        nd[size_t(lag)] = running > 0.0 ? d[size_t(lag)] * lag / running : 1.0;
    }
    const int last = std::min(maxLag, n - w - 1);
    int best = -1;
    for (int lag = std::max(minLag, 2); lag <= last; ++lag) {
        if (nd[size_t(lag)] < 0.2) {
            while (lag + 1 <= last && nd[size_t(lag + 1)] < nd[size_t(lag)]) ++lag;
            best = lag;
            break;
        }
    }
    if (best < 0) {
        // No clear dip (a changing timbre): whole multiples of the period dip about as deep as
        // the period itself, and the filter's resonance dips between them. Take the deepest dip,
        // or the shortest whole fraction of it that dips nearly as deep.
        double lowest = 0.5; // weaker periodicity than this is no note
        for (int lag = std::max(minLag, 2); lag <= last; ++lag)
            if (nd[size_t(lag)] < lowest) lowest = nd[size_t(lag)], best = lag;
        if (best < 0) return 0.0;
        for (int m = 6; m >= 2; --m) {
            const int guess = int(std::lround(double(best) / m));
            if (guess < std::max(minLag, 2)) continue;
            int at = guess;
            for (int lag = std::max(2, guess - 1 - guess / 25); lag <= std::min(last, guess + 1 + guess / 25); ++lag)
                if (nd[size_t(lag)] < nd[size_t(at)]) at = lag;
            if (nd[size_t(at)] <= lowest * 1.25 + 0.03) {
                best = at;
                break;
            }
        }
    }
    double shift = 0.0;
    if (best > 1 && best < last) {
        const double a = nd[size_t(best - 1)], b = nd[size_t(best)], c = nd[size_t(best + 1)];
        const double den = a - 2.0 * b + c;
        if (den > 0.0) shift = std::clamp(0.5 * (a - c) / den, -0.5, 0.5);
    }
    // The compared pairs span the window plus one period: that is where the period was measured.
    if (centre) *centre = 0.5 * (double(w) + double(best) + shift);
    return double(best) + shift;
}

double semitones(double hz) { return 12.0 * std::log2(hz / kNote0Hz); }

// How a step was read, before its pitch is rounded.
struct StepReading {
    bool present = false;
    bool slidInto = false; // the step before was held into this one
    bool slide = false;
    double body = 0.0;
    double tail = 0.0;
    double hz = 0.0; // 0: no pitch found
};

// One pitch measurement of a glide: frame centre (seconds from the step start) and Hz.
struct PitchPoint {
    double t;
    double hz;
};

// Target of an exponential glide hz(t) = target + (start - target) * exp(-t / tau) through
// the points, by least squares (late points, nearest the target, weigh most).
double glideTarget(const std::vector<PitchPoint>& pts, double start, double tau, double* residual = nullptr) {
    double num = 0.0, den = 0.0;
    for (const PitchPoint& p : pts) {
        const double e = std::exp(-p.t / tau);
        num += (1.0 - e) * (p.hz - start * e);
        den += (1.0 - e) * (1.0 - e);
    }
    const double target = den > 0.0 ? num / den : start;
    if (residual) {
        double sum = 0.0;
        for (const PitchPoint& p : pts) {
            const double err = semitones(p.hz) - semitones(target + (start - target) * std::exp(-p.t / tau));
            sum += err * err;
        }
        *residual = sum;
    }
    return target;
}

} // namespace

AnalyzerOptions& analyzerOptions() {
    static AnalyzerOptions options;
    return options;
}

int32_t pitchFromPeriod(int32_t sampleRate, float period) {
    if (sampleRate <= 0 || !(period > 0.0f)) return kUnknownPitch;
    const float f = float(sampleRate) / period;
    const float lnF = std::log(f);
    const float lnNote0 = std::log(8.175799f);
    const double semitones = double(lnF - lnNote0) * 12.0 / 0.6931471824645996;
    const float nearest = std::floor(float(semitones) + 0.5f);
    // Only a period far outside any recording gets here; keep the conversion defined.
    if (!(std::fabs(nearest) < 1e6f)) return kUnknownPitch;
    return int32_t(nearest);
}

MeasureGrid measureGrid(const WaveBuffer& recording, int steps) {
    MeasureGrid grid;
    const Signal s{recording.samples.data(), recording.frames()};
    if (steps < 1 || s.size < 1) return grid;
    steps = std::min(steps, kMaxSteps);
    grid.stepLength = double(s.size) / steps;
    float peak = 0.0f;
    for (int64_t i = 0; i < s.size; ++i) peak = std::max(peak, std::fabs(s.data[i]));
    if (!(peak > 0.0f)) return grid;
    // The first onset: where the sound first rises out of the silence before it.
    int64_t onset = 0;
    while (onset < s.size && std::fabs(s.data[onset]) <= 0.05f * peak) ++onset;
    if (onset >= s.size) return grid;

    // The measure ends with the recording. If it starts with rests, the first onset is a few
    // steps in: each count of leading rests gives a grid through the onset and the end, and the
    // one on which notes start at step boundaries wins (ties keep fewer rests).
    double bestScore = -1.0;
    for (int rests = 0; rests < steps; ++rests) {
        const double start = (double(steps) * double(onset) - rests * double(s.size)) / double(steps - rests);
        const double len = (double(s.size) - start) / steps;
        if (len < 1.0) break;
        if (start < -0.02 * len) break; // later counts start earlier still
        double score = 0.0;
        const double w = 0.12 * len;
        for (int k = 1; k < steps; ++k) {
            const double b = start + k * len;
            const double before = s.rms(b - w, b - 0.01 * len), after = s.rms(b + 0.01 * len, b + w);
            score += std::log1p(std::max(0.0, after / std::max(before, 1e-4 * peak) - 1.0));
        }
        if (score > bestScore * 1.15 + 1e-9) {
            bestScore = score;
            grid.start = std::max(0.0, start);
            grid.stepLength = len;
        }
    }
    return grid;
}

bool detectSteps(const WaveBuffer& recording, DetectedSteps& out, int steps) {
    if (steps < 1) return false;
    steps = std::min(steps, kMaxSteps);
    const Signal wave{recording.samples.data(), recording.frames()};
    const int32_t rate = recording.sampleRate;
    const MeasureGrid grid = measureGrid(recording, steps);
    const double len = grid.stepLength;

    std::vector<float> low;
    std::vector<double> scratch;
    std::vector<PitchPoint> points;
    try {
        if (rate > 0 && wave.size > 0) low = decimate(wave, std::max(1, rate / kAnalysisRate));
    } catch (const std::bad_alloc&) {
        return false;
    }
    const int factor = rate > 0 ? std::max(1, rate / kAnalysisRate) : 1;
    const double lowRate = rate > 0 ? double(rate) / factor : 0.0;
    const int minLag = std::max(2, int(lowRate / kHighestHz));
    const int maxLag = int(lowRate / kLowestHz) + 1;
    // Pitch of the decimated signal between two input positions; 0 when none.
    // `at` (when given) receives the input position the reading belongs to.
    auto pitchAt = [&](double from, double to, int lagLo, int lagHi, double* at = nullptr) -> double {
        const int64_t a = std::max<int64_t>(0, int64_t(from / factor));
        const int64_t b = std::min<int64_t>(int64_t(low.size()), int64_t(to / factor));
        if (b - a < 8 || lowRate <= 0.0) return 0.0;
        double centre = 0.0;
        const double period = findPeriod(low.data() + a, int(b - a), lagLo, lagHi, scratch, &centre);
        if (at) *at = double(a + centre) * factor;
        return period > 0.0 ? lowRate / period : 0.0;
    };

    std::array<StepReading, kMaxSteps> r{};
    for (int k = 0; k < steps; ++k) {
        const double b = grid.start + k * len;
        r[size_t(k)].body = wave.rms(b + kBodyFrom * len, b + kBodyTo * len);
        r[size_t(k)].tail = wave.rms(b + kTailFrom * len, b + kTailTo * len);
    }
    // The recording's typical note level: the median body of the steps that sound at all.
    double reference = 0.0;
    {
        double loudest = 0.0;
        for (int k = 0; k < steps; ++k) loudest = std::max(loudest, r[size_t(k)].body);
        std::vector<double> bodies;
        for (int k = 0; k < steps; ++k)
            if (r[size_t(k)].body > 0.1 * loudest) bodies.push_back(r[size_t(k)].body);
        if (!bodies.empty()) {
            std::nth_element(bodies.begin(), bodies.begin() + long(bodies.size() / 2), bodies.end());
            reference = bodies[bodies.size() / 2];
        }
    }

    // Presence and slides, step by step: a step held into sounds on; otherwise a note must rise
    // above the ring-out of the step before.
    for (int k = 0; k < steps; ++k) {
        StepReading& s = r[size_t(k)];
        const double before = k > 0 ? r[size_t(k - 1)].tail : 0.0;
        s.slidInto = k > 0 && r[size_t(k - 1)].slide;
        if (!(reference > 0.0) || !(len > 1.0)) {
            s.present = false;
        } else if (s.slidInto) {
            s.present = s.body > kQuietShare * reference;
        } else {
            s.present = (s.body > kPresentShare * reference && s.body > kRingRise * before) ||
                        (s.body > kQuietShare * reference && s.body > kQuietRise * before);
        }
        s.slide = s.present && s.tail > kSlideShare * s.body;
    }

    // Accents: notes split into a quieter and a louder group at the widest level ratio
    // that separates them best; the louder group is accented when the two differ enough.
    std::array<bool, kMaxSteps> accent{};
    {
        // Notes slid into start no accent of their own; they join the groups only as examples
        // of the plain level, so a line whose every struck note is accented still shows it.
        std::vector<std::pair<double, int>> levels;
        for (int k = 0; k < steps; ++k)
            if (r[size_t(k)].present && r[size_t(k)].body > 0.0)
                levels.emplace_back(std::log(r[size_t(k)].body), r[size_t(k)].slidInto ? -1 : k);
        std::sort(levels.begin(), levels.end());
        if (levels.size() >= 2) {
            // Notes far below the typical level (high notes through a closed filter) would pull
            // the split towards them: they count as typical.
            const double floor = std::log(reference) - 0.2;
            std::vector<double> v;
            for (const auto& l : levels) v.push_back(std::max(l.first, floor));
            std::sort(v.begin(), v.end());
            const size_t n = v.size();
            double best = 0.0;
            size_t split = 0;
            double total = 0;
            for (double x : v) total += x;
            double lowSum = 0;
            for (size_t i = 1; i < n; ++i) {
                lowSum += v[i - 1];
                const double mLow = lowSum / double(i), mHigh = (total - lowSum) / double(n - i);
                const double between = double(i) * double(n - i) * (mHigh - mLow) * (mHigh - mLow);
                if (between > best) best = between, split = i;
            }
            if (split > 0) {
                const double mLow = [&] { double t = 0; for (size_t i = 0; i < split; ++i) t += v[i]; return t / double(split); }();
                const double mHigh = [&] { double t = 0; for (size_t i = split; i < n; ++i) t += v[i]; return t / double(n - split); }();
                if (mHigh - mLow >= std::log(kAccentSplit) && v[split] - v[split - 1] > 0.25 * (mHigh - mLow)) {
                    const double threshold = 0.5 * (v[split - 1] + v[split]);
                    for (const auto& l : levels)
                        if (l.second >= 0) accent[size_t(l.second)] = l.first > threshold;
                }
            }
        }
    }

    // Pitch of struck notes, over their gated part (or all of it when they slide on).
    const double rateD = double(rate);
    for (int k = 0; k < steps; ++k) {
        StepReading& s = r[size_t(k)];
        if (!s.present || s.slidInto) continue;
        const double b = grid.start + k * len;
        s.hz = pitchAt(b + 0.02 * len, b + (s.slide ? 0.98 : kGateEnd) * len, minLag, maxLag);
    }
    // The recording's tuning: a detuned instrument still reads as the notes it plays.
    double offset = 0.0;
    {
        double sx = 0.0, sy = 0.0;
        int n = 0;
        for (int k = 0; k < steps; ++k) {
            const StepReading& s = r[size_t(k)];
            if (!s.present || s.slidInto || s.hz <= 0.0) continue;
            const double angle = 2.0 * std::numbers::pi * semitones(s.hz);
            sx += std::cos(angle), sy += std::sin(angle), ++n;
        }
        if (n >= 3 && std::hypot(sx, sy) > 0.5 * n) offset = std::atan2(sy, sx) / (2.0 * std::numbers::pi);
    }
    auto onGrid = [&](double hz) { return kNote0Hz * std::exp2((std::round(semitones(hz) - offset) + offset) / 12.0); };

    // A note slid into is still gliding when it ends at real tempos: its pitch is the target of
    // an exponential glide from where the previous note was, through the pitches measured in
    // frames of a few periods across the note.
    std::vector<std::vector<PitchPoint>> glides{size_t(steps)};
    for (int k = 0; k < steps; ++k) {
        StepReading& s = r[size_t(k)];
        if (!s.present || !s.slidInto) continue;
        const double b = grid.start + k * len;
        const double end = b + (s.slide ? 0.98 : kGateEnd) * len;
        const double from = pitchAt(b - 0.35 * len, b, minLag, maxLag);
        const double last = pitchAt(b + 0.55 * (end - b), end, minLag, maxLag);
        if (last <= 0.0) continue;
        s.hz = last;
        const double lowHz = std::min(last, from > 0.0 ? from : last) / 1.4;
        const double highHz = std::max(last, from) * 1.4;
        const int lagLo = std::max(minLag, int(lowRate / highHz));
        const int lagHi = std::min(maxLag, int(lowRate / lowHz) + 1);
        // Frames just long enough for the longest period searched, so each reading is local.
        const double frame = std::min(1.8 * rateD / lowHz, 0.6 * (end - b));
        for (double at = b; at + frame <= end + 1.0; at += std::max(frame / 4.0, 1.0)) {
            double centre = 0.0;
            const double hz = pitchAt(at, at + frame, lagLo, lagHi, &centre);
            if (hz > 0.0) glides[size_t(k)].push_back({(centre - b) / rateD, hz});
        }
    }
    // The glide time of this recording, from its clearest glides (each from a struck note);
    // the instrument's own otherwise.
    double tau = kDefaultGlideSeconds;
    {
        std::vector<double> taus;
        for (int k = 1; k < steps; ++k) {
            const auto& pts = glides[size_t(k)];
            const StepReading& before = r[size_t(k - 1)];
            if (pts.size() < 3 || before.slidInto || before.hz <= 0.0) continue;
            const double start = onGrid(before.hz);
            if (std::fabs(semitones(pts.back().hz) - semitones(start)) < 2.0) continue;
            double bestTau = 0.0, bestResidual = 1e300;
            for (double t = 0.004; t < 0.3; t *= 1.1) {
                double residual = 0.0;
                glideTarget(pts, start, t, &residual);
                if (residual < bestResidual) bestResidual = residual, bestTau = t;
            }
            taus.push_back(bestTau);
        }
        if (taus.size() >= 2) {
            std::nth_element(taus.begin(), taus.begin() + long(taus.size() / 2), taus.end());
            // Frame readings blur a glide's curve: only a clearly different glide time is taken.
            const double measured = taus[taus.size() / 2];
            if (measured < tau / 1.35 || measured > tau * 1.35) tau = measured;
        }
    }
    // Targets in order: a chain of slides starts each glide where the one before had got to.
    const double stepSeconds = len / rateD;
    double reached = 0.0; // Hz at the end of the step before
    for (int k = 0; k < steps; ++k) {
        StepReading& s = r[size_t(k)];
        if (!s.present || s.hz <= 0.0) {
            reached = 0.0;
            continue;
        }
        if (!s.slidInto) {
            reached = onGrid(s.hz);
            continue;
        }
        const auto& pts = glides[size_t(k)];
        if (reached > 0.0 && !pts.empty()) {
            const double target = glideTarget(pts, reached, tau);
            // A target far from the last reading means the frames told nothing.
            if (target > 0.0 && std::fabs(semitones(target) - semitones(s.hz)) < 12.0) s.hz = target;
        }
        reached = reached > 0.0 ? onGrid(s.hz) + (reached - onGrid(s.hz)) * std::exp(-stepSeconds / tau) : 0.0;
    }

    for (int k = 0; k < steps; ++k) {
        const StepReading& s = r[size_t(k)];
        const auto i = size_t(k);
        if (!s.present) {
            out.pitch[i] = kRestPitch;
            out.gate[i] = 0;
            out.accent[i] = 0;
            out.slide[i] = 0;
            continue;
        }
        out.pitch[i] = s.hz > 0.0 ? int32_t(std::lround(semitones(s.hz) - offset)) : kUnknownPitch;
        out.gate[i] = 1;
        out.accent[i] = accent[i] ? 1 : 0;
        out.slide[i] = s.slide ? 1 : 0;
    }
    return true;
}

void writeStepPitch(PatternStep& step, int32_t pitch) {
    const auto octave = int32_t(std::floor(double(pitch) / 12.0));
    auto note = uint8_t(pitch - 12 * (pitch / 12));
    uint8_t flags = uint8_t(step.flags & ~(StepUp | StepDown));
    if (octave < 3) flags |= StepDown;
    if (octave > 3) flags |= StepUp;
    if (octave > 4) note = uint8_t(note + 12);
    while (int8_t(note) < 0) note = uint8_t(note + 12);
    step.note = note;
    step.flags = flags;
}

bool applyDetection(const WaveBuffer& recording, Pattern& pattern, const AnalyzerOptions& options) {
    // The header field holds up to 127; only 64 steps exist.
    const int steps = std::min(pattern.stepCount(), kMaxSteps);
    DetectedSteps detected;
    const bool ran = steps != 0 && detectSteps(recording, detected, steps);
    pattern.setStepCount(pattern.stepCount());
    if (!ran) return false;

    const bool pitch = options.pitch.load();
    const bool rhythm = options.rhythm.load();
    for (int i = 0; i < steps; ++i) {
        const auto k = size_t(i);
        PatternStep step = pattern.steps[i];
        if (pitch && detected.pitch[k] != kUnknownPitch) writeStepPitch(step, detected.pitch[k]);
        if (rhythm) {
            step.flags = uint8_t(step.flags & ~(StepAccent | StepGate | StepSlide));
            if (detected.accent[k]) step.flags |= StepAccent;
            if (detected.gate[k]) step.flags |= StepGate;
            if (detected.slide[k]) step.flags |= StepSlide;
        }
        pattern.steps[i] = step;
    }
    return true;
}

double matchedTempo(int32_t frames, int steps, double sampleRate) {
    if (frames < 1 || steps < 1 || !(sampleRate > 0.0)) return 0.0;
    // Whole samples per step, as the sequencer counts them.
    const int32_t perStep = frames / steps;
    if (perStep < 1) return 0.0;
    return sampleRate * 60.0 / (double(perStep) * 4.0);
}

double matchTempo(const WaveBuffer& recording, const Pattern& pattern, const AnalyzerOptions& options,
                  double hostSampleRate, EngineSettings& settings,
                  const std::function<void(double)>& setTempo) {
    if (!options.matchTempo.load() || !recording.loaded) return 0.0;
    const int steps = std::min(pattern.stepCount(), kMaxSteps);
    const MeasureGrid grid = measureGrid(recording, steps);
    const double bpm = matchedTempo(recording.frames() - int32_t(std::lround(grid.start)), steps, hostSampleRate);
    if (bpm <= 0.0) return 0.0;
    settings.syncMode = 0;
    if (setTempo) setTempo(bpm);
    return bpm;
}

} // namespace kelo
