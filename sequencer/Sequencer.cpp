#include "sequencer/Sequencer.h"

#include <cmath>
#include <cstring>

#include "files/CcMapFile.h"
#include "files/ParameterTable.h"
#include "sequencer/MidiBytes.h"

namespace kelo {

namespace {

using midi::kAllNotesOff;
using midi::kNoteOff;
using midi::kNoteOn;
using midi::kControlChange;

} // namespace

Sequencer::Sequencer(VoiceControl& voice, EngineSettings& settings, CcMap& ccMap,
                     const TuningTables& tuning, SequencerHost& host)
    : voice_(voice), settings_(settings), ccMap_(ccMap), tuning_(tuning), host_(host) {
    for (Pattern& p : bank.patterns) {
        p.header = 16;
        std::memset(p.steps, 0, sizeof p.steps);
        clearPattern(p, settings_.clearNotes != 0);
    }
    setDefaultKeyCommands(keyCommands);
    // The host is still being built when it builds us: no calls into it here. Step length
    // stays at 120 BPM / 44.1 kHz until the owner sets the tempo.
}

// ---------------------------------------------------------------- selection

void Sequencer::selectPattern(int index) {
    if (index < 0) index = 0;
    if (index >= kNumPatterns) index = kNumPatterns - 1;
    if (patternLock == 0) {
        if (index != currentPattern) patternChanged = 1;
        currentPattern = index;
    }
    requestedPattern = index;
}

void Sequencer::setEditCursor(int index) {
    const int n = playedSteps(current());
    editCursor = index < 0 ? 0 : (index >= n ? n - 1 : index);
}

// ---------------------------------------------------------------- playback

void Sequencer::beginBlock() {
    state.eventOffset = 0;
    state.blockSampleCounter = 0;
}

void Sequencer::setEventOffset(int offset) {
    state.eventOffset = offset < 0 ? 0 : offset;
    state.blockSampleCounter = 0;
}

void Sequencer::setTempo(double bpm) {
    if (!(bpm >= 0.000001)) return; // also rejects NaN
    // A host's infinite or absurd tempo would start a step on every sample.
    if (bpm < kMinTempoBpm) bpm = kMinTempoBpm;
    if (bpm > kMaxTempoBpm) bpm = kMaxTempoBpm;
    state.tempoBpm = bpm;
    const double sr = host_.sampleRate();
    if (sr > 0.0) state.samplesPerStep = sr / (bpm / 60.0 * 4.0);
}

void Sequencer::refreshStepLength(double sampleRate) {
    if (state.tempoBpm > 0.0 && sampleRate > 0.0) state.samplesPerStep = sampleRate / (state.tempoBpm / 60.0 * 4.0);
}

bool Sequencer::anyNoteSent() const {
    for (int32_t sent : state.sentNotes)
        if (sent) return true;
    return false;
}

void Sequencer::releaseSentNotesNow() {
    if (!outputActive()) return;
    for (int m = 0; m < 128; ++m) {
        if (!state.sentNotes[m]) continue;
        host_.sendMidiNow(0, kNoteOff | channel(), m, 0);
        state.sentNotes[m] = 0;
    }
}

void Sequencer::releaseSentNotes(int offset) {
    if (!outputActive()) return;
    const int ch = channel();
    for (int m = 0; m < 128; ++m) {
        if (!state.sentNotes[m]) continue;
        // Note-off followed by a zero-velocity note-on: receivers honour one or the other.
        host_.queueMidiEvent(offset, kNoteOff | ch, m, 0);
        host_.queueMidiEvent(offset, kNoteOn | ch, m, 0);
        state.sentNotes[m] = 0;
    }
}

void Sequencer::startStep() {
    const Pattern& p = current();
    const int count = playedSteps(p);
    // The editor may have shortened the pattern or switched it under us.
    if (state.stepIndex < 0 || state.stepIndex >= count) state.stepIndex = 0;

    if (settings_.resetOscillator) voice_.resetPhase = 1;

    const PatternStep step = p.steps[state.stepIndex];
    const uint8_t f = step.flags;
    const int prevSlide = voice_.slide != 0 ? 1 : 0;

    voice_.slideFrom = prevSlide;
    voice_.slide = (f & StepSlide) ? 1 : 0;
    voice_.accentStep = ((f & StepAccent) && (f & StepGate)) ? 1 : 0;
    voice_.accent = ((prevSlide && voice_.accent) || voice_.accentStep) ? 1 : 0;

    int ties = 0;
    for (int j = state.stepIndex + 1; j < count && (p.steps[j].flags & StepTie); ++j) ++ties;
    // A rest followed by tied steps lasts as long as the steps it covers, so every pass
    // of the pattern takes stepCount steps of time.
    state.noteLength = 1 + ties;

    // After a sliding step the previous note is still sounding: leave the gate as it is.
    if (!prevSlide) voice_.gate = (f & StepGate) ? 1 : 0;

    if (f & StepGate) {
        const int m = stepMidiNote(step);
        const int c = m < 0 ? 0 : (m > 127 ? 127 : m);
        double base = double(settings_.vcoTuning) - 0.5 + 2.0;
        if (!(base > 0.0)) base = 2.0;
        voice_.pitchHz = float(6.875 * std::pow(base, (c + 3) / 12.0));
        if (voice_.gate && outputActive()) {
            // Never send velocity 0 for a sounding note: receivers read it as a note-off.
            int velocity = settings_.accentVelocity - 1;
            if (velocity < 1) velocity = 1;
            if (velocity > 127) velocity = 127;
            if (voice_.accent) velocity = 127;
            host_.queueMidiEvent(blockPosition(), kNoteOn | channel(), c, velocity);
            state.lastNote = c;
            state.sentNotes[c] = 1;
        }
    }

    state.stepIndex += 1 + ties;
    if (state.stepIndex >= count) state.stepIndex = 0;

    if (voice_.gate && !prevSlide) voice_.trigger = 1;

    state.swingPhase += 1;
    const int shuffle = p.shuffle();
    state.shuffleAmount = (shuffle > 127 ? 127 : shuffle) / 127.0;
    state.samplesInStep = 1;
}

void Sequencer::sequencerTick() {
    if (state.running && state.samplesInStep == 0) startStep();

    const Pattern& p = current();
    double factor = settings_.clockSync == 1 ? 2.0 : 1.0;
    const bool triplet = p.triplet();
    // A non-positive scale would stall or race the sequencer; ignore it.
    if (triplet && settings_.tripletScale > 0.0) factor *= settings_.tripletScale;
    state.tempoFactor = factor;

    if (!state.running) {
        ++state.blockSampleCounter;
        return;
    }

    const double s = state.shuffleAmount;
    double swing;
    if (triplet) {
        const int phase = state.swingPhase % 3;
        swing = phase == 0 ? 1.0 - 2.0 * s / 3.0 : 1.0 + s / 3.0;
        if (state.swingPhase > 2) state.swingPhase -= 3;
    } else {
        swing = (state.swingPhase % 2) == 0 ? 1.0 - s : 1.0 + s;
        if (state.swingPhase > 1) state.swingPhase -= 2;
    }
    const double length = swing * state.samplesPerStep / state.tempoFactor;

    state.samplesInStep += 1;
    state.stepPosition += 1.0;
    const double noteSamples = state.noteLength * length;
    if (state.stepPosition > noteSamples) {
        state.stepPosition -= noteSamples;
        state.samplesInStep = 0;
        // The carry is the fraction of a sample past the step's end, plus the tick a
        // zero-length swing step takes. More is left over from a sudden tempo rise: replayed,
        // it would fire a burst of one-sample steps, so only its fraction is kept.
        if (state.stepPosition > 2.0) state.stepPosition -= std::floor(state.stepPosition) - 1.0;
    }

    if (!voice_.slide && voice_.gate && state.stepPosition > (state.noteLength - 0.5) * length) {
        voice_.gate = 0;
        // Stamped at the sample being rendered, like the note-on.
        releaseSentNotes(blockPosition());
    }

    ++state.blockSampleCounter;
}

double addOnes(double position, int64_t count) {
    double x = position;
    while (count > 0) {
        if (!(x >= 1.0 && x < 0x1p53)) {
            // Below 1 the first addition rounds on its own; from 2^53 on an addition may be lost.
            if (x != x || x - x != 0.0) return x; // NaN and infinities stay what they are
            x += 1.0;
            --count;
            continue;
        }
        uint64_t bits;
        std::memcpy(&bits, &x, sizeof bits);
        const uint64_t edgeBits = ((bits >> 52) + 1) << 52; // the next power of two
        double edge;
        std::memcpy(&edge, &edgeBits, sizeof edge);
        const double room = edge - x; // exact: x is at least half of edge
        const int64_t whole = int64_t(room);
        const int64_t inside = double(whole) == room ? whole - 1 : whole; // sums still below edge
        if (count <= inside) return x + double(count);
        // x + inside is exact, so the addition that crosses rounds the same sum as one step would.
        x += double(inside + 1);
        count -= inside + 1;
    }
    return x;
}

int Sequencer::sequencerRun(int limit) {
    sequencerTick();
    if (limit > longestRun) limit = longestRun;
    if (limit <= 0) return 0;
    if (!state.running) {
        state.blockSampleCounter += limit;
        return limit;
    }
    if (state.samplesInStep == 0) return 0; // this tick ended the step: the next one starts a step

    // The following ticks see the same step length as this one: nothing they read changes
    // until a step starts or an event is handled, which ends the caller's run.
    const bool triplet = current().triplet();
    const double s = state.shuffleAmount;
    double swing;
    if (triplet) {
        swing = state.swingPhase % 3 == 0 ? 1.0 - 2.0 * s / 3.0 : 1.0 + s / 3.0;
    } else {
        swing = (state.swingPhase % 2) == 0 ? 1.0 - s : 1.0 + s;
    }
    const double length = swing * state.samplesPerStep / state.tempoFactor;
    // A tick is quiet while its position stays at or below the step's end and, with a gate
    // to close, at or below the gate's end. Positions only grow: the quiet ticks are a prefix.
    // The length is the tick's own expression, so the comparisons see the same values.
    double bound = state.noteLength * length;
    if (!voice_.slide && voice_.gate) {
        const double gateEnd = (state.noteLength - 0.5) * length;
        if (gateEnd < bound) bound = gateEnd;
    }
    const double x = state.stepPosition;
    const double room = bound - x;
    int k;
    if (!(room < double(limit))) {
        k = limit; // also an unreachable (NaN) end: such ticks never end anything
    } else if (!(room >= 0.0)) {
        k = 0;
    } else {
        k = int(room);
    }
    // The estimate can be one off where the ticks' additions round.
    while (k > 0 && addOnes(x, k) > bound) --k;
    while (k < limit && !(addOnes(x, k + 1) > bound)) ++k;
    if (k == 0) return 0;

    state.stepPosition = addOnes(x, k);
    state.samplesInStep += k;
    state.blockSampleCounter += k;
    // Each tick folds the swing phase once; after this tick's fold there is normally nothing left.
    const int period = triplet ? 3 : 2;
    for (int i = 0; i < k && state.swingPhase > period - 1; ++i) state.swingPhase -= period;
    return k;
}

void Sequencer::resume() {
    // Notes sent before the suspend are still on downstream: released with the first block.
    halt(0);
    state.samplesInStep = 0;
    state.blockSampleCounter = 0;
}

void Sequencer::halt(int offset) {
    const bool active = state.running || voice_.gate || anyNoteSent();
    state.running = 0;
    voice_.gate = 0;
    voice_.slide = 0;
    voice_.slideFrom = 0;
    noteHeld = 0;
    // Keys held before are not held in the new state: their releases may never come.
    std::memset(heldKeys, 0, sizeof heldKeys);
    if (active && outputActive()) {
        releaseSentNotes(offset);
        host_.queueMidiEvent(offset, kControlChange | channel(), kAllNotesOff, 0);
    }
}

void Sequencer::restartTiming() {
    state.samplesInStep = 0;
    state.stepPosition = 0.0;
    state.stepIndex = 0;
    state.swingPhase = 0;
}

void Sequencer::startSequencer() {
    voice_.slide = 0;
    voice_.slideFrom = 0;
    state.samplesInStep = 0;
    state.stepPosition = 0.0;
    state.stepIndex = 0;
    state.swingPhase = 0;
    state.running = 1;
}

void Sequencer::stopSequencer() {
    state.running = 0;
    noteHeld = 0;
    voice_.gate = 0;
    voice_.slideFrom = 0;
    if (outputActive()) {
        // Stamped where the command was played: at offset 0 the note-offs would sort before a
        // note-on queued earlier in this block, which would then hang. Every note still on is
        // switched off, for receivers that ignore all-notes-off.
        const int at = blockPosition();
        releaseSentNotes(at);
        host_.queueMidiEvent(at, kControlChange | channel(), kAllNotesOff, 0);
    }
}

void Sequencer::midiStart() {
    voice_.slide = 0;
    voice_.slideFrom = voice_.slideFrom != 0 ? 1 : 0;
    state.samplesInStep = 0;
    state.stepPosition = 0.0;
    state.stepIndex = 0;
    state.swingPhase = 0;
    state.running = 1;
}

void Sequencer::stopFromMidi() {
    // Hosts send all-notes-off on every channel at once; only the stop that actually
    // ends something is forwarded, so the outgoing queue is not flooded. A note still on
    // downstream is something.
    const bool active = state.running || voice_.gate || anyNoteSent();
    state.running = 0;
    voice_.gate = 0;
    noteHeld = 0;
    if (active && outputActive()) {
        const int ch = channel();
        host_.sendMidiNow(0, kControlChange | ch, kAllNotesOff, 0);
        // The queued copies go at the stopping event's own position: stamped at 0 they would
        // sort before notes queued earlier in this block and leave them hanging downstream.
        const int at = blockPosition();
        releaseSentNotes(at);
        host_.queueMidiEvent(at, kControlChange | ch, kAllNotesOff, 0);
    }
}

void Sequencer::setMidiOutput(bool on) {
    const bool wasOn = settings_.midiOutput != 0;
    if (wasOn && !on && settings_.midiOutputChannel >= 0) {
        releaseSentNotesNow(); // while the output is still on
        host_.sendMidiNow(0, kControlChange | channel(), kAllNotesOff, 0);
    }
    settings_.midiOutput = on ? 1 : 0;
}

// ---------------------------------------------------------------- MIDI input

void Sequencer::noteParameterChange(int index) {
    // Editor-only slots have no controller to learn; they must not disarm a pending learn.
    if (index >= 0 && index < kNumParameters) learnParameter = index;
}

float Sequencer::notePitch(int note, bool cap) const {
    return tuning_.pitch(foldNote(note, cap), settings_.tuningMode);
}

void Sequencer::accentFromVelocity(int velocity) {
    const int a = velocity > settings_.accentVelocity ? 1 : 0;
    voice_.accent = a;
    voice_.accentStep = a;
}

void Sequencer::playNote(int note, int velocity) {
    state.lastNote = note;
    accentFromVelocity(velocity);
    noteHeld = 1;
    voice_.pitchHz = notePitch(note, settings_.capNotes != 0);
    voice_.slide = 0;
    voice_.slideFrom = 0;
    voice_.gate = 1;
    voice_.trigger = 1;
}

void Sequencer::playLegatoNote(int note, int velocity) {
    state.lastNote = note;
    voice_.slideFrom = 1;
    accentFromVelocity(velocity);
    voice_.pitchHz = notePitch(note, false);
}

void Sequencer::keyRelease(int note) {
    // Only a key that is holding a pattern can end playback; releases of programming
    // keys and stray note-offs leave the sequencer alone.
    if (!heldKeys[note]) return;
    heldKeys[note] = 0;
    for (int h = 127; h >= 0; --h) {
        if (heldKeys[h]) {
            selectPattern(h);
            return;
        }
    }
    stopFromMidi();
}

void Sequencer::noteOn(int note, int velocity) {
    const int mode = settings_.midiMode;
    if (mode == 1) {
        state.running = 0;
        if (velocity == 0) {
            noteOff(note);
        } else if (!noteHeld) {
            playNote(note, velocity);
        } else {
            playLegatoNote(note, velocity);
        }
        return;
    }
    if (mode >= 2 || mode < 0) return;

    if (velocity == 0) {
        keyRelease(note);
        return;
    }
    int result = velocity;
    if (settings_.midiKeyProgramming) result = keyProgramming(note, velocity);
    if (result <= 0) return; // consumed by programming: not a pattern key
    heldKeys[note] = 1;
    selectPattern(note);
    if (state.running) {
        state.stepIndex %= playedSteps(current());
    } else {
        midiStart();
    }
}

void Sequencer::noteOff(int note) {
    const int mode = settings_.midiMode;
    if (mode == 1) {
        if (note == state.lastNote) {
            noteHeld = 0;
            voice_.gate = 0;
            voice_.slideFrom = 0;
        }
        return;
    }
    if (mode == 0) keyRelease(note);
}

void Sequencer::controlChange(int controller, int value) {
    if (controller == 123 || controller == 126) {
        const int mode = settings_.midiMode;
        if (mode == 1) {
            noteHeld = 0;
            voice_.gate = 0;
            voice_.slideFrom = 0;
        } else if (mode == 0) {
            std::memset(heldKeys, 0, sizeof heldKeys);
            stopFromMidi();
        }
        return;
    }
    // Sustain (64) is an ordinary mappable controller; other channel-mode messages are not.
    if (controller >= 120) return;

    const float v = float(value / 127.0);
    if (learnMode && learnParameter >= 0) {
        const int p = learnParameter;
        learnController(ccMap_, controller, p);
        if (p < kNumParameters) host_.setParameter(p, v);
        learnParameter = -1;
        return;
    }
    const int p = ccMap_.entries[controller];
    if (p >= 0 && p < kNumParameters) host_.setParameter(p, v);
}

void Sequencer::handleMidiMessage(int status, int data1, int data2) {
    data1 &= 0x7F;
    data2 &= 0x7F;
    switch (status & 0xF0) {
    case kNoteOn: noteOn(data1, data2); break;
    case kNoteOff: noteOff(data1); break;
    case kControlChange: controlChange(data1, data2); break;
    default: break; // pitch bend, pressure, program change, clock and transport: no effect
    }
}

// ---------------------------------------------------------------- step programming

void Sequencer::advanceWrap() {
    const int n = playedSteps(current());
    editCursor = editCursor + 1 >= n ? 0 : editCursor + 1;
}

void Sequencer::advanceNoWrap() {
    if (editCursor < playedSteps(current()) - 1) ++editCursor;
}

void Sequencer::cursorBack() {
    editCursor = editCursor - 1 < 0 ? playedSteps(current()) - 1 : editCursor - 1;
}

void Sequencer::toggleFlag(uint8_t mask) { current().steps[editCursor].flags ^= mask; }

void Sequencer::runStop() {
    if (state.running) {
        stopSequencer();
    } else {
        startSequencer();
    }
}

void Sequencer::commandMode0(int code) {
    Pattern& p = current();
    if (code >= 0 && code <= 12) {
        p.steps[editCursor].note = uint8_t(code);
        if (editAdvance) advanceWrap();
        return;
    }
    switch (code) {
    case 13:
        clearPattern(p, settings_.clearNotes != 0);
        editCursor = 0;
        break;
    case 14: runStop(); break;
    case 15:
        editAdvance = editAdvance ? 0 : 1;
        if (!editAdvance) editCursor = 0;
        break;
    case 16: editCursor = 0; break;
    case 17: toggleFlag(StepGate); break;
    case 18: toggleFlag(StepDown); break;
    case 19: toggleFlag(StepUp); break;
    case 20: toggleFlag(StepAccent); break;
    case 21: toggleFlag(StepSlide); break;
    case 22: cursorBack(); break;
    case 23: advanceWrap(); break;
    case 24: lengthenPattern(p); break;
    case 25: shortenPattern(p); break;
    case 1000:
        fineTuningOn = fineTuningOn ? 0 : 1;
        settings_.relativeTuning = fineTuningOn ? 1.0015f : 1.0f;
        break;
    default: break;
    }
}

void Sequencer::commandMode1(int code) {
    Pattern& p = current();
    const bool pitchPhase = editAdvance != 0;
    uint8_t& flags = p.steps[editCursor].flags;
    if (code >= 0 && code <= 12) {
        p.steps[editCursor].note = uint8_t(code);
        if (pitchPhase) advanceNoWrap();
        return;
    }
    switch (code) {
    case 13:
        clearPattern(p, true);
        editCursor = 0;
        break;
    case 14: runStop(); break;
    case 15:
        if (pitchPhase) editCursor = 0;
        editAdvance = 1;
        break;
    case 16: editCursor = 0; break;
    case 17:
        if (!pitchPhase) editCursor = 0;
        editAdvance = 0;
        break;
    case 18:
        if (pitchPhase) {
            flags ^= StepDown;
        } else {
            flags = uint8_t((flags & 0x1E) | StepNoteMark | StepGate);
            advanceNoWrap();
        }
        break;
    case 19:
        if (pitchPhase) {
            flags ^= StepUp;
        } else {
            flags = uint8_t((flags & 0x1F) | StepTie);
            advanceNoWrap();
        }
        break;
    case 20:
        if (pitchPhase) {
            flags ^= StepAccent;
        } else {
            flags = uint8_t((flags & 0x16) | StepRestMark);
            advanceNoWrap();
        }
        break;
    case 21:
        if (pitchPhase) flags ^= StepSlide;
        break;
    case 22: cursorBack(); break;
    case 23: advanceWrap(); break;
    case 24: lengthenPattern(p); break;
    case 25: shortenPattern(p); break;
    case 26:
        flags = uint8_t((flags & 0xF7) | StepGate);
        if (pitchPhase) advanceWrap();
        break;
    case 27:
        flags &= 0xF6;
        if (pitchPhase) advanceWrap();
        break;
    case 28: {
        const int prev = editCursor == 0 ? playedSteps(p) - 1 : editCursor - 1;
        p.steps[prev].flags |= StepSlide;
        flags &= 0xF6;
        if (pitchPhase) advanceWrap();
        break;
    }
    default: break;
    }
}

void Sequencer::programCommand(int code) {
    if (learnMode) {
        learnCommand = code + 13;
        learnParameter = -1;
        return;
    }
    // The cursor is shared with the editor and the pattern may have shrunk since it was set.
    setEditCursor(editCursor);
    if (settings_.programmingMode == 1) {
        commandMode1(code);
    } else {
        commandMode0(code);
    }
    // A shortened pattern must not leave the cursor on a step that is no longer played.
    setEditCursor(editCursor);
}

int Sequencer::keyProgramming(int note, int velocity) {
    if (learnMode) {
        if (learnCommand < 1) return velocity;
        int slot = -1;
        switch (learnCommand) {
        case 13: slot = 0; break;
        case 26: slot = 11; break;
        case 27: slot = 5; break;
        case 28: slot = 6; break;
        case 29: slot = 9; break;
        case 30: slot = 12; break;
        case 31: slot = 1; break;
        case 32: slot = 2; break;
        case 33: slot = 3; break;
        case 34: slot = 4; break;
        case 35: slot = 8; break;
        case 36: slot = 7; break;
        default: break;
        }
        if (slot >= 0) assignKeyCommand(keyCommands, slot, note);
        learnCommand = -1;
        patternChanged = 1;
        return -1;
    }
    if (keyProgrammingLeft) return velocity;

    const int base = keyCommands.slots[0];
    // An unassigned base (-1) must not turn the lowest notes into note keys.
    if (base >= 0 && note >= base && note < base + 13) {
        programCommand(note - base);
        patternChanged = 1;
        return -1;
    }

    struct SlotCommand {
        int slot;
        int code;
    };
    static constexpr SlotCommand kOrder[] = {{1, 18}, {2, 19}, {3, 20}, {4, 21},
                                             {12, 17}, {5, 14}, {11, 13}, {6, 15},
                                             {7, 23}, {8, 22}, {9, 16}};
    for (const SlotCommand& sc : kOrder) {
        if (keyCommands.slots[sc.slot] != note) continue;
        // Mode 0 performs these as its direct commands, mode 1 as its own; both are
        // exactly what programCommand does for the code in that mode.
        programCommand(sc.code);
        patternChanged = 1;
        return -1;
    }
    if (keyCommands.slots[10] == note) keyProgrammingLeft = 1;
    return velocity;
}

int Sequencer::keyForCommand(int target) const {
    if (target >= 13 && target <= 25) {
        const int base = keyCommands.slots[0];
        return base < 0 ? -1 : base + (target - 13);
    }
    switch (target) {
    case 26: return keyCommands.slots[11];
    case 27: return keyCommands.slots[5];
    case 28: return keyCommands.slots[6];
    case 29: return keyCommands.slots[9];
    case 30: return keyCommands.slots[12];
    case 31: return keyCommands.slots[1];
    case 32: return keyCommands.slots[2];
    case 33: return keyCommands.slots[3];
    case 34: return keyCommands.slots[4];
    case 35: return keyCommands.slots[8];
    case 36: return keyCommands.slots[7];
    case 37: return keyCommands.slots[10];
    default: return -1;
    }
}

} // namespace kelo
