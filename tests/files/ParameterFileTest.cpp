#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <vector>

#include "FileTestSupport.h"
#include "files/ParameterFile.h"
#include "files/PatternFile.h"

namespace kelo {
namespace {

using test::RecordingParameters;
using test::TempDir;

ParameterCapture captured(const std::string& comment) {
    ParameterCapture c;
    clearParameterCapture(c);
    parseParameterLine(c, comment);
    return c;
}

TEST(ParameterFiles, CompanionPathNeverNamesThePatternFile) {
    EXPECT_EQ(companionPath("C:\\KELO\\Patterns\\Acid.pat"), "C:\\KELO\\Patterns\\Acid.param");
    EXPECT_EQ(companionPath("C:\\my.dir\\Acid"), "C:\\my.dir\\Acid.param");
    EXPECT_EQ(companionPath("/home/a.b/Acid.v2.pat"), "/home/a.b/Acid.v2.param");
    EXPECT_EQ(companionPath("X.PARAM"), "X.PARAM.param");
}

TEST(ParameterFiles, SaveWritesThirteenLinesThatReadBack) {
    TempDir dir;
    RecordingParameters params;
    for (int i = 0; i < kParameterCount; ++i) params.setParameter(i, float(i) / 16.0f);
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
    for (int i = 0; i < kParameterCount; ++i) EXPECT_NEAR(back.slots[i], params.slots[i], 1e-6) << i;

    // Without an extension the pattern file stays what it is.
    ASSERT_TRUE(savePatternWithParameters(p, dir.file("Plain"), params));
    EXPECT_EQ(test::readText(dir.file("Plain")).rfind("; KELO Meta tag: 3\n", 0), 0u);
    EXPECT_FALSE(savePatternWithParameters(p, dir.file("no/dir/x.pat"), params));
}

TEST(ParameterFiles, ReaderSkipsStrayTextUnknownNamesAndKeepsValuesNormalised) {
    RecordingParameters params;
    parseParameterFile(params, "garbage\n\"Cutoff\" = 0.3\n\"cutoff\" = 0.9\n\"Volume\" 0.5\n\"Decay\" = high\n"
                               "\"Accent\"=2.5\n\"" + std::string(500, 'x') + "\" = 0.5\n\"Tune\" = 0.7\n\"Tu");
    using W = std::vector<std::pair<int, float>>;
    EXPECT_EQ(params.writes, (W{{1, 0.3f}, {5, 1.0f}, {0, 0.7f}}));
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

TEST(ParameterLines, ApplyHonoursLoadParametersAndSyncMode) {
    const ParameterCapture c = captured("Tune: 0.1 HighPass: 1 Cutoff: 0.25 Tempo: 130 Waveform: 3");
    EngineSettings s;
    std::vector<double> tempos;
    const auto setTempo = [&](double bpm) { tempos.push_back(bpm); };

    RecordingParameters params;
    applyParameterLines(c, s, params, setTempo);
    using W = std::vector<std::pair<int, float>>;
    EXPECT_EQ(params.writes, (W{{0, 0.1f}, {1, 0.25f}, {10, 1.0f}, {12, 1.0f}}));
    EXPECT_EQ(tempos, std::vector<double>{130.0});

    s.syncMode = 1;
    applyParameterLines(c, s, params, setTempo);
    EXPECT_EQ(tempos.size(), 1u);

    s.syncMode = 0;
    s.loadParameters = 0;
    RecordingParameters off;
    applyParameterLines(c, s, off, setTempo);
    EXPECT_TRUE(off.writes.empty());
    EXPECT_EQ(tempos.size(), 1u);
}

TEST(ParameterLines, LoadingAPatternWithCompanionAndLines) {
    TempDir dir;
    const std::string path =
        dir.write("Acid.pat", "; KELO Meta tag: 2\n; Cutoff: 0.25 Tempo: 130\nc-3 1 0 0\nd-3 1 0 0\n");
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
    // The line wins over the companion file.
    EXPECT_EQ(std::tuple(params.slots[1], params.slots[4]), std::tuple(0.25f, 0.6f));
    EXPECT_EQ(tempos, std::vector<double>{130.0});

    // A missing pattern fails, applies no companion file and leaves no stale lines.
    dir.write("Gone.param", "\"Tune\" = 0.9\n");
    RecordingParameters missing;
    EXPECT_FALSE(loadPatternWithParameters(p, dir.file("Gone.pat"), capture, s, missing));
    applyParameterLines(capture, s, missing, setTempo);
    EXPECT_TRUE(missing.writes.empty());

    s.loadParameters = 0;
    ASSERT_TRUE(loadPatternWithParameters(p, path, capture, s, missing));
    EXPECT_TRUE(missing.writes.empty());
}

} // namespace
} // namespace kelo
