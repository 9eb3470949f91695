#include "toolkit/platform/PolledTimer.h"

#include <utility>
#include <vector>

#include "platform/Platform.h"

namespace kelo::gui {

namespace {

class PolledTimer;
// Intrusive list: trivially destructible thread-locals keep a loaded plug-in unloadable.
thread_local PolledTimer* timers = nullptr;
thread_local uint64_t nextId = 0;

class PolledTimer final : public IPlatformTimer {
public:
    PolledTimer(uint32_t periodMs, std::function<void()> callback)
        : period(periodMs == 0 ? 1 : periodMs), last(platform::tickCount()), id(++nextId), fire(std::move(callback)),
          next(timers) {
        timers = this;
    }
    ~PolledTimer() override {
        for (PolledTimer** p = &timers; *p; p = &(*p)->next)
            if (*p == this) {
                *p = next;
                break;
            }
    }

    uint32_t period;
    uint32_t last;
    uint64_t id;
    std::function<void()> fire;
    PolledTimer* next;
};

PolledTimer* findAlive(PolledTimer* t, uint64_t id) {
    for (PolledTimer* p = timers; p; p = p->next)
        if (p == t && p->id == id) return p;
    return nullptr;
}

} // namespace

std::unique_ptr<IPlatformTimer> createPolledTimer(uint32_t periodMs, std::function<void()> fire) {
    return std::make_unique<PolledTimer>(periodMs, std::move(fire));
}

void firePolledTimers() {
    if (!timers) return;
    const uint32_t now = platform::tickCount();
    std::vector<std::pair<PolledTimer*, uint64_t>> due;
    for (PolledTimer* t = timers; t; t = t->next)
        if (uint32_t(now - t->last) >= t->period) due.emplace_back(t, t->id);
    // A callback may destroy any timer, its own included.
    for (auto [t, id] : due) {
        if (!findAlive(t, id)) continue;
        t->last = now;
        auto fire = t->fire;
        if (fire) fire();
    }
}

} // namespace kelo::gui
