// The editor on the real plug-in core, driven through the frame's mouse entry points, read back
// from the plug-in's state, the host's log and the pixels of the offscreen panel.
#include <gtest/gtest.h>
#include <array>
#include <set>
#include "editor/SkinLayout.h"
#include "editor/controls/CAnimSprite.h"
#include "editor/controls/CFloatingDisplay.h"
#include "editor/controls/CMySplashScreen.h"
#include "tests/editor/EditorFixture.h"
namespace kelo::test {
namespace {
using namespace skintag;
using gui::CPoint;

std::vector<std::string> takeLog() { return std::exchange(hostLog(), {}); }

int width(Riv303Uru* editor) {
    ERect* r = nullptr;
    editor->getRect(&r);
    return r->right - r->left;
}

TEST_F(EditorOnPlugin, EveryControlSitsAtItsElementAndShowsTheFrameItsValueImplies) {
    start();
    EXPECT_EQ(width(editor), 1000);
    std::set<int32_t> seen;
    int checked = 0;
    for (const SkinElement& e : editor->skin().elements) {
        using enum SkinControlKind;
        const SkinControlKind kind = skinControlKind(e.tag);
        if (!seen.insert(e.tag).second || kind == None || kind == Background || kind == DigitStrip ||
            kind == LearnLabel)
            continue;
        ASSERT_NE(editor->control(e.tag), nullptr) << skinTagName(e.tag);
        EXPECT_EQ(editor->control(e.tag)->getViewSize(), rectOf(e.tag)) << skinTagName(e.tag);
        // The about box draws nothing while closed, digit displays only through their digits.
        if (kind == About || kind == DigitDisplay) continue;
        EXPECT_EQ(shown(e.tag).tag, e.tag) << skinTagName(e.tag);
        ++checked;
    }
    EXPECT_GE(checked, 90);
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
    // Knobs show floor(value x 100) of 101 frames; digits their digit; the cursor counts from 1;
    // the edit step's flags light their LEDs and lit keys (image 2: lit, released).
    const std::pair<int32_t, int> frames[] = {
        {CUTOFFKNOB, 50},       {RESONANCEKNOB, 100},    {SHUFFLEKNOB, 100},   {WAVEFORMSWITCH, 1},
        {PATTERNDIGITS100, 1},  {PATTERNDIGITS10, 2},    {PATTERNDIGITS1, 3},  {TEMPODIGITS100, 1},
        {TEMPODIGITS10, 2},     {STEPSDIGITS10, 1},      {STEPSDIGITS1, 6},    {STEPDIGITS1, 3},
        {PITCHMODELED, 0},      {TIMEMODELED, 1},        {ACCENTLED, 1},       {UPLED, 1},
        {DOWNLED, 0},           {SLIDELED, 0},           {ILLUBUTTON19, 2},    {ILLUBUTTON17, 0},
        {TRIPLETLED, 1},        {TRIPLETILLUBUTTON, 2},
        {HIGHPASS_SWITCH, int(plugin->getParameter(kHighpassFilter) > 0.5f)},
        {MODESWITCH, int(plugin->settings().midiMode == 1)}};
    for (auto [tag, frame] : frames) EXPECT_EQ(frameOf(tag), frame) << skinTagName(tag);
    for (int k = 0; k < 13; ++k) {
        EXPECT_EQ(frameOf(NOTELED1 + k), k == 4 ? 1 : 0) << k;
        EXPECT_EQ(frameOf(ILLUBUTTON1 + k), k == 4 ? 2 : 0) << k;
    }
    // Step-time entry: the pitch pass lights the step's pitch flags, the time pass its own marks.
    plugin->settings().programmingMode = 1;
    pattern().steps[2].flags = StepGate | StepDown | StepSlide;
    for (int pitchPass : {1, 0}) {
        seq().editAdvance = pitchPass;
        seq().patternChanged = 1;
        idle();
        const std::array on{frameOf(PITCHMODELED), frameOf(TIMEMODELED), frameOf(DOWNLED), frameOf(SLIDELED)};
        EXPECT_EQ(on, (std::array{pitchPass, 1 - pitchPass, pitchPass, pitchPass}));
    }
    auto* about = dynamic_cast<CMySplashScreen*>(editor->control(SPLASH));
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(about->getOpenRect().getCenter(), CPoint(500, 310)); // the about box opens mid-panel
    click(OPTIONMENU);
    EXPECT_TRUE(editor->menus().isPoppedUp(EditorMenus::kOptionsMenuTag));
}

TEST_F(EditorOnPlugin, KnobsAndSwitchesWriteTheirParametersInsideTheHostsEditBracket) {
    start();
    const int32_t knobs[] = {TUNINGKNOB, CUTOFFKNOB, RESONANCEKNOB, ENVMODKNOB, DECAYKNOB,
                             ACCENTKNOB, DRIVEKNOB,  DISTORTKNOB,   VOLUMEKNOB};
    for (int p = 0; p < 9; ++p) {
        plugin->setParameter(p, 0.5f);
        idle();
        takeLog();
        drag(knobs[p], -30); // linear, 300 px for the range: +0.1
        EXPECT_NEAR(plugin->getParameter(p), 0.6f, 1e-5) << p;
        const std::vector<std::string> log = takeLog();
        EXPECT_EQ(log.front(), "begin " + std::to_string(p));
        EXPECT_EQ(log.back(), "end " + std::to_string(p));
        EXPECT_EQ(seq().learnParameter, p); // the last moved parameter is the one to learn
    }
    for (auto [tag, p] : {std::pair{WAVEFORMSWITCH, int(kWaveform)}, {HIGHPASS_SWITCH, int(kHighpassFilter)}}) {
        const float before = plugin->getParameter(p);
        click(tag);
        EXPECT_EQ(plugin->getParameter(p), before > 0.5f ? 0.0f : 1.0f) << p;
        EXPECT_EQ(takeLog().front(), "begin " + std::to_string(p));
    }
    // Controls without a parameter never open an edit at the host.
    drag(SHUFFLEKNOB, -30);
    EXPECT_EQ(pattern().shuffle(), 13); // 0.1 x 127, rounded
    EXPECT_TRUE(takeLog().empty());
    down(centre(VOLUMEKNOB), gui::kLButton | gui::kControl); // the panel knob's default
    up(centre(VOLUMEKNOB));
    EXPECT_NEAR(plugin->getParameter(kVolume), 0.1f, 1e-6);
}

TEST_F(EditorOnPlugin, StepKeysOfBothFamiliesProgramTheEditStepOncePerClickReleasedInside) {
    start();
    Pattern& p = pattern();
    // Front-panel keys and the lit keys: note, up, accent, slide, down, time.
    const int32_t families[2][6] = {{NOTEBUTTON1, B_UP, B_ACCENT, B_SLIDE, B_DOWN, B_TIMEMODE},
                                    {ILLUBUTTON1, ILLUBUTTON18, ILLUBUTTON19, ILLUBUTTON20, ILLUBUTTON17, ILLUBUTTON16}};
    for (const auto& keys : families) {
        for (auto& s : p.steps) s = PatternStep{0, 0};
        seq().editCursor = 1;
        click(keys[0] + 7); // G
        EXPECT_EQ(p.steps[1].note, 7);
        for (int k = 1; k < 6; ++k) click(keys[k]);
        EXPECT_EQ(p.steps[1].flags, StepUp | StepAccent | StepSlide | StepDown | StepGate);
        // One command per click released inside, however often the pointer left in between.
        const CPoint in = centre(keys[1]), out(in.x, in.y + 200);
        for (const CPoint& release : {in, out}) {
            down(in);
            move(out);
            move(in);
            move(release);
            up(release);
            EXPECT_EQ(p.steps[1].flags & StepUp, 0);
        }
    }
    click(B_PATTERNCLEAR); // not asked first by default: cleared at once
    EXPECT_EQ(std::pair(int(p.steps[1].note), int(p.steps[1].flags)), std::pair(0, int(StepGate)));
}

TEST_F(EditorOnPlugin, DisplaysRockersAndLengthKeysKeepTheirNumbersInRange) {
    start();
    auto upper = [&](int32_t tag) { return CPoint(centre(tag).x, rectOf(tag).top + 2); };
    // Rockers: the upper half counts up at once; held, again every 50 ms after 300 ms.
    seq().currentPattern = 10;
    down(upper(PATTERNROCKER));
    idle(290);
    EXPECT_EQ(seq().currentPattern, 11);
    idleFor(110);
    EXPECT_NEAR(seq().currentPattern, 12.5, 0.5);
    up(upper(PATTERNROCKER));
    const int released = seq().currentPattern;
    idleFor(200);
    EXPECT_EQ(seq().currentPattern, released);
    EXPECT_EQ(shownAt(upper(PATTERNROCKER)).frame, 1); // at rest: the middle image, top to bottom
    // Steps stop at 1 and 64 however they are changed; the edit step stays inside the pattern.
    seq().editCursor = 10;
    drag(STEPSDIGITS, 20); // 16 - 5, a quarter per pixel
    EXPECT_EQ(pattern().stepCount(), 11);
    drag(STEPSDIGITS, 8);
    EXPECT_EQ(seq().editCursor, 8);
    drag(STEPSDIGITS, -400);
    EXPECT_EQ(pattern().stepCount(), 64);
    // Held from 2 and 59: a step at the press, then repeats; a key pressed again repeats no faster.
    for (auto [from, at, count] : {std::tuple{2, centre(ILLUBUTTON21), 1}, {59, centre(ILLUBUTTON22), 64},
                                   {20, centre(ILLUBUTTON22), 27}}) {
        pattern().setStepCount(from);
        down(at);
        idleFor(600);
        up(at);
        EXPECT_EQ(pattern().stepCount(), count);
    }
    seq().currentPattern = 5;
    idle();
    drag(PATTERNDIGITS, -40);
    EXPECT_EQ(seq().requestedPattern, 15);
    drag(PATTERNDIGITS, -1000);
    EXPECT_EQ(seq().currentPattern, 127);
}

TEST_F(EditorOnPlugin, LearnModeArmsInsteadOfEditingAndLabelsShowTheMap) {
    start();
    pattern().steps[0].flags = 0;
    std::vector<CFloatingDisplay*> labels;
    for (gui::CView* view : editor->panel()->children())
        if (auto* d = dynamic_cast<CFloatingDisplay*>(view)) labels.push_back(d);
    ASSERT_EQ(labels.size(), 55u); // 12 parameter controls, 23 front-panel keys, 20 lit keys
    auto shownAndLit = [&] {
        int shown = 0, lit = 0;
        for (CFloatingDisplay* d : labels) shown += d->isShown(), lit += d->isHighlighted();
        return std::pair{shown, lit};
    };
    auto line = [&](int32_t tag) {
        for (CFloatingDisplay* d : labels)
            if (rectOf(tag).pointInside(d->getViewSize().getCenter())) {
                EXPECT_EQ(d->getViewSize().top, std::floor(centre(tag).y) - 6); // a little above the middle
                return d->getLine(0);
            }
        return std::string("no label");
    };
    seq().learnMode = 1;
    plugin->ccMap().entries[74] = -1;
    plugin->ccMap().entries[5] = kCutoff;
    plugin->ccMap().entries[76] = -1; // Resonance: none
    click(B_ACCENT);
    EXPECT_EQ(pattern().steps[0].flags, 0);
    EXPECT_EQ(seq().learnCommand, 33);
    EXPECT_EQ(seq().learnParameter, -1);
    idle();
    EXPECT_EQ(shownAndLit(), (std::pair{55, 2})); // both keys that arm accent learning lit
    EXPECT_EQ(line(CUTOFFKNOB), " 5");
    EXPECT_EQ(line(RESONANCEKNOB), "--");
    seq().learnMode = 0;
    idle();
    EXPECT_EQ(shownAndLit().first, 0);
}

TEST_F(EditorOnPlugin, IdleTimersBlinkRepeatAndTurnTheMidiLightOff) {
    files["User.ini"] = "Eggs = 1\n";
    start();
    // The start-up light show on the lit note keys: all, then two at a time, then over.
    EXPECT_EQ(frameOf(ILLUBUTTON13), 2);
    idle(50);
    EXPECT_EQ(frameOf(ILLUBUTTON13), 0);
    EXPECT_EQ(frameOf(ILLUBUTTON2), 2);
    idleFor(700);
    EXPECT_EQ(frameOf(ILLUBUTTON2), 0);
    // The run light blinks every 200 ms while the sequencer runs, following a press at once.
    click(ILLUBUTTON15);
    editor->menus().assignFunctionButton(1); // waiting for its command, it blinks in step
    idle(1);
    const int first = frameOf(RUNSTOPLED);
    idle(100);
    EXPECT_EQ(frameOf(RUNSTOPLED), first);
    EXPECT_EQ(frameOf(FUNCTIONLED2), first);
    idle(100);
    EXPECT_NE(frameOf(RUNSTOPLED), first);
    EXPECT_EQ(frameOf(FUNCTIONLED2), 1 - first);
    EXPECT_EQ(frameOf(ILLUBUTTON15), 2 - 2 * first); // the run key with its light (lit, released)
    // A reopened panel blinks from its opening.
    editor->close();
    services.now += 150;
    ASSERT_TRUE(editor->openOffscreen());
    idle(190);
    EXPECT_EQ(frameOf(RUNSTOPLED), 0);
    idle(10);
    EXPECT_EQ(frameOf(RUNSTOPLED), 1);
    click(ILLUBUTTON15);
    idle(200);
    EXPECT_EQ(frameOf(RUNSTOPLED), 0);
    seq().handleMidiMessage(0x90, 60, 100); // incoming MIDI lights the MIDI light for 75 ms from then
    idle(75);
    EXPECT_EQ(frameOf(MIDILED), 1);
    idle(80);
    EXPECT_EQ(frameOf(MIDILED), 0);
    // The beetle: all of Tune to Accent at the top starts it crawling off to the left.
    for (int p = kTune; p <= kAccent; ++p) plugin->setParameter(p, p == kCutoff ? 0.9f : 1.0f);
    idle();
    drag(CUTOFFKNOB, -60);
    auto* bug = dynamic_cast<CAnimSprite*>(editor->control(Riv303Uru::kBugSpriteTag));
    ASSERT_TRUE(bug && bug->isShown());
    const gui::CRect corner = bug->getViewSize();
    EXPECT_EQ(corner, gui::CRect(0, 620 - 11, 16, 620)); // one frame of its strip, on the bottom edge
    idleFor(200);
    EXPECT_LT(bug->getViewSize().left, corner.left);
    // Gone off the left edge, it starts from the corner again next time.
    idleFor(2000);
    EXPECT_FALSE(bug->isShown());
    drag(CUTOFFKNOB, 30);
    drag(CUTOFFKNOB, -60);
    EXPECT_EQ(bug->getViewSize(), corner);
}

TEST_F(EditorOnPlugin, WithoutGuiIniItSaysSoOpensWithTheDefaultsAndWritesIt) {
    files.erase("Gui.ini");
    installSkin = false;
    start(false);
    EXPECT_TRUE(services.messages.empty());
    ASSERT_TRUE(editor->openOffscreen());
    ASSERT_EQ(services.messages.size(), 1u);
    EXPECT_EQ(services.messages[0].text, "This plug-in needs to be reinstalled for this user account");
    EXPECT_EQ(services.messages[0].title, "Orvanta KELO");
    EXPECT_EQ(editor->skinOrigin(), SkinOrigin::BuiltIn); // no skin in the data folder either
    EXPECT_EQ(width(editor), 800);
    editor->close();
    EXPECT_TRUE(std::filesystem::exists(home.dataFolder() / "Gui.ini"));
    std::filesystem::remove(home.dataFolder() / "Gui.ini"); // still missing: said once is enough
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
    EXPECT_EQ(editor->control(PATTERNDIGITS), nullptr);
    drag(CUTOFFKNOB, -30);
    EXPECT_EQ(takeLog().front(), "begin 1");
}

TEST_F(EditorOnPlugin, ASkinChangeWaitsForTheNextOpenAndTheKnobModeIsTheEditorsOwn) {
    start();
    gui::CControl* knob = editor->control(CUTOFFKNOB);
    EXPECT_TRUE(editor->loadSkin("NoSuchSkin")); // not there: the built-in one
    EXPECT_EQ(editor->skinOrigin(), SkinOrigin::BuiltIn);
    EXPECT_EQ(width(editor), 1000); // still the open panel's size
    EXPECT_EQ(editor->control(CUTOFFKNOB), knob);
    click(CUTOFFKNOB); // its bitmap outlives the skin it came from
    editor->close();
    EXPECT_EQ(width(editor), 800);
    EXPECT_EQ(editor->getKnobMode(), gui::kLinearMode); // from Gui.ini
    plugin->dispatcher(effSetEditKnobMode, 0, gui::kCircularMode, nullptr, 0.0f);
    for (int i = 0; i < 200; ++i) {
        if (i % 50 == 25) editor->loadSkin(i % 100 == 25 ? kDefaultSkinName : kTestSkin);
        ASSERT_TRUE(editor->openOffscreen()) << i;
        if (i % 20 == 0) {
            EXPECT_EQ(editor->getFrame()->getKnobMode(), gui::kCircularMode);
            plugin->setParameter(kCutoff, float(i % 7) / 7.0f);
            click(CUTOFFKNOB);
            idle(60);
        }
        editor->close();
    }
}
} // namespace
} // namespace kelo::test
