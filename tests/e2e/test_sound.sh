#!/usr/bin/env bash
# What the person at the dish hears: Wine's ALSA output goes to a file through
# the test's own .asoundrc, so the test can tell sound from silence. Mute
# stays silent; Voice speaks while there is a level.
source "$(dirname "$0")/lib.sh"
ensure_display
trap 'stop_app' EXIT

dir=$E2E_DIR/sound
make_program_folder "$dir"
export HOME=$dir/home
mkdir -p "$HOME"
capture=$dir/capture.raw
cat > "$HOME/.asoundrc" <<ASOUND
pcm.!default { type file slave.pcm "null" file "|cat >> $capture" format "raw" }
pcm.null { type null }
ASOUND
printf '[signal]\nstep 600000 lock=1 level=57 snr=8\n' > "$dir/scenario.ini"
settings() {  # settings MODE: English, the given sound mode
  head -c 256 /dev/zero > "$dir/orv.dat"
  printf "\\x$(printf %02x "$1")" | dd of="$dir/orv.dat" bs=1 seek=4 conv=notrunc status=none
}
loud() { [[ -s $capture ]] && od -An -td2 -w2 -v "$capture" | awk '{v=$1<0?-$1:$1; if(v>300) n++} END{exit !(n>100)}'; }
run_finder() {
  rm -f "$capture"
  start_app "$dir" SIMCARD_SCENARIO="$(winpath "$dir/scenario.ini")"
  wait_for 60 log_has "$dir/simcard.log" "SetDeviceMode" || fail "no start"
  wait_for 30 window_shown || fail "no window"
  sleep 1
  click 300 300; sleep 0.2
  xdotool key End $(printf 'BackSpace %.0s' $(seq 30)); xdotool type --delay 20 "11778 V 27500"
  click 375 214
  wait_for 20 log_has "$dir/simcard.log" "GetSignalPercent 57" || fail "no level"
}

settings 3  # Mute
run_finder
sleep 4
loud && fail "Mute is not silent"
click 370 57; wait_exit 30
note "mute ok"

settings 2  # Voice
run_finder
wait_for 10 loud || fail "Voice says nothing at level 57"
click 370 57; wait_exit 30
[[ $EXIT_CODE == 0 ]] || fail "exit code $EXIT_CODE"
note "voice ok"
echo PASS
