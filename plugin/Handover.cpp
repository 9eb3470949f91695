#include "plugin/Handover.h"

#include <chrono>

namespace kelo {

namespace {

// The hand-over whose state this thread holds: inside a block, or while applying commands.
// A host that calls back into the instance from there must not queue behind itself.
thread_local const Handover* tlsHolding = nullptr;

int64_t nowNs() {
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}

// The audio thread counts as gone once no block has started for twice the last block's
// length, within these bounds: long enough to ride out a host's scheduling jitter, short
// enough that a caller waiting for a block that will not come is not kept long.
constexpr int64_t kMinQuietNs = 20'000'000;
constexpr int64_t kMaxQuietNs = 500'000'000;

void pause() { std::this_thread::sleep_for(std::chrono::microseconds(200)); }

} // namespace

bool Handover::enterBlock() {
    int expected = kFree;
    if (!holder_.compare_exchange_strong(expected, kAudio, std::memory_order_acquire, std::memory_order_relaxed))
        return false;
    tlsHolding = this;
    blockStartNs_.store(nowNs(), std::memory_order_relaxed);
    audioThread_.store(std::this_thread::get_id(), std::memory_order_relaxed);
    return true;
}

void Handover::noteBlockLength(double seconds) {
    const double ns = seconds * 1e9;
    blockLengthNs_.store(ns > 0.0 && ns < 1e12 ? int64_t(ns) : 0, std::memory_order_relaxed);
}

void Handover::applyPending() { drain(); }

void Handover::leaveBlock() {
    tlsHolding = nullptr;
    holder_.store(kFree, std::memory_order_release);
}

void Handover::drain() {
    const uint64_t tail = tail_.load(std::memory_order_acquire);
    // One at a time, `next_` moved on before each runs: a command that calls back into the
    // instance may apply the rest of the queue itself.
    while (next_ < tail) {
        const Command c = ring_[next_ % kCapacity];
        ++next_;
        c.apply(target_, c.args);
        if (afterApply_) afterApply_(target_);
        // Only now: a waiter that sees its ticket applied also sees what afterApply published.
        head_.store(next_, std::memory_order_release);
    }
}

bool Handover::audioExpected() const {
    if (!processing_.load(std::memory_order_acquire)) return false;
    // The audio thread itself, between its blocks.
    if (audioThread_.load(std::memory_order_relaxed) == std::this_thread::get_id()) return false;
    const int64_t start = blockStartNs_.load(std::memory_order_relaxed);
    if (start == 0) return false; // resumed, but no block yet
    int64_t quiet = 2 * blockLengthNs_.load(std::memory_order_relaxed);
    if (quiet < kMinQuietNs) quiet = kMinQuietNs;
    if (quiet > kMaxQuietNs) quiet = kMaxQuietNs;
    return nowNs() - start < quiet;
}

bool Handover::applyHere() {
    if (audioExpected()) return false;
    int expected = kFree;
    if (!holder_.compare_exchange_strong(expected, kOther, std::memory_order_acquire, std::memory_order_relaxed))
        return false;
    tlsHolding = this;
    drain();
    tlsHolding = nullptr;
    holder_.store(kFree, std::memory_order_release);
    return true;
}

uint64_t Handover::submit(Apply apply, const Args& args) {
    if (tlsHolding == this) {
        // Called back from inside a block or a command: this thread owns the state already.
        apply(target_, args);
        if (afterApply_) afterApply_(target_);
        return 0;
    }
    uint64_t ticket;
    {
        std::lock_guard<std::mutex> lock(producers_);
        const uint64_t tail = tail_.load(std::memory_order_relaxed);
        while (tail - head_.load(std::memory_order_acquire) >= kCapacity)
            if (!applyHere()) pause();
        ring_[tail % kCapacity] = Command{apply, args};
        tail_.store(tail + 1, std::memory_order_release);
        ticket = tail + 1;
    }
    applyHere();
    return ticket;
}

void Handover::wait(uint64_t ticket) {
    if (tlsHolding == this) {
        drain(); // this thread holds the state: nobody else will apply it
        return;
    }
    while (head_.load(std::memory_order_acquire) < ticket)
        if (!applyHere()) pause();
}

} // namespace kelo
