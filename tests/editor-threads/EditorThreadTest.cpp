// The editor open on a playing instance: the host's audio thread renders blocks, feeds MIDI
// (notes that start patterns, controllers that move knobs) and automates parameters, while the
// editor idles, repaints and edits the pattern that plays. Run under ThreadSanitizer: any race
// between the two threads is a report, and the run fails.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>
#include <vector>

#include "editor/CreateEditor.h"
#include "editor/Riv303Uru.h"
#include "plugin/Vez303.h"
#include "tests/plugin/ScratchHome.h"
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

TEST(EditorWhileAudioRuns, KnobsFollowTheAudioThreadAndPatternEditsReachItWithoutARace) {
    test::ScratchHome home;
    home.write("Gui.ini", "KnobMode = 2\n");
    Vez303 plugin(&host, &createEditor);
    auto* editor = static_cast<Riv303Uru*>(plugin.getEditor());
    plugin.dispatcher(effSetSampleRate, 0, 0, nullptr, 44100.0f);
    plugin.dispatcher(effMainsChanged, 0, 1, nullptr, 0.0f);
    ASSERT_TRUE(editor->openOffscreen());

    std::atomic<bool> stop{false};
    std::atomic<int> blocks{0};
    std::thread audio([&] {
        std::vector<float> left(256), right(256);
        float* outputs[2] = {left.data(), right.data()};
        for (int n = 0; !stop.load(); ++n) {
            MidiBlock midi;
            if (n % 40 == 0) midi.add(0, 0x90, 1, 100);      // pattern 1 plays
            midi.add(10, 0xB0, 74, (n * 7) % 128);            // Cutoff from a controller
            if (n % 40 == 39) midi.add(200, 0x80, 1, 0);
            plugin.processEvents(reinterpret_cast<VstEvents*>(&midi));
            plugin.setParameter(kResonance, float(n % 100) / 100.0f); // host automation
            plugin.processReplacing(nullptr, outputs, 256);
            blocks.fetch_add(1);
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
    });

    Mouse mouse(*editor);
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
    int round = 0;
    while (std::chrono::steady_clock::now() < until) {
        editor->idle();
        switch (round++ % 8) {
        case 0: mouse.click(ILLUBUTTON1 + round % 13); break; // notes into the playing pattern
        case 1: mouse.click(ILLUBUTTON18); break;            // octave up
        case 2: mouse.click(ILLUBUTTON19); break;            // accent
        case 3: mouse.drag(CUTOFFKNOB, -3); break;
        case 4: mouse.drag(SHUFFLEKNOB, round % 2 ? -2 : 2); break;
        case 5: mouse.click(ILLUBUTTON22); break;            // longer
        case 6: mouse.drag(PATTERNDIGITS, round % 2 ? -4 : 4); break;
        case 7:
            if (round % 64 == 7) {
                editor->close();
                ASSERT_TRUE(editor->openOffscreen());
            }
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    stop.store(true);
    audio.join();
    EXPECT_GT(blocks.load(), 100);
    EXPECT_GT(round, 100);
    // Once the instance stops processing, an edit applies at once.
    plugin.dispatcher(effMainsChanged, 0, 0, nullptr, 0.0f);
    const int cursor = plugin.sequencer().editCursor;
    mouse.click(ILLUBUTTON8);
    EXPECT_EQ(plugin.sequencer().current().steps[cursor].note, 7);
    editor->close();
}

} // namespace
} // namespace kelo
