// The editor on the real plug-in core, driven through the frame's mouse entry points, read back
// from the plug-in's state, the host's log and the pixels of the offscreen panel.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <set>

#include "editor/SkinLayout.h"
#include "editor/controls/CAnimSprite.h"
#include "editor/controls/CFloatingDisplay.h"
#include "editor/controls/CIlluButton.h"
#include "editor/controls/CMyOptionMenu.h"
#include "files/EditorSettingsFile.h"
#include "tests/editor/EditorFixture.h"

namespace kelo::test {
namespace {

using namespace skintag;
using gui::CPoint;

std::vector<std::string> takeLog() { return std::exchange(hostLog(), {}); }

// ---- layout and drawing ----

TEST_F(EditorOnPlugin, EveryControlSitsAtItsElementAndShowsItsOwnImage) {
    start();
    ERect* r = nullptr;
    ASSERT_TRUE(editor->getRect(&r));
    EXPECT_EQ(r->right - r->left, 1000);
    EXPECT_EQ(r->bottom - r->top, 620);

    std::set<int32_t> seen;
    int checked = 0;
    for (const SkinElement& e : editor->skin().elements) {
        const SkinControlKind kind = skinControlKind(e.tag);
        if (!seen.insert(e.tag).second || kind == SkinControlKind::None || kind == SkinControlKind::Background ||
            kind == SkinControlKind::DigitStrip || kind == SkinControlKind::LearnLabel)
            continue;
        gui::CControl* c = editor->control(e.tag);
        ASSERT_NE(c, nullptr) << skinTagName(e.tag);
        EXPECT_EQ(c->getViewSize(), rectOf(e.tag)) << skinTagName(e.tag);
        // Controls that draw their own picture at rest (the about box draws nothing closed).
        if (kind == SkinControlKind::About || kind == SkinControlKind::DigitDisplay) continue;
        EXPECT_EQ(shown(e.tag).tag, e.tag) << skinTagName(e.tag);
        ++checked;
    }
    EXPECT_GE(checked, 90);
}

TEST_F(EditorOnPlugin, PixelsShowTheFrameEachValueImplies) {
    start();
    plugin->setParameter(kCutoff, 0.5f);
    plugin->setParameter(kResonance, 1.0f);
    plugin->setParameter(kWaveform, 1.0f);
    seq().currentPattern = 123;
    pattern().setTriplet(true);
    pattern().setShuffle(127);
    seq().editCursor = 2;
    pattern().steps[2] = PatternStep{16, StepGate | StepAccent | StepUp}; // high E: folds to 4
    seq().patternChanged = 1;
    idle();

    // Knobs: floor(value x (frames - 1)) of 101 frames.
    EXPECT_EQ(frameOf(CUTOFFKNOB), 50);
    EXPECT_EQ(frameOf(RESONANCEKNOB), 100);
    EXPECT_EQ(frameOf(SHUFFLEKNOB), 100);
    EXPECT_EQ(frameOf(WAVEFORMSWITCH), 1);
    EXPECT_EQ(frameOf(HIGHPASS_SWITCH), int(plugin->getParameter(kHighpassFilter) > 0.5f));
    // Digits: each position shows its digit's image.
    EXPECT_EQ(shown(PATTERNDIGITS100), (Shown{PATTERNDIGITS100, 1}));
    EXPECT_EQ(shown(PATTERNDIGITS10), (Shown{PATTERNDIGITS10, 2}));
    EXPECT_EQ(shown(PATTERNDIGITS1), (Shown{PATTERNDIGITS1, 3}));
    EXPECT_EQ(shown(TEMPODIGITS100), (Shown{TEMPODIGITS100, 1}));
    EXPECT_EQ(shown(TEMPODIGITS10), (Shown{TEMPODIGITS10, 2}));
    EXPECT_EQ(shown(STEPSDIGITS10), (Shown{STEPSDIGITS10, 1}));
    EXPECT_EQ(shown(STEPSDIGITS1), (Shown{STEPSDIGITS1, 6}));
    EXPECT_EQ(shown(STEPDIGITS1), (Shown{STEPDIGITS1, 3})); // cursor 2, first step numbered 1
    // The edit step's note and flags: LEDs (off, on) and lit keys (image 2 = lit, released).
    for (int k = 0; k < 13; ++k) {
        EXPECT_EQ(frameOf(NOTELED1 + k), k == 4 ? 1 : 0) << k;
        EXPECT_EQ(frameOf(ILLUBUTTON1 + k), k == 4 ? 2 : 0) << k;
    }
    EXPECT_EQ(frameOf(PITCHMODELED), 0); // step-write off
    EXPECT_EQ(frameOf(TIMEMODELED), 1);  // the gate
    EXPECT_EQ(frameOf(ACCENTLED), 1);
    EXPECT_EQ(frameOf(UPLED), 1);
    EXPECT_EQ(frameOf(DOWNLED), 0);
    EXPECT_EQ(frameOf(SLIDELED), 0);
    EXPECT_EQ(frameOf(ILLUBUTTON19), 2);
    EXPECT_EQ(frameOf(ILLUBUTTON17), 0);
    EXPECT_EQ(frameOf(TRIPLETLED), 1);
    EXPECT_EQ(frameOf(TRIPLETILLUBUTTON), 2);

    // 303-style time phase: the lights show the time-mode marks instead.
    plugin->settings().programmingMode = 1;
    pattern().steps[2].flags = StepGate | StepNoteMark | StepSlide;
    idle();
    EXPECT_EQ(frameOf(PITCHMODELED), 0);
    EXPECT_EQ(frameOf(TIMEMODELED), 1);
    EXPECT_EQ(frameOf(DOWNLED), 1);  // the note mark
    EXPECT_EQ(frameOf(SLIDELED), 0); // never in the time phase
}

// ---- every control, through the mouse ----

TEST_F(EditorOnPlugin, KnobsAndSwitchesWriteTheirParametersInsideTheHostsEditBracket) {
    start();
    const int32_t knobs[] = {TUNINGKNOB, CUTOFFKNOB, RESONANCEKNOB, ENVMODKNOB, DECAYKNOB,
                             ACCENTKNOB, DRIVEKNOB, DISTORTKNOB, VOLUMEKNOB};
    for (int p = 0; p < 9; ++p) {
        plugin->setParameter(p, 0.5f);
        idle();
        takeLog();
        drag(knobs[p], -30); // linear, 300 px for the range: +0.1
        EXPECT_NEAR(plugin->getParameter(p), 0.6f, 1e-5) << p;
        const std::vector<std::string> log = takeLog();
        ASSERT_GE(log.size(), 3u) << p;
        EXPECT_EQ(log.front(), "begin " + std::to_string(p));
        EXPECT_EQ(log.back(), "end " + std::to_string(p));
        EXPECT_EQ(log[log.size() - 2].substr(0, 11), "automate " + std::to_string(p) + " ");
        EXPECT_EQ(seq().learnParameter, p); // the last moved parameter is the one to learn
    }
    const std::pair<int32_t, int> switches[] = {{WAVEFORMSWITCH, kWaveform},
                                                {DISTORTIONSWITCH, kDistortionType},
                                                {HIGHPASS_SWITCH, kHighpassFilter}};
    for (auto [tag, p] : switches) {
        const float before = plugin->getParameter(p);
        click(tag);
        EXPECT_EQ(plugin->getParameter(p), before > 0.5f ? 0.0f : 1.0f) << p;
        const std::vector<std::string> log = takeLog();
        EXPECT_EQ(log.front(), "begin " + std::to_string(p));
        EXPECT_EQ(log.back(), "end " + std::to_string(p));
    }
    // Controls without a parameter never open an edit at the host.
    drag(SHUFFLEKNOB, -30);
    EXPECT_EQ(pattern().shuffle(), 13); // 0.1 x 127, rounded
    click(SYNCSWITCH);
    EXPECT_EQ(plugin->settings().syncMode, 1);
    click(MODESWITCH);
    EXPECT_EQ(plugin->settings().midiMode, 1);
    click(MODESWITCH);
    EXPECT_EQ(plugin->settings().midiMode, 0);
    EXPECT_TRUE(takeLog().empty());

    // Ctrl-click: the panel knobs' default value.
    down(centre(VOLUMEKNOB), gui::kLButton | gui::kControl);
    up(centre(VOLUMEKNOB));
    EXPECT_NEAR(plugin->getParameter(kVolume), 0.1f, 1e-6);
}

TEST_F(EditorOnPlugin, StepKeysOfBothFamiliesProgramTheEditStep) {
    start();
    Pattern& p = pattern();
    p.setStepCount(4);
    for (auto& s : p.steps) s = PatternStep{0, 0};
    for (int32_t base : {NOTEBUTTON1, ILLUBUTTON1}) {
        seq().editCursor = 1;
        seq().editAdvance = 0;
        click(base + 7); // G
        EXPECT_EQ(p.steps[1].note, 7);
        click(base == NOTEBUTTON1 ? B_UP : ILLUBUTTON18);
        click(base == NOTEBUTTON1 ? B_ACCENT : ILLUBUTTON19);
        click(base == NOTEBUTTON1 ? B_SLIDE : ILLUBUTTON20);
        click(base == NOTEBUTTON1 ? B_DOWN : ILLUBUTTON17);
        click(base == NOTEBUTTON1 ? B_TIMEMODE : ILLUBUTTON16);
        EXPECT_EQ(p.steps[1].flags, StepUp | StepAccent | StepSlide | StepDown | StepGate);
        // Step-write on: four notes fill the pattern and bring the cursor back to the start.
        click(base == NOTEBUTTON1 ? B_PITCHMODE : ILLUBUTTON14);
        EXPECT_EQ(seq().editAdvance, 1);
        seq().editCursor = 0;
        for (int k : {0, 4, 7, 12}) click(base + k);
        EXPECT_EQ(seq().editCursor, 0);
        EXPECT_EQ(p.steps[3].note, 12);
        EXPECT_EQ(p.steps[2].note, 7);
        // Run, stop.
        click(base == NOTEBUTTON1 ? B_RUNSTOP : ILLUBUTTON15);
        EXPECT_EQ(seq().state.running, 1);
        click(base == NOTEBUTTON1 ? B_RUNSTOP : ILLUBUTTON15);
        EXPECT_EQ(seq().state.running, 0);
        for (auto& s : p.steps) s = PatternStep{0, 0};
    }
    // Cursor keys, and the length keys held to 1..64.
    seq().editCursor = 0;
    click(B_BACK);
    EXPECT_EQ(seq().editCursor, 3);
    click(B_NEXT);
    EXPECT_EQ(seq().editCursor, 0);
    for (int i = 0; i < 5; ++i) click(ILLUBUTTON21);
    EXPECT_EQ(p.stepCount(), 1);
    p.setStepCount(63);
    click(ILLUBUTTON22);
    click(ILLUBUTTON22);
    EXPECT_EQ(p.stepCount(), 64);
    // Clear: with ClearNotes a gated C on every step.
    p.steps[5] = PatternStep{9, StepAccent};
    p.setTriplet(true);
    click(B_PATTERNCLEAR);
    EXPECT_EQ(p.steps[5].note, 0);
    EXPECT_EQ(p.steps[5].flags, StepGate);
    EXPECT_FALSE(p.triplet());
    click(TRIPLETBUTTON);
    EXPECT_TRUE(p.triplet());
    click(TRIPLETILLUBUTTON);
    EXPECT_FALSE(p.triplet());
    EXPECT_EQ(frameOf(TRIPLETLED), 0);
}

TEST_F(EditorOnPlugin, MenuButtonsOpenTheirMenusAndShowItWhileOpen) {
    start();
    click(OPTIONMENU);
    EXPECT_TRUE(editor->menus().isPoppedUp(EditorMenus::kOptionsMenuTag));
    EXPECT_EQ(frameOf(OPTIONMENU) / 2, 1); // lit
    down(CPoint(990, 610)); // a click outside closes it
    up(CPoint(990, 610));
    idle();
    EXPECT_FALSE(editor->menus().isPoppedUp(EditorMenus::kOptionsMenuTag));
    EXPECT_EQ(frameOf(OPTIONMENU) / 2, 0);
    click(PATTERNMENU);
    EXPECT_TRUE(editor->menus().isPoppedUp(EditorMenus::kPatternMenuTag));
    EXPECT_EQ(frameOf(PATTERNMENU) / 2, 1);

    // Paste replaces the whole current pattern, its header included.
    Pattern p{40 | (9u << 8) | 0x80000000u, {}};
    p.steps[63] = PatternStep{7, StepSlide};
    seq().editCursor = 50;
    editor->link().replaceCurrentPattern(p);
    EXPECT_EQ(pattern().header, p.header);
    EXPECT_EQ(pattern().steps[63].note, 7);
    EXPECT_EQ(seq().editCursor, 39);
}

TEST_F(EditorOnPlugin, ALitKeyRunsItsCommandOncePerClickWhereverThePointerWent) {
    start();
    seq().editCursor = 0;
    pattern().steps[0].flags = 0;
    const CPoint in = centre(ILLUBUTTON18), out(in.x, in.y + 200);
    down(in);
    for (int i = 0; i < 3; ++i) {
        move(out);
        move(in);
    }
    up(in);
    idle();
    EXPECT_EQ(pattern().steps[0].flags, StepUp);
    // Released outside: nothing, however often it came back in between.
    down(in);
    move(out);
    move(in);
    move(out);
    up(out);
    idle();
    EXPECT_EQ(pattern().steps[0].flags, StepUp);
    // A front-panel key released outside does nothing either.
    down(centre(B_UP));
    move(CPoint(centre(B_UP).x, centre(B_UP).y + 200));
    up(CPoint(centre(B_UP).x, centre(B_UP).y + 200));
    idle();
    EXPECT_EQ(pattern().steps[0].flags, StepUp);
}

TEST_F(EditorOnPlugin, DisplaysAndRockersKeepTheirNumbersInRange) {
    start();
    // Rockers: the upper half counts up, at once; held, again every 50 ms after 300 ms.
    const CPoint top(centre(PATTERNROCKER).x, rectOf(PATTERNROCKER).top + 2);
    const CPoint bottom(top.x, rectOf(PATTERNROCKER).bottom - 2);
    seq().currentPattern = 10;
    down(top);
    EXPECT_EQ(seq().currentPattern, 11);
    idle(290);
    EXPECT_EQ(seq().currentPattern, 11);
    idleFor(110); // 300 ms reached: two repeats in the next 100 ms
    EXPECT_GE(seq().currentPattern, 12);
    EXPECT_LE(seq().currentPattern, 13);
    up(top);
    const int released = seq().currentPattern;
    idleFor(200);
    EXPECT_EQ(seq().currentPattern, released);
    seq().currentPattern = 127;
    down(top);
    up(top);
    EXPECT_EQ(seq().currentPattern, 127);
    seq().currentPattern = 0;
    down(bottom);
    up(bottom);
    EXPECT_EQ(seq().currentPattern, 0);
    EXPECT_EQ(seq().requestedPattern, 0);

    // Steps: the rocker, the digits and the held length key all stop at 1 and 64; the edit
    // step stays inside the pattern.
    seq().editCursor = 10;
    drag(STEPSDIGITS, 20); // 16 - 5
    EXPECT_EQ(pattern().stepCount(), 11);
    EXPECT_EQ(seq().editCursor, 10);
    drag(STEPSDIGITS, 8);
    EXPECT_EQ(seq().editCursor, 8);
    pattern().setStepCount(2);
    const CPoint stepsDown(centre(STEPSROCKER).x, rectOf(STEPSROCKER).bottom - 2);
    down(stepsDown);
    idleFor(600);
    up(stepsDown);
    EXPECT_EQ(pattern().stepCount(), 1);
    drag(STEPSDIGITS, -400); // +100
    EXPECT_EQ(pattern().stepCount(), 64);
    down(centre(ILLUBUTTON22));
    idleFor(600);
    up(centre(ILLUBUTTON22));
    EXPECT_EQ(pattern().stepCount(), 64);

    // Digits: dragging up 40 px adds 10 (a quarter per pixel).
    seq().currentPattern = 5;
    idle();
    drag(PATTERNDIGITS, -40);
    EXPECT_EQ(seq().currentPattern, 15);
    EXPECT_EQ(seq().requestedPattern, 15);
    drag(PATTERNDIGITS, -1000);
    EXPECT_EQ(seq().currentPattern, 127);

    // Tempo: the editor's own only while the host's is not followed.
    idle();
    drag(TEMPODIGITS, -40);
    EXPECT_DOUBLE_EQ(seq().state.tempoBpm, 130.0);
    const CPoint tempoUp(centre(TEMPOROCKER).x, rectOf(TEMPOROCKER).top + 2);
    down(tempoUp);
    up(tempoUp);
    EXPECT_DOUBLE_EQ(seq().state.tempoBpm, 131.0);
    plugin->settings().syncMode = 1;
    down(tempoUp);
    up(tempoUp);
    drag(TEMPODIGITS, -40);
    EXPECT_DOUBLE_EQ(seq().state.tempoBpm, 131.0);
}

TEST_F(EditorOnPlugin, TheStepDisplayCountsFromTheFirstStepSetting) {
    files["User.ini"] = "Eggs = 0\nFirststep = 0\n";
    start();
    pattern().setStepCount(16);
    seq().editCursor = 3;
    idle();
    EXPECT_EQ(editor->control(STEPDISPLAY)->getValue(), 3.0f);
    drag(STEPDISPLAY, -20); // shows 8
    EXPECT_EQ(seq().editCursor, 8);
    EXPECT_EQ(editor->control(STEPDISPLAY)->getValue(), 8.0f);
}

TEST_F(EditorOnPlugin, LearnModeArmsInsteadOfEditingAndLabelsShowTheMap) {
    start();
    seq().editCursor = 0;
    pattern().steps[0].flags = 0;
    idle();
    auto labels = [&] {
        std::vector<CFloatingDisplay*> v;
        for (gui::CView* view : editor->panel()->children())
            if (auto* d = dynamic_cast<CFloatingDisplay*>(view)) v.push_back(d);
        return v;
    };
    // 12 parameter controls, 23 front-panel keys, 20 lit step keys.
    ASSERT_EQ(labels().size(), 55u);
    for (CFloatingDisplay* d : labels()) EXPECT_FALSE(d->isShown());

    seq().learnMode = 1;
    plugin->ccMap().entries[74] = -1;
    plugin->ccMap().entries[5] = kCutoff;
    plugin->ccMap().entries[76] = -1; // Resonance: none
    idle();
    click(B_ACCENT);
    EXPECT_EQ(pattern().steps[0].flags, 0);
    EXPECT_EQ(seq().learnCommand, 33);
    EXPECT_EQ(seq().learnParameter, -1);
    idle();
    // Each label sits over its control; both keys that arm accent learning are highlighted.
    auto labelOver = [&](int32_t tag) -> CFloatingDisplay* {
        for (CFloatingDisplay* d : labels())
            if (rectOf(tag).pointInside(d->getViewSize().getCenter())) return d;
        return nullptr;
    };
    int highlighted = 0;
    for (CFloatingDisplay* d : labels()) {
        EXPECT_TRUE(d->isShown());
        highlighted += d->isHighlighted();
    }
    EXPECT_EQ(highlighted, 2);
    ASSERT_TRUE(labelOver(CUTOFFKNOB) && labelOver(RESONANCEKNOB) && labelOver(B_ACCENT) && labelOver(ILLUBUTTON19));
    EXPECT_EQ(labelOver(CUTOFFKNOB)->getLine(0), " 5");
    EXPECT_EQ(labelOver(RESONANCEKNOB)->getLine(0), "--");
    EXPECT_TRUE(labelOver(B_ACCENT)->isHighlighted());
    EXPECT_TRUE(labelOver(ILLUBUTTON19)->isHighlighted());
    // With keyboard programming the keys' labels name their notes (slot 3, accent: 76).
    plugin->settings().midiKeyProgramming = 1;
    idle();
    EXPECT_EQ(labelOver(B_ACCENT)->getLine(0), "E-6");
    EXPECT_EQ(labelOver(CUTOFFKNOB)->getLine(0), " 5");
    seq().learnMode = 0;
    idle();
    for (CFloatingDisplay* d : labels()) EXPECT_FALSE(d->isShown());
}

TEST_F(EditorOnPlugin, ClearAsksFirstWhenTheSettingSaysSoAndOnlyYesClears) {
    files["Gui.ini"] = std::string(kGuiIni) + "ClearConfirm = 1\n";
    start();
    pattern().steps[0] = PatternStep{5, StepAccent};
    services.messageAnswers = {platform::MessageAnswer::kNo, platform::MessageAnswer::kYes};
    click(B_PATTERNCLEAR);
    ASSERT_EQ(services.messages.size(), 1u);
    EXPECT_EQ(services.messages[0].title, "Clear Pattern");
    EXPECT_EQ(services.messages[0].text, "Are you sure you want to clear the pattern?");
    EXPECT_EQ(services.messages[0].kind, platform::MessageKind::kYesNo);
    idle();
    EXPECT_EQ(pattern().steps[0].note, 5);
    click(B_PATTERNCLEAR);
    idle();
    EXPECT_EQ(pattern().steps[0].note, 0);
    // An answer that arrives after the panel closed is dropped.
    pattern().steps[0].note = 5;
    services.messageAnswers = {platform::MessageAnswer::kYes};
    down(centre(B_PATTERNCLEAR));
    up(centre(B_PATTERNCLEAR));
    editor->close();
    services.poll();
    EXPECT_EQ(pattern().steps[0].note, 5);
}

TEST_F(EditorOnPlugin, NoteKeysAuditionWhileTheSequencerIsStopped) {
    start();
    seq().editCursor = 0;
    pattern().steps[0] = PatternStep{0, StepUp | StepAccent};
    idle();
    down(centre(NOTEBUTTON3));
    EXPECT_EQ(plugin->voiceControl().gate, 1);
    EXPECT_EQ(seq().state.lastNote, 2 + 36 + 12);
    EXPECT_EQ(plugin->voiceControl().accent, 1);
    up(centre(NOTEBUTTON3));
    EXPECT_EQ(plugin->voiceControl().gate, 0);
    // Running: the key only programs.
    seq().state.running = 1;
    idle();
    down(centre(ILLUBUTTON5));
    EXPECT_EQ(plugin->voiceControl().gate, 0);
    up(centre(ILLUBUTTON5));
    EXPECT_EQ(pattern().steps[0].note, 4);
}

// ---- timers (the clock is the fake services') ----

TEST_F(EditorOnPlugin, IdleTimersBlinkRepeatAndTurnTheMidiLightOff) {
    files["User.ini"] = "Eggs = 1\n";
    start();
    // The start-up light show: 14 frames at least 50 ms apart on the 13 lit note keys.
    auto row = [&] {
        std::string r;
        for (int k = 0; k < 13; ++k) r += frameOf(ILLUBUTTON1 + k) == 2 ? '1' : '0';
        return r;
    };
    EXPECT_EQ(row(), "1111111111111"); // frame 0, shown by start()'s idle
    idle(20);
    EXPECT_EQ(row(), "1111111111111");
    idle(30);
    EXPECT_EQ(row(), "1100000000000");
    idle(50);
    EXPECT_EQ(row(), "0011000000000");
    for (int i = 0; i < 11; ++i) idle(50);
    EXPECT_EQ(row(), "1000000000000"); // the show is over: the edit step's note (C) again
    EXPECT_EQ(frameOf(NOTELED1), 1);

    // The run light blinks every 200 ms while the sequencer runs, following a press at once.
    click(ILLUBUTTON15);
    ASSERT_EQ(seq().state.running, 1);
    idle(1);
    const int first = frameOf(RUNSTOPLED);
    idle(100);
    EXPECT_EQ(frameOf(RUNSTOPLED), first);
    idle(100);
    EXPECT_NE(frameOf(RUNSTOPLED), first);
    click(ILLUBUTTON15);
    idle(200);
    EXPECT_EQ(frameOf(RUNSTOPLED), 0);

    // Incoming MIDI lights the MIDI light; 75 ms later it goes out.
    idle(80);
    EXPECT_EQ(frameOf(MIDILED), 0);
    seq().handleMidiMessage(0x90, 60, 100);
    idle(5);
    EXPECT_EQ(frameOf(MIDILED), 1);
    idle(80);
    EXPECT_EQ(frameOf(MIDILED), 0);

    // The beetle: all of Tune to Accent at the top starts it crawling off to the left.
    for (int p = kTune; p <= kAccent; ++p) plugin->setParameter(p, p == kCutoff ? 0.9f : 1.0f);
    idle();
    drag(CUTOFFKNOB, -60);
    ASSERT_EQ(plugin->getParameter(kCutoff), 1.0f);
    auto* bug = dynamic_cast<CAnimSprite*>(editor->control(Riv303Uru::kBugSpriteTag));
    ASSERT_NE(bug, nullptr);
    EXPECT_TRUE(bug->isShown());
    const double x0 = bug->getViewSize().left;
    idleFor(200);
    EXPECT_LT(bug->getViewSize().left, x0);
}

// ---- lifecycle ----

TEST_F(EditorOnPlugin, WithoutGuiIniItSaysSoOpensWithTheDefaultsAndWritesIt) {
    files.erase("Gui.ini");
    installSkin = false;
    start(false);
    EXPECT_TRUE(services.messages.empty());
    ASSERT_TRUE(editor->openOffscreen());
    ASSERT_EQ(services.messages.size(), 1u);
    EXPECT_EQ(services.messages[0].text, "This plug-in needs to be reinstalled for this user account");
    EXPECT_EQ(services.messages[0].title, "Orvanta KELO");
    // No skin in the data folder either: the one built into the plug-in.
    EXPECT_EQ(editor->skinOrigin(), SkinOrigin::BuiltIn);
    ERect* r = nullptr;
    editor->getRect(&r);
    EXPECT_EQ(r->right - r->left, 800);
    EXPECT_NE(editor->control(CUTOFFKNOB), nullptr);
    editor->close();
    EditorSettings written;
    ASSERT_TRUE(readEditorSettings(written, (home.dataFolder() / "Gui.ini").string()));
    EXPECT_EQ(written.skin, kDefaultSkinName);
    ASSERT_TRUE(editor->openOffscreen());
    EXPECT_EQ(services.messages.size(), 1u);
}

TEST_F(EditorOnPlugin, ASkinLackingWhatAControlNeedsSaysSoOnceAndKeepsTheRest) {
    files["Gui.ini"] = "Skin = \"Lacking\"\n";
    // Digits without their digit images, a learnable knob without the learn labels' backdrop.
    files["Lacking.skn"] = "BACKGROUND \"EveryTag/background.png\", 0, 0, 1000, 620\n"
                           "CUTOFFKNOB \"EveryTag/cutoffknob.png\", 54, 8, 40, 40\n"
                           "PATTERNDIGITS \"EveryTag/patterndigits.png\", 8, 190, 46, 26\n";
    start();
    EXPECT_EQ(editor->skinOrigin(), SkinOrigin::Named);
    ASSERT_EQ(services.messages.size(), 1u);
    EXPECT_EQ(services.messages[0].title, "Error in Skin definition");
    EXPECT_EQ(services.messages[0].text, "Error");
    EXPECT_NE(editor->control(CUTOFFKNOB), nullptr);
    EXPECT_EQ(editor->control(PATTERNDIGITS), nullptr);
    drag(CUTOFFKNOB, -30);
    EXPECT_EQ(takeLog().front(), "begin 1");
}

TEST_F(EditorOnPlugin, ASkinChangeWaitsForTheNextOpenAndTheKnobModeIsTheEditorsOwn) {
    start();
    gui::CControl* knob = editor->control(CUTOFFKNOB);
    ASSERT_TRUE(editor->loadSkin(kDefaultSkinName)); // built in: the data folder has none
    ERect* r = nullptr;
    editor->getRect(&r);
    EXPECT_EQ(r->right - r->left, 1000); // still the open panel's size
    EXPECT_EQ(editor->control(CUTOFFKNOB), knob);
    click(CUTOFFKNOB); // its bitmap outlives the skin it came from
    // A skin that is not there: the default one instead.
    EXPECT_TRUE(editor->loadSkin("NoSuchSkin"));
    EXPECT_EQ(editor->skinOrigin(), SkinOrigin::BuiltIn);
    editor->close();
    editor->getRect(&r);
    EXPECT_EQ(r->right - r->left, 800);
    ASSERT_TRUE(editor->openOffscreen());
    EXPECT_EQ(editor->getFrame()->getWidth(), 800);

    EXPECT_EQ(editor->getKnobMode(), gui::kLinearMode); // from Gui.ini
    plugin->dispatcher(effSetEditKnobMode, 0, gui::kCircularMode, nullptr, 0.0f);
    EXPECT_EQ(editor->getKnobMode(), gui::kCircularMode);
    EXPECT_EQ(editor->getFrame()->getKnobMode(), gui::kCircularMode);
}

TEST_F(EditorOnPlugin, OpensAndClosesTwoHundredTimesAcrossSkinChanges) {
    start(false);
    for (int i = 0; i < 200; ++i) {
        if (i % 50 == 25) editor->loadSkin(i % 100 == 25 ? kDefaultSkinName : kTestSkin);
        ASSERT_TRUE(editor->openOffscreen()) << i;
        if (i % 20 == 0) {
            plugin->setParameter(kCutoff, float(i % 7) / 7.0f);
            click(CUTOFFKNOB);
            idle(60);
        }
        editor->close();
    }
}

} // namespace
} // namespace kelo::test
