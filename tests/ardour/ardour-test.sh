#!/bin/bash
# Renders the KELO instrument in a real third-party host, Ardour 7 (Debian package "ardour"),
# headless on its dummy backend at 48 kHz, and checks what comes out: a pattern edited with
# keyboard programming, then played from the bank in the data folder by holding a note for two
# bars (held notes, rests, a second pitch, the tempo of both bars, silence after), with a
# parameter the host set; saved and reloaded, the session renders the same again.
#
# usage: ardour-test.sh <KELO.so> <wavcheck>
# env:   KEEP=1 keeps the scratch folder. Exit 77 = Ardour not installed (skipped).
set -uo pipefail
SO=$(readlink -f "$1"); WAVCHECK=$(readlink -f "$2")
HERE=$(cd "$(dirname "$0")" && pwd)
ARDOUR_LIB=/usr/lib/ardour7
LUASESSION=$ARDOUR_LIB/luasession
if [ ! -x "$LUASESSION" ] || [ ! -x "$ARDOUR_LIB/ardour-vst-scanner" ]; then
  echo "SKIP: Ardour 7 is not installed (apt-get install --no-install-recommends ardour)"; exit 77
fi
[ -f "$SO" ] || { echo "FAIL: no plug-in at $SO"; exit 1; }

WORK=$(mktemp -d /tmp/kelo-ardour.XXXXXX)
[ "${KEEP:-0}" = 1 ] && echo "scratch folder kept: $WORK" || trap 'rm -rf "$WORK"' EXIT

# Everything the host and the plug-in write goes below $WORK: a scratch HOME gives the
# plug-in its own data folder ($HOME/Documents/Orvanta/KELO) with our bank and User.ini.
export HOME=$WORK/home XDG_CONFIG_HOME=$WORK/config XDG_CACHE_HOME=$WORK/cache
export LD_LIBRARY_PATH=$ARDOUR_LIB ARDOUR_CONFIG_PATH=/etc/ardour7 ARDOUR_DLL_PATH=$ARDOUR_LIB
export VAMP_PATH=$ARDOUR_LIB/vamp
DATA=$HOME/Documents/Orvanta/KELO
mkdir -p "$DATA" "$XDG_CONFIG_HOME"

FAILS=0
check() { "$WAVCHECK" "$@" || FAILS=$((FAILS + 1)); }
fail() { echo "FAIL $*"; FAILS=$((FAILS + 1)); }

# --- the test bank: one pattern of C (65.41 Hz) held over steps 0-3 by slides, rests, the C
# above (130.81 Hz) over steps 8-11, rests.
write_test_bank() {
  {
    echo "; KELO Meta tag: 16"
    printf 'c-3 1 1 0\nc-3 1 1 0\nc-3 1 1 0\nc-3 1 0 0\n'
    printf 'c-3 0 0 0\n%.0s' 1 2 3 4
    printf 'c-4 1 1 0\nc-4 1 1 0\nc-4 1 1 0\nc-4 1 0 0\n'
    printf 'c-3 0 0 0\n%.0s' 1 2 3 4
  } > "$DATA/DefaultPatternBank.pat"
}

# --- host plumbing ---------------------------------------------------------------------------
# The scanner stamps its cache in whole seconds and the host ignores a cache that is not newer
# than the .so: copy the plug-in and back-date it so a fresh build is never "not found".
mkdir -p "$WORK/vst"; cp "$SO" "$WORK/vst/KELO.so"
touch -d "@$(( $(date +%s) - 60 ))" "$WORK/vst/KELO.so"
export LXVST_PATH=$WORK/vst
if ! "$ARDOUR_LIB/ardour-vst-scanner" -f "$WORK/vst/KELO.so" >"$WORK/scan.log" 2>&1; then
  cat "$WORK/scan.log"; echo "FAIL: Ardour's scanner rejected the plug-in"; exit 1
fi
grep -q "Found Plugin: .* KELO" "$WORK/scan.log" || { cat "$WORK/scan.log"; echo "FAIL: scanner did not find KELO"; exit 1; }

# Writes the Lua DSP that plays NOTES ("start,end,note,velocity;...", seconds) into the track.
write_notegen() { # <data dir> <notes>
  mkdir -p "$1/scripts"
  {
    cat <<'LUA'
ardour {
	["type"] = "dsp", name = "Fixed Note Generator", category = "Utility", license = "MIT",
	author = "kelo-tests", description = [[Emits a fixed list of MIDI notes at fixed transport times.]]
}
LUA
    echo "local NOTES = {"
    local items it
    IFS=';' read -ra items <<< "$2"
    for it in "${items[@]}"; do echo "  { $it },"; done
    echo "}"
    cat <<'LUA'
function dsp_ioconfig () return { { midi_in = 1, midi_out = 1, audio_in = 0, audio_out = 0 }, } end
local sr = 48000
function dsp_init (rate) sr = rate end
function dsp_run (_, _, n_samples)
	local cnt = 1
	local function tx (off, data) midiout[cnt] = { time = off + 1, data = data }; cnt = cnt + 1 end
	for _, b in pairs (midiin) do tx (b["time"] - 1, b["data"]) end
	if not Session:transport_rolling () then return end
	local pos = Session:transport_sample ()
	for _, n in ipairs (NOTES) do
		local on, off = math.floor (n[1] * sr), math.floor (n[2] * sr)
		if on >= pos and on < pos + n_samples then tx (on - pos, { 0x90, n[3], n[4] }) end
		if off >= pos and off < pos + n_samples then tx (off - pos, { 0x80, n[3], 0 }) end
	end
end
LUA
  } > "$1/scripts/fixed_notegen.lua"
}

# One luasession run, retried at most twice. Ardour 7.3 sometimes aborts while exiting after
# the work is done, so a non-zero exit counts only when RENDER-OK was not printed.
run_lua() { # <label> <expected wav> <folders to clear before each attempt> <lua args...>
  local label=$1 wav=$2 clean=$3; shift 3
  local attempt rc start log
  for attempt in 1 2 3; do
    [ -n "$clean" ] && rm -rf $clean
    log=$WORK/$label.$attempt.log
    start=$(date +%s%N)
    stdbuf -oL -eL "$LUASESSION" "$@" >"$log" 2>&1; rc=$?
    echo "ardour run $label (attempt $attempt): $(( ($(date +%s%N) - start) / 1000000 )) ms, rc $rc"
    if grep -q '^RENDER-OK' "$log" && [ -s "$wav" ]; then return 0; fi
    tail -15 "$log"
  done
  fail "$label: Ardour did not render after 3 attempts"
  return 1
}

render() { # <scenario> <notes> <seconds> [index=value]
  local dir=$WORK/$1
  mkdir -p "$dir"
  write_notegen "$dir/data" "$2"
  ARDOUR_DATA_PATH=$dir/data:/usr/share/ardour7 \
    run_lua "$1-render" "$dir/export/out.wav" "$dir/session $dir/export" \
    "$HERE/render.lua" "$dir/session" KELO "$dir/export" out "$3" "${4:-}"
}

reload() { # <scenario> <seconds>
  local dir=$WORK/$1
  ARDOUR_DATA_PATH=$dir/data:/usr/share/ardour7 \
    run_lua "$1-reload" "$dir/export2/out2.wav" "$dir/export2" \
    "$HERE/reload.lua" "$dir/session" "$dir/export2" out2 "$2"
}

# Python helpers on the saved session file (XML with base64 blobs).
session_file() { echo "$WORK/$1/session/probe.ardour"; }

# The chunk the host stored must be a whole state image carrying both changes.
check_saved_chunk() { # <scenario> <parameter index> <value> <pattern> <step> <note>
  python3 - "$(session_file "$1")" "$2" "$3" "$4" "$5" "$6" <<'PY' || FAILS=$((FAILS + 1))
import base64, re, struct, sys
path, index, value, pattern, step, note = sys.argv[1], int(sys.argv[2]), float(sys.argv[3]), *map(int, sys.argv[4:7])
text = open(path, encoding="utf-8").read()
m = re.search(r"<chunk[^>]*>([^<]*)</chunk>", text)
if not m:
    sys.exit(print("FAIL saved session holds no plug-in chunk") or 1)
c = base64.b64decode(m.group(1))
mark, count = struct.unpack_from("<ii", c, 0) if len(c) >= 8 else (None, None)
slot = struct.unpack_from("<f", c, 20128 + 4 * index)[0] if len(c) == 21152 else None
stored = c[8 + 132 * pattern + 4 + 2 * step] if len(c) == 21152 else None
ok = len(c) == 21152 and mark == 200 and count == 20120 and abs(slot - value) < 1e-6 and stored == note
print("%s saved chunk: %d bytes, mark %s, count %s, slot %d = %s, pattern %d step %d note %s"
      % ("PASS" if ok else "FAIL", len(c), mark, count, index, slot, pattern, step, stored))
sys.exit(0 if ok else 1)
PY
}

# Replaces the note list of the saved note generator, so the reload does not repeat the edit.
rewrite_saved_notes() { # <scenario> <notes>
  write_notegen "$WORK/rewrite" "$2"
  python3 - "$(session_file "$1")" "$WORK/rewrite/scripts/fixed_notegen.lua" <<'PY' || FAILS=$((FAILS + 1))
import base64, re, sys
path, script = sys.argv[1], open(sys.argv[2], "rb").read()
text = open(path, encoding="utf-8").read()
new, n = re.subn(r'(<script lua="[^"]*"[^>]*>)[^<]*(</script>)',
                 lambda m: m.group(1) + base64.b64encode(script).decode() + m.group(2), text)
if n != 1:
    sys.exit(print("FAIL expected one note generator script in the session, found %d" % n) or 1)
open(path, "w", encoding="utf-8").write(new)
PY
}

# 120 BPM (parameter 9's default): a step lasts 0.125 s, a 16-step bar 2 s. Note 55 is the G
# key of keyboard programming (base 48 + 7): step 0 of the current pattern 0 becomes G (98 Hz).
# Note 0 then plays pattern 0 from 0.5 s. Cutoff (index 1) goes to 0.85.
TOTAL_START=$(date +%s)
write_test_bank
printf 'MidiMode = 0\nMidiKeyProgramming = 1\n' > "$DATA/User.ini"
if render session "0.10,0.15,55,100;0.5,4.4,0,100" 7 "1=0.85"; then
  a=$WORK/session/export/out.wav
  check onset "$a" 0.45 1.0 -40 0.5 0.01
  check pitch "$a" 0.52 0.62 98.0 1.5          # the edit took effect
  check pitch "$a" 0.66 0.92 65.41 1.5         # steps 1-3 kept their C
  check quieter "$a" 1.05 1.45 0.66 0.92 30    # steps 4-7 rest
  check pitch "$a" 1.54 1.92 130.81 1.5        # steps 8-11, the C above
  check onset "$a" 2.3 2.7 -40 2.5 0.01        # the second bar starts on time
  check level "$a" 4.6 7.0 below -70           # released at 4.4 s (a rest step) and silent
  check_saved_chunk session 1 0.85 0 0 7

  rewrite_saved_notes session "0.5,4.4,0,100"
  if reload session 7; then
    b=$WORK/session/export2/out2.wav
    check pitch "$b" 0.52 0.62 98.0 1.5        # restored from the chunk, not replayed
    check same "$a" "$b" 2
  fi
fi
echo "total $(( $(date +%s) - TOTAL_START )) s, $FAILS failed check(s)"
[ "$FAILS" -eq 0 ]
