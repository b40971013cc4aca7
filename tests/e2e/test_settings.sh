#!/usr/bin/env bash
# The user's choices survive a restart, foreign bytes in "orv.dat" survive
# too, and damaged settings or transponder files neither crash the program
# nor lose a file.
source "$(dirname "$0")/lib.sh"
ensure_display

u32() { od -An -tu4 -j "$2" -N4 "$1" | tr -d ' '; }

dir=$E2E_DIR/restart
make_program_folder "$dir"
# Foreign bytes where the program keeps nothing: at 20 and beyond 103.
head -c 256 /dev/zero > "$dir/orv.dat"
printf 'FOREIGN' | dd of="$dir/orv.dat" bs=1 seek=20 conv=notrunc status=none
printf 'TAIL' | dd of="$dir/orv.dat" bs=1 seek=200 conv=notrunc status=none
printf '\xc0\x00\x00\x00' | dd of="$dir/orv.dat" bs=1 seek=12 conv=notrunc status=none  # 19.2e
start_app "$dir"
wait_for 60 log_has "$dir/simcard.log" "SetDeviceMode" || fail "no start"
wait_for 30 window_shown || fail "no window"
sleep 1
click 65 380; sleep 0.5            # Lang.: German
click 106 427; sleep 0.5           # Sound: Tone
click 106 427; sleep 0.5           # Sound: Voice
click 40 210; sleep 0.7; xdotool key Down Down Return; sleep 0.5   # DiSEqC "Simple B"
click 300 300; sleep 0.2
xdotool key End $(printf 'BackSpace %.0s' $(seq 30)); xdotool type --delay 20 "11836 H 27500"
click 370 57
wait_exit 30
[[ $EXIT_CODE == 0 ]] || fail "exit code $EXIT_CODE"
[[ $(stat -c %s "$dir/orv.dat") == 256 ]] || fail "orv.dat is not 256 bytes"
[[ $(u32 "$dir/orv.dat" 0) == 1 ]] || fail "language $(u32 "$dir/orv.dat" 0), not German"
[[ $(u32 "$dir/orv.dat" 4) == 2 ]] || fail "sound mode $(u32 "$dir/orv.dat" 4), not Voice"
[[ $(u32 "$dir/orv.dat" 8) == 2 ]] || fail "DiSEqC $(u32 "$dir/orv.dat" 8), not Simple B"
[[ $(u32 "$dir/orv.dat" 12) == 192 ]] || fail "satellite $(u32 "$dir/orv.dat" 12)"
[[ $(u32 "$dir/orv.dat" 16) == 11836000 ]] || fail "frequency $(u32 "$dir/orv.dat" 16)"
[[ $(dd if="$dir/orv.dat" bs=1 skip=20 count=7 status=none) == FOREIGN ]] || fail "bytes at 20 lost"
[[ $(dd if="$dir/orv.dat" bs=1 skip=200 count=4 status=none) == TAIL ]] || fail "bytes beyond 103 lost"
cp "$dir/orv.dat" "$dir/orv.first"

# Started again: the same choices on the face, and saved unchanged.
start_app "$dir"
wait_for 60 log_has "$dir/simcard.log" "SetDeviceMode" || fail "no restart"
wait_for 30 window_shown || fail "no window"
sleep 1
screenshot "$dir/restarted.png"
click 370 57
wait_exit 30
cmp -s "$dir/orv.dat" "$dir/orv.first" || fail "a restart changed the settings"
note "restart ok"

# Damaged input: random settings, a short file, and transponder files that
# are empty, binary, without '=', with a 10,000-character name, read-only.
dir=$E2E_DIR/damaged
make_program_folder "$dir"
head -c 256 /dev/urandom > "$dir/orv.dat"
t=$dir/Transponders
: > "$t/0001.ini"
head -c 4000 /dev/urandom > "$t/0002.ini"
printf 'no equals here\r\nat all\r\n' > "$t/0003.ini"
{ printf '[SATTYPE]\r\n1=0004\r\n2='; head -c 10000 /dev/zero | tr '\0' 'N'; printf '\r\n0=1\r\n1=11778,V,27500\r\n'; } > "$t/0004.ini"
for i in $(seq 1000 1599); do printf '1=x\r\n2=Many %d\r\n0=1\r\n1=12000,H,27500\r\n' "$i" > "$t/$(printf %04d $((i + 1000)))".ini; done
chmod 444 "$t/0192.ini"
(cd "$t" && md5sum ./*.ini) > "$dir/before.md5"
for settings in random short; do
  [[ $settings == short ]] && head -c 7 /dev/urandom > "$dir/orv.dat"
  start_app "$dir"
  wait_for 60 log_has "$dir/simcard.log" "SetDeviceMode" || fail "no start with $settings settings"
  wait_for 30 window_shown || fail "no window with $settings settings"
  sleep 1
  click 370 57
  wait_exit 30
  [[ $EXIT_CODE == 0 ]] || fail "exit code $EXIT_CODE with $settings settings"
  [[ $(stat -c %s "$dir/orv.dat") == 256 ]] || fail "orv.dat not rewritten whole"
  rm -f "$dir/simcard.log"
done
(cd "$t" && md5sum -c --quiet "$dir/before.md5") || fail "a transponder file changed"
note "damaged input ok"
echo PASS
