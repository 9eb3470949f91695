// The shell's hand-over tested directly, and an instance built in-process for what a host cannot
// observe.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "plugin/Handover.h"
#include "plugin/Vez303.h"
#include "tests/plugin/ScratchHome.h"

namespace {

using namespace kelo;

struct HandoverLog {
    Handover* handover = nullptr;
    std::vector<int> values;
    std::vector<std::thread::id> threads; // where each value was applied
    bool blockGotIn = true;
};

HandoverArgs arg(int v) { return {{v, 0, 0, 0}, 0.0}; }

void noteValue(void* t, const HandoverArgs& a) {
    auto& log = *static_cast<HandoverLog*>(t);
    log.values.push_back(a.i[0]);
    log.threads.push_back(std::this_thread::get_id());
}

// A command that runs another, as a host calling back into the instance would.
void runNext(void* t, const HandoverArgs& a) {
    static_cast<HandoverLog*>(t)->handover->run(noteValue, arg(a.i[0] + 1));
}

void tryBlock(void* t, const HandoverArgs&) {
    auto& log = *static_cast<HandoverLog*>(t);
    std::thread([&log] { log.blockGotIn = log.handover->enterBlock(); }).join();
}

// Commands from other threads reach the audio thread's state at the start of a block, in the
// order they were submitted, however many; with no block expected they apply at once; a
// block that finds the state taken by another thread stays out of it.
TEST(HandoverTest, AppliesAtBlockStartsInOrderOrAtOnceAndNeverTwoAtATime) {
    HandoverLog log;
    Handover h(&log);
    log.handover = &h;
    h.submit(noteValue, arg(1));
    EXPECT_EQ(log.values, std::vector<int>{1}) << "applied at once before any resume";
    h.submit(tryBlock);
    EXPECT_FALSE(log.blockGotIn) << "a block started while another thread held the state";
    h.run(runNext, arg(1));
    EXPECT_EQ(log.values, (std::vector<int>{1, 2}));

    h.setProcessing(true);
    auto block = [&h](const std::function<void()>& inside) {
        ASSERT_TRUE(h.enterBlock());
        h.noteBlockLength(1.0); // the next block is due soon: commands wait for it
        h.applyPending();
        if (inside) inside();
        h.leaveBlock();
    };
    std::thread([&] {
        block([&] {
            h.run(noteValue, arg(3));
            EXPECT_EQ(log.values.back(), 3) << "a command from inside a block applies there";
            uint64_t queued = 0;
            std::thread([&] { queued = h.submit(noteValue, arg(4)); }).join();
            EXPECT_EQ(log.values.back(), 3) << "another thread's command waits for the block";
            h.wait(queued);
            EXPECT_EQ(log.values.back(), 4) << "unless the block itself waits for it";
        });
        h.submit(noteValue, arg(5));
        EXPECT_EQ(log.values.back(), 5) << "the audio thread between its blocks applies at once";
    }).join();

    std::atomic<bool> stop{false};
    std::thread audio([&] {
        while (!stop.load()) {
            block(nullptr);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    for (int v = 6; v < 100; ++v) h.submit(noteValue, arg(v));
    h.run(noteValue, arg(100));
    stop = true;
    const std::thread::id audioThread = audio.get_id();
    audio.join();
    // A block that is late is still waited for, as long as blocks are due.
    std::thread late([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        block(nullptr);
    });
    const std::thread::id lateThread = late.get_id();
    h.run(noteValue, arg(101));
    late.join();

    ASSERT_EQ(log.values.size(), 101u);
    for (int v = 1; v <= 101; ++v) ASSERT_EQ(log.values[size_t(v - 1)], v);
    for (size_t i = 5; i < 99; ++i) ASSERT_EQ(log.threads[i], audioThread) << log.values[i];
    EXPECT_EQ(log.threads.back(), lateThread);
}

VstIntPtr VSTCALLBACK silentHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

// A block that starts while another thread is replacing the state plays silence, and the
// events it was given wait for the next block instead of being lost.
Vez303* meeting = nullptr;
float* meetingOutputs[2] = {};

TEST(InstanceTest, ABlockMeetingAHandOverIsSilentAndKeepsItsEvents) {
    test::ScratchHome home;
    Vez303 plugin(silentHost);
    plugin.resume();
    std::vector<float> left(64, 7.0f), right(64, 7.0f);
    meeting = &plugin;
    meetingOutputs[0] = left.data();
    meetingOutputs[1] = right.data();
    // The command runs on this thread, holding the state, while the audio thread comes in.
    plugin.waitFor(plugin.post([](void*, const HandoverArgs&) {
        std::thread([] {
            VstMidiEvent cutoff = makeMidiEvent(5, 0xB0, 74, 127);
            VstEvents list{};
            list.numEvents = 1;
            list.events[0] = reinterpret_cast<VstEvent*>(&cutoff);
            meeting->processEvents(&list);
            meeting->processReplacing(nullptr, meetingOutputs, 64);
        }).join();
    }));
    EXPECT_EQ(left, std::vector<float>(64, 0.0f));
    EXPECT_EQ(right, left);
    EXPECT_EQ(plugin.getParameter(kCutoff), 0.5f);
    plugin.processReplacing(nullptr, meetingOutputs, 64);
    EXPECT_EQ(plugin.getParameter(kCutoff), 1.0f);
}

TEST(InstanceTest, KeepsTheLastUsableSampleRateAndListsPatternFiles) {
    test::ScratchHome home;
    Vez303 plugin(silentHost);
    plugin.setSampleRate(48000.0f);
    for (float rate : {0.0f, -48000.0f, std::nanf(""), INFINITY}) {
        plugin.setSampleRate(rate);
        EXPECT_EQ(plugin.sampleRate(), 48000.0) << rate;
        EXPECT_EQ(plugin.getSampleRate(), 48000.0f) << rate;
    }
    // The sequencer derives its step length from it.
    plugin.sequencer().setTempo(120.0);
    EXPECT_DOUBLE_EQ(plugin.sequencer().state.samplesPerStep, 6000.0);

    const std::string sep(1, platform::pathSeparator());
    EXPECT_EQ(plugin.patternSearchMask(), plugin.dataFolder() + "Patterns" + sep + "*.pat");
    EXPECT_EQ(plugin.patternSearchMask().find(sep == "/" ? '\\' : '/'), std::string::npos);
}

} // namespace
