; KELO default pattern bank
; 128 patterns in eight groups of sixteen. Each pattern starts with its header line;
; a step line is note and octave, then gate, slide and accent (1 = on).
;
; ==== 1 to 16  Classic acid ====
; 001 A minor roller  (16 steps)
; KELO Meta tag: 16
a-2 1 0 1
a-2 1 0 0
a-3 1 1 0
a-2 1 0 0
c-3 0 0 0
a-2 1 0 1
c-3 1 1 0
a-2 1 0 0
a-2 1 0 0
a-3 1 0 0
c-3 0 0 0
g-3 1 1 0
a-2 1 0 1
a-3 1 0 0
a-2 1 0 0
e-3 1 1 0
; 002 E minor squelch  (16 steps)
; KELO Meta tag: 16
e-3 1 0 1
e-3 1 0 0
e-4 1 1 0
d-4 1 0 0
e-3 1 0 0
c-3 0 0 0
g-3 1 1 0
e-3 1 0 0
e-3 1 0 1
b-3 1 1 0
e-3 1 0 0
c-3 0 0 0
e-4 1 0 0
e-3 1 0 0
d-3 1 1 0
e-3 1 0 1
; 003 C minor stab  (16 steps)
; KELO Meta tag: 16
c-3 1 0 1
c-3 0 0 0
c-3 1 0 0
c-4 1 1 0
a#3 1 1 0
c-3 1 0 0
c-3 0 0 0
d#3 1 1 1
c-3 1 0 0
c-3 1 0 0
c-3 0 0 0
g-3 1 1 0
c-4 1 0 1
c-3 1 0 0
a#2 1 1 0
c-3 1 0 0
; 004 D phrygian  (16 steps)
; KELO Meta tag: 16
d-3 1 0 1
d-3 1 0 0
d#3 1 1 0
d-3 1 0 0
c-3 0 0 0
d-3 1 0 1
f-3 1 1 0
d-3 1 0 0
d-4 1 0 0
d-3 1 0 0
c-3 0 0 0
c-3 1 1 0
d-3 1 0 1
d#3 1 0 0
d-3 1 0 0
a-3 1 1 0
; 005 G minor low  (16 steps)
; KELO Meta tag: 16
g-2 1 0 1
g-2 1 0 0
g-3 1 1 0
a#3 1 1 0
g-2 1 0 0
c-3 0 0 0
g-2 1 0 1
f-3 1 1 0
g-2 1 0 0
g-3 1 0 0
g-2 1 0 0
d-3 1 1 0
f-3 1 1 0
g-2 1 0 1
c-3 0 0 0
a#3 1 0 0
; 006 A minor walk  (16 steps)
; KELO Meta tag: 16
a-2 1 0 1
c-3 1 0 0
e-3 1 0 0
a-3 1 0 0
a-2 1 0 1
g-3 1 1 0
e-3 1 0 0
d-3 1 0 0
a-2 1 0 1
c-3 1 0 0
e-3 1 0 0
g-3 1 1 0
a-4 1 0 0
g-3 1 0 0
e-3 1 0 1
d-3 1 1 0
; 007 F minor bounce  (16 steps)
; KELO Meta tag: 16
f-3 1 0 1
f-3 1 0 0
g#3 1 1 0
f-3 1 0 0
c-4 1 1 0
f-3 1 0 0
c-3 0 0 0
f-3 1 0 1
d#3 1 1 0
f-3 1 0 0
f-4 1 0 0
c-3 0 0 0
f-3 1 0 1
d#3 1 1 0
c-3 1 0 0
f-3 1 0 0
; 008 E classic  (16 steps)
; KELO Meta tag: 16
e-3 1 0 1
e-3 1 0 0
e-4 1 0 1
e-3 1 0 0
d-4 1 1 0
e-3 1 0 0
c-3 0 0 0
e-3 1 0 1
g-3 1 1 0
e-3 1 0 0
e-4 1 1 0
d-4 1 0 0
e-3 1 0 1
c-3 0 0 0
b-3 1 0 0
e-3 1 0 0
; 009 Accent grid  (16 steps)
; KELO Meta tag: 16
a-2 1 0 1
c-3 0 0 0
a-2 1 0 1
a-3 1 0 0
c-3 0 0 0
a-2 1 0 0
a-2 1 0 1
c-3 0 0 0
a-3 1 1 0
g-3 1 0 0
a-2 1 0 1
c-3 0 0 0
a-2 1 0 0
a-2 1 0 0
c-3 1 1 0
d-3 1 0 0
; 010 C dorian climb  (16 steps)
; KELO Meta tag: 16
c-3 1 0 1
d#3 1 1 0
f-3 1 0 0
c-3 1 0 0
c-4 1 0 1
c-3 0 0 0
a#3 1 0 0
g-3 1 1 0
c-3 1 0 0
c-3 0 0 0
c-3 1 0 1
d#3 1 1 0
f-3 1 1 0
g-3 1 0 0
a#3 1 0 1
c-4 1 0 0
; 011 D minor pulse  (16 steps)
; KELO Meta tag: 16
d-3 1 0 1
d-3 1 0 0
f-3 1 1 0
a-3 1 0 0
d-4 1 0 1
d-3 1 0 0
c-3 0 0 0
c-3 1 1 0
d-3 1 0 1
d-3 1 0 0
a-3 1 1 0
f-3 1 0 0
g-3 1 1 0
a-3 1 0 0
c-3 0 0 0
d-3 1 0 1
; 012 G phrygian  (16 steps)
; KELO Meta tag: 16
g-3 1 0 1
g#3 1 1 0
g-3 1 0 0
c-3 0 0 0
g-4 1 0 1
g-3 1 0 0
f-3 1 1 0
g-3 1 0 0
g-3 1 0 1
c-3 0 0 0
g-3 1 0 0
g#3 1 1 0
a#3 1 1 0
g-3 1 0 0
g-4 1 0 1
f-3 1 0 0
; 013 B minor  (16 steps)
; KELO Meta tag: 16
b-2 1 0 1
b-2 1 0 0
b-3 1 1 0
a-3 1 0 0
b-2 1 0 0
c-3 0 0 0
d-3 1 1 0
b-2 1 0 1
f#2 1 1 0
b-2 1 0 0
b-3 1 0 0
c-3 0 0 0
b-2 1 0 1
a-3 1 1 0
f#3 1 0 0
b-2 1 0 0
; 014 Squelch pedal  (16 steps)
; KELO Meta tag: 16
e-3 1 0 1
e-3 1 1 0
e-3 1 0 0
e-3 1 0 1
e-3 1 1 0
e-3 1 0 0
c-3 0 0 0
e-3 1 0 1
g-3 1 1 0
g-3 1 0 0
e-3 1 0 1
c-3 0 0 0
e-4 1 0 0
d-4 1 1 0
b-3 1 0 0
e-3 1 0 1
; 015 Question and answer  (16 steps)
; KELO Meta tag: 16
a-2 1 0 1
a-3 1 0 0
c-4 1 0 0
a-3 1 0 0
e-3 1 0 1
c-3 0 0 0
g-3 1 0 0
a-3 1 0 0
a-2 1 0 1
a-3 1 0 0
c-4 1 0 0
d-4 1 1 0
e-4 1 0 1
d-4 1 0 0
c-4 1 0 0
a-3 1 1 0
; 016 C minor drive  (16 steps)
; KELO Meta tag: 16
c-3 1 0 1
c-3 1 0 0
c-4 1 0 0
c-3 1 0 0
a#2 1 0 1
c-3 1 0 0
c-4 1 1 0
g-3 1 0 0
c-3 1 0 1
c-3 1 0 0
c-4 1 0 0
c-3 1 0 0
d#3 1 0 1
d-3 1 1 0
c-3 1 0 0
g#2 1 0 0
;
; ==== 17 to 32  Minimal ====
; 017 Two hits  (8 steps)
; KELO Meta tag: 8
a-2 1 0 1
c-3 0 0 0
c-3 0 0 0
a-2 1 0 0
c-3 0 0 0
a-2 1 0 1
a-3 1 1 0
c-3 0 0 0
; 018 E space  (16 steps)
; KELO Meta tag: 16
e-3 1 0 1
c-3 0 0 0
c-3 0 0 0
e-3 1 0 0
c-3 0 0 0
c-3 0 0 0
e-3 1 0 1
c-3 0 0 0
c-3 0 0 0
e-3 1 0 0
c-3 0 0 0
c-3 0 0 0
e-4 1 0 1
c-3 0 0 0
d-4 1 1 0
e-3 1 0 0
; 019 C tick  (16 steps)
; KELO Meta tag: 16
c-3 1 0 1
c-3 0 0 0
c-3 1 0 0
c-3 0 0 0
c-3 0 0 0
c-3 1 0 1
c-3 0 0 0
c-3 0 0 0
g-3 1 1 0
c-3 1 0 0
c-3 0 0 0
c-3 0 0 0
c-3 1 0 1
c-3 0 0 0
c-3 0 0 0
a#3 1 0 0
; 020 Twelve against four  (12 steps)
; KELO Meta tag: 12
a-2 1 0 1
c-3 0 0 0
a-2 1 0 0
c-3 0 0 0
a-3 1 1 0
a-2 1 0 0
c-3 0 0 0
c-3 0 0 0
a-2 1 0 1
c-3 0 0 0
g-3 1 1 0
c-3 0 0 0
; 021 D offbeat  (16 steps)
; KELO Meta tag: 16
d-3 1 0 0
c-3 0 0 0
d-3 1 0 1
c-3 0 0 0
d-3 1 0 0
c-3 0 0 0
c-3 0 0 0
d-4 1 0 1
c-3 0 0 0
d-3 1 0 0
c-3 0 0 0
f-3 1 1 0
d-3 1 0 1
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
; 022 G short  (8 steps)
; KELO Meta tag: 8
g-3 1 0 1
c-3 0 0 0
g-4 1 0 0
c-3 0 0 0
g-3 1 0 0
c-3 0 0 0
f-3 1 1 0
g-3 1 0 0
; 023 One note groove  (16 steps)
; KELO Meta tag: 16
a-3 1 0 1
c-3 0 0 0
a-3 1 0 0
a-3 1 0 0
c-3 0 0 0
a-3 1 0 1
c-3 0 0 0
a-3 1 0 0
a-3 1 0 0
c-3 0 0 0
a-3 1 0 1
c-3 0 0 0
a-3 1 0 0
a-3 1 0 0
c-3 0 0 0
a-3 1 0 1
; 024 E pairs  (16 steps)
; KELO Meta tag: 16
e-3 1 0 1
e-3 1 0 0
c-3 0 0 0
c-3 0 0 0
e-3 1 0 0
c-3 0 0 0
e-3 1 0 1
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
e-3 1 0 0
e-3 1 0 1
c-3 0 0 0
e-3 1 0 0
c-3 0 0 0
c-3 0 0 0
; 025 C twelve  (12 steps)
; KELO Meta tag: 12
c-3 1 0 1
c-3 0 0 0
c-3 0 0 0
c-4 1 1 0
c-3 1 0 0
c-3 0 0 0
c-3 0 0 0
c-3 1 0 1
c-3 0 0 0
d#3 1 1 0
c-3 1 0 0
c-3 0 0 0
; 026 F dub  (16 steps)
; KELO Meta tag: 16
f-3 1 0 1
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
f-4 1 0 0
c-3 0 0 0
f-3 1 0 1
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
f-3 1 0 0
c-3 0 0 0
g#3 1 1 0
f-3 1 0 0
c-3 0 0 0
c-3 0 0 0
; 027 Low breath  (16 steps)
; KELO Meta tag: 16
a-2 1 0 1
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
a-2 1 0 0
c-3 0 0 0
c-3 0 0 0
a-3 1 1 0
g-3 1 0 0
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
; 028 D eight  (8 steps)
; KELO Meta tag: 8
d-3 1 0 1
d-4 1 0 0
c-3 0 0 0
d-3 1 0 0
c-3 0 0 0
d-3 1 0 1
c-3 1 1 0
d-3 1 0 0
; 029 B sparse  (16 steps)
; KELO Meta tag: 16
b-3 1 0 1
c-3 0 0 0
b-3 1 0 0
c-3 0 0 0
c-3 0 0 0
b-3 1 0 0
c-3 0 0 0
b-3 1 0 1
c-3 0 0 0
c-3 0 0 0
b-3 1 0 0
c-3 0 0 0
d-4 1 1 0
b-3 1 0 0
c-3 0 0 0
c-3 0 0 0
; 030 E slide drop  (16 steps)
; KELO Meta tag: 16
e-3 1 0 1
c-3 0 0 0
c-3 0 0 0
e-4 1 1 0
e-3 1 0 0
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
e-3 1 0 1
c-3 0 0 0
c-3 0 0 0
g-3 1 1 0
e-3 1 0 0
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
; 031 A twelve call  (12 steps)
; KELO Meta tag: 12
a-3 1 0 1
c-3 0 0 0
e-3 1 1 0
a-3 1 0 0
c-3 0 0 0
c-3 0 0 0
a-3 1 0 1
c-3 0 0 0
c-4 1 1 0
a-3 1 0 0
c-3 0 0 0
c-3 0 0 0
; 032 C heartbeat  (16 steps)
; KELO Meta tag: 16
c-3 1 0 1
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
c-3 1 0 0
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
c-3 1 0 1
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
c-3 1 0 0
c-3 0 0 0
c-4 1 1 0
g-3 1 0 0
;
; ==== 33 to 48  Octave jumpers ====
; 033 A octaves  (16 steps)
; KELO Meta tag: 16
a-2 1 0 1
a-3 1 0 0
a-2 1 0 0
a-3 1 0 0
a-2 1 0 1
a-3 1 0 0
a-2 1 0 0
a-3 1 1 0
g-3 1 0 0
a-2 1 0 0
a-3 1 0 0
a-2 1 0 0
a-2 1 0 1
a-3 1 0 0
c-4 1 0 0
a-3 1 0 0
; 034 E octaves  (16 steps)
; KELO Meta tag: 16
e-3 1 0 1
e-4 1 0 0
e-3 1 0 0
e-4 1 0 0
e-3 1 0 1
e-4 1 0 0
d-3 1 0 0
e-4 1 0 0
e-3 1 0 1
e-4 1 0 0
e-3 1 0 0
e-4 1 0 0
g-3 1 0 0
e-4 1 0 0
d-4 1 0 0
e-4 1 0 1
; 035 C gaps  (16 steps)
; KELO Meta tag: 16
c-3 1 0 1
c-4 1 0 0
c-3 0 0 0
c-4 1 0 0
c-3 1 0 0
c-4 1 0 1
c-3 0 0 0
c-4 1 0 0
a#2 1 0 0
a#3 1 0 0
c-3 1 0 0
c-4 1 0 1
c-3 0 0 0
c-4 1 0 0
g-3 1 0 0
c-3 1 0 0
; 036 D ladder  (16 steps)
; KELO Meta tag: 16
d-3 1 0 1
d-4 1 0 0
d-3 1 0 0
d-4 1 0 0
f-3 1 0 1
f-4 1 0 0
f-3 1 0 0
f-4 1 0 0
g-3 1 0 1
g-4 1 0 0
g-3 1 0 0
g-4 1 0 0
f-3 1 0 0
f-4 1 0 0
c-4 1 0 0
a-3 1 0 0
; 037 G skip  (16 steps)
; KELO Meta tag: 16
g-3 1 0 1
c-3 0 0 0
g-4 1 0 0
g-3 1 0 0
c-3 0 0 0
g-4 1 0 1
g-3 1 0 0
c-3 0 0 0
g-3 1 0 1
c-3 0 0 0
g-4 1 0 0
f-4 1 1 0
g-4 1 0 0
c-3 0 0 0
g-3 1 0 0
d-3 1 0 0
; 038 A eight  (8 steps)
; KELO Meta tag: 8
a-2 1 0 1
a-4 1 0 0
a-3 1 0 0
a-4 1 0 0
a-2 1 0 1
a-4 1 0 0
g-4 1 0 0
a-4 1 0 0
; 039 F minor jumps  (16 steps)
; KELO Meta tag: 16
f-3 1 0 1
f-4 1 0 0
f-3 1 0 0
f-4 1 0 1
g#3 1 0 0
g#4 1 0 0
f-3 1 0 0
f-4 1 0 0
f-3 1 0 1
f-4 1 0 0
d#3 1 0 0
d#4 1 0 0
c-3 1 0 0
c-4 1 0 0
d#4 1 0 0
f-4 1 0 1
; 040 E accents up  (16 steps)
; KELO Meta tag: 16
e-3 1 0 1
c-3 0 0 0
e-4 1 0 1
c-3 0 0 0
e-3 1 0 0
c-3 0 0 0
e-4 1 0 1
c-3 0 0 0
d-3 1 0 1
c-3 0 0 0
d-4 1 0 1
c-3 0 0 0
g-3 1 0 0
c-3 0 0 0
g-4 1 0 1
e-3 1 0 0
; 041 B octaves  (16 steps)
; KELO Meta tag: 16
b-3 1 0 1
b-4 1 0 0
b-3 1 0 0
b-4 1 0 1
a-3 1 0 0
a-4 1 0 0
b-3 1 0 0
b-4 1 0 1
f#3 1 0 0
f#4 1 0 0
b-3 1 0 0
b-4 1 0 1
a-3 1 0 0
a-4 1 0 0
f#4 1 1 0
b-4 1 0 0
; 042 C two bars  (32 steps)
; KELO Meta tag: 32
c-3 1 0 1
c-4 1 0 0
c-3 1 0 0
c-4 1 0 0
d#3 1 0 0
d#4 1 0 0
c-3 1 0 0
c-4 1 0 0
g-3 1 0 0
g-4 1 0 0
c-3 1 0 0
c-4 1 0 0
a#3 1 0 0
a#4 1 0 0
c-3 1 0 1
c-4 1 0 0
c-3 1 0 1
c-4 1 0 0
c-3 1 0 0
c-4 1 0 0
f-3 1 0 0
f-4 1 0 0
d#3 1 0 0
d#4 1 0 0
c-3 1 0 0
c-4 1 0 0
g-3 1 0 0
g-4 1 0 0
a#2 1 0 1
a#3 1 0 0
c-3 1 1 0
c-4 1 0 0
; 043 A low high  (16 steps)
; KELO Meta tag: 16
a-2 1 0 1
a-3 1 0 0
c-3 0 0 0
a-3 1 0 0
a-2 1 0 0
a-4 1 0 1
c-3 0 0 0
a-3 1 0 0
a-2 1 0 1
a-3 1 0 0
g-3 1 0 0
a-4 1 0 0
e-3 1 0 0
a-4 1 0 0
a-2 1 0 0
a-3 1 0 1
; 044 D slides up  (16 steps)
; KELO Meta tag: 16
d-3 1 0 1
d-4 1 1 0
d-3 1 0 0
c-3 0 0 0
d-4 1 0 1
d-3 1 0 0
c-3 0 0 0
d-4 1 1 0
d-3 1 0 0
d-4 1 0 0
c-4 1 0 1
d-3 1 0 0
c-3 0 0 0
d-4 1 0 0
a-3 1 0 0
d-4 1 0 0
; 045 G minor octaves  (16 steps)
; KELO Meta tag: 16
g-3 1 0 1
g-4 1 0 0
g-3 1 0 1
g-4 1 0 0
a#3 1 0 0
a#4 1 0 0
g-3 1 0 0
g-4 1 0 0
g-3 1 0 1
g-4 1 0 0
d-3 1 0 0
d-4 1 0 0
f-3 1 0 0
f-4 1 0 0
g-4 1 0 1
g-3 1 0 0
; 046 E short jump  (8 steps)
; KELO Meta tag: 8
e-3 1 0 1
e-4 1 1 0
e-3 1 0 0
e-4 1 0 0
e-3 1 0 1
e-4 1 1 0
d-4 1 0 0
b-3 1 0 0
; 047 C bounce  (16 steps)
; KELO Meta tag: 16
c-3 1 0 1
c-4 1 0 0
c-4 1 0 1
c-3 1 0 0
g-3 1 0 0
c-4 1 0 0
c-3 1 0 0
a#2 1 0 0
c-3 1 0 1
c-4 1 0 0
c-4 1 0 1
c-3 1 0 0
d#3 1 0 0
d-4 1 0 0
c-4 1 1 0
c-3 1 0 0
; 048 F# octaves  (16 steps)
; KELO Meta tag: 16
f#3 1 0 1
f#4 1 0 0
f#3 1 0 0
f#4 1 0 0
a-3 1 0 0
a-4 1 0 0
f#3 1 0 1
f#4 1 0 0
e-3 1 0 0
e-4 1 0 0
f#3 1 0 1
f#4 1 0 0
c#4 1 0 0
f#4 1 0 0
a-4 1 0 1
f#3 1 0 0
;
; ==== 49 to 64  Shuffled ====
; 049 A swing  (16 steps, shuffle 36)
; KELO Meta tag: 9232
a-2 1 0 1
a-2 1 0 0
a-3 1 1 0
a-2 1 0 0
c-3 0 0 0
a-2 1 0 1
g-3 1 0 0
a-2 1 0 0
a-2 1 0 0
a-3 1 0 0
c-3 0 0 0
a-2 1 0 1
c-3 1 1 0
a-2 1 0 0
g-3 1 0 0
a-2 1 0 0
; 050 E shuffle  (16 steps, shuffle 27)
; KELO Meta tag: 6928
e-3 1 0 1
c-3 0 0 0
e-3 1 0 0
e-4 1 0 0
e-3 1 0 1
c-3 0 0 0
g-3 1 1 0
e-3 1 0 0
e-3 1 0 0
e-4 1 0 1
c-3 0 0 0
e-3 1 0 0
d-3 1 1 0
e-3 1 0 0
b-3 1 0 0
e-3 1 0 1
; 051 C house  (16 steps, shuffle 21)
; KELO Meta tag: 5392
c-3 0 0 0
c-3 1 0 1
c-3 0 0 0
c-4 1 0 0
c-3 0 0 0
c-3 1 0 1
c-3 0 0 0
c-4 1 1 0
c-3 0 0 0
c-3 1 0 1
c-3 0 0 0
c-4 1 0 0
c-3 0 0 0
d#3 1 0 1
c-3 0 0 0
c-4 1 0 0
; 052 D lazy  (16 steps, shuffle 48)
; KELO Meta tag: 12304
d-3 1 0 1
d-3 1 0 0
c-3 0 0 0
d-4 1 1 0
d-3 1 0 0
c-3 0 0 0
d-3 1 0 1
f-3 1 1 0
d-3 1 0 0
d-3 1 0 0
c-3 0 0 0
d-4 1 0 1
c-4 1 1 0
a-3 1 0 0
f-3 1 0 0
d-3 1 0 0
; 053 G shuffle eight  (8 steps, shuffle 33)
; KELO Meta tag: 8456
g-3 1 0 1
g-4 1 0 0
c-3 0 0 0
g-3 1 0 0
f-3 1 1 0
g-3 1 0 0
g-4 1 0 1
c-3 0 0 0
; 054 A garage  (16 steps, shuffle 42)
; KELO Meta tag: 10768
a-2 1 0 1
c-3 0 0 0
a-3 1 0 0
c-3 0 0 0
a-2 1 0 1
a-3 1 1 0
g-3 1 0 0
c-3 0 0 0
a-2 1 0 1
c-3 0 0 0
a-3 1 0 0
c-4 1 1 0
a-3 1 0 0
c-3 0 0 0
g-3 1 0 0
e-3 1 0 0
; 055 F swing  (16 steps, shuffle 30)
; KELO Meta tag: 7696
f-3 1 0 1
f-3 1 0 0
f-4 1 0 0
c-3 0 0 0
d#3 1 1 0
f-3 1 0 0
c-3 0 0 0
f-3 1 0 1
g#3 1 1 0
f-3 1 0 0
f-4 1 0 1
c-3 0 0 0
c-3 1 0 0
f-3 1 0 0
d#3 1 0 0
f-3 1 0 0
; 056 E twelve swing  (12 steps, shuffle 39)
; KELO Meta tag: 9996
e-3 1 0 1
e-3 1 0 0
e-4 1 0 0
c-3 0 0 0
e-3 1 0 1
d-3 1 1 0
e-3 1 0 0
c-3 0 0 0
e-3 1 0 1
g-3 1 1 0
e-3 1 0 0
c-3 0 0 0
; 057 B shuffle  (16 steps, shuffle 24)
; KELO Meta tag: 6160
b-3 1 0 1
b-3 1 0 0
c-3 0 0 0
b-4 1 0 0
a-3 1 1 0
b-3 1 0 0
b-3 1 0 1
c-3 0 0 0
f#3 1 1 0
b-3 1 0 0
c-3 0 0 0
b-4 1 0 1
a-3 1 0 0
b-3 1 0 0
d-4 1 1 0
b-3 1 0 0
; 058 C heavy swing  (16 steps, shuffle 54)
; KELO Meta tag: 13840
c-3 1 0 1
c-3 1 0 0
c-4 1 0 1
c-3 1 0 0
a#2 1 1 0
c-3 1 0 0
c-3 1 0 0
c-3 0 0 0
c-3 1 0 1
c-3 1 0 0
g-3 1 1 0
c-3 1 0 0
d#4 1 0 1
c-4 1 0 0
a#3 1 0 0
g-3 1 0 0
; 059 A two bars swing  (32 steps, shuffle 35)
; KELO Meta tag: 8992
a-2 1 0 1
a-2 1 0 0
a-3 1 0 0
c-3 0 0 0
g-3 1 1 0
a-2 1 0 0
a-2 1 0 1
c-3 0 0 0
c-4 1 0 0
a-3 1 0 0
a-2 1 0 0
c-3 0 0 0
e-3 1 1 0
g-3 1 0 0
a-2 1 0 1
c-3 0 0 0
a-2 1 0 1
a-2 1 0 0
a-3 1 0 0
c-3 0 0 0
g-3 1 1 0
a-2 1 0 0
a-2 1 0 1
c-3 0 0 0
c-4 1 0 1
d-4 1 1 0
c-4 1 0 0
a-3 1 0 0
g-3 1 1 0
e-3 1 0 0
d-3 1 0 0
c-3 1 0 0
; 060 D funk  (16 steps, shuffle 29)
; KELO Meta tag: 7440
d-3 1 0 1
c-3 0 0 0
d-3 1 0 0
d-4 1 0 1
c-3 0 0 0
d-3 1 0 0
c-3 1 1 0
d-3 1 0 0
c-3 0 0 0
d-3 1 0 1
f-3 1 0 0
d-3 1 0 0
g-3 1 1 0
a-3 1 0 0
d-4 1 0 0
c-3 0 0 0
; 061 G wobble  (16 steps, shuffle 45)
; KELO Meta tag: 11536
g-3 1 0 1
g-3 1 1 0
g-3 1 0 0
g-3 1 0 0
g-3 1 0 1
g-3 1 1 0
g-3 1 0 0
c-3 0 0 0
g-3 1 0 1
g-3 1 1 0
a#3 1 0 0
a-3 1 0 0
g-3 1 0 1
f-3 1 1 0
d-3 1 0 0
f-3 1 0 0
; 062 E bounce  (16 steps, shuffle 31)
; KELO Meta tag: 7952
e-3 1 0 1
c-3 0 0 0
e-4 1 0 0
e-3 1 0 0
c-3 0 0 0
e-3 1 0 1
e-4 1 0 0
c-3 0 0 0
e-3 1 0 0
c-3 0 0 0
e-4 1 0 1
e-3 1 0 0
d-4 1 0 0
c-3 0 0 0
b-3 1 0 0
g-3 1 0 0
; 063 F# shuffle  (16 steps, shuffle 37)
; KELO Meta tag: 9488
f#3 1 0 1
f#3 1 0 0
a-3 1 1 0
f#3 1 0 0
c-3 0 0 0
f#3 1 0 1
e-3 1 0 0
f#3 1 0 0
f#4 1 0 1
c-3 0 0 0
f#3 1 0 0
c#3 1 0 0
e-3 1 1 0
f#3 1 0 0
c-3 0 0 0
a-3 1 0 0
; 064 C swing eight  (8 steps, shuffle 41)
; KELO Meta tag: 10504
c-3 1 0 1
c-4 1 0 0
c-3 1 0 0
d#3 1 1 0
c-3 1 0 0
c-4 1 0 1
a#2 1 0 0
c-3 1 0 0
;
; ==== 65 to 80  Triplets ====
; 065 A triplet roll  (12 steps, triplet)
; KELO Meta tag: 2147483660
a-2 1 0 1
a-3 1 0 0
a-2 1 0 0
a-2 1 0 1
a-3 1 0 0
g-3 1 0 0
a-2 1 0 1
a-3 1 0 0
a-2 1 0 0
c-4 1 0 0
a-3 1 0 0
g-3 1 1 0
; 066 E gallop  (12 steps, triplet)
; KELO Meta tag: 2147483660
e-3 1 0 1
e-3 1 0 0
e-4 1 0 0
e-3 1 0 1
e-3 1 0 0
d-4 1 0 0
e-3 1 0 1
e-3 1 0 0
e-4 1 0 0
g-3 1 0 0
e-4 1 0 0
d-4 1 1 0
; 067 C triplet stab  (12 steps, triplet)
; KELO Meta tag: 2147483660
c-3 1 0 1
c-3 0 0 0
c-4 1 0 0
c-3 1 0 0
c-3 0 0 0
c-4 1 0 1
a#2 1 0 1
c-3 0 0 0
a#3 1 0 0
g-3 1 1 0
c-3 1 0 0
c-3 0 0 0
; 068 D six  (6 steps, triplet)
; KELO Meta tag: 2147483654
d-3 1 0 1
d-4 1 0 0
d-3 1 0 0
f-3 1 1 0
d-3 1 0 0
d-4 1 0 1
; 069 G triplets two bars  (24 steps, triplet)
; KELO Meta tag: 2147483672
g-3 1 0 1
g-3 1 0 0
g-4 1 0 0
f-3 1 1 0
g-3 1 0 0
c-3 0 0 0
g-3 1 0 1
g-3 1 0 0
g-4 1 0 0
a#3 1 1 0
a-3 1 0 0
g-3 1 0 0
g-3 1 0 1
g-3 1 0 0
g-4 1 0 0
f-3 1 1 0
g-3 1 0 0
c-3 0 0 0
d-4 1 0 1
c-4 1 0 0
a#3 1 0 0
a-3 1 1 0
g-3 1 0 0
f-3 1 0 0
; 070 A triplet octaves  (12 steps, triplet)
; KELO Meta tag: 2147483660
a-2 1 0 1
a-4 1 0 0
a-3 1 0 0
a-2 1 0 1
a-4 1 0 0
g-4 1 0 0
a-2 1 0 1
a-4 1 0 0
a-3 1 0 0
e-4 1 0 0
d-4 1 0 0
c-4 1 1 0
; 071 F triplet  (12 steps, triplet)
; KELO Meta tag: 2147483660
f-3 1 0 1
c-3 0 0 0
f-3 1 0 0
g#3 1 1 0
f-3 1 0 0
f-4 1 0 1
f-3 1 0 0
c-3 0 0 0
f-3 1 0 1
d#3 1 1 0
c-3 1 0 0
f-3 1 0 0
; 072 E triplet rest  (12 steps, triplet)
; KELO Meta tag: 2147483660
e-3 1 0 1
c-3 0 0 0
c-3 0 0 0
e-4 1 0 1
c-3 0 0 0
e-3 1 0 0
c-3 0 0 0
e-3 1 0 1
c-3 0 0 0
g-3 1 1 0
e-3 1 0 0
c-3 0 0 0
; 073 B triplet  (12 steps, triplet)
; KELO Meta tag: 2147483660
b-3 1 0 1
b-3 1 0 0
d-4 1 1 0
b-3 1 0 0
c-3 0 0 0
b-4 1 0 1
a-3 1 1 0
b-3 1 0 0
f#3 1 0 0
b-3 1 0 1
a-3 1 0 0
b-3 1 0 0
; 074 C triplet swing  (12 steps, shuffle 24, triplet)
; KELO Meta tag: 2147489804
c-3 1 0 1
c-3 1 0 0
c-4 1 0 0
d#3 1 1 0
c-3 1 0 0
c-3 0 0 0
c-3 1 0 1
c-4 1 0 0
c-3 1 0 0
a#2 1 1 0
c-3 1 0 0
g-3 1 0 0
; 075 D triplet walk  (12 steps, triplet)
; KELO Meta tag: 2147483660
d-3 1 0 1
e-3 1 0 0
f-3 1 0 0
a-3 1 0 0
d-4 1 0 0
c-4 1 0 0
a-3 1 0 1
f-3 1 0 0
e-3 1 0 0
d-3 1 0 0
c-3 0 0 0
a-3 1 1 0
; 076 A triplet accent  (12 steps, triplet)
; KELO Meta tag: 2147483660
a-2 1 0 1
a-2 1 0 0
a-2 1 0 0
a-3 1 0 1
a-2 1 0 0
a-2 1 0 0
a-2 1 0 1
a-2 1 0 0
a-2 1 0 0
g-3 1 0 1
e-3 1 1 0
g-3 1 0 0
; 077 G triplet drop  (12 steps, triplet)
; KELO Meta tag: 2147483660
g-4 1 0 1
g-3 1 0 0
g-4 1 0 0
f-4 1 1 0
g-3 1 0 0
c-3 0 0 0
g-4 1 0 1
d-4 1 0 0
a#3 1 0 0
g-3 1 1 0
f-3 1 0 0
d-3 1 0 0
; 078 E triplet nine  (9 steps, triplet)
; KELO Meta tag: 2147483657
e-3 1 0 1
e-4 1 0 0
e-3 1 0 0
d-3 1 1 0
e-3 1 0 0
e-4 1 0 1
b-3 1 0 0
g-3 1 1 0
e-3 1 0 0
; 079 F# triplet  (12 steps, triplet)
; KELO Meta tag: 2147483660
f#3 1 0 1
f#4 1 0 0
c-3 0 0 0
f#3 1 0 0
a-3 1 1 0
f#3 1 0 0
f#3 1 0 1
c#4 1 0 0
a-3 1 0 0
e-3 1 1 0
f#3 1 0 0
c-3 0 0 0
; 080 C triplet groove  (12 steps, shuffle 18, triplet)
; KELO Meta tag: 2147488268
c-3 1 0 1
c-3 0 0 0
c-3 1 0 0
c-4 1 0 1
c-3 1 0 0
c-3 0 0 0
c-3 1 0 1
c-3 0 0 0
d#3 1 1 0
f-3 1 0 0
g-3 1 1 0
c-3 1 0 0
;
; ==== 81 to 96  Slow and deep ====
; 081 A long  (16 steps)
; KELO Meta tag: 16
a-2 1 1 1
a-2 1 1 0
a-2 1 1 0
a-2 1 0 0
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
e-3 1 1 0
e-3 1 1 0
e-3 1 0 0
c-3 0 0 0
g-3 1 1 0
a-3 1 1 0
a-3 1 0 0
c-3 0 0 0
; 082 E drone  (16 steps)
; KELO Meta tag: 16
e-3 1 1 1
e-3 1 1 0
e-3 1 1 0
e-3 1 1 0
e-3 1 1 0
e-3 1 0 0
c-3 0 0 0
c-3 0 0 0
e-3 1 1 0
e-3 1 1 0
e-3 1 1 0
e-3 1 0 0
d-3 1 1 0
e-3 1 1 0
e-3 1 0 0
c-3 0 0 0
; 083 C deep two bars  (32 steps)
; KELO Meta tag: 32
c-3 1 1 1
c-3 1 1 0
c-3 1 0 0
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
c-3 1 1 0
c-3 1 0 0
d#3 1 1 0
d#3 1 0 0
c-3 1 1 0
c-3 1 0 0
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
c-3 1 1 1
c-3 1 1 0
c-3 1 0 0
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
g-3 1 1 0
g-3 1 0 0
a#3 1 1 0
a#3 1 0 0
a-3 1 1 0
a-3 1 0 0
g-3 1 1 0
f-3 1 1 0
f-3 1 0 0
c-3 0 0 0
; 084 D breath  (16 steps)
; KELO Meta tag: 16
d-3 1 1 1
d-3 1 0 0
c-3 0 0 0
c-3 0 0 0
d-4 1 1 0
d-4 1 0 0
c-3 0 0 0
c-3 0 0 0
f-3 1 1 0
f-3 1 0 0
d-3 1 1 0
d-3 1 0 0
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
; 085 G slow slide  (16 steps)
; KELO Meta tag: 16
g-3 1 1 1
g-3 1 0 0
g-3 1 1 0
a#3 1 1 0
a#3 1 1 0
a#3 1 0 0
c-3 0 0 0
c-3 0 0 0
f-3 1 1 0
f-3 1 0 0
g-3 1 1 0
g-3 1 0 0
c-3 0 0 0
c-3 0 0 0
d-3 1 1 0
f-3 1 0 0
; 086 Av sub  (16 steps)
; KELO Meta tag: 16
a-2 1 1 1
a-2 1 1 0
a-2 1 1 0
a-2 1 1 0
a-2 1 1 0
a-2 1 1 0
a-2 1 0 0
c-3 0 0 0
a-2 1 1 0
a-2 1 1 0
a-2 1 1 0
a-2 1 0 0
g-3 1 1 0
a-2 1 1 0
a-2 1 0 0
c-3 0 0 0
; 087 F dusk two bars  (32 steps)
; KELO Meta tag: 32
f-3 1 1 1
f-3 1 1 0
f-3 1 1 0
f-3 1 0 0
c-3 0 0 0
c-3 0 0 0
g#3 1 1 0
g#3 1 0 0
f-3 1 1 0
f-3 1 0 0
c-3 0 0 0
c-3 0 0 0
c-4 1 1 0
c-4 1 0 0
a#3 1 1 0
a#3 1 0 0
g#3 1 1 1
g#3 1 1 0
g#3 1 1 0
g#3 1 0 0
c-3 0 0 0
c-3 0 0 0
g-3 1 1 0
g-3 1 0 0
f-3 1 1 0
f-3 1 1 0
f-3 1 1 0
f-3 1 1 0
f-3 1 1 0
f-3 1 0 0
c-3 0 0 0
c-3 0 0 0
; 088 E pads  (16 steps)
; KELO Meta tag: 16
e-3 1 1 1
e-3 1 1 0
e-3 1 0 0
c-3 0 0 0
g-3 1 1 0
g-3 1 1 0
g-3 1 0 0
c-3 0 0 0
a-3 1 1 0
a-3 1 1 0
a-3 1 0 0
c-3 0 0 0
b-3 1 1 0
g-3 1 1 0
g-3 1 0 0
c-3 0 0 0
; 089 C low swell  (16 steps)
; KELO Meta tag: 16
c-3 1 1 1
c-3 1 1 0
c-3 1 1 0
c-3 1 1 0
c-3 1 1 0
c-3 1 1 0
c-3 1 1 0
c-3 1 0 0
d#3 1 1 0
d#3 1 1 0
d#3 1 1 0
d#3 1 0 0
d-3 1 1 0
c-3 1 1 0
c-3 1 1 0
c-3 1 0 0
; 090 B night  (16 steps)
; KELO Meta tag: 16
b-3 1 1 1
b-3 1 0 0
c-3 0 0 0
b-3 1 1 0
b-3 1 0 0
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
d-4 1 1 0
d-4 1 0 0
b-3 1 1 0
b-3 1 0 0
a-3 1 1 0
f#3 1 1 0
f#3 1 0 0
c-3 0 0 0
; 091 A drift four bars  (64 steps)
; KELO Meta tag: 64
a-2 1 1 1
a-2 1 1 0
a-2 1 1 0
a-2 1 0 0
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
a-3 1 1 0
a-3 1 0 0
c-3 0 0 0
c-3 0 0 0
g-3 1 1 0
e-3 1 1 0
e-3 1 0 0
c-3 0 0 0
a-2 1 1 1
a-2 1 1 0
a-2 1 1 0
a-2 1 0 0
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
c-4 1 1 0
c-4 1 0 0
c-3 0 0 0
c-3 0 0 0
b-3 1 1 0
g-3 1 1 0
g-3 1 0 0
c-3 0 0 0
a-2 1 1 1
a-2 1 1 0
a-2 1 1 0
a-2 1 0 0
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
e-4 1 1 0
e-4 1 0 0
c-3 0 0 0
c-3 0 0 0
d-4 1 1 0
c-4 1 1 0
c-4 1 0 0
c-3 0 0 0
a-3 1 1 1
a-3 1 1 0
a-3 1 1 0
a-3 1 0 0
g-3 1 1 0
g-3 1 1 0
g-3 1 1 0
g-3 1 0 0
e-3 1 1 0
e-3 1 1 0
e-3 1 1 0
e-3 1 0 0
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
; 092 D slow twelve  (12 steps, triplet)
; KELO Meta tag: 2147483660
d-3 1 1 1
d-3 1 1 0
d-3 1 0 0
a-3 1 1 0
a-3 1 0 0
d-3 1 0 0
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
f-3 1 1 0
e-3 1 0 0
d-3 1 0 0
; 093 G swell  (16 steps)
; KELO Meta tag: 16
g-3 1 1 1
g-3 1 1 0
g-3 1 1 0
g-3 1 0 0
a#3 1 1 0
a#3 1 1 0
a#3 1 1 0
a#3 1 0 0
a-3 1 1 0
a-3 1 1 0
a-3 1 1 0
a-3 1 0 0
g-3 1 1 0
g-3 1 0 0
c-3 0 0 0
c-3 0 0 0
; 094 E minor slow  (16 steps)
; KELO Meta tag: 16
e-3 1 1 1
e-3 1 0 0
c-3 0 0 0
e-3 1 0 0
c-3 0 0 0
c-3 0 0 0
g-3 1 1 0
g-3 1 0 0
c-3 0 0 0
c-3 0 0 0
b-3 1 1 0
b-3 1 0 0
d-4 1 1 0
d-4 1 0 0
e-3 1 0 0
c-3 0 0 0
; 095 C half time  (16 steps)
; KELO Meta tag: 16
c-3 1 1 1
c-3 1 0 0
c-3 0 0 0
c-3 0 0 0
c-4 1 1 0
c-4 1 0 0
c-3 0 0 0
c-3 0 0 0
g-3 1 1 0
g-3 1 0 0
c-3 0 0 0
c-3 0 0 0
a#3 1 1 0
a#3 1 0 0
c-3 1 0 0
c-3 0 0 0
; 096 F# tide two bars  (32 steps)
; KELO Meta tag: 32
f#3 1 1 1
f#3 1 1 0
f#3 1 1 0
f#3 1 1 0
f#3 1 1 0
f#3 1 0 0
c-3 0 0 0
c-3 0 0 0
a-3 1 1 0
a-3 1 0 0
f#3 1 1 0
f#3 1 0 0
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
e-3 1 1 1
e-3 1 1 0
e-3 1 1 0
e-3 1 1 0
e-3 1 1 0
e-3 1 0 0
c-3 0 0 0
c-3 0 0 0
c#4 1 1 0
c#4 1 0 0
f#3 1 1 0
f#3 1 0 0
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
;
; ==== 97 to 112  Fast and hard ====
; 097 A machine  (16 steps)
; KELO Meta tag: 16
a-2 1 0 1
a-2 1 0 0
a-3 1 0 0
a-2 1 0 1
a-2 1 0 0
a-3 1 0 0
a-2 1 0 1
a-2 1 0 0
a-3 1 0 0
a-2 1 0 1
a-2 1 0 0
a-3 1 0 0
a-2 1 0 1
g-3 1 0 0
a-3 1 0 0
a-2 1 0 1
; 098 E hammer  (16 steps)
; KELO Meta tag: 16
e-3 1 0 1
e-3 1 0 0
e-3 1 0 1
e-3 1 0 0
e-4 1 0 1
e-3 1 0 0
e-3 1 0 1
e-3 1 0 0
d-3 1 0 1
e-3 1 0 0
e-3 1 0 1
e-3 1 0 0
g-3 1 0 1
e-4 1 0 0
e-3 1 0 1
d-3 1 0 0
; 099 C rave  (16 steps)
; KELO Meta tag: 16
c-3 1 0 1
c-4 1 0 0
c-3 1 0 0
c-4 1 0 1
c-3 1 0 0
c-4 1 0 0
c-3 1 0 1
c-4 1 0 0
d#3 1 0 0
d#4 1 0 0
c-3 1 0 1
c-4 1 0 0
a#2 1 0 1
a#3 1 0 0
c-3 1 0 0
c-4 1 0 1
; 100 D sixteenths  (16 steps)
; KELO Meta tag: 16
d-3 1 0 1
d-3 1 0 0
d-3 1 0 0
d-3 1 0 1
f-3 1 0 0
d-3 1 0 0
d-3 1 0 0
d-3 1 0 1
a-3 1 0 0
d-3 1 0 0
d-3 1 0 0
d-3 1 0 1
c-4 1 0 0
d-4 1 0 0
c-4 1 0 0
a-3 1 0 1
; 101 G stomp  (16 steps)
; KELO Meta tag: 16
g-3 1 0 1
g-3 1 0 0
g-3 1 0 0
g-4 1 0 1
g-3 1 0 0
g-3 1 0 0
g-4 1 0 1
g-3 1 0 0
f-3 1 0 1
f-3 1 0 0
f-4 1 0 0
f-3 1 0 0
g-3 1 0 1
g-4 1 0 0
d-3 1 0 0
f-3 1 0 0
; 102 A hard eight  (8 steps)
; KELO Meta tag: 8
a-2 1 0 1
a-3 1 0 0
a-2 1 0 1
a-4 1 0 0
a-2 1 0 1
a-3 1 0 0
g-3 1 0 1
a-4 1 0 0
; 103 F acid rush  (16 steps)
; KELO Meta tag: 16
f-3 1 0 1
g#3 1 0 0
f-4 1 0 1
f-3 1 0 0
d#3 1 1 0
f-3 1 0 0
f-3 1 0 1
c-3 1 0 0
f-3 1 0 1
f-4 1 0 0
g#3 1 0 1
f-3 1 0 0
d#3 1 0 1
c-3 1 1 0
d#3 1 0 0
f-3 1 0 0
; 104 E fury  (16 steps)
; KELO Meta tag: 16
e-3 1 0 1
e-4 1 0 1
e-3 1 0 0
e-4 1 0 1
e-3 1 0 1
d-4 1 1 0
e-3 1 0 0
e-4 1 0 1
e-3 1 0 1
e-4 1 0 1
g-3 1 0 0
e-4 1 0 1
b-3 1 0 1
d-4 1 0 0
e-4 1 0 0
e-3 1 0 1
; 105 C piston  (16 steps)
; KELO Meta tag: 16
c-3 1 0 1
c-3 1 0 0
c-3 1 0 1
c-3 1 0 0
c-4 1 0 1
c-3 1 0 0
c-3 1 0 1
c-3 1 0 0
c-3 1 0 1
c-3 1 0 0
c-3 1 0 1
c-3 1 0 0
a#2 1 0 1
c-3 1 0 0
d#3 1 0 1
c-4 1 0 0
; 106 B drill  (16 steps)
; KELO Meta tag: 16
b-3 1 0 1
b-3 1 0 0
b-4 1 0 0
b-3 1 0 1
b-3 1 0 0
b-3 1 0 0
b-4 1 0 1
b-3 1 0 0
a-3 1 0 1
a-3 1 0 0
a-4 1 0 0
b-3 1 0 1
f#3 1 0 0
b-3 1 0 0
d-4 1 0 1
b-3 1 0 0
; 107 A slide storm  (16 steps)
; KELO Meta tag: 16
a-2 1 1 1
a-3 1 1 0
a-2 1 1 0
g-3 1 0 0
a-2 1 1 1
a-3 1 1 0
a-2 1 1 0
e-3 1 0 0
a-2 1 1 1
a-3 1 1 0
c-4 1 1 0
a-3 1 0 0
g-3 1 1 1
e-3 1 1 0
d-3 1 1 0
c-3 1 0 0
; 108 D hard octaves  (16 steps)
; KELO Meta tag: 16
d-3 1 0 1
d-4 1 0 0
d-3 1 0 1
d-4 1 0 0
d-3 1 0 1
d-4 1 0 0
d-3 1 0 1
d-4 1 0 0
c-3 1 0 1
c-4 1 0 0
c-3 1 0 1
c-4 1 0 0
f-3 1 0 1
f-4 1 0 0
a-3 1 0 1
d-4 1 0 0
; 109 G minor rush  (16 steps)
; KELO Meta tag: 16
g-3 1 0 1
a#3 1 0 0
g-3 1 0 0
d-4 1 0 1
g-3 1 0 0
a#3 1 0 1
g-3 1 0 0
f-3 1 0 0
g-3 1 0 1
a#3 1 0 0
g-3 1 0 0
d-4 1 0 1
f-3 1 0 1
d-3 1 0 0
c-3 1 0 0
a#2 1 0 0
; 110 E sixteen accents  (16 steps)
; KELO Meta tag: 16
e-3 1 0 1
e-3 1 0 1
e-3 1 0 0
e-3 1 0 1
e-3 1 0 0
e-3 1 0 1
e-3 1 0 1
e-3 1 0 0
e-3 1 0 1
e-3 1 0 0
e-3 1 0 1
e-3 1 0 1
e-3 1 0 0
e-3 1 0 1
e-3 1 0 1
e-3 1 0 1
; 111 C two bar attack  (32 steps)
; KELO Meta tag: 32
c-3 1 0 1
c-3 1 0 0
c-4 1 0 1
c-3 1 0 0
d#3 1 0 1
c-3 1 0 0
c-4 1 0 0
c-3 1 0 1
g-3 1 0 0
c-3 1 0 0
c-4 1 0 1
c-3 1 0 0
a#2 1 0 1
c-3 1 0 0
c-4 1 0 0
g-3 1 0 0
c-3 1 0 1
c-3 1 0 0
c-4 1 0 1
c-3 1 0 0
d#3 1 0 1
c-3 1 0 0
c-4 1 0 0
c-3 1 0 1
f-3 1 0 1
f-4 1 0 0
d#3 1 0 1
d#4 1 0 0
d-3 1 0 1
d-4 1 0 0
c-4 1 0 1
g-3 1 0 0
; 112 A last minute  (16 steps)
; KELO Meta tag: 16
a-2 1 0 1
a-2 1 0 0
a-2 1 0 1
a-3 1 0 0
c-4 1 0 1
a-3 1 0 0
g-3 1 0 1
e-3 1 0 0
a-2 1 0 1
a-2 1 0 0
a-2 1 0 1
a-3 1 0 0
d-4 1 0 1
c-4 1 0 0
a-3 1 0 1
g-3 1 0 0
;
; ==== 113 to 128  Fills and long phrases ====
; 113 A build four bars  (64 steps)
; KELO Meta tag: 64
a-2 1 0 1
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
a-2 1 0 1
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
a-3 1 0 0
c-3 0 0 0
a-2 1 0 1
c-3 0 0 0
a-2 1 0 0
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
a-3 1 0 0
c-3 0 0 0
a-2 1 0 1
c-3 0 0 0
a-2 1 0 0
c-3 0 0 0
a-3 1 0 0
c-3 0 0 0
g-3 1 0 0
c-3 0 0 0
a-2 1 0 1
a-2 1 0 0
a-2 1 0 0
c-3 0 0 0
a-3 1 0 0
c-3 0 0 0
g-3 1 0 0
c-3 0 0 0
a-2 1 0 1
a-2 1 0 0
a-2 1 0 0
a-3 1 0 0
c-3 0 0 0
g-3 1 0 0
e-3 1 0 0
c-3 0 0 0
a-2 1 0 1
a-2 1 0 0
a-3 1 0 0
a-2 1 0 0
g-3 1 0 0
a-3 1 0 0
a-2 1 0 0
e-3 1 0 0
a-2 1 0 1
a-3 1 0 0
c-4 1 0 0
a-3 1 0 0
d-4 1 0 1
c-4 1 0 0
a-3 1 0 1
g-3 1 0 1
; 114 E fill  (16 steps)
; KELO Meta tag: 16
e-3 1 0 1
g-3 1 1 0
a-3 1 0 0
b-3 1 0 0
d-4 1 1 0
e-4 1 0 1
d-4 1 0 0
b-3 1 0 0
a-3 1 1 0
g-3 1 0 0
e-3 1 0 0
d-3 1 0 0
e-3 1 0 1
d-4 1 0 0
b-3 1 0 0
g-3 1 1 0
; 115 C roll fill  (16 steps)
; KELO Meta tag: 16
c-3 1 0 1
c-3 1 0 0
c-3 1 0 0
c-3 1 0 0
c-4 1 0 1
c-4 1 0 0
c-4 1 0 0
c-4 1 0 0
g-3 1 0 0
g-3 1 0 0
g-3 1 0 0
g-3 1 0 0
a#3 1 0 1
a#3 1 0 0
c-4 1 0 1
c-4 1 0 1
; 116 D descent  (16 steps)
; KELO Meta tag: 16
d-4 1 0 1
c-4 1 0 0
a#3 1 0 0
a-3 1 0 0
g-3 1 0 0
f-3 1 0 0
e-3 1 0 0
d-3 1 0 0
c-4 1 1 0
a#3 1 0 0
a-3 1 0 0
g-3 1 0 0
f-3 1 0 0
e-3 1 0 0
d-3 1 0 1
d-2 1 0 0
; 117 G waltz  (24 steps)
; KELO Meta tag: 24
g-3 1 0 1
g-3 1 0 0
g-4 1 0 0
f-3 1 1 0
g-3 1 0 0
c-3 0 0 0
g-3 1 0 1
d-4 1 0 0
c-4 1 0 0
a#3 1 1 0
g-3 1 0 0
f-3 1 0 0
g-3 1 0 1
g-3 1 0 0
g-4 1 0 0
d-3 1 1 0
f-3 1 0 0
g-3 1 0 1
c-4 1 0 1
a#3 1 0 0
g-3 1 0 0
f-3 1 1 0
d-3 1 0 0
f-3 1 0 0
; 118 A answer four bars  (64 steps)
; KELO Meta tag: 64
a-2 1 0 1
a-2 1 0 0
a-3 1 1 0
a-2 1 0 0
c-3 0 0 0
a-2 1 0 1
c-3 1 1 0
a-2 1 0 0
a-2 1 0 0
a-3 1 0 0
c-3 0 0 0
g-3 1 1 0
a-2 1 0 1
a-3 1 0 0
a-2 1 0 0
e-3 1 1 0
a-2 1 0 1
a-2 1 0 0
a-3 1 1 0
a-2 1 0 0
c-3 0 0 0
a-2 1 0 1
c-3 1 1 0
a-2 1 0 0
a-2 1 0 0
a-3 1 0 0
c-3 0 0 0
g-3 1 1 0
c-4 1 0 1
d-4 1 0 0
e-4 1 0 1
g-3 1 1 0
a-2 1 0 1
a-2 1 0 0
a-3 1 1 0
a-2 1 0 0
c-3 0 0 0
a-2 1 0 1
c-3 1 1 0
a-2 1 0 0
a-2 1 0 0
a-3 1 0 0
c-3 0 0 0
g-3 1 1 0
a-2 1 0 1
a-3 1 0 0
a-2 1 0 0
e-3 1 1 0
a-4 1 0 1
g-4 1 0 0
e-4 1 0 0
d-4 1 0 0
c-4 1 0 1
a-3 1 0 0
g-3 1 0 0
e-3 1 0 0
d-3 1 1 0
c-3 1 0 0
a-2 1 0 1
g-3 1 1 0
a-3 1 0 1
c-3 0 0 0
e-4 1 0 1
c-3 0 0 0
; 119 E break  (16 steps)
; KELO Meta tag: 16
e-3 1 0 1
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
e-4 1 0 1
c-3 0 0 0
d-4 1 1 0
b-3 1 0 0
g-3 1 0 0
e-3 1 0 0
; 120 C turnaround  (16 steps)
; KELO Meta tag: 16
c-3 1 0 1
c-4 1 0 0
a#3 1 0 0
g-3 1 0 0
d#3 1 1 0
f-3 1 0 0
g-3 1 0 0
a#3 1 0 0
c-4 1 0 1
a#3 1 0 0
g-3 1 0 0
f-3 1 0 0
d#3 1 1 0
d-3 1 0 0
c-3 1 0 0
g-3 1 0 1
; 121 F twenty four  (24 steps)
; KELO Meta tag: 24
f-3 1 0 1
f-3 1 0 0
f-4 1 0 0
c-3 0 0 0
g#3 1 1 0
f-3 1 0 0
f-3 1 0 1
c-3 0 0 0
c-3 1 1 0
f-3 1 0 0
f-4 1 0 0
d#3 1 0 0
f-3 1 0 1
f-3 1 0 0
f-4 1 0 0
c-3 0 0 0
g#3 1 1 0
f-3 1 0 0
c-4 1 0 1
a#3 1 0 0
g#3 1 1 0
g-3 1 0 0
f-3 1 0 1
c-3 1 0 0
; 122 D octave fill  (16 steps)
; KELO Meta tag: 16
d-3 1 0 1
d-4 1 0 0
d-3 1 0 0
d-4 1 0 0
d-3 1 0 1
d-4 1 0 0
d-3 1 0 0
d-4 1 0 0
d-4 1 0 1
d-4 1 0 0
d-4 1 0 0
d-4 1 0 0
c-4 1 0 1
a-3 1 0 0
f-3 1 0 0
d-3 1 0 0
; 123 G swing fill four bars  (64 steps, shuffle 30)
; KELO Meta tag: 7744
g-3 1 0 1
g-3 1 0 0
g-4 1 0 0
c-3 0 0 0
f-3 1 1 0
g-3 1 0 0
c-3 0 0 0
g-3 1 0 1
a#3 1 1 0
g-3 1 0 0
g-4 1 0 0
c-3 0 0 0
d-3 1 1 0
f-3 1 0 0
g-3 1 0 0
c-3 0 0 0
g-3 1 0 1
g-3 1 0 0
g-4 1 0 0
c-3 0 0 0
f-3 1 1 0
g-3 1 0 0
c-3 0 0 0
g-3 1 0 1
a#3 1 1 0
g-3 1 0 0
g-4 1 0 0
c-3 0 0 0
d-4 1 0 1
c-4 1 0 0
a#3 1 0 0
a-3 1 0 0
g-3 1 0 1
g-3 1 0 0
g-4 1 0 0
c-3 0 0 0
f-3 1 1 0
g-3 1 0 0
c-3 0 0 0
g-3 1 0 1
a#3 1 1 0
g-3 1 0 0
g-4 1 0 0
c-3 0 0 0
d-3 1 1 0
f-3 1 0 0
g-3 1 0 0
c-3 0 0 0
g-3 1 0 1
c-3 0 0 0
g-4 1 0 1
c-3 0 0 0
f-4 1 0 1
c-3 0 0 0
d-4 1 0 1
c-3 0 0 0
c-4 1 0 1
a#3 1 0 1
a-3 1 0 1
g-3 1 0 1
f-3 1 0 1
d-3 1 0 1
c-3 1 0 1
g-2 1 0 1
; 124 A triplet fill  (12 steps, triplet)
; KELO Meta tag: 2147483660
a-2 1 0 1
a-3 1 0 0
c-4 1 0 0
e-4 1 0 0
d-4 1 0 0
c-4 1 0 0
a-3 1 0 0
g-3 1 0 0
e-3 1 0 0
d-3 1 1 0
c-3 1 0 0
a-2 1 0 1
; 125 E climb  (16 steps)
; KELO Meta tag: 16
e-3 1 0 1
f#3 1 0 0
g-3 1 0 0
a-3 1 0 0
b-3 1 0 0
c-4 1 0 0
d-4 1 0 0
e-4 1 0 1
d-4 1 0 0
c-4 1 0 0
b-3 1 0 0
a-3 1 0 0
g-3 1 0 0
f#3 1 0 0
e-3 1 0 1
c-3 0 0 0
; 126 C minor saga four bars  (64 steps)
; KELO Meta tag: 64
c-3 1 0 1
c-3 0 0 0
c-3 1 0 0
c-4 1 1 0
a#3 1 1 0
c-3 1 0 0
c-3 0 0 0
d#3 1 1 1
c-3 1 0 0
c-3 1 0 0
c-3 0 0 0
g-3 1 1 0
c-4 1 0 1
c-3 1 0 0
a#2 1 1 0
c-3 1 0 0
d#3 1 0 1
c-3 0 0 0
d#3 1 0 0
d#4 1 1 0
d-3 1 1 0
d#3 1 0 0
c-3 0 0 0
g-3 1 1 1
d#3 1 0 0
d#3 1 0 0
c-3 0 0 0
a#3 1 1 0
d#4 1 0 1
d#3 1 0 0
d-3 1 1 0
d#3 1 0 0
g#2 1 0 1
c-3 0 0 0
g#3 1 0 0
g#4 1 1 0
g-3 1 1 0
g#3 1 0 0
c-3 0 0 0
c-4 1 1 1
g#3 1 0 0
g#3 1 0 0
c-3 0 0 0
d#3 1 1 0
g#4 1 0 1
g#3 1 0 0
g-3 1 1 0
g#3 1 0 0
g-3 1 0 1
c-3 0 0 0
g-3 1 0 0
g-4 1 1 0
f-3 1 1 0
g-3 1 0 0
c-3 0 0 0
a#3 1 1 1
b-3 1 0 1
c-3 0 0 0
d-4 1 0 0
g-3 1 0 0
c-4 1 0 1
a#3 1 0 0
g-3 1 0 1
d#3 1 0 0
; 127 A stop  (16 steps)
; KELO Meta tag: 16
a-2 1 0 1
a-3 1 0 0
c-4 1 0 0
e-4 1 0 1
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
c-3 0 0 0
e-3 1 1 1
e-3 1 0 0
d-3 1 1 0
c-3 1 0 0
; 128 Octave run  (16 steps)
; KELO Meta tag: 16
c-3 1 0 0
c-4 1 0 0
d-3 1 0 0
d-4 1 0 0
e-3 1 0 0
e-4 1 0 0
f-3 1 0 0
f-4 1 0 0
g-3 1 0 0
g-4 1 0 0
a-3 1 0 0
a-4 1 0 0
b-3 1 0 0
b-4 1 0 0
c-4 1 0 1
c-2 1 0 1
