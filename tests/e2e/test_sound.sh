#!/usr/bin/env bash
# What the person at the dish hears. Wine's ALSA output goes to a file sink
# through the test's own .asoundrc; Wine opens the device once per clip, so
# clip_sink.py keeps every clip with the moment it started, and clips.py names
# it by comparing its samples with the WAV files the program carries.
source "$(dirname "$0")/lib.sh"
ensure_display

dir=$E2E_DIR/sound
make_program_folder "$dir"
export HOME=$dir/home
mkdir -p "$HOME"
capture=$dir/capture
cat > "$HOME/.asoundrc" <<ASOUND
pcm.!default { type file slave.pcm "null" file "|python3 $E2E_ROOT/tests/e2e/clip_sink.py $capture" format "raw" }
pcm.null { type null }
ASOUND

now_ms() { date +%s%3N; }
# heard [FROM_MS [TO_MS]]: "<ms> <name>" for each clip started in the window.
heard() {
  python3 "$E2E_ROOT/tests/e2e/clips.py" "$capture" "$E2E_ROOT/resources/sounds" |
    awk -v from="${1:-0}" -v to="${2:-99999999999999}" '$1 >= from && $1 < to'
}
names() { heard "$@" | awk '{printf "%s%s", n++ ? " " : "", $2}'; }
# gaps NAME [FROM [TO]]: the times in ms between successive clips NAME.
gaps() { heard "${@:2}" | awk -v c="$1" '$2 == c {if (t) printf "%s%d", n++ ? " " : "", $1 - t; t = $1}'; }
# within "GAPS" LOW HIGH [MEDIAN_LOW MEDIAN_HIGH]: there are gaps, each is in
# [LOW, HIGH] and their median in [MEDIAN_LOW, MEDIAN_HIGH]. A clip's start is
# seen through Wine's player thread and a new sink process, which a loaded
# machine can delay by a few hundred ms now and then; a wrong pause moves the
# median.
within() {
  awk -v lo="$2" -v hi="$3" -v mlo="${4:-$2}" -v mhi="${5:-$3}" 'BEGIN {
    n = split(ARGV[1], g, " "); ARGV[1] = ""
    if (n == 0) exit 1
    for (i = 1; i <= n; i++) if (g[i] < lo || g[i] > hi) exit 1
    for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (g[j] < g[i]) {t = g[i]; g[i] = g[j]; g[j] = t}
    m = n % 2 ? g[(n + 1) / 2] : (g[n / 2] + g[n / 2 + 1]) / 2
    exit m < mlo || m > mhi}' "$1"
}

# settings LANGUAGE MODE: a fresh settings file with both sound settings.
settings() {
  head -c 256 /dev/zero > "$dir/orv.dat"
  printf "\\x$(printf %02x "$1")" | dd of="$dir/orv.dat" bs=1 seek=0 conv=notrunc status=none
  printf "\\x$(printf %02x "$2")" | dd of="$dir/orv.dat" bs=1 seek=4 conv=notrunc status=none
}
# start SCENARIO_TEXT: the program with the card playing the scenario, idle.
start() {
  printf '[signal]\n%b' "$1" > "$dir/scenario.ini"
  [[ -d $capture ]] && mv "$capture" "$capture.$SECONDS"  # kept for a look after a failure
  rm -f "$dir/simcard.log"; mkdir -p "$capture"
  start_app "$dir" SIMCARD_SCENARIO="$(winpath "$dir/scenario.ini")"
  wait_for 60 log_has "$dir/simcard.log" "SetDeviceMode" || fail "no start"
  wait_for 30 window_shown || fail "no window"
  sleep 1
  click 300 300; sleep 0.2
  xdotool key End $(printf 'BackSpace %.0s' $(seq 30)); xdotool type --delay 20 "11778 V 27500"
}
# probe X Y: "r g b" of the window's pixel at X, Y, read from the screen now.
probe() {
  local ox oy; read -r ox oy < <(window_origin)
  import -window root -crop "1x1+$((ox + $1))+$((oy + $2))" "$dir/probe.png"
  pixel "$dir/probe.png" 0 0
}
find_signal() { click 375 214; wait_for 20 log_has "$dir/simcard.log" "SetFrequency" || fail "not tuned"; }
sound_button() { click 105 430; }
close_app() { click 370 57; wait_exit 30; [[ $EXIT_CODE == 0 ]] || fail "exit code $EXIT_CODE"; }

# --- Voice, then Mute and Birds chosen while the finder runs, then stop.
settings 0 2  # English, Voice
start 'step 600000 lock=1 level=57 snr=8\n'
find_signal
sleep 6.5
t_mute=$(now_ms); sound_button  # Voice -> Mute
sleep 3.5
t_birds=$(now_ms); sound_button  # Mute -> Birds
sleep 7
t_stop=$(now_ms); click 375 214
# The main thread shows "Please wait ..." (a light box) until the workers
# have gone; then the repaint brings back the idle face.
box_shown() { local rgb=($(probe 100 350)); (( rgb[0] > 150 )); }
wait_for 3 box_shown || fail '"Please wait ..." never showed while stopping'
while box_shown; do
  (( $(now_ms) - t_stop < 5000 )) || fail "the stop in Birds mode took over 5 s"
done
stop_ms=$(( $(now_ms) - t_stop ))
close_app

voice=$(names 0 "$t_mute")
[[ $voice =~ ^(EN5\ EN7\ ){4} ]] || fail "Voice at 57 said: $voice"
pairs=$(heard 0 "$t_mute" | awk '$2 == "EN5" {t = $1} $2 == "EN7" && t {printf "%s%d", n++ ? " " : "", $1 - t}')
within "$pairs" 300 750 450 560 || fail "EN5 to EN7 gaps: $pairs"
cycle=$(gaps EN5 0 "$t_mute")
within "$cycle" 1000 1600 1240 1360 || fail "Voice cycle: $cycle"
note "Voice 57: EN5 -> EN7 $pairs ms; cycle $cycle ms"
# A pass under way when Mute is chosen (the click may take a while to arrive
# under load) still says its second digit; nothing may follow it.
muted=$(names $((t_mute + 1500)) "$t_birds")
[[ -z $muted ]] || fail "Mute played: $muted"
birds=$(names "$t_birds" "$t_stop")
[[ $birds =~ ^(BIRD[0-3]\ ?){4,7}$ ]] || fail "Birds played: $birds"
[[ $(tr ' ' '\n' <<< "$birds" | sort -u | wc -l) -ge 2 ]] || fail "always the same bird: $birds"
spacing=$(heard "$t_birds" "$t_stop" | awk '{if (t) printf "%s%d", n++ ? " " : "", $1 - t; t = $1}')
within "$spacing" 800 2300 || fail "birds spaced $spacing ms"
note "Birds: $birds, spaced $spacing ms; the stop returned after $stop_ms ms"
(( stop_ms <= 2500 )) || fail "the stop in Birds mode took $stop_ms ms"

# --- Auto in German: three tones, then the level spoken; a loss of signal
# starts the tones again.
settings 1 0  # German, Auto
start 'step 1000 lock=0\nstep 6000 lock=1 level=40 snr=6\nstep 2000 lock=0\nstep 600000 lock=1 level=40 snr=6\n'
find_signal
sleep 13
close_app
auto=$(names)
[[ $auto =~ ^TONE\ TONE\ TONE\ (DE4\ DE0\ ){1,3}TONE\ TONE\ TONE ]] || fail "Auto at 40 played: $auto"
tones=$(heard | awk '$2 == "TONE" {if (t) printf "%s%d", n++ ? " " : "", $1 - t; t = $1} $2 != "TONE" {t = 0}')
within "$tones" 1200 1600 1350 1450 || fail "tones $tones ms apart"
note "Auto: $auto; tones $tones ms apart"

# --- Previews while idle, then the alarm while there is no signal.
settings 0 5  # English, alarm
start 'step 4000 lock=0\nstep 600000 lock=1 level=60 snr=9\n'
t_preview=$(now_ms)
for _ in 1 2 3 4 5 6; do sound_button; sleep 1.6; done  # Auto, Tone, Voice, Mute, Birds, alarm
preview=$(names "$t_preview")
[[ $preview == "TONE TONE EN0 BIRD0 BIRD1 ALARM" ]] || fail "previews: $preview"
bird_pair=$(heard "$t_preview" | awk '$2 == "BIRD0" {t = $1} $2 == "BIRD1" {print $1 - t}')
within "$bird_pair" 900 1400 || fail "the Birds preview's calls $bird_pair ms apart"
t_alarm=$(now_ms)
find_signal
wait_for 20 log_has "$dir/simcard.log" "GetSignalPercent 60" || fail "no level"
t_signal=$(now_ms)
sleep 3
t_close=$(now_ms)
close_app
# The last pass after the stop sees no level and may sound once more. An
# alarm begun just before the level came may be heard up to a few hundred ms
# late on a loaded machine; an alarm that goes on would be heard every 0.55 s.
alarms=$(names "$t_alarm" "$t_close")
[[ $alarms =~ ^(ALARM\ ?){5,}$ ]] || fail "no signal, alarm mode played: $alarms"
late=$(heard "$t_alarm" "$t_close" | awk -v s="$t_signal" '$1 > s + 500' | wc -l)
(( late == 0 )) || fail "$late alarms after the signal came"
ring=$(gaps ALARM "$t_alarm" "$t_close")
within "$ring" 350 800 500 600 || fail "alarms $ring ms apart"
note "alarm: $(wc -w <<< "$alarms") times, $ring ms apart, none once the level came"
echo PASS
