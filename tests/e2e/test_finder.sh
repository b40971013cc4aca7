#!/usr/bin/env bash
# The main job: type a transponder, choose the DiSEqC port, press the red
# button, watch the level; press again to stop. Judged by the card's call
# log and by what the screen shows.
source "$(dirname "$0")/lib.sh"
ensure_display

calls() { grep -E -o " (SetLnbTone|SetLnbFrequency|SetPolarization|SetSymbolRate|SetFrequency|SetDiseqc) [0-9]+" "$1" | sed 's/^ //' | tr '\n' ','; }
type_transponder() {
  click 300 300; sleep 0.2
  xdotool key End $(printf 'BackSpace %.0s' $(seq 30))
  xdotool type --delay 20 "$1"
}
press_red() { click 375 214; }
brighter() { local a=($1); (( a[$2] > a[$3] + 40 )); }

dir=$E2E_DIR/run
make_program_folder "$dir"
cat > "$dir/scenario.ini" <<'SCN'
[signal]
step 1500 lock=0 level=0 snr=0
step 600000 lock=1 level=57 snr=8.25
SCN
start_app "$dir" SIMCARD_SCENARIO="$(winpath "$dir/scenario.ini")"
wait_for 60 log_has "$dir/simcard.log" "SetDeviceMode" || fail "the card was never set up"
wait_for 30 window_shown || fail "no window"
sleep 1

# Messages that must be read are on screen for their whole time: a rejected
# text for 2 s, "Not found in this version." for 1 s; then they are gone.
read -r ox oy < <(window_origin)
status_red() { screenshot "$dir/status.png"; red_pixels "$dir/status.png" $((ox + 64)) $((oy + 320)) 384 60; }
at_ms() { local left=$(( ($1 + $2 * 1000000 - $(date +%s%N)) / 1000000 )); (( left > 0 )) && sleep "$((left / 1000)).$(printf %03d $((left % 1000)))"; status_red; }
idle=$(status_red)
type_transponder "11778V2750"
press_red; t0=$(date +%s%N)
for ms in 300 1500; do (( $(at_ms $t0 $ms) > idle + 200 )) || fail "no red message ${ms} ms after a rejected text"; done
(( $(at_ms $t0 2300) < idle + 20 )) || fail "the rejected-text message is still shown after 2.3 s"
grep -q SetFrequency "$dir/simcard.log" && fail "a rejected text was tuned"
click 475 325; t0=$(date +%s%N)
(( $(at_ms $t0 300) > idle + 200 )) || fail "no \"Not found in this version.\" after 300 ms"
(( $(at_ms $t0 2300) < idle + 20 )) || fail "\"Not found in this version.\" still shown after 2.3 s"

# DiSEqC "Simple A", then the transponder, then the red button.
click 40 210; sleep 0.7; xdotool key Down Return; sleep 0.5
type_transponder "11778 V 27500"
press_red
wait_for 20 log_has "$dir/simcard.log" "SetDiseqc" || fail "never tuned"
order=$(calls "$dir/simcard.log")
[[ $order == "SetLnbTone 1,SetLnbFrequency 10600,SetPolarization 1,SetSymbolRate 27500,SetFrequency 11778000,SetDiseqc 1," ]] \
  || fail "tuning calls: $order"
sleep 0.8
screenshot "$dir/searching.png"
red=$(pixel "$dir/searching.png" $((ox + 375)) $((oy + 200)))
brighter "$red" 0 1 || fail "the button is not red while searching: $red"

wait_for 20 log_has "$dir/simcard.log" "GetSignalPercent 57" || fail "no level read"
sleep 1
screenshot "$dir/signal.png"
green=$(pixel "$dir/signal.png" $((ox + 375)) $((oy + 200)))
brighter "$green" 1 0 || fail "the button is not green with a signal: $green"
# CheckLock only until the lock; then UpdateStatus, level and SNR each cycle.
after=$(awk '/GetSignalPercent 57/{f=1} f' "$dir/simcard.log" | grep -c CheckLock || true)
[[ $after == 0 ]] || fail "CheckLock called $after times with a level"
grep -q "GetSignalToNoise 8.25" "$dir/simcard.log" || fail "no SNR read"

# Stop: after the button returns no card call follows.
press_red
sleep 1.5
lines=$(wc -l < "$dir/simcard.log")
sleep 1
[[ $(wc -l < "$dir/simcard.log") == "$lines" ]] || fail "card calls after the finder stopped"
screenshot "$dir/stopped.png"
red=$(pixel "$dir/stopped.png" $((ox + 375)) $((oy + 200)))
brighter "$red" 0 1 || fail "the button is not red after stop: $red"

# The C band: a second oscillator call.
type_transponder "4000 H 27500"
press_red
wait_for 20 bash -c "grep -q 'SetFrequency 4000000' '$dir/simcard.log'" || fail "C band not tuned"
tail -n 20 "$dir/simcard.log" | grep -E -o "SetLnbFrequency [0-9]+" | tr '\n' ',' | grep -q "SetLnbFrequency 9750,SetLnbFrequency 5150," \
  || fail "C band oscillators wrong"
click 370 57  # the close button, while the finder runs
wait_exit 30
[[ $EXIT_CODE == 0 ]] || fail "exit code $EXIT_CODE"
last_poll=$(grep -n -E "GetSignal|CheckLock|UpdateStatus" "$dir/simcard.log" | tail -1 | cut -d: -f1)
release=$(grep -n -E " Release " "$dir/simcard.log" | tail -1 | cut -d: -f1)
(( last_poll < release )) || fail "the card was released before the poller ended"
note "finder ok"

# A card whose SetFrequency fails: "Error", then a clean end.
dir=$E2E_DIR/failfreq
make_program_folder "$dir"
printf '[faults]\nfail=SetFrequency\n' > "$dir/scenario.ini"
start_app "$dir" SIMCARD_SCENARIO="$(winpath "$dir/scenario.ini")"
wait_for 60 log_has "$dir/simcard.log" "SetDeviceMode" || fail "the card was never set up"
wait_for 30 window_shown || fail "no window"
sleep 1
type_transponder "11778 V 27500"
press_red
wait_for 20 bash -c "xdotool search --onlyvisible --name '^Error$' >/dev/null 2>&1" || fail "no Error box"
grep -q " SetDiseqc" "$dir/simcard.log" && fail "went on after SetFrequency failed"
xdotool key Return  # the box has the focus
wait_exit 30
[[ $EXIT_CODE == 0 ]] || fail "exit code $EXIT_CODE after the Error box"
[[ $(stat -c %s "$dir/orv.dat") == 256 ]] || fail "settings not saved"
note "failed tune ok"
echo PASS
