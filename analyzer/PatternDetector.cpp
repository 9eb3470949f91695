#include "analyzer/PatternDetector.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <numbers>
#include <optional>
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
// A note slid into keeps the level of the note it came from, fading: below this share of every
// struck note's level, that note was accented.
constexpr double kSlidPlainShare = 0.6;

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

// The energy of a recording summed block by block, for the level of any window in constant
// time; within a block the energy is taken as even.
class EnergyIndex {
public:
    explicit EnergyIndex(const Signal& s) : size_(s.size), sums_(size_t(s.size / kBlock) + 2, 0.0) {
        double run = 0.0;
        for (size_t b = 1; b < sums_.size(); ++b) {
            const int64_t end = std::min<int64_t>(s.size, int64_t(b) * kBlock);
            for (int64_t i = int64_t(b - 1) * kBlock; i < end; ++i) run += double(s.data[i]) * double(s.data[i]);
            sums_[b] = run;
        }
    }
    // Root mean square over [from, to) clipped to the recording; 0 for an empty window.
    double rms(double from, double to) const {
        from = std::max(0.0, from);
        to = std::min(double(size_), to);
        if (!(to > from)) return 0.0;
        return std::sqrt(std::max(0.0, upTo(to) - upTo(from)) / (to - from));
    }

private:
    static constexpr int64_t kBlock = 16;
    double upTo(double at) const {
        const auto b = size_t(at / kBlock);
        if (b + 1 >= sums_.size()) return sums_.back();
        return sums_[b] + (sums_[b + 1] - sums_[b]) * (at / kBlock - double(b));
    }
    int64_t size_;
    std::vector<double> sums_;
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

// Period (in samples, fractional) of x[0..n) by the cumulative mean normalised difference,
// taken over whole waves rather than crossings, so the filter's ringing between them does not
// count. Every whole multiple of the period dips as deep as the period itself and a resonance
// may dip between them: the deepest dip is taken, then the shortest whole fraction of it that
// dips nearly as deep. 0 when nothing periodic is found; `depth` gets the chosen dip.
double findPeriod(const float* x, int n, int minLag, int maxLag, std::vector<double>& d, double& depth) {
    // The compared stretch is at least two fifths of the window, whatever the note's length.
    maxLag = std::min(maxLag, n * 3 / 5);
    minLag = std::max(minLag, 2);
    if (maxLag <= minLag + 2) return 0.0;
    const int w = n - maxLag - 1;
    d.assign(size_t(maxLag + 2), 1.0);
    double running = 0.0;
    for (int lag = 1; lag <= maxLag + 1; ++lag) {
        double sum = 0.0;
        for (int i = 0; i < w; ++i) {
            const double diff = double(x[i]) - double(x[i + lag]);
            sum += diff * diff;
        }
        running += sum;
        d[size_t(lag)] = running > 0.0 ? sum * lag / running : 1.0;
    }
    int best = -1;
    double lowest = 0.9; // weaker periodicity than this is no note
    for (int lag = minLag; lag <= maxLag; ++lag)
        if (d[size_t(lag)] < lowest) lowest = d[size_t(lag)], best = lag;
    if (best < 0) return 0.0;
    for (bool moved = true; moved;) {
        moved = false;
        for (int m = 2; !moved; ++m) {
            const int guess = int(std::lround(double(best) / m));
            if (guess < minLag) break;
            int at = guess;
            for (int lag = std::max(minLag, guess - 1 - guess / 25); lag <= guess + 1 + guess / 25; ++lag)
                if (d[size_t(lag)] < d[size_t(at)]) at = lag;
            // Only a shorter lag is progress: a window reaching back to `best` must not loop.
            if (at < best && d[size_t(at)] <= d[size_t(best)] * 1.25 + 0.03) best = at, moved = true;
        }
    }
    double shift = 0.0;
    if (best > 1 && best < maxLag + 1) {
        const double a = d[size_t(best - 1)], b = d[size_t(best)], c = d[size_t(best + 1)];
        const double den = a - 2.0 * b + c;
        if (den > 0.0) shift = std::clamp(0.5 * (a - c) / den, -0.5, 0.5);
    }
    depth = d[size_t(best)];
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
    double glideFrom = 0.0; // a note slid into: where its glide started
};

// How a synth glides: after the step starts (plus `delay`, which also holds the filter's lag),
// hz(t) = target + (start - target) * exp(-t / tau). Seconds.
struct GlideLaw {
    double tau;
    double delay;
};

// A note slid into, on the decimated signal: from its step's start to the end of what is heard
// of it, and the pitch it glides from.
struct Glide {
    int step = 0;
    double from = 0.0, to = 0.0;
    double startHz = 0.0; // 0: not known
};

// How far the recording is from gliding as `law` says from the glide's start to `targetHz`:
// each sample is compared with the one a whole wave earlier along the glide's own phase, in
// blocks of a few milliseconds, each block against its own level so the decaying note weighs
// evenly; blocks nearly silent (the released part) do not count. 0 is a perfect match, 1 no
// likeness; negative when the window cannot be measured.
class GlideMatcher {
public:
    GlideMatcher(const std::vector<float>& low, double rate) : y_(low), rate_(rate) {}

    // `stride` > 1 compares only every stride-th sample: a rough and quicker answer.
    double mismatch(const Glide& g, double targetHz, const GlideLaw& law, int stride = 1) {
        const double start = g.startHz;
        const auto first = int64_t(std::floor(g.from - 1.2 * rate_ / std::min(start, targetHz)));
        const int64_t last = std::min<int64_t>(int64_t(y_.size()) - 1, int64_t(g.to));
        if (first < 0 || last - first < 16) return -1.0;
        const auto n = size_t(last - first);
        phase_.resize(n);
        // Phase in waves at each sample: the glide's frequency summed sample by sample.
        const double begin = g.from + law.delay * rate_;
        const double decay = std::exp(-1.0 / (law.tau * rate_));
        double gap = 1.0; // exp(-t / tau) once the glide has begun
        bool gliding = false;
        double phase = 0.0;
        for (size_t i = 0; i < n; ++i) {
            phase_[i] = phase;
            const double t = double(first) + double(i) - begin;
            double hz = start;
            if (t > 0.0) {
                if (!gliding) gap = std::exp(-t / (law.tau * rate_)), gliding = true;
                else gap *= decay;
                hz = targetHz + (start - targetHz) * gap;
            }
            phase += hz / rate_;
        }
        const auto block = size_t(std::max(4.0, 0.008 * rate_));
        const auto from = size_t(std::ceil(g.from + 0.02 * (g.to - g.from)) - double(first));
        blocks_.clear();
        double num = 0.0, den = 0.0;
        size_t inBlock = 0, j = 0;
        const auto step = size_t(std::max(1, stride));
        for (size_t i = from; i < n; i += step) {
            const double back = phase_[i] - 1.0;
            while (j + 1 < i && phase_[j + 1] <= back) ++j;
            const double frac = (back - phase_[j]) / (phase_[j + 1] - phase_[j]);
            const size_t at = size_t(first) + j;
            const double earlier = double(y_[at]) + (double(y_[at + 1]) - double(y_[at])) * frac;
            const double now = double(y_[size_t(first) + i]);
            num += (now - earlier) * (now - earlier);
            den += now * now + earlier * earlier;
            if ((inBlock += step) >= block) {
                blocks_.emplace_back(num, den);
                num = den = 0.0;
                inBlock = 0;
            }
        }
        if (inBlock * 2 >= block) blocks_.emplace_back(num, den);
        double loudest = 0.0;
        for (const auto& b : blocks_) loudest = std::max(loudest, b.second);
        if (!(loudest > 0.0)) return -1.0;
        double sum = 0.0;
        int counted = 0;
        for (const auto& b : blocks_)
            if (b.second > 0.02 * loudest) sum += b.first / b.second, ++counted;
        return sum / counted;
    }

private:
    const std::vector<float>& y_;
    double rate_;
    std::vector<double> phase_;
    std::vector<std::pair<double, double>> blocks_;
};

// Glide law assumed when a recording's glides do not show their own: the instrument's slide
// time of 0.0653 s to a tenth.
constexpr GlideLaw kDefaultGlide{0.0653 / 2.302585092994046, 0.0};

// The notes a pitch may be read as, on the recording's tuning (`offset` semitones from the
// equal-tempered notes).
struct NoteRange {
    int lo = 0, hi = -1;
    double offset = 0.0;
    double hz(int note) const { return kNote0Hz * std::exp2((note + offset) / 12.0); }
};

// The note in [lo, hi] the glide matches best under `law`, with its mismatch; {lo - 1, -1}
// when nothing could be measured.
std::pair<int, double> bestTarget(GlideMatcher& m, const Glide& g, const GlideLaw& law, int lo, int hi,
                                  const NoteRange& notes, int stride = 1) {
    std::pair<int, double> best{lo - 1, -1.0};
    for (int note = std::max(lo, notes.lo); note <= std::min(hi, notes.hi); ++note) {
        const double v = m.mismatch(g, notes.hz(note), law, stride);
        if (v >= 0.0 && (best.second < 0.0 || v < best.second)) best = {note, v};
    }
    return best;
}

// The best note near `from` under `law`: the notes around it, then on past the nearer edge
// for as long as the best lies at an edge.
std::pair<int, double> bestTargetNear(GlideMatcher& m, const Glide& g, const GlideLaw& law, int from,
                                      const NoteRange& notes) {
    int lo = from - 2, hi = from + 2;
    std::pair<int, double> best = bestTarget(m, g, law, lo, hi, notes);
    while (best.second >= 0.0) {
        if (best.first == lo && lo > notes.lo) {
            hi = lo - 1, lo -= 3;
        } else if (best.first == hi && hi < notes.hi) {
            lo = hi + 1, hi += 3;
        } else {
            break;
        }
        const auto next = bestTarget(m, g, law, lo, hi, notes);
        if (next.second < 0.0 || next.second >= best.second) break;
        best = next;
    }
    return best;
}

// The glide law under which the glides (each from a known pitch) match the recording best,
// each heading for its own best note. A glide that is cut short fits a slower glide to a
// farther note nearly as well, so a few glides cannot tell the glide time finely: the
// instrument's own is kept unless another fits clearly better. The delay is always fitted.
GlideLaw fitGlideLaw(GlideMatcher& m, const std::vector<Glide>& glides, const NoteRange& notes) {
    if (glides.empty()) return kDefaultGlide;
    // Each glide's best note so far: the search under the next law starts there.
    std::vector<int> targets(glides.size(), notes.lo - 1);
    auto total = [&](const GlideLaw& law, bool keepTargets) {
        double sum = 0.0;
        for (size_t i = 0; i < glides.size(); ++i) {
            const auto [note, v] = targets[i] < notes.lo ? bestTarget(m, glides[i], law, notes.lo, notes.hi, notes)
                                                         : bestTargetNear(m, glides[i], law, targets[i], notes);
            if (v < 0.0) continue;
            sum += v;
            if (keepTargets) targets[i] = note;
        }
        return sum;
    };
    // The delay for a glide time, coarsely then finely.
    auto fitDelay = [&](double tau, double& bestTotal) {
        GlideLaw best{tau, 0.0};
        bestTotal = total(best, true);
        for (double delay = -0.003; delay <= 0.0045; delay += 0.0005) {
            const double v = total({tau, delay}, false);
            if (v < bestTotal) bestTotal = v, best.delay = delay;
        }
        const double coarse = best.delay;
        for (int i = -3; i <= 3; ++i) {
            const double v = total({tau, coarse + i * 0.000125}, false);
            if (v < bestTotal) bestTotal = v, best.delay = coarse + i * 0.000125;
        }
        return best;
    };
    double ownTotal = 0.0;
    const GlideLaw own = fitDelay(kDefaultGlide.tau, ownTotal);

    // Another glide time: on a coarse scale over every note with a rough measure (the own
    // glide time measured alike for comparison), then finely.
    auto rough = [&](const GlideLaw& law) {
        double sum = 0.0;
        for (const Glide& g : glides) sum += std::max(0.0, bestTarget(m, g, law, notes.lo, notes.hi, notes, 3).second);
        return sum;
    };
    double coarseTotal = rough(own), coarseTau = 0.0;
    for (double tau = 0.006; tau < 0.15; tau *= 1.25) {
        if (std::fabs(std::log(tau / own.tau)) < std::log(1.12)) continue;
        const double v = rough({tau, 0.0});
        if (v < coarseTotal) coarseTotal = v, coarseTau = tau;
    }
    if (coarseTau == 0.0) return own;
    std::fill(targets.begin(), targets.end(), notes.lo - 1);
    double otherTotal = 0.0;
    GlideLaw other = fitDelay(coarseTau, otherTotal);
    double fineTau = other.tau;
    for (int i = -12; i <= 12; ++i) {
        const double v = total({other.tau * std::pow(1.01, i), other.delay}, false);
        if (v < otherTotal) otherTotal = v, fineTau = other.tau * std::pow(1.01, i);
    }
    if (fineTau != other.tau) other = fitDelay(fineTau, otherTotal);
    return otherTotal < 0.6 * ownTotal ? other : own;
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
    // A note's start: where the sound first stands clearly out of the silence before it, then
    // back to where it began to rise (a soft attack crosses the clear level late).
    const int64_t quiet = std::max<int64_t>(1, recording.sampleRate / 1000);
    auto noteStart = [&](int64_t from, int64_t to) {
        while (from < to && std::fabs(s.data[from]) <= 0.05f * peak) ++from;
        if (from >= to) return to;
        for (int64_t i = from - 1, calm = 0; i >= 0 && calm < quiet; --i) {
            if (std::fabs(s.data[i]) > 0.005f * peak) from = i, calm = 0;
            else ++calm;
        }
        return from;
    };
    // The first onset, and the last sound: where the sound last stands above the silence after it.
    const int64_t onset = noteStart(0, s.size);
    if (onset >= s.size) return grid;
    int64_t last = s.size - 1;
    while (last > onset && std::fabs(s.data[last]) <= 0.05f * peak) --last;
    std::optional<EnergyIndex> energy;
    try {
        energy.emplace(s);
    } catch (const std::bad_alloc&) {
        return grid;
    }

    // How well notes start at a grid's step boundaries: the rise of the level across each
    // (the measure's start too, so grids that differ only by leading rests are judged alike).
    auto rise = [&](double start, double len) {
        double score = 0.0;
        const double w = 0.12 * len;
        for (int k = 0; k < steps; ++k) {
            const double b = start + k * len;
            const double before = energy->rms(b - w, b - 0.01 * len), after = energy->rms(b + 0.01 * len, b + w);
            score += std::log1p(std::max(0.0, after / std::max(before, 1e-4 * peak) - 1.0));
        }
        return score;
    };
    // The best grid for a measure ending at `end`. If the measure starts with rests, the first
    // onset is a few steps in: each count of leading rests gives a grid through the onset and
    // the end, and the one on which notes start at step boundaries wins (ties keep fewer rests).
    auto fit = [&](double end, MeasureGrid& g, bool fromFileStart) {
        double bestScore = -1.0;
        for (int rests = 0; rests < steps; ++rests) {
            const double start = (double(steps) * double(onset) - rests * end) / double(steps - rests);
            const double len = (end - start) / steps;
            if (len < 1.0) break;
            if (start < -0.02 * len) break; // later counts start earlier still
            if (rests > 0 && fromFileStart && start > 0.02 * len) continue;
            const double score = rise(start, len);
            if (score > bestScore * 1.15 + 1e-9) {
                bestScore = score;
                g.start = std::max(0.0, start);
                g.stepLength = len;
            }
        }
        return bestScore;
    };

    // The measure ends with the recording, unless the recording goes on in silence after the
    // measure: the end is searched from the last sound on, and an earlier end is taken when its
    // grid fits clearly better.
    const double fileScore = fit(double(s.size), grid, false);
    {
        // Silence both before and after leaves it open whether the measure starts or ends with
        // rests (the same grid shifted by whole steps fits alike): it starts with the first note,
        // unless whole steps before it the recording starts, as a recording cut at the measure's
        // start does.
        MeasureGrid found;
        double foundScore = -1.0, foundEnd = 0.0;
        auto tryEnd = [&](double end) {
            MeasureGrid g;
            const double score = fit(end, g, true);
            if (score > foundScore * 1.02 || (score > foundScore / 1.02 && g.start < found.start - 0.5 * g.stepLength))
                foundScore = score, found = g, foundEnd = end;
        };
        // Steps of a hundredth of a step, then an eighth of that around the best.
        const double from = double(last) - 0.3 * double(last - onset) / steps;
        const double coarse = 0.01 * (double(last) - double(onset)) / steps;
        for (double end = from; end < double(s.size) && coarse > 0.0; end += coarse) tryEnd(end);
        const double centre = foundEnd;
        for (int i = -8; i <= 8; ++i) tryEnd(centre + i * coarse / 8.0);
        // The level's rise tells the end only to a few tenths of a percent of the measure, which
        // puts the last steps visibly off: the step length is fitted to the starts of the notes
        // that come out of near silence instead.
        const double len = found.stepLength;
        std::array<double, kMaxSteps> starts{};
        int count = 0;
        starts[size_t(count++)] = double(onset);
        double num = 0.0, den = 0.0;
        for (int k = 1; k < steps; ++k) {
            const double b = found.start + k * len;
            if (double(onset) > b - 0.5 * len || energy->rms(b - 0.1 * len, b - 0.02 * len) > 0.02 * peak) continue;
            if (energy->rms(b + 0.02 * len, b + 0.2 * len) < 0.1 * peak) continue;
            const auto to = std::min<int64_t>(s.size, int64_t(b + 0.1 * len));
            const int64_t i = noteStart(std::max<int64_t>(0, int64_t(b - 0.1 * len)), to);
            if (i >= to) continue;
            starts[size_t(count++)] = double(i);
            const double apart = std::round((double(i) - double(onset)) / len);
            num += apart * (double(i) - double(onset));
            den += apart * apart;
        }
        if (den > 0.0) {
            const double fitted = num / den;
            found.start = std::max(0.0, double(onset) - std::round((double(onset) - found.start) / len) * fitted);
            found.stepLength = fitted;
            foundScore = rise(found.start, fitted);
        }
        // How far the note starts lie from a grid's step boundaries (root mean square, in steps).
        auto misfit = [&](const MeasureGrid& g) {
            double sum = 0.0;
            int n = 0;
            for (int i = 0; i < count; ++i) {
                const double at = (starts[size_t(i)] - g.start) / g.stepLength;
                if (at < -0.5 || at > steps - 0.5) continue;
                sum += (at - std::round(at)) * (at - std::round(at));
                ++n;
            }
            return n ? std::sqrt(sum / n) : 0.0;
        };
        // Either the found grid fits the level's rises clearly better, or it fits them about as
        // well and the note starts, visibly off the grid through the file's end, much better.
        const double fileMisfit = misfit(grid);
        if (foundScore > fileScore * 1.15 + 1e-9 ||
            (foundScore * 1.15 > fileScore && fileMisfit > 0.02 && misfit(found) < 0.5 * fileMisfit))
            grid = found;
    }
    return grid;
}

namespace {

// detectSteps without its guard against running out of memory.
bool detect(const WaveBuffer& recording, DetectedSteps& out, int steps) {
    const Signal wave{recording.samples.data(), recording.frames()};
    const int32_t rate = recording.sampleRate;
    const MeasureGrid grid = measureGrid(recording, steps);
    const double len = grid.stepLength;

    std::vector<float> low;
    std::vector<double> scratch;
    std::vector<float> backwards;
    if (rate > 0 && wave.size > 0) low = decimate(wave, std::max(1, rate / kAnalysisRate));
    const int factor = rate > 0 ? std::max(1, rate / kAnalysisRate) : 1;
    const double lowRate = rate > 0 ? double(rate) / factor : 0.0;
    const int minLag = std::max(2, int(lowRate / kHighestHz));
    const int maxLag = int(lowRate / kLowestHz) + 1;
    // Pitch of the decimated signal between two input positions; 0 when none. The window's
    // start is compared with what follows it; when that shows no period or a much weaker one
    // than the window's end compared with what precedes it, the end's is taken. Some synths
    // start a struck note with a first wave unlike the rest, which fills the start's compared
    // stretch when a low note has only two waves in the window. (Near-perfect dips on both
    // sides keep the start's: an unfiltered wave matches itself best at whichever whole number
    // of waves lands nearest a whole number of samples.)
    auto pitchAt = [&](double from, double to, int lagLo, int lagHi) -> double {
        const int64_t a = std::max<int64_t>(0, int64_t(from / factor));
        const int64_t b = std::min<int64_t>(int64_t(low.size()), int64_t(to / factor));
        if (b - a < 8 || lowRate <= 0.0) return 0.0;
        double depth = 1.0, depthBack = 1.0;
        const double period = findPeriod(low.data() + a, int(b - a), lagLo, lagHi, scratch, depth);
        backwards.assign(low.rend() - b, low.rend() - a);
        const double periodBack = findPeriod(backwards.data(), int(b - a), lagLo, lagHi, scratch, depthBack);
        const double chosen = periodBack > 0.0 && (!(period > 0.0) || depthBack < 0.5 * depth - 0.02) ? periodBack : period;
        return chosen > 0.0 ? lowRate / chosen : 0.0;
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
        // of the plain level, so a line whose every struck note is accented still shows it. A
        // held note fades, so one slid into a plain note can be a good deal quieter than any
        // struck note: only those far below every struck note are taken as plain.
        double quietestStruck = std::numeric_limits<double>::max();
        for (int k = 0; k < steps; ++k)
            if (r[size_t(k)].present && !r[size_t(k)].slidInto) quietestStruck = std::min(quietestStruck, r[size_t(k)].body);
        std::vector<std::pair<double, int>> levels;
        for (int k = 0; k < steps; ++k) {
            const StepReading& s = r[size_t(k)];
            if (s.present && s.body > 0.0 && (!s.slidInto || s.body < kSlidPlainShare * quietestStruck))
                levels.emplace_back(std::log(s.body), s.slidInto ? -1 : k);
        }
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

    // A note slid into is still gliding when it ends at real tempos: it is read as the note
    // whose glide, from where the step before left off, the recording follows best. How this
    // synth glides is fitted to the recording's own glides from struck notes.
    NoteRange notes{int(std::ceil(semitones(kLowestHz) - offset)), int(std::floor(semitones(kHighestHz) - offset)), offset};
    GlideMatcher matcher(low, lowRate);
    std::vector<Glide> glides;
    for (int k = 0; k < steps && lowRate > 0.0; ++k) {
        const StepReading& s = r[size_t(k)];
        if (!s.present || !s.slidInto) continue;
        const double b = (grid.start + k * len) / factor;
        Glide g{k, b, b + (s.slide ? 0.97 : kGateEnd) * len / factor, 0.0};
        const StepReading& before = r[size_t(k - 1)];
        if (!before.slidInto && before.hz > 0.0) g.startHz = onGrid(before.hz);
        glides.push_back(g);
    }
    GlideLaw law = kDefaultGlide;
    {
        std::vector<Glide> known;
        for (const Glide& g : glides)
            if (g.startHz > 0.0) known.push_back(g);
        law = fitGlideLaw(matcher, known, notes);
    }
    const double stepSeconds = len / rateD;
    for (Glide& g : glides) {
        StepReading& s = r[size_t(g.step)];
        const StepReading& before = r[size_t(g.step - 1)];
        if (g.startHz <= 0.0 && before.slidInto && before.hz > 0.0) {
            // A chain of slides: this glide starts where the one before had got to.
            const double from = before.glideFrom, to = onGrid(before.hz);
            g.startHz = from > 0.0 ? to + (from - to) * std::exp(-std::max(0.0, stepSeconds - law.delay) / law.tau) : to;
        }
        if (g.startHz <= 0.0) {
            // Nothing known to glide from: the pitch near the end of what is heard.
            s.hz = pitchAt(g.from * factor + 0.55 * (g.to - g.from) * factor, g.to * factor, minLag, maxLag);
            continue;
        }
        s.glideFrom = g.startHz;
        // A glide heading elsewhere mismatches from its start on, an octave off included.
        const int note = bestTarget(matcher, g, law, notes.lo, notes.hi, notes).first;
        if (note >= notes.lo) s.hz = notes.hz(note);
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

} // namespace

bool detectSteps(const WaveBuffer& recording, DetectedSteps& out, int steps) {
    if (steps < 1) return false;
    try {
        return detect(recording, out, std::min(steps, kMaxSteps));
    } catch (const std::bad_alloc&) {
        return false;
    }
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
    const double bpm = matchedTempo(int32_t(std::lround(grid.stepLength * steps)), steps, hostSampleRate);
    if (bpm <= 0.0) return 0.0;
    settings.syncMode = 0;
    if (setTempo) setTempo(bpm);
    return bpm;
}

} // namespace kelo
