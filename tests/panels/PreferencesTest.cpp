// The preferences panel: every row clicked or dragged through the frame changes its setting in
// the instance and shows it; Reset and Save Defaults write the exact files; MIDI output that
// Reset switches off says All Notes Off; the panel opens once and over nothing else.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>

#include "analyzer/window/AnalyzerHandler.h"
#include "editor/Preferences.h"
#include "editor/controls/TextControls.h"
#include "tests/panels/PanelsFixture.h"
#include "toolkit/controls/CParamDisplay.h"

namespace kelo::test {
namespace {

using P = PreferencesHandler;
using gui::CRect;

class Preferences : public Panels {
protected:
    void open() {
        start();
        editor->openPreferences();
        idle();
        prefs = editor->preferences();
        ASSERT_NE(prefs, nullptr);
        ASSERT_TRUE(prefs->isShown());
    }
    gui::CControl* row(int32_t tag) { return prefs->control(tag); }
    void click(int32_t tag) { clickAt(middle(prefs->panel(), row(tag))); }
    std::string text(int32_t tag) {
        if (auto* spin = dynamic_cast<CMySpinBox*>(row(tag))) return spin->getText();
        return static_cast<gui::CTextLabel*>(row(tag))->getText();
    }
    // A value given to a control as a drag would leave it.
    void setByDrag(int32_t tag, float value) {
        gui::CControl* c = row(tag);
        c->beginEdit();
        c->setValue(value);
        c->valueChanged();
        c->endEdit();
        idle();
    }
    EngineSettings& engine() { return plugin->settings(); }

    P* prefs = nullptr;
};

TEST_F(Preferences, EveryBoxFlipsItsSettingBackAndForthAndShowsIt) {
    open();
    struct Box {
        int32_t tag;
        std::function<int32_t()> setting;
    };
    const Box boxes[] = {
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
        // Shown ticked while the tuning mode is 0.
        {P::kStandardTuning, [this] { return engine().tuningMode == 0 ? 1 : 0; }},
    };
    for (const Box& b : boxes) {
        const int32_t before = b.setting();
        ASSERT_TRUE(before == 0 || before == 1) << b.tag;
        EXPECT_EQ(row(b.tag)->getValue(), float(before)) << b.tag;
        click(b.tag);
        EXPECT_EQ(b.setting(), 1 - before) << b.tag;
        EXPECT_EQ(row(b.tag)->getValue(), float(1 - before)) << b.tag;
        click(b.tag);
        EXPECT_EQ(b.setting(), before) << b.tag;
    }

    // A value outside 0/1 from a file shows ticked, and one click turns it off (not to 1 - 5).
    prefs->hide();
    engine().clearNotes = 5;
    editor->openPreferences();
    EXPECT_EQ(row(P::kClearNotes)->getValue(), 1.0f);
    click(P::kClearNotes);
    EXPECT_EQ(engine().clearNotes, 0);

    // Turning note mode on releases the voice.
    plugin->voiceControl().gate = 1;
    click(P::kNoteMode);
    EXPECT_EQ(engine().midiMode, 1);
    EXPECT_EQ(plugin->voiceControl().gate, 0);
}

TEST_F(Preferences, TheEmulationBoxesAreOneRadioGroup) {
    open();
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
    // Pre-gain 2.0 shows the knob at its middle and 50 in three places.
    EXPECT_FLOAT_EQ(row(P::kPreGainKnob)->getValue(), 0.5f);
    EXPECT_EQ(text(P::kPreGainValue), " 50%");
    EXPECT_EQ(text(P::kFilterVccValue), " 25%");

    dragBy(prefs->panel(), row(P::kPreGainKnob), -40);
    const float gain = row(P::kPreGainKnob)->getValue();
    EXPECT_GT(gain, 0.5f);
    EXPECT_FLOAT_EQ(engine().vcoGain, gain * 2.0f + 1.0f);
    char caption[16];
    std::snprintf(caption, sizeof caption, "%3d%%", int(gain * 100.0f));
    EXPECT_EQ(text(P::kPreGainValue), caption);

    struct Knob {
        int32_t tag;
        float EngineSettings::*field;
    };
    for (const Knob& k : {Knob{P::kVcoTuningKnob, &EngineSettings::vcoTuning}, Knob{P::kFilterVccKnob, &EngineSettings::tm6},
                          Knob{P::kVcfFreqKnob, &EngineSettings::tm3}}) {
        dragBy(prefs->panel(), row(k.tag), 30);
        EXPECT_LT(row(k.tag)->getValue(), 0.5f) << k.tag;
        EXPECT_FLOAT_EQ(engine().*k.field, row(k.tag)->getValue()) << k.tag;
    }

    // Spin boxes: dragged to the bottom, then the edge values.
    dragBy(prefs->panel(), row(P::kAccentLevel), 400);
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
    EXPECT_EQ(engine().midiOutputChannel, 0);
    EXPECT_EQ(text(P::kOutputChannel), " 1");
    dragBy(prefs->panel(), row(P::kOutputChannel), -400);
    EXPECT_EQ(engine().midiOutputChannel, 15);
    EXPECT_EQ(text(P::kOutputChannel), "16");
}

TEST_F(Preferences, SaveDefaultsWritesBothFilesAndResetBringsBackTheDefaultsForThisInstanceOnly) {
    files["Gui.ini"] = std::string(kGuiIni) + "FunctionButton1 = 4\nClearConfirm = 1\n";
    open();
    click(P::kFilter24);
    click(P::kSyncToHost);
    setByDrag(P::kVcfFreqKnob, 0.75f);
    setByDrag(P::kAccentLevel, 64.0f / 127.0f);
    click(P::kSaveDefaults);
    EXPECT_EQ(readData("Config.ini"),
              "; KELO Configuration\nFilterMode = 0\nVCALeveling = 0\nVCANoise = 1\nVcoGain = 2.000000\n"
              "VcoTuning = 0.500000\nTM6 = 0.250000\nTM3 = 0.750000\nSyncMode = 1\nMidiMode = 0\nTuningMode = 0\n"
              "ClearNotes = 1\nProgrammingMode = 0\nAccentVelocity = 64\nActiveClocks = 88200\nGuiKnobMode = 2\n"
              "MidiOutput = 0\nMidiOutputChannel = -1\nLoadParameters = 1\nLoadDefaultBank = 1\nOutputClipping = 0\n"
              "MidiTransmitKnobs = 0\nMidiKeyProgramming = 0\n");
    EXPECT_EQ(readData("Gui.ini"),
              "; KELO GUI configuration\n; Value of \"\" means default (built-in) skin\nSkin = \"EveryTag\"\n"
              "SkinShowDialog = 1\nClearConfirm = 1\nAuditionNotes = 1\nKnobMode = 2\nKnobSensitivity = 300\n;\n"
              "FunctionButton1 = 4\nFunctionButton2 = -1\n");

    // Reset, then close without saving: the files stay, the instance has the defaults.
    seq().patternLock = 1;
    click(P::kReset);
    click(P::kDone);
    EXPECT_FALSE(prefs->isShown());
    EXPECT_EQ(engine().filterMode, 1);
    EXPECT_EQ(engine().syncMode, 0);
    EXPECT_EQ(engine().accentVelocity, 100);
    EXPECT_FLOAT_EQ(engine().tm6, 0.0f); // Reset's own value, not the start-up 0.25
    EXPECT_FLOAT_EQ(engine().tm3, 0.5f);
    EXPECT_EQ(seq().patternLock, 0);
    EXPECT_EQ(editor->settings().clearConfirm, 0);
    EXPECT_EQ(editor->settings().functionButton1, -1);
    EXPECT_EQ(editor->settings().skin, "RededazadEdadar2");
    EXPECT_NE(readData("Config.ini").find("FilterMode = 0\n"), std::string::npos);

    editor->openPreferences();
    EXPECT_EQ(row(P::kFilter18)->getValue(), 1.0f);
    EXPECT_EQ(text(P::kVcfFreqValue), " 50%");
    click(P::kSaveDefaults);
    EXPECT_EQ(readData("Config.ini"),
              "; KELO Configuration\nFilterMode = 1\nVCALeveling = 0\nVCANoise = 1\nVcoGain = 2.000000\n"
              "VcoTuning = 0.500000\nTM6 = 0.000000\nTM3 = 0.500000\nSyncMode = 0\nMidiMode = 0\nTuningMode = 0\n"
              "ClearNotes = 1\nProgrammingMode = 0\nAccentVelocity = 100\nActiveClocks = 88200\nGuiKnobMode = 2\n"
              "MidiOutput = 0\nMidiOutputChannel = -1\nLoadParameters = 1\nLoadDefaultBank = 1\nOutputClipping = 0\n"
              "MidiTransmitKnobs = 0\nMidiKeyProgramming = 0\n");
    EXPECT_EQ(readData("Gui.ini"),
              "; KELO GUI configuration\n; Value of \"\" means default (built-in) skin\nSkin = \"RededazadEdadar2\"\n"
              "SkinShowDialog = 1\nClearConfirm = 0\nAuditionNotes = 1\nKnobMode = 2\nKnobSensitivity = 300\n;\n"
              "FunctionButton1 = -1\nFunctionButton2 = -1\n");
    EXPECT_TRUE(services.messages.empty());

    // A data folder that cannot be written says so.
    std::filesystem::remove(home.dataFolder() / "Gui.ini");
    std::filesystem::create_directory(home.dataFolder() / "Gui.ini");
    click(P::kSaveDefaults);
    ASSERT_EQ(services.messages.size(), 1u);
    EXPECT_NE(services.messages[0].text.find("Could not save"), std::string::npos);
}

TEST_F(Preferences, ResetSwitchesMidiOutputOffWithAllNotesOffAndChannelChangesReleaseTheOldChannel) {
    open();
    setByDrag(P::kOutputChannel, 3.0f * 0.0625f); // channel 2
    click(P::kMidiOutput);
    ASSERT_TRUE(engine().midiOutputActive());
    midiSent().clear();
    setByDrag(P::kOutputChannel, 6.0f * 0.0625f);
    EXPECT_EQ(midiSent(), (std::vector<std::array<int, 3>>{{0xB2, 123, 0}}));
    EXPECT_TRUE(engine().midiOutputActive());
    EXPECT_EQ(engine().midiOutputChannel, 5);

    midiSent().clear();
    click(P::kReset);
    EXPECT_EQ(midiSent(), (std::vector<std::array<int, 3>>{{0xB5, 123, 0}}));
    EXPECT_EQ(engine().midiOutput, 0);
    EXPECT_EQ(engine().midiOutputChannel, -1);
    EXPECT_EQ(row(P::kMidiOutput)->getValue(), 0.0f);
    EXPECT_EQ(text(P::kOutputChannel), "--");
}

TEST_F(Preferences, ThePanelIsCentredWithItsRowsAtTheirRectanglesAndOpensOverNothingElse) {
    open();
    gui::CViewContainer* panel = prefs->panel();
    EXPECT_EQ(panel->getViewSize(), CRect(146, 129, 146 + 708, 129 + 362));
    struct Placed {
        int32_t tag;
        CRect rect;
    };
    for (const Placed& p : {Placed{P::kClearConfirm, CRect(50, 64, 250, 80)}, Placed{P::kNoteMode, CRect(50, 208, 250, 224)},
                            Placed{P::kFilter18Pure, CRect(300, 96, 500, 112)}, Placed{P::kNonlinearVca, CRect(300, 288, 500, 304)},
                            Placed{P::kMidiOutput, CRect(500, 64, 700, 80)}, Placed{P::kPreGainKnob, CRect(300, 120, 333, 153)},
                            Placed{P::kVcoTuningKnob, CRect(300, 190, 333, 223)}, Placed{P::kPreGainValue, CRect(283, 169, 349, 185)},
                            Placed{P::kAccentLevel, CRect(600, 80, 667, 98)}, Placed{P::kOutputChannel, CRect(600, 96, 667, 114)},
                            Placed{P::kReset, CRect(500, 230, 660, 250)}, Placed{P::kSaveDefaults, CRect(500, 260, 660, 280)},
                            Placed{P::kDone, CRect(500, 290, 660, 310)}})
        EXPECT_EQ(row(p.tag)->getViewSize(), p.rect) << p.tag;
    EXPECT_EQ(static_cast<gui::CCheckBox*>(row(P::kFilter18Pure))->getTitle(), "18dB Pure (more overtone");

    // Drawn over the editor: the panel's colour where no row is, the check marks of the ticked
    // boxes ("Audition notes" is, "Clear confirm" is not).
    EXPECT_EQ(paintedAt(at(panel, 20, 340)), 0xff282828u);
    auto marked = [&](int32_t tag) {
        const CRect r = row(tag)->getViewSize();
        for (double y = r.top; y < r.bottom; ++y)
            for (double x = r.left; x < r.left + 16; ++x)
                if (pixel(at(panel, x, y)) == 0xff828282u) return true;
        return false;
    };
    EXPECT_TRUE(marked(P::kAuditionNotes));
    EXPECT_FALSE(marked(P::kClearConfirm));

    // Opening it again adds nothing: one Done closes it.
    const int32_t views = editor->panel()->getNbViews();
    editor->openPreferences();
    EXPECT_EQ(editor->panel()->getNbViews(), views);
    click(P::kDone);
    EXPECT_FALSE(prefs->isShown());
    EXPECT_FALSE(panel->isVisible());
    // The analyzer takes its place, and the other way round.
    editor->openPreferences();
    editor->openAnalyzer();
    EXPECT_FALSE(prefs->isShown());
    EXPECT_FALSE(panel->isVisible());
    EXPECT_TRUE(editor->analyzer()->isOpen());
    editor->openPreferences();
    EXPECT_FALSE(editor->analyzer()->isOpen());
    // The close button closes it too.
    clickAt(at(panel, 680, 10));
    EXPECT_FALSE(prefs->isShown());
    EXPECT_NE(paintedAt(at(panel, 20, 340)), 0xff282828u);
}

} // namespace
} // namespace kelo::test
