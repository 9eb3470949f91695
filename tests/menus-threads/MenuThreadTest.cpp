// Menu commands on a playing instance: the host's audio thread renders blocks while the editor
// edits the pattern that plays, loads and saves pattern files and banks, and reads its settings
// again. Every command that reads or replaces a whole table waits for a block boundary; under
// ThreadSanitizer any race between the two threads is a report, and the run fails.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "editor/CreateEditor.h"
#include "editor/MenuCommands.h"
#include "editor/Riv303Uru.h"
#include "files/PatternFile.h"
#include "plugin/Vez303.h"
#include "tests/plugin/ScratchHome.h"
#include "tests/support/FakeServices.h"

namespace kelo {
namespace {

VstIntPtr VSTCALLBACK host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

TEST(MenusWhileAudioRuns, CommandsMeetTheAudioThreadAtBlockBoundaries) {
    test::ScratchHome home;
    test::FakeServices services;
    home.write("Gui.ini", "KnobMode = 2\n");
    const std::filesystem::path folder = home.dataFolder() / "Patterns";
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "one.pat") << "; KELO Meta tag: 3\nc-3 1 0 0\nd-3 1 0 1\ne-3 1 1 0\n";
    const std::string bank = (home.dataFolder() / "bank.pat").string();

    Vez303 plugin(&host, &createEditor);
    auto* editor = static_cast<Riv303Uru*>(plugin.getEditor());
    plugin.dispatcher(effSetSampleRate, 0, 0, nullptr, 44100.0f);
    plugin.dispatcher(effMainsChanged, 0, 1, nullptr, 0.0f);
    ASSERT_TRUE(editor->openOffscreen());
    MenuCommands& commands = editor->menus().commands();

    std::atomic<bool> stop{false};
    std::atomic<int> blocks{0};
    std::thread audio([&] {
        std::vector<float> left(256), right(256);
        float* outputs[2] = {left.data(), right.data()};
        while (!stop.load()) {
            plugin.processReplacing(nullptr, outputs, 256);
            blocks.fetch_add(1);
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
    });

    int round = 0;
    for (const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
         std::chrono::steady_clock::now() < until; ++round) {
        editor->idle();
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
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    // A bank saved while the audio thread plays is the bank it plays.
    commands.shift(1);
    services.fileAnswers.push_back({bank});
    commands.exportPatterns();
    editor->idle();
    stop.store(true);
    audio.join();
    EXPECT_GT(blocks.load(), 100);
    EXPECT_GT(round, 50);
    EXPECT_TRUE(services.messages.empty());
    plugin.dispatcher(effMainsChanged, 0, 0, nullptr, 0.0f);
    PatternBank read{};
    ASSERT_TRUE(readBank(read, bank));
    EXPECT_EQ(formatBank(read), formatBank(plugin.sequencer().bank));
    editor->close();
}

} // namespace
} // namespace kelo
