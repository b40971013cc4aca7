#!/usr/bin/env bash
# What the person at the dish hears: Wine's ALSA output goes through the test's
# .asoundrc to a file per clip, and clips.py names each clip by its samples. The
# schedule of each mode is the host test's; here, that it is heard.
source "$(dirname "$0")/lib.sh"
ensure_display

program_folder sound
export HOME=$dir/home
mkdir -p "$HOME"
capture=$dir/capture
# Wine opens the device once per clip and writes its samples straight away:
# each clip goes to a file named by the moment it started.
cat >"$HOME/.asoundrc" <<ASOUND
pcm.!default { type file slave.pcm "null" format "raw" file "|cat > $capture/\$(date +%%s.%%N).raw" }
pcm.null { type null }
ASOUND

now_ms() { date +%s%3N; }
# heard [FROM_MS [TO_MS]]: "<ms> <name>" for each clip started in the window.
heard() { python3 "$E2E_ROOT/tests/e2e/clips.py" "$capture" "$E2E_ROOT/resources/sounds" |
  awk -v from="${1:-0}" -v to="${2:-99999999999999}" '$1 >= from && $1 < to'; }
names() { heard "$@" | awk '{printf "%s%s", n++ ? " " : "", $2}'; }
# gaps [NAME [FROM [TO]]]: the ms between successive clips NAME (any clip: "").
gaps() { heard "${@:2}" | awk -v c="$1" 'c == "" || $2 == c {if (t) printf "%s%d", n++ ? " " : "", $1 - t; t = $1}'; }
# within "GAPS" LOW HIGH [MEDIAN_LOW MEDIAN_HIGH]: there are gaps, all in range. Wine's
# player thread and a new sink process can delay a clip by a few hundred ms now
# and then on a loaded machine; a wrong pause moves the median.
within() {
  tr ' ' '\n' <<<"$1" | sort -n | awk -v lo="$2" -v hi="$3" -v mlo="${4:-$2}" -v mhi="${5:-$3}" '
    NF {g[++n] = $1} END {m = n % 2 ? g[(n + 1) / 2] : (g[n / 2] + g[n / 2 + 1]) / 2
    exit !n || g[1] < lo || g[n] > hi || m < mlo || m > mhi}'
}

# start LANGUAGE MODE SCENARIO_TEXT: the program idle, a transponder typed.
start() {
  python3 -c "import sys; open(sys.argv[1], 'wb').write(bytes([$1, 0, 0, 0, $2]) + bytes(251))" "$dir/orv.dat"
  printf '[signal]\n%b' "$3" >"$dir/scenario.ini"
  [[ -d $capture ]] && mv "$capture" "$capture.$SECONDS" # kept for a look after a failure
  rm -f "$dir/simcard.log"
  mkdir -p "$capture"
  start_ready "$dir" SIMCARD_SCENARIO="$(winpath "$dir/scenario.ini")"
  type_transponder "11778 V 27500"
}
find_signal() {
  click 375 214
  wait_for 20 log_has "$dir/simcard.log" "SetFrequency" || fail "not tuned"
}
sound_button() { click 105 430; }

# --- German Voice, then Mute and Birds chosen while the finder runs, then stop.
start 1 2 'step 600000 lock=1 level=57 snr=8\n'
find_signal
sleep 6.5
t_mute=$(now_ms)
sound_button
sleep 3.5 # Voice -> Mute
t_birds=$(now_ms)
sound_button
sleep 7 # Mute -> Birds
t_stop=$(now_ms)
click 375 214
# The main thread shows "Please wait ..." (a light box at 100,350) until the
# workers have gone; then the repaint brings back the idle face.
box_shown() {
  import -window root -crop "1x1+$((ox + 100))+$((oy + 350))" "$dir/probe.png"
  local rgb
  read -r -a rgb < <(pixel "$dir/probe.png" 0 0)
  ((rgb[0] > 150))
}
wait_for 3 box_shown || fail '"Please wait ..." never showed while stopping'
# Birds pause longest, up to 2 s between calls: a stop waits for the pass under
# way and one short pass that finds the level gone.
while box_shown; do (($(now_ms) - t_stop < 3000)) || fail "the stop in Birds mode took over 3 s"; done
stop_ms=$(($(now_ms) - t_stop))
close_app

voice=$(names 0 "$t_mute")
[[ $voice =~ ^(DE5\ DE7\ ){4} ]] || fail "Voice at 57 said: $voice"
cycle=$(gaps DE5 0 "$t_mute")
within "$cycle" 1000 1600 1240 1360 || fail "Voice cycle: $cycle"
# A pass under way when Mute is chosen (late under load) still says its second digit.
muted=$(names $((t_mute + 1500)) "$t_birds")
[[ -z $muted ]] || fail "Mute played: $muted"
birds=$(names "$t_birds" "$t_stop")
[[ $birds =~ ^(BIRD[0-3]\ ?){4,7}$ ]] || fail "Birds played: $birds"
spacing=$(gaps "" "$t_birds" "$t_stop")
within "$spacing" 800 2300 || fail "birds spaced $spacing ms"
note "Voice cycle $cycle ms; Birds $birds, spaced $spacing ms; the stop returned after $stop_ms ms"

# --- Previews while idle, then the alarm while there is no signal.
start 0 5 'step 4000 lock=0\nstep 600000 lock=1 level=60 snr=9\n'
t_preview=$(now_ms)
for _ in 1 2 3 4 5 6; do
  sound_button
  sleep 1.6
done # Auto, Tone, Voice, Mute, Birds, alarm
preview=$(names "$t_preview")
[[ $preview == "TONE TONE EN0 BIRD0 BIRD1 ALARM" ]] || fail "previews: $preview"
bird_pair=$(gaps "" "$t_preview" | cut -d' ' -f4) # BIRD0 to BIRD1
within "$bird_pair" 900 1400 || fail "the Birds preview's calls $bird_pair ms apart"
t_alarm=$(now_ms)
find_signal
wait_for 20 log_has "$dir/simcard.log" "GetSignalPercent 60" || fail "no level"
t_signal=$(now_ms)
sleep 3
t_close=$(now_ms)
close_app
# The last pass after the stop sees no level and may sound once more; an alarm
# begun just before the level came may be heard a few hundred ms late.
alarms=$(names "$t_alarm" "$t_close")
[[ $alarms =~ ^(ALARM\ ?){5,}$ ]] || fail "no signal, alarm mode played: $alarms"
late=$(heard "$t_alarm" "$t_close" | awk -v s="$t_signal" '$1 > s + 500' | wc -l)
((late == 0)) || fail "$late alarms after the signal came"
note "alarm: $(wc -w <<<"$alarms") times, none once the level came"
echo PASS
