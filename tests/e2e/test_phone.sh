#!/usr/bin/env bash
# The phone page, in one program start on the simulated card: headless chromium follows
# the meter on a LAN address, where a tap must keep the screen on without a Wake Lock, then
# the page's server takes a load and abuse there while the finder polls, and the program
# still ends with 0. phone.py does the browser's and the sockets' part; the bridge's page is
# test_satip_tables.sh's.
# shellcheck disable=SC2119 # close_app's and window_origin's arguments are their own, never the script's
source "$(dirname "$0")/lib.sh"
# A phone opens the page on the PC's LAN address, never a secure page: the
# test's own address, in a network namespace of the test's own (made here
# when the test is not in one), so that the machine's network is left alone.
if [[ $(readlink /proc/self/ns/net) == "$(readlink /proc/1/ns/net)" ]]; then
  if [[ -n ${E2E_NETNS:-} ]] || ! unshare -n true 2>/dev/null; then
    fail "needs a network namespace of its own for its LAN address: run it as root, or under unshare -n"
  fi
  E2E_NETNS=1 exec unshare -n -- bash -c 'ip link set lo up && exec bash "$@"' _ "$0" "$@"
fi
ensure_display

# The address, on lo; the page listens on it alone. TEST-NET-1 is routed nowhere.
lan=192.0.2.44
ip addr add "$lan/32" dev lo 2>/dev/null || ip -4 addr show dev lo | grep -q "inet $lan/" ||
  fail "cannot add $lan to lo"

program_folder run
port=$((20000 + RANDOM % 30000))
# Locked at 40 for 5 s, a peak of 72, then 24 changes 400 ms apart, and 30 to the end.
{
  printf '[signal]\nstep 2000 lock=0\nstep 5000 level=40 snr=6\nstep 1500 level=72 snr=10.5\n'
  for _ in $(seq 12); do printf 'step 400 level=31 snr=5\nstep 400 level=36 snr=5.5\n'; done
  printf 'step 600000 level=30 snr=4.5\n\n[phone]\nport=%s\nlisten=%s\n' "$port" "$lan"
} >"$dir/scenario.ini"
start_ready "$dir" SIMCARD_SCENARIO="$(winpath "$dir/scenario.ini")"
{ [[ $(grep -c "phone page: " "$log") == 1 ]] && log_has "$log" "phone page: http://$lan:$port/"; } ||
  fail "the log does not name the page's address once: $(grep 'phone page' "$log")"

/usr/bin/python3 "$E2E_ROOT/tests/e2e/phone.py" "$lan" "$port" "$log" "$dir" "$ox" "$oy" &
phone=$!
at_exit kill $phone
wait_for 60 test -f "$dir/page.ready" || fail "the browser did not open the page"
type_transponder "11778 V 27500"
click 375 214
wait_for 240 test -f "$dir/load.done" || {
  kill $phone
  fail "the page's checks did not end"
}
close_app
# The card's release stops the page within 0.5 s, or says so.
log_has "$log" "phone page: its thread did not end" && fail "the page's thread outlived the card"
touch "$dir/app.closed"
wait $phone || fail "the page's checks failed (see above)"
cp "$dir/phone.png" "$E2E_DIR/phone.png"

echo "PASS: the phone page follows the meter and holds under load"
