#include "tools/kelo-render/Options.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace kelo::render {

namespace {

std::string lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool endsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

std::string squeezed(const std::string& name) {
    std::string out;
    for (char c : name)
        if (c != ' ' && c != '-' && c != '_') out += char(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool rangedInt(const std::string& option, const std::string& text, long long lo, long long hi, int& out,
               std::string& error) {
    long long v = 0;
    if (!parseInt(text, v)) {
        error = option + ": not a whole number: '" + text + "'";
        return false;
    }
    if (v < lo || v > hi) {
        error = option + " must be " + std::to_string(lo) + ".." + std::to_string(hi) + ", got " + text;
        return false;
    }
    out = int(v);
    return true;
}

bool rangedDouble(const std::string& option, const std::string& text, double lo, double hi, double& out,
                  std::string& error) {
    double v = 0.0;
    if (!parseDouble(text, v)) {
        error = option + ": not a number: '" + text + "'";
        return false;
    }
    if (v < lo || v > hi) {
        char range[64];
        std::snprintf(range, sizeof range, "%g..%g", lo, hi);
        error = option + " must be " + range + ", got " + text;
        return false;
    }
    out = v;
    return true;
}

} // namespace

bool parseInt(const std::string& text, long long& out) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return false;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || end != text.c_str() + text.size()) return false;
    out = v;
    return true;
}

bool parseDouble(const std::string& text, double& out) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return false;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || end != text.c_str() + text.size() || !std::isfinite(v)) return false;
    out = v;
    return true;
}

bool sameParameterName(const std::string& a, const std::string& b) { return squeezed(a) == squeezed(b); }

const char* usageText() {
    return "usage: kelo-render [options] [-o OUT.wav|OUT.flac]\n"
           "Renders the KELO plug-in file to an audio file, driving it the way a host does.\n"
           "Without options: pattern 0 of the bank the plug-in loads at start-up, 4 bars at 120 BPM,\n"
           "44100 Hz, 32-bit float WAV, written to kelo-demo.wav.\n"
           "\n"
           "  -o, --output FILE     where to write; .wav, or .flac (16/24-bit only, 24 unless\n"
           "                        --format says pcm16)\n"
           "      --format F        float (default: 32-bit float WAV, keeps peaks above full\n"
           "                        scale), pcm16 or pcm24 (these clip above full scale)\n"
           "      --normalize DB    scale the whole render so its peak is DB dBFS, -96..0\n"
           "      --pattern N       pattern 0..127 to play; its MIDI note N is held for the render\n"
           "      --bars N          length in 4/4 bars of sixteen steps (default 4)\n"
           "      --tempo BPM       sequencer tempo, 1..999 (default 120)\n"
           "      --rate HZ         sample rate, 8000..384000 (default 44100)\n"
           "      --bank FILE.pat   pattern bank to load over the plug-in's bank before playing\n"
           "      --pattern-file FILE.pat\n"
           "                        single pattern file loaded into the pattern played; its\n"
           "                        companion .param file and its parameter lines (Cutoff: 0.3,\n"
           "                        Tempo: 130, ...) are applied, then --set and --tempo\n"
           "      --set NAME=VALUE  parameter by its host name, any letter case, 0..1:\n"
           "                        Tune, Cutoff, Resonance, Envmod, Decay, Accent, Drive,\n"
           "                        Distortion, Volume, Waveform, \"Distortion Type\",\n"
           "                        \"Highpass Filter\"; Tempo=BPM sets the tempo. Repeatable.\n"
           "      --midi FILE.mid   play a standard MIDI file in note mode (its own tempo map);\n"
           "                        not combined with --pattern, --pattern-file, --bars, --tempo\n"
           "      --tail SECONDS    longest release rendered after the notes end, 0..600\n"
           "                        (default 10); the file ends once the sound has died away\n"
           "      --plugin PATH     plug-in file to load (default: the one beside this program,\n"
           "                        else the one it was built with)\n"
           "      --data-folder     print the folder the plug-in reads its files from, and exit\n"
           "  -q, --quiet           no progress line and no summary\n"
           "  -h, --help            this text\n"
           "\n"
           "The bank, the pattern file and the mode reach the plug-in through its saved state (the\n"
           "program chunk), exactly as a host restores a project; the tempo is the host's, with the\n"
           "plug-in following it. Exit status: 0 done, 1 render or write failure, 2 bad input.\n";
}

bool parseOptions(int argc, const char* const* argv, Options& out, std::string& error) {
    out = Options{};
    bool patternGiven = false, barsGiven = false, tempoOption = false, formatGiven = false;
    // Help answers whatever else is on the line.
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            out.help = true;
            return true;
        }
    }
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        bool hasInlineValue = false;
        if (arg.rfind("--", 0) == 0) {
            const size_t eq = arg.find('=');
            if (eq != std::string::npos) {
                value = arg.substr(eq + 1);
                arg = arg.substr(0, eq);
                hasInlineValue = true;
            }
        }
        if (arg == "--data-folder") {
            out.printDataFolder = true;
            continue;
        }
        if (arg == "-q" || arg == "--quiet") {
            out.quiet = true;
            continue;
        }
        static const char* const kWithValue[] = {"-o", "--output", "--format", "--pattern", "--bars",
                                                 "--tempo", "--rate", "--bank", "--pattern-file", "--set",
                                                 "--midi", "--tail", "--plugin", "--normalize"};
        bool known = false;
        for (const char* name : kWithValue) known = known || arg == name;
        if (!known) {
            error = (arg.rfind('-', 0) == 0 ? "unknown option: " : "unexpected argument: ") + std::string(argv[i]);
            return false;
        }
        if (!hasInlineValue) {
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return false;
            }
            value = argv[++i];
        }
        if (arg == "-o" || arg == "--output") {
            if (value.empty()) {
                error = arg + " needs a file name";
                return false;
            }
            out.output = value;
        } else if (arg == "--format") {
            const std::string f = lower(value);
            formatGiven = true;
            if (f == "pcm16") out.format = SampleFormat::Pcm16;
            else if (f == "pcm24") out.format = SampleFormat::Pcm24;
            else if (f == "float") out.format = SampleFormat::Float;
            else {
                error = "--format must be pcm16, pcm24 or float, got '" + value + "'";
                return false;
            }
        } else if (arg == "--pattern") {
            if (!rangedInt(arg, value, 0, 127, out.pattern, error)) return false;
            patternGiven = true;
        } else if (arg == "--bars") {
            if (!rangedInt(arg, value, 1, kMaxBars, out.bars, error)) return false;
            barsGiven = true;
        } else if (arg == "--tempo") {
            if (!rangedDouble(arg, value, kMinTempo, kMaxTempo, out.tempo, error)) return false;
            out.tempoGiven = tempoOption = true;
        } else if (arg == "--rate") {
            if (!rangedInt(arg, value, kMinSampleRate, kMaxSampleRate, out.sampleRate, error)) return false;
        } else if (arg == "--normalize") {
            double db = 0.0;
            if (!rangedDouble(arg, value, kMinNormalizeDb, kMaxNormalizeDb, db, error)) return false;
            out.normalizeDb = db;
        } else if (arg == "--tail") {
            if (!rangedDouble(arg, value, 0.0, kMaxTailSeconds, out.tailSeconds, error)) return false;
        } else if (arg == "--bank" || arg == "--pattern-file" || arg == "--midi" || arg == "--plugin") {
            if (value.empty()) {
                error = arg + " needs a file name";
                return false;
            }
            (arg == "--bank" ? out.bank : arg == "--pattern-file" ? out.patternFile
                                        : arg == "--midi"        ? out.midiFile
                                                                 : out.pluginPath) = value;
        } else { // --set
            const size_t eq = value.find('=');
            if (eq == std::string::npos || eq == 0) {
                error = "--set needs NAME=VALUE, got '" + value + "'";
                return false;
            }
            ParameterSetting s;
            s.name = value.substr(0, eq);
            const std::string number = value.substr(eq + 1);
            const std::string option = "--set " + s.name;
            if (sameParameterName(s.name, "Tempo")) {
                if (!rangedDouble(option, number, kMinTempo, kMaxTempo, out.tempo, error)) return false;
                out.tempoGiven = tempoOption = true;
                continue;
            }
            if (!rangedDouble(option, number, 0.0, 1.0, s.value, error)) return false;
            out.settings.push_back(s);
        }
    }
    if (out.help) return true;

    const std::string ext = lower(out.output);
    const bool flac = endsWith(ext, ".flac");
    if (!flac && !endsWith(ext, ".wav")) {
        error = "output must end in .wav or .flac: " + out.output;
        return false;
    }
#ifndef KELO_RENDER_HAVE_FLAC
    if (flac) {
        error = "FLAC output is not available in this build; write a .wav file";
        return false;
    }
#endif
    // FLAC holds integers only: without a --format it takes the finer of its two.
    if (flac && !formatGiven) out.format = SampleFormat::Pcm24;
    if (flac && out.format == SampleFormat::Float) {
        error = "FLAC holds 16- or 24-bit samples: use --format pcm16 or pcm24";
        return false;
    }
    if (!out.midiFile.empty() && (patternGiven || barsGiven || tempoOption || !out.patternFile.empty())) {
        error = "--midi plays the file in note mode at its own tempo: --pattern, --pattern-file, --bars "
                "and --tempo do not apply";
        return false;
    }
    return true;
}

} // namespace kelo::render
