// The state chunk through a real instance: a host restoring a project may hand it any bytes.
// Input: up to 21152 bytes of chunk (fewer is a short chunk), then a host tempo byte and MIDI
// messages of 4 bytes (offset, status, data1, data2) spread over four blocks.
#include <algorithm>

#include "tests/fuzz/FuzzSupport.h"

using namespace kelo;
using kelo::fuzz::Instance;

namespace {

Instance& instance() {
    // Never destroyed: the run ends without the instance writing into the scratch home.
    static Instance* one = [] {
        fuzz::scratchHome();
        return new Instance();
    }();
    return *one;
}

int32_t word(const std::vector<uint8_t>& chunk, size_t offset) {
    int32_t v;
    std::memcpy(&v, chunk.data() + offset, 4);
    return v;
}

void holdEditCursor(std::vector<uint8_t>& chunk) {
    const size_t cursorAt = kChunkSettingsOffset + 4 * kChunkWordEditCursor;
    const int32_t current = word(chunk, kChunkSettingsOffset + 4 * kChunkWordCurrentPattern);
    FUZZ_CHECK(current >= 0 && current < kNumPatterns);
    const int32_t steps = word(chunk, kChunkBankOffset + sizeof(Pattern) * size_t(current)) & 0x7F;
    const int32_t cursor = std::clamp(word(chunk, cursorAt), 0, std::max(steps, 1) - 1);
    std::memcpy(chunk.data() + cursorAt, &cursor, 4);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Instance& k = instance();
    static std::vector<uint8_t> baseline, before, after;
    if (baseline.empty()) k.getChunk(baseline);

    const size_t chunkBytes = std::min(size, kStateChunkSize);
    uint32_t mark = 0;
    std::memcpy(&mark, data, std::min<size_t>(4, chunkBytes));
    const bool taken = chunkBytes == kStateChunkSize && (mark == uint32_t(kStateChunkMark) || mark == kStateChunkMarkSwapped);
    k.dispatch(effMainsChanged, 0, 0);
    if (taken) {
        k.setChunk(data, chunkBytes);
    } else {
        // From a known state, a refused chunk changes nothing.
        k.setChunk(baseline.data(), baseline.size());
        k.getChunk(before);
        k.setChunk(data, chunkBytes);
        k.getChunk(after);
        FUZZ_CHECK(after == before);
    }
    k.checkParameters();

    // Play it, with the host's tempo and MIDI from the rest of the input.
    const uint8_t* tail = data + chunkBytes;
    size_t tailBytes = size - chunkBytes;
    static constexpr double kTempos[] = {0.0, 1.0, 24.0, 120.0, 300.0, 1000.0, 1e9, -5.0};
    Instance::setHostTempo(tailBytes ? (tail[0] < 8 ? kTempos[tail[0]] : 20.0 + tail[0]) : 120.0);
    if (tailBytes) ++tail, --tailBytes;
    k.dispatch(effMainsChanged, 0, 1);
    const size_t messages = tailBytes / 4;
    constexpr int kBlocks = 4, kFrames = 64;
    // Far above anything the instrument plays (+40 dBFS at worst): only a runaway gets here.
    constexpr float kBound = 1e4f;
    for (int b = 0; b < kBlocks; ++b) {
        const size_t first = messages * size_t(b) / kBlocks, last = messages * size_t(b + 1) / kBlocks;
        k.render(kFrames, tail + 4 * first, last - first, kBound);
    }
    k.checkParameters();
    k.dispatch(effMainsChanged, 0, 0);

    // A state the instance gives back is one it takes back as it is, except that the edit
    // cursor comes back inside the current pattern (playing may have switched to a shorter one).
    k.getChunk(before);
    FUZZ_CHECK(before.size() == kStateChunkSize);
    k.setChunk(before.data(), before.size());
    k.getChunk(after);
    holdEditCursor(before);
    FUZZ_CHECK(after == before);
    return 0;
}
