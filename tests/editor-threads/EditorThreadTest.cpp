// The editor open on a playing instance: the host's audio thread renders blocks, feeds MIDI
// (notes that start patterns, controllers that move knobs) and automates parameters, while the
// editor idles, repaints, edits the pattern that plays and runs menu commands that read or
// replace whole tables (those wait for a block boundary). Run under ThreadSanitizer: any race
// between the two threads is a report, and the run fails.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>
#include <vector>

#include "editor/CreateEditor.h"
#include "editor/MenuCommands.h"
#include "editor/Riv303Uru.h"
#include "files/PatternFile.h"
#include "plugin/Vez303.h"
#include "tests/plugin/ScratchHome.h"
#include "tests/support/FakeServices.h"
#include "toolkit/CFrame.h"

namespace kelo {
namespace {

using namespace skintag;

VstIntPtr VSTCALLBACK host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

struct MidiBlock {
    VstInt32 numEvents = 0;
    VstIntPtr reserved = 0;
    VstEvent* events[4] = {};
    VstMidiEvent midi[4] = {};

    void add(int offset, int status, int d1, int d2) {
        VstMidiEvent& e = midi[numEvents];
        e = VstMidiEvent{};
        e.type = kVstMidiType;
        e.byteSize = sizeof(VstMidiEvent);
        e.deltaFrames = offset;
        e.midiData[0] = char(status);
        e.midiData[1] = char(d1);
        e.midiData[2] = char(d2);
        events[numEvents] = reinterpret_cast<VstEvent*>(&e);
        ++numEvents;
    }
};

class Mouse {
public:
    Mouse(Riv303Uru& editor) : editor_(editor) {}
    gui::CPoint centre(int32_t tag) {
        const SkinRect r = editor_.skin().rect(tag);
        return gui::CPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    }
    void click(int32_t tag) {
        gui::CFrame* f = editor_.getFrame();
        f->platformOnMouseDown(centre(tag), gui::kLButton);
        f->platformOnMouseUp(centre(tag), gui::kLButton);
    }
    void drag(int32_t tag, double dy) {
        gui::CFrame* f = editor_.getFrame();
        const gui::CPoint p = centre(tag);
        f->platformOnMouseDown(p, gui::kLButton);
        f->platformOnMouseMoved(gui::CPoint(p.x, p.y + dy), gui::kLButton);
        f->platformOnMouseUp(gui::CPoint(p.x, p.y + dy), gui::kLButton);
    }

private:
    Riv303Uru& editor_;
};

// An instance playing on its own audio thread, each block n after `beforeBlock(plugin, n)`.
struct Playing {
    explicit Playing(std::function<void(Vez303&, int)> beforeBlock = {}) {
        plugin.dispatcher(effSetSampleRate, 0, 0, nullptr, 44100.0f);
        plugin.dispatcher(effMainsChanged, 0, 1, nullptr, 0.0f);
        EXPECT_TRUE(editor->openOffscreen());
        audio = std::thread([this, beforeBlock] {
            std::vector<float> left(256), right(256);
            float* outputs[2] = {left.data(), right.data()};
            for (int n = 0; !stop.load(); ++n) {
                if (beforeBlock) beforeBlock(plugin, n);
                plugin.processReplacing(nullptr, outputs, 256);
                blocks.fetch_add(1);
                std::this_thread::sleep_for(std::chrono::microseconds(500));
            }
        });
    }
    // Ends the audio thread and processing: from then on an edit applies at once.
    void finish() {
        stop.store(true);
        audio.join();
        EXPECT_GT(blocks.load(), 100);
        plugin.dispatcher(effMainsChanged, 0, 0, nullptr, 0.0f);
    }
    ~Playing() {
        stop.store(true);
        if (audio.joinable()) audio.join();
        editor->close();
    }

    test::ScratchHome home;
    bool settingsWritten = (home.write("Gui.ini", "KnobMode = 2\n"), true);
    Vez303 plugin{&host, &createEditor};
    Riv303Uru* editor = static_cast<Riv303Uru*>(plugin.getEditor());
    std::atomic<bool> stop{false};
    std::atomic<int> blocks{0};
    std::thread audio;
};

// Calls `step(round)` every millisecond until 120 rounds are done and the audio thread has
// rendered 100 blocks (counted, not timed: a loaded machine or wine still does every round);
// returns the rounds done.
int forAWhile(const std::atomic<int>& blocks, const std::function<void(int)>& step) {
    int round = 0;
    for (const auto cap = std::chrono::steady_clock::now() + std::chrono::seconds(60);
         (round < 120 || blocks.load() <= 100) && std::chrono::steady_clock::now() < cap; ++round) {
        step(round);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return round;
}

TEST(EditorWhileAudioRuns, KnobsFollowTheAudioThreadAndPatternEditsReachItWithoutARace) {
    Playing p([](Vez303& plugin, int n) {
        MidiBlock midi;
        if (n % 40 == 0) midi.add(0, 0x90, 1, 100); // pattern 1 plays
        midi.add(10, 0xB0, 74, (n * 7) % 128);       // Cutoff from a controller
        if (n % 40 == 39) midi.add(200, 0x80, 1, 0);
        plugin.processEvents(reinterpret_cast<VstEvents*>(&midi));
        plugin.setParameter(kResonance, float(n % 100) / 100.0f); // host automation
    });
    Mouse mouse(*p.editor);
    const int rounds = forAWhile(p.blocks, [&](int round) {
        p.editor->idle();
        switch (round % 8) {
        case 0: mouse.click(ILLUBUTTON1 + round % 13); break; // notes into the playing pattern
        case 1: mouse.click(ILLUBUTTON18); break;            // octave up
        case 2: mouse.click(ILLUBUTTON19); break;            // accent
        case 3: mouse.drag(CUTOFFKNOB, -3); break;
        case 4: mouse.drag(SHUFFLEKNOB, round % 2 ? -2 : 2); break;
        case 5: mouse.click(ILLUBUTTON22); break;            // longer
        case 6: mouse.drag(PATTERNDIGITS, round % 2 ? -4 : 4); break;
        case 7:
            if (round % 64 == 7) {
                p.editor->close();
                EXPECT_TRUE(p.editor->openOffscreen());
            }
            break;
        }
    });
    p.finish();
    EXPECT_GT(rounds, 100);
    const int cursor = p.plugin.sequencer().editCursor;
    mouse.click(ILLUBUTTON8);
    EXPECT_EQ(p.plugin.sequencer().current().steps[cursor].note, 7);
}

TEST(MenusWhileAudioRuns, CommandsMeetTheAudioThreadAtBlockBoundaries) {
    test::FakeServices services;
    Playing p;
    const std::filesystem::path folder = p.home.dataFolder() / "Patterns";
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "one.pat") << "; KELO Meta tag: 3\nc-3 1 0 0\nd-3 1 0 1\ne-3 1 1 0\n";
    const std::string bank = (p.home.dataFolder() / "bank.pat").string();
    MenuCommands& commands = p.editor->menus().commands();
    const int rounds = forAWhile(p.blocks, [&](int round) {
        p.editor->idle();
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
    p.editor->idle();
    p.finish();
    EXPECT_GT(rounds, 50);
    EXPECT_TRUE(services.messages.empty());
    PatternBank read{};
    ASSERT_TRUE(readBank(read, bank));
    EXPECT_EQ(formatBank(read), formatBank(p.plugin.sequencer().bank));
}

} // namespace
} // namespace kelo
