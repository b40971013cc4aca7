#!/usr/bin/env bash
# Start-up as a user sees it: the round window centred over the desktop, the
# card opened in order, and a clean end on Escape; without the card the
# driver notice, and with a failing card a silent end.
source "$(dirname "$0")/lib.sh"
ensure_display

dir=$E2E_DIR/card
make_program_folder "$dir"
start_app "$dir"
wait_for 60 log_has "$dir/simcard.log" "SetDeviceMode" || fail "the card was never set up"
wait_for 30 window_shown || fail "no window"
sleep 1  # let the first paint reach the screen
screenshot "$dir/startup.png"

read -r ox oy < <(window_origin)
(( ox == SCREEN_W / 2 - 256 && oy == SCREEN_H / 2 - 256 )) || fail "window at $ox,$oy, not centred"
desktop=$(pixel "$dir/startup.png" 2 2)
outside=$(pixel "$dir/startup.png" $((ox + 4)) $((oy + 4)))
close_enough "$desktop" "$outside" 0 || fail "outside the circle shows $outside, not the desktop $desktop"
for p in "256 256" "256 30" "60 256"; do
  read -r x y <<<"$p"
  inside=$(pixel "$dir/startup.png" $((ox + x)) $((oy + y)))
  close_enough "$inside" "$desktop" 8 && fail "inside the circle at $x,$y shows the desktop"
done

# The card: created, then Initialize, then SetDeviceMode 6, in that order.
order=$(grep -E -o 'CreateInstance|Initialize|SetDeviceMode [0-9]+' "$dir/simcard.log" | tr '\n' ',')
[[ $order == CreateInstance,Initialize,"SetDeviceMode 6", ]] || fail "card calls: $order"

key Escape
wait_exit 30; code=$EXIT_CODE
[[ $code == 0 ]] || fail "exit code $code after Escape"
[[ ! -e $dir/orvss2099.dat ]] || fail "temporary skin file left behind"
[[ $(stat -c %s "$dir/orv.dat") == 256 ]] || fail "orv.dat is not 256 bytes"
note "window and card ok"

# Without the card's driver: the notice over the window, OK ends with 0.
dir=$E2E_DIR/nocard
make_program_folder "$dir"
WINEPREFIX=$E2E_ROOT/build/wineprefix-nocard start_app "$dir"
wait_for 60 bash -c '[[ $(xdotool search --onlyvisible --class orvalis.exe 2>/dev/null | wc -l) -ge 2 ]]' \
  || fail "no driver notice"
sleep 1
screenshot "$dir/nocard.png"
read -r ox oy < <(window_origin)
# The notice lies over the window's middle band: its panel colour shows there.
panel=$(pixel "$dir/nocard.png" $((ox + 30)) $((oy + 160 + 30)))
close_enough "$panel" "205 205 213" 12 || fail "no panel where the notice should be: $panel"
# Enter does not close it; its one OK button does.
xdotool key Return; sleep 0.5
app_exited && fail "Enter closed the notice"
xdotool mousemove $((ox + 256)) $((oy + 160 + 196 - 45 + 10)) click 1
wait_exit 30; code=$EXIT_CODE
[[ $code == 0 ]] || fail "exit code $code after the notice"
[[ $(stat -c %s "$dir/orv.dat") == 256 ]] || fail "settings not saved after the notice"
note "driver notice ok"

# A card that fails Initialize or SetDeviceMode: a quiet end with 0.
for fault in Initialize SetDeviceMode; do
  dir=$E2E_DIR/fail-$fault
  make_program_folder "$dir"
  printf '[faults]\nfail=%s\n' "$fault" > "$dir/scenario.ini"
  start_app "$dir" SIMCARD_SCENARIO="$(winpath "$dir/scenario.ini")"
  wait_exit 60; code=$EXIT_CODE
  [[ $code == 0 ]] || fail "exit code $code with $fault failing"
  grep -q " $fault.* -> 0x" "$dir/simcard.log" || fail "$fault was never called"
  [[ $fault == Initialize ]] && grep -q " SetDeviceMode.* -> 0x" "$dir/simcard.log" && fail "went on after Initialize failed"
  [[ $(stat -c %s "$dir/orv.dat") == 256 ]] || fail "settings not saved with $fault failing"
done
note "card faults ok"
echo "PASS"
