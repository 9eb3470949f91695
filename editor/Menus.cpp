#include "editor/Menus.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "editor/MenuCommands.h"
#include "editor/PatternFileList.h"
#include "editor/PluginLink.h"
#include "editor/Riv303Uru.h"
#include "editor/controls/CMyOptionMenu.h"
#include "platform/Services.h"
#include "plugin/Vez303.h"
#include "toolkit/CFrame.h"

namespace kelo {

using namespace gui;

namespace menu {
namespace {

// "-" is a separator.
constexpr const char* kPatternTitles[kPatternEntries] = {
    "-",
    "Copy Pattern",
    "Paste Pattern",
    "-",
    "Transpose +12 semitones",
    "Transpose -12 semitones",
    "Transpose  +1 semitone",
    "Transpose  -1 semitone",
    "-",
    "Shift left",
    "Shift right",
    "-",
    "All notes off",
    "All accents off",
    "All slides off",
    "-",
    "Randomize all",
    "Randomize pitches",
    "Alter pattern",
    "-",
    "Import patterns",
    "Export patterns",
    "Import Rebirth Patterns",
    "Export pattern as MIDI file",
    "-",
    "Analyze Pattern...",
};

// Labels before the first refresh; the skin menu hangs at kSelectSkin.
constexpr const char* kOptionsTitles[kOptionsEntries] = {
    "Activate MIDI learn",
    "Activate MIDI output",
    "MIDI Transmit Knobs: On",
    "Keyboard Programming: ON",
    "Ext. Clock sync: 24PPQ",
    "-",
    "Load MIDI CC map",
    "Save MIDI CC map",
    "View Configuration files",
    "Reload Configuration",
    "-",
    "Assign Function Button 1",
    "Assign Function Button 2",
    "-",
    "Select Skin",
    "Set Default Skin",
    "-",
    "Preferences...",
    "About KELO",
    "-",
    MenuCommands::kHomePageLabel,
    "Check for update",
};

} // namespace

bool isPatternCommand(int32_t index) {
    return index >= 0 && index < kPatternEntries && kPatternTitles[index][0] != '-';
}

const char* patternEntryTitle(int32_t index) { return isPatternCommand(index) ? kPatternTitles[index] : ""; }

} // namespace menu

namespace {

constexpr size_t kSkinExtensionLength = 4; // ".skn"

bool isSkinFile(const std::string& name) {
    if (name.size() <= kSkinExtensionLength) return false;
    std::string ext = name.substr(name.size() - kSkinExtensionLength);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".skn";
}

bool lessNoCase(const std::string& a, const std::string& b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const int x = std::tolower(static_cast<unsigned char>(a[i]));
        const int y = std::tolower(static_cast<unsigned char>(b[i]));
        if (x != y) return x < y;
    }
    return a.size() != b.size() ? a.size() < b.size() : a < b;
}

} // namespace

EditorMenus::EditorMenus(Riv303Uru& editor)
    : editor_(editor), commands_(std::make_unique<MenuCommands>(editor, *this)) {}

EditorMenus::~EditorMenus() { release(); }

void EditorMenus::build() {
    release();
    commands_->open();

    skins_ = new CMyOptionMenu(CRect(), &editor_, kSkinMenuTag, kCheckStyle);
    buildSkins();

    patternFiles_ = new CMyOptionMenu(CRect(), &editor_, kPatternFileMenuTag);
    patternFiles_->setMaxEntries(kPatternFileMenuEntries);
    buildPatternFiles();

    pattern_ = new CMyOptionMenu(CRect(), &editor_, kPatternMenuTag);
    for (const char* title : menu::kPatternTitles) pattern_->addEntry(title);

    options_ = new CMyOptionMenu(CRect(), &editor_, kOptionsMenuTag);
    for (int32_t i = 0; i < menu::kOptionsEntries; ++i) {
        if (i == menu::kSelectSkin)
            options_->addEntry(skins_, menu::kOptionsTitles[i]);
        else
            options_->addEntry(menu::kOptionsTitles[i]);
    }
    validateFunctionButtons();
}

void EditorMenus::release() {
    commands_->close();
    for (CMyOptionMenu** m : {&pattern_, &options_, &patternFiles_, &skins_}) {
        if (*m) (*m)->forget();
        *m = nullptr;
    }
    filePaths_.clear();
    cancelWaitingFunctionButton();
}

CMyOptionMenu* EditorMenus::menu(int32_t tag) const {
    switch (tag) {
    case kPatternMenuTag: return pattern_;
    case kOptionsMenuTag: return options_;
    case kPatternFileMenuTag: return patternFiles_;
    case kSkinMenuTag: return skins_;
    default: return nullptr;
    }
}

bool EditorMenus::popup(int32_t tag, CFrame* frame, const CPoint& where) {
    CMyOptionMenu* m = menu(tag);
    return m && frame && m->popup(frame, where);
}

bool EditorMenus::isPoppedUp(int32_t tag) const {
    const CMyOptionMenu* m = menu(tag);
    return m && m->isPoppedUp();
}

// ------------------------------------------------------------------------------ building

void EditorMenus::buildSkins() {
    const std::string& folder = editor_.plugin().dataFolder();
    std::vector<platform::FolderEntry> entries;
    if (folder.empty() || !platform::services().listFolder(folder, entries)) return;
    std::vector<std::string> names;
    for (const platform::FolderEntry& e : entries)
        if (!e.isFolder && isSkinFile(e.name)) names.push_back(e.name.substr(0, e.name.size() - kSkinExtensionLength));
    // In the order a file browser shows them, whatever order the system listed them in.
    std::sort(names.begin(), names.end(), lessNoCase);
    for (const std::string& name : names)
        if (!skins_->addEntry(name.c_str())) break;
    markCurrentSkin();
}

void EditorMenus::markCurrentSkin() {
    if (!skins_) return;
    const std::string& skin = editor_.settings().skin;
    for (int32_t i = 0; i < skins_->getNbEntries(); ++i) {
        if (skins_->getEntry(i)->getTitle() == skin) {
            skins_->setCurrent(i);
            return;
        }
    }
    skins_->clearCurrent();
}

void EditorMenus::buildPatternFiles() {
    for (const char* title : {"Load Pattern", "Save Pattern", "-", "Load knobs: On", "-"}) patternFiles_->addEntry(title);
    filePaths_[patternFiles_].assign(size_t(menu::kFirstFile), std::string());
    const std::string folder = commands_->patternFolder();
    if (folder.empty()) return;
    PatternFileLimits limits;
    limits.topEntries = size_t(kPatternFileMenuEntries - menu::kFirstFile);
    limits.folderEntries = size_t(kPatternFileMenuEntries);
    addPatternFiles(patternFiles_, listPatternFiles(folder, limits));
}

void EditorMenus::addPatternFiles(CMyOptionMenu* to, const std::vector<PatternFileNode>& nodes) {
    std::vector<std::string>& paths = filePaths_[to];
    for (const PatternFileNode& node : nodes) {
        if (node.isFolder) {
            auto* folder = new CMyOptionMenu(CRect(), nullptr, kPatternFileMenuTag);
            folder->setMaxEntries(kPatternFileMenuEntries);
            addPatternFiles(folder, node.children);
            if (to->addEntry(folder, node.label.c_str())) paths.emplace_back();
            folder->forget();
        } else if (to->addEntry(node.label.c_str())) {
            paths.push_back(node.path);
        }
    }
}

void EditorMenus::rebuildPatternFiles() {
    if (!patternFiles_ || patternFiles_->isPoppedUp()) return;
    patternFiles_->removeAllEntry();
    filePaths_.clear();
    buildPatternFiles();
    refreshLabels();
}

// ------------------------------------------------------------------------------ labels

void EditorMenus::refreshLabels() {
    const PanelState& s = editor_.link().state();
    if (options_) {
        options_->setEntryTitle(menu::kLearn, s.learnMode ? "Deactivate MIDI learn" : "Activate MIDI learn");
        char text[96];
        char channel[16] = "None";
        if (s.midiOutputChannel >= 0) std::snprintf(channel, sizeof channel, "%d", int(s.midiOutputChannel) + 1);
        std::snprintf(text, sizeof text, "%s MIDI output [channel %s]", s.midiOutput ? "Deactivate" : "Activate", channel);
        options_->setEntryTitle(menu::kMidiOutput, text);
        options_->setEntryTitle(menu::kTransmitKnobs,
                                s.midiTransmitKnobs ? "MIDI Transmit Knobs: On" : "MIDI Transmit Knobs: Off");
        options_->setEntryTitle(menu::kKeyProgramming,
                                s.midiKeyProgramming ? "MIDI Programming: On" : "MIDI Programming: Off");
        options_->setEntryTitle(menu::kClockSync, s.clockSync ? "Ext. Clock sync: 48PPQ" : "Ext. Clock sync: 24PPQ");
        const EditorSettings& look = editor_.settings();
        for (int b = 0; b < 2; ++b) {
            std::string title = b == 0 ? "Assign Function Button 1" : "Assign Function Button 2";
            const int32_t bound = b == 0 ? look.functionButton1 : look.functionButton2;
            if (menu::isPatternCommand(bound)) title += std::string(" (now ") + menu::patternEntryTitle(bound) + ")";
            options_->setEntryTitle(b == 0 ? menu::kAssignFunction1 : menu::kAssignFunction2, title.c_str());
        }
    }
    if (patternFiles_)
        patternFiles_->setEntryTitle(menu::kLoadParameters,
                                     s.loadParameters ? "Load parameters: On" : "Load parameters: Off");
    markCurrentSkin();
    if (!commands_->lastPatternFile().empty()) editor_.setPatchName(patternDisplayName(commands_->lastPatternFile()));
}

// ------------------------------------------------------------------------------ choices

void EditorMenus::menuChosen(COptionMenu* chosen) {
    auto* top = dynamic_cast<CMyOptionMenu*>(chosen);
    if (!top) return;
    int32_t index = -1;
    COptionMenu* where = top->takeChoice(index);
    if (!where || index < 0) return;
    if (top == pattern_ && where == pattern_) {
        patternChosen(index);
    } else if (top == options_) {
        if (where == options_) optionsChosen(index);
        if (where == skins_) skinChosen(index);
    } else if (top == skins_ && where == skins_) {
        skinChosen(index);
    } else if (top == patternFiles_) {
        patternFileChosen(where, index);
    }
}

void EditorMenus::patternChosen(int32_t index) {
    pattern_->reset();
    if (waiting_[0] || waiting_[1]) {
        EditorSettings& s = editor_.settings();
        const int32_t binding = menu::isPatternCommand(index) ? index : -1;
        // With both waiting, the first takes the command and the second gives up.
        if (waiting_[0]) {
            s.functionButton1 = binding;
            if (waiting_[1]) s.functionButton2 = -1;
        } else {
            s.functionButton2 = binding;
        }
        waiting_ = {};
        editor_.fullRefresh();
        return;
    }
    runPatternCommand(index);
    editor_.fullRefresh();
}

void EditorMenus::runPatternCommand(int32_t index) {
    MenuCommands& c = *commands_;
    switch (index) {
    case menu::kCopy: c.copyPattern(); break;
    case menu::kPaste: c.pastePattern(); break;
    case menu::kTransposeUp12: c.transpose(12); break;
    case menu::kTransposeDown12: c.transpose(-12); break;
    case menu::kTransposeUp1: c.transpose(1); break;
    case menu::kTransposeDown1: c.transpose(-1); break;
    case menu::kShiftLeft: c.shift(-1); break;
    case menu::kShiftRight: c.shift(1); break;
    case menu::kNotesOff: c.keepFlags(uint8_t(~(StepGate | StepTie))); break;
    case menu::kAccentsOff: c.keepFlags(uint8_t(~StepAccent)); break;
    case menu::kSlidesOff: c.keepFlags(uint8_t(~StepSlide)); break;
    case menu::kRandomizeAll: c.randomizeAll(); break;
    case menu::kRandomizePitches: c.randomizePitches(); break;
    case menu::kAlter: c.alterPattern(); break;
    case menu::kImportPatterns: c.importPatterns(); break;
    case menu::kExportPatterns: c.exportPatterns(); break;
    case menu::kImportRebirth: c.importForeignPatterns(); break;
    case menu::kExportMidi: c.exportMidiFile(); break;
    case menu::kAnalyze: editor_.openAnalyzer(); break;
    default: break;
    }
}

void EditorMenus::optionsChosen(int32_t index) {
    MenuCommands& c = *commands_;
    options_->reset();
    switch (index) {
    case menu::kLearn: c.toggleLearn(); break;
    case menu::kMidiOutput: c.toggleMidiOutput(); break;
    case menu::kTransmitKnobs: c.toggleTransmitKnobs(); break;
    case menu::kKeyProgramming: c.toggleKeyProgramming(); break;
    case menu::kClockSync: c.toggleClockSync(); break;
    case menu::kLoadCcMap: c.loadCcMap(); break;
    case menu::kSaveCcMap: c.saveCcMap(); break;
    case menu::kViewConfiguration: c.viewConfiguration(); break;
    case menu::kReloadConfiguration: c.reloadConfiguration(); break;
    case menu::kAssignFunction1: assignFunctionButton(0); break;
    case menu::kAssignFunction2: assignFunctionButton(1); break;
    case menu::kDefaultSkin: c.setDefaultSkin(); break;
    case menu::kPreferences: editor_.openPreferences(); break;
    case menu::kAbout: editor_.showAbout(); break;
    case menu::kHomePage: c.openHomePage(); break;
    case menu::kCheckForUpdate: c.checkForUpdate(); break;
    default: break;
    }
    editor_.fullRefresh();
}

void EditorMenus::skinChosen(int32_t index) {
    const CMenuItem* item = skins_->getEntry(index);
    if (item) commands_->selectSkin(item->getTitle());
    markCurrentSkin();
}

void EditorMenus::patternFileChosen(COptionMenu* where, int32_t index) {
    patternFiles_->reset();
    if (where == patternFiles_) {
        switch (index) {
        case menu::kLoadPattern: commands_->loadPatterns(); return;
        case menu::kSavePattern: commands_->savePattern(); return;
        case menu::kLoadParameters: commands_->toggleLoadParameters(); return;
        default: break;
        }
    }
    const auto it = filePaths_.find(where);
    if (it == filePaths_.end() || index >= int32_t(it->second.size()) || it->second[size_t(index)].empty()) return;
    // The menu may be rebuilt while the file loads.
    const std::string path = it->second[size_t(index)];
    commands_->loadPatternFile(path);
}

// ------------------------------------------------------------------------------ function buttons

void EditorMenus::assignFunctionButton(int which) {
    if (which < 0 || which > 1) return;
    // Waiting replaces the binding; until the next choice the button is bound to nothing.
    (which == 0 ? editor_.settings().functionButton1 : editor_.settings().functionButton2) = -1;
    waiting_[size_t(which)] = true;
}

void EditorMenus::runFunctionButton(int which) {
    if (which < 0 || which > 1 || !pattern_) return;
    const int32_t bound = which == 0 ? editor_.settings().functionButton1 : editor_.settings().functionButton2;
    if (!menu::isPatternCommand(bound)) return;
    runPatternCommand(bound);
    editor_.fullRefresh();
}

void EditorMenus::cancelWaitingFunctionButton() { waiting_ = {}; }

void EditorMenus::validateFunctionButtons() {
    EditorSettings& s = editor_.settings();
    for (int32_t* b : {&s.functionButton1, &s.functionButton2})
        if (!menu::isPatternCommand(*b)) *b = -1;
}

} // namespace kelo
