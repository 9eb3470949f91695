// Which services the instrument uses. The system's own live in services_linux.cpp and
// services_win32.cpp.
#include "platform/Services.h"

#include <atomic>

#include "platform/Platform.h"

namespace kelo::platform {

namespace {
std::atomic<Services*> replacement{nullptr};
} // namespace

Services& services() {
    Services* s = replacement.load(std::memory_order_acquire);
    return s ? *s : systemServices();
}

void setServices(Services* s) { replacement.store(s, std::memory_order_release); }

uint32_t tickCount() { return services().tickCount(); }

} // namespace kelo::platform
