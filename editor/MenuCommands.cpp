#include "editor/MenuCommands.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "editor/Menus.h"
#include "editor/PluginLink.h"
#include "editor/Riv303Uru.h"
#include "files/CcMapFile.h"
#include "files/EditorSettingsFile.h"
#include "files/EngineSettingsFile.h"
#include "files/ForeignImport.h"
#include "files/MidiExport.h"
#include "files/ParameterFile.h"
#include "files/PatternFile.h"
#include "files/TextScanner.h"
#include "platform/DialogFormats.h"
#include "platform/Platform.h"
#include "plugin/Vez303.h"
#include "toolkit/CFrame.h"

namespace kelo {

using platform::FileDialogKind;
using platform::FileDialogRequest;
using platform::FileFilter;

namespace {

constexpr const char* kTryElsewhere = "\nTry in a different location like your Documents folder.";

// ---- edits of the current pattern, applied where the instance's state is held ----

enum Edit : int32_t { kTranspose, kRotate, kKeepFlags, kRandomize, kRandomizePitches, kScramble };

void doEdit(void* plugin, const LinkArgs& a) {
    Sequencer& s = static_cast<Vez303*>(plugin)->sequencer();
    Pattern& p = s.current();
    switch (a.i[0]) {
    case kTranspose: transposePattern(p, a.i[1]); break;
    case kRotate: rotatePattern(p, a.i[1]); break;
    case kKeepFlags: keepStepFlags(p, uint8_t(a.i[1])); break;
    case kRandomize: randomizePattern(p, s.random); break;
    case kRandomizePitches: randomizePitches(p, s.random); break;
    case kScramble: scrambleSteps(p, s.random); break;
    default: return;
    }
    s.patternChanged = 1;
}

enum Toggle : int32_t { kLearnToggle, kOutputToggle, kKnobsToggle, kKeysToggle, kClockToggle, kParametersToggle };

void doToggle(void* plugin, const LinkArgs& a) {
    Vez303& v = *static_cast<Vez303*>(plugin);
    Sequencer& s = v.sequencer();
    EngineSettings& e = v.settings();
    switch (a.i[0]) {
    case kLearnToggle:
        s.learnMode = s.learnMode ? 0 : 1;
        s.learnParameter = -1;
        s.learnCommand = -1;
        break;
    case kOutputToggle: s.setMidiOutput(e.midiOutput == 0); break;
    case kKnobsToggle: e.midiTransmitKnobs = e.midiTransmitKnobs ? 0 : 1; break;
    case kKeysToggle: e.midiKeyProgramming = e.midiKeyProgramming ? 0 : 1; break;
    case kClockToggle: e.clockSync = e.clockSync ? 0 : 1; break;
    case kParametersToggle: e.loadParameters = e.loadParameters ? 0 : 1; break;
    default: break;
    }
}

LinkArgs ints(int32_t a, int32_t b = 0) {
    LinkArgs args;
    args.i[0] = a;
    args.i[1] = b;
    return args;
}

// Dialogs and reads are answered with paths; only a file is read (a folder opens for reading
// on some systems and would read as an empty file).
bool isFile(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(std::filesystem::path(path), ec);
}

std::string folderOf(const std::string& path) {
    const size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

std::string nameOf(const std::string& path) {
    const size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

// The extension of the file name, in lower case, without the dot.
std::string extensionOf(const std::string& path) {
    const std::string name = nameOf(path);
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return {};
    std::string ext = name.substr(dot + 1);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

std::string savePath(const std::string& chosen, const char* extension) {
    return platform::dialogs::withDefaultExtension(chosen, extension, platform::pathSeparator());
}

FileDialogRequest request(FileDialogKind kind, const char* title, std::vector<FileFilter> filters,
                          const char* extension) {
    FileDialogRequest r;
    r.kind = kind;
    r.title = title;
    r.filters = std::move(filters);
    r.defaultExtension = extension;
    return r;
}

FileFilter patternFilter(const char* label) { return {label, {"pat"}}; }
FileFilter mapFilter() { return {"MidiCC (*.map)", {"map"}}; }

} // namespace

MenuCommands::MenuCommands(Riv303Uru& editor, EditorMenus& menus)
    : editor_(editor), menus_(menus), access_(editor.link()) {}

MenuCommands::~MenuCommands() = default;

void MenuCommands::open() { alive_ = std::make_shared<char>(); }

void MenuCommands::close() { alive_.reset(); }

std::string MenuCommands::patternFolder() const {
    const std::string& data = editor_.plugin().dataFolder();
    if (data.empty()) return {};
    return data + "Patterns" + platform::pathSeparator();
}

void MenuCommands::chooseFile(FileDialogRequest r, std::function<void(const Paths&)> then) {
    if (!alive_) return;
    if (gui::CFrame* frame = editor_.getFrame(); frame && frame->getPlatformFrame())
        r.owner = frame->getPlatformFrame()->getNativeHandle();
    std::weak_ptr<char> alive = alive_;
    platform::services().chooseFile(r, [alive, then = std::move(then)](const Paths& files) {
        if (alive.expired() || files.empty() || files.front().empty()) return;
        then(files);
    });
}

void MenuCommands::tell(const std::string& text) { editor_.ask(kTitle, text, false, nullptr); }

void MenuCommands::refresh() {
    editor_.link().sync();
    editor_.fullRefresh();
}

// ------------------------------------------------------------------------------ options

void MenuCommands::toggleLearn() {
    editor_.link().post(&doToggle, ints(kLearnToggle));
    refresh();
}

void MenuCommands::toggleMidiOutput() {
    editor_.link().post(&doToggle, ints(kOutputToggle));
    refresh();
}

void MenuCommands::toggleTransmitKnobs() {
    editor_.link().post(&doToggle, ints(kKnobsToggle));
    refresh();
}

void MenuCommands::toggleKeyProgramming() {
    editor_.link().post(&doToggle, ints(kKeysToggle));
    refresh();
    if (editor_.link().state().midiKeyProgramming)
        tell("MIDI Keyboard programming is now activated.\nYou can now use your MIDI keyboard to program patterns "
             "into KELO. Use the MIDI Learn function to set up the key mappings to your preference.");
}

void MenuCommands::toggleClockSync() {
    editor_.link().post(&doToggle, ints(kClockToggle));
    refresh();
}

void MenuCommands::toggleLoadParameters() {
    editor_.link().post(&doToggle, ints(kParametersToggle));
    refresh();
}

void MenuCommands::loadCcMap() {
    FileDialogRequest r = request(FileDialogKind::kOpen, "Select MidiCC map", {mapFilter()}, "map");
    r.initialFolder = editor_.plugin().dataFolder();
    chooseFile(r, [this](const Paths& p) { loadCcMapFrom(p.front()); });
}

void MenuCommands::loadCcMapFrom(const std::string& path) {
    InstanceAccess::Tables& t = access_.fetch();
    if (!isFile(path) || !readMidiMap(t.ccMap, t.keys, path)) {
        tell("Could not read the MIDI CC map\n" + path);
        return;
    }
    access_.putMidiMap();
    refresh();
}

void MenuCommands::saveCcMap() {
    FileDialogRequest r = request(FileDialogKind::kSave, "Select MidiCC map", {mapFilter()}, "map");
    r.initialFolder = editor_.plugin().dataFolder();
    chooseFile(r, [this](const Paths& p) { saveCcMapTo(savePath(p.front(), "map")); });
}

void MenuCommands::saveCcMapTo(const std::string& path) {
    const InstanceAccess::Tables& t = access_.fetch();
    if (!writeMidiMap(t.ccMap, t.keys, path)) tell("Could not save the MIDI CC map\n" + path + kTryElsewhere);
}

void MenuCommands::viewConfiguration() {
    const std::string& data = editor_.plugin().dataFolder();
    if (data.empty()) return;
    bool any = false;
    for (const char* name : {"Config.ini", "MidiCC.ini", "Gui.ini"})
        any = platform::services().openInTextEditor(data + name) || any;
    if (!any) tell("Could not open the configuration files in a text editor.");
}

void MenuCommands::reloadConfiguration() {
    Vez303& plugin = editor_.plugin();
    const std::string& data = plugin.dataFolder();
    if (data.empty()) return;
    InstanceAccess::Tables& t = access_.fetch();
    readEngineSettings(t.settings, data + "Config.ini", &plugin);
    readEngineSettings(t.settings, data + "User.ini", &plugin);
    if (t.settings.midiTransmitKnobs < 0) t.settings.midiTransmitKnobs = 0;
    access_.putSettings();

    EditorSettings& look = editor_.settings();
    const std::string skin = look.skin;
    editor_.readSettings();
    // The open panel keeps its look; the skin named now is the one the next opening shows.
    if (look.skin != skin) editor_.loadSkin(look.skin);
    menus_.validateFunctionButtons();

    readMidiMap(t.ccMap, t.keys, data + "MidiCC.ini");
    access_.putMidiMap();
    refresh();
}

void MenuCommands::selectSkin(const std::string& name) {
    EditorSettings& s = editor_.settings();
    if (name == s.skin) return;
    const std::string previous = s.skin;
    if (!editor_.loadSkin(name) || editor_.skinOrigin() != SkinOrigin::Named) {
        // A fallback took its place: the skin in force stays the one that was.
        editor_.loadSkin(previous);
        tell("The skin \"" + name + "\" could not be loaded.");
        return;
    }
    s.skin = name;
    if (s.skinShowDialog) tell("Editor must be closed and reopened for new skin to take effect.");
    editor_.writeSettings();
    menus_.refreshLabels();
}

void MenuCommands::setDefaultSkin() {
    EditorSettings& s = editor_.settings();
    const bool changed = s.skin != kDefaultSkinName;
    s.skin = kDefaultSkinName;
    editor_.loadSkin(s.skin);
    if (changed && s.skinShowDialog) tell("Editor must be closed and reopened for new skin to take effect.");
    editor_.writeSettings();
    menus_.refreshLabels();
}

void MenuCommands::openHomePage() { platform::services().openUrl(kHomePage); }

void MenuCommands::checkForUpdate() { platform::services().openUrl(kUpdatePage); }

// ------------------------------------------------------------------------------ pattern menu

void MenuCommands::postEdit(int kind, int amount) { editor_.link().post(&doEdit, ints(kind, amount)); }

void MenuCommands::copyPattern() {
    editor_.link().sync();
    editor_.clipboard() = editor_.link().state().pattern;
}

void MenuCommands::pastePattern() { editor_.link().replaceCurrentPattern(editor_.clipboard()); }

void MenuCommands::transpose(int semitones) { postEdit(kTranspose, semitones); }
void MenuCommands::shift(int steps) { postEdit(kRotate, steps); }
void MenuCommands::keepFlags(uint8_t keep) { postEdit(kKeepFlags, keep); }
void MenuCommands::randomizeAll() { postEdit(kRandomize, 0); }
void MenuCommands::randomizePitches() { postEdit(kRandomizePitches, 0); }
void MenuCommands::alterPattern() { postEdit(kScramble, 0); }

void MenuCommands::importPatterns() {
    chooseFile(request(FileDialogKind::kOpen, "Import Patterns", {patternFilter("Patterns (*.pat)")}, "pat"),
               [this](const Paths& p) { importPatternsFrom(p.front()); });
}

void MenuCommands::importPatternsFrom(const std::string& path) {
    std::string text;
    if (!isFile(path) || !TextScanner::loadFile(path, text)) {
        tell("Could not read the pattern file\n" + path);
        return;
    }
    InstanceAccess::Tables& t = access_.fetch();
    const int blocks = parseBank(t.bank, text);
    if (blocks <= 0) {
        tell("No patterns found in\n" + path);
        return;
    }
    access_.putPatterns(0, blocks);
    refresh();
}

void MenuCommands::exportPatterns() {
    chooseFile(request(FileDialogKind::kSave, "Export Patterns", {patternFilter("Patterns (*.pat)")}, "pat"),
               [this](const Paths& p) { exportPatternsTo(savePath(p.front(), "pat")); });
}

void MenuCommands::exportPatternsTo(const std::string& path) {
    const InstanceAccess::Tables& t = access_.fetch();
    if (!writeBank(t.bank, path)) tell("Could not export the patterns to\n" + path + kTryElsewhere);
}

void MenuCommands::importForeignPatterns() {
    FileDialogRequest r = request(FileDialogKind::kOpen, "Import Rebirth RB-338 Song File",
                                  {{"Rebirth (*.rbs) and Ph (*.ph) files", {"rbs", "ph"}},
                                   {"Rebirth RB-338 Song File(*.rbs)", {"rbs", "ph"}},
                                   {"Ph Patterns (*.ph)", {"ph", "rbs"}}},
                                  "rbs");
    chooseFile(r, [this](const Paths& p) { importForeignFrom(p.front()); });
}

void MenuCommands::importForeignFrom(const std::string& path) {
    const std::string ext = extensionOf(path);
    if (ext != "rbs" && ext != "ph") {
        tell("Only Rebirth song files (.rbs) and .ph pattern files can be imported:\n" + path);
        return;
    }
    if (!isFile(path)) {
        tell("Could not read\n" + path);
        return;
    }
    InstanceAccess::Tables& t = access_.fetch();
    int selected = -1;
    if (ext == "rbs") {
        // The song's knob settings are applied as it is read.
        if (!importRebirthSong(path, t.bank, &editor_.plugin(), selected)) {
            tell("No bass line patterns found in\n" + path);
            return;
        }
        access_.putPatterns(0, kRebirthUnits * kRebirthPatternsPerUnit);
        if (selected >= 0) editor_.link().selectPattern(selected);
    } else {
        const int read = importPhFile(path, t.bank);
        if (read <= 0) {
            tell(read < 0 ? "Could not read\n" + path : "No patterns found in\n" + path);
            return;
        }
        access_.putPatterns(0, read);
    }
    refresh();
}

void MenuCommands::exportMidiFile() {
    chooseFile(request(FileDialogKind::kSave, "Export MIDI File", {{"MIDI File (*.mid)", {"mid"}}}, "mid"),
               [this](const Paths& p) { exportMidiTo(savePath(p.front(), "mid")); });
}

void MenuCommands::exportMidiTo(const std::string& path) {
    const InstanceAccess::Tables& t = access_.fetch();
    const Pattern& current = t.bank.patterns[t.currentPattern & (kNumPatterns - 1)];
    if (!exportPatternMidi(current, t.settings, path)) tell("Could not write the MIDI file\n" + path + kTryElsewhere);
}

// ------------------------------------------------------------------------------ pattern files

void MenuCommands::loadPatterns() {
    FileDialogRequest r = request(FileDialogKind::kOpen, "Load Pattern", {patternFilter("Pattern (*.pat)")}, "pat");
    r.multiple = true;
    r.initialFolder = lastPatternFile_.empty() ? patternFolder() : folderOf(lastPatternFile_);
    if (lastPatternFile_.empty()) platform::ensureFolder(r.initialFolder);
    chooseFile(r, [this](const Paths& p) { loadPatternsFrom(p); });
}

void MenuCommands::loadPatternFile(const std::string& path) { loadPatternsFrom({path}); }

void MenuCommands::loadPatternsFrom(const Paths& paths) {
    Vez303& plugin = editor_.plugin();
    InstanceAccess::Tables& t = access_.fetch();
    const int first = t.currentPattern & (kNumPatterns - 1);
    // Files that would go past the last pattern are left out.
    const int count = std::min<int>(int(paths.size()), kNumPatterns - first);
    ParameterCapture capture;
    clearParameterCapture(capture);
    std::string failed;
    bool firstRead = false;
    for (int i = 0; i < count; ++i) {
        const std::string& path = paths[size_t(i)];
        Pattern& into = t.bank.patterns[first + i];
        bool read = false;
        if (isFile(path)) {
            // Only the first file, the one the panel names, brings its knob settings.
            read = i == 0 ? loadPatternWithParameters(into, path, capture, t.settings, plugin)
                          : readPattern(into, path);
        }
        if (i == 0) firstRead = read;
        if (!read) failed += "\n" + path;
    }
    if (count > 0) access_.putPatterns(first, count);
    if (firstRead) {
        PluginLink& link = editor_.link();
        applyParameterLines(capture, t.settings, plugin, [&link](double bpm) { link.setTempo(bpm); });
        showPatternFile(paths.front());
    }
    refresh();
    if (!failed.empty()) tell("Could not load the pattern file" + std::string(count > 1 ? "s" : "") + failed);
}

void MenuCommands::savePattern() {
    FileDialogRequest r = request(FileDialogKind::kSave, "Save Pattern", {patternFilter("Pattern (*.pat)")}, "pat");
    if (lastPatternFile_.empty()) {
        r.initialFolder = patternFolder();
        platform::ensureFolder(r.initialFolder);
    } else {
        r.initialFolder = folderOf(lastPatternFile_);
        r.defaultName = lastPatternFile_;
    }
    chooseFile(r, [this](const Paths& p) { savePatternTo(savePath(p.front(), "pat")); });
}

void MenuCommands::savePatternTo(const std::string& path) {
    const InstanceAccess::Tables& t = access_.fetch();
    if (!savePatternWithParameters(t.bank.patterns[t.currentPattern & (kNumPatterns - 1)], path, editor_.plugin())) {
        tell("Could not save patch. Try in a different location like your Documents folder.");
        return;
    }
    showPatternFile(path);
    menus_.rebuildPatternFiles();
}

void MenuCommands::showPatternFile(const std::string& path) {
    lastPatternFile_ = path;
    editor_.setPatchName(patternDisplayName(path));
}

std::string patternDisplayName(const std::string& path) {
    std::string name = nameOf(path);
    if (extensionOf(name) == "pat") name.resize(name.size() - 4);
    return name;
}

} // namespace kelo
