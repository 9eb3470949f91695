#pragma once
// MIDI the instrument produces during a block, handed to the host after each incoming event
// and at the end of the block. Fixed capacity: overflow is dropped, the audio path never allocates.
#include <cstddef>
#include <cstdint>

#include "vst/VstAbi.h"

namespace kelo {

VstMidiEvent makeMidiEvent(int32_t deltaFrames, int b0, int b1, int b2);

class OutgoingMidiQueue {
public:
    static constexpr int kCapacity = 64;

    // False when the queue is full and the event was dropped.
    bool push(int32_t deltaFrames, int b0, int b1, int b2);
    int count() const { return count_; }
    const VstMidiEvent& at(int i) const { return events_[i]; }

    // Hands the queued events to `send` as one list and empties the queue whatever it answers.
    template <typename Send>
    void flush(Send&& send) {
        static_assert(offsetof(EventList, events) == offsetof(VstEvents, events));
        if (count_ == 0) return;
        EventList list{};
        list.numEvents = count_;
        list.reserved = 0;
        for (int i = 0; i < count_; ++i) list.events[i] = reinterpret_cast<VstEvent*>(&events_[i]);
        send(reinterpret_cast<VstEvents*>(&list));
        count_ = 0;
    }

private:
    // Same layout as VstEvents, with room for the whole queue.
    struct EventList {
        VstInt32 numEvents;
        VstIntPtr reserved;
        VstEvent* events[kCapacity];
    };

    VstMidiEvent events_[kCapacity]{};
    int count_ = 0;
};

} // namespace kelo
