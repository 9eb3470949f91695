#pragma once
// A periodic timer on the UI thread. Destroying it stops it; its callback never runs after that.
// A callback may destroy its own timer.
namespace kelo::gui {

class IPlatformTimer {
public:
    virtual ~IPlatformTimer() = default;
};

} // namespace kelo::gui
