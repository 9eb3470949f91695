#pragma once
// Timers for backends without their own: they fire from CFrame::idle, which the host drives
// through effEditIdle, measured with kelo::platform::tickCount() (replaceable in tests).
// Per thread, so editors on different UI threads never share a list.
#include <cstdint>
#include <functional>
#include <memory>

#include "toolkit/platform/IPlatformTimer.h"

namespace kelo::gui {

std::unique_ptr<IPlatformTimer> createPolledTimer(uint32_t periodMs, std::function<void()> fire);

// Runs every polled timer of this thread whose period has passed (at most once per call each).
void firePolledTimers();

} // namespace kelo::gui
