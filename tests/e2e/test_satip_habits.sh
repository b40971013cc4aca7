#!/usr/bin/env bash
# shellcheck disable=SC2119 # start_tuned and close_app take optional arguments, none here
# The bridge against servers with other boxes' habits: one program start,
# dishserver.exe restarted on the same port as a different box each time.
# Judged by the server's log, the bridge's log and the screen.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/satip_lib.sh"
ensure_display
satip_folder wineprefix-satip-habits
serve() {
  printf '[signal]\n%s\n' "$1" >"$dir/signal.ini"
  shift
  start_server "$@"
  : >"$bridge"
}
sample_screen() { # sample_screen PREFIX: the meter and button, every 100 ms for 3 s, as PREFIX-N.ppm
  PYTHONPATH=$E2E_ROOT/tools/bench /usr/bin/python3 -c '
import sys, time
from xscreen import grab
x, y, prefix = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
start, n = time.monotonic(), 0
while time.monotonic() - start < 3:
    bgrx = grab(x, y, 240, 140)
    rgb = bytearray(240 * 140 * 3)
    rgb[0::3], rgb[1::3], rgb[2::3] = bgrx[2::4], bgrx[1::4], bgrx[0::4]
    open("%s-%d.ppm" % (prefix, n), "wb").write(b"P6 240 140 255\n" + rgb)
    n += 1
    time.sleep(max(0, start + n * 0.1 - time.monotonic()))
print(n)' $((ox + 160)) $((oy + 75)) "$1"
}
green_in() {
  local p
  read -ra p < <(pixel "$1" 215 125)
  ((p[1] > p[0] + 40))
} # green_in SAMPLE: the start button is green
stop_finder() {
  : >"$server"
  press
  wait_for 6 asked "TEARDOWN" || fail "no TEARDOWN after stop ($1)"
} # and the bridge's TEARDOWN
setups() { [[ $(grep -c "SETUP" "$server") == "$1" ]]; }
LOCKED='step 600000 lock=1 level=80 snr=9'

# Early full reports on a transponder without signal: every report of the
# first 600 ms after PLAY claims level 255 and lock, the later ones 0. The
# screen is sampled every 100 ms for 3 s: never above 0 %, never green. The
# msys fallback, which saw no lock either, stays in the same session.
serve 'step 600000 lock=0 level=0 snr=0' /quirks=early
start_tuned
shots=$(sample_screen "$dir/early")
asked "Report 100 early level=255 lock=1" || fail "the server sent no early full report: $(cat "$server")"
((shots >= 25)) || fail "only $shots samples in 3 s"
for ((i = 0; i < shots; i++)); do
  ! green_in "$dir/early-$i.ppm" || fail "the button turned green on an early report (sample $i)"
  level=$(ocr_meter "$dir/early-$i.ppm" -160 -75)
  [[ $level == 0% ]] || fail "the meter read '$level' on an early report (sample $i)"
done
wait_for 5 log_has "$bridge" "no lock within 1500 ms: msys=dvbs2" || fail "no msys fallback: $(cat "$bridge")"
wait_for 5 asked "PLAY .*msys=dvbs2&" || fail "the fallback did not PLAY"
setups 1 || fail "the fallback left its session: $(grep SETUP "$server")"
stop_finder early

# The early habit with a signal, and the header and stream variants: the
# level reaches the screen.
serve "$LOCKED" /quirks=early,headers,notimeout,emptyrtp
press
wait_for 10 meter_reads "80%" || fail "no level with early reports and header variants"
grep -q "the first report that counts came [0-9]* ms after PLAY: level 204 lock 1" "$bridge" ||
  fail "the first counted report is not logged: $(cat "$bridge")"
stop_finder headers
serve "$LOCKED" /quirks=compound,applength,ver12
press
wait_for 10 meter_reads "80%" || fail "no level with compound RTCP, a long APP and ver=1.2: $(cat "$bridge")"
stop_finder compound

# 404 at PLAY: the other msys in the same session, then a box with the answer.
serve "$LOCKED" /quirks=play404
press
wait_for 10 box || fail "no box for 404 at PLAY"
grep -q "refused the tune at PLAY: 404 Not Found" "$bridge" || fail "404 at PLAY is not logged: $(cat "$bridge")"
asked "PLAY .*msys=dvbs2&.* -> 404" || fail "no PLAY with the other msys"
setups 1 || fail "a second SETUP after 404 at PLAY"
read_box
wait_for 5 no_box || fail "the box did not close"
press # the refusal tore the session down: nothing more goes to the server

# A box that keeps the session after TEARDOWN: the next SETUP hears 404, the
# bridge tears the old session down again and the tune plays.
serve "$LOCKED" /quirks=keep
press
wait_for 10 meter_reads "80%" || fail "no level on a box that keeps sessions"
stop_finder keep
press
wait_for 10 log_has "$bridge" "SETUP refused with 404 after a TEARDOWN: tearing down" ||
  fail "no second TEARDOWN: $(cat "$bridge")"
wait_for 10 meter_reads "80%" || fail "the next tune does not play after a kept session"
gap=$(awk '/TEARDOWN .* -> 200/ {t = $1} /SETUP .* -> 200/ && t {print $1 - t; exit}' "$server")
((${gap:-0} >= 240)) || fail "the SETUP came ${gap:-?} ms after the TEARDOWN, not 250"
stop_finder keep

# A box that stops sending a second after PLAY and still answers: after 5 s
# without data, a new session.
serve "$LOCKED" /quirks=mute
press
wait_for 12 log_has "$bridge" "for 5 s: setting up anew" || fail "no watchdog: $(cat "$bridge")"
wait_for 5 setups 2 || fail "no new SETUP: $(cat "$server")"
close_app
note "SAT>IP habits ok"

echo PASS
