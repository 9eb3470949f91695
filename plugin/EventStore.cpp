#include "plugin/EventStore.h"

#include <cstddef>
#include <cstring>

namespace kelo {

void EventStore::store(const VstEvents* events) {
    if (!kept_) count_ = 0;
    kept_ = false;
    if (!events) return;
    int n = events->numEvents;
    if (n > kCapacity) n = kCapacity;
    // The list is longer than VstEvents declares (events[2]): its pointers are read from the
    // bytes, not by indexing the declared array past its end.
    const auto* pointers = reinterpret_cast<const unsigned char*>(events) + offsetof(VstEvents, events);
    for (int i = 0; i < n && count_ < kCapacity; ++i) {
        const VstEvent* e;
        std::memcpy(&e, pointers + sizeof(VstEvent*) * size_t(i), sizeof e);
        if (!e) continue;
        std::memcpy(&events_[count_++], e, sizeof(VstEvent));
    }
    // Bubble sort swapping only on strictly greater offsets: stable, and the list is tiny.
    for (int end = count_ - 1; end > 0; --end) {
        bool swapped = false;
        for (int i = 0; i < end; ++i) {
            if (events_[i].deltaFrames > events_[i + 1].deltaFrames) {
                const VstEvent t = events_[i];
                events_[i] = events_[i + 1];
                events_[i + 1] = t;
                swapped = true;
            }
        }
        if (!swapped) break;
    }
}

void EventStore::clampToBlock(int32_t frames) {
    const int32_t last = frames > 0 ? frames - 1 : 0;
    for (int i = 0; i < count_; ++i) {
        int32_t& d = events_[i].deltaFrames;
        if (d < 0) d = 0;
        if (d > last) d = last;
    }
}

} // namespace kelo
