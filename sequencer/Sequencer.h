#pragma once
// Pattern bank, step sequencer, MIDI input, step programming. Owned by the plug-in
// instance; ticked once per sample by the voice (except in note mode).
//
// The public operations below are what the plug-in shell calls; their owner may add
// members freely but keeps these signatures.
#include <atomic>
#include <cstdint>

#include "engine/Tuning.h"
#include "engine/VoiceControl.h"
#include "files/CcMap.h"
#include "files/EngineSettings.h"
#include "sequencer/KeyCommandTable.h"
#include "sequencer/Pattern.h"

namespace kelo {

// What the sequencer needs from the instance that owns it.
class SequencerHost {
public:
    virtual ~SequencerHost() = default;
    virtual void setParameter(int index, float value) = 0;
    // Immediate send through the host; false when MIDI output is disabled or the host refused.
    virtual bool sendMidiNow(int offset, int b0, int b1, int b2) = 0;
    // Appended to the block's outgoing queue; dropped when the queue is full.
    virtual void queueMidiEvent(int offset, int b0, int b1, int b2) = 0;
    virtual double sampleRate() const = 0;
};

// Tempo range the sequencer plays at, whatever the source (host, editor, files, analyzer).
// Beyond it a step would last less than a few samples or longer than its counters hold.
constexpr double kMinTempoBpm = 1.0;
constexpr double kMaxTempoBpm = 999.0;

// The value `count` successive additions of 1.0 to `position` give, in a few operations: the
// sum is exact inside a binade, so only the additions that cross a power of two round.
double addOnes(double position, int64_t count);

// Playback state. Every field is one aligned word: the editor polls and pokes some of them.
struct SequencerState {
    int32_t running = 0;
    int32_t stepIndex = 0;       // next step to process
    int32_t swingPhase = 0;      // processed steps modulo 2 (straight) or 3 (triplet)
    int32_t samplesInStep = 0;   // 0: a step starts at the next tick
    double stepPosition = 0.0;   // samples into the current note; the fraction carries over
    int32_t noteLength = 1;      // steps in the current note (1 + tied steps)
    double shuffleAmount = 0.0;  // shuffle / 127 of the pattern, read at each step start
    double tempoFactor = 1.0;
    double tempoBpm = 120.0;
    double samplesPerStep = 5512.5; // one sixteenth in samples
    int32_t blockSampleCounter = 0; // ticks since the last event of the block
    int32_t eventOffset = 0;        // block offset of the last event handled
    int32_t sentNotes[128] = {};    // MIDI notes switched on and not yet off
    int32_t lastNote = 0;           // last MIDI note sent or received
};

class Sequencer {
public:
    Sequencer(VoiceControl& voice, EngineSettings& settings, CcMap& ccMap,
              const TuningTables& tuning, SequencerHost& host);

    // Audio thread.
    void sequencerTick();
    // One tick, then as many of the following ticks (at most limit) as can be accounted for
    // at once because they would start no step, close no gate and send nothing; returns
    // their number, which the caller does not tick. 0 leaves the next tick to the caller.
    int sequencerRun(int limit);
    void handleMidiMessage(int status, int data1, int data2);
    void beginBlock();               // sub-block offset and sample counter to 0
    void setEventOffset(int offset); // an event is being handled at this block offset
    void resume();                   // host resume: stop, gate off, keys forgotten, sent notes released
    // Stops whatever plays, as the start of a new state requires: sequencer, gate, held keys,
    // and every note sent downstream (note-offs and all-notes-off queued at `offset`).
    void halt(int offset);
    void restartTiming();            // audio preview wrapped: restart the pattern in step

    // Either thread.
    // Ignored below 0.000001 BPM (and NaN); otherwise held to kMinTempoBpm..kMaxTempoBpm.
    void setTempo(double bpm);
    // The step length follows the rate the host renders at, whatever rate the tempo was set at.
    void refreshStepLength(double sampleRate);
    void programCommand(int code);
    int keyProgramming(int note, int velocity);
    int keyForCommand(int target) const;

    // Pattern selection.
    void selectPattern(int index);
    void setEditCursor(int index);
    // The editor writes currentPattern directly; masking keeps a stray value inside the bank.
    Pattern& current() { return bank.patterns[currentPattern & (kNumPatterns - 1)]; }
    const Pattern& current() const { return bank.patterns[currentPattern & (kNumPatterns - 1)]; }

    // Note mode.
    void playNote(int note, int velocity);
    void playLegatoNote(int note, int velocity);

    // Transport.
    void startSequencer(); // from the programming run/stop command
    void stopSequencer();  // from the programming run/stop command

    // MIDI output switch; switching off releases notes left on downstream.
    void setMidiOutput(bool on);
    // Note-offs for every note still on downstream, sent at once (for when no block follows).
    void releaseSentNotesNow();

    // Every parameter change arms controller learning for that parameter.
    void noteParameterChange(int index);

    // The owner seeds the pattern generator once, from the tick count.
    void seedRandom(uint32_t seed) { random.seed(seed); }
    bool keyboardProgrammingLeft() const { return keyProgrammingLeft != 0; }
    bool fineTuning() const { return fineTuningOn != 0; }

    PatternBank bank;
    int32_t currentPattern = 0;
    int32_t requestedPattern = 0;
    int32_t patternLock = 0;
    int32_t patternChanged = 0;
    int32_t editCursor = 0;
    int32_t editAdvance = 0;

    SequencerState state;
    // Longest run sequencerRun answers. 0 has the voice tick every sample: the reference
    // that runs are checked against.
    int32_t longestRun = 0x7FFFFFFF;

    uint8_t heldKeys[128] = {};
    uint8_t noteHeld = 0;
    // Written by the editor and by every parameter change, from any thread.
    std::atomic<int32_t> learnMode{0};
    std::atomic<int32_t> learnParameter{-1};
    std::atomic<int32_t> learnCommand{-1};

    KeyCommandTable keyCommands;
    PatternRandom random;

private:
    bool outputActive() const { return settings_.midiOutputActive(); }
    int channel() const { return settings_.midiChannel(); }
    int blockPosition() const { return state.eventOffset + state.blockSampleCounter; }
    void startStep();
    void releaseSentNotes(int offset);
    bool anyNoteSent() const;
    void midiStart();
    void stopFromMidi();
    void keyRelease(int note);
    void noteOn(int note, int velocity);
    void noteOff(int note);
    void controlChange(int controller, int value);
    float notePitch(int note, bool cap) const;
    void accentFromVelocity(int velocity);
    void toggleFlag(uint8_t mask);
    void advanceWrap();
    void advanceNoWrap();
    void cursorBack();
    void commandMode0(int code);
    void commandMode1(int code);
    void runStop();

    VoiceControl& voice_;
    EngineSettings& settings_;
    CcMap& ccMap_;
    const TuningTables& tuning_;
    SequencerHost& host_;
    int32_t keyProgrammingLeft = 0;
    int32_t fineTuningOn = 1;
};

} // namespace kelo
