#pragma once
// What the menu entries do. A command that needs an answer asks for it (a file dialog, a
// question) and continues in the answer's callback; an answer that arrives after the panel
// closed, or for a cancelled dialog, does nothing. Everything that changes the instance's
// playing state goes through the PluginLink; files are read and written on this (the UI)
// thread, never on the audio thread.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "editor/InstanceAccess.h"
#include "platform/Services.h"

namespace kelo {

class EditorMenus;
class Riv303Uru;
struct PatternFileNode;

// What the pattern-name display shows for a pattern file: its name without folder and ".pat".
std::string patternDisplayName(const std::string& path);

class MenuCommands {
public:
    static constexpr const char* kTitle = "Orvanta KELO";
    static constexpr const char* kHomePageLabel = "www.orvanta.com";
    static constexpr const char* kHomePage = "https://www.orvanta.com/";
    static constexpr const char* kUpdatePage = "https://www.orvanta.com/checkUpdate.php?version=KELO.9.2.3";

    MenuCommands(Riv303Uru& editor, EditorMenus& menus);
    ~MenuCommands();
    MenuCommands(const MenuCommands&) = delete;
    MenuCommands& operator=(const MenuCommands&) = delete;

    // From the panel's open to its close; answers of dialogs asked before a close are dropped.
    void open();
    void close();

    // ---- options menu ----
    void toggleLearn();
    void toggleMidiOutput();
    void toggleTransmitKnobs();
    void toggleKeyProgramming();
    void toggleClockSync();
    void loadCcMap();
    void saveCcMap();
    void viewConfiguration();
    // Config.ini, User.ini, Gui.ini, MidiCC.ini read again over what is in force.
    void reloadConfiguration();
    // Only a skin that loads by its own name is taken; the open panel keeps its look.
    void selectSkin(const std::string& name);
    void setDefaultSkin();
    void openHomePage();
    void checkForUpdate();

    // ---- pattern menu, on the current pattern ----
    void copyPattern();
    void pastePattern();
    void transpose(int semitones);
    void shift(int steps);
    // flags &= keep on every played step.
    void keepFlags(uint8_t keep);
    void randomizeAll();
    void randomizePitches();
    void alterPattern();
    void importPatterns();
    void exportPatterns();
    // ".rbs" songs and ".ph" files, told apart by their names in any letter case.
    void importForeignPatterns();
    void exportMidiFile();

    // ---- pattern-file menu ----
    // One or more files into the current pattern and the following ones.
    void loadPatterns();
    void savePattern();
    void toggleLoadParameters();
    void loadPatternFile(const std::string& path);

    // The file the last load or save of a single pattern used ("" none yet).
    const std::string& lastPatternFile() const { return lastPatternFile_; }
    // The patterns folder of the data folder, ending with the separator ("" without one).
    std::string patternFolder() const;

private:
    using Paths = std::vector<std::string>;
    void chooseFile(platform::FileDialogRequest request, std::function<void(const Paths&)> then);
    void tell(const std::string& text);
    // After a change: the panel and the labels from a copy taken after it.
    void refresh();
    void postEdit(int kind, int amount);

    void loadPatternsFrom(const Paths& paths);
    void savePatternTo(const std::string& path);
    void importPatternsFrom(const std::string& path);
    void exportPatternsTo(const std::string& path);
    void importForeignFrom(const std::string& path);
    void exportMidiTo(const std::string& path);
    void loadCcMapFrom(const std::string& path);
    void saveCcMapTo(const std::string& path);
    void showPatternFile(const std::string& path);

    Riv303Uru& editor_;
    EditorMenus& menus_;
    InstanceAccess access_;
    std::shared_ptr<char> alive_; // exists while the panel is open
    std::string lastPatternFile_;
};

} // namespace kelo
