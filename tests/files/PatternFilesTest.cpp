// Pattern files and their parameters: the pattern text, companion ".param" files and parameter lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>

#include "FileTestSupport.h"
#include "files/ParameterFile.h"
#include "files/PatternFile.h"

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
    EXPECT_EQ(std::tuple(p.header, p.steps[0].note, p.steps[1].flags), std::tuple(2u, uint8_t(2), uint8_t(StepGate | StepUp)));
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

} // namespace
} // namespace kelo
