-- ardour7-lua create_session.lua DIR NAME RATE: a new session holding one empty stereo
-- track "Input". The driver then puts the test file on it while the session is closed.
local dir, name, rate = arg[1], arg[2], tonumber(arg[3])
if not create_session(dir, name, rate) then
	print("FAILED could not create the session")
	return
end
local tracks = Session:new_audio_track(2, 2, nil, 1, "Input", ARDOUR.PresentationInfo.max_order,
	ARDOUR.TrackMode.Normal, true)
if tracks:size() ~= 1 then
	print("FAILED could not add the track")
	return
end
-- New tracks are connected to the master bus by a background thread, which may not have run
-- before the session is saved and closed: connect them here. The inputs are cut off, so that
-- between runs the plug-in only ever hears silence and starts the bounce from rest.
local track = tracks:front()
local master = Session:master_out()
for c = 0, 1 do
	track:input():audio(c):disconnect_all()
	local port = track:output():audio(c)
	port:connect(master:input():audio(c):name())
	if not port:connected_to(master:input():audio(c):name()) then
		print("FAILED could not connect " .. port:name() .. " to the master bus")
		return
	end
end
Session:save_state("", false, false, false, false, false)
print("CREATED " .. Session:path())
close_session()
