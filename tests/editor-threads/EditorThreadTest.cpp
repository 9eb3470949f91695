// The editor open on a playing instance: while the host's audio thread renders, feeds MIDI and
// automates, the editor idles, repaints, edits the pattern that plays and runs menu commands
// that replace whole tables (at a block boundary). Under ThreadSanitizer any race fails the run.
#include <atomic>
#include <thread>
#include "editor/MenuCommands.h"
#include "files/PatternFile.h"
#include "tests/editor/EditorFixture.h"
namespace kelo::test {
namespace {
using namespace skintag;

class WhileAudioRuns : public EditorOnPlugin {
protected:
    void TearDown() override {
        finish();
        EditorOnPlugin::TearDown();
    }
    // The host's thread: pattern 1 played by note, Cutoff from a controller, Resonance automated.
    void play() {
        resumed = true;
        start();
        audio = std::thread([this] {
            std::vector<float> left(256), right(256);
            float* outputs[2] = {left.data(), right.data()};
            for (int n = 0; !stop.load(); ++n) {
                const int status = n % 40 == 0 ? 0x90 : n % 40 == 39 ? 0x80 : 0xB0;
                VstMidiEvent midi{kVstMidiType, sizeof(VstMidiEvent), 10, 0, 0, 0,
                                  {char(status), char(status == 0xB0 ? 74 : 1), char(n % 127 + 1), 0}};
                VstEvents events{1, 0, {reinterpret_cast<VstEvent*>(&midi), nullptr}};
                plugin->processEvents(&events);
                plugin->setParameter(kResonance, float(n % 100) / 100.0f);
                plugin->processReplacing(nullptr, outputs, 256);
                blocks.fetch_add(1);
                std::this_thread::sleep_for(std::chrono::microseconds(500));
            }
        });
    }
    // Ends the audio thread and processing: from then on an edit applies at once.
    void finish() {
        stop.store(true);
        if (!audio.joinable()) return;
        audio.join();
        EXPECT_GT(blocks.load(), 100);
        plugin->suspend();
    }
    std::atomic<bool> stop{false};
    std::atomic<int> blocks{0};
    std::thread audio;
};

TEST_F(WhileAudioRuns, PanelEditsAndMenuCommandsMeetTheAudioThreadWithoutARace) {
    play();
    const std::string bank = (home.dataFolder() / "bank.pat").string();
    MenuCommands& commands = editor->menus().commands();
    // 240 rounds a millisecond apart and 100 blocks (counted: a loaded machine does them all).
    int round = 0;
    for (const auto cap = std::chrono::steady_clock::now() + std::chrono::seconds(60);
         (round < 240 || blocks.load() <= 100) && std::chrono::steady_clock::now() < cap; ++round) {
        idle();
        switch (round % 12) {
        case 0: click(ILLUBUTTON1 + round % 13); break; // notes into the playing pattern
        case 1: click(ILLUBUTTON18); break;            // octave up
        case 2: drag(CUTOFFKNOB, -3); break;
        case 3: drag(SHUFFLEKNOB, round % 24 < 12 ? -2 : 2); break;
        case 4: click(ILLUBUTTON22); break; // longer
        case 5: drag(PATTERNDIGITS, round % 24 < 12 ? -4 : 4); break;
        case 6: commands.transpose(1); break;
        case 7: commands.shift(1); break;
        case 8: round % 24 < 12 ? commands.copyPattern() : commands.pastePattern(); break;
        case 9:
            services.fileAnswers.push_back({bank});
            round % 24 < 12 ? commands.exportPatterns() : commands.importPatterns();
            break;
        case 10: commands.reloadConfiguration(); break;
        case 11:
            editor->close();
            EXPECT_TRUE(editor->openOffscreen());
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    // A bank saved while the audio thread plays is the bank it plays.
    commands.shift(1);
    services.fileAnswers.push_back({bank});
    commands.exportPatterns();
    idle();
    finish();
    EXPECT_GT(round, 200);
    EXPECT_TRUE(services.messages.empty());
    PatternBank read{};
    ASSERT_TRUE(readBank(read, bank));
    EXPECT_EQ(formatBank(read), formatBank(seq().bank));
    const int cursor = seq().editCursor;
    click(ILLUBUTTON8);
    EXPECT_EQ(pattern().steps[cursor].note, 7);
}
} // namespace
} // namespace kelo::test
