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
