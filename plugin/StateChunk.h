#pragma once
// The state chunk: the one opaque block the host stores in its projects (getChunk/setChunk).
//
// Layout (21152 bytes, 32-bit words in the writer's byte order):
//      0  mark 200
//      4  20120, the byte count of the bank, programs and settings block
//      8  PatternBank (128 x 132 bytes)
//  16904  16 ProgramRecords (196 bytes each)
//  20040  settings block, 22 words
//  20128  256 parameter slots as floats
//
// These functions are pure: they read and write plain records through the pointers of a
// ChunkState and never talk to the host, the editor or MIDI output.
#include <cstddef>
#include <cstdint>

#include "files/EngineSettings.h"
#include "sequencer/Pattern.h"

namespace kelo {

constexpr int kNumPrograms = 16;
constexpr int kProgramValues = 43;   // a program keeps parameter slots 0..42
constexpr int kNumParamSlots = 256;
constexpr int kProgramNameSize = 24;

struct ProgramRecord {
    char name[kProgramNameSize];  // NUL-terminated
    float values[kProgramValues];
};
static_assert(sizeof(ProgramRecord) == 196);

constexpr size_t kStateChunkSize = 21152;
constexpr int32_t kStateChunkMark = 200;
constexpr uint32_t kStateChunkMarkSwapped = 0xC8000000u;  // 200 written in the other byte order
constexpr int32_t kStateChunkBodySize = 20120;

constexpr size_t kChunkBankOffset = 8;
constexpr size_t kChunkProgramsOffset = kChunkBankOffset + sizeof(PatternBank);
constexpr size_t kChunkSettingsOffset = kChunkProgramsOffset + kNumPrograms * sizeof(ProgramRecord);
constexpr int kChunkSettingsWords = 22;
constexpr size_t kChunkSlotsOffset = kChunkSettingsOffset + kChunkSettingsWords * 4;
static_assert(kChunkProgramsOffset == 16904);
static_assert(kChunkSettingsOffset == 20040);
static_assert(kChunkSlotsOffset == 20128);
static_assert(kChunkSlotsOffset - kChunkBankOffset == size_t(kStateChunkBodySize));
static_assert(kChunkSlotsOffset + kNumParamSlots * 4 == kStateChunkSize);

// Words of the settings block.
enum ChunkSettingsWord : int {
    kChunkWordMidiMode = 0,
    kChunkWordSyncMode = 1,
    kChunkWordEditCursor = 2,
    kChunkWordCurrentPattern = 3,
    kChunkWordEditAdvance = 4,
    kChunkWordCurrentProgram = 5,
    kChunkWordFlags = 6,
};

// Bits of the flags word. The slope flag and the tuning mode are saved for reference only:
// they belong to the user's settings files, so restoring a project never changes them.
enum ChunkFlag : uint32_t {
    kChunkFlagSlope18 = 1u << 0,
    kChunkFlagTuningMode = 1u << 1,
    kChunkFlagHighpass = 1u << 2,
    kChunkFlagFilterMode = 3u << 3,  // FilterMode 0..3
    kChunkFlagMidiOutput = 1u << 5,
    kChunkFlagPatternLock = 1u << 6,
    kChunkFlagClockSync = 1u << 7,
    kChunkFlagTransmitKnobs = 1u << 8,
};
constexpr int kChunkFilterModeShift = 3;

// Where the live state lives. The owning instance fills every pointer; `programs` points at
// kNumPrograms records and `slots` at kNumParamSlots floats.
struct ChunkState {
    PatternBank* bank = nullptr;
    ProgramRecord* programs = nullptr;
    float* slots = nullptr;
    EngineSettings* settings = nullptr;
    int32_t* editCursor = nullptr;
    int32_t* currentPattern = nullptr;
    int32_t* editAdvance = nullptr;
    int32_t* currentProgram = nullptr;
    int32_t* patternLock = nullptr;

    bool complete() const {
        return bank && programs && slots && settings && editCursor && currentPattern &&
               editAdvance && currentProgram && patternLock;
    }
};

enum class ChunkByteOrder { Native, Swapped, Unknown };

// Which byte order a chunk was written in, judged by its mark; Unknown for anything that is
// not a whole chunk (null, shorter than kStateChunkSize) or carries another mark.
ChunkByteOrder stateChunkByteOrder(const void* data, size_t byteSize);

// Fills `out` with the current state in native byte order. Answers false, leaving `out`
// zeroed, when the state is incomplete.
bool writeStateChunk(const ChunkState& state, uint8_t (&out)[kStateChunkSize]);

// Restores the state from a chunk of either byte order. A null or short chunk, an unknown
// mark or an incomplete state changes nothing and answers false. Bytes beyond
// kStateChunkSize are ignored. Values that would break invariants of the live state are
// brought into range: currentPattern 0..127, current program 0..15, editCursor inside the
// current pattern, each pattern's stepCount 1..64, program names terminated.
// Parameter slots are written straight in; the caller notifies nobody.
bool readStateChunk(const ChunkState& state, const void* data, size_t byteSize);

} // namespace kelo
