-- usage: luasession render.lua <session-dir> <plugin name> <out-folder> <out-name> <seconds> [index=value]
-- Creates a session on the dummy backend at 48 kHz with one MIDI track: the note generator
-- feeding the instrument. Optionally sets one plug-in parameter, saves, exports, saves again
-- (so the chunk holds whatever the notes changed during the export).
local sessdir, plugname, outdir, outname = arg[1], arg[2], arg[3], arg[4]
local secs = tonumber (arg[5] or "3")
local RATE = 48000

local backend = AudioEngine:set_backend ("None (Dummy)", "", "")
assert (backend, "Dummy backend not available")
backend:set_device_name ("Silence")

local s = create_session (sessdir, "probe", RATE)
assert (s, "create_session failed")

local pi = ARDOUR.LuaAPI.new_plugin_info (plugname, ARDOUR.PluginType.LXVST)
assert (not pi:isnil (), "LXVST plugin not found: " .. plugname)

-- The instrument is added as a processor after creating the track: passing it to
-- new_midi_track intermittently fails with "Port already exists".
local tl = Session:new_midi_track (ARDOUR.ChanCount (ARDOUR.DataType ("midi"), 1),
                                   ARDOUR.ChanCount (ARDOUR.DataType ("audio"), 2),
                                   false, ARDOUR.PluginInfo (), nil, nil, 1, "Synth",
                                   ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, true, false)
assert (tl:size () == 1, "new_midi_track failed")
local track = tl:front ()
local inst = ARDOUR.LuaAPI.new_plugin (Session, plugname, ARDOUR.PluginType.LXVST, "")
assert (not inst:isnil (), "cannot instantiate " .. plugname)
assert (track:add_processor_by_index (inst, 0, nil, true) == 0, "add instrument failed")
local gen = ARDOUR.LuaAPI.new_luaproc (Session, "Fixed Note Generator")
assert (not gen:isnil (), "note generator not found")
track:add_processor_by_index (gen, 0, nil, true)

if arg[6] and arg[6] ~= "" then
	local idx, val = arg[6]:match ("^(%d+)=([%d%.%-]+)$")
	assert (idx, "bad parameter argument " .. arg[6])
	local ok = ARDOUR.LuaAPI.set_processor_param (track:nth_plugin (1), tonumber (idx), tonumber (val))
	assert (ok, "set_processor_param failed")
	print ("set param", idx, val)
end

Session:save_state ("", false, false, false, false, false)
local e = Session:simple_export ()
assert (e:set_preset ("75969a1c-3133-4694-864b-a1fa50e43348"), "no 16-bit WAV export preset")
e:set_name (outname)
e:set_folder (outdir)
e:set_range (0, math.floor (secs * RATE))
assert (e:check_outputs (), "no master outputs to export")
assert (e:run_export (), "export failed")
Session:save_state ("", false, false, false, false, false)
print ("RENDER-OK")
io.stdout:flush ()
-- luasession's own tear-down aborts now and then (with any plug-in or none); the work is saved.
os.exit (0, false)
