// The editor's menus on the real plug-in core: what they show after opening and after each
// command, and what every command does to the instance and to the files of a scratch data
// folder, with dialogs and message boxes answered by the fake services. Choices go through the
// pop-up itself, driven by the keyboard.
#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "editor/MenuCommands.h"
#include "editor/Menus.h"
#include "editor/controls/CMyOptionMenu.h"
#include "editor/controls/CMySplashScreen.h"
#include "editor/controls/TextControls.h"
#include "files/CcMapFile.h"
#include "files/EditorSettingsFile.h"
#include "files/ForeignImport.h"
#include "files/PatternFile.h"
#include "tests/editor/EditorFixture.h"

namespace kelo::test {
namespace {

namespace fs = std::filesystem;
using namespace skintag;
using namespace menu;
using platform::FileDialogKind;
using platform::MessageAnswer;
using Titles = std::vector<std::string>;

constexpr int32_t kOptions = EditorMenus::kOptionsMenuTag;
constexpr int32_t kPatterns = EditorMenus::kPatternMenuTag;
constexpr int32_t kFiles = EditorMenus::kPatternFileMenuTag;

Titles titles(const gui::COptionMenu* m) {
    Titles t;
    for (const gui::CMenuItem* i : m->getItems()) t.push_back(i->isSeparator() ? "-" : i->getTitle());
    return t;
}

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void put(const fs::path& p, const std::string& text) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
}

Pattern steps(std::initializer_list<PatternStep> s, uint32_t header = 0) {
    Pattern p{header, {}};
    int i = 0;
    for (const PatternStep& step : s) p.steps[i++] = step;
    p.setStepCount(i);
    return p;
}

bool samePattern(const Pattern& a, const Pattern& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

class Menus : public EditorOnPlugin {
protected:
    fs::path data() const { return home.dataFolder(); }
    std::string at(const std::string& name) const { return (home.dataFolder() / name).string(); }
    EditorMenus& menus() { return editor->menus(); }
    CMyOptionMenu* menuOf(int32_t tag) { return menus().menu(tag); }

    void key(unsigned char virt) {
        VstKeyCode k{0, virt, 0};
        frame()->onKeyDown(k);
    }
    // Pops the menu up and chooses the entry at path[0], in its sub-menu at path[1], ...; then
    // one idle delivers the dialogs' answers.
    void choose(int32_t tag, std::vector<int32_t> path, bool answer = true) {
        ASSERT_TRUE(menus().popup(tag, frame(), gui::CPoint(0, 0)));
        gui::COptionMenu* m = menuOf(tag);
        for (size_t level = 0; level < path.size(); ++level) {
            ASSERT_LT(path[level], m->getNbEntries());
            for (int32_t i = 0; i <= path[level]; ++i)
                if (m->getEntry(i)->isChoosable() || m->getEntry(i)->getSubmenu()) key(gui::VKEY_DOWN);
            if (level + 1 < path.size()) {
                key(gui::VKEY_RIGHT);
                m = m->getSubMenu(path[level]);
                ASSERT_NE(m, nullptr);
            }
        }
        key(gui::VKEY_RETURN);
        ASSERT_FALSE(menus().isPoppedUp(tag));
        if (answer) idle();
    }
    // The next file dialog is answered with these paths.
    void answer(std::vector<std::string> paths) { services.fileAnswers.push_back(std::move(paths)); }
    std::string lastMessage() const { return services.messages.empty() ? "" : services.messages.back().text; }
    std::string patchName() {
        auto* display = dynamic_cast<CTextDisplay*>(editor->control(PATCHDISPLAY));
        return display ? display->getText() : "?";
    }
};

// ------------------------------------------------------------------------------ structure

TEST_F(Menus, OptionsAndPatternMenusShowTheirStateAfterOpeningAndAfterEachCommand) {
    start();
    EXPECT_EQ(titles(menuOf(kOptions)),
              (Titles{"Activate MIDI learn", "Activate MIDI output [channel None]", "MIDI Transmit Knobs: Off",
                      "MIDI Programming: Off", "Ext. Clock sync: 24PPQ", "-", "Load MIDI CC map", "Save MIDI CC map",
                      "View Configuration files", "Reload Configuration", "-", "Assign Function Button 1",
                      "Assign Function Button 2", "-", "Select Skin", "Set Default Skin", "-", "Preferences...",
                      "About KELO", "-", MenuCommands::kHomePageLabel, "Check for update"}));
    EXPECT_EQ(menuOf(kOptions)->getSubMenu(kSelectSkin), menuOf(EditorMenus::kSkinMenuTag));
    EXPECT_EQ(titles(menuOf(kPatterns)),
              (Titles{"-", "Copy Pattern", "Paste Pattern", "-", "Transpose +12 semitones", "Transpose -12 semitones",
                      "Transpose  +1 semitone", "Transpose  -1 semitone", "-", "Shift left", "Shift right", "-",
                      "All notes off", "All accents off", "All slides off", "-", "Randomize all",
                      "Randomize pitches", "Alter pattern", "-", "Import patterns", "Export patterns",
                      "Import Rebirth Patterns", "Export pattern as MIDI file", "-", "Analyze Pattern..."}));

    plugin->settings().midiOutputChannel = 1;
    for (int32_t entry : {kLearn, kMidiOutput, kTransmitKnobs, kClockSync}) choose(kOptions, {entry});
    const Titles on = titles(menuOf(kOptions));
    EXPECT_EQ(Titles(on.begin(), on.begin() + 5),
              (Titles{"Deactivate MIDI learn", "Deactivate MIDI output [channel 2]", "MIDI Transmit Knobs: On",
                      "MIDI Programming: Off", "Ext. Clock sync: 48PPQ"}));
    const EngineSettings& s = plugin->settings();
    EXPECT_EQ(std::vector<int>({seq().learnMode, s.midiOutput, s.midiTransmitKnobs, s.clockSync}),
              std::vector<int>({1, 1, 1, 1}));

    // Keyboard programming explains itself when it goes on, not when it goes off.
    choose(kOptions, {kKeyProgramming});
    EXPECT_EQ(menuOf(kOptions)->getEntry(kKeyProgramming)->getTitle(), "MIDI Programming: On");
    choose(kOptions, {kKeyProgramming});
    EXPECT_EQ(s.midiKeyProgramming, 0);
    ASSERT_EQ(services.messages.size(), 1u);
    EXPECT_EQ(services.messages[0].title, "Orvanta KELO");
    EXPECT_EQ(lastMessage().rfind("MIDI Keyboard programming is now activated.\nYou can now use", 0), 0u);

    for (int32_t entry : {kHomePage, kCheckForUpdate, kViewConfiguration, kAbout, kPreferences}) choose(kOptions, {entry});
    EXPECT_EQ(services.urls, (Titles{"https://www.orvanta.com/",
                                     "https://www.orvanta.com/checkUpdate.php?version=KELO.9.2.3"}));
    EXPECT_EQ(services.editedFiles, (Titles{at("Config.ini"), at("MidiCC.ini"), at("Gui.ini")}));
    auto* about = dynamic_cast<CMySplashScreen*>(editor->control(SPLASH));
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(about->isExpanded());
    EXPECT_TRUE(editor->preferencesPanel()->isVisible());
    choose(kPatterns, {kAnalyze});
    EXPECT_TRUE(editor->analyzerPanel()->isVisible());
    EXPECT_FALSE(editor->preferencesPanel()->isVisible());
}

TEST_F(Menus, PatternFileMenuListsNestedFoldersByTheirRealPathsAndChoosesTheEntryItShows) {
    const fs::path patterns = data() / "Patterns";
    const std::string d = formatPattern(steps({{4, StepGate}, {7, StepGate | StepAccent}}));
    for (const char* name : {"b.pat", "A.pat", "y.PAT", "x.pat.bak", "notes.txt", "sub/c.pat"}) put(patterns / name, "");
    put(patterns / "sub/deeper/d.pat", d);
    fs::create_directories(patterns / "empty");
    std::error_code ec;
    // Links back up the tree would never end if they were followed.
    fs::create_directory_symlink("..", patterns / "sub/loop", ec);
    fs::create_directory_symlink("../..", patterns / "sub/deeper/up.pat", ec);
    start();

    CMyOptionMenu* fileMenu = menuOf(kFiles);
    EXPECT_EQ(titles(fileMenu), (Titles{"Load Pattern", "Save Pattern", "-", "Load parameters: On", "-", "A", "b", "sub", "y"}));
    const gui::COptionMenu* sub = fileMenu->getSubMenu(7);
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(titles(sub), (Titles{"c", "deeper"}));
    ASSERT_NE(sub->getSubMenu(1), nullptr);
    EXPECT_EQ(titles(sub->getSubMenu(1)), (Titles{"d"}));

    // The entries after the separators are the ones chosen.
    choose(kFiles, {kLoadParameters});
    EXPECT_EQ(plugin->settings().loadParameters, 0);
    EXPECT_EQ(fileMenu->getEntry(kLoadParameters)->getTitle(), "Load parameters: Off");
    // A sub-menu's entry, chosen twice: loaded each time, and nothing else runs.
    for (int round = 0; round < 2; ++round) {
        pattern() = steps({{1, 0}});
        choose(kFiles, {7, 1, 0});
        Pattern expected = steps({{1, 0}});
        parsePattern(expected, d);
        EXPECT_TRUE(samePattern(pattern(), expected)) << round;
        EXPECT_EQ(patchName(), "d");
    }
    EXPECT_EQ(plugin->settings().loadParameters, 0);
    EXPECT_TRUE(services.fileRequests.empty());
    EXPECT_TRUE(services.messages.empty());
}

TEST_F(Menus, PatternFileMenusStopAt512EntriesAndEightFoldersDeep) {
    const fs::path patterns = data() / "Patterns";
    for (int i = 0; i < 600; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "f%03d.pat", i);
        put(patterns / name, "");
        put(patterns / "a-many" / name, "");
    }
    fs::path deep = patterns;
    for (int level = 1; level <= 10; ++level) put((deep /= "0deep") / "x.pat", "");
    start();
    const CMyOptionMenu* fileMenu = menuOf(kFiles);
    ASSERT_EQ(fileMenu->getNbEntries(), 512);
    EXPECT_EQ(titles(fileMenu)[5], "0deep");
    EXPECT_EQ(titles(fileMenu)[6], "a-many");
    EXPECT_EQ(titles(fileMenu)[511], "f504");
    EXPECT_EQ(fileMenu->getSubMenu(6)->getNbEntries(), 512);
    int depth = 0;
    for (const gui::COptionMenu* m = fileMenu->getSubMenu(5); m; m = m->getSubMenu(0)) ++depth;
    EXPECT_EQ(depth, 8);
}

// ------------------------------------------------------------------------------ function buttons, skins

TEST_F(Menus, FunctionButtonsBindTheNextPatternCommandAndRunItAndTheClearKeyEndsAWait) {
    files["Gui.ini"] = std::string(kGuiIni) + "FunctionButton1 = 8\nFunctionButton2 = 999\nClearConfirm = 1\n";
    start();
    // Bindings that name no command (a separator, beyond the menu) are none.
    EXPECT_EQ(editor->settings().functionButton1, -1);
    EXPECT_EQ(editor->settings().functionButton2, -1);
    pattern() = steps({{0, StepGate}, {1, StepGate}, {2, StepGate}, {3, StepGate}});
    const Pattern before = pattern();

    choose(kOptions, {kAssignFunction1});
    choose(kPatterns, {kShiftLeft});
    EXPECT_TRUE(samePattern(pattern(), before)); // bound, not run
    EXPECT_EQ(editor->settings().functionButton1, kShiftLeft);
    EXPECT_EQ(menuOf(kOptions)->getEntry(kAssignFunction1)->getTitle(), "Assign Function Button 1 (now Shift left)");
    EXPECT_EQ(menuOf(kOptions)->getEntry(kAssignFunction2)->getTitle(), "Assign Function Button 2");
    click(FUNCTIONBUTTON2); // unbound
    EXPECT_TRUE(samePattern(pattern(), before));
    click(FUNCTIONBUTTON1);
    click(FUNCTIONBUTTON1);
    EXPECT_EQ(pattern().steps[0].note, 2);
    EXPECT_EQ(pattern().steps[3].note, 1);

    // Both waiting: the first takes the command, the second gives up its binding.
    choose(kOptions, {kAssignFunction2});
    choose(kOptions, {kAssignFunction1});
    choose(kPatterns, {kShiftRight});
    EXPECT_EQ(editor->settings().functionButton1, kShiftRight);
    EXPECT_EQ(editor->settings().functionButton2, -1);
    EXPECT_EQ(pattern().steps[0].note, 2);

    // The clear key asks first; only Yes clears, and either answer ends a wait.
    services.messageAnswers = {MessageAnswer::kNo, MessageAnswer::kYes};
    choose(kOptions, {kAssignFunction2});
    const Pattern shifted = pattern();
    click(B_PATTERNCLEAR);
    EXPECT_FALSE(menus().functionButtonWaiting(1));
    EXPECT_TRUE(samePattern(pattern(), shifted));
    ASSERT_EQ(services.messages.size(), 1u);
    EXPECT_EQ(services.messages[0].title, "Clear Pattern");
    EXPECT_EQ(services.messages[0].text, "Are you sure you want to clear the pattern?");
    EXPECT_EQ(services.messages[0].kind, platform::MessageKind::kYesNo);
    click(B_PATTERNCLEAR);
    EXPECT_EQ(pattern().steps[0].note, 0);
    EXPECT_EQ(pattern().steps[1].flags, StepGate);
    // A button still waiting at close is stored unbound.
    choose(kOptions, {kAssignFunction1});
    editor->close();
    EditorSettings stored;
    ASSERT_TRUE(readEditorSettings(stored, at("Gui.ini")));
    EXPECT_EQ(stored.functionButton1, -1);
}

TEST_F(Menus, SkinMenuWritesTheChoiceForTheNextOpeningAndChangesNothingElse) {
    const std::string everyTag = slurp(fs::path(KELO_SOURCE_DIR) / "tests/data/skins/EveryTag.skn");
    files["Other.skn"] = files["alpha.skn"] = files["old.skn.bak"] = everyTag;
    files["Broken.skn"] = "this is no skin\n";
    start();
    CMyOptionMenu* skins = menuOf(EditorMenus::kSkinMenuTag);
    ASSERT_EQ(titles(skins), (Titles{"alpha", "Broken", "EveryTag", "Other"}));
    EXPECT_TRUE(skins->showsCheck(2));
    gui::CControl* knob = editor->control(CUTOFFKNOB);
    auto stored = [this] { EditorSettings s; return readEditorSettings(s, at("Gui.ini")) ? s.skin : "?"; };

    choose(kOptions, {kSelectSkin, 3});
    EXPECT_EQ(editor->settings().skin, "Other");
    EXPECT_EQ(stored(), "Other");
    EXPECT_TRUE(skins->showsCheck(3));
    EXPECT_FALSE(skins->showsCheck(2));
    ASSERT_EQ(services.messages.size(), 1u);
    EXPECT_EQ(lastMessage(), "Editor must be closed and reopened for new skin to take effect.");
    EXPECT_EQ(editor->control(CUTOFFKNOB), knob); // the open panel stays as it is
    EXPECT_EQ(seq().learnMode, 0);                // the options menu ran nothing of its own

    choose(kOptions, {kSelectSkin, 3}); // the marked one: nothing
    EXPECT_EQ(services.messages.size(), 1u);
    choose(kOptions, {kSelectSkin, 1});
    EXPECT_EQ(editor->settings().skin, "Other");
    EXPECT_EQ(stored(), "Other");
    EXPECT_TRUE(skins->showsCheck(3));
    EXPECT_NE(lastMessage().find("Broken"), std::string::npos);

    choose(kOptions, {kDefaultSkin});
    EXPECT_EQ(editor->settings().skin, kDefaultSkinName);
    EXPECT_EQ(stored(), kDefaultSkinName);
}

// ------------------------------------------------------------------------------ pattern edits

TEST_F(Menus, PatternCommandsEditOnlyTheCurrentPatternsPlayedSteps) {
    start();
    choose(kPatterns, {kPaste}); // an untouched clipboard: 16 rests on C
    EXPECT_TRUE(samePattern(pattern(), Pattern{16, {}}));

    Pattern p = steps({{0, StepGate | StepUp | StepAccent},
                       {5, StepGate | StepSlide | StepTie},
                       {12, StepDown},
                       {3, StepGate | StepAccent | StepSlide}},
                      0x80007F00u);
    p.steps[4] = {7, StepGate | StepAccent | StepTie}; // beyond the played steps
    pattern() = p;
    choose(kPatterns, {kTransposeUp1});
    EXPECT_EQ(pattern().steps[0].note, 1);
    EXPECT_EQ(pattern().steps[0].flags, StepGate | StepUp | StepAccent);
    EXPECT_EQ(pattern().steps[2].note, 1);
    EXPECT_EQ(pattern().steps[2].flags, 0);

    pattern() = p;
    choose(kPatterns, {kShiftRight});
    EXPECT_EQ(pattern().steps[0].note, 3);
    choose(kPatterns, {kShiftLeft});
    EXPECT_TRUE(samePattern(pattern(), p));
    choose(kPatterns, {kNotesOff});
    EXPECT_EQ(pattern().steps[0].flags, StepUp | StepAccent);
    EXPECT_EQ(pattern().steps[1].flags, StepSlide);
    choose(kPatterns, {kAccentsOff});
    choose(kPatterns, {kSlidesOff});
    for (int i = 0; i < 4; ++i) EXPECT_EQ(pattern().steps[i].flags & ~(StepUp | StepDown), 0) << i;
    EXPECT_EQ(pattern().steps[2].note, 12);
    EXPECT_EQ(pattern().steps[4].flags, p.steps[4].flags);

    pattern() = p;
    seq().seedRandom(1);
    choose(kPatterns, {kRandomizePitches});
    PatternRandom r(1);
    for (int i = 0; i < 4; ++i) {
        r.next();
        r.next();
        EXPECT_EQ(pattern().steps[i].note, r.next() % 14) << i;
        EXPECT_EQ(pattern().steps[i].flags, p.steps[i].flags) << i;
    }
    pattern() = p;
    choose(kPatterns, {kAlter});
    std::multiset<int> was, now;
    for (int i = 0; i < 4; ++i) {
        was.insert(p.steps[i].note * 256 + p.steps[i].flags);
        now.insert(pattern().steps[i].note * 256 + pattern().steps[i].flags);
    }
    EXPECT_EQ(now, was);
    choose(kPatterns, {kRandomizeAll});
    EXPECT_EQ(pattern().header, p.header);
    EXPECT_EQ(pattern().steps[4].flags, p.steps[4].flags);

    // Copy, then paste into another pattern: length, shuffle and triplet come along.
    pattern() = p;
    choose(kPatterns, {kCopy});
    editor->link().selectPattern(5);
    choose(kPatterns, {kPaste});
    EXPECT_EQ(seq().currentPattern, 5);
    EXPECT_TRUE(samePattern(seq().bank.patterns[5], p));
}

// ------------------------------------------------------------------------------ pattern files

TEST_F(Menus, SavePatternWritesItsParametersBesideItAndLoadingBringsBothBack) {
    start();
    const Pattern p = steps({{0, StepGate | StepAccent}, {14, StepGate | StepSlide}, {2, 0}}, 0x80001000u);
    pattern() = p;
    plugin->setParameter(kCutoff, 0.25f);
    answer({at("Patterns/Bass")}); // no extension
    choose(kFiles, {kSavePattern});
    const platform::FileDialogRequest& asked = services.fileRequests.at(0);
    EXPECT_EQ(asked.kind, FileDialogKind::kSave);
    EXPECT_EQ(asked.title + asked.defaultExtension + asked.filters.at(0).description, "Save PatternpatPattern (*.pat)");
    EXPECT_EQ(asked.initialFolder, (data() / "Patterns" / "").string());

    EXPECT_EQ(slurp(data() / "Patterns/Bass.pat"), formatPattern(p));
    std::istringstream param(slurp(data() / "Patterns/Bass.param"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(param, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 13u);
    EXPECT_EQ(lines[1], "\"Cutoff\" = 0.250000");
    EXPECT_TRUE(services.messages.empty());
    EXPECT_EQ(titles(menuOf(kFiles)).back(), "Bass"); // read again after the save

    pattern() = Pattern{16, {}};
    plugin->setParameter(kCutoff, 0.9f);
    choose(kFiles, {kFirstFile});
    EXPECT_EQ(formatPattern(pattern()), formatPattern(p));
    EXPECT_FLOAT_EQ(plugin->getParameter(kCutoff), 0.25f);
    // With parameter loading off the knobs stay.
    choose(kFiles, {kLoadParameters});
    plugin->setParameter(kCutoff, 0.9f);
    choose(kFiles, {kFirstFile});
    EXPECT_FLOAT_EQ(plugin->getParameter(kCutoff), 0.9f);

    // Reopened, the panel names the file again, and the next save starts at it.
    editor->close();
    ASSERT_TRUE(editor->openOffscreen());
    EXPECT_EQ(patchName(), "Bass");
    choose(kFiles, {kSavePattern});
    EXPECT_EQ(services.fileRequests.back().defaultName, at("Patterns/Bass.pat"));
}

TEST_F(Menus, LoadPatternFillsConsecutivePatternsFromTheCurrentOneUpTo127) {
    const fs::path patterns = data() / "Patterns";
    put(patterns / "one.pat", "; KELO Meta tag: 2\n; Cutoff: 0.25 Tempo: 130\nc-3 1 0 0\nd-3 1 0 1\n");
    put(patterns / "two.pat", "; KELO Meta tag: 1\n; Cutoff: 0.75\ne-3 1 0 0\n");
    put(patterns / "three.pat", "; KELO Meta tag: 1\nf-3 1 0 0\n");
    start();
    seq().currentPattern = 125;
    const PatternBank before = seq().bank;

    answer({(patterns / "one.pat").string(), (patterns / "missing.pat").string(), (patterns / "two.pat").string(),
            (patterns / "three.pat").string()});
    choose(kFiles, {kLoadPattern});
    EXPECT_TRUE(services.fileRequests[0].multiple);
    const PatternBank& bank = seq().bank;
    EXPECT_EQ(bank.patterns[125].stepCount(), 2);
    EXPECT_EQ(bank.patterns[125].steps[1].note, 2);
    EXPECT_TRUE(samePattern(bank.patterns[126], before.patterns[126]));
    EXPECT_EQ(bank.patterns[127].steps[0].note, 4);
    EXPECT_TRUE(samePattern(bank.patterns[0], before.patterns[0])); // nothing wraps round
    // The first file's parameter lines only.
    EXPECT_FLOAT_EQ(plugin->getParameter(kCutoff), 0.25f);
    EXPECT_DOUBLE_EQ(seq().state.tempoBpm, 130.0);
    EXPECT_EQ(patchName(), "one");
    EXPECT_EQ(lastMessage(), "Could not load the pattern files\n" + (patterns / "missing.pat").string());
    // The next dialog starts in the loaded file's folder.
    choose(kFiles, {kLoadPattern});
    EXPECT_EQ(services.fileRequests.back().initialFolder, (patterns / "").string());
}

TEST_F(Menus, BankExportAndImportGoRoundTheWholeBank) {
    start();
    PatternRandom r(7);
    for (int i = 0; i < kNumPatterns; ++i) {
        Pattern& p = seq().bank.patterns[i];
        p.header = uint32_t(1 + i % 64) | uint32_t(i) << 8 | (i % 3 == 0 ? 0x80000000u : 0u);
        randomizePattern(p, r);
    }
    const PatternBank before = seq().bank;
    answer({at("mybank")});
    choose(kPatterns, {kExportPatterns});
    EXPECT_EQ(slurp(data() / "mybank.pat"), formatBank(before));

    for (Pattern& p : seq().bank.patterns) p = Pattern{16, {}};
    answer({at("mybank.pat")});
    choose(kPatterns, {kImportPatterns});
    EXPECT_EQ(services.fileRequests.back().title, "Import Patterns");
    EXPECT_EQ(formatBank(seq().bank), formatBank(before));
    EXPECT_TRUE(services.messages.empty());
}

TEST_F(Menus, ForeignImportTakesSongsAndPhFilesByTheirExtensionInAnyCase) {
    start();
    const fs::path song = fs::path(KELO_RBS_TESTDATA) / "on-the-run.rbs";
    fs::copy_file(song, data() / "SONG.RBS");
    for (Pattern& p : seq().bank.patterns) p = Pattern{16, {}};
    PatternBank expected = seq().bank;
    struct : ParameterWriter {
        float v[kNumParameters] = {};
        void setParameter(int i, float x) override { v[i] = x; }
        float getParameter(int i) const override { return v[i]; }
    } knobs;
    int selected = -1;
    ASSERT_TRUE(importRebirthSong(song.string(), expected, &knobs, selected));

    answer({at("SONG.RBS")});
    choose(kPatterns, {kImportRebirth});
    EXPECT_EQ(services.fileRequests.back().title, "Import Rebirth RB-338 Song File");
    for (int i = 0; i < kNumPatterns; ++i) EXPECT_TRUE(samePattern(seq().bank.patterns[i], expected.patterns[i])) << i;
    EXPECT_EQ(seq().currentPattern, selected);
    for (int k : {kTune, kCutoff, kResonance, kEnvmod, kDecay, kAccent, kWaveform})
        EXPECT_FLOAT_EQ(plugin->getParameter(k), knobs.v[k]) << k;

    std::string ph = "3 0 0\n";
    for (int i = 0; i < 16; ++i) ph += "2 0 1 1 1 0 0 0 0\n";
    put(data() / "bank.Ph", ph);
    answer({at("bank.Ph")});
    choose(kPatterns, {kImportRebirth});
    EXPECT_EQ(seq().bank.patterns[0].stepCount(), 3);
    EXPECT_EQ(seq().bank.patterns[0].steps[0].note, 2);
    EXPECT_EQ(seq().bank.patterns[0].steps[0].flags, StepGate | StepUp | StepAccent);
    EXPECT_TRUE(services.messages.empty());

    const Pattern kept = seq().bank.patterns[0];
    put(data() / "notes.txt", ph);
    put(data() / "empty.ph", "");
    answer({at("notes.txt")});
    choose(kPatterns, {kImportRebirth});
    EXPECT_EQ(lastMessage().rfind("Only Rebirth song files (.rbs) and .ph pattern files", 0), 0u);
    answer({at("empty.ph")});
    choose(kPatterns, {kImportRebirth});
    EXPECT_EQ(lastMessage(), "No patterns found in\n" + at("empty.ph"));
    EXPECT_TRUE(samePattern(seq().bank.patterns[0], kept));
}

TEST_F(Menus, MidiExportIsReadBackByAnIndependentReader) {
    if (std::string(KELO_PYTHON3).empty()) GTEST_SKIP() << "the file is read back on the Linux side only";
    start();
    pattern() = steps({{0, StepGate}, {4, StepGate | StepAccent | StepSlide}, {7, StepGate}, {0, 0}});
    answer({at("line")});
    choose(kPatterns, {kExportMidi});
    EXPECT_EQ(services.fileRequests.back().title, "Export MIDI File");
    put(data() / "read.py", "import mido, sys\n"
                            "f = mido.MidiFile(sys.argv[1])\n"
                            "print(f.type, f.ticks_per_beat)\n"
                            "t = 0\n"
                            "for m in f.tracks[0]:\n"
                            "    t += m.time\n"
                            "    if m.type in ('note_on', 'note_off'): print(t, m.type, m.note, m.velocity)\n");
    const fs::path out = data() / "read.out";
    const std::string command = std::string("\"") + KELO_PYTHON3 + "\" \"" + at("read.py") + "\" \"" +
                                at("line.mid") + "\" > \"" + out.string() + "\" 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << slurp(out);
    // Velocity 99 from AccentVelocity 100; the accented slide holds E into G.
    EXPECT_EQ(slurp(out), "0 96\n"
                          "0 note_on 36 99\n"
                          "12 note_off 36 99\n"
                          "24 note_on 40 127\n"
                          "48 note_on 43 127\n"
                          "60 note_off 40 127\n"
                          "60 note_off 43 127\n");
}

// ------------------------------------------------------------------------------ controller maps, configuration

TEST_F(Menus, LearnedControllersAreSavedToAMapAndLoadedBack) {
    start();
    choose(kOptions, {kLearn});
    drag(CUTOFFKNOB, -20);
    seq().handleMidiMessage(0xB0, 20, 64);
    EXPECT_EQ(plugin->ccMap().entries[20], kCutoff);
    EXPECT_EQ(plugin->ccMap().entries[74], -1);

    answer({at("mine")});
    choose(kOptions, {kSaveCcMap});
    EXPECT_EQ(services.fileRequests.back().title, "Select MidiCC map");
    EXPECT_EQ(services.fileRequests.back().initialFolder, plugin->dataFolder());
    EXPECT_EQ(slurp(data() / "mine.map"), formatMidiMap(plugin->ccMap(), seq().keyCommands));

    setDefaultCcMap(plugin->ccMap());
    answer({at("mine.map")});
    choose(kOptions, {kLoadCcMap});
    EXPECT_EQ(plugin->ccMap().entries[20], kCutoff);
    EXPECT_EQ(plugin->ccMap().entries[74], -1);
    put(data() / "hand.map", "MidiCC.Resonance = 30\n");
    answer({at("hand.map")});
    choose(kOptions, {kLoadCcMap});
    EXPECT_EQ(plugin->ccMap().entries[30], kResonance);
    EXPECT_EQ(plugin->ccMap().entries[76], -1);
    EXPECT_EQ(plugin->ccMap().entries[20], kCutoff);
    EXPECT_TRUE(services.messages.empty());
}

TEST_F(Menus, ReloadConfigurationReadsEveryFileAgain) {
    start();
    plugin->settings().midiOutput = 1;
    plugin->settings().midiOutputChannel = 1;
    seq().state.sentNotes[40] = 1;
    home.write("Config.ini", "ClockSync = 1\nMidiOutput = 0\nMidiOutputChannel = 4\n");
    home.write("Gui.ini", std::string(kGuiIni) + "FunctionButton2 = 10\n");
    home.write("MidiCC.ini", "MidiCC.Cutoff = 21\n");
    choose(kOptions, {kReloadConfiguration});
    EXPECT_EQ(plugin->settings().clockSync, 1);
    EXPECT_EQ(seq().state.sentNotes[40], 0); // switched off the way that releases the notes
    EXPECT_EQ(plugin->ccMap().entries[21], kCutoff);
    EXPECT_EQ(editor->settings().functionButton2, kShiftRight);
    const Titles t = titles(menuOf(kOptions));
    EXPECT_EQ(t[kMidiOutput], "Activate MIDI output [channel 5]");
    EXPECT_EQ(t[kClockSync], "Ext. Clock sync: 48PPQ");
    EXPECT_EQ(t[kAssignFunction2], "Assign Function Button 2 (now Shift right)");
}

// ------------------------------------------------------------------------------ failures

TEST_F(Menus, FailedFileCommandsSayWhyAndLeaveFilesAndInstanceAsTheyWere) {
    start();
    const PatternBank bank = seq().bank;
    put(data() / "old.pat", "old");

    // Cancelled dialogs, and an answer that comes after the panel closed: nothing at all.
    choose(kPatterns, {kExportPatterns});
    answer({at("late.pat")});
    choose(kFiles, {kSavePattern}, false);
    editor->close();
    services.poll();
    ASSERT_TRUE(editor->openOffscreen());
    idle();
    EXPECT_FALSE(fs::exists(data() / "late.pat"));
    EXPECT_TRUE(services.messages.empty());

    // A folder given as a file, a file given as a folder, a file that is not there.
    answer({at("")});
    choose(kPatterns, {kImportPatterns});
    EXPECT_EQ(lastMessage(), "Could not read the pattern file\n" + at(""));
    answer({at("old.pat/bank.pat")});
    choose(kPatterns, {kExportPatterns});
    EXPECT_EQ(lastMessage().rfind("Could not export the patterns to\n" + at("old.pat/bank.pat"), 0), 0u);
    answer({at("gone.map")});
    choose(kOptions, {kLoadCcMap});
    EXPECT_EQ(lastMessage(), "Could not read the MIDI CC map\n" + at("gone.map"));
    answer({at("old.pat/x")});
    choose(kOptions, {kSaveCcMap});
    EXPECT_EQ(lastMessage().rfind("Could not save the MIDI CC map\n" + at("old.pat/x.map"), 0), 0u);
    answer({at("old.pat/x.mid")});
    choose(kPatterns, {kExportMidi});
    EXPECT_EQ(lastMessage().rfind("Could not write the MIDI file", 0), 0u);

    // A folder that cannot be written to.
#if defined(_WIN32)
    const fs::path locked = data() / "old.pat"; // a file where the folder should be
#else
    fs::path locked = data() / "locked";
    put(locked / "Bass.pat", "old");
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
    if (geteuid() == 0) locked = "/proc/self"; // root writes anywhere but in the system's own folders
#endif
    answer({(locked / "Bass.pat").string()});
    choose(kFiles, {kSavePattern});
    EXPECT_EQ(lastMessage(), "Could not save patch. Try in a different location like your Documents folder.");
    EXPECT_EQ(patchName(), "");
#if !defined(_WIN32)
    fs::permissions(data() / "locked", fs::perms::owner_all);
    EXPECT_EQ(slurp(data() / "locked/Bass.pat"), "old");
#endif

    EXPECT_EQ(services.messages.size(), 6u);
    EXPECT_EQ(slurp(data() / "old.pat"), "old");
    for (int i = 0; i < kNumPatterns; ++i) ASSERT_TRUE(samePattern(seq().bank.patterns[i], bank.patterns[i])) << i;
}

} // namespace
} // namespace kelo::test
