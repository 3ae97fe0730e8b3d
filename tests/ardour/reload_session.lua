-- ardour7-lua reload_session.lua DIR NAME: re-opens the saved session and prints the first
-- plug-in's identity and parameter values on track "Input", as Ardour restored them.
local dir, name = arg[1], arg[2]
if not load_session(dir, name) then
	print("FAILED could not load the session")
	return
end
local route = Session:route_by_name("Input")
if route:isnil() then
	print("FAILED no track named Input")
	return
end
local proc = route:nth_plugin(0)
if proc:isnil() then
	print("FAILED no plug-in on the track")
	return
end
local plugin = proc:to_insert():plugin(0)
print("PLUGIN\t" .. plugin:name() .. "\t" .. plugin:unique_id() .. "\t" .. plugin:parameter_count())
print("ACTIVE\t" .. tostring(proc:active()))
for i = 0, plugin:parameter_count() - 1 do
	print("VALUE\t" .. i .. "\t" .. string.format("%.9g", ARDOUR.LuaAPI.get_plugin_insert_param(proc:to_insert(), i, true)))
end
print("RELOADED")
close_session()
