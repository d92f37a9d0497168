-- Builds the session that every export of one check loads: a stereo track whose region is a
-- placeholder (the caller writes the input signal into its two source files afterwards), the
-- plug-in first on the track, its settings, and optionally one automated parameter.
--
-- arguments: session-dir session-name rate plugin-name position-samples length-samples
--            automate-name ramp-start ramp-end [name=value ...]
-- A plugin-name of "-" leaves the track without plug-in (a control: Ardour alone).
-- Values are plug-in parameter values (0..1); names match Ardour's label of the parameter or
-- the plug-in's parameter ID (lower case, underscores).

local dir, name = arg[1], arg[2]
local rate = math.tointeger(tonumber(arg[3]))
local plugin_name = arg[4]
local position = math.tointeger(tonumber(arg[5]))
local length = math.tointeger(tonumber(arg[6]))
local automate = arg[7]
local ramp_start = math.tointeger(tonumber(arg[8]))
local ramp_end = math.tointeger(tonumber(arg[9]))
assert(dir and name and rate and plugin_name and position and length and ramp_start and ramp_end, "bad arguments")

local function key(s)
	-- Ardour shows a parameter's display name; the plug-in's IDs are that name in lower case
	-- with underscores, except the compressor's, whose names lack "dynamics_".
	s = string.lower(s):gsub("[^%w]+", "_")
	return (s:gsub("^delay_globals_dynamics_compressor_", "delay_globals_compressor_"))
end

local backend = AudioEngine:set_backend("None (Dummy)", "", "")
assert(not backend:isnil(), "the dummy backend is missing")
AudioEngine:set_sample_rate(rate)
AudioEngine:set_buffer_size(1024)
assert(AudioEngine:start(false) == 0, "the audio engine did not start")

assert(create_session(dir, name, rate), "could not create the session")

local track = Session:new_audio_track(2, 2, nil, 1, "Input", ARDOUR.PresentationInfo.max_order,
	ARDOUR.TrackMode.Normal, true, false):front()
assert(not track:isnil(), "could not add a track")

-- Ardour 7's Lua has no file import; a bounce of the empty track makes a region with two
-- mono sources of the right length, which the caller then fills.
local region = track:bounce_range(0, length, ARDOUR.InterThreadInfo(), track:main_outs(), false, "input")
assert(not region:isnil(), "the bounce made no region")
-- Without the region's default 64-sample fades the plug-in gets the input file as it is.
region:to_audioregion():set_fade_in_active(false)
region:to_audioregion():set_fade_out_active(false)
track:playlist():add_region(region, Temporal.timepos_t(position), 1, false, 0, 0, false)

if plugin_name == "-" then
	assert(automate == "" and #arg < 10, "settings and automation need the plug-in")
	Session:save_state("", false, false, false, false, false)
	close_session()
	print("session made")
	return
end

local proc = ARDOUR.LuaAPI.new_plugin(Session, plugin_name, ARDOUR.PluginType.VST3, "")
assert(not proc:isnil(), "Ardour did not find the plug-in '" .. plugin_name .. "' (VST3)")
assert(track:add_processor_by_index(proc, 0, nil, true) == 0, "could not add the plug-in")

local plugin = proc:to_insert():plugin(0)
local index = {}
for i = 0, plugin:parameter_count() - 1 do
	index[key(plugin:parameter_label(i))] = i
end

local function lookup(n)
	local i = index[key(n)]
	assert(i, "the plug-in has no parameter '" .. n .. "'")
	return i
end

for k = 10, #arg do
	local n, v = string.match(arg[k], "^(.-)=([-+.%deE]+)$")
	local value = tonumber(v or "")
	assert(n and value, "bad setting '" .. arg[k] .. "' (want name=number)")
	assert(ARDOUR.LuaAPI.set_processor_param(proc, lookup(n), value), "could not set " .. n)
	print("set " .. n .. " = " .. value)
end

if automate ~= "" then
	local i = lookup(automate)
	local al, cl, pd = ARDOUR.LuaAPI.plugin_automation(proc, i)
	assert(not al:isnil(), "no automation list for " .. automate)
	cl:add(Temporal.timepos_t(ramp_start), pd.lower, false, false)
	cl:add(Temporal.timepos_t(ramp_end), pd.upper, false, false)
	local port = plugin:nth_parameter(i, true)
	local control = proc:to_automatable():automation_control(
		Evoral.Parameter(ARDOUR.AutomationType.PluginAutomation, 0, port), false)
	assert(not control:isnil(), "no automation control for " .. automate)
	control:set_automation_state(ARDOUR.AutoState.Play)
	print("automated " .. automate .. " from " .. ramp_start .. " to " .. ramp_end)
end

Session:save_state("", false, false, false, false, false)
close_session()
print("session made")
