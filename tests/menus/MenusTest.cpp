// The editor's menus on the real plug-in core: what each command does to the instance and to a
// scratch data folder, dialogs answered by the fake services, entries chosen with the keyboard.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "editor/MenuCommands.h"
#include "editor/Menus.h"
#include "editor/controls/CMyOptionMenu.h"
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
using Titles = std::vector<std::string>;

constexpr int32_t kOptions = EditorMenus::kOptionsMenuTag;
constexpr int32_t kPatterns = EditorMenus::kPatternMenuTag;
constexpr int32_t kFiles = EditorMenus::kPatternFileMenuTag;

Titles titles(const gui::COptionMenu* m) {
    Titles t;
    for (const gui::CMenuItem* i : m->getItems()) t.push_back(i->isSeparator() ? "-" : i->getTitle());
    return t;
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
    std::string at(const std::string& name) const { return (data() / fs::path(name).make_preferred()).string(); }
    CMyOptionMenu* menuOf(int32_t tag) { return editor->menus().menu(tag); }
    std::string title(int32_t tag, int32_t entry) { return menuOf(tag)->getEntry(entry)->getTitle(); }
    void key(unsigned char virt) {
        VstKeyCode k{0, virt, 0};
        frame()->onKeyDown(k);
    }
    // Pops the menu up and chooses the entry at path[0], in its sub-menu at path[1], ...; the next
    // file dialog is answered with `names` in the data folder, delivered by one idle.
    void choose(int32_t tag, std::vector<int32_t> path, std::vector<std::string> names = {}, bool idles = true) {
        for (std::string& name : names) name = at(name);
        if (!names.empty()) services.fileAnswers.push_back(names);
        ASSERT_TRUE(editor->menus().popup(tag, frame(), gui::CPoint(0, 0)));
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
        ASSERT_FALSE(editor->menus().isPoppedUp(tag));
        if (idles) idle();
    }
    std::string lastMessage() const { return services.messages.empty() ? "" : services.messages.back().text; }
    std::string patchName() { return static_cast<CTextDisplay*>(editor->control(PATCHDISPLAY))->getText(); }
};

TEST_F(Menus, OptionsShowTheirStateAfterEachCommandAndReadAndWriteTheirFiles) {
    start();
    plugin->settings().midiOutputChannel = 1;
    const std::pair<int32_t, const char*> toggled[] = {
        {kLearn, "Deactivate MIDI learn"}, {kMidiOutput, "Deactivate MIDI output [channel 2]"},
        {kTransmitKnobs, "MIDI Transmit Knobs: On"}, {kClockSync, "Ext. Clock sync: 48PPQ"}};
    for (auto [entry, label] : toggled) {
        choose(kOptions, {entry});
        EXPECT_EQ(title(kOptions, entry), label);
    }
    const EngineSettings& s = plugin->settings();
    EXPECT_EQ(std::tuple(int(seq().learnMode), s.midiOutput, s.midiTransmitKnobs, s.clockSync),
              std::tuple(1, 1, 1, 1));
    // Keyboard programming explains itself when it goes on, not when it goes off.
    choose(kOptions, {kKeyProgramming});
    EXPECT_EQ(title(kOptions, kKeyProgramming), "MIDI Programming: On");
    choose(kOptions, {kKeyProgramming});
    EXPECT_EQ(s.midiKeyProgramming, 0);
    EXPECT_EQ(services.messages.size(), 1u);
    // Learn is on: a knob moved, then a controller, binds them.
    drag(CUTOFFKNOB, -20);
    seq().handleMidiMessage(0xB0, 20, 64);
    const auto& cc = plugin->ccMap().entries;
    EXPECT_EQ(std::pair(int(cc[20]), int(cc[74])), std::pair(int(kCutoff), -1));
    choose(kOptions, {kSaveCcMap}, {"mine"});
    EXPECT_EQ(home.read("mine.map"), formatMidiMap(plugin->ccMap(), seq().keyCommands));
    setDefaultCcMap(plugin->ccMap());
    choose(kOptions, {kLoadCcMap}, {"mine.map"});
    EXPECT_EQ(std::pair(int(cc[20]), int(cc[74])), std::pair(int(kCutoff), -1));
    EXPECT_EQ(services.messages.size(), 1u);
    seq().state.sentNotes[40] = 1;
    home.write("Config.ini", "ClockSync = 0\nMidiOutput = 0\nMidiOutputChannel = 4\nAccentVelocity = 50\n");
    home.write("User.ini", "AccentVelocity = 60\n"); // the user's own file wins
    home.write("Gui.ini", std::string(kGuiIni) + "FunctionButton2 = 10\n");
    home.write("MidiCC.ini", "MidiCC.Cutoff = 21\n");
    choose(kOptions, {kReloadConfiguration});
    EXPECT_EQ(std::pair(plugin->settings().clockSync, plugin->settings().accentVelocity), std::pair(0, 60));
    EXPECT_EQ(seq().state.sentNotes[40], 0); // switched off the way that releases the notes
    EXPECT_EQ(cc[21], kCutoff);
    EXPECT_EQ(editor->settings().functionButton2, kShiftRight);
    EXPECT_EQ(title(kOptions, kMidiOutput), "Activate MIDI output [channel 5]");
    EXPECT_EQ(title(kOptions, kAssignFunction2), "Assign Function Button 2 (now Shift right)");
}

TEST_F(Menus, PatternFileMenuListsFoldersByTheirRealPathsWithinItsLimits) {
    const fs::path patterns = data() / "Patterns";
    const std::string d = formatPattern(steps({{4, StepGate}, {7, StepGate | StepAccent}}));
    for (const char* name : {"b.pat", "A.pat", "y.PAT", "x.pat.bak", "sub/c.pat"}) put(patterns / name, "");
    put(patterns / "sub/deeper/d.pat", d);
    fs::create_directories(patterns / "empty");
    std::error_code ec;
    // Links back up the tree would never end if they were followed.
    fs::create_directory_symlink("..", patterns / "sub/loop", ec);
    fs::create_directory_symlink("../..", patterns / "sub/deeper/up.pat", ec);
    for (int i = 0; i < 600; ++i) put(patterns / "z" += std::to_string(1000 + i) += ".pat", "");
    start();
    CMyOptionMenu* fileMenu = menuOf(kFiles);
    EXPECT_EQ(titles(fileMenu).at(511), "z1502"); // the last of 512 entries
    Titles shown = titles(fileMenu);
    shown.resize(11);
    EXPECT_EQ(shown, (Titles{"Load Pattern", "Save Pattern", "-", "Load parameters: On", "-", "A", "b", "sub", "y",
                             "z1000", "z1001"}));
    const gui::COptionMenu* sub = fileMenu->getSubMenu(7);
    ASSERT_TRUE(sub && sub->getSubMenu(1));
    EXPECT_EQ(titles(sub), (Titles{"c", "deeper"}));
    EXPECT_EQ(titles(sub->getSubMenu(1)), (Titles{"d"}));
    choose(kFiles, {kLoadParameters});
    EXPECT_EQ(title(kFiles, kLoadParameters), "Load parameters: Off");
    // A sub-menu's entry, chosen twice: loaded each time, and nothing else runs.
    for (int round = 0; round < 2; ++round) {
        pattern() = steps({{1, 0}});
        choose(kFiles, {7, 1, 0});
        Pattern expected = steps({{1, 0}});
        parsePattern(expected, d);
        EXPECT_TRUE(samePattern(pattern(), expected)) << round;
        EXPECT_EQ(patchName(), "d");
    }
    EXPECT_TRUE(services.fileRequests.empty());
    EXPECT_TRUE(services.messages.empty());
}

TEST_F(Menus, FunctionButtonsBindTheNextPatternCommandAndTheSkinMenuWritesTheNextOpeningsSkin) {
    files["Gui.ini"] = std::string(kGuiIni) + "FunctionButton1 = 8\nFunctionButton2 = 999\nClearConfirm = 1\n";
    fs::create_directories(data());
    for (const char* name : {"Other.skn", "alpha.skn", "old.skn.bak"})
        fs::copy_file(fs::path(KELO_SOURCE_DIR) / "tests/data/skins/EveryTag.skn", data() / name);
    start();
    // Bindings that name no command (a separator, beyond the menu) are none.
    EXPECT_EQ(std::pair(editor->settings().functionButton1, editor->settings().functionButton2), std::pair(-1, -1));
    pattern() = steps({{0, StepGate}, {1, StepGate}, {2, StepGate}, {3, StepGate}});
    const Pattern before = pattern();
    choose(kOptions, {kAssignFunction1});
    choose(kPatterns, {kShiftLeft});
    EXPECT_TRUE(samePattern(pattern(), before)); // bound, not run
    EXPECT_EQ(editor->settings().functionButton1, kShiftLeft);
    EXPECT_EQ(title(kOptions, kAssignFunction1), "Assign Function Button 1 (now Shift left)");
    choose(kPatterns, {kShiftLeft}); // bound: the menu runs its commands again
    EXPECT_EQ(pattern().steps[0].note, 1);
    click(FUNCTIONBUTTON2); // unbound: nothing
    click(FUNCTIONBUTTON1);
    EXPECT_EQ(std::pair(int(pattern().steps[0].note), int(pattern().steps[3].note)), std::pair(2, 1));
    // Both waiting: the first takes the command, the second gives up its binding.
    choose(kOptions, {kAssignFunction2});
    choose(kOptions, {kAssignFunction1});
    choose(kPatterns, {kShiftRight});
    EXPECT_EQ(std::pair(editor->settings().functionButton1, editor->settings().functionButton2),
              std::pair(int(kShiftRight), -1));
    EXPECT_EQ(pattern().steps[0].note, 2);
    choose(kOptions, {kAssignFunction2});
    choose(kPatterns, {kTransposeUp1});
    click(FUNCTIONBUTTON2);
    EXPECT_EQ(pattern().steps[0].note, 3);
    // The clear key asks first; only Yes clears, and either answer ends a wait.
    services.messageAnswers = {platform::MessageAnswer::kNo, platform::MessageAnswer::kYes};
    choose(kOptions, {kAssignFunction2});
    const Pattern shifted = pattern();
    click(B_PATTERNCLEAR);
    EXPECT_FALSE(editor->menus().functionButtonWaiting(1));
    EXPECT_TRUE(samePattern(pattern(), shifted));
    click(B_PATTERNCLEAR);
    EXPECT_EQ(std::pair(int(pattern().steps[0].note), int(pattern().steps[1].flags)), std::pair(0, int(StepGate)));
    // A button still waiting at close is stored unbound and waits no more when reopened.
    choose(kOptions, {kAssignFunction1});
    editor->close();
    EXPECT_NE(home.read("Gui.ini").find("FunctionButton1 = -1\n"), std::string::npos);
    ASSERT_TRUE(editor->openOffscreen());
    choose(kPatterns, {kTransposeUp1});
    EXPECT_EQ(std::pair(int(pattern().steps[0].note), editor->settings().functionButton1), std::pair(1, -1));
    // The skin menu: the choice is stored for the next opening, and nothing else changes.
    CMyOptionMenu* skins = menuOf(EditorMenus::kSkinMenuTag);
    ASSERT_EQ(titles(skins), (Titles{"alpha", "EveryTag", "Other"}));
    EXPECT_TRUE(skins->showsCheck(1));
    gui::CControl* knob = editor->control(CUTOFFKNOB);
    auto stored = [this] { EditorSettings s; return readEditorSettings(s, at("Gui.ini")) ? s.skin : "?"; };
    choose(kOptions, {kSelectSkin, 2});
    EXPECT_EQ(stored(), "Other");
    EXPECT_TRUE(skins->showsCheck(2) && !skins->showsCheck(1));
    EXPECT_EQ(lastMessage(), "Editor must be closed and reopened for new skin to take effect.");
    EXPECT_EQ(editor->control(CUTOFFKNOB), knob); // the open panel stays as it is
    choose(EditorMenus::kSkinMenuTag, {0}); // popped up on its own
    EXPECT_EQ(stored(), "alpha");
    choose(kOptions, {kDefaultSkin}); // not in the menu: nothing marked
    EXPECT_EQ(stored(), kDefaultSkinName);
    EXPECT_FALSE(skins->showsCheck(0));
}

TEST_F(Menus, PatternCommandsEditTheCurrentPatternAndMoveBanksSongsAndPatternFiles) {
    start();
    Pattern p = steps({{0, StepGate | StepUp | StepAccent}, {5, StepGate | StepSlide | StepTie}, {12, StepDown},
                       {3, StepGate | StepAccent | StepSlide}},
                      0x80007F00u);
    p.steps[4] = {7, StepGate | StepAccent | StepTie}; // beyond the played steps
    using Edit = void (*)(Pattern&, PatternRandom&);
    const std::pair<int32_t, Edit> edits[] = {
        {kTransposeUp12, [](Pattern& q, PatternRandom&) { transposePattern(q, 12); }},
        {kTransposeDown12, [](Pattern& q, PatternRandom&) { transposePattern(q, -12); }},
        {kTransposeUp1, [](Pattern& q, PatternRandom&) { transposePattern(q, 1); }},
        {kTransposeDown1, [](Pattern& q, PatternRandom&) { transposePattern(q, -1); }},
        {kShiftLeft, [](Pattern& q, PatternRandom&) { rotatePattern(q, -1); }},
        {kShiftRight, [](Pattern& q, PatternRandom&) { rotatePattern(q, 1); }},
        {kNotesOff, [](Pattern& q, PatternRandom&) { keepStepFlags(q, uint8_t(~(StepGate | StepTie))); }},
        {kAccentsOff, [](Pattern& q, PatternRandom&) { keepStepFlags(q, uint8_t(~StepAccent)); }},
        {kSlidesOff, [](Pattern& q, PatternRandom&) { keepStepFlags(q, uint8_t(~StepSlide)); }},
        {kRandomizeAll, [](Pattern& q, PatternRandom& r) { randomizePattern(q, r); }},
        {kRandomizePitches, [](Pattern& q, PatternRandom& r) { randomizePitches(q, r); }},
        {kAlter, [](Pattern& q, PatternRandom& r) { scrambleSteps(q, r); }},
    };
    for (auto [entry, edit] : edits) {
        pattern() = p;
        seq().seedRandom(1);
        choose(kPatterns, {entry});
        Pattern expected = p;
        PatternRandom r(1);
        edit(expected, r);
        EXPECT_TRUE(samePattern(pattern(), expected)) << entry;
    }
    // Copy, then paste into another pattern: length, shuffle and triplet come along.
    pattern() = p;
    choose(kPatterns, {kCopy});
    editor->link().selectPattern(5);
    seq().editCursor = 50;
    choose(kPatterns, {kPaste});
    EXPECT_TRUE(samePattern(seq().bank.patterns[5], p));
    EXPECT_EQ(seq().editCursor, 3); // kept inside the pasted length
    PatternRandom r(7);
    for (Pattern& q : seq().bank.patterns) randomizePattern(q, r);
    const PatternBank before = seq().bank;
    choose(kPatterns, {kExportPatterns}, {"mybank"});
    for (Pattern& q : seq().bank.patterns) q = Pattern{16, {}};
    choose(kPatterns, {kImportPatterns}, {"mybank.pat"});
    EXPECT_EQ(formatBank(seq().bank), formatBank(before));
    // A song brings its patterns, its selected pattern and its knobs; the extension in any case.
    const fs::path song = fs::path(KELO_RBS_TESTDATA) / "on-the-run.rbs";
    fs::copy_file(song, data() / "SONG.RBS");
    PatternBank expected = seq().bank;
    struct : ParameterWriter {
        float v[kNumParameters] = {};
        void setParameter(int i, float x) override { v[i] = x; }
        float getParameter(int i) const override { return v[i]; }
    } knobs;
    int selected = -1;
    ASSERT_TRUE(importRebirthSong(song.string(), expected, &knobs, selected));
    choose(kPatterns, {kImportRebirth}, {"SONG.RBS"});
    EXPECT_EQ(std::memcmp(&seq().bank, &expected, sizeof expected), 0);
    EXPECT_EQ(seq().currentPattern, selected);
    EXPECT_FLOAT_EQ(plugin->getParameter(kCutoff), knobs.v[kCutoff]);
    EXPECT_TRUE(services.messages.empty());
    const Pattern bass = steps({{0, StepGate | StepAccent}, {14, StepGate | StepSlide}, {2, 0}}, 0x80001000u);
    seq().currentPattern = 6;
    pattern() = bass;
    plugin->setParameter(kCutoff, 0.25f);
    choose(kFiles, {kSavePattern}, {"Patterns/Bass"}); // no extension
    const platform::FileDialogRequest& asked = services.fileRequests.back();
    EXPECT_EQ(asked.title + "|" + asked.defaultExtension + "|" + asked.initialFolder + "|" + patchName(),
              "Save Pattern|pat|" + (data() / "Patterns" / "").string() + "|Bass");
    EXPECT_EQ(home.read("Patterns/Bass.pat"), formatPattern(bass));
    EXPECT_NE(home.read("Patterns/Bass.param").find("\n\"Cutoff\" = 0.250000\n"), std::string::npos);
    EXPECT_EQ(titles(menuOf(kFiles)).back(), "Bass"); // read again after the save
    pattern() = Pattern{16, {}};
    plugin->setParameter(kCutoff, 0.9f);
    choose(kFiles, {kFirstFile});
    EXPECT_EQ(formatPattern(pattern()), formatPattern(bass));
    EXPECT_FLOAT_EQ(plugin->getParameter(kCutoff), 0.25f);
    choose(kFiles, {kLoadParameters}); // off: the knobs stay
    plugin->setParameter(kCutoff, 0.9f);
    choose(kFiles, {kFirstFile});
    EXPECT_FLOAT_EQ(plugin->getParameter(kCutoff), 0.9f);
    // Several files fill consecutive patterns up to the last; only the first's knob lines count.
    choose(kFiles, {kLoadParameters});
    put(data() / "in/one.pat", "; KELO Meta tag: 2\n; Cutoff: 0.25 Tempo: 130\nc-3 1 0 0\nd-3 1 0 1\n");
    put(data() / "in/two.pat", "; KELO Meta tag: 1\n; Cutoff: 0.75\ne-3 1 0 0\n");
    put(data() / "in/three.pat", "; KELO Meta tag: 1\nf-3 1 0 0\n");
    seq().currentPattern = 125;
    plugin->setParameter(kCutoff, 0.9f);
    const PatternBank loaded = seq().bank;
    choose(kFiles, {kLoadPattern}, {"in/one.pat", "in/missing.pat", "in/two.pat", "in/three.pat"});
    const PatternBank& bank = seq().bank;
    EXPECT_EQ(std::tuple(bank.patterns[125].stepCount(), int(bank.patterns[125].steps[1].note),
                         int(bank.patterns[127].steps[0].note)),
              std::tuple(2, 2, 4));
    EXPECT_TRUE(samePattern(bank.patterns[126], loaded.patterns[126]));
    EXPECT_TRUE(samePattern(bank.patterns[0], loaded.patterns[0])); // nothing wraps round
    EXPECT_EQ(std::tuple(plugin->getParameter(kCutoff), seq().state.tempoBpm, patchName()),
              std::tuple(0.25f, 130.0, std::string("one")));
    EXPECT_EQ(lastMessage(), "Could not load the pattern files\n" + at("in/missing.pat"));
}

TEST_F(Menus, FailedFileCommandsSayWhyAndLeaveFilesAndInstanceAsTheyWere) {
    start();
    const PatternBank bank = seq().bank;
    put(data() / "old.pat", "old");
    // Cancelled dialogs, and an answer that comes after the panel closed: nothing at all.
    choose(kPatterns, {kExportPatterns});
    choose(kFiles, {kSavePattern}, {"late.pat"}, false);
    services.cancelDrops = false; // the answer races the close
    editor->close();
    services.poll();
    services.cancelDrops = true;
    ASSERT_TRUE(editor->openOffscreen());
    idle();
    EXPECT_FALSE(fs::exists(data() / "late.pat"));
    EXPECT_TRUE(services.messages.empty());
    // A folder as a file, a file as a folder, files that are not there or hold no patterns.
    put(data() / "empty.ph", "");
    put(data() / "junk.rbs", "no song");
    const struct {
        int32_t tag, entry;
        const char* path;
        std::string says;
    } failures[] = {
        {kPatterns, kImportPatterns, "", "Could not read the pattern file\n" + at("")},
        {kPatterns, kExportPatterns, "old.pat/b.pat", "Could not export the patterns to\n" + at("old.pat/b.pat")},
        {kOptions, kSaveCcMap, "old.pat/x", "Could not save the MIDI CC map\n" + at("old.pat/x.map")},
        {kPatterns, kExportMidi, "old.pat/x.mid", "Could not write the MIDI file\n" + at("old.pat/x.mid")},
        {kPatterns, kImportRebirth, "old.pat", "Only Rebirth song files (.rbs) and .ph pattern files"},
        {kPatterns, kImportRebirth, "empty.ph", "No patterns found in\n" + at("empty.ph")},
        {kPatterns, kImportRebirth, "gone.rbs", "Could not read\n" + at("gone.rbs")},
        {kPatterns, kImportRebirth, "junk.rbs", "No bass line patterns found in\n" + at("junk.rbs")},
        {kFiles, kSavePattern, "old.pat/Bass.pat", "Could not save patch. Try in a different location"},
    };
    for (const auto& f : failures) {
        choose(f.tag, {f.entry}, {f.path});
        EXPECT_EQ(lastMessage().rfind(f.says, 0), 0u) << lastMessage();
    }
    EXPECT_EQ(services.messages.size(), std::size(failures));
    EXPECT_EQ(home.read("old.pat"), "old");
    for (int i = 0; i < kNumPatterns; ++i) ASSERT_TRUE(samePattern(seq().bank.patterns[i], bank.patterns[i])) << i;
}

} // namespace
} // namespace kelo::test
