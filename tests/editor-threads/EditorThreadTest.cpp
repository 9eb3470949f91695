// The editor open on a playing instance: the host's audio thread renders blocks, feeds MIDI
// (notes that start patterns, controllers that move knobs) and automates parameters, while the
// editor idles, repaints, edits the pattern that plays and runs menu commands that read or
// replace whole tables (those wait for a block boundary). Run under ThreadSanitizer: any race
// between the two threads is a report, and the run fails.
#include <atomic>
#include <fstream>
#include <functional>
#include <thread>

#include "editor/MenuCommands.h"
#include "files/PatternFile.h"
#include "tests/editor/EditorFixture.h"

namespace kelo::test {
namespace {

using namespace skintag;

struct MidiBlock {
    VstInt32 numEvents = 0;
    VstIntPtr reserved = 0;
    VstEvent* events[3] = {};
    VstMidiEvent midi[3] = {};

    void add(int offset, int status, int d1, int d2) {
        midi[numEvents] = VstMidiEvent{kVstMidiType, sizeof(VstMidiEvent), offset, 0, 0, 0,
                                       {char(status), char(d1), char(d2), 0}, 0, 0, 0, 0};
        events[numEvents] = reinterpret_cast<VstEvent*>(&midi[numEvents]);
        ++numEvents;
    }
};

class WhileAudioRuns : public EditorOnPlugin {
protected:
    // Opens the panel on a resumed instance that plays on its own thread, block n after
    // `beforeBlock(n)`.
    void play(std::function<void(int)> beforeBlock = {}) {
        resumed = true;
        start();
        audio = std::thread([this, beforeBlock] {
            std::vector<float> left(256), right(256);
            float* outputs[2] = {left.data(), right.data()};
            for (int n = 0; !stop.load(); ++n) {
                if (beforeBlock) beforeBlock(n);
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
    void TearDown() override {
        finish();
        EditorOnPlugin::TearDown();
    }
    // Calls `step(round)` every millisecond until 120 rounds are done and the audio thread has
    // rendered 100 blocks (counted, not timed: a loaded machine or wine still does every round);
    // returns the rounds done.
    int forAWhile(const std::function<void(int)>& step) {
        int round = 0;
        for (const auto cap = std::chrono::steady_clock::now() + std::chrono::seconds(60);
             (round < 120 || blocks.load() <= 100) && std::chrono::steady_clock::now() < cap; ++round) {
            step(round);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return round;
    }

    std::atomic<bool> stop{false};
    std::atomic<int> blocks{0};
    std::thread audio;
};

TEST_F(WhileAudioRuns, KnobsFollowTheAudioThreadAndPatternEditsReachItWithoutARace) {
    play([this](int n) {
        MidiBlock midi;
        if (n % 40 == 0) midi.add(0, 0x90, 1, 100); // pattern 1 plays
        midi.add(10, 0xB0, 74, (n * 7) % 128);       // Cutoff from a controller
        if (n % 40 == 39) midi.add(200, 0x80, 1, 0);
        plugin->processEvents(reinterpret_cast<VstEvents*>(&midi));
        plugin->setParameter(kResonance, float(n % 100) / 100.0f); // host automation
    });
    const int rounds = forAWhile([&](int round) {
        idle();
        switch (round % 8) {
        case 0: click(ILLUBUTTON1 + round % 13); break; // notes into the playing pattern
        case 1: click(ILLUBUTTON18); break;            // octave up
        case 2: click(ILLUBUTTON19); break;            // accent
        case 3: drag(CUTOFFKNOB, -3); break;
        case 4: drag(SHUFFLEKNOB, round % 2 ? -2 : 2); break;
        case 5: click(ILLUBUTTON22); break;            // longer
        case 6: drag(PATTERNDIGITS, round % 2 ? -4 : 4); break;
        case 7:
            if (round % 64 == 7) {
                editor->close();
                EXPECT_TRUE(editor->openOffscreen());
            }
            break;
        }
    });
    finish();
    EXPECT_GT(rounds, 100);
    const int cursor = seq().editCursor;
    click(ILLUBUTTON8);
    EXPECT_EQ(pattern().steps[cursor].note, 7);
}

TEST_F(WhileAudioRuns, MenuCommandsMeetTheAudioThreadAtBlockBoundaries) {
    play();
    const std::filesystem::path folder = home.dataFolder() / "Patterns";
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "one.pat") << "; KELO Meta tag: 3\nc-3 1 0 0\nd-3 1 0 1\ne-3 1 1 0\n";
    const std::string bank = (home.dataFolder() / "bank.pat").string();
    MenuCommands& commands = editor->menus().commands();
    const int rounds = forAWhile([&](int round) {
        idle();
        switch (round % 9) {
        case 0: commands.transpose(1); break;
        case 1: commands.shift(1); break;
        case 2: commands.copyPattern(); break;
        case 3: commands.pastePattern(); break;
        case 4: commands.loadPatternFile((folder / "one.pat").string()); break;
        case 5:
            services.fileAnswers.push_back({bank});
            commands.exportPatterns();
            break;
        case 6:
            services.fileAnswers.push_back({bank});
            commands.importPatterns();
            break;
        case 7: commands.toggleLearn(); break;
        case 8: commands.reloadConfiguration(); break;
        }
    });
    // A bank saved while the audio thread plays is the bank it plays.
    commands.shift(1);
    services.fileAnswers.push_back({bank});
    commands.exportPatterns();
    idle();
    finish();
    EXPECT_GT(rounds, 50);
    EXPECT_TRUE(services.messages.empty());
    PatternBank read{};
    ASSERT_TRUE(readBank(read, bank));
    EXPECT_EQ(formatBank(read), formatBank(seq().bank));
}

} // namespace
} // namespace kelo::test
