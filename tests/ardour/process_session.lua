-- ardour7-lua process_session.lua DIR NAME UNIQUE_ID V0 ... V9
-- Inserts the plug-in by its unique id on track "Input", lists its parameters, bounces the
-- track once with the plug-in deactivated and once active with the ten values set, then
-- saves. Everything the driver checks is printed as tab-separated lines; it ignores a crash
-- after "SAVED".
local dir, name, unique_id = arg[1], arg[2], arg[3]
local values = {}
for i = 4, #arg do values[#values + 1] = tonumber(arg[i]) end

if not load_session(dir, name) then
	print("FAILED could not load the session")
	return
end
local route = Session:route_by_name("Input")
if route:isnil() or route:to_track():isnil() then
	print("FAILED no track named Input")
	return
end
local track = route:to_track()
local regions = track:playlist():region_list()
if regions:size() ~= 1 then
	print("FAILED expected one region on the track, found " .. regions:size())
	return
end
local region
for r in regions:iter() do region = r end
local frames = region:length():samples()
print("REGION\t" .. frames .. "\t" .. region:to_audioregion():n_channels())
local range = Session:locations():session_range_location()
if range then
	print("RANGE\t" .. range:start():samples() .. "\t" .. range:_end():samples())
end

local master = Session:master_out()
for c = 0, 1 do
	local destination = master:input():audio(c):name()
	print("OUTPUT\t" .. c .. "\t" .. tostring(track:output():audio(c):connected_to(destination)))
end

local proc = ARDOUR.LuaAPI.new_plugin(Session, unique_id, ARDOUR.PluginType.LXVST, "")
if proc:isnil() then
	print("FAILED Ardour knows no plug-in with unique id " .. unique_id)
	return
end
if track:add_processor_by_index(proc, 0, nil, true) ~= 0 then
	print("FAILED could not insert the plug-in")
	return
end
local plugin = proc:to_insert():plugin(0)
print("PLUGIN\t" .. plugin:name() .. "\t" .. plugin:unique_id() .. "\t" .. plugin:parameter_count())
for i = 0, plugin:parameter_count() - 1 do
	local _, _, descriptor = ARDOUR.LuaAPI.plugin_automation(proc, i)
	print("PARAM\t" .. i .. "\t" .. descriptor.label)
end

local function bounce(tag)
	local bounced = track:bounce_range(0, frames, ARDOUR.InterThreadInfo(), track:main_outs(), false, "")
	if bounced:isnil() then
		print("FAILED bounce " .. tag)
		return false
	end
	local audio = bounced:to_audioregion()
	local line = tag .. "\t" .. bounced:length():samples()
	for c = 0, audio:n_channels() - 1 do
		line = line .. "\t" .. audio:source(c):to_filesource():path()
	end
	print(line)
	return true
end

proc:deactivate()
if not bounce("BOUNCE_INACTIVE") then return end
proc:activate()

for i, v in ipairs(values) do
	if not ARDOUR.LuaAPI.set_processor_param(proc, i - 1, v) then
		print("FAILED could not set parameter " .. (i - 1))
		return
	end
end
for i = 0, plugin:parameter_count() - 1 do
	print("VALUE\t" .. i .. "\t" .. string.format("%.9g", ARDOUR.LuaAPI.get_plugin_insert_param(proc:to_insert(), i, true)))
end
if not bounce("BOUNCE_ACTIVE") then return end

if Session:save_state("", false, false, false, false, false) ~= 0 then
	print("FAILED could not save")
	return
end
print("SAVED")
close_session()
