#include "plugin/StateChunk.h"

#include <algorithm>
#include <cstring>

namespace kelo {
namespace {

uint32_t swap32(uint32_t v) {
    return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}

uint32_t loadWord(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

void storeWord(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

void swapWordAt(uint8_t* p) { storeWord(p, swap32(loadWord(p))); }

void swapWords(uint8_t* p, size_t count) {
    for (size_t i = 0; i < count; ++i) swapWordAt(p + 4 * i);
}

// Converts a chunk written on a machine of the other byte order into native order, in place.
// Only the 32-bit fields are reversed: pattern steps are byte pairs and program names are
// text, so both stay as stored. Every program record's 43 floats are converted (not just
// the first record's), so all sixteen programs come back with their values intact.
void convertToNativeOrder(uint8_t* chunk) {
    swapWords(chunk, 2);
    for (int i = 0; i < kNumPatterns; ++i) swapWordAt(chunk + kChunkBankOffset + i * sizeof(Pattern));
    for (int i = 0; i < kNumPrograms; ++i) {
        uint8_t* rec = chunk + kChunkProgramsOffset + i * sizeof(ProgramRecord);
        swapWords(rec + offsetof(ProgramRecord, values), kProgramValues);
    }
    swapWords(chunk + kChunkSettingsOffset, kChunkSettingsWords);
    swapWords(chunk + kChunkSlotsOffset, kNumParamSlots);
}

int32_t clampInt(int32_t v, int32_t lo, int32_t hi) { return std::min(std::max(v, lo), hi); }

uint32_t packFlags(const ChunkState& s) {
    const EngineSettings& es = *s.settings;
    uint32_t flags = 0;
    if (es.slopeFlag != 0) flags |= kChunkFlagSlope18;
    if (es.tuningMode & 1) flags |= kChunkFlagTuningMode;
    if (es.highpass != 0) flags |= kChunkFlagHighpass;
    flags |= (uint32_t(es.filterMode) & 3u) << kChunkFilterModeShift;
    if (es.midiOutput != 0) flags |= kChunkFlagMidiOutput;
    if (*s.patternLock != 0) flags |= kChunkFlagPatternLock;
    if (es.clockSync != 0) flags |= kChunkFlagClockSync;
    if (es.midiTransmitKnobs != 0) flags |= kChunkFlagTransmitKnobs;
    return flags;
}

} // namespace

ChunkByteOrder stateChunkByteOrder(const void* data, size_t byteSize) {
    if (data == nullptr || byteSize < kStateChunkSize) return ChunkByteOrder::Unknown;
    const uint32_t mark = loadWord(static_cast<const uint8_t*>(data));
    if (mark == uint32_t(kStateChunkMark)) return ChunkByteOrder::Native;
    if (mark == kStateChunkMarkSwapped) return ChunkByteOrder::Swapped;
    return ChunkByteOrder::Unknown;
}

bool writeStateChunk(const ChunkState& state, uint8_t (&out)[kStateChunkSize]) {
    std::memset(out, 0, sizeof out);
    if (!state.complete()) return false;

    const EngineSettings& es = *state.settings;
    uint32_t words[kChunkSettingsWords] = {};
    words[kChunkWordMidiMode] = uint32_t(es.midiMode);
    words[kChunkWordSyncMode] = uint32_t(es.syncMode);
    words[kChunkWordEditCursor] = uint32_t(*state.editCursor);
    words[kChunkWordCurrentPattern] = uint32_t(*state.currentPattern);
    words[kChunkWordEditAdvance] = uint32_t(*state.editAdvance);
    words[kChunkWordCurrentProgram] = uint32_t(*state.currentProgram);
    words[kChunkWordFlags] = packFlags(state);

    storeWord(out, uint32_t(kStateChunkMark));
    storeWord(out + 4, uint32_t(kStateChunkBodySize));
    std::memcpy(out + kChunkBankOffset, state.bank, sizeof(PatternBank));
    std::memcpy(out + kChunkProgramsOffset, state.programs, kNumPrograms * sizeof(ProgramRecord));
    std::memcpy(out + kChunkSettingsOffset, words, sizeof words);
    std::memcpy(out + kChunkSlotsOffset, state.slots, kNumParamSlots * sizeof(float));
    return true;
}

bool readStateChunk(const ChunkState& state, const void* data, size_t byteSize) {
    const ChunkByteOrder order = stateChunkByteOrder(data, byteSize);
    if (order == ChunkByteOrder::Unknown || !state.complete()) return false;

    // Work on a private copy: the caller's block is never modified, and the live state is
    // touched only once the whole chunk has been converted.
    uint8_t chunk[kStateChunkSize];
    std::memcpy(chunk, data, kStateChunkSize);
    if (order == ChunkByteOrder::Swapped) convertToNativeOrder(chunk);

    // The audio thread reads the bank without a lock: store each header word and each step
    // whole, so it never sees a torn value.
    for (int i = 0; i < kNumPatterns; ++i) {
        Pattern p;
        std::memcpy(&p, chunk + kChunkBankOffset + i * sizeof(Pattern), sizeof p);
        // A stepCount of 0 or above 64 would stall or overrun the sequencer.
        if (p.stepCount() < 1 || p.stepCount() > kMaxSteps) p.setStepCount(p.stepCount());
        Pattern& live = state.bank->patterns[i];
        live.header = p.header;
        for (int s = 0; s < kMaxSteps; ++s) live.steps[s] = p.steps[s];
    }

    std::memcpy(state.programs, chunk + kChunkProgramsOffset, kNumPrograms * sizeof(ProgramRecord));
    for (int i = 0; i < kNumPrograms; ++i) state.programs[i].name[kProgramNameSize - 1] = '\0';

    float slots[kNumParamSlots];
    std::memcpy(slots, chunk + kChunkSlotsOffset, sizeof slots);
    for (int i = 0; i < kNumParamSlots; ++i) state.slots[i] = slots[i];

    int32_t words[kChunkSettingsWords];
    std::memcpy(words, chunk + kChunkSettingsOffset, sizeof words);
    const uint32_t flags = uint32_t(words[kChunkWordFlags]);

    EngineSettings& es = *state.settings;
    es.midiMode = words[kChunkWordMidiMode];
    es.syncMode = words[kChunkWordSyncMode];
    es.highpass = (flags & kChunkFlagHighpass) ? 1 : 0;
    es.filterMode = int32_t((flags & kChunkFlagFilterMode) >> kChunkFilterModeShift);
    es.midiOutput = (flags & kChunkFlagMidiOutput) ? 1 : 0;
    es.clockSync = (flags & kChunkFlagClockSync) ? 1 : 0;
    es.midiTransmitKnobs = (flags & kChunkFlagTransmitKnobs) ? 1 : 0;
    // slopeFlag and tuningMode are deliberately left alone.

    const int32_t current = clampInt(words[kChunkWordCurrentPattern], 0, kNumPatterns - 1);
    *state.currentPattern = current;
    *state.editCursor = clampInt(words[kChunkWordEditCursor], 0,
                                 state.bank->patterns[current].stepCount() - 1);
    *state.editAdvance = words[kChunkWordEditAdvance] & 1;
    *state.currentProgram = clampInt(words[kChunkWordCurrentProgram], 0, kNumPrograms - 1);
    *state.patternLock = (flags & kChunkFlagPatternLock) ? 1 : 0;
    return true;
}

} // namespace kelo
