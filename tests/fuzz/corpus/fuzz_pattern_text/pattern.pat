; KELO Meta tag: 2147483909
; Cutoff: 0.25 Tempo: 130 Version: 2 HighPass: 1
c-2 1 0 1
C#3 1 1 0
d#9 0 1 1
a-5 1 0 0
  g-6	1 1 1
b-0 1 0 0
