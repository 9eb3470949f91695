#include "plugin/OutgoingMidiQueue.h"

#include <cstddef>

namespace kelo {

VstMidiEvent makeMidiEvent(int32_t deltaFrames, int b0, int b1, int b2) {
    VstMidiEvent e{};
    e.type = kVstMidiType;
    e.byteSize = sizeof(VstMidiEvent);
    e.deltaFrames = deltaFrames;
    e.midiData[0] = static_cast<char>(b0 & 0xFF);
    e.midiData[1] = static_cast<char>(b1 & 0xFF);
    e.midiData[2] = static_cast<char>(b2 & 0xFF);
    return e;
}

bool OutgoingMidiQueue::push(int32_t deltaFrames, int b0, int b1, int b2) {
    if (count_ >= kCapacity) return false;
    events_[count_++] = makeMidiEvent(deltaFrames, b0, b1, b2);
    return true;
}

} // namespace kelo
