# What the SAT>IP tests share, sourced after lib.sh: satipcard.dll registered
# in a prefix without the simulated card, a program folder with
# dishserver.exe beside it on a random port of 127.0.0.1, and the server's
# and the bridge's logs.
export WINEPREFIX=$E2E_ROOT/build/wineprefix-satip
WINEDEBUG=-all "$E2E_ROOT/scripts/wine-prefix" "$E2E_BIN/satipcard.dll" "$WINEPREFIX" >/dev/null

dir=$E2E_DIR/run
make_program_folder "$dir"
cp "$E2E_BIN/satipcard.dll" "$E2E_BIN/dishserver.exe" "$dir/"
wine regsvr32 /s "$(winpath "$dir/satipcard.dll")"
bridge=$dir/satipcard.log server=$dir/server.log
port=$((20000 + RANDOM % 20000))
printf '[server]\naddress=127.0.0.1:%s\n' "$port" > "$dir/satipcard.ini"
printf '[signal]\nstep 600000 level=80 snr=9\n' > "$dir/signal.ini"

SERVER_PID=
start_server() {  # start_server [OPTION...]: dishserver.exe on $port
  stop_server
  ( cd /tmp && exec env SIMCARD_LOG="$(winpath "$server")" SIMCARD_SCENARIO="$(winpath "$dir/signal.ini")" \
      wine "$dir/dishserver.exe" /port=$port "$@" ) >/dev/null &
  SERVER_PID=$!
  wait_for 30 log_has "$server" "Serving port=$port" || fail "dishserver did not start"
  : > "$server"
}
stop_server() { [[ -z $SERVER_PID ]] || { kill -CONT "$SERVER_PID"; kill "$SERVER_PID"; wait "$SERVER_PID"; } 2>/dev/null || true; }
at_exit stop_server
asked() { log_has "$server" "$1"; }
box() { [[ -n $(xdotool search --onlyvisible --name '^SAT>IP tuner$' 2>/dev/null) ]]; }
no_box() { ! box; }
