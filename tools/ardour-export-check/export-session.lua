-- Loads a session with the dummy backend at a given buffer size and exports a range of it with
-- Ardour's own export, as 32-bit float WAV at the session's rate.
--
-- arguments: session-dir session-name rate buffer-size out-folder out-name start end preset-uuid
--            plugin-name ("-": the track must have no plug-in)

local dir, name = arg[1], arg[2]
local rate = math.tointeger(tonumber(arg[3]))
local buffer = math.tointeger(tonumber(arg[4]))
local folder, out_name = arg[5], arg[6]
local range_start = math.tointeger(tonumber(arg[7]))
local range_end = math.tointeger(tonumber(arg[8]))
local preset, plugin_name = arg[9], arg[10]
assert(dir and name and rate and buffer and folder and out_name and range_start and range_end and preset and plugin_name,
	"bad arguments")

local backend = AudioEngine:set_backend("None (Dummy)", "", "")
assert(not backend:isnil(), "the dummy backend is missing")
AudioEngine:set_sample_rate(rate)
AudioEngine:set_buffer_size(buffer)
assert(AudioEngine:start(false) == 0, "the audio engine did not start")
-- The backend may round a size it does not offer; a check at another size would prove nothing.
assert(backend:buffer_size() == buffer, "the backend runs at buffer " .. backend:buffer_size() .. ", not " .. buffer)
assert(math.floor(backend:sample_rate() + 0.5) == rate, "the backend runs at " .. backend:sample_rate() .. " Hz")

assert(load_session(dir, name), "could not load the session")

-- A plug-in that fails to load becomes a stub that passes audio through: refuse to export then.
local track = Session:route_by_name("Input")
assert(not track:isnil(), "the session has no track 'Input'")
local proc = track:nth_plugin(0)
if plugin_name == "-" then
	assert(proc:isnil(), "the control session has a plug-in")
else
	assert(not proc:isnil() and not proc:to_insert():isnil(), "the plug-in did not load in the session")
	assert(proc:name() == plugin_name, "the first plug-in is '" .. proc:name() .. "'")
end

local export = Session:simple_export()
export:set_name(out_name)
export:set_folder(folder)
export:set_range(range_start, range_end)
assert(export:set_preset(preset), "the export preset is missing")
assert(export:check_outputs(), "the master bus has no outputs to export")
assert(export:run_export(), "the export failed")

close_session()
print("exported at buffer " .. buffer)
