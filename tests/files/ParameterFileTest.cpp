#include <gtest/gtest.h>

#include <vector>

#include "RecordingParameters.h"
#include "TempDir.h"
#include "files/ParameterFile.h"
#include "files/PatternFile.h"

namespace kelo {
namespace {

using test::RecordingParameters;
using test::TempDir;

struct TempoLog {
    std::vector<double> calls;
    std::function<void(double)> sink() {
        return [this](double bpm) { calls.push_back(bpm); };
    }
};

ParameterCapture captured(const std::string& comment) {
    ParameterCapture c;
    clearParameterCapture(c);
    parseParameterLine(c, comment);
    return c;
}

TEST(CompanionPath, ReplacesTheExtensionAndNeverNamesThePatternFile) {
    EXPECT_EQ(companionPath("C:\\KELO\\Patterns\\Acid.pat"), "C:\\KELO\\Patterns\\Acid.param");
    EXPECT_EQ(companionPath("/home/u/a.b/Acid"), "/home/u/a.b/Acid.param");
    EXPECT_EQ(companionPath("C:\\my.dir\\Acid"), "C:\\my.dir\\Acid.param");
    EXPECT_EQ(companionPath("Acid"), "Acid.param");
    EXPECT_EQ(companionPath("Acid.v2.pat"), "Acid.v2.param");
    EXPECT_EQ(companionPath("x.param"), "x.param.param");
    EXPECT_EQ(companionPath("X.PARAM"), "X.PARAM.param");
}

TEST(ParameterFile, SavingWritesPatternAndThirteenLines) {
    TempDir dir;
    RecordingParameters params;
    const float values[kParameterCount] = {0.5f, 0.25f, 0.0f, 0.1f, 0.1f, 0.0f, 0.25f,
                                           0.0f, 1.0f, 0.42222222f, 0.0f, 1.0f, 0.75f};
    for (int i = 0; i < kParameterCount; ++i) params.setParameter(i, values[i]);
    Pattern p{};
    p.header = 3;
    ASSERT_TRUE(savePatternWithParameters(p, dir.file("Bass.pat"), params));
    EXPECT_EQ(test::readText(dir.file("Bass.pat")).rfind("; KELO Meta tag: 3\n", 0), 0u);
    EXPECT_EQ(test::readText(dir.file("Bass.param")),
              "\"Tune\" = 0.500000\n\"Cutoff\" = 0.250000\n\"Resonance\" = 0.000000\n"
              "\"Envmod\" = 0.100000\n\"Decay\" = 0.100000\n\"Accent\" = 0.000000\n"
              "\"Drive\" = 0.250000\n\"Distortion\" = 0.000000\n\"Volume\" = 1.000000\n"
              "\"\" = 0.422222\n\"Waveform\" = 0.000000\n\"Distortion Type\" = 1.000000\n"
              "\"Highpass Filter\" = 0.750000\n");

    // Reading it back sets all thirteen, the nameless tempo parameter included.
    RecordingParameters back;
    parseParameterFile(back, test::readText(dir.file("Bass.param")));
    ASSERT_EQ(back.writes.size(), 13u);
    for (int i = 0; i < kParameterCount; ++i) {
        EXPECT_EQ(back.writes[i].index, i);
        EXPECT_NEAR(back.writes[i].value, values[i], 1e-6);
    }
}

TEST(ParameterFile, PathWithoutExtensionKeepsThePatternFile) {
    TempDir dir;
    RecordingParameters params;
    Pattern p{};
    p.header = 1;
    ASSERT_TRUE(savePatternWithParameters(p, dir.file("Plain"), params));
    EXPECT_EQ(test::readText(dir.file("Plain")).rfind("; KELO Meta tag: 1\n", 0), 0u);
    EXPECT_EQ(test::readText(dir.file("Plain.param")).rfind("\"Tune\" = ", 0), 0u);

    EXPECT_FALSE(savePatternWithParameters(p, dir.file("no/dir/x.pat"), params));
}

TEST(ParameterFile, ReaderSkipsStrayTextAndUnknownNames) {
    RecordingParameters params;
    parseParameterFile(params,
                       "garbage line\n\"Cutoff\" = 0.3\n\"cutoff\" = 0.9\n\"Volume\" 0.5\n"
                       "\"Decay\" = high\n\"Accent\"=2.5\n\"" + std::string(500, 'x') +
                           "\" = 0.5\n\"Drive\" = -1\n\"Tune\" = 0.7");
    ASSERT_EQ(params.writes.size(), 4u);
    EXPECT_EQ(params.writes[0].index, 1);
    EXPECT_FLOAT_EQ(params.writes[0].value, 0.3f);
    EXPECT_EQ(params.writes[1].index, 5);
    EXPECT_EQ(params.writes[1].value, 1.0f); // normalised values stay in 0..1
    EXPECT_EQ(params.writes[2].index, 6);
    EXPECT_EQ(params.writes[2].value, 0.0f);
    EXPECT_EQ(params.writes[3].index, 0);
    EXPECT_FLOAT_EQ(params.writes[3].value, 0.7f);
    RecordingParameters none;
    parseParameterFile(none, "\"Tune\" = ");
    parseParameterFile(none, "\"Tun");
    EXPECT_TRUE(none.writes.empty());
}

TEST(ParameterLines, PairsAreCapturedByExactName) {
    ParameterCapture c = captured(" Cutoff: 0.25\tTempo: 130 cutoff: 0.9 Version: 2 Drive:");
    EXPECT_TRUE(c.present[CaptureCutoff]);
    EXPECT_EQ(c.values[CaptureCutoff], 0.25f);
    EXPECT_TRUE(c.present[CaptureTempo]);
    EXPECT_EQ(c.values[CaptureTempo], 130.0f);
    EXPECT_TRUE(c.present[CaptureVersion]);
    EXPECT_FALSE(c.present[CaptureDrive]); // no value follows
    EXPECT_EQ(c.values[CaptureDrive], -1.0f);

    // Words pair up from the start, so an odd word in front shifts every pair.
    EXPECT_FALSE(captured("Hi Cutoff: 0.25").present[CaptureCutoff]);
    EXPECT_TRUE(captured("Hi there Cutoff: 0.25").present[CaptureCutoff]);
    // A word longer than 40 characters is split at 40.
    EXPECT_TRUE(captured(std::string(40, 'a') + "Volume: 0.5").present[CaptureVolume] == 0);
    EXPECT_TRUE(captured(std::string(80, 'a') + "Volume: 0.5").present[CaptureVolume]);
    EXPECT_EQ(captured("Resonance: abc").values[CaptureResonance], 0.0f);
}

TEST(ParameterLines, ApplyHonoursLoadParametersAndSyncMode) {
    const ParameterCapture c = captured("Tune: 0.1 HighPass: 1 Cutoff: 0.25 Tempo: 130 Waveform: 3");
    EngineSettings s;

    RecordingParameters params;
    TempoLog tempo;
    applyParameterLines(c, s, params, tempo.sink());
    ASSERT_EQ(params.writes.size(), 4u);
    // Applied in name order: Tune, Cutoff, ..., Waveform, ..., HighPass.
    EXPECT_EQ(params.writes[0].index, 0);
    EXPECT_EQ(params.writes[1].index, 1);
    EXPECT_EQ(params.writes[1].value, 0.25f);
    EXPECT_EQ(params.writes[2].index, 10);
    EXPECT_EQ(params.writes[2].value, 1.0f);
    EXPECT_EQ(params.writes[3].index, 12);
    EXPECT_EQ(tempo.calls, std::vector<double>{130.0});

    s.syncMode = 1;
    RecordingParameters synced;
    TempoLog syncedTempo;
    applyParameterLines(c, s, synced, syncedTempo.sink());
    EXPECT_EQ(synced.writes.size(), 4u);
    EXPECT_TRUE(syncedTempo.calls.empty());

    s.syncMode = 0;
    s.loadParameters = 0;
    RecordingParameters off;
    TempoLog offTempo;
    applyParameterLines(c, s, off, offTempo.sink());
    EXPECT_TRUE(off.writes.empty());
    EXPECT_TRUE(offTempo.calls.empty());

    s.loadParameters = 1;
    TempoLog zero;
    RecordingParameters p2;
    applyParameterLines(captured("Tempo: 0 Version: 5"), s, p2, zero.sink());
    EXPECT_TRUE(zero.calls.empty());
    EXPECT_TRUE(p2.writes.empty());
}

TEST(ParameterLines, LoadingAPatternWithCompanionAndLines) {
    TempDir dir;
    const std::string path = dir.write(
        "Acid.pat", "; KELO Meta tag: 2\n; Cutoff: 0.25 Tempo: 130\nc-3 1 0 0\nd-3 1 0 0\n");
    dir.write("Acid.param", "\"Cutoff\" = 0.9\n\"Decay\" = 0.6\n");
    EngineSettings s;

    Pattern p{};
    ParameterCapture capture;
    RecordingParameters params;
    TempoLog tempo;
    ASSERT_TRUE(loadPatternWithParameters(p, path, capture, s, params));
    applyParameterLines(capture, s, params, tempo.sink());
    EXPECT_EQ(p.stepCount(), 2);
    EXPECT_EQ(params.slots[1], 0.25f); // the parameter line wins over the companion file
    EXPECT_EQ(params.slots[4], 0.6f);
    EXPECT_EQ(tempo.calls, std::vector<double>{130.0});

    // LoadParameters off: the pattern loads, no knob moves.
    s.loadParameters = 0;
    RecordingParameters untouched;
    TempoLog noTempo;
    ASSERT_TRUE(loadPatternWithParameters(p, path, capture, s, untouched));
    applyParameterLines(capture, s, untouched, noTempo.sink());
    EXPECT_TRUE(untouched.writes.empty());
    EXPECT_TRUE(noTempo.calls.empty());

    // A missing pattern file reports failure, applies no companion and leaves no stale lines.
    s.loadParameters = 1;
    dir.write("Gone.param", "\"Tune\" = 0.9\n");
    RecordingParameters missing;
    EXPECT_FALSE(loadPatternWithParameters(p, dir.file("Gone.pat"), capture, s, missing));
    applyParameterLines(capture, s, missing, noTempo.sink());
    EXPECT_TRUE(missing.writes.empty());
}

} // namespace
} // namespace kelo
