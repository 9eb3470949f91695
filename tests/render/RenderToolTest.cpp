// Runs the kelo-render program the way a user does and checks the files it writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "tests/files/FileTestSupport.h"
#include "tests/render/WavRead.h"

namespace kelo::render {
namespace {

namespace fs = std::filesystem;
using test::readWav;
using test::Wav;
using Args = std::vector<std::string>;

constexpr int kRate = 44100;
const std::string kBank = std::string(KELO_SOURCE_DIR) + "/data/DefaultPatternBank.pat";

// Appends a single-quoted shell word (by appending: GCC 12 warns wrongly about "text" + string&&).
void addWord(std::string& cmd, const std::string& word, const char* lead = " ") {
    cmd += lead;
    cmd += '\'';
    for (char c : word) c == '\'' ? cmd.append("'\\''") : cmd.append(1, c);
    cmd += '\'';
}

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct ToolRun {
    int code = -1;
    std::string out, err;
};

// Every test runs in its own folder with an empty home, so nothing on the machine leaks in.
class RenderTool : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(dir_ / "home"); }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    fs::path dataFolder() const { return dir_ / "home" / "Documents" / "Orvanta" / "KELO"; }
    void writeFile(const std::string& name, const std::string& text) const {
        std::ofstream(dir_ / name, std::ios::binary) << text;
    }
    // `wrapper` is a command the program runs under.
    ToolRun run(const Args& args, const char* wrapper = "") const {
        std::string cmd;
        addWord(cmd, dir_.string(), "cd ");
        addWord(cmd, path("home"), " && HOME=");
        addWord(cmd, path("home/.config"), " XDG_CONFIG_HOME=");
        cmd += wrapper;
        addWord(cmd, KELO_RENDER_EXE);
        for (const std::string& a : args) addWord(cmd, a);
        addWord(cmd, path("stdout.txt"), " >");
        addWord(cmd, path("stderr.txt"), " 2>");
        addWord(cmd, path("code.txt"), "; echo $? >");
        ToolRun r;
        if (std::system(cmd.c_str()) != 0) return r;
        r = {std::atoi(slurp(dir_ / "code.txt").c_str()), slurp(dir_ / "stdout.txt"), slurp(dir_ / "stderr.txt")};
        for (const char* f : {"stdout.txt", "stderr.txt", "code.txt"}) fs::remove(dir_ / f);
        return r;
    }
    // Renders to `name` (32-bit float, so levels compare exactly) and reads it back.
    Wav render(const std::string& name, Args args) const {
        args.insert(args.end(), {"-q", "--format", "float", "-o", path(name)});
        const ToolRun r = run(args);
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.err, "");
        return readWav(path(name));
    }
    kelo::test::TempDir scratch_{"render-tool"};
    const fs::path dir_ = scratch_.folder();
};

// 16 steps, gates only on steps 0 and 8: two separate notes whose distance is the step length.
std::string twoNotePattern(const std::string& comments = "") {
    std::string text = comments + "; KELO Meta tag: 16\n";
    for (int i = 0; i < 16; ++i) text += (i == 0 || i == 8) ? "a-2 1 0 0\n" : "a-2 0 0 0\n";
    return text;
}

// A format 0 MIDI file of one track at 1000 ticks per quarter: 0.5 ms a tick at 120 BPM.
std::string midiFile(std::initializer_list<int> events) {
    std::string track(events.begin(), events.end());
    track += std::string("\0\xFF\x2F\0", 4);
    return std::string("MThd\0\0\0\6\0\0\0\1\x03\xE8MTrk\0\0\0", 21) + char(track.size()) + track;
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

TEST_F(RenderTool, BadInputExitsWithOneLineAndWritesNothing) {
    writeFile("garbage.pat", "this is not a pattern\n");
    writeFile("fast.pat", twoNotePattern("; Tempo: 5000\n"));
    writeFile("bad.mid", std::string("MThd\0\0\0\6\0\2\0\1\1\xE0", 14));
    writeFile("notaplugin.so", "not a shared library");
    writeFile("silent.mid", midiFile({}));
    writeFile("out.wav", "earlier render"); // must survive every failed run untouched
    fs::create_directories(dir_ / "folder.pat");
    const struct {
        Args args;
        int code;
        const char* message;
    } cases[] = {
        {{"--bank", "missing.pat"}, 2, "cannot read bank file missing.pat"},
        {{"--bank", "folder.pat"}, 2, "cannot read bank file folder.pat"},
        {{"--bank", "garbage.pat"}, 2, "no pattern found in bank file garbage.pat"},
        {{"--pattern-file", "missing.pat"}, 2, "cannot read pattern file missing.pat"},
        {{"--pattern-file", "folder.pat"}, 2, "cannot read pattern file folder.pat"},
        {{"--pattern-file", "garbage.pat"}, 2, "no pattern found in pattern file garbage.pat"},
        {{"--pattern-file", "fast.pat"}, 2, "tempo 5000 is outside 1..999"},
        {{"--midi", "missing.mid"}, 2, "cannot read MIDI file missing.mid"},
        {{"--midi", "bad.mid"}, 2, "MIDI file bad.mid: MIDI file format 2 is not supported"},
        {{"--midi", "silent.mid"}, 2, "MIDI file silent.mid has no notes to play"},
        {{"--pattern", "128"}, 2, "--pattern must be 0..127, got 128"},
        {{"--set", "Wobble=0.5"}, 2, "unknown parameter 'Wobble' (known: Tune, Cutoff, Resonance"},
        {{"--plugin", "missing.so"}, 2, "plug-in file not found: missing.so"},
        {{"--plugin", "notaplugin.so"}, 1, "cannot load plug-in notaplugin.so"},
        {{"--bars", "10000", "--tempo", "1"}, 2, "longer than 4 hours"},
    };
    for (const auto& c : cases) {
        Args args = c.args;
        args.insert(args.end(), {"-o", "out.wav"});
        const ToolRun r = run(args);
        const std::string what = c.args[0] + " " + c.args[1] + ": " + r.err;
        EXPECT_EQ(r.code, c.code) << what;
        EXPECT_EQ(r.err.rfind("kelo-render: ", 0), 0u) << what;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << what;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << what;
        EXPECT_EQ(r.out, "") << what;
        EXPECT_EQ(slurp(dir_ / "out.wav"), "earlier render") << what;
        for (const auto& entry : fs::directory_iterator(dir_))
            EXPECT_EQ(entry.path().string().find(".kelo-render-part"), std::string::npos) << what;
    }
    const ToolRun nowhere = run({"-o", path("no/such/folder/x.wav")});
    EXPECT_EQ(nowhere.code, 1);
    EXPECT_NE(nowhere.err.find("cannot write"), std::string::npos) << nowhere.err;
    {
        const kelo::test::FileSizeLimit full(100000); // a disk that fills up half-way
        const ToolRun r = run({"--bank", kBank, "-q", "-o", "out.wav"});
        EXPECT_EQ(r.code, 1);
        EXPECT_NE(r.err.find("(disk full or file too large?)"), std::string::npos) << r.err;
    }
    // Interrupted half-way (an hour of music takes far longer than the signal's second).
    const ToolRun stopped = run({"--bars", "1800", "-q", "-o", "out.wav"}, " timeout --preserve-status -s INT 1");
    EXPECT_EQ(stopped.code, 130);
    EXPECT_EQ(stopped.err, "kelo-render: interrupted; nothing written\n");
    EXPECT_EQ(slurp(dir_ / "out.wav"), "earlier render");
}

// With no options the tool plays pattern 0 of the installed bank for four bars of 2 s, then
// its release until the sound has died away, into a 24-bit "kelo-demo.wav".
TEST_F(RenderTool, DefaultsPlayPatternZeroOfTheInstalledBankForItsBarsAndRelease) {
    const ToolRun where = run({"--data-folder"});
    EXPECT_EQ(where.code, 0);
    EXPECT_EQ(where.out, dataFolder().string() + "/\n");
    fs::create_directories(dataFolder());
    fs::copy_file(kBank, dataFolder() / "DefaultPatternBank.pat");
    const ToolRun r = run({});
    ASSERT_EQ(r.code, 0) << r.err;
    for (const char* part : {"kelo-demo.wav: ", "at 44100 Hz", "dBFS"}) EXPECT_NE(r.out.find(part), std::string::npos) << r.out;
    EXPECT_EQ(r.err, "") << "floats hold the instrument's peaks above full scale";
    const Wav full = readWav(path("kelo-demo.wav"));
    EXPECT_EQ(std::vector<int>({full.format, full.bits, full.sampleRate}), std::vector<int>({3, 32, kRate}));
    fs::remove(dataFolder() / "DefaultPatternBank.pat");
    ASSERT_EQ(run({"--bank", kBank, "--tail", "0", "-o", "cut.wav"}).code, 0);
    const Wav cut = readWav(path("cut.wav"));
    EXPECT_EQ(cut.frames(), size_t(4 * 2 * kRate));
    EXPECT_LT(firstLoudFrom(cut, 0), size_t(kRate / 100)) << "the first step sounds at once";
    EXPECT_EQ(cut.left, cut.right);
    ASSERT_GT(full.frames(), cut.frames());
    EXPECT_LT(full.frames(), cut.frames() + size_t(10 * kRate));
    EXPECT_EQ(maxDifference(cut, full), 0.0) << "the same bank, and the release only adds frames";
    EXPECT_GT(std::fabs(full.left.back()), 1e-4f) << "trailing silence is trimmed";
    EXPECT_EQ(firstLoudFrom(full, full.frames() - 100), full.frames()) << "the file ends in the release, not in a note";
    ASSERT_EQ(run({"--tail", "0", "-o", "empty.wav"}).code, 0);
    EXPECT_NE(slurp(dir_ / "cut.wav"), slurp(dir_ / "empty.wav")) << "the bank made the difference";
    // Other rates and tempos: bars * 4 beats, rounded to the nearest frame.
    const Wav other = render("other.wav", {"--bank", kBank, "--tail", "0", "--rate", "48000", "--tempo", "140"});
    EXPECT_EQ(other.sampleRate, 48000);
    EXPECT_EQ(other.frames(), size_t(329143)); // 4 * 4 * 60 / 140 s = 329142.86 frames
}

// What the command line, a pattern file and a MIDI file say reaches the sound.
TEST_F(RenderTool, SettingsPatternFilesTempoAndMidiShapeTheSound) {
    auto with = [&](const std::string& name, Args extra) {
        extra.insert(extra.end(), {"--bars", "1", "--tail", "0"});
        return render(name, extra);
    };
    const Wav plain = with("plain.wav", {"--bank", kBank});
    EXPECT_EQ(maxDifference(plain, with("default.wav", {"--bank", kBank, "--set", "cutoff=0.5"})), 0.0);
    EXPECT_GT(maxDifference(plain, with("dist.wav", {"--bank", kBank, "--set", "Distortion=0.8"})), 0.05);
    EXPECT_GT(maxDifference(plain, with("cut.wav", {"--bank", kBank, "--set", "Cutoff=0.05"})), 0.05);
    // Volume is a gain of v squared after everything else, from the first sample on.
    const Wav quiet = with("quiet.wav", {"--bank", kBank, "--set", "Volume=0.5"});
    ASSERT_EQ(quiet.frames(), plain.frames());
    double worst = 0.0;
    for (size_t i = 0; i < plain.frames(); ++i)
        worst = std::max(worst, std::fabs(double(quiet.left[i]) - 0.25 * plain.left[i]));
    EXPECT_LT(worst, 1e-4);

    // A file's parameter lines sound as the same values given by --set; its tempo sets the step
    // length unless the command line names one. Step lines alone are a pattern too.
    writeFile("line.pat", twoNotePattern("; Cutoff: 0.1 Resonance: 0.9 Tempo: 130\n"));
    writeFile("one.pat", "a-2 1 0 0");
    EXPECT_EQ(with("one.wav", {"--pattern-file", "one.pat"}).frames(), size_t(2 * kRate));
    const Wav line = with("line.wav", {"--pattern-file", "line.pat", "--pattern", "7"});
    writeFile("two.pat", twoNotePattern());
    EXPECT_EQ(with("cmd.wav", {"--pattern-file", "two.pat", "--set", "Cutoff=0.1", "--set", "Resonance=0.9",
                               "--tempo", "130"}).left, line.left);
    for (const auto& [extra, bpm] : {std::pair(Args{}, 130.0), std::pair(Args{"--set", "Tempo=90"}, 90.0)}) {
        Args args = {"--pattern-file", "line.pat"};
        args.insert(args.end(), extra.begin(), extra.end());
        const Wav w = with("tempo.wav", args);
        const double step = kRate / (bpm / 60.0 * 4.0);
        const size_t quietAfterFirst = size_t(4 * step);
        ASSERT_GT(firstLoudFrom(w, quietAfterFirst, 1e-3f), quietAfterFirst);
        EXPECT_NEAR(double(firstLoudFrom(w, quietAfterFirst)), 8 * step, 32.0) << bpm;
        EXPECT_NEAR(double(w.frames()), 16 * step, 0.5);
    }

    // Three notes of half a second with a quarter second between them, the first at once; in
    // pattern mode the same notes would have started patterns 45, 57 and 64 instead.
    writeFile("song.mid", midiFile({0x00, 0x90, 45, 100, 0x87, 0x68, 0x80, 45, 0, 0x83, 0x74, 0x90, 57, 100, 0x87,
                                    0x68, 0x80, 57, 0, 0x83, 0x74, 0x90, 64, 100, 0x87, 0x68, 0x80, 64, 0}));
    const Wav song = render("song.wav", {"--midi", "song.mid"});
    ASSERT_GE(song.frames(), size_t(2 * kRate));
    EXPECT_LT(firstLoudFrom(song, 0), size_t(kRate / 100));
    EXPECT_GT(maxDifference(song, with("pattern.wav", {"--pattern", "45"})), 0.05);
}

TEST_F(RenderTool, IntegerFormatsSayWhenTheyClipAndNormalizeScalesToThePeakAsked) {
    const Wav floats = render("float.wav", {"--bank", kBank, "--bars", "1", "--tail", "0"});
    float peak = 0.0f;
    for (float x : floats.left) peak = std::max(peak, std::fabs(x));
    ASSERT_GT(peak, 1.5f) << "the instrument's output is hot";
    const ToolRun clipped = run({"--bank", kBank, "--bars", "1", "--tail", "0", "-q", "--format", "pcm24"});
    EXPECT_EQ(clipped.code, 0);
    for (const char* part : {"clipped", "--normalize"}) EXPECT_NE(clipped.err.find(part), std::string::npos);
    // The writer's own tests pin the scaling; here the option reaches it and the summary.
    const ToolRun n = run({"--bank", kBank, "--bars", "1", "--tail", "0", "--format", "pcm16", "--normalize", "-6"});
    ASSERT_EQ(n.code, 0) << n.err;
    EXPECT_EQ(n.err, "") << "nothing clips";
    EXPECT_NE(n.out.find("peak -6.0 dBFS (0.5012, normalised from +"), std::string::npos) << n.out;
    const Wav w = readWav(path("kelo-demo.wav"));
    ASSERT_EQ(w.frames(), floats.frames());
    const double gain = std::pow(10.0, -6.0 / 20.0) / peak;
    double worst = 0.0;
    for (size_t i = 0; i < w.frames(); ++i) worst = std::max(worst, std::fabs(w.left[i] - floats.left[i] * gain));
    EXPECT_LE(worst, 1.0 / 32767);
}

#ifdef KELO_RENDER_WINDOWS_EXE
// The Windows build of the tool and plug-in, under wine, renders what the Linux build does.
TEST_F(RenderTool, WindowsBuildRendersTheSame) {
    const Args args = {"--bank", kBank, "--pattern", "0", "--bars", "2"};
    const Wav lin = render("linux.wav", args);
    // Windows paths for the program's arguments: wine maps Z: to the root of this machine.
    auto windowsPath = [](const std::string& p) { return std::string("Z:").append(p); };
    std::string cmd;
    addWord(cmd, KELO_WINE_RUN, "");
    addWord(cmd, KELO_WINE_STATE, " --state ");
    addWord(cmd, KELO_RENDER_WINDOWS_EXE);
    addWord(cmd, windowsPath(KELO_RENDER_WINDOWS_PLUGIN), " --plugin ");
    for (const std::string& a : args) addWord(cmd, a == kBank ? windowsPath(a) : a);
    addWord(cmd, windowsPath(path("windows.wav")), " -q --format float -o ");
    addWord(cmd, path("wine.txt"), " >");
    ASSERT_EQ(std::system((cmd + " 2>&1").c_str()), 0) << slurp(dir_ / "wine.txt");
    const Wav win = readWav(path("windows.wav"));
    ASSERT_TRUE(lin.ok && win.ok);
    EXPECT_EQ(win.frames(), lin.frames());
    EXPECT_LE(maxDifference(lin, win), 1e-4);
    EXPECT_EQ(win.left, win.right);
}
#endif

} // namespace
} // namespace kelo::render
