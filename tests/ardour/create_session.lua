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
Session:save_state("", false, false, false, false, false)
print("CREATED " .. Session:path())
close_session()
