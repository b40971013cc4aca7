#!/usr/bin/env bash
# shellcheck disable=SC2119 # start_tuned and close_app take optional arguments, none here
# The real exe on a SAT>IP tuner: satipcard.dll registered in a prefix without
# the simulated card, dishserver.exe on 127.0.0.1 as the network tuner. Judged
# by the server's log of what it was asked, the bridge's log and the screen.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/satip_lib.sh"
ensure_display
satip_folder wineprefix-satip

# The tune: one SETUP with the whole burst as its query, then PLAY; level 204
# on the server is 80 % on the meter. OPTIONS keeps the 4 s session alive.
start_server /timeout=4
start_tuned
wait_for 10 asked "SETUP rtsp://127.0.0.1:$port/?src=1&freq=12302&pol=v&ro=0.35&msys=dvbs&mtype=qpsk&plts=off&sr=27500&pids=0,16,17 session=- -> 200" ||
  fail "no SETUP with the tune: $(grep SETUP "$server")"
wait_for 5 asked "PLAY rtsp://127.0.0.1:$port/stream=1 session=" || fail "no PLAY"
wait_for 10 meter_reads "80%" || fail "the meter does not read 80%"
wait_for 6 asked "OPTIONS .* session=[0-9A-F]* -> 200" || fail "no keep-alive within the session's timeout"
button_is green || fail "the button is not green with a signal"

# Another client takes the tuner: the next tune hears 454 (on PLAY, or on
# TEARDOWN when the restart comes late) and the bridge sets up anew.
: >"$bridge"
python3 -c '
import socket, sys
c = socket.create_connection(("127.0.0.1", int(sys.argv[1])), 2)
c.sendall(b"SETUP rtsp://h/?src=1&freq=11000&pol=h&sr=22000 RTSP/1.0\r\nCSeq: 1\r\nTransport: client_port=40000-40001\r\n\r\n")
c.recv(999)' "$port"
sleep 1
press
press
wait_for 10 log_has "$bridge" "SETUP .* -> 200" || fail "no new session after the tuner was taken"
wait_for 10 meter_reads "80%" || fail "no level after the tuner was taken back"

# Stop: TEARDOWN. LNB2 on the DiSEqC switch is src=2.
press
wait_for 4 asked "TEARDOWN" || fail "no TEARDOWN after stop"
click 40 210
sleep 0.7
xdotool key Down Down Down Down Return
sleep 0.5
press
wait_for 10 asked "SETUP rtsp://127.0.0.1:$port/?src=2&freq=12302" || fail "LNB2 is not src=2"
wait_for 10 meter_reads "80%" || fail "no level on LNB2"

# The server gone mid-run: the meter searches. It comes back locking on
# DVB-S2 only: the next tune finds it again, falling back from dvbs.
stop_server
wait_for 8 log_has "$bridge" "lost the SAT>IP stream from 127.0.0.1:$port" || fail "the loss was not noticed"
wait_for 3 button_is red lost || fail "the button is not red without a server"
start_server /msys=dvbs2
press
press
wait_for 10 asked "PLAY .*msys=dvbs2&mtype=8psk&plts=on&sr=27500" || fail "no fallback to dvbs2: $(cat "$server")"
wait_for 10 meter_reads "80%" || fail "no recovery after the server came back"

# A silent server (stopped, its connections still open): the program goes on
# answering; a new tune waits at most its bound and reads as no lock.
: >"$bridge"
kill -STOP "$SERVER_PID"
wait_for 10 log_has "$bridge" "lost the SAT>IP stream" || fail "a silent server was not noticed"
press
press
t0=$SECONDS
wait_for 10 log_has "$bridge" "SETUP .* -> no reply" || fail "the silent SETUP did not end"
((SECONDS - t0 <= 5)) || fail "the silent SETUP took $((SECONDS - t0)) s"
button_is red silent || fail "the button is not red on a silent server"
kill -CONT "$SERVER_PID"

# A refused SETUP: the bridge's box names the answer; the meter searches.
start_server /refuse=503
press
press
wait_for 10 box || fail "no box for a refused SETUP"
grep -q "refused the tune: 503 Service Unavailable" "$bridge" || fail "the refusal is not logged"
read_box
wait_for 5 no_box || fail "the box did not close"
app_exited && fail "the program ended after a refused SETUP"
close_app
[[ $(stat -c %s "$dir/orv.dat") == 256 ]] || fail "orv.dat is not 256 bytes"

# No address: discovery finds the server on this machine, which serves on
# port 554. Closing while the finder runs ends the session with TEARDOWN.
printf '[server]\n; found by discovery\n' >"$dir/satipcard.ini"
: >"$bridge"
port=554
start_server /ssdp
start_app "$dir"
wait_for 60 log_has "$bridge" "Discovery chose [0-9.]*:554" ||
  fail "discovery did not find the server: $(cat "$bridge")"
wait_for 30 window_shown || fail "no window after discovery"
sleep 1
type_transponder "12302 V 27500"
press
wait_for 10 asked "PLAY" || fail "no PLAY after discovery"
close_app
asked "TEARDOWN" || fail "no TEARDOWN at close"

# The ini may name the description instead: RTSP goes to its host on 554.
printf '[server]\naddress=http://127.0.0.1:554/desc.xml\n' >"$dir/satipcard.ini"
start_app "$dir"
wait_for 60 log_has "$bridge" "Initialize 127.0.0.1:554 -> 0x00000000" || fail "no server from its description"
wait_for 30 window_shown || fail "no window after the description"
close_app

# A server that accepts and never answers, at start-up: the bridge's box
# names the address, then the program ends quietly.
port=$((port + 20000 + RANDOM % 9000))
printf '[server]\naddress=127.0.0.1:%s\n' "$port" >"$dir/satipcard.ini"
start_server /silent
start_app "$dir"
wait_for 60 box || fail "no box for a silent server at start-up"
grep -q "no SAT>IP server answered at 127.0.0.1:$port" "$bridge" || fail "the silent start-up is not logged"
read_box
wait_exit 30
[[ -z $(main_window) ]] || fail "a window is left"
note "SAT>IP ok"

echo PASS
