#!/usr/bin/env bash
# The main job: type a transponder, choose the DiSEqC port, press the red button,
# watch the level; press again to stop. Judged by the card's log and the screen.
source "$(dirname "$0")/lib.sh"
ensure_display

program_folder run
printf '[signal]\nstep 1500 lock=0 level=0 snr=0\nstep 600000 level=100 snr=8.25\n' >"$dir/scenario.ini"
start_ready "$dir" SIMCARD_SCENARIO="$(winpath "$dir/scenario.ini")"

# A rejected text's message shows for 2 s, "Not found in this version." for 1 s,
# in red in the status box (64,320)-(448,380).
type_transponder "11778V2750"
red_timeline 64 320 384 60 3.5 375 214 >"$dir/rejected.txt"
red_shown "$dir/rejected.txt" 1700 3000 || fail "the rejected text's message did not show for 2 s"
grep -q SetFrequency "$log" && fail "a rejected text was tuned"
red_timeline 64 320 384 60 2.5 475 325 >"$dir/not-found.txt"
red_shown "$dir/not-found.txt" 700 2000 || fail "\"Not found in this version.\" did not show for 1 s"

# DiSEqC "Simple A", then the transponder, then the red button: the card is
# tuned in order, polled with CheckLock until the lock, then for level and SNR.
click 40 210
sleep 0.7
xdotool key Down Return
sleep 0.5
type_transponder "11778 V 27500"
click 375 214
wait_for 20 log_has "$log" "SetDiseqc" || fail "never tuned"
order=$(grep -E -o " Set(LnbTone|LnbFrequency|Polarization|SymbolRate|Frequency|Diseqc) [0-9]+" "$log" | xargs)
[[ $order == "SetLnbTone 1 SetLnbFrequency 10600 SetPolarization 1 SetSymbolRate 27500 SetFrequency 11778000""\
 SetDiseqc 1" ]] || fail "tuning calls: $order"
sleep 0.8
button_is red searching || fail "the button is not red while searching"
wait_for 20 log_has "$log" "GetSignalPercent 100" || fail "no level read"
sleep 1
button_is green signal || fail "the button is not green with a signal"
# The widest figure whole: "100%" read off the screen, its ink ending 2 px or
# more inside the level box (x 175 to 336), whatever face stands in for Arial.
read_level=$(ocr_meter "$E2E_DIR/signal.png")
[[ $read_level == "100%" ]] || fail "the level reads \"$read_level\""
ink=$(convert "$E2E_DIR/signal.png" -crop "190x65+$((ox + 160))+$((oy + 85))" +repage -colorspace gray \
  -threshold 50% -format '%@' info: | awk -F'[x+]' '{print 160 + $3 + $1 - 1}')
((ink <= 334)) || fail "the figures' ink ends at x $ink, in the level box's last 2 px"
after=$(awk '/GetSignalPercent 100/{f=1} f' "$log" | grep -c CheckLock || true)
[[ $after == 0 ]] || fail "CheckLock called $after times with a level"
grep -q "GetSignalToNoise 8.25" "$log" || fail "no SNR read"

# Stop: the idle face again. That no worker outlives a stop, the win test checks.
# The sound thread ends its pause first: at 100 the voice's, up to 1.3 s.
click 375 214
wait_for 3 button_is red stopped || fail "the button is not red 3 s after stop"

# The C band: a second oscillator call. Then the close button while the
# finder runs: the card is released after the poller's last call.
type_transponder "4000 H 27500"
click 375 214
wait_for 20 log_has "$log" "SetFrequency 4000000" || fail "C band not tuned"
oscillators=$(tail -n 20 "$log" | grep -E -o "SetLnbFrequency [0-9]+" | xargs)
[[ $oscillators == "SetLnbFrequency 9750 SetLnbFrequency 5150" ]] || fail "C band oscillators: $oscillators"
close_app
last_poll=$(grep -n -E "GetSignal|CheckLock|UpdateStatus" "$log" | tail -1 | cut -d: -f1)
release=$(grep -n -E " Release " "$log" | tail -1 | cut -d: -f1)
((last_poll < release)) || fail "the card was released before the poller ended"
note "finder ok"

echo PASS
