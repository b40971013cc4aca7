# shellcheck shell=bash
# shellcheck disable=SC2154  # dir and phone are lib.sh's and the test's
# What the SAT>IP end-to-end tests share, sourced after lib.sh: satipcard.dll
# registered in a prefix without the simulated card, a program folder with
# dishserver.exe beside it, satipcard.ini naming the server on a random port,
# and the helpers that drive the server and read the bridge's box and meter.
satip_folder() { # satip_folder PREFIX: sets WINEPREFIX, dir, bridge, server and port
  export WINEPREFIX=$E2E_ROOT/build/$1
  WINEDEBUG=-all "$E2E_ROOT/scripts/wine-prefix" "$E2E_BIN/satipcard.dll" "$WINEPREFIX" >/dev/null
  program_folder run
  cp "$E2E_BIN/satipcard.dll" "$E2E_BIN/dishserver.exe" "$dir/"
  wine regsvr32 /s "$(winpath "$dir/satipcard.dll")"
  bridge=$dir/satipcard.log server=$dir/server.log
  port=$((20000 + RANDOM % 20000))
  printf '[server]\naddress=127.0.0.1:%s\n' "$port" >"$dir/satipcard.ini"
  printf '[signal]\nstep 600000 level=80 snr=9\n' >"$dir/signal.ini"
}

SERVER_PID=
start_server() { # start_server [OPTION...]: dishserver.exe on $port with $dir/signal.ini
  stop_server
  (cd /tmp && exec env SIMCARD_LOG="$(winpath "$server")" SIMCARD_SCENARIO="$(winpath "$dir/signal.ini")" \
    wine "$dir/dishserver.exe" /port="$port" "$@") >/dev/null &
  SERVER_PID=$!
  wait_for 30 log_has "$server" "Serving port=$port" || fail "dishserver did not start"
  : >"$server"
}
stop_server() {
  [[ -z $SERVER_PID ]] || {
    kill -CONT "$SERVER_PID"
    kill "$SERVER_PID"
    wait "$SERVER_PID"
  } 2>/dev/null || true
  SERVER_PID=
}
at_exit stop_server
asked() { log_has "$server" "$1"; }
start_tuned() { # start_tuned [VAR=VALUE ...]: the program on the bridge, 12302 V 27500 typed, the red button pressed
  start_app "$dir" "$@"
  wait_for 60 log_has "$bridge" "Initialize 127.0.0.1:$port -> 0x00000000" ||
    fail "the bridge did not start: $(cat "$bridge")"
  wait_for 30 window_shown || fail "no window"
  sleep 1
  # shellcheck disable=SC2034  # the tests' own variables
  read -r ox oy < <(window_origin)
  type_transponder "12302 V 27500"
  press
}
box() { [[ -n $(xdotool search --onlyvisible --name '^SAT>IP tuner$' 2>/dev/null) ]]; }
no_box() { ! box; }
read_box() { xdotool key Return; } # the box has the focus
LAST_PRESS=0
press() { # the red button, 0.6 s after the last press at least: closer, two are a double-click
  local wait=$((LAST_PRESS + 600 - $(date +%s%3N)))
  ((wait <= 0)) || sleep "0.$(printf %03d "$wait")"
  click 375 214
  LAST_PRESS=$(date +%s%3N)
}
# sample_page SECONDS OUT: the bridge's phone page (its port in $phone) every 250 ms, one line a
# sample: "<ms since the start> <lock 0|1> <percent> <outage lines in the server's log so far>".
sample_page() {
  /usr/bin/python3 -c '
import json, sys, time, urllib.request
url, seconds, out, log = sys.argv[1], float(sys.argv[2]), sys.argv[3], sys.argv[4]
start, n = time.monotonic(), 0
with open(out, "w") as f:
    while time.monotonic() - start < seconds:
        try:
            r = json.load(urllib.request.urlopen(url, timeout=1))
        except (OSError, ValueError):
            r = {"lock": False, "percent": -1}
        marks = open(log, errors="replace").read().count("Outage")
        f.write("%d %d %d %d\n" % ((time.monotonic() - start) * 1000, r["lock"], r["percent"], marks))
        f.flush()
        n += 1
        time.sleep(max(0, start + n * 0.25 - time.monotonic()))' "http://127.0.0.1:$phone/signal" "$1" "$2" "$server"
}
