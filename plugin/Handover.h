#pragma once
// How threads other than the audio thread change what the audio path reads.
//
// The rule: while the instance processes, the audio thread owns every piece of state that a
// block reads or writes (patterns, settings, sequencer, voice, the outgoing MIDI queue). Any
// other thread that wants to change such state submits a command instead of writing it; the
// audio thread applies the queued commands, in the order they were submitted, at the start of
// its next block, so no block ever sees half of a change. When the audio thread is not
// expected (before resume, while suspended, or when no block has started for a while), the
// submitting thread takes the state for itself, applies the queue and returns it; a block that
// starts meanwhile finds the state taken and plays silence rather than wait. The audio thread
// never waits and never takes a lock. A command must not block either: it runs inside a block.
//
// State that is a single word both sides may touch at any time (parameter slots, learn
// markers) is kept in atomics instead and needs none of this.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

namespace kelo {

// The arguments of a command: a few words, copied into the queue.
struct HandoverArgs {
    int32_t i[4] = {};
    double d = 0.0;
};

class Handover {
public:
    using Args = HandoverArgs;
    using Apply = void (*)(void* target, const Args& args);
    // Called by whichever thread holds the state after it has applied one or more commands.
    using AfterApply = void (*)(void* target);

    Handover(void* target, AfterApply afterApply = nullptr) : target_(target), afterApply_(afterApply) {}
    Handover(const Handover&) = delete;
    Handover& operator=(const Handover&) = delete;

    // ---- audio thread ----
    // Takes the state for a block. False when another thread holds it right now: the block
    // must not touch the state (and does not call leaveBlock).
    bool enterBlock();
    // Applies what was submitted; call once per entered block, when the block is ready for it.
    void applyPending();
    // How long the block lasts in real time: tells other threads how soon the next one comes.
    void noteBlockLength(double seconds);
    void leaveBlock();

    // ---- any other thread ----
    // Queues `apply`; it runs at the start of the next block, or at once when the audio thread
    // is not expected. Answers a ticket for wait().
    uint64_t submit(Apply apply, const Args& args = {});
    // Returns once the command with this ticket has been applied.
    void wait(uint64_t ticket);
    // submit, then wait.
    void run(Apply apply, const Args& args = {}) { wait(submit(apply, args)); }
    // Returns once everything submitted so far has been applied.
    void settle() { wait(tail_.load(std::memory_order_acquire)); }
    // The host's resume (true) and suspend (false): while off, commands apply at once.
    void setProcessing(bool on) { processing_.store(on, std::memory_order_release); }
    bool processing() const { return processing_.load(std::memory_order_acquire); }

private:
    struct Command {
        Apply apply = nullptr;
        Args args;
    };
    static constexpr uint64_t kCapacity = 64;
    enum Holder : int { kFree = 0, kAudio = 1, kOther = 2 };

    bool audioExpected() const;
    // Takes the state and applies the queue if the audio thread is not expected; true if done.
    bool applyHere();
    void drain();

    void* target_;
    AfterApply afterApply_;
    std::mutex producers_; // among submitting threads only
    Command ring_[kCapacity];
    uint64_t next_ = 0;             // the next command to apply; the holder's
    std::atomic<uint64_t> head_{0}; // commands applied
    std::atomic<uint64_t> tail_{0}; // commands submitted
    std::atomic<int> holder_{kFree};
    std::atomic<bool> processing_{false};
    std::atomic<int64_t> blockStartNs_{0};  // steady clock at the last block's start
    std::atomic<int64_t> blockLengthNs_{0}; // that block's duration in real time
    std::atomic<std::thread::id> audioThread_{};
};

} // namespace kelo
