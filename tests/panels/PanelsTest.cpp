// The preferences panel and the analyzer window of the real editor on the real plug-in core,
// offscreen, clicked at the controls' places; the instance's MIDI out is recorded.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>

#include "analyzer/AudioPreview.h"
#include "analyzer/PatternDetector.h"
#include "analyzer/window/AnalyzerHandler.h"
#include "analyzer/window/CWaveDraw.h"
#include "editor/Preferences.h"
#include "editor/controls/TextControls.h"
#include "tests/editor/EditorFixture.h"
#include "toolkit/controls/CButtons.h"
#include "tools/kelo-render/AudioWriter.h"

namespace kelo::test {
namespace {

using P = PreferencesHandler;
using A = AnalyzerHandler;
using gui::CPoint;
using Midi = std::vector<std::array<int, 3>>;
using namespace std::string_literals;

Midi midiSent; // what the instance handed to the host

VstIntPtr VSTCALLBACK midiHost(AEffect* e, VstInt32 op, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    if (op != audioMasterProcessEvents || !ptr) return recordingHost(e, op, index, value, ptr, opt);
    const auto* events = static_cast<const VstEvents*>(ptr);
    for (VstInt32 i = 0; i < events->numEvents; ++i) {
        const auto* m = reinterpret_cast<const VstMidiEvent*>(events->events[i]);
        if (m && m->type == kVstMidiType)
            midiSent.push_back({m->midiData[0] & 0xff, m->midiData[1] & 0xff, m->midiData[2] & 0xff});
    }
    return 1;
}

constexpr int32_t kMeasureFrames = 16 * 11025;

// One measure of sixteen sixteenths at 60 BPM: a decaying sawtooth per step, louder on every
// fourth, rests at `rest` and six steps later.
std::vector<float> recording(int rest) {
    std::vector<float> out(static_cast<size_t>(kMeasureFrames));
    for (int i = 0; i < kMeasureFrames; ++i) {
        const int k = i / 11025, t = i % 11025, period = 400 - 50 * (k % 5);
        if (k != rest && k != rest + 6)
            out[size_t(i)] = float((k % 4 ? 0.4 : 0.8) * std::exp(-t / 3e3) * (double(t % period) / period - 0.5));
    }
    return out;
}

class Panels : public EditorOnPlugin {
protected:
    void SetUp() override {
        EditorOnPlugin::SetUp();
        midiSent.clear();
        hostCallback = &midiHost;
        resumed = true;
    }
    void TearDown() override {
        analyzerOptions().pitch = analyzerOptions().rhythm = true;
        analyzerOptions().matchTempo = false;
        EditorOnPlugin::TearDown();
    }
    void open(bool analyzer) {
        start();
        seq().current() = Pattern{8, {}};
        analyzer ? editor->openAnalyzer() : editor->openPreferences();
        idle();
        prefs = editor->preferences();
        window = analyzer ? editor->analyzer() : nullptr;
        ASSERT_TRUE(analyzer ? window && window->isOpen() : prefs && prefs->isShown());
    }
    gui::CControl* row(int32_t tag) { return window ? window->control(tag) : prefs->control(tag); }
    // Frame coordinates of a point given in a panel's own coordinates.
    static CPoint at(const gui::CView* panel, double x, double y) {
        return CPoint(panel->getViewSize().left + x, panel->getViewSize().top + y);
    }
    CPoint middle(int32_t tag) {
        const CPoint m = row(tag)->getViewSize().getCenter();
        return at(row(tag)->getParentView(), m.x, m.y);
    }
    void press(int32_t tag) { click(middle(tag)); }
    void drag(int32_t tag, double dy) { EditorOnPlugin::drag(middle(tag), dy); }
    std::string text(int32_t tag) {
        if (auto* b = dynamic_cast<gui::CTextButton*>(row(tag))) return b->getTitle();
        if (auto* spin = dynamic_cast<CMySpinBox*>(row(tag))) return spin->getText();
        return static_cast<gui::CTextLabel*>(row(tag))->getText();
    }
    // A value given to a control as a drag would leave it.
    void setByDrag(int32_t tag, float value) {
        row(tag)->beginEdit();
        row(tag)->setValue(value);
        row(tag)->valueChanged();
        row(tag)->endEdit();
        idle();
    }
    uint32_t paintedAt(CPoint p) {
        frame()->invalid();
        idle();
        return pixel(p);
    }
    // Every view of a panel as "left top width height", in the order the panel was built.
    static std::string layout(const gui::CViewContainer* panel) {
        std::string out;
        for (const gui::CView* v : panel->children()) {
            const gui::CRect r = v->getViewSize();
            for (double x : {r.left, r.top, r.getWidth(), r.getHeight()}) out += std::to_string(int(x)) + " ";
            out.back() = ',';
        }
        return out;
    }
    // Writes the measure as a 16-bit WAV file named for its steps, and loads it.
    void loadRecording(int rest = 3, std::string path = {}) {
        render::AudioWriter writer;
        std::string error;
        const std::vector<float> r = recording(rest);
        if (path.empty()) {
            path = (home.dataFolder() / "acid 16step.wav").string();
            ASSERT_TRUE(writer.open(path, 44100, render::SampleFormat::Pcm16, error) &&
                        writer.write(r.data(), r.data(), r.size()) && writer.commit(error))
                << error;
        }
        services.fileAnswers.push_back({path});
        press(A::kLoadAudio);
        idle();
    }
    CPoint wave(double x, double y) { return at(window->panel(), 32 + x, 90 + y); }
    EngineSettings& engine() { return plugin->settings(); }

    P* prefs = nullptr;
    A* window = nullptr;
};

TEST_F(Panels, ThePreferencesPanelIsDrawnOverTheEditorItsBoxesFlipTheirSettingsTheEmulationIsARadioGroup) {
    open(false);
    gui::CViewContainer* panel = prefs->panel();
    const std::pair<int32_t, std::function<int32_t()>> boxes[] = {
        {P::kClearConfirm, [this] { return editor->settings().clearConfirm; }},
        {P::kAuditionNotes, [this] { return editor->settings().auditionNotes; }},
        {P::kClearNotes, [this] { return engine().clearNotes; }},
        {P::kProgrammingMode, [this] { return engine().programmingMode; }},
        {P::kLoadParameters, [this] { return engine().loadParameters; }},
        {P::kLoadDefaultBank, [this] { return engine().loadDefaultBank; }},
        {P::kVolumeLeveling, [this] { return engine().vcaLeveling; }},
        {P::kVcaClicks, [this] { return engine().vcaNoise; }},
        {P::kNonlinearVca, [this] { return engine().outputClipping; }},
        {P::kSyncToHost, [this] { return engine().syncMode; }},
        {P::kNoteMode, [this] { return engine().midiMode; }},
        {P::kMidiOutput, [this] { return engine().midiOutput; }},
        {P::kStandardTuning, [this] { return engine().tuningMode == 0 ? 1 : 0; }}, // ticked for mode 0
    };
    for (const auto& [tag, setting] : boxes) {
        const int32_t before = setting();
        press(tag);
        EXPECT_EQ(std::pair(setting(), row(tag)->getValue()), std::pair(1 - before, float(1 - before))) << tag;
        press(tag);
        EXPECT_EQ(setting(), before) << tag;
    }
    // Reopened, it shows what changed meanwhile; a 5 from a file shows ticked and clicks to 0.
    prefs->hide();
    engine().clearNotes = 5;
    engine().midiMode = 1;
    editor->openPreferences();
    EXPECT_EQ(row(P::kClearNotes)->getValue() + row(P::kNoteMode)->getValue(), 2.0f);
    press(P::kClearNotes);
    EXPECT_EQ(engine().clearNotes, 0);
    press(P::kNoteMode);
    plugin->voiceControl().gate = 1;
    press(P::kNoteMode); // on again: releases the voice
    EXPECT_EQ(plugin->voiceControl().gate, 0);
    ASSERT_EQ(engine().filterMode, 1);
    for (int32_t tag : {P::kFilter24, P::kFilter18Pure, P::kFilter18, P::kFilter18}) {
        press(tag);
        EXPECT_EQ(engine().filterMode, tag - P::kFilter24);
        for (int32_t box : {P::kFilter24, P::kFilter18, P::kFilter18Pure})
            EXPECT_EQ(row(box)->getValue(), box == tag ? 1.0f : 0.0f) << tag << " " << box;
    }
    EXPECT_EQ(panel->getViewSize(), gui::CRect(146, 129, 146 + 708, 129 + 362));
    EXPECT_EQ(layout(panel),
              "20 8 400 32,300 120 33 33,283 153 66 16,283 169 66 16,360 120 33 33,343 153 66 16,"
              "343 169 66 16,420 120 33 33,403 153 66 16,403 169 66 16,300 190 33 33,283 223 66 16,"
              "283 239 66 16,50 48 200 16,50 64 200 16,50 80 200 16,50 96 200 16,50 112 200 16,"
              "50 128 200 16,50 144 200 16,50 176 200 16,50 192 200 16,50 208 200 16,300 48 200 16,"
              "300 64 200 16,300 80 200 16,300 96 200 16,500 48 200 16,300 256 200 16,300 272 200 16,"
              "300 288 200 16,500 64 200 16,500 80 90 20,600 80 67 18,500 96 90 20,600 96 67 18,"
              "500 230 160 20,500 260 160 20,670 -5 42 42,500 290 160 20,");
    EXPECT_EQ(paintedAt(at(panel, 20, 340)), 0xff282828u);
    editor->openPreferences(); // again: one Done closes it
    press(P::kDone);
    EXPECT_FALSE(prefs->isShown() || panel->isVisible());
    editor->openPreferences();
    editor->openAnalyzer();
    EXPECT_FALSE(prefs->isShown() || panel->isVisible());
    EXPECT_TRUE(editor->analyzer()->isOpen());
    editor->openPreferences();
    EXPECT_FALSE(editor->analyzer()->isOpen());
    click(at(panel, 680, 10)); // the close button
    EXPECT_FALSE(prefs->isShown());
    EXPECT_NE(paintedAt(at(panel, 20, 340)), 0xff282828u); // drawn over no more
}

TEST_F(Panels, PreferencesKnobsSpinBoxesSaveDefaultsAndResetReachTheInstanceAndItsFiles) {
    files["Gui.ini"] = std::string(kGuiIni) + "FunctionButton1 = 4\nClearConfirm = 1\n";
    open(false);
    EXPECT_EQ(text(P::kPreGainValue) + text(P::kFilterVccValue), " 50% 25%"); // pre-gain 2.0: the middle
    drag(P::kPreGainKnob, -40);
    EXPECT_FLOAT_EQ(engine().vcoGain, row(P::kPreGainKnob)->getValue() * 2.0f + 1.0f);
    for (int32_t tag : {P::kVcoTuningKnob, P::kFilterVccKnob, P::kVcfFreqKnob}) setByDrag(tag, 0.375f);
    EXPECT_EQ(std::tuple(engine().vcoTuning, engine().tm6, engine().tm3), std::tuple(0.375f, 0.375f, 0.375f));
    EXPECT_EQ(text(P::kVcfFreqValue), " 37%");
    drag(P::kOutputChannel, -400);
    EXPECT_EQ(std::pair(engine().midiOutputChannel, text(P::kOutputChannel)), std::pair(15, "16"s));
    press(P::kFilter24);
    press(P::kSyncToHost);
    setByDrag(P::kVcfFreqKnob, 0.75f);
    setByDrag(P::kAccentLevel, 64.0f / 127.0f);
    EXPECT_EQ(std::pair(engine().accentVelocity, text(P::kAccentLevel)), std::pair(64, " 64"s));
    press(P::kSaveDefaults);
    auto saved = [this](const char* file, const char* line) { return home.read(file).find(line) != ""s.npos; };
    for (const char* line : {"\nFilterMode = 0\n", "\nTM3 = 0.750000\nSyncMode = 1\n", "\nAccentVelocity = 64\n"})
        EXPECT_TRUE(saved("Config.ini", line)) << line;
    EXPECT_TRUE(saved("Gui.ini", "\nClearConfirm = 1\n") && saved("Gui.ini", "\nFunctionButton1 = 4\n"));
    // Moving the output sends All Notes Off on the old channel; Reset, on the last one.
    setByDrag(P::kOutputChannel, 3.0f * 0.0625f);
    press(P::kMidiOutput);
    midiSent.clear();
    setByDrag(P::kOutputChannel, 6.0f * 0.0625f);
    EXPECT_EQ(midiSent, (Midi{{0xB2, 123, 0}}));
    midiSent.clear();
    seq().patternLock = 1;
    press(P::kReset);
    EXPECT_EQ(midiSent, (Midi{{0xB5, 123, 0}}));
    EXPECT_EQ(std::pair(row(P::kMidiOutput)->getValue(), text(P::kOutputChannel)), std::pair(0.0f, "--"s));
    press(P::kDone); // without saving: the defaults are this instance's only
    EXPECT_EQ(std::tuple(engine().filterMode, engine().syncMode, engine().accentVelocity, seq().patternLock),
              std::tuple(1, 0, 100, 0));
    EXPECT_EQ(std::pair(engine().tm6, engine().tm3), std::pair(0.0f, 0.5f)); // not the start-up 0.25 for TM6
    EXPECT_EQ(std::pair(editor->settings().clearConfirm, editor->settings().functionButton1), std::pair(0, -1));
    EXPECT_EQ(editor->settings().skin, "RededazadEdadar2");
    EXPECT_EQ(editor->skinOrigin(), SkinOrigin::BuiltIn); // what the next opening shows
    EXPECT_TRUE(saved("Config.ini", "\nFilterMode = 0\n"));
    editor->openPreferences();
    EXPECT_EQ(std::pair(row(P::kFilter18)->getValue(), text(P::kVcfFreqValue)), std::pair(1.0f, " 50%"s));
    EXPECT_TRUE(services.messages.empty());
    std::filesystem::remove(home.dataFolder() / "Gui.ini");
    std::filesystem::create_directory(home.dataFolder() / "Gui.ini");
    press(P::kSaveDefaults);
    ASSERT_EQ(services.messages.size(), 1u);
    EXPECT_NE(services.messages[0].text.find("Could not save"), std::string::npos);
    EXPECT_EQ(services.messages[0].kind, platform::MessageKind::kOk);
}

TEST_F(Panels, TheAnalyzerShowsTheRecordingItsStepsThePreviewAndPaintsFlagsOfTheCurrentPattern) {
    analyzerOptions().matchTempo = true;
    open(true);
    EXPECT_EQ(layout(window->panel()),
              "20 8 400 32,240 180 500 16,240 200 500 16,300 220 400 16,300 240 400 16,300 260 400 16,"
              "240 280 600 16,240 300 600 16,32 64 100 20,142 64 100 20,252 64 100 20,32 180 100 20,"
              "32 200 100 20,32 220 100 20,32 240 100 20,32 260 100 20,370 64 190 20,570 64 48 20,"
              "608 65 67 18,668 -5 42 42,32 322 100 20,32 90 640 64,");
    EXPECT_EQ(row(A::kMatchTempo)->getValue(), 1.0f);
    CWaveDraw* view = window->waveView();
    EXPECT_EQ(view->getBuffer(), &plugin->audioPreview().front());
    loadRecording();
    EXPECT_EQ(services.fileRequests.at(0).filters.size(), 2u);
    EXPECT_EQ(view->getFramesShown(), kMeasureFrames);
    // The name says 16 steps; nothing else of the pattern changes.
    EXPECT_EQ(std::pair(pattern().stepCount(), int(pattern().steps[0].flags)), std::pair(16, 0));
    EXPECT_EQ(text(A::kSteps), "16");
    EXPECT_NEAR(seq().state.tempoBpm, 60.0, 1.0);
    // Fewer steps in the same measure: the tempo follows, also while the spin box is dragged.
    setByDrag(A::kSteps, 7.0f / 63.0f);
    EXPECT_NEAR(seq().state.tempoBpm, 30.0, 0.5);
    setByDrag(A::kSteps, 15.0f / 63.0f);
    press(A::kPlayAudio);
    EXPECT_EQ(text(A::kPlayAudio), "Stop Audio");
    std::vector<float> left(512), right(512);
    float* outputs[2] = {left.data(), right.data()};
    for (int i = 0; i < 54; ++i) plugin->processReplacing(nullptr, outputs, 512);
    idle(40); // the view moves its position line by itself: 27648 of 176400 frames is column 100
    EXPECT_EQ(std::pair(pixel(wave(100, 1)), pixel(wave(100, 62))), std::pair(0xffff6400u, 0xffff6400u));
    press(A::kPlayAudio);
    EXPECT_EQ(std::pair(plugin->audioPreview().playing(), text(A::kPlayAudio)), std::pair(false, "Play Audio"s));
    // Step lines every 40 columns, the other columns the largest sample of their share mirrored
    // about the centre, the last one only the centre line; a second take is drawn anew.
    for (int rest : {3, 5}) {
        if (rest != 3) loadRecording(rest);
        EXPECT_EQ(paintedAt(wave(639, 32)), 0xff808080u);
        const WaveBuffer& shown = plugin->audioPreview().front();
        int columns = 0;
        for (int c = 1; c < 639; ++c) {
            const bool stepLine = c % 40 == 0;
            EXPECT_EQ(c == 100 || ((pixel(wave(c, 5)) >> 16) & 0xff) > 190, c == 100 || stepLine) << c;
            const float* s = shown.samples.data() + int(double(c) / 640 * kMeasureFrames);
            const int high = int(*std::max_element(s, s + (kMeasureFrames + 639) / 640) * 32.0f);
            if (stepLine || c == 100 || high < 2 || high > 30) continue;
            ++columns;
            EXPECT_EQ(pixel(wave(c, 32 - high)), 0xff8c8c8cu) << c;
            EXPECT_EQ(pixel(wave(c, 32 + high - 1)), 0xff8c8c8cu) << c;
            EXPECT_EQ(pixel(wave(c, 32 - high - 1)), 0xff202020u) << c;
        }
        EXPECT_GT(columns, 100) << rest;
    }
    home.write("notes.wav", "not a recording at all");
    loadRecording(3, (home.dataFolder() / "notes.wav").string());
    EXPECT_NE(services.messages.back().text.find("Could not load"), std::string::npos);
    EXPECT_EQ(view->getBuffer()->frames(), kMeasureFrames);
    seq().state.stepIndex = 5;
    press(A::kPlayPattern);
    EXPECT_EQ(std::pair(int(seq().state.running), text(A::kPlayPattern)), std::pair(1, "Stop Pattern"s));
    press(A::kPlayPattern);
    EXPECT_EQ(std::tuple(int(seq().state.running), int(seq().state.stepIndex), text(A::kPlayPattern)),
              std::tuple(0, 0, "Play Pattern"s));
    plugin->settings().syncMode = 1;
    press(A::kMatchTempo);
    press(A::kMatchTempo);
    EXPECT_EQ(std::pair(analyzerOptions().matchTempo.load(), plugin->settings().syncMode), std::pair(true, 0));
    for (int32_t tag : {A::kRhythm, A::kPitch}) press(tag);
    EXPECT_EQ(row(A::kRhythm)->getValue() + row(A::kPitch)->getValue(), 0.0f);
    EXPECT_FALSE(analyzerOptions().rhythm.load() || analyzerOptions().pitch.load());
    // Done hides it and stops the recording; so does the close button.
    press(A::kPlayAudio);
    press(A::kClose);
    EXPECT_FALSE(window->isOpen() || window->panel()->isVisible() || plugin->audioPreview().playing());
    editor->openAnalyzer();
    click(at(window->panel(), 680, 10));
    EXPECT_FALSE(window->isOpen());
    // Painting flags changes only those under the pointer, in the current pattern.
    editor->openAnalyzer();
    auto patternLabel = [&] { return static_cast<gui::CTextLabel*>(row(A::kPatternNumber))->getText(); };
    editor->link().selectPattern(7);
    idle(40); // the window notices by itself
    EXPECT_EQ(patternLabel(), "Pattern 7");
    Pattern played{16, {}};
    for (int i = 0; i < 16; ++i) played.steps[i] = {uint8_t(i % 5), uint8_t(i == 3 || i == 9 ? 0 : StepGate)};
    seq().current() = played;
    idle();
    window->refreshAnalyzer();
    const PatternBank before = seq().bank;
    // The gate row: step 3 gets a gate; dragged far out and into other rows nothing else
    // changes; back in, step 9 gets one too.
    down(wave(3 * 40 + 20, 2));
    for (CPoint p : {CPoint(-5e3, -5e3), CPoint(5e3, 5e3), CPoint(-5e3, 5e3), CPoint(5e3, -5e3)}) move(p);
    for (CPoint p : {wave(-1, 2), wave(640, 2), wave(140, 62), wave(140, -300), wave(380, 1)}) move(p);
    up(wave(9 * 40 + 20, 1));
    idle();
    PatternBank expected = before;
    Pattern& edited = expected.patterns[7];
    edited.steps[3].flags |= StepGate;
    edited.steps[9].flags |= StepGate;
    EXPECT_EQ(std::memcmp(&seq().bank, &expected, sizeof expected), 0);
    // The right button clears; the accent row painted across six steps; each row's own flag.
    click(wave(3 * 40 + 5, 3), gui::kRButton);
    edited.steps[3].flags &= uint8_t(~StepGate);
    down(wave(1 * 40 + 5, 38));
    for (int x = 1 * 40 + 5; x <= 6 * 40 + 5; x += 10) move(wave(x, 38));
    up(wave(6 * 40 + 5, 38));
    idle();
    for (int i = 1; i <= 6; ++i) edited.steps[i].flags |= StepAccent;
    EXPECT_EQ(std::memcmp(&seq().bank, &expected, sizeof expected), 0);
    for (int flagRow = 0; flagRow < 4; ++flagRow) click(wave(9 * 40 + 5, 5 + 14 * flagRow));
    EXPECT_EQ(seq().bank.patterns[7].steps[9].flags, StepGate | StepUp | StepDown | StepAccent | StepSlide);
    press(A::kTriplet);
    drag(A::kSteps, -500);
    EXPECT_TRUE(seq().bank.patterns[7].triplet());
    EXPECT_EQ(std::pair(seq().bank.patterns[7].stepCount(), text(A::kSteps)), std::pair(64, "64"s));
    EXPECT_EQ(std::memcmp(&seq().bank.patterns[0], &before.patterns[0], sizeof(Pattern)), 0);
}

} // namespace
} // namespace kelo::test
