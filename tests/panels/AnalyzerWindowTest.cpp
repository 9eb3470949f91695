// The analyzer window on a recording the instrument itself played: Load Audio through the
// file dialog, the waveform drawn, Detect against the pattern that was played, the preview
// buttons, Match Tempo; painting flags with the mouse, also dragged far outside the view; the
// window working on whichever pattern is current.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "analyzer/AudioPreview.h"
#include "analyzer/PatternDetector.h"
#include "analyzer/window/AnalyzerHandler.h"
#include "analyzer/window/CWaveDraw.h"
#include "editor/controls/TextControls.h"
#include "files/PatternFile.h"
#include "plugin/Parameters.h"
#include "tests/panels/PanelsFixture.h"
#include "toolkit/controls/CButtons.h"
#include "toolkit/controls/CParamDisplay.h"
#include "tools/kelo-render/AudioWriter.h"

namespace kelo::test {
namespace {

using A = AnalyzerHandler;
using gui::CPoint;

constexpr int kRate = 44100;
constexpr double kBpm = 60.0;
constexpr int32_t kMeasureFrames = 16 * 11025; // sixteen sixteenths at 60 BPM

// Sixteen steps, all played but for the rests at 3 and 9.
Pattern playedPattern() {
    Pattern p{16, {}};
    for (int i = 0; i < 16; ++i) p.steps[i] = PatternStep{uint8_t(i % 5), uint8_t(i == 3 || i == 9 ? 0 : StepGate)};
    return p;
}

// One measure like it: a decaying sawtooth per played step, louder on every fourth.
const std::vector<float>& recording() {
    static const std::vector<float> samples = [] {
        std::vector<float> out(static_cast<size_t>(kMeasureFrames));
        for (int i = 0; i < kMeasureFrames; ++i) {
            const int k = i / 11025, t = i % 11025;
            const double period = 400.0 / (1.0 + k % 5 * 0.25);
            if (k != 3 && k != 9)
                out[size_t(i)] = float((k % 4 ? 0.4 : 0.8) * std::exp(-t / 3000.0) * (std::fmod(t, period) / period - 0.5));
        }
        return out;
    }();
    return samples;
}

class Analyzer : public Panels {
protected:
    void TearDown() override {
        AnalyzerOptions& o = analyzerOptions();
        o.pitch = o.rhythm = true;
        o.matchTempo = false;
        Panels::TearDown();
    }
    void open() {
        start();
        seq().current() = Pattern{8, {}};
        editor->openAnalyzer();
        idle();
        window = editor->analyzer();
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(window->isOpen());
    }
    // Writes the measure as a 16-bit WAV file and returns its path.
    std::string writeRecording(const std::string& name = "acid 16step.wav") {
        const std::string path = (home.dataFolder() / name).string();
        render::AudioWriter writer;
        std::string error;
        const std::vector<float>& r = recording();
        EXPECT_TRUE(writer.open(path, kRate, render::SampleFormat::Pcm16, error) &&
                    writer.write(r.data(), r.data(), r.size()) && writer.commit(error))
            << error;
        return path;
    }
    void loadAudio(const std::string& path) {
        services.fileAnswers.push_back({path});
        click(A::kLoadAudio);
        idle();
    }
    gui::CControl* control(int32_t tag) { return window->control(tag); }
    void click(int32_t tag) { EditorOnPlugin::click(middle(window->panel(), control(tag))); }
    std::string title(int32_t tag) { return static_cast<gui::CTextButton*>(control(tag))->getTitle(); }
    std::string stepsText() { return static_cast<CMySpinBox*>(control(A::kSteps))->getText(); }
    // A point of the waveform view (640 x 64) in frame coordinates.
    CPoint wave(double x, double y) { return at(window->panel(), 32 + x, 90 + y); }
    Pattern& bankPattern(int i) { return seq().bank.patterns[i]; }

    A* window = nullptr;
};

TEST_F(Analyzer, LoadAudioReadsTheChosenRecordingIntoTheView) {
    open();
    EXPECT_EQ(title(A::kPlayAudio), "Play Audio");
    click(A::kDetect); // nothing to detect from yet
    EXPECT_EQ(services.messages.at(0).text, "Load a recording of one measure of the pattern first.");
    services.messages.clear();
    EXPECT_EQ(stepsText(), " 8");
    // Nothing loaded: the words in white in the middle, the view's grey around them.
    EXPECT_EQ(paintedAt(wave(2, 2)), 0xff202020u);
    int white = 0;
    for (int x = 220; x < 420; ++x)
        for (int y = 16; y < 48; ++y) white += pixel(wave(x, y)) == 0xffffffffu;
    EXPECT_GT(white, 20);

    loadAudio(writeRecording());
    ASSERT_EQ(services.fileRequests.size(), 1u);
    const platform::FileDialogRequest& r = services.fileRequests[0];
    EXPECT_EQ(r.title, "Choose An Audio File");
    ASSERT_EQ(r.filters.size(), 2u);
    EXPECT_EQ(r.filters[0].description, ".aif");
    EXPECT_EQ(r.filters[0].extensions, (std::vector<std::string>{"aif", "aiff"}));
    EXPECT_EQ(r.filters[1].description, ".wav");
    EXPECT_EQ(r.filters[1].extensions, (std::vector<std::string>{"wav"}));

    CWaveDraw* view = window->waveView();
    ASSERT_NE(view->getBuffer(), nullptr);
    EXPECT_EQ(view->getBuffer(), &plugin->audioPreview().front());
    EXPECT_EQ(view->getBuffer()->frames(), kMeasureFrames);
    EXPECT_EQ(view->getFramesShown(), kMeasureFrames);
    // The name says 16 steps; nothing else of the pattern changed.
    EXPECT_EQ(pattern().stepCount(), 16);
    EXPECT_EQ(pattern().steps[0].flags, 0);
    EXPECT_EQ(stepsText(), "16");
    EXPECT_FLOAT_EQ(control(A::kSteps)->getValue(), 15.0f / 63.0f);
    EXPECT_FLOAT_EQ(view->getColumnWidth(), 40.0f);

    // A file that is no recording says why and changes nothing.
    home.write("notes.wav", "not a recording at all");
    loadAudio((home.dataFolder() / "notes.wav").string());
    ASSERT_EQ(services.messages.size(), 1u);
    EXPECT_NE(services.messages[0].text.find("Could not load"), std::string::npos);
    EXPECT_EQ(view->getBuffer()->frames(), kMeasureFrames);
}

TEST_F(Analyzer, TheViewDrawsPeaksStepLinesAndThePositionThePreviewReached) {
    open();
    loadAudio(writeRecording());
    click(A::kPlayAudio);
    EXPECT_TRUE(plugin->audioPreview().playing());
    EXPECT_EQ(title(A::kPlayAudio), "Stop Audio");
    // 27648 frames played: the position line at column 100 (27648 / 176400 of 640).
    std::vector<float> left(512), right(512);
    float* outputs[2] = {left.data(), right.data()};
    for (int i = 0; i < 54; ++i) plugin->processReplacing(nullptr, outputs, 512);
    idle(40); // the view notices the move by itself
    EXPECT_EQ(pixel(wave(100, 1)), 0xffff6400u);
    EXPECT_EQ(pixel(wave(100, 62)), 0xffff6400u);

    auto bright = [](uint32_t p) { return ((p >> 16) & 0xff) > 190 && ((p >> 8) & 0xff) > 190 && (p & 0xff) > 190; };
    for (int k = 0; k < 16; ++k) {
        EXPECT_TRUE(bright(pixel(wave(40 * k, 5)))) << k;
        EXPECT_FALSE(bright(pixel(wave(40 * k + 1, 5)))) << k;
        EXPECT_FALSE(bright(pixel(wave(40 * k + 20, 5)))) << k;
    }
    // Each column shows the largest sample of its share of the recording, mirrored about the
    // centre: the line ends exactly there.
    const WaveBuffer& shown = plugin->audioPreview().front();
    int columns = 0;
    for (int c = 1; c < 639; ++c) {
        if (c % 40 == 0 || c == 100) continue;
        const int first = int(double(c) / 640 * kMeasureFrames);
        const float* s = shown.samples.data() + first;
        const int high = int(*std::max_element(s, s + (kMeasureFrames + 639) / 640) * 32.0f);
        if (high < 2 || high > 30) continue;
        ++columns;
        EXPECT_EQ(pixel(wave(c, 32 - high)), 0xff8c8c8cu) << c;
        EXPECT_EQ(pixel(wave(c, 32 + high - 1)), 0xff8c8c8cu) << c;
        EXPECT_EQ(pixel(wave(c, 32 - high - 1)), 0xff202020u) << c;
    }
    EXPECT_GT(columns, 100);

    click(A::kPlayAudio);
    EXPECT_FALSE(plugin->audioPreview().playing());
    EXPECT_EQ(title(A::kPlayAudio), "Play Audio");
}

TEST_F(Analyzer, PaintingChangesOnlyTheFlagsUnderThePointerWhereverTheDragGoes) {
    open();
    seq().current() = playedPattern();
    idle();
    window->refreshAnalyzer();
    const PatternBank before = seq().bank;

    // The top four pixel rows are the gate row: step 3 (a rest) gets a gate; dragged far out
    // in every direction and into the bottom rows nothing else changes; back in, step 9 (a
    // rest too) is painted like step 3.
    down(wave(3 * 40 + 20, 2));
    for (CPoint p : {CPoint(-5000, -5000), CPoint(5000, 5000), CPoint(-5000, 5000), CPoint(5000, -5000)})
        move(p);
    move(wave(-1, 2));
    move(wave(640, 2));
    move(wave(3 * 40 + 20, 62));
    move(wave(3 * 40 + 20, -300));
    move(wave(9 * 40 + 20, 1));
    up(wave(9 * 40 + 20, 1));
    idle();
    PatternBank expected = before;
    expected.patterns[0].steps[3].flags |= StepGate;
    expected.patterns[0].steps[9].flags |= StepGate;
    EXPECT_EQ(std::memcmp(&seq().bank, &expected, sizeof expected), 0);

    // The right button clears; the accent row painted across six steps.
    EditorOnPlugin::click(wave(3 * 40 + 5, 3), gui::kRButton);
    expected.patterns[0].steps[3].flags &= uint8_t(~StepGate);
    down(wave(1 * 40 + 5, 38));
    for (int x = 1 * 40 + 5; x <= 6 * 40 + 5; x += 10) move(wave(x, 38));
    up(wave(6 * 40 + 5, 38));
    idle();
    for (int i = 1; i <= 6; ++i) expected.patterns[0].steps[i].flags |= StepAccent;
    EXPECT_EQ(std::memcmp(&seq().bank, &expected, sizeof expected), 0);
    for (int row = 1; row <= 4; ++row) {
        const uint8_t masks[] = {0, StepUp, StepDown, StepAccent, StepSlide};
        EditorOnPlugin::click(wave(9 * 40 + 5, 4 + 14 * (row - 1) + 1));
        EXPECT_TRUE(bankPattern(0).steps[9].flags & masks[row]) << row;
    }
}

TEST_F(Analyzer, TheWindowWorksOnTheCurrentPatternAndShowsWhich) {
    open();
    auto patternLabel = [&] { return static_cast<gui::CTextLabel*>(control(A::kPatternNumber))->getText(); };
    EXPECT_EQ(patternLabel(), "Pattern 0");
    const Pattern first = bankPattern(0);
    editor->link().selectPattern(7);
    idle(40); // the window notices by itself
    EXPECT_EQ(patternLabel(), "Pattern 7");

    click(A::kTriplet);
    EXPECT_TRUE(bankPattern(7).triplet());
    drag(middle(window->panel(), control(A::kSteps)), -500);
    EXPECT_EQ(bankPattern(7).stepCount(), 64);
    EXPECT_EQ(stepsText(), "64");
    drag(middle(window->panel(), control(A::kSteps)), 500);
    EXPECT_EQ(bankPattern(7).stepCount(), 1);
    loadAudio(writeRecording());
    EXPECT_EQ(bankPattern(7).stepCount(), 16);
    const bool gate = bankPattern(7).steps[0].flags & StepGate;
    EditorOnPlugin::click(wave(5, 2));
    EXPECT_NE(bool(bankPattern(7).steps[0].flags & StepGate), gate);
    EXPECT_EQ(std::memcmp(&bankPattern(0), &first, sizeof first), 0);
}

TEST_F(Analyzer, PreviewButtonsMatchTempoAndReopeningKeepTheirState) {
    open();
    loadAudio(writeRecording());
    seq().state.stepIndex = 5;
    click(A::kPlayPattern);
    EXPECT_EQ(seq().state.running, 1);
    EXPECT_EQ(title(A::kPlayPattern), "Stop Pattern");
    seq().state.stepIndex = 5;
    click(A::kPlayPattern);
    EXPECT_EQ(seq().state.running, 0);
    EXPECT_EQ(seq().state.stepIndex, 0);
    EXPECT_EQ(title(A::kPlayPattern), "Play Pattern");

    plugin->settings().syncMode = 1;
    click(A::kMatchTempo);
    EXPECT_TRUE(analyzerOptions().matchTempo.load());
    EXPECT_EQ(plugin->settings().syncMode, 0);
    EXPECT_NEAR(seq().state.tempoBpm, kBpm, 1.0);
    for (int32_t tag : {A::kRhythm, A::kPitch}) {
        click(tag);
        EXPECT_EQ(control(tag)->getValue(), 0.0f);
    }
    EXPECT_FALSE(analyzerOptions().rhythm.load() || analyzerOptions().pitch.load());

    // Done hides it and stops the recording; opening again shows the same recording and steps.
    click(A::kPlayAudio);
    click(A::kClose);
    EXPECT_FALSE(window->isOpen());
    EXPECT_FALSE(window->panel()->isVisible());
    EXPECT_FALSE(plugin->audioPreview().playing());
    editor->openAnalyzer();
    editor->openAnalyzer();
    EXPECT_TRUE(window->isOpen());
    EXPECT_EQ(window->waveView()->getFramesShown(), kMeasureFrames);
    EXPECT_EQ(stepsText(), "16");
    EXPECT_EQ(control(A::kRhythm)->getValue(), 0.0f);
    // The close button, once, closes it.
    EditorOnPlugin::click(at(window->panel(), 680, 10));
    EXPECT_FALSE(window->isOpen());
}

} // namespace
} // namespace kelo::test
