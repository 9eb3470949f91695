// The preferences panel and the analyzer window in the real editor on the real plug-in core,
// offscreen: clicks and drags through the frame's entry points at positions inside a panel; the
// MIDI the instance sends is recorded. The analyzer works on a recording the test writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>

#include "analyzer/AudioPreview.h"
#include "analyzer/PatternDetector.h"
#include "analyzer/window/AnalyzerHandler.h"
#include "analyzer/window/CWaveDraw.h"
#include "editor/Preferences.h"
#include "editor/controls/TextControls.h"
#include "tests/editor/EditorFixture.h"
#include "toolkit/CViewContainer.h"
#include "toolkit/controls/CButtons.h"
#include "toolkit/controls/CParamDisplay.h"
#include "tools/kelo-render/AudioWriter.h"

namespace kelo::test {
namespace {

using P = PreferencesHandler;
using A = AnalyzerHandler;
using gui::CPoint;
using Midi = std::vector<std::array<int, 3>>;

// MIDI messages the instance handed to the host, three bytes each.
Midi midiSent;

VstIntPtr VSTCALLBACK midiHost(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    if (opcode != audioMasterProcessEvents || !ptr) return recordingHost(e, opcode, index, value, ptr, opt);
    const auto* events = static_cast<const VstEvents*>(ptr);
    for (VstInt32 i = 0; i < events->numEvents; ++i) {
        const auto* m = reinterpret_cast<const VstMidiEvent*>(events->events[i]);
        if (m && m->type == kVstMidiType)
            midiSent.push_back({m->midiData[0] & 0xff, m->midiData[1] & 0xff, m->midiData[2] & 0xff});
    }
    return 1;
}

class Panels : public EditorOnPlugin {
protected:
    void SetUp() override {
        EditorOnPlugin::SetUp();
        midiSent.clear();
        hostCallback = &midiHost;
        resumed = true;
    }
    // Frame coordinates of a point given in a panel's own coordinates.
    static CPoint at(const gui::CViewContainer* panel, double x, double y) {
        return CPoint(panel->getViewSize().left + x, panel->getViewSize().top + y);
    }
    static CPoint middle(const gui::CViewContainer* panel, const gui::CControl* c) {
        const CPoint m = c->getViewSize().getCenter();
        return at(panel, m.x, m.y);
    }
    // Everything repainted, then the pixel at p.
    uint32_t paintedAt(CPoint p) {
        frame()->invalid();
        idle();
        return pixel(p);
    }
    // A value given to a control as a drag would leave it.
    void setByDrag(gui::CControl* c, float value) {
        c->beginEdit();
        c->setValue(value);
        c->valueChanged();
        c->endEdit();
        idle();
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
};

// ------------------------------------------------------------------------------ preferences

class Preferences : public Panels {
protected:
    void open() {
        start();
        editor->openPreferences();
        idle();
        prefs = editor->preferences();
        ASSERT_TRUE(prefs && prefs->isShown());
    }
    gui::CControl* row(int32_t tag) { return prefs->control(tag); }
    void click(int32_t tag) { EditorOnPlugin::click(middle(prefs->panel(), row(tag))); }
    void drag(int32_t tag, double dy) { EditorOnPlugin::drag(middle(prefs->panel(), row(tag)), dy); }
    std::string text(int32_t tag) {
        if (auto* spin = dynamic_cast<CMySpinBox*>(row(tag))) return spin->getText();
        return static_cast<gui::CTextLabel*>(row(tag))->getText();
    }
    void setByDrag(int32_t tag, float value) { Panels::setByDrag(row(tag), value); }
    EngineSettings& engine() { return plugin->settings(); }

    P* prefs = nullptr;
};

TEST_F(Preferences, EveryBoxFlipsItsSettingAndTheEmulationBoxesAreOneRadioGroup) {
    open();
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
        ASSERT_TRUE(before == 0 || before == 1) << tag;
        EXPECT_EQ(row(tag)->getValue(), float(before)) << tag;
        click(tag);
        EXPECT_EQ(setting(), 1 - before) << tag;
        EXPECT_EQ(row(tag)->getValue(), float(1 - before)) << tag;
        click(tag);
        EXPECT_EQ(setting(), before) << tag;
    }
    // Reopened, it shows settings changed meanwhile; a value outside 0/1 from a file shows
    // ticked, and one click turns it off (not to 1 - 5).
    prefs->hide();
    engine().clearNotes = 5;
    engine().midiMode = 1;
    editor->openPreferences();
    EXPECT_EQ(row(P::kClearNotes)->getValue() + row(P::kNoteMode)->getValue(), 2.0f);
    click(P::kClearNotes);
    EXPECT_EQ(engine().clearNotes, 0);
    // Turning note mode on releases the voice.
    click(P::kNoteMode);
    plugin->voiceControl().gate = 1;
    click(P::kNoteMode);
    EXPECT_EQ(plugin->voiceControl().gate, 0);

    ASSERT_EQ(engine().filterMode, 1);
    for (int32_t tag : {P::kFilter24, P::kFilter18Pure, P::kFilter18, P::kFilter18}) {
        click(tag);
        EXPECT_EQ(engine().filterMode, tag - P::kFilter24);
        for (int32_t box : {P::kFilter24, P::kFilter18, P::kFilter18Pure})
            EXPECT_EQ(row(box)->getValue(), box == tag ? 1.0f : 0.0f) << tag << " " << box;
    }
}

TEST_F(Preferences, KnobsAndSpinBoxesSetTheirValuesAndShowThem) {
    open();
    // Pre-gain 2.0 shows the knob at its middle.
    EXPECT_FLOAT_EQ(row(P::kPreGainKnob)->getValue(), 0.5f);
    EXPECT_EQ(text(P::kPreGainValue), " 50%");
    EXPECT_EQ(text(P::kFilterVccValue), " 25%");
    drag(P::kPreGainKnob, -40);
    const float gain = row(P::kPreGainKnob)->getValue();
    EXPECT_GT(gain, 0.5f);
    EXPECT_FLOAT_EQ(engine().vcoGain, gain * 2.0f + 1.0f);
    char caption[16];
    std::snprintf(caption, sizeof caption, "%3d%%", int(gain * 100.0f));
    EXPECT_EQ(text(P::kPreGainValue), caption);
    const std::pair<int32_t, float EngineSettings::*> knobs[] = {
        {P::kVcoTuningKnob, &EngineSettings::vcoTuning}, {P::kFilterVccKnob, &EngineSettings::tm6},
        {P::kVcfFreqKnob, &EngineSettings::tm3}};
    for (auto [tag, field] : knobs) {
        drag(tag, 30);
        EXPECT_LT(row(tag)->getValue(), 0.5f) << tag;
        EXPECT_FLOAT_EQ(engine().*field, row(tag)->getValue()) << tag;
    }

    // Spin boxes: dragged past their ends, and the values at the edges of a step.
    drag(P::kAccentLevel, 400);
    EXPECT_EQ(engine().accentVelocity, 0);
    EXPECT_EQ(text(P::kAccentLevel), "  0");
    setByDrag(P::kAccentLevel, 100.0f / 127.0f);
    EXPECT_EQ(engine().accentVelocity, 100);
    EXPECT_EQ(text(P::kAccentLevel), "100");
    engine().midiOutputChannel = 4;
    setByDrag(P::kOutputChannel, 0.0f);
    EXPECT_EQ(engine().midiOutputChannel, -1);
    EXPECT_EQ(text(P::kOutputChannel), "--");
    setByDrag(P::kOutputChannel, 0.0625f);
    EXPECT_EQ(text(P::kOutputChannel), " 1");
    drag(P::kOutputChannel, -400);
    EXPECT_EQ(engine().midiOutputChannel, 15);
    EXPECT_EQ(text(P::kOutputChannel), "16");

    // Moving the output sends All Notes Off on the old channel; Reset, on the last one.
    setByDrag(P::kOutputChannel, 3.0f * 0.0625f);
    click(P::kMidiOutput);
    midiSent.clear();
    setByDrag(P::kOutputChannel, 6.0f * 0.0625f);
    EXPECT_EQ(midiSent, (Midi{{0xB2, 123, 0}}));
    EXPECT_TRUE(engine().midiOutputActive());
    midiSent.clear();
    click(P::kReset);
    EXPECT_EQ(midiSent, (Midi{{0xB5, 123, 0}}));
    EXPECT_EQ(engine().midiOutput, 0);
    EXPECT_EQ(row(P::kMidiOutput)->getValue(), 0.0f);
    EXPECT_EQ(text(P::kOutputChannel), "--");
}

TEST_F(Preferences, SaveDefaultsWritesBothFilesAndResetBringsBackTheDefaultsForThisInstanceOnly) {
    files["Gui.ini"] = std::string(kGuiIni) + "FunctionButton1 = 4\nClearConfirm = 1\n";
    open();
    click(P::kFilter24);
    click(P::kSyncToHost);
    setByDrag(P::kVcfFreqKnob, 0.75f);
    setByDrag(P::kAccentLevel, 64.0f / 127.0f);
    click(P::kSaveDefaults);
    EXPECT_EQ(home.read("Config.ini"),
              "; KELO Configuration\nFilterMode = 0\nVCALeveling = 0\nVCANoise = 1\nVcoGain = 2.000000\n"
              "VcoTuning = 0.500000\nTM6 = 0.250000\nTM3 = 0.750000\nSyncMode = 1\nMidiMode = 0\n"
              "TuningMode = 0\nClearNotes = 1\nProgrammingMode = 0\nAccentVelocity = 64\nActiveClocks = 88200\n"
              "GuiKnobMode = 2\nMidiOutput = 0\nMidiOutputChannel = -1\nLoadParameters = 1\nLoadDefaultBank = 1\n"
              "OutputClipping = 0\nMidiTransmitKnobs = 0\nMidiKeyProgramming = 0\n");
    EXPECT_EQ(home.read("Gui.ini"),
              "; KELO GUI configuration\n; Value of \"\" means default (built-in) skin\nSkin = \"EveryTag\"\n"
              "SkinShowDialog = 1\nClearConfirm = 1\nAuditionNotes = 1\nKnobMode = 2\nKnobSensitivity = 300\n"
              ";\nFunctionButton1 = 4\nFunctionButton2 = -1\n");

    // Reset, then close without saving: the files stay, the instance has the defaults.
    seq().patternLock = 1;
    click(P::kReset);
    click(P::kDone);
    EXPECT_FALSE(prefs->isShown());
    EXPECT_EQ(std::tuple(engine().filterMode, engine().syncMode, engine().accentVelocity, seq().patternLock),
              std::tuple(1, 0, 100, 0));
    EXPECT_FLOAT_EQ(engine().tm6, 0.0f); // Reset's own value, not the start-up 0.25
    EXPECT_FLOAT_EQ(engine().tm3, 0.5f);
    EXPECT_EQ(editor->settings().clearConfirm, 0);
    EXPECT_EQ(editor->settings().functionButton1, -1);
    EXPECT_EQ(editor->settings().skin, "RededazadEdadar2");
    EXPECT_EQ(editor->skinOrigin(), SkinOrigin::BuiltIn); // what the next opening shows
    EXPECT_NE(home.read("Config.ini").find("FilterMode = 0\n"), std::string::npos);

    editor->openPreferences();
    EXPECT_EQ(row(P::kFilter18)->getValue(), 1.0f);
    EXPECT_EQ(text(P::kVcfFreqValue), " 50%");
    click(P::kSaveDefaults);
    EXPECT_NE(home.read("Config.ini").find("\nTM6 = 0.000000\nTM3 = 0.500000\nSyncMode = 0\n"), std::string::npos);
    EXPECT_NE(home.read("Gui.ini").find("\nSkin = \"RededazadEdadar2\"\nSkinShowDialog = 1\nClearConfirm = 0\n"),
              std::string::npos);
    EXPECT_TRUE(services.messages.empty());
    // A data folder that cannot be written says so.
    std::filesystem::remove(home.dataFolder() / "Gui.ini");
    std::filesystem::create_directory(home.dataFolder() / "Gui.ini");
    click(P::kSaveDefaults);
    ASSERT_EQ(services.messages.size(), 1u);
    EXPECT_NE(services.messages[0].text.find("Could not save"), std::string::npos);
    EXPECT_EQ(services.messages[0].kind, platform::MessageKind::kOk);
}

TEST_F(Preferences, ThePanelIsDrawnOverTheEditorOnceAndTakesTurnsWithTheAnalyzer) {
    open();
    gui::CViewContainer* panel = prefs->panel();
    EXPECT_EQ(panel->getViewSize(), gui::CRect(146, 129, 146 + 708, 129 + 362));
    EXPECT_EQ(layout(panel),
              "20 8 400 32,300 120 33 33,283 153 66 16,283 169 66 16,360 120 33 33,343 153 66 16,"
              "343 169 66 16,420 120 33 33,403 153 66 16,403 169 66 16,300 190 33 33,283 223 66 16,"
              "283 239 66 16,50 48 200 16,50 64 200 16,50 80 200 16,50 96 200 16,50 112 200 16,"
              "50 128 200 16,50 144 200 16,50 176 200 16,50 192 200 16,50 208 200 16,300 48 200 16,"
              "300 64 200 16,300 80 200 16,300 96 200 16,500 48 200 16,300 256 200 16,300 272 200 16,"
              "300 288 200 16,500 64 200 16,500 80 90 20,600 80 67 18,500 96 90 20,600 96 67 18,"
              "500 230 160 20,500 260 160 20,670 -5 42 42,500 290 160 20,");
    // The panel's colour where no row is, the check marks of the ticked boxes only.
    EXPECT_EQ(paintedAt(at(panel, 20, 340)), 0xff282828u);
    auto marked = [&](int32_t tag) {
        const gui::CRect r = row(tag)->getViewSize();
        for (double y = r.top; y < r.bottom; ++y)
            for (double x = r.left; x < r.left + 16; ++x)
                if (pixel(at(panel, x, y)) == 0xff828282u) return true;
        return false;
    };
    EXPECT_TRUE(marked(P::kAuditionNotes));
    EXPECT_FALSE(marked(P::kClearConfirm));
    EXPECT_TRUE(marked(P::kFilter18));
    click(P::kFilter24); // the radio group's other boxes repaint by themselves
    EXPECT_FALSE(marked(P::kFilter18));

    // Opening it again adds nothing: one Done closes it.
    const int32_t views = editor->panel()->getNbViews();
    editor->openPreferences();
    EXPECT_EQ(editor->panel()->getNbViews(), views);
    click(P::kDone);
    EXPECT_FALSE(prefs->isShown() || panel->isVisible());
    editor->openPreferences();
    editor->openAnalyzer();
    EXPECT_FALSE(prefs->isShown() || panel->isVisible());
    EXPECT_TRUE(editor->analyzer()->isOpen());
    editor->openPreferences();
    EXPECT_FALSE(editor->analyzer()->isOpen());
    EditorOnPlugin::click(at(panel, 680, 10)); // the close button
    EXPECT_FALSE(prefs->isShown());
    EXPECT_NE(paintedAt(at(panel, 20, 340)), 0xff282828u);
}

// ------------------------------------------------------------------------------ analyzer

constexpr int32_t kMeasureFrames = 16 * 11025; // sixteen sixteenths at 60 BPM

// One measure of sixteen sixteenths at 60 BPM: a decaying sawtooth per step, louder on every
// fourth, rests at 3 and 9.
std::vector<float> recording(float gain) {
    std::vector<float> out(static_cast<size_t>(kMeasureFrames));
    for (int i = 0; i < kMeasureFrames; ++i) {
        const int k = i / 11025, t = i % 11025;
        const double period = 400.0 / (1.0 + k % 5 * 0.25), level = gain * (k % 4 ? 0.4 : 0.8);
        const double saw = std::fmod(t, period) / period - 0.5;
        if (k != 3 && k != 9) out[size_t(i)] = float(level * std::exp(-t / 3000.0) * saw);
    }
    return out;
}

class Analyzer : public Panels {
protected:
    void TearDown() override {
        analyzerOptions().pitch = analyzerOptions().rhythm = true;
        analyzerOptions().matchTempo = false;
        Panels::TearDown();
    }
    void open() {
        start();
        seq().current() = Pattern{8, {}};
        editor->openAnalyzer();
        idle();
        window = editor->analyzer();
        ASSERT_TRUE(window && window->isOpen());
    }
    // Writes the measure as a 16-bit WAV file named for its steps, and loads it.
    void loadRecording(float gain = 1.0f) {
        const std::string path = (home.dataFolder() / "acid 16step.wav").string();
        render::AudioWriter writer;
        std::string error;
        const std::vector<float> r = recording(gain);
        ASSERT_TRUE(writer.open(path, 44100, render::SampleFormat::Pcm16, error) &&
                    writer.write(r.data(), r.data(), r.size()) && writer.commit(error))
            << error;
        loadAudio(path);
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

TEST_F(Analyzer, LoadAudioShowsTheRecordingItsStepsAndHowFarThePreviewPlayed) {
    analyzerOptions().matchTempo = true;
    open();
    EXPECT_EQ(layout(window->panel()),
              "20 8 400 32,240 180 500 16,240 200 500 16,300 220 400 16,300 240 400 16,"
              "300 260 400 16,240 280 600 16,240 300 600 16,32 64 100 20,142 64 100 20,252 64 100 20,"
              "32 180 100 20,32 200 100 20,32 220 100 20,32 240 100 20,32 260 100 20,370 64 190 20,"
              "570 64 48 20,608 65 67 18,668 -5 42 42,32 322 100 20,32 90 640 64,");
    EXPECT_EQ(control(A::kMatchTempo)->getValue(), 1.0f);
    EXPECT_EQ(window->waveView()->getBuffer(), &plugin->audioPreview().front());
    click(A::kDetect); // nothing to detect from yet
    EXPECT_EQ(services.messages.at(0).text, "Load a recording of one measure of the pattern first.");
    EXPECT_EQ(stepsText(), " 8");
    // Nothing loaded: the words in white across the middle, the view's grey around them.
    EXPECT_EQ(paintedAt(wave(2, 2)), 0xff202020u);
    int inside = 0, outside = 0;
    for (int x = 220; x < 420; ++x)
        for (int y = 0; y < 64; ++y) (y >= 22 && y < 44 ? inside : outside) += pixel(wave(x, y)) == 0xffffffffu;
    EXPECT_GT(inside, 20);
    EXPECT_EQ(outside, 0);

    loadRecording();
    const platform::FileDialogRequest& r = services.fileRequests.at(0);
    EXPECT_EQ(r.title, "Choose An Audio File");
    ASSERT_EQ(r.filters.size(), 2u);
    EXPECT_EQ(r.filters[0].description + r.filters[1].description, ".aif.wav");
    EXPECT_EQ(r.filters[0].extensions, (std::vector<std::string>{"aif", "aiff"}));
    EXPECT_EQ(r.filters[1].extensions, (std::vector<std::string>{"wav"}));
    CWaveDraw* view = window->waveView();
    EXPECT_EQ(view->getBuffer(), &plugin->audioPreview().front());
    EXPECT_EQ(view->getFramesShown(), kMeasureFrames);
    // The name says 16 steps; nothing else of the pattern changed.
    EXPECT_EQ(pattern().stepCount(), 16);
    EXPECT_EQ(pattern().steps[0].flags, 0);
    EXPECT_EQ(stepsText(), "16");
    EXPECT_FLOAT_EQ(control(A::kSteps)->getValue(), 15.0f / 63.0f);
    EXPECT_NEAR(seq().state.tempoBpm, 60.0, 1.0);
    // Fewer steps in the same measure: the tempo follows, also while the spin box is dragged.
    setByDrag(control(A::kSteps), 7.0f / 63.0f);
    EXPECT_NEAR(seq().state.tempoBpm, 30.0, 0.5);
    setByDrag(control(A::kSteps), 15.0f / 63.0f);

    // The preview's position line: 27648 frames played is column 100 of 640.
    click(A::kPlayAudio);
    EXPECT_EQ(title(A::kPlayAudio), "Stop Audio");
    std::vector<float> left(512), right(512);
    float* outputs[2] = {left.data(), right.data()};
    for (int i = 0; i < 54; ++i) plugin->processReplacing(nullptr, outputs, 512);
    idle(40); // the view notices the move by itself
    EXPECT_EQ(pixel(wave(100, 1)), 0xffff6400u);
    EXPECT_EQ(pixel(wave(100, 62)), 0xffff6400u);
    click(A::kPlayAudio);
    EXPECT_FALSE(plugin->audioPreview().playing());
    EXPECT_EQ(title(A::kPlayAudio), "Play Audio");

    // Step lines every 40 columns; each other column shows the largest sample of its share of
    // the recording, mirrored about the centre; the last column only the centre line. A second
    // take of the same length is drawn anew.
    for (float gain : {1.0f, 0.5f}) {
        if (gain != 1.0f) loadRecording(gain);
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
        EXPECT_GT(columns, 100);
    }

    // A file that is no recording says why and changes nothing.
    home.write("notes.wav", "not a recording at all");
    loadAudio((home.dataFolder() / "notes.wav").string());
    EXPECT_NE(services.messages.back().text.find("Could not load"), std::string::npos);
    EXPECT_EQ(view->getBuffer()->frames(), kMeasureFrames);
}

TEST_F(Analyzer, PaintingChangesOnlyTheFlagsUnderThePointerOfTheCurrentPattern) {
    open();
    auto patternLabel = [&] { return static_cast<gui::CTextLabel*>(control(A::kPatternNumber))->getText(); };
    EXPECT_EQ(patternLabel(), "Pattern 0");
    editor->link().selectPattern(7);
    idle(40); // the window notices by itself
    EXPECT_EQ(patternLabel(), "Pattern 7");
    Pattern played{16, {}};
    for (int i = 0; i < 16; ++i) played.steps[i] = PatternStep{uint8_t(i % 5), uint8_t(i == 3 || i == 9 ? 0 : StepGate)};
    seq().current() = played;
    idle();
    window->refreshAnalyzer();
    const PatternBank before = seq().bank;

    // The top rows are the gate row: step 3 (a rest) gets a gate; dragged far out in every
    // direction and into the bottom rows nothing else changes; back in, step 9 is painted too.
    down(wave(3 * 40 + 20, 2));
    for (CPoint p : {CPoint(-5000, -5000), CPoint(5000, 5000), CPoint(-5000, 5000), CPoint(5000, -5000)}) move(p);
    for (CPoint p : {wave(-1, 2), wave(640, 2), wave(3 * 40 + 20, 62), wave(3 * 40 + 20, -300), wave(9 * 40 + 20, 1)})
        move(p);
    up(wave(9 * 40 + 20, 1));
    idle();
    PatternBank expected = before;
    expected.patterns[7].steps[3].flags |= StepGate;
    expected.patterns[7].steps[9].flags |= StepGate;
    EXPECT_EQ(std::memcmp(&seq().bank, &expected, sizeof expected), 0);
    // The right button clears; the accent row painted across six steps; each row's own flag.
    EditorOnPlugin::click(wave(3 * 40 + 5, 3), gui::kRButton);
    expected.patterns[7].steps[3].flags &= uint8_t(~StepGate);
    down(wave(1 * 40 + 5, 38));
    for (int x = 1 * 40 + 5; x <= 6 * 40 + 5; x += 10) move(wave(x, 38));
    up(wave(6 * 40 + 5, 38));
    idle();
    for (int i = 1; i <= 6; ++i) expected.patterns[7].steps[i].flags |= StepAccent;
    EXPECT_EQ(std::memcmp(&seq().bank, &expected, sizeof expected), 0);
    const uint8_t masks[] = {StepUp, StepDown, StepAccent, StepSlide};
    for (int row = 0; row < 4; ++row) {
        EditorOnPlugin::click(wave(9 * 40 + 5, 5 + 14 * row));
        EXPECT_TRUE(bankPattern(7).steps[9].flags & masks[row]) << row;
    }

    click(A::kTriplet);
    EXPECT_TRUE(bankPattern(7).triplet());
    drag(middle(window->panel(), control(A::kSteps)), -500);
    EXPECT_EQ(bankPattern(7).stepCount(), 64);
    EXPECT_EQ(stepsText(), "64");
    drag(middle(window->panel(), control(A::kSteps)), 500);
    EXPECT_EQ(bankPattern(7).stepCount(), 1);
    EXPECT_EQ(std::memcmp(&bankPattern(0), &before.patterns[0], sizeof(Pattern)), 0);
}

TEST_F(Analyzer, PreviewButtonsAndOptionsKeepTheirStateWhenTheWindowReopens) {
    open();
    loadRecording();
    seq().state.stepIndex = 5;
    click(A::kPlayPattern);
    EXPECT_EQ(seq().state.running, 1);
    EXPECT_EQ(title(A::kPlayPattern), "Stop Pattern");
    click(A::kPlayPattern);
    EXPECT_EQ(seq().state.running, 0);
    EXPECT_EQ(seq().state.stepIndex, 0);
    EXPECT_EQ(title(A::kPlayPattern), "Play Pattern");

    plugin->settings().syncMode = 1;
    click(A::kMatchTempo);
    EXPECT_TRUE(analyzerOptions().matchTempo.load());
    EXPECT_EQ(plugin->settings().syncMode, 0);
    EXPECT_NEAR(seq().state.tempoBpm, 60.0, 1.0);
    for (int32_t tag : {A::kRhythm, A::kPitch}) {
        click(tag);
        EXPECT_EQ(control(tag)->getValue(), 0.0f);
    }
    EXPECT_FALSE(analyzerOptions().rhythm.load() || analyzerOptions().pitch.load());

    // Done hides it and stops the recording; opening again shows the same recording and steps.
    click(A::kPlayAudio);
    click(A::kClose);
    EXPECT_FALSE(window->isOpen() || window->panel()->isVisible());
    EXPECT_FALSE(plugin->audioPreview().playing());
    editor->openAnalyzer();
    editor->openAnalyzer();
    EXPECT_TRUE(window->isOpen());
    EXPECT_EQ(window->waveView()->getFramesShown(), kMeasureFrames);
    EXPECT_EQ(stepsText(), "16");
    EXPECT_EQ(control(A::kRhythm)->getValue(), 0.0f);
    EditorOnPlugin::click(at(window->panel(), 680, 10)); // the close button, once
    EXPECT_FALSE(window->isOpen());
}

} // namespace
} // namespace kelo::test
