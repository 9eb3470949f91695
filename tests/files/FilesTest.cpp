// The files KELO reads and writes: pattern text with its companion ".param" files and parameter
// lines, and the settings files Config.ini, User.ini and MidiCC.ini.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "FileTestSupport.h"
#include "files/CcMapFile.h"
#include "files/EngineSettingsFile.h"
#include "files/ParameterFile.h"
#include "files/PatternFile.h"
#include "files/TextScanner.h"

namespace kelo {
namespace {

using test::RecordingParameters;
using test::TempDir;
using Writes = std::vector<std::pair<int, float>>;

std::string lines(int count, const char* line) {
    std::string s;
    while (count--) s += line;
    return s;
}

TEST(PatternText, WriterAndReaderLines) {
    Pattern p{};
    p.header = 0x8000'0305u; // 5 steps, shuffle 3, triplet
    p.steps[0] = {0, StepGate | StepAccent};
    p.steps[1] = {0, StepGate | StepAccent | StepUp};
    p.steps[2] = {12, 0};
    p.steps[3] = {12, StepDown | StepSlide | StepTie | StepNoteMark};
    p.steps[4] = {200, StepGate}; // only the bits that play: 200 & 31 = 8
    p.steps[5] = {3, StepGate};
    EXPECT_EQ(formatPattern(p), "; KELO Meta tag: 2147484421\nc-3 1 0 1\nc-4 1 0 1\nc-4 0 0 0\n"
                                "c-3 0 1 0\ng#3 1 0 0\n");
    p.header = 127; // a count field out of range never writes past 64 steps
    const std::string text = formatPattern(p);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 65);
    parsePattern(p, "; KELO Meta tag: 9\nXY0 1 0 0\nd-2 1 1 1\ne-3 0 0 1\nf-4 1 0 0\ng-5 1 0 0\n"
                    "a-6 1 0 0\nb-9 3 2 5\n  c#3   1   0   0\nC-3 1 0 0\n");
    const uint8_t notes[] = {0, 2, 4, 5, 19, 33, 11, 1, 1};
    const uint8_t flags[] = {StepGate | StepDown, StepGate | StepDown | StepSlide | StepAccent,
                             StepAccent, StepGate | StepUp, StepGate | StepUp, StepGate | StepUp,
                             StepGate | StepUp | StepAccent, StepGate, StepGate};
    ASSERT_EQ(p.header, 9u);
    // Unknown names keep the previous pitch; only the lowest bit of 3, 2, 5 counts.
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(std::tuple(p.steps[i].note, p.steps[i].flags), std::tuple(notes[i], flags[i])) << i;
}

TEST(PatternText, BlockBoundaries) {
    // Declared 16, followed by 20 lines: 4 go to the next pattern, which keeps its header bits.
    const std::string text = "; KELO Meta tag: 16\n" + lines(16, "d-3 1 0 0\n") + lines(4, "e-3 1 0 0\n") +
                             "; KELO Meta tag: 2\n" + lines(2, "a-3 1 0 0\n");
    Pattern single{};
    parsePattern(single, text);
    EXPECT_EQ(single.header, 16u);
    PatternBank bank = test::sentinelBank();
    EXPECT_EQ(parseBank(bank, text), 3);
    EXPECT_EQ(std::tuple(bank.patterns[1].header, bank.patterns[1].steps[0].note, bank.patterns[1].steps[4].flags),
              std::tuple(0x00012300u | 4u, uint8_t(4), uint8_t(0xE0)));
    EXPECT_EQ(bank.patterns[2].header, 2u);
    EXPECT_TRUE(test::untouched(bank, 3));
    // Declared 0: every line up to the next meta line, at most 64 stored.
    bank = test::sentinelBank();
    const std::string zero = "; KELO Meta tag: 256\n" + lines(70, "d-3 1 0 0\n") + "; KELO Meta tag: 1\ng-3 1 0 0\n";
    EXPECT_EQ(parseBank(bank, zero), 2);
    EXPECT_EQ(std::tuple(bank.patterns[0].header, bank.patterns[1].header, bank.patterns[1].steps[0].note),
              std::tuple(0x100u | 64u, 1u, uint8_t(7)));
    // No meta lines: everything goes to the first pattern; trailing comments are no block.
    bank = test::sentinelBank();
    EXPECT_EQ(parseBank(bank, lines(40, "d-3 1 0 0\n") + "; the end\n"), 1);
    EXPECT_EQ(bank.patterns[0].stepCount(), 40);
    EXPECT_TRUE(test::untouched(bank, 1));
    // A meta line right after another starts a pattern of its own; a header past 32 bits saturates.
    bank = test::sentinelBank();
    EXPECT_EQ(parseBank(bank, "; KELO Meta tag: 12\n; KELO Meta tag: 99999999999\nd-3 1 0 0\n"), 2);
    EXPECT_EQ(std::tuple(bank.patterns[0].header, bank.patterns[1].header), std::tuple(1u, 0xFFFFFF80u | 1u));
    // A block without step lines, or no block at all, gives one step.
    Pattern empty{};
    empty.header = 0x0500 | 16;
    parsePattern(empty, "");
    EXPECT_EQ(empty.header, 0x0500u | 1u);
    parsePattern(empty, "; KELO Meta tag: 12\n; a comment\n");
    EXPECT_EQ(empty.header, 1u);
}

TEST(PatternFiles, BankRoundTripPlacementAndSeveralFiles) {
    std::mt19937 rng(7);
    PatternBank bank{};
    for (Pattern& p : bank.patterns) {
        p.header = (rng() & 0x8000FF80u) | uint32_t(rng() % 64 + 1);
        for (PatternStep& s : p.steps) s = {uint8_t(rng() % 32), uint8_t(rng() & 0xFF)};
    }
    TempDir dir;
    const std::string path = dir.file("Bank.pat");
    ASSERT_TRUE(writeBank(bank, path));
    PatternBank back = test::sentinelBank();
    ASSERT_TRUE(readBank(back, path));
    EXPECT_EQ(formatBank(back), formatBank(bank)); // every header and sounding step, as the writer shows them
    // From pattern 120 on, blocks past 127 are ignored.
    back = test::sentinelBank();
    EXPECT_EQ(parseBank(back, formatBank(bank), 120), 8);
    EXPECT_EQ(back.patterns[127].header, bank.patterns[7].header);
    EXPECT_TRUE(test::untouched(back, 119));
    EXPECT_EQ(parseBank(back, formatBank(bank), 500), 0);
    EXPECT_FALSE(readBank(back, dir.file("none.pat")));
    EXPECT_FALSE(readPattern(back.patterns[0], dir.file("none.pat")));
    EXPECT_FALSE(writeBank(bank, dir.file("no/dir/b.pat")));
    EXPECT_FALSE(writePattern(bank.patterns[0], dir.file("no/dir/p.pat")));
    // Files into consecutive patterns: a missing one leaves its pattern, the last one falls off the end.
    const std::string a = dir.write("a.pat", "; KELO Meta tag: 1\n; Cutoff: 0.5\nd-3 1 0 0\n");
    const std::string b = dir.write("b.pat", "; KELO Meta tag: 2\n; Cutoff: 0.9\ne-3 1 0 0\ne-3 1 0 0\n");
    back = test::sentinelBank();
    ParameterCapture capture;
    EXPECT_EQ(loadPatternFiles(back, 125, {a, dir.file("missing.pat"), b, a}, &capture), 2);
    EXPECT_EQ(std::tuple(back.patterns[125].header, back.patterns[127].header), std::tuple(1u, 2u));
    EXPECT_TRUE(test::untouched(back, 126));
    EXPECT_EQ(capture.values[CaptureCutoff], 0.5f); // the first file's lines
    EXPECT_EQ(loadPatternFiles(back, 0, {b}, nullptr), 1);
}

TEST(PatternFiles, FoldersAreNotFilesAndAByteOrderMarkIsNotText) {
    TempDir dir;
    std::filesystem::create_directories(dir.file("Folder.pat"));
    PatternBank bank = test::sentinelBank();
    Pattern p = bank.patterns[5];
    EXPECT_FALSE(readBank(bank, dir.file("Folder.pat")));
    EXPECT_FALSE(readPattern(p, dir.file("Folder.pat")));
    EXPECT_TRUE(test::untouched(bank, 0) && test::samePattern(p, bank.patterns[5]));
    ASSERT_TRUE(readPattern(p, dir.write("Bom.pat", "\xEF\xBB\xBF; KELO Meta tag: 2\nd-3 1 0 0\nc-4 1 0 0\n")));
    EXPECT_EQ(std::tuple(p.header, p.steps[0].note, p.steps[1].flags),
              std::tuple(2u, uint8_t(2), uint8_t(StepGate | StepUp)));
}

TEST(ParameterFiles, CompanionPathAndThirteenLinesThatReadBack) {
    EXPECT_EQ(companionPath("C:\\KELO\\Patterns\\Acid.pat"), "C:\\KELO\\Patterns\\Acid.param");
    EXPECT_EQ(companionPath("C:\\my.dir\\Acid"), "C:\\my.dir\\Acid.param");
    EXPECT_EQ(companionPath("/home/a.b/Acid.v2.pat"), "/home/a.b/Acid.v2.param");
    EXPECT_EQ(companionPath("X.PARAM"), "X.PARAM.param");
    TempDir dir;
    RecordingParameters params;
    for (int i = 0; i < kNumParameters; ++i) params.setParameter(i, float(i) / 16.0f);
    params.setParameter(9, 0.42222222f);
    Pattern p{};
    p.header = 3;
    ASSERT_TRUE(savePatternWithParameters(p, dir.file("Bass.pat"), params));
    const std::string text = test::readText(dir.file("Bass.param"));
    EXPECT_EQ(text.rfind("\"Tune\" = 0.000000\n\"Cutoff\" = 0.062500\n", 0), 0u);
    EXPECT_NE(text.find("\n\"Volume\" = 0.500000\n\"\" = 0.422222\n\"Waveform\" = 0.625000\n"), std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 13);
    RecordingParameters back;
    parseParameterFile(back, text);
    ASSERT_EQ(back.writes.size(), 13u);
    for (int i = 0; i < kNumParameters; ++i) EXPECT_NEAR(back.values[i], params.values[i], 1e-6) << i;
    EXPECT_EQ(test::readText(dir.file("Bass.pat")).rfind("; KELO Meta tag: 3\n", 0), 0u);
    EXPECT_FALSE(savePatternWithParameters(p, dir.file("no/dir/x.pat"), params));
    // Stray text, unknown names and bad values are skipped; values are held to 0..1.
    RecordingParameters stray;
    parseParameterFile(stray, "garbage\n\"Cutoff\" = 0.3\n\"cutoff\" = 0.9\n\"Volume\" 0.5\n\"Decay\" = high\n"
                              "\"Accent\"=2.5\n\"" + std::string(500, 'x') + "\" = 0.5\n\"Tune\" = 0.7\n\"Tu");
    EXPECT_EQ(stray.writes, (Writes{{1, 0.3f}, {5, 1.0f}, {0, 0.7f}}));
}

#if !defined(_WIN32)
TEST(PatternFiles, SavesThatFailPartWayKeepTheOldFilesAndSaySo) {
    TempDir dir;
    const std::string bankPath = dir.write("Bank.pat", "the user's bank");
    const std::string patternPath = dir.write("Bass.pat", "old pattern");
    dir.write("Bass.param", "old knobs");
    RecordingParameters params;
    for (int i = 0; i < kNumParameters; ++i) params.setParameter(i, 0.5f);
    Pattern one{};
    one.setStepCount(1); // a pattern file of 29 bytes, its companion of about 300
    bool bankSaved = true, patternSaved = true;
    {
        test::FileSizeLimit limit(200);
        bankSaved = writeBank(test::sentinelBank(), bankPath);
        patternSaved = savePatternWithParameters(one, patternPath, params);
    }
    EXPECT_FALSE(bankSaved);
    EXPECT_EQ(test::readText(bankPath), "the user's bank");
    EXPECT_FALSE(patternSaved) << "the knobs beside the new pattern are the old ones";
    EXPECT_EQ(test::readText(patternPath).rfind("; KELO Meta tag: 1\n", 0), 0u);
    EXPECT_EQ(test::readText(dir.file("Bass.param")), "old knobs");
    // A companion that cannot be created at all is skipped, as it always was.
    std::filesystem::create_directories(dir.file("Lead.param"));
    EXPECT_TRUE(savePatternWithParameters(one, dir.file("Lead.pat"), params));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.folder()), {}), 5) << "no scratch file stays";
}
#endif

ParameterCapture captured(const std::string& comment) {
    ParameterCapture c;
    clearParameterCapture(c);
    parseParameterLine(c, comment);
    return c;
}

TEST(ParameterLines, CaptureByExactNameInPairs) {
    ParameterCapture c = captured(" Cutoff: 0.25\tTempo: 130 cutoff: 0.9 Version: 2 Drive:");
    EXPECT_EQ(std::tuple(c.values[CaptureCutoff], c.values[CaptureTempo]), std::tuple(0.25f, 130.0f));
    EXPECT_TRUE(c.present[CaptureVersion]);
    EXPECT_FALSE(c.present[CaptureDrive]); // no value follows
    EXPECT_FALSE(captured("Hi Cutoff: 0.25").present[CaptureCutoff]); // pairs shift
    EXPECT_FALSE(captured(std::string(40, 'a') + "Volume: 0.5").present[CaptureVolume]);
    EXPECT_TRUE(captured(std::string(80, 'a') + "Volume: 0.5").present[CaptureVolume]);
}

TEST(ParameterLines, LoadingAPatternAppliesItsLinesOverTheCompanionFile) {
    TempDir dir;
    const std::string path = dir.write("Acid.pat", "; KELO Meta tag: 2\n; Tune: 0.1 HighPass: 1 Cutoff: 0.25 "
                                                   "Tempo: 130 Waveform: 3\nc-3 1 0 0\nd-3 1 0 0\n");
    dir.write("Acid.param", "\"Cutoff\" = 0.9\n\"Decay\" = 0.6\n");
    EngineSettings s;
    Pattern p{};
    ParameterCapture capture;
    RecordingParameters params;
    std::vector<double> tempos;
    const auto setTempo = [&](double bpm) { tempos.push_back(bpm); };
    ASSERT_TRUE(loadPatternWithParameters(p, path, capture, s, params));
    applyParameterLines(capture, s, params, setTempo);
    EXPECT_EQ(p.stepCount(), 2);
    EXPECT_EQ(params.writes, (Writes{{1, 0.9f}, {4, 0.6f}, {0, 0.1f}, {1, 0.25f}, {10, 1.0f}, {12, 1.0f}}));
    EXPECT_EQ(tempos, std::vector<double>{130.0});
    s.syncMode = 1; // the host's clock rules
    applyParameterLines(capture, s, params, setTempo);
    EXPECT_EQ(tempos.size(), 1u);
    // With LoadParameters off nothing is applied, tempo included.
    s.syncMode = 0;
    s.loadParameters = 0;
    RecordingParameters off;
    ASSERT_TRUE(loadPatternWithParameters(p, path, capture, s, off));
    applyParameterLines(capture, s, off, setTempo);
    EXPECT_TRUE(off.writes.empty());
    EXPECT_EQ(tempos.size(), 1u);
    // A missing pattern fails, applies no companion file and leaves no stale lines.
    s.loadParameters = 1;
    dir.write("Gone.param", "\"Tune\" = 0.9\n");
    EXPECT_FALSE(loadPatternWithParameters(p, dir.file("Gone.pat"), capture, s, off));
    applyParameterLines(capture, s, off, setTempo);
    EXPECT_TRUE(off.writes.empty());
}

EngineSettings readFrom(const std::string& text, RecordingParameters* params = nullptr) {
    TempDir dir;
    EngineSettings s;
    EXPECT_TRUE(readEngineSettings(s, dir.write("User.ini", text), params));
    return s;
}

TEST(SettingsScanner, NumbersAndOverlongWords) {
    // Octal stops at 8; overflow saturates; non-finite decimals read as 0 or stay finite.
    EXPECT_EQ(std::tuple(parseIntAuto("08"), parseIntAuto("1.5"), parseIntAuto("99999999999999999999")),
              std::tuple(0, 1, 2147483647));
    EXPECT_EQ(std::tuple(parseDecimal("-1.5e2x"), parseDecimal("nan"), parseDecimal("inf")),
              std::tuple(-150.0, 0.0, 0.0));
    EXPECT_TRUE(std::isfinite(parseDecimal("1e999")));
    // A 10000-character word is cut into pieces of at most 79 characters.
    TextScanner sc(std::string(10000, 'k') + " = 5");
    int pairs = 0;
    scanSettings(sc, [&](const std::string& key, const std::string& value) {
        EXPECT_LE(key.size() + value.size(), 158u);
        ++pairs;
    });
    EXPECT_EQ(pairs, 64);
}

TEST(EngineSettingsRead, ClampsBasesAliasesAndOlderForms) {
    EXPECT_EQ(readFrom("accentvelocity = 300\n").accentVelocity, 127);
    EXPECT_EQ(readFrom("MidiOutputChannel = 0x0f\n").midiOutputChannel, 15);
    EXPECT_EQ(readFrom("ClearNotes = 010\n").clearNotes, 8);
    EXPECT_EQ(readFrom("EnvmodKnob = 0x1234\n").envmodKnob, 0x34);
    EXPECT_EQ(readFrom("Highpass = ON\n").highpass, 1);
    EXPECT_EQ(readFrom("Highpass = 1\n").highpass, 0);
    const EngineSettings tm5 = readFrom("TM5 = 2.5\n"); // acts in two groups
    EXPECT_EQ(std::tuple(tm5.vcoGain, tm5.filterTuning), std::tuple(2.5f, 2));
    const EngineSettings alias = readFrom("FilterLeveling = 1\nvcotuning = 0.75\nLoadKnobPositions = 0\n");
    EXPECT_EQ(std::tuple(alias.vcaLeveling, alias.vcoTuning, alias.loadParameters), std::tuple(1, 0.75f, 0));
    // Filterslope: 24 picks mode 0, 18 mode 1 with its flag, anything else mode 2.
    EXPECT_EQ(readFrom("Filterslope = 24\n").filterMode, 0);
    EngineSettings slope = readFrom("FilterMode = 0\nFilterslope = 18\n");
    EXPECT_EQ(std::tuple(slope.filterMode, slope.slopeFlag), std::tuple(1, 1));
    slope = readFrom("Filterslope = 18\nFilterslope = 2\n");
    EXPECT_EQ(std::tuple(slope.filterMode, slope.slopeFlag), std::tuple(2, 0));
    // Tempo and DefaultVolume set normalised parameters.
    RecordingParameters p;
    readFrom("Tempo = 120\nDefaultVolume = 0x40\nTempo = 400\nDefaultVolume = -3\n", &p);
    EXPECT_EQ(p.writes, (Writes{{9, 95.0f / 225.0f}, {8, 64.0f / 127.0f}, {9, 1.0f}, {8, 0.0f}}));
}

TEST(EngineSettingsRead, AByteOrderMarkDoesNotHideTheFirstKey) {
    EXPECT_EQ(readFrom("\xEF\xBB\xBF" "AccentVelocity = 50\n").accentVelocity, 50);
    EXPECT_EQ(readFrom("\xEF\xBB\xBF; comment\nMidiMode = 1\n").midiMode, 1);
}

TEST(EngineSettingsRead, EveryNumericSettingIsHeldToItsRange) {
    using Field = double (*)(const EngineSettings&);
    const struct {
        const char* key;
        Field field;
        double lowest, inside, highest;
    } ranges[] = {
        {"VcoGain", [](const EngineSettings& s) { return double(s.vcoGain); }, 0.0, 1.5, 3.0},
        {"TM5", [](const EngineSettings& s) { return double(s.vcoGain); }, 0.0, 2.5, 3.0},
        {"VCOTuning", [](const EngineSettings& s) { return double(s.vcoTuning); }, 0.0, 0.75, 1.0},
        {"TM6", [](const EngineSettings& s) { return double(s.tm6); }, 0.0, 0.5, 1.0},
        {"TM3", [](const EngineSettings& s) { return double(s.tm3); }, 0.0, 0.25, 1.0},
        {"TM4", [](const EngineSettings& s) { return double(s.tm4); }, 0.0, 3.5, 4.0},
        {"RelativeTuning", [](const EngineSettings& s) { return double(s.relativeTuning); }, 0.9, 1.0, 1.1},
        {"SmoothSpeed", [](const EngineSettings& s) { return double(s.smoothSpeed); }, 0.00001, 0.5, 1.0},
        {"TripletScale", [](const EngineSettings& s) { return s.tripletScale; }, 0.25, 1.5, 2.0},
        {"VcaDecay", [](const EngineSettings& s) { return double(s.vcaDecay); }, 0.01, 50.0, 100.0},
        {"FilterMode", [](const EngineSettings& s) { return double(s.filterMode); }, 0, 1, 2},
        {"Filterslope", [](const EngineSettings& s) { return double(s.filterMode); }, 0, 2, 2},
        {"AccentVelocity", [](const EngineSettings& s) { return double(s.accentVelocity); }, 0, 64, 127},
        {"ActiveClocks", [](const EngineSettings& s) { return double(s.activeClocks); }, 0, 1000, 2147483647},
    };
    for (const auto& r : ranges) {
        // Integers read the part before the point.
        const auto read = [&](double v) { return r.field(readFrom(std::string(r.key) + " = " + formatFixed6(v) + "\n")); };
        EXPECT_NEAR(read(-1e30), r.lowest, 1e-7) << r.key;
        EXPECT_NEAR(read(r.inside), r.inside, 1e-6) << r.key;
        EXPECT_NEAR(read(1e30), r.highest, 1e-6) << r.key;
    }
    // Any non-zero ClockSync is on, as the MIDI export always took it.
    EXPECT_EQ(std::tuple(readFrom("ClockSync = -3\n").clockSync, readFrom("ClockSync = 0\n").clockSync,
                         readFrom("ClockSync = 2\n").clockSync),
              std::tuple(1, 0, 1));
}

TEST(EngineSettingsFiles, UserOverridesConfigWriterLinesAndRoundTrip) {
    TempDir dir;
    dir.write("Config.ini", "AccentVelocity = 90\nMidiMode = 1\nMidiTransmitKnobs = -4\n");
    dir.write("User.ini", "accentvelocity = 80\n");
    EngineSettings s;
    loadEngineSettingsFiles(s, dir.folder(), nullptr);
    EXPECT_EQ(std::tuple(s.accentVelocity, s.midiMode, s.midiTransmitKnobs), std::tuple(80, 1, 0));
    EngineSettings untouched;
    EXPECT_TRUE(readEngineSettings(untouched, dir.file("Missing.ini"), nullptr));
    loadEngineSettingsFiles(untouched, dir.file("no-folder/"), nullptr);
    EXPECT_EQ(formatEngineSettings(untouched), formatEngineSettings(EngineSettings{}));
    EXPECT_FALSE(writeEngineSettings(s, dir.file("no/such/folder/Config.ini")));
    // Every written key with a value of its own, so a misnamed or swapped key shows.
    const std::string text =
        "; KELO Configuration\nFilterMode = 2\nVCALeveling = 4\nVCANoise = 5\nVcoGain = 2.718281\n"
        "VcoTuning = 0.123456\nTM6 = 0.900000\nTM3 = 0.100000\nSyncMode = 6\nMidiMode = 7\nTuningMode = 8\n"
        "ClearNotes = 9\nProgrammingMode = 10\nAccentVelocity = 11\nActiveClocks = 12\nGuiKnobMode = 13\n"
        "MidiOutput = 14\nMidiOutputChannel = 15\nLoadParameters = 16\nLoadDefaultBank = 17\n"
        "OutputClipping = 18\nMidiTransmitKnobs = 19\nMidiKeyProgramming = 20\n";
    s = readFrom(text);
    EXPECT_EQ(std::tuple(s.vcaNoise, s.accentVelocity, s.midiKeyProgramming), std::tuple(5, 11, 20));
    ASSERT_TRUE(writeEngineSettings(s, dir.file("Config.ini")));
    EXPECT_EQ(test::readText(dir.file("Config.ini")), text);
}

TEST(EngineSettingsFiles, ResetRestoresThePanelsDefaultsAndKeepsTheRest) {
    EngineSettings s = readFrom(
        "VcoGain = 3\nTM3 = 1\nVcoTuning = 1\nTM6 = 1\nFirststep = 0\nProgrammingMode = 1\nFilterMode = 2\n"
        "VCALeveling = 1\nFilterslope = 2\nHighpass = On\nTuningMode = 1\nMidiOutput = 1\nResetOscillator = 1\n"
        "SyncMode = 1\nMidiMode = 2\nVCANoise = 0\nClearNotes = 0\nAccentVelocity = 5\nGuiKnobMode = 7\nEggs = 0\n"
        "EmulationMode = 1\nMidiOutputChannel = 3\nLoadParameters = 0\nLoadDefaultBank = 0\nOutputClipping = 1\n"
        "TM4 = 2\nCapNotes = 1\nActiveClocks = 5\n");
    s.slopeFlag = 1;
    resetEngineSettings(s);
    EngineSettings expected;
    expected.tm6 = 0.0f; // the panel's Reset, unlike a new instance
    expected.tm4 = 2.0f; // not the panel's to reset
    expected.capNotes = 1;
    expected.activeClocks = 5;
    EXPECT_EQ(formatEngineSettings(s), formatEngineSettings(expected));
    EXPECT_EQ(std::tuple(s.firstStep, s.slopeFlag, s.highpass, s.eggs, s.emulationMode, s.tm4, s.capNotes),
              std::tuple(1, 0, 0, 1, 3, 2.0f, 1));
}

constexpr std::array<int32_t, 4> kGuard{0x5A5A5A5A, 0x5A5A5A5A, 0x5A5A5A5A, 0x5A5A5A5A};

// The tables between guard words, so a write past either one is caught in any build.
struct Maps {
    std::array<int32_t, 4> before = kGuard;
    CcMap map;
    std::array<int32_t, 4> middle = kGuard;
    KeyCommandTable keys;
    std::array<int32_t, 4> after = kGuard;
    Maps() {
        setDefaultCcMap(map);
        for (int i = 0; i < kKeyCommandSlots; ++i) keys.slots[i] = 48 + i;
    }
    bool guardsIntact() const { return before == kGuard && middle == kGuard && after == kGuard; }
};

Maps parsed(const std::string& text) {
    Maps m;
    parseMidiMap(m.map, m.keys, text);
    EXPECT_TRUE(m.guardsIntact()) << text;
    return m;
}

// What differs from the default tables, as "cc<controller>=<parameter>" and "key<slot>=<note>".
std::string changes(const Maps& m) {
    const Maps defaults;
    std::string out;
    const auto note = [&](const char* what, int i, int32_t value) {
        out.append(" ").append(what).append(std::to_string(i)).append("=").append(std::to_string(value));
    };
    for (int i = 0; i < kCcMapSize; ++i)
        if (m.map.entries[i] != defaults.map.entries[i]) note("cc", i, m.map.entries[i]);
    for (int i = 0; i < kKeyCommandSlots; ++i)
        if (m.keys.slots[i] != defaults.keys.slots[i]) note("key", i, m.keys.slots[i]);
    return out;
}

TEST(CcMap, PerParameterKeysAndTableSections) {
    const std::pair<const char*, const char*> cases[] = {
        // Every name moves its parameter off its default controller.
        {"MidiCC.Tune = 100\nMidiCC.Cutoff = 101\nMidiCC.Resonance = 102\nMidiCC.Envmod = 103\nMidiCC.Decay = 104\n"
         "MidiCC.Accent = 105\nMidiCC.Drive = 106\nMidiCC.Distortion = 107\nMidiCC.Volume = 108\nMidiCC.Tempo = 0\n"
         "MidiCC.Waveform = 110\nMidiCC.DistortionType = 111\nMidiCC.HighpassFilter = 112\n",
         " cc0=9 cc7=-1 cc70=-1 cc71=-1 cc74=-1 cc76=-1 cc77=-1 cc78=-1 cc79=-1 cc80=-1 cc91=-1 cc92=-1 cc100=0 cc101=1"
         " cc102=2 cc103=3 cc104=4 cc105=5 cc106=6 cc107=7 cc108=8 cc110=10 cc111=11 cc112=12"},
        // Bases as in the settings files; there is no controller 200.
        {"midicc.tempo = 0x10\nMidiCC.HighpassFilter = 010\nMidiCC.DistortionType = 200\n", " cc8=12 cc16=9"},
        {"MidiMapSize = 4\n5\n-1\n12\n3\n", " cc0=5 cc2=12 cc3=3"},
        // Size 14 skips the section; its numbers then pair up as keys and are ignored.
        {"MidiKeyMapping = 14\n1\n2\n3\n4\nMidiKeyMapping = 2\n60 61\n", " key0=60 key1=61"},
        {"MidiMapSize = 0\n9\n9\nMidiMapSize = 129\n9\n9\n", ""},
        // A list cut short by the end, or by a word that is then read as the next key.
        {"MidiMapSize = 128\n1\n2", " cc0=1 cc1=2"},
        {"MidiMapSize = 5\n5\nMidiCC.Cutoff = 3\n", " cc0=5 cc3=1 cc74=-1"},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(changes(parsed(text)), expected) << text;
}

TEST(CcMap, EntriesOutsideTheirMeaningReadAsNoneAndCutTextIsNoticed) {
    Maps m;
    EXPECT_TRUE(parseMidiMap(m.map, m.keys, "MidiMapSize = 3\n13\n-5\n12\nMidiKeyMapping = 3\n128\n-1\n127\n"));
    EXPECT_EQ(changes(m), " cc2=12 key0=-1 key1=-1 key2=127");
    EXPECT_EQ(changes(parsed("\xEF\xBB\xBFMidiCC.Cutoff = 20\n")), " cc20=1 cc74=-1") << "byte-order mark";
    EXPECT_TRUE(parseMidiMap(m.map, m.keys, ";")) << "a comment is a whole file";
    const std::string whole = formatMidiMap(m.map, m.keys);
    EXPECT_TRUE(parseMidiMap(m.map, m.keys, whole));
    for (const std::string& cut : {std::string(), std::string(" \n"), whole.substr(0, whole.find("\n", 300)),
                                   whole.substr(0, whole.rfind("MidiKeyMapping") + 14), whole.substr(0, whole.size() - 1),
                                   whole.substr(0, whole.size() - 4)})
        EXPECT_FALSE(parseMidiMap(m.map, m.keys, cut)) << cut.size() << " of " << whole.size();
}

// The pause callbacks are plain functions: the file they rewrite is reached through here.
std::string mapPath;
void put(const std::string& text) { std::ofstream(mapPath, std::ios::binary) << text; }

TEST(CcMap, StartUpAndShutdownKeepTheUsersFile) {
    TempDir dir;
    mapPath = dir.file("KELO/MidiCC.ini");
    const std::string& path = mapPath;
    // No file yet: the first instance leaves the defaults there for the user to edit.
    Maps first;
    const MidiMapOnDisk disk = loadMidiMapFile(first.map, first.keys, path);
    EXPECT_FALSE(disk.fileExisted);
    ASSERT_TRUE(saveMidiMapIfChanged(first.map, first.keys, disk, path));
    EXPECT_EQ(test::readText(path), formatMidiMap(first.map, first.keys));
    // An instance that changed nothing leaves the file as another instance wrote it meanwhile;
    // one that learned something writes its tables.
    const std::string users = "MidiCC.Cutoff = 20\n";
    put(users);
    Maps a, b, c, d;
    const MidiMapOnDisk diskA = loadMidiMapFile(a.map, a.keys, path);
    EXPECT_EQ(changes(a), " cc20=1 cc74=-1");
    put("MidiCC.Cutoff = 21\n");
    EXPECT_TRUE(saveMidiMapIfChanged(a.map, a.keys, diskA, path));
    EXPECT_EQ(test::readText(path), "MidiCC.Cutoff = 21\n");
    learnController(a.map, 30, 2);
    EXPECT_TRUE(saveMidiMapIfChanged(a.map, a.keys, diskA, path));
    EXPECT_EQ(changes(parsed(test::readText(path))), " cc20=1 cc30=2 cc74=-1 cc76=-1");
    // A file caught half-written is read again until it is whole...
    const std::string cut = "MidiMapSize = 128\n-1\n1\nMidiKeyMapping = 13\n1\n2";
    put(cut);
    const MidiMapOnDisk whole = loadMidiMapFile(b.map, b.keys, path, [] { put("MidiCC.Cutoff = 20\n"); });
    EXPECT_EQ(changes(b), " cc20=1 cc74=-1") << "nothing of the cut reading stays";
    EXPECT_EQ(std::memcmp(&whole.map, &b.map, sizeof b.map), 0);
    // ...and one that stays cut is taken for what it holds, never for "no map", and never
    // written back unchanged.
    put(cut);
    static int pauses = 0;
    const MidiMapOnDisk diskD = loadMidiMapFile(d.map, d.keys, path, [] { ++pauses; });
    EXPECT_EQ(pauses, kMidiMapReadAttempts - 1);
    EXPECT_TRUE(diskD.fileExisted);
    EXPECT_EQ(changes(d), " cc1=1 key0=1 key1=2");
    EXPECT_TRUE(saveMidiMapIfChanged(d.map, d.keys, diskD, path));
    EXPECT_EQ(test::readText(path), cut);
    // No file at start-up, but one by shutdown: it was another instance's to write.
    std::filesystem::remove(path);
    const MidiMapOnDisk diskC = loadMidiMapFile(c.map, c.keys, path);
    put(users);
    EXPECT_TRUE(saveMidiMapIfChanged(c.map, c.keys, diskC, path));
    EXPECT_EQ(test::readText(path), users);
}

TEST(CcMap, FileWriteAndReadBack) {
    TempDir dir;
    Maps m;
    learnController(m.map, 20, 1);
    learnController(m.map, 7, 1); // takes Volume's controller, leaves its own and the one learned
    learnController(m.map, 128, 2);
    learnController(m.map, -1, 2);
    EXPECT_EQ(changes(m), " cc7=1 cc74=-1");
    learnController(m.map, 1, 9);
    m.keys.slots[12] = -1;
    const std::string path = dir.file("MidiCC.ini");
    ASSERT_TRUE(writeMidiMap(m.map, m.keys, path));
    const std::string text = test::readText(path);
    EXPECT_EQ(text.rfind("MidiMapSize = 128\n-1\n9\n-1\n", 0), 0u);
    EXPECT_NE(text.find("\n-1\nMidiKeyMapping = 13\n48\n49\n"), std::string::npos);
    Maps back;
    std::memset(&back.map, 0x11, sizeof back.map);
    std::memset(&back.keys, 0x11, sizeof back.keys);
    ASSERT_TRUE(readMidiMap(back.map, back.keys, path));
    EXPECT_FALSE(readMidiMap(back.map, back.keys, dir.file("absent.map")));
    EXPECT_EQ(changes(back), " cc1=9 cc7=1 cc74=-1 key12=-1");
    EXPECT_TRUE(back.guardsIntact());
    EXPECT_FALSE(writeMidiMap(m.map, m.keys, dir.file("absent/dir/x.map")));
}

} // namespace
} // namespace kelo
