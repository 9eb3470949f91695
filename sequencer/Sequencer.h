#pragma once
// Pattern bank, step sequencer, MIDI input, step programming. Owned by the plug-in
// instance; ticked once per sample by the voice (except in note mode).
//
// The public operations below are what the plug-in shell calls; their owner may add
// members freely but keeps these signatures.
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

class Sequencer {
public:
    Sequencer(VoiceControl& voice, EngineSettings& settings, CcMap& ccMap,
              const TuningTables& tuning, SequencerHost& host);

    // Audio thread.
    void sequencerTick();
    void handleMidiMessage(int status, int data1, int data2);
    void beginBlock();               // sub-block offset and sample counter to 0
    void setEventOffset(int offset); // an event is being handled at this block offset
    void resume();                   // host resume: stop, gate off, held note cleared
    void restartTiming();            // audio preview wrapped: restart the pattern in step

    // Either thread.
    void setTempo(double bpm);
    void programCommand(int code);
    int keyProgramming(int note, int velocity);
    int keyForCommand(int target) const;
};

} // namespace kelo
