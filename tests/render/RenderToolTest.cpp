// Runs the kelo-render program the way a user does and checks the files it writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/render/WavRead.h"

namespace kelo::render {
namespace {

namespace fs = std::filesystem;
using test::readWav;
using test::Wav;

constexpr int kRate = 44100;
const std::string kBank = std::string(KELO_SOURCE_DIR) + "/data/DefaultPatternBank.pat";

std::string quoted(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Appends a shell word (built by appending: GCC 12 warns wrongly about "text" + string&&).
void addWord(std::string& cmd, const std::string& word, const char* lead = " ") {
    cmd += lead;
    cmd += quoted(word);
}

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct ToolRun {
    int code = -1;
    std::string out, err;
};

// Every run gets its own empty data folder, so nothing on the machine leaks in.
class RenderTool : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("kelo-render-tool-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "home");
    }
    void TearDown() override {
        if (!HasFailure()) fs::remove_all(dir_);
    }

    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    fs::path dataFolder() const { return dir_ / "home" / "Documents" / "Orvanta" / "KELO"; }

    ToolRun run(const std::vector<std::string>& args) const {
        std::string cmd;
        addWord(cmd, dir_.string(), "cd ");
        addWord(cmd, path("home"), " && HOME=");
        addWord(cmd, path("home/.config"), " XDG_CONFIG_HOME=");
        addWord(cmd, KELO_RENDER_EXE);
        for (const std::string& a : args) addWord(cmd, a);
        addWord(cmd, path("stdout.txt"), " >");
        addWord(cmd, path("stderr.txt"), " 2>");
        addWord(cmd, path("code.txt"), "; echo $? >");
        ToolRun r;
        if (std::system(cmd.c_str()) != 0) return r;
        r.code = std::atoi(slurp(dir_ / "code.txt").c_str());
        r.out = slurp(dir_ / "stdout.txt");
        r.err = slurp(dir_ / "stderr.txt");
        for (const char* f : {"stdout.txt", "stderr.txt", "code.txt"}) fs::remove(dir_ / f);
        return r;
    }

    // Renders to `name` (32-bit float, so levels compare exactly) and reads it back.
    Wav render(const std::string& name, std::vector<std::string> args) const {
        args.insert(args.end(), {"-q", "--format", "float", "-o", path(name)});
        const ToolRun r = run(args);
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.err, "");
        return readWav(path(name));
    }

    void writeFile(const std::string& name, const std::string& text) const {
        std::ofstream(dir_ / name, std::ios::binary) << text;
    }

    fs::path dir_;
};

// 16 steps, gates only on steps 0 and 8: two separate notes whose distance is the step length.
std::string twoNotePattern(const std::string& comments = "") {
    std::string text = comments + "; KELO Meta tag: 16\n";
    for (int i = 0; i < 16; ++i) text += (i == 0 || i == 8) ? "a-2 1 0 0\n" : "a-2 0 0 0\n";
    return text;
}

size_t firstLoudFrom(const Wav& w, size_t from, float level = 0.01f) {
    for (size_t i = from; i < w.frames(); ++i)
        if (std::fabs(w.left[i]) > level) return i;
    return w.frames();
}

double maxDifference(const Wav& a, const Wav& b, size_t from = 0) {
    double d = 0.0;
    for (size_t i = from; i < std::min(a.frames(), b.frames()); ++i)
        d = std::max(d, double(std::fabs(a.left[i] - b.left[i])));
    return d;
}

// Fundamental of left[from, from + n) by autocorrelation: the shortest lag that correlates
// nearly as well as the best one, refined between samples.
double pitchHz(const Wav& w, size_t from, size_t n) {
    const int minLag = kRate / 1000, maxLag = kRate / 30;
    std::vector<double> r(size_t(maxLag) + 2, 0.0);
    double best = 0.0;
    for (int lag = minLag; lag <= maxLag + 1; ++lag) {
        double s = 0.0, e = 0.0;
        for (size_t i = from; i < from + n; ++i) {
            s += double(w.left[i]) * w.left[i + size_t(lag)];
            e += double(w.left[i]) * w.left[i];
        }
        r[size_t(lag)] = s / e;
        if (lag <= maxLag) best = std::max(best, r[size_t(lag)]);
    }
    for (int lag = minLag + 1; lag <= maxLag; ++lag) {
        const double a = r[size_t(lag) - 1], b = r[size_t(lag)], c = r[size_t(lag) + 1];
        if (b >= 0.9 * best && b >= a && b >= c) {
            const double shift = (a - c) / (2.0 * (a - 2.0 * b + c));
            return kRate / (lag + shift);
        }
    }
    return 0.0;
}

std::string midiFile(const std::vector<std::pair<int, std::pair<int, int>>>& notes) {
    // Format 0, 1000 ticks per quarter at the default 120 BPM: 1 tick = 0.5 ms.
    std::string track;
    auto vlq = [&](uint32_t v) {
        std::string b(1, char(v & 0x7F));
        while (v >>= 7) b.insert(b.begin(), char(0x80 | (v & 0x7F)));
        track += b;
    };
    uint32_t now = 0;
    struct E { uint32_t t; int s, d1, d2; };
    std::vector<E> ev;
    for (const auto& [note, span] : notes) {
        ev.push_back({uint32_t(span.first * 2), 0x90, note, 100});
        ev.push_back({uint32_t(span.second * 2), 0x80, note, 0});
    }
    std::stable_sort(ev.begin(), ev.end(), [](const E& a, const E& b) { return a.t < b.t; });
    for (const E& e : ev) {
        vlq(e.t - now);
        now = e.t;
        track += {char(e.s), char(e.d1), char(e.d2)};
    }
    track += std::string("\0\xFF\x2F\0", 4);
    std::string file("MThd\0\0\0\6\0\0\0\1\x03\xE8", 14);
    file += "MTrk";
    for (int i = 3; i >= 0; --i) file += char((track.size() >> (8 * i)) & 0xFF);
    return file + track;
}

TEST_F(RenderTool, BadInputExitsWithOneLineAndWritesNothing) {
    writeFile("garbage.pat", "this is not a pattern\n");
    writeFile("fast.pat", twoNotePattern("; Tempo: 5000\n"));
    writeFile("bad.mid", std::string("MThd\0\0\0\6\0\2\0\1\1\xE0", 14));
    writeFile("notaplugin.so", "not a shared library");
    writeFile("silent.mid", midiFile({}));
    writeFile("out.wav", "earlier render"); // must survive every failed run untouched
    fs::create_directories(dir_ / "folder.pat");
    const struct {
        std::vector<std::string> args;
        int code;
        const char* message;
    } cases[] = {
        {{"--bank", "missing.pat"}, 2, "cannot read bank file missing.pat"},
        {{"--bank", "folder.pat"}, 2, "cannot read bank file folder.pat"},
        {{"--bank", "garbage.pat"}, 2, "no pattern found in bank file garbage.pat"},
        {{"--pattern-file", "missing.pat"}, 2, "cannot read pattern file missing.pat"},
        {{"--pattern-file", "garbage.pat"}, 2, "no pattern found in pattern file garbage.pat"},
        {{"--pattern-file", "fast.pat"}, 2, "tempo 5000 is outside 1..999"},
        {{"--midi", "missing.mid"}, 2, "cannot read MIDI file missing.mid"},
        {{"--midi", "bad.mid"}, 2, "MIDI file bad.mid: MIDI file format 2 is not supported"},
        {{"--midi", "silent.mid"}, 2, "MIDI file silent.mid has no notes to play"},
        {{"--pattern", "128"}, 2, "--pattern must be 0..127, got 128"},
        {{"--pattern", "-3"}, 2, "--pattern must be 0..127"},
        {{"--set", "Wobble=0.5"}, 2, "unknown parameter 'Wobble'"},
        {{"--set", "Cutoff=half"}, 2, "--set Cutoff: not a number: 'half'"},
        {{"--tempo", "12o"}, 2, "--tempo: not a number: '12o'"},
        {{"--bars", "1e3"}, 2, "--bars: not a whole number"},
        {{"--plugin", "missing.so"}, 2, "plug-in file not found: missing.so"},
        {{"--plugin", "notaplugin.so"}, 1, "cannot load plug-in notaplugin.so"},
        {{"--bars", "10000", "--tempo", "1"}, 2, "longer than 4 hours"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"-o", "out.wav"});
        const ToolRun r = run(args);
        const std::string what = c.args[0] + " " + c.args[1];
        EXPECT_EQ(r.code, c.code) << what << ": " << r.err;
        EXPECT_EQ(r.err.rfind("kelo-render: ", 0), 0u) << what << ": " << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << what << ": " << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << what << ": " << r.err;
        EXPECT_EQ(r.out, "") << what;
        EXPECT_EQ(slurp(dir_ / "out.wav"), "earlier render") << what;
        for (const auto& entry : fs::directory_iterator(dir_))
            EXPECT_EQ(entry.path().string().find(".kelo-render-part"), std::string::npos) << what;
    }

    const ToolRun nowhere = run({"-o", path("no/such/folder/x.wav")});
    EXPECT_EQ(nowhere.code, 1);
    EXPECT_NE(nowhere.err.find("cannot write"), std::string::npos) << nowhere.err;
}

TEST_F(RenderTool, PatternZeroSoundsFromTheStartForExactlyItsBars) {
    // Without a release the file is exactly four bars of 2 s; with it, the file runs on
    // until the sound has died away.
    const Wav cut = render("cut.wav", {"--bank", kBank, "--tail", "0"});
    ASSERT_TRUE(cut.ok);
    EXPECT_EQ(cut.sampleRate, kRate);
    EXPECT_EQ(cut.frames(), size_t(4 * 2 * kRate));
    EXPECT_LT(firstLoudFrom(cut, 0), size_t(kRate / 100)) << "the first step sounds at once";
    EXPECT_EQ(cut.left, cut.right);

    const Wav full = render("full.wav", {"--bank", kBank});
    ASSERT_GT(full.frames(), cut.frames());
    EXPECT_LT(full.frames(), cut.frames() + size_t(10 * kRate));
    EXPECT_EQ(maxDifference(cut, full), 0.0) << "the release only adds frames";
    EXPECT_GT(std::fabs(full.left.back()), 1e-4f) << "trailing silence is trimmed";
    float releaseEnd = 0.0f;
    for (size_t i = full.frames() - 100; i < full.frames(); ++i) releaseEnd = std::max(releaseEnd, std::fabs(full.left[i]));
    EXPECT_LT(releaseEnd, 0.01f) << "the file ends in the release, not in the middle of a note";

    // Other rates and tempos: bars * 4 beats, rounded to the nearest frame.
    const Wav other = render("other.wav", {"--bank", kBank, "--tail", "0", "--rate", "48000", "--tempo", "140"});
    EXPECT_EQ(other.sampleRate, 48000);
    EXPECT_EQ(other.frames(), size_t(329143)); // 4 * 4 * 60 / 140 s = 329142.86 frames
}

TEST_F(RenderTool, SameCommandGivesTheSameFile) {
    for (const char* format : {"pcm24", "pcm16"}) {
        const std::vector<std::string> args = {"--bank", kBank, "--pattern", "3", "--bars", "2", "--format", format};
        std::vector<std::string> a = args, b = args;
        a.insert(a.end(), {"-q", "-o", "a.wav"});
        b.insert(b.end(), {"-q", "-o", "b.wav"});
        ASSERT_EQ(run(a).code, 0);
        ASSERT_EQ(run(b).code, 0);
        const std::string first = slurp(dir_ / "a.wav");
        EXPECT_GT(first.size(), 100000u);
        EXPECT_EQ(first, slurp(dir_ / "b.wav")) << format;
    }
}

TEST_F(RenderTool, DefaultsPlayTheInstalledBankAndSummariseTheFile) {
    const ToolRun where = run({"--data-folder"});
    EXPECT_EQ(where.code, 0);
    EXPECT_EQ(where.out, dataFolder().string() + "/\n");
    fs::create_directories(dataFolder());
    fs::copy_file(kBank, dataFolder() / "DefaultPatternBank.pat");
    const ToolRun r = run({});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("kelo-demo.wav: "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("at 44100 Hz"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("dBFS"), std::string::npos) << r.out;
    const Wav installed = readWav(path("kelo-demo.wav"));
    EXPECT_EQ(installed.bits, 24);

    fs::remove(dataFolder() / "DefaultPatternBank.pat");
    const ToolRun explicitBank = run({"--bank", kBank, "-o", "explicit.wav"});
    ASSERT_EQ(explicitBank.code, 0) << explicitBank.err;
    EXPECT_EQ(slurp(dir_ / "kelo-demo.wav"), slurp(dir_ / "explicit.wav"));
    const ToolRun emptyBank = run({"-o", "empty.wav"});
    ASSERT_EQ(emptyBank.code, 0) << emptyBank.err;
    EXPECT_NE(slurp(dir_ / "kelo-demo.wav"), slurp(dir_ / "empty.wav")) << "the bank made the difference";
}

TEST_F(RenderTool, SetChangesOnlyWhatItNames) {
    const std::vector<std::string> base = {"--bank", kBank, "--bars", "1", "--tail", "0"};
    auto with = [&](const std::string& name, std::vector<std::string> extra) {
        std::vector<std::string> args = base;
        args.insert(args.end(), extra.begin(), extra.end());
        return render(name, args);
    };
    const Wav plain = with("plain.wav", {});
    // The default value, given explicitly, changes nothing.
    EXPECT_EQ(maxDifference(plain, with("default.wav", {"--set", "cutoff=0.5"})), 0.0);
    const Wav dark = with("dark.wav", {"--set", "Cutoff=0.05"});
    EXPECT_GT(maxDifference(plain, dark), 0.05);
    const Wav square = with("square.wav", {"--set", "waveform=1"});
    EXPECT_GT(maxDifference(plain, square), 0.05);
    EXPECT_GT(maxDifference(plain, with("type.wav", {"--set", "Distortion Type=1", "--set", "Distortion=0.8"})), 0.05);

    // Volume is a gain of v squared after everything else: half the knob, a quarter the level
    // once the volume ramp of the first block has passed.
    const Wav quiet = with("quiet.wav", {"--set", "Volume=0.5"});
    ASSERT_EQ(quiet.frames(), plain.frames());
    double worst = 0.0;
    for (size_t i = 1024; i < plain.frames(); ++i)
        worst = std::max(worst, std::fabs(double(quiet.left[i]) - 0.25 * plain.left[i]));
    EXPECT_LT(worst, 1e-4);
}

TEST_F(RenderTool, TempoSetsTheStepLength) {
    writeFile("two.pat", twoNotePattern());
    writeFile("two130.pat", twoNotePattern("; Tempo: 130\n"));
    const struct {
        const char* file;
        std::vector<std::string> extra;
        double bpm;
    } cases[] = {
        {"two.pat", {}, 120.0},
        {"two.pat", {"--tempo", "150"}, 150.0},
        {"two.pat", {"--set", "Tempo=90"}, 90.0},
        {"two130.pat", {}, 130.0},                 // the pattern file's own tempo
        {"two130.pat", {"--tempo", "100"}, 100.0}, // the command line beats it
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"--pattern-file", c.file, "--bars", "1", "--tail", "0"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        const Wav w = render("tempo.wav", args);
        const double stepFrames = kRate / (c.bpm / 60.0 * 4.0);
        const size_t quietAfterFirst = size_t(4 * stepFrames);
        ASSERT_EQ(firstLoudFrom(w, quietAfterFirst, 1e-3f) > quietAfterFirst, true);
        const double second = double(firstLoudFrom(w, quietAfterFirst));
        EXPECT_NEAR(second, 8 * stepFrames, 32.0) << c.file << " at " << c.bpm;
        EXPECT_NEAR(double(w.frames()), 16 * stepFrames, 0.5);
    }
}

TEST_F(RenderTool, PatternFileCarriesItsSound) {
    // The same sound three ways: a parameter line, a companion file, the command line.
    writeFile("plain.pat", twoNotePattern());
    writeFile("line.pat", twoNotePattern("; Cutoff: 0.1 Resonance: 0.9\n"));
    writeFile("companion.pat", twoNotePattern());
    writeFile("companion.param", "\"Cutoff\" = 0.100000\n\"Resonance\" = 0.900000\n");
    const std::vector<std::string> common = {"--bars", "1", "--pattern", "7"};
    auto with = [&](const std::string& name, std::vector<std::string> extra) {
        extra.insert(extra.end(), common.begin(), common.end());
        return render(name, extra);
    };
    const Wav plain = with("plain.wav", {"--pattern-file", "plain.pat"});
    // Step lines without the meta line are a pattern too (of as many steps as lines).
    writeFile("bare.pat", "  a-2 1 0 0\r\nc-3\t0 1 1\r\n");
    EXPECT_EQ(with("bare.wav", {"--pattern-file", "bare.pat", "--tail", "0"}).frames(), size_t(2 * kRate));
    const Wav byCommand = with("cmd.wav", {"--pattern-file", "plain.pat", "--set", "Cutoff=0.1", "--set", "Resonance=0.9"});
    const Wav byLine = with("line.wav", {"--pattern-file", "line.pat"});
    const Wav byCompanion = with("companion.wav", {"--pattern-file", "companion.pat"});
    EXPECT_GT(maxDifference(plain, byCommand), 0.05);
    EXPECT_EQ(byLine.left, byCommand.left);
    EXPECT_EQ(byCompanion.left, byCommand.left);
    // --set has the last word over the file.
    const Wav overridden = with("over.wav", {"--pattern-file", "line.pat", "--set", "Cutoff=0.5", "--set", "Resonance=0"});
    EXPECT_EQ(overridden.left, plain.left);
}

TEST_F(RenderTool, MidiFilePlaysNotesAtTheirPitches) {
    // Times in milliseconds: A1, A2 and E3, each half a second with gaps between.
    const int notes[] = {45, 57, 64};
    writeFile("song.mid", midiFile({{45, {0, 500}}, {57, {750, 1250}}, {64, {1500, 2000}}}));
    const Wav w = render("song.wav", {"--midi", "song.mid"});
    ASSERT_TRUE(w.ok);
    EXPECT_GE(w.frames(), size_t(2 * kRate));
    EXPECT_LT(firstLoudFrom(w, 0), size_t(kRate / 100));
    for (int i = 0; i < 3; ++i) {
        const double expected = 440.0 * std::pow(2.0, (notes[i] - 69) / 12.0);
        const size_t from = size_t((0.75 * i + 0.15) * kRate);
        EXPECT_NEAR(pitchHz(w, from, size_t(0.2 * kRate)), expected, expected * 0.01) << "note " << notes[i];
    }
    // In pattern mode the same notes would have started patterns 45, 57 and 64 instead.
    const Wav pattern = render("pattern.wav", {"--pattern", "45", "--bars", "1"});
    EXPECT_GT(maxDifference(w, pattern), 0.05);
}

#ifdef KELO_RENDER_WINDOWS_EXE
// The Windows build of the tool and plug-in, under wine, renders what the Linux build does.
TEST_F(RenderTool, WindowsBuildRendersTheSame) {
    const std::vector<std::string> args = {"--bank", kBank, "--pattern", "0", "--bars", "2", "--format", "float", "-q"};
    std::vector<std::string> linuxArgs = args;
    linuxArgs.insert(linuxArgs.end(), {"-o", "linux.wav"});
    ASSERT_EQ(run(linuxArgs).code, 0);

    // Windows paths for the program's arguments: wine maps Z: to the root of this machine.
    auto windowsPath = [](const std::string& p) { return std::string("Z:").append(p); };
    std::string cmd;
    addWord(cmd, KELO_WINE_RUN, "");
    addWord(cmd, KELO_WINE_STATE, " --state ");
    addWord(cmd, KELO_RENDER_WINDOWS_EXE);
    addWord(cmd, windowsPath(KELO_RENDER_WINDOWS_PLUGIN), " --plugin ");
    for (const std::string& a : args) addWord(cmd, a == kBank ? windowsPath(a) : a);
    addWord(cmd, windowsPath(path("windows.wav")), " -o ");
    addWord(cmd, path("wine.txt"), " >");
    cmd += " 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << slurp(dir_ / "wine.txt");

    const Wav lin = readWav(path("linux.wav"));
    const Wav win = readWav(path("windows.wav"));
    ASSERT_TRUE(lin.ok && win.ok);
    EXPECT_EQ(win.frames(), lin.frames());
    const double diff = maxDifference(lin, win);
    RecordProperty("max_abs_difference", std::to_string(diff));
    std::printf("Windows vs Linux render: %zu frames, max abs difference %.3g\n", lin.frames(), diff);
    EXPECT_LE(diff, 1e-4);
    EXPECT_EQ(win.left, win.right);
}
#endif

} // namespace
} // namespace kelo::render
