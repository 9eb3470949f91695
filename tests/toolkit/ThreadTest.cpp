// The host's audio thread sets parameters while the UI thread idles and repaints (run under
// ThreadSanitizer by scripts/test-all.sh).
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "support/TestScene.h"
#include "toolkit/platform/OffscreenFrame.h"

using namespace kelo::gui;
using namespace kelo::gui::test;

namespace {
VstIntPtr VSTCALLBACK quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}
} // namespace

TEST(ToolkitThreads, ParametersFromAnotherThreadReachTheViewsInIdle) {
    auto* effect = new TestSceneEffect(quietHost);
    AEffect* e = effect->getAeffect();
    if (e->dispatcher(e, effEditOpen, 0, 0, nullptr, 0) != 1) {
        e->dispatcher(e, effClose, 0, 0, nullptr, 0);
        GTEST_SKIP() << "this platform's backend draws nothing yet";
    }
    auto* editor = static_cast<TestSceneEditor*>(effect->getEditor());
    OffscreenFrame* window = editor->getFrame()->getOffscreenFrame();
    auto* knob = static_cast<CControl*>(editor->getFrame()->getView(0));
    ASSERT_EQ(knob->getTag(), TestScene::kKnobTag);

    std::atomic<bool> done{false};
    std::thread audio([&] {
        for (int i = 0; i <= 20000; ++i) {
            e->setParameter(e, 0, float(i % 100) / 99.0f);
            e->setParameter(e, 1, float(i % 2));
        }
        e->setParameter(e, 0, 0.25f);
        done = true;
    });
    const int paintsBefore = window->paintCount();
    int idles = 0;
    while (!done || idles < 3) {
        e->dispatcher(e, effEditIdle, 0, 0, nullptr, 0);
        ++idles;
    }
    audio.join();
    e->dispatcher(e, effEditIdle, 0, 0, nullptr, 0);
    EXPECT_EQ(knob->getValue(), 0.25f);
    EXPECT_GT(window->paintCount(), paintsBefore);
    e->dispatcher(e, effEditClose, 0, 0, nullptr, 0);
    e->dispatcher(e, effClose, 0, 0, nullptr, 0);
}
