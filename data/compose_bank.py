#!/usr/bin/env python3
"""Writes DefaultPatternBank.pat, the bank a fresh install starts with.

Every line below is a hand-written bass phrase. Run this script after editing a phrase and
commit both files; the .pat file is what the instrument loads.

Step notation, one token per step:
  C C# D D# E F F# G G# A A# B   pitch in the base octave (C is MIDI note 36)
  ^ / v after the name           octave up / octave down
  !                              accent
  ~                              slide into the next step
  .                              rest
  =                              hold the previous note one step longer (the previous step
                                 slides into the same pitch, so the note is not retriggered)
Bars are separated by | for reading; they are ignored.
"""

import os
import sys

NAMES = ["C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"]
FILE_NAMES = "c-c#d-d#e-f-f#g-g#a-a#b-"
GATE, UP, DOWN, SLIDE, ACCENT = 0x01, 0x02, 0x04, 0x08, 0x10

# (title, steps, shuffle 0..127, triplet)
BANKS = []


def bank(title):
    BANKS.append((title, []))


def pat(name, steps, shuffle=0, triplet=False):
    BANKS[-1][1].append((name, steps, shuffle, triplet))


def parse(text):
    steps = []
    for token in text.replace("|", " ").split():
        if token == ".":
            steps.append([0, 0])
            continue
        if token == "=":
            if not steps or not steps[-1][1] & GATE:
                raise ValueError("hold without a note before it: " + text)
            steps[-1][1] |= SLIDE
            steps.append([steps[-1][0], (steps[-1][1] & (UP | DOWN)) | GATE])
            continue
        name = token.rstrip("^v!~")
        mods = token[len(name):]
        if name not in NAMES:
            raise ValueError("unknown note %r in %r" % (token, text))
        flags = GATE
        flags |= UP if "^" in mods else 0
        flags |= DOWN if "v" in mods else 0
        flags |= ACCENT if "!" in mods else 0
        flags |= SLIDE if "~" in mods else 0
        steps.append([NAMES.index(name), flags])
    return steps


# ---------------------------------------------------------------------------------------------
bank("Classic acid")
pat("A minor roller", "Av! Av A~ Av | . Av! C~ Av | Av A . G~ | Av! A Av E~")
pat("E minor squelch", "E! E E^~ D^ | E . G~ E | E! B~ E . | E^ E D~ E!")
pat("C minor stab", "C! . C C^~ | A#~ C . D#!~ | C C . G~ | C^! C A#v~ C")
pat("D phrygian", "D! D D#~ D | . D! F~ D | D^ D . C~ | D! D# D A~")
pat("G minor low", "Gv! Gv G~ A#~ | Gv . Gv! F~ | Gv G Gv D~ | F~ Gv! . A#")
pat("A minor walk", "Av! C E A | Av! G~ E D | Av! C E G~ | A^ G E! D~")
pat("F minor bounce", "F! F G#~ F | C^~ F . F! | D#~ F F^ . | F! D#~ C F")
pat("E classic", "E! E E^! E | D^~ E . E! | G~ E E^~ D^ | E! . B E")
pat("Accent grid", "Av! . Av! A | . Av Av! . | A~ G Av! . | Av Av C~ D")
pat("C dorian climb", "C! D#~ F C | C^! . A# G~ | C . C! D#~ | F~ G A#! C^")
pat("D minor pulse", "D! D F~ A | D^! D . C~ | D! D A~ F | G~ A . D!")
pat("G phrygian", "G! G#~ G . | G^! G F~ G | G! . G G#~ | A#~ G G^! F")
pat("B minor", "Bv! Bv B~ A | Bv . D~ Bv! | F#v~ Bv B . | Bv! A~ F# Bv")
pat("Squelch pedal", "E! E~ E E! | E~ E . E! | G~ G E! . | E^ D^~ B E!")
pat("Question and answer", "Av! A C^ A | E! . G A | Av! A C^ D^~ | E^! D^ C^ A~")
pat("C minor drive", "C! C C^ C | A#v! C C^~ G | C! C C^ C | D#! D~ C G#v")

# ---------------------------------------------------------------------------------------------
bank("Minimal")
pat("Two hits", "Av! . . Av | . Av! A~ .")
pat("E space", "E! . . E | . . E! . | . E . . | E^! . D^~ E")
pat("C tick", "C! . C . | . C! . . | G~ C . . | C! . . A#")
pat("Twelve against four", "Av! . Av . | A~ Av . . | Av! . G~ .")
pat("D offbeat", "D . D! . | D . . D^! | . D . F~ | D! . . .")
pat("G short", "G! . G^ . | G . F~ G")
pat("One note groove", "A! . A A | . A! . A | A . A! . | A A . A!")
pat("E pairs", "E! E . . | E . E! . | . . E E! | . E . .")
pat("C twelve", "C! . . C^~ | C . . C! | . D#~ C .")
pat("F dub", "F! . . . | F^ . F! . | . . F . | G#~ F . .")
pat("Low breath", "Av! . . . | . . . . | Av . . A~ | G . . .")
pat("D eight", "D! D^ . D | . D! C~ D")
pat("B sparse", "B! . B . | . B . B! | . . B . | D^~ B . .")
pat("E slide drop", "E! . . E^~ | E . . . | E! . . G~ | E . . .")
pat("A twelve call", "A! . E~ A | . . A! . | C^~ A . .")
pat("C heartbeat", "C! . . . | C . . . | C! . . . | C . C^~ G")

# ---------------------------------------------------------------------------------------------
bank("Octave jumpers")
pat("A octaves", "Av! A Av A | Av! A Av A~ | G Av A Av | Av! A C^ A")
pat("E octaves", "E! E^ E E^ | E! E^ D E^ | E! E^ E E^ | G E^ D^ E^!")
pat("C gaps", "C! C^ . C^ | C C^! . C^ | A#v A# C C^! | . C^ G C")
pat("D ladder", "D! D^ D D^ | F! F^ F F^ | G! G^ G G^ | F F^ C^ A")
pat("G skip", "G! . G^ G | . G^! G . | G! . G^ F^~ | G^ . G D")
pat("A eight", "Av! A^ A A^ | Av! A^ G^ A^")
pat("F minor jumps", "F! F^ F F^! | G# G#^ F F^ | F! F^ D# D#^ | C C^ D#^ F^!")
pat("E accents up", "E! . E^! . | E . E^! . | D! . D^! . | G . G^! E")
pat("B octaves", "B! B^ B B^! | A A^ B B^! | F# F#^ B B^! | A A^ F#^~ B^")
pat("C two bars",
    "C! C^ C C^ | D# D#^ C C^ | G G^ C C^ | A# A#^ C! C^ |"
    "C! C^ C C^ | F F^ D# D#^ | C C^ G G^ | A#v! A# C~ C^")
pat("A low high", "Av! A . A | Av A^! . A | Av! A G A^ | E A^ Av A!")
pat("D slides up", "D! D^~ D . | D^! D . D^~ | D D^ C^! D | . D^ A D^")
pat("G minor octaves", "G! G^ G! G^ | A# A#^ G G^ | G! G^ D D^ | F F^ G^! G")
pat("E short jump", "E! E^~ E E^ | E! E^~ D^ B")
pat("C bounce", "C! C^ C^! C | G C^ C A#v | C! C^ C^! C | D# D^ C^~ C")
pat("F# octaves", "F#! F#^ F# F#^ | A A^ F#! F#^ | E E^ F#! F#^ | C#^ F#^ A^! F#")

# ---------------------------------------------------------------------------------------------
bank("Shuffled")
pat("A swing", "Av! Av A~ Av | . Av! G Av | Av A . Av! | C~ Av G Av", shuffle=36)
pat("E shuffle", "E! . E E^ | E! . G~ E | E E^! . E | D~ E B E!", shuffle=27)
pat("C house", ". C! . C^ | . C! . C^~ | . C! . C^ | . D#! . C^", shuffle=21)
pat("D lazy", "D! D . D^~ | D . D! F~ | D D . D^! | C^~ A F D", shuffle=48)
pat("G shuffle eight", "G! G^ . G | F~ G G^! .", shuffle=33)
pat("A garage", "Av! . A . | Av! A~ G . | Av! . A C^~ | A . G E", shuffle=42)
pat("F swing", "F! F F^ . | D#~ F . F! | G#~ F F^! . | C F D# F", shuffle=30)
pat("E twelve swing", "E! E E^ . | E! D~ E . | E! G~ E .", shuffle=39)
pat("B shuffle", "B! B . B^ | A~ B B! . | F#~ B . B^! | A B D^~ B", shuffle=24)
pat("C heavy swing", "C! C C^! C | A#v~ C C . | C! C G~ C | D#^! C^ A# G", shuffle=54)
pat("A two bars swing",
    "Av! Av A . | G~ Av Av! . | C^ A Av . | E~ G Av! . |"
    "Av! Av A . | G~ Av Av! . | C^! D^~ C^ A | G~ E D C", shuffle=35)
pat("D funk", "D! . D D^! | . D C~ D | . D! F D | G~ A D^ .", shuffle=29)
pat("G wobble", "G! G~ G G | G! G~ G . | G! G~ A# A | G! F~ D F", shuffle=45)
pat("E bounce", "E! . E^ E | . E! E^ . | E . E^! E | D^ . B G", shuffle=31)
pat("F# shuffle", "F#! F# A~ F# | . F#! E F# | F#^! . F# C# | E~ F# . A", shuffle=37)
pat("C swing eight", "C! C^ C D#~ | C C^! A#v C", shuffle=41)

# ---------------------------------------------------------------------------------------------
bank("Triplets")
pat("A triplet roll", "Av! A Av | Av! A G | Av! A Av | C^ A G~", triplet=True)
pat("E gallop", "E! E E^ | E! E D^ | E! E E^ | G E^ D^~", triplet=True)
pat("C triplet stab", "C! . C^ | C . C^! | A#v! . A# | G~ C .", triplet=True)
pat("D six", "D! D^ D | F~ D D^!", triplet=True)
pat("G triplets two bars",
    "G! G G^ | F~ G . | G! G G^ | A#~ A G |"
    "G! G G^ | F~ G . | D^! C^ A# | A~ G F", triplet=True)
pat("A triplet octaves", "Av! A^ A | Av! A^ G^ | Av! A^ A | E^ D^ C^~", triplet=True)
pat("F triplet", "F! . F | G#~ F F^! | F . F! | D#~ C F", triplet=True)
pat("E triplet rest", "E! . . | E^! . E | . E! . | G~ E .", triplet=True)
pat("B triplet", "B! B D^~ | B . B^! | A~ B F# | B! A B", triplet=True)
pat("C triplet swing", "C! C C^ | D#~ C . | C! C^ C | A#v~ C G", shuffle=24, triplet=True)
pat("D triplet walk", "D! E F | A D^ C^ | A! F E | D . A~", triplet=True)
pat("A triplet accent", "Av! Av Av | A! Av Av | Av! Av Av | G! E~ G", triplet=True)
pat("G triplet drop", "G^! G G^ | F^~ G . | G^! D^ A# | G~ F D", triplet=True)
pat("E triplet nine", "E! E^ E | D~ E E^! | B G~ E", triplet=True)
pat("F# triplet", "F#! F#^ . | F# A~ F# | F#! C#^ A | E~ F# .", triplet=True)
pat("C triplet groove", "C! . C | C^! C . | C! . D#~ | F G~ C", shuffle=18, triplet=True)

# ---------------------------------------------------------------------------------------------
bank("Slow and deep")
pat("A long", "Av! = = = | . . . . | E = = . | G~ A = .")
pat("E drone", "E! = = = | = = . . | E = = = | D~ E = .")
pat("C deep two bars",
    "C! = = . | . . C = | D#~ = C = | . . . . |"
    "C! = = . | . . G = | A#~ = A = | G~ F = .")
pat("D breath", "D! = . . | D^ = . . | F~ = D = | . . . .")
pat("G slow slide", "G! = G~ A# | = = . . | F~ = G = | . . D~ F")
pat("Av sub", "Av! = = = | = = = . | Av = = = | G~ Av = .")
pat("F dusk two bars",
    "F! = = = | . . G#~ = | F = . . | C^~ = A# = |"
    "G#! = = = | . . G~ = | F = = = | = = . .")
pat("E pads", "E! = = . | G = = . | A = = . | B~ G = .")
pat("C low swell", "C! = = = | = = = = | D# = = = | D~ C = =")
pat("B night", "B! = . B | = . . . | D^~ = B = | A~ F# = .")
pat("A drift four bars",
    "Av! = = = | . . . . | A = . . | G~ E = . |"
    "Av! = = = | . . . . | C^ = . . | B~ G = . |"
    "Av! = = = | . . . . | E^ = . . | D^~ C^ = . |"
    "A! = = = | G = = = | E = = = | . . . .")
pat("D slow twelve", "D! = = | A~ = D | . . . | F~ E D", triplet=True)
pat("G swell", "G! = = = | A#~ = = = | A~ = = = | G = . .")
pat("E minor slow", "E! = . E | . . G = | . . B = | D^~ = E .")
pat("C half time", "C! = . . | C^ = . . | G = . . | A#~ = C .")
pat("F# tide two bars",
    "F#! = = = | = = . . | A~ = F# = | . . . . |"
    "E! = = = | = = . . | C#^~ = F# = | . . . .")

# ---------------------------------------------------------------------------------------------
bank("Fast and hard")
pat("A machine", "Av! Av A Av! | Av A Av! Av | A Av! Av A | Av! G A Av!")
pat("E hammer", "E! E E! E | E^! E E! E | D! E E! E | G! E^ E! D")
pat("C rave", "C! C^ C C^! | C C^ C! C^ | D# D#^ C! C^ | A#v! A# C C^!")
pat("D sixteenths", "D! D D D! | F D D D! | A D D D! | C^ D^ C^ A!")
pat("G stomp", "G! G G G^! | G G G^! G | F! F F^ F | G! G^ D F")
pat("A hard eight", "Av! A Av! A^ | Av! A G! A^")
pat("F acid rush", "F! G# F^! F | D#~ F F! C | F! F^ G#! F | D#! C~ D# F")
pat("E fury", "E! E^! E E^! | E! D^~ E E^! | E! E^! G E^! | B! D^ E^ E!")
pat("C piston", "C! C C! C | C^! C C! C | C! C C! C | A#v! C D#! C^")
pat("B drill", "B! B B^ B! | B B B^! B | A! A A^ B! | F# B D^! B")
pat("A slide storm", "Av!~ A~ Av~ G | Av!~ A~ Av~ E | Av!~ A~ C^~ A | G!~ E~ D~ C")
pat("D hard octaves", "D! D^ D! D^ | D! D^ D! D^ | C! C^ C! C^ | F! F^ A! D^")
pat("G minor rush", "G! A# G D^! | G A#! G F | G! A# G D^! | F! D C A#v")
pat("E sixteen accents", "E! E! E E! | E E! E! E | E! E E! E! | E E! E! E!")
pat("C two bar attack",
    "C! C C^! C | D#! C C^ C! | G C C^! C | A#v! C C^ G |"
    "C! C C^! C | D#! C C^ C! | F! F^ D#! D#^ | D! D^ C^! G")
pat("A last minute", "Av! Av Av! A | C^! A G! E | Av! Av Av! A | D^! C^ A! G")

# ---------------------------------------------------------------------------------------------
bank("Fills and long phrases")
pat("A build four bars",
    "Av! . . . | . . . . | Av! . . . | . . A . |"
    "Av! . Av . | . . A . | Av! . Av . | A . G . |"
    "Av! Av Av . | A . G . | Av! Av Av A | . G E . |"
    "Av! Av A Av | G A Av E | Av! A C^ A | D^! C^ A! G!")
pat("E fill", "E! G~ A B | D^~ E^! D^ B | A~ G E D | E! D^ B G~")
pat("C roll fill", "C! C C C | C^! C^ C^ C^ | G G G G | A#! A# C^! C^!")
pat("D descent", "D^! C^ A# A | G F E D | C^~ A# A G | F E D! Dv")
pat("G waltz", "G! G G^ | F~ G . | G! D^ C^ | A#~ G F | G! G G^ | D~ F G! | C^! A# G | F~ D F")
pat("A answer four bars",
    "Av! Av A~ Av | . Av! C~ Av | Av A . G~ | Av! A Av E~ |"
    "Av! Av A~ Av | . Av! C~ Av | Av A . G~ | C^! D^ E^! G~ |"
    "Av! Av A~ Av | . Av! C~ Av | Av A . G~ | Av! A Av E~ |"
    "A^! G^ E^ D^ | C^! A G E | D~ C Av! G~ | A! . E^! .")
pat("E break", "E! . . . | . . . . | . . E^! . | D^~ B G E")
pat("C turnaround", "C! C^ A# G | D#~ F G A# | C^! A# G F | D#~ D C G!")
pat("F twenty four",
    "F! F F^ . | G#~ F F! . | C~ F F^ D# | F! F F^ . | G#~ F C^! A# | G#~ G F! C")
pat("D octave fill", "D! D^ D D^ | D! D^ D D^ | D^! D^ D^ D^ | C^! A F D")
pat("G swing fill four bars",
    "G! G G^ . | F~ G . G! | A#~ G G^ . | D~ F G . |"
    "G! G G^ . | F~ G . G! | A#~ G G^ . | D^! C^ A# A |"
    "G! G G^ . | F~ G . G! | A#~ G G^ . | D~ F G . |"
    "G! . G^! . | F^! . D^! . | C^! A#! A! G! | F! D! C! Gv!", shuffle=30)
pat("A triplet fill", "Av! A C^ | E^ D^ C^ | A G E | D~ C Av!", triplet=True)
pat("E climb", "E! F# G A | B C^ D^ E^! | D^ C^ B A | G F# E! .")
pat("C minor saga four bars",
    "C! . C C^~ | A#~ C . D#!~ | C C . G~ | C^! C A#v~ C |"
    "D#! . D# D#^~ | D~ D# . G!~ | D# D# . A#~ | D#^! D# D~ D# |"
    "G#v! . G# G#^~ | G~ G# . C^!~ | G# G# . D#~ | G#^! G# G~ G# |"
    "G! . G G^~ | F~ G . A#!~ | B! . D^ G | C^! A# G! D#")
pat("A stop", "Av! A C^ E^! | . . . . | . . . . | E! = D~ C")
pat("Octave run", "C C^ D D^ | E E^ F F^ | G G^ A A^ | B B^ C^! Cv!")

# ---------------------------------------------------------------------------------------------


def header_word(count, shuffle, triplet):
    return count | (shuffle << 8) | ((1 << 31) if triplet else 0)


def step_line(note, flags):
    up = 1 if flags & UP else 0
    down = 1 if flags & DOWN else 0
    name = FILE_NAMES[2 * note:2 * note + 2]
    octave = 3 + up - down
    return "%s%d %d %d %d" % (name, octave, flags & GATE, 1 if flags & SLIDE else 0,
                              1 if flags & ACCENT else 0)


def compose():
    lines = [
        "; KELO default pattern bank",
        "; 128 patterns in eight groups of sixteen. Each pattern starts with its header line;",
        "; a step line is note and octave, then gate, slide and accent (1 = on).",
    ]
    number = 0
    for title, patterns in BANKS:
        if len(patterns) != 16:
            raise ValueError("%s has %d patterns" % (title, len(patterns)))
        lines.append(";")
        lines.append("; ==== %d to %d  %s ====" % (number + 1, number + 16, title))
        for name, text, shuffle, triplet in patterns:
            steps = parse(text)
            if not 1 <= len(steps) <= 64:
                raise ValueError("%s: %d steps" % (name, len(steps)))
            if not any(f & GATE for _, f in steps):
                raise ValueError("%s: no note" % name)
            number += 1
            timing = []
            if shuffle:
                timing.append("shuffle %d" % shuffle)
            if triplet:
                timing.append("triplet")
            lines.append("; %03d %s  (%d steps%s)" % (number, name, len(steps),
                                                      ", " + ", ".join(timing) if timing else ""))
            lines.append("; KELO Meta tag: %u" % header_word(len(steps), shuffle, triplet))
            lines.extend(step_line(n, f) for n, f in steps)
    if number != 128:
        raise ValueError("%d patterns" % number)
    return "\n".join(lines) + "\n"


if __name__ == "__main__":
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__),
                                                               "DefaultPatternBank.pat")
    with open(out, "w", newline="\n") as f:
        f.write(compose())
