#!/usr/bin/env bash
# Start-up and the end: the round window centred, the card opened in order, the
# choices and foreign bytes in "orv.dat" kept over a restart; the notice without
# the driver, a silent end with a failing card; damaged files lose nothing.
source "$(dirname "$0")/lib.sh"
ensure_display

program_folder card
# Foreign bytes where the program keeps nothing, at 20 and beyond 103; 19.2e chosen.
python3 -c "
import sys
b = bytearray(256)
b[12] = 192
b[20:27] = b'FOREIGN'
b[200:204] = b'TAIL'
open(sys.argv[1], 'wb').write(b)" "$dir/orv.dat"
start_ready "$dir"
screenshot "$dir/startup.png"
((ox == SCREEN_W / 2 - 256 && oy == SCREEN_H / 2 - 256)) || fail "window at $ox,$oy, not centred"
desktop=$(pixel "$dir/startup.png" 2 2)
outside=$(pixel "$dir/startup.png" $((ox + 4)) $((oy + 4)))
close_enough "$desktop" "$outside" 0 || fail "outside the circle shows $outside, not the desktop $desktop"
for p in "256 256" "256 30" "60 256"; do
  read -r x y <<<"$p"
  close_enough "$(pixel "$dir/startup.png" $((ox + x)) $((oy + y)))" "$desktop" 8 &&
    fail "inside the circle at $x,$y shows the desktop"
done
order=$(grep -E -o 'CreateInstance|Initialize|SetDeviceMode [0-9]+' "$dir/simcard.log" | tr '\n' ',')
[[ $order == CreateInstance,Initialize,"SetDeviceMode 6", ]] || fail "card calls: $order"

# German, Sound twice (Tone, Voice), DiSEqC "Simple B" and a transponder.
click 65 380
sleep 0.5
click 106 427
sleep 0.5
click 106 427
sleep 0.5
click 40 210
sleep 0.7
xdotool key Down Down Return
sleep 0.5
type_transponder "11836 H 27500"
close_app
[[ ! -e $dir/orvss2099.dat ]] || fail "temporary skin file left behind"
[[ $(stat -c %s "$dir/orv.dat") == 256 ]] || fail "orv.dat is not 256 bytes"
saved=$(od -An -tu4 -N20 "$dir/orv.dat" | xargs)
[[ $saved == "1 2 2 192 11836000" ]] || fail "language, sound, DiSEqC, satellite, frequency saved: $saved"
[[ $(head -c 27 "$dir/orv.dat" | tail -c 7)$(head -c 204 "$dir/orv.dat" | tail -c 4) == FOREIGNTAIL ]] ||
  fail "foreign bytes lost"
# Started again and ended with Escape: the same settings saved.
cp "$dir/orv.dat" "$dir/orv.first"
rm "$dir/simcard.log"
start_ready "$dir"
close_app Escape
cmp -s "$dir/orv.dat" "$dir/orv.first" || fail "a restart changed the settings"
note "window, card, choices and restart ok"

# Without the card's driver: the notice over the window, OK ends with 0.
program_folder nocard
WINEPREFIX=$E2E_ROOT/build/wineprefix-nocard start_app "$dir"
wait_for 60 shown 512 196 || fail "no driver notice"
sleep 1
screenshot "$dir/nocard.png"
read -r ox oy < <(window_origin)
# The notice lies over the window's middle band: its panel colour shows there.
panel=$(pixel "$dir/nocard.png" $((ox + 30)) $((oy + 160 + 30)))
close_enough "$panel" "205 205 213" 12 || fail "no panel where the notice should be: $panel"
# Enter does not close it; its one OK button does.
xdotool key Return
sleep 0.5
app_exited && fail "Enter closed the notice"
xdotool mousemove $((ox + 256)) $((oy + 160 + 196 - 45 + 10)) click 1
wait_exit 30
[[ $EXIT_CODE == 0 ]] || fail "exit code $EXIT_CODE after the notice"
[[ $(stat -c %s "$dir/orv.dat") == 256 ]] || fail "settings not saved after the notice"
note "driver notice ok"

# Random settings; transponder files empty, binary, without '=', with a
# 10,000-character name, read-only, and more than the list holds.
program_folder damaged
head -c 256 /dev/urandom >"$dir/orv.dat"
t=$dir/Transponders
: >"$t/0001.ini"
head -c 4000 /dev/urandom >"$t/0002.ini"
printf 'no equals here\r\nat all\r\n' >"$t/0003.ini"
long=$(printf 'N%.0s' $(seq 10000))
printf '[SATTYPE]\r\n1=0004\r\n2=%s\r\n0=1\r\n1=11778,V,27500\r\n' "$long" >"$t/0004.ini"
for i in $(seq 2000 2599); do printf '1=x\r\n2=Many %d\r\n0=1\r\n1=12000,H,27500\r\n' "$i" >"$t/$i.ini"; done
chmod 444 "$t/0192.ini"
(cd "$t" && md5sum ./*.ini) >"$dir/before.md5"
start_ready "$dir"
close_app
[[ $(stat -c %s "$dir/orv.dat") == 256 ]] || fail "orv.dat not rewritten whole after random settings"
(cd "$t" && md5sum -c --quiet "$dir/before.md5") || fail "a transponder file changed"
note "damaged input ok"
echo PASS
