-- usage: luasession reload.lua <session-dir> <out-folder> <out-name> <seconds>
-- Loads a saved session (the host restores the instrument through its chunk) and exports it.
local sessdir, outdir, outname = arg[1], arg[2], arg[3]
local secs = tonumber (arg[4] or "3")
local backend = AudioEngine:set_backend ("None (Dummy)", "", "")
assert (backend, "Dummy backend not available")
assert (load_session (sessdir, "probe"), "load_session failed")
local e = Session:simple_export ()
assert (e:set_preset ("75969a1c-3133-4694-864b-a1fa50e43348"), "no 16-bit WAV export preset")
e:set_name (outname)
e:set_folder (outdir)
e:set_range (0, math.floor (secs * Session:nominal_sample_rate ()))
assert (e:run_export (), "export failed")
print ("RENDER-OK")
io.stdout:flush ()
os.exit (0, false)
