#pragma once
// The block's incoming events: the first 64 of the host's list, copied (32 bytes each) so the
// host may free its list before processReplacing, and sorted by sample offset.
#include <cstdint>

#include "vst/VstAbi.h"

namespace kelo {

class EventStore {
public:
    static constexpr int kCapacity = 64;

    // Replaces the stored events with the host's list (null entries are skipped), sorted by
    // offset; equal offsets keep the host's order. After keep(), the list is added to the
    // events kept instead, up to the capacity.
    void store(const VstEvents* events);
    // The stored events were not handled: they stay for the next block.
    void keep() { kept_ = true; }
    // Brings offsets into 0..frames-1 (0 for an empty block); the order stays sorted.
    void clampToBlock(int32_t frames);

    int count() const { return count_; }
    const VstEvent& at(int i) const { return events_[i]; }
    void clear() { count_ = 0, kept_ = false; }

private:
    VstEvent events_[kCapacity]{};
    int count_ = 0;
    bool kept_ = false;
};

} // namespace kelo
