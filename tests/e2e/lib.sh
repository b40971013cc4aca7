# shellcheck shell=bash
# Shared helpers of the end-to-end tests: the real orvalis.exe under Wine and Xvfb
# with the simulated card, driven through xdotool, judged by the card's call log,
# the files the program writes and screenshots.
set -euo pipefail

E2E_BIN=${1:?usage: test_x.sh BUILD_DIR}
E2E_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
E2E_NAME=$(basename "$0" .sh)
E2E_DIR=$E2E_ROOT/build/e2e/$E2E_NAME
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX=${WINEPREFIX:-$E2E_ROOT/build/wineprefix}
APP_PID=
# shellcheck source=../../scripts/screen.sh
source "$E2E_ROOT/scripts/screen.sh"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# Everything a test starts is stopped when it ends, also when it is
# interrupted: at_exit adds a command to the one EXIT trap.
E2E_CLEANUP=()
at_exit() { E2E_CLEANUP+=("$*"); }
run_cleanup() {
  local c
  for c in "${E2E_CLEANUP[@]}"; do eval "$c" >/dev/null 2>&1 || true; done
  E2E_CLEANUP=()
}
trap run_cleanup EXIT
trap 'exit 130' INT TERM
note() { echo "-- $*"; }

# A Windows path for a Unix one: Wine maps / to drive Z:.
winpath() {
  local p=$1
  echo "Z:${p//\//\\}"
}

# program_folder NAME: a fresh program folder, $E2E_DIR/NAME as dir and its card's log as log:
# the exe with its guide and Transponders\ beside it, no settings.
program_folder() {
  # shellcheck disable=SC2034  # the tests' own variables
  dir=$E2E_DIR/$1 log=$E2E_DIR/$1/simcard.log
  rm -rf "$dir"
  mkdir -p "$dir"
  cp "$E2E_BIN/orvalis.exe" "$E2E_BIN/user-guide.html" "$dir/"
  cp -r "$E2E_ROOT/Transponders" "$dir/Transponders" 2>/dev/null || mkdir -p "$dir/Transponders"
}

ensure_display() {
  if [[ -z ${DISPLAY:-} ]]; then
    virtual_screen 1024x768 || fail "no virtual screen"
    at_exit kill "$XVFB_PID"
  fi
  # shellcheck disable=SC2034  # the tests' own variables
  read -r SCREEN_W SCREEN_H < <(xdpyinfo | awk '/dimensions:/ {split($2, a, "x"); print a[1], a[2]}')
}

# start_app FOLDER [VAR=VALUE ...]: the program in the background, until the test ends.
at_exit stop_app
start_app() {
  local dir=$1
  shift
  (cd /tmp && exec env SIMCARD_LOG="$(winpath "$dir/simcard.log")" "$@" wine "$dir/orvalis.exe") &
  APP_PID=$!
}

# wait_for SECONDS COMMAND...: polls a condition every 100 ms until a deadline.
wait_for() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    ((SECONDS < deadline)) || return 1
    sleep 0.1
  done
}

log_has() { [[ -f $1 ]] && grep -q -- "$2" "$1"; }

app_exited() { ! kill -0 "$APP_PID" 2>/dev/null; }

# wait_exit SECONDS: waits for the program to end; its exit code goes to EXIT_CODE.
wait_exit() {
  wait_for "$1" app_exited || {
    kill "$APP_PID" 2>/dev/null
    fail "program did not end within $1 s"
  }
  EXIT_CODE=0
  wait "$APP_PID" || EXIT_CODE=$?
}

main_window() { xdotool search --onlyvisible --name '^Orvalis$' 2>/dev/null | head -n1; }
window_shown() { [[ -n $(main_window) ]]; }

# start_ready FOLDER [VAR=VALUE ...]: start_app, until the card is set up and the window
# painted; its origin in ox oy.
start_ready() {
  start_app "$@"
  wait_for 60 log_has "$1/simcard.log" "SetDeviceMode" || fail "the card was never set up"
  wait_for 30 window_shown || fail "no window"
  sleep 1
  read -r ox oy < <(window_origin)
}

# window_at W H: "X Y" of the program's visible window of that size.
window_at() {
  for id in $(xdotool search --onlyvisible --class orvalis.exe 2>/dev/null); do
    xdotool getwindowgeometry --shell "$id" 2>/dev/null |
      awk -F= -v s="$1x$2" '{v[$1] = $2} END {if (v["WIDTH"] "x" v["HEIGHT"] == s) print v["X"], v["Y"]}'
  done | head -n1
}
shown() { [[ -n $(window_at "$@") ]]; }

# window_origin [ID]: the top-left on the screen of the main window or another.
# shellcheck disable=SC2120  # ID is optional
window_origin() {
  xdotool getwindowgeometry --shell "${1:-$(main_window)}" | awk -F= '/^X=/{x=$2} /^Y=/{y=$2} END{print x, y}'
}

# click X Y: a left click at window coordinates.
click() {
  local ox oy
  read -r ox oy < <(window_origin)
  xdotool mousemove $((ox + $1)) $((oy + $2)) click 1
}

# key KEY...: keys to the main window; one that closes it finds none for its release.
key() { xdotool key --window "$(main_window)" "$@" 2>/dev/null || true; }

# type_transponder TEXT: replaces the text of the transponder box.
type_transponder() {
  click 300 300
  sleep 0.2
  xdotool key End
  xdotool key --repeat 30 --repeat-delay 12 BackSpace
  xdotool type --delay 20 "$1"
}

# choose_satellite POSITION: "23.5e" chosen in the satellite list (the finder stopped). The
# list sorts its labels (" 23.5e - Astra 3B "): that many Downs from its top, which Home
# reaches the second time (under Wine the list's first key starts from an item of its own).
choose_satellite() {
  local downs
  downs=$(find "$dir/Transponders" -name '[0-9][0-9][0-9][0-9].ini' -printf '%f\n' |
    awk '{ k = $0 + 0; printf "%5.1f%s\n", (k > 1800 ? 3600 - k : k) / 10, (k > 1800 ? "w" : "e") }' | LC_ALL=C sort |
    awk -v p="$1" '{ sub(/^ +/, "") } $0 == p { print NR - 1 }')
  click 200 210
  sleep 0.5
  xdotool key Escape Home Home
  for _ in $(seq "$downs"); do xdotool key Down; done
  sleep 0.3
}

# close_app [KEY]: the close button, or that key; the program must end with 0.
# shellcheck disable=SC2120  # KEY is optional
close_app() {
  if (($#)); then key "$@"; else click 370 57; fi
  wait_exit 30
  # xdotool pressed the key through the server but sent its release to the
  # window, which had gone: release it, or it stays held for the next program
  # on this screen, whose window the key's repeat would close.
  if (($#)); then xdotool keyup "$@"; fi
  [[ $EXIT_CODE == 0 ]] || fail "exit code $EXIT_CODE after ${1:-the close button}"
}

screenshot() { import -window root "$1"; }

# red_timeline X Y W H SECONDS PRESS_X PRESS_Y: a press at PRESS_X PRESS_Y,
# then "<ms since the press> <red pixels>" of the box X Y W H every 20 ms
# (window coordinates), read straight from the X server as it happens.
red_timeline() {
  PYTHONPATH=$E2E_ROOT/tools/bench /usr/bin/python3 "$E2E_ROOT/tests/e2e/red_timeline.py" \
    $((ox + $1)) $((oy + $2)) "$3" "$4" "$5" $((ox + $6)) $((oy + $7))
}

# red_shown TIMELINE MIN_MS MAX_MS: a message (200 red pixels more than
# before the press) came within 1.5 s of the press, stayed at least MIN_MS
# from its first reading to its last, and was gone (20 or fewer more) within
# MAX_MS of its first. The times are the screen's: a busy machine moves them
# by the program's delay, not the test's.
red_shown() {
  awk -v min="$2" -v max="$3" '
    $1 < 0 { idle = $2; next }
    $2 >= idle + 200 { if (first == "") first = $1; last = $1; gone = "" }
    $2 <= idle + 20 && first != "" && gone == "" { gone = $1 }
    END {
      printf "red from %s to %s ms, gone at %s ms\n", first, last, gone
      exit !(first != "" && first <= 1500 && last - first >= min && gone != "" && gone - first <= max)
    }' "$1"
}

# pixel FILE X Y: "r g b" of a screen pixel in a screenshot.
pixel() {
  convert "$1" -format "%[fx:int(255*p{$2,$3}.r)] %[fx:int(255*p{$2,$3}.g)] %[fx:int(255*p{$2,$3}.b)]" info:
}

# button_is red|green [SHOT]: the start button's colour on the screen now.
button_is() {
  local shot=$E2E_DIR/${2:-button}.png ox oy
  screenshot "$shot"
  read -r ox oy < <(window_origin)
  local p
  read -r -a p < <(pixel "$shot" $((ox + 375)) $((oy + 200)))
  if [[ $1 == green ]]; then ((p[1] > p[0] + 40)); else ((p[0] > p[1] + 40)); fi
}

# ocr_meter SHOT [X Y]: the level box's text; X Y: the shot's corner in the window (the screen's).
ocr_meter() {
  convert "$1" -crop "162x65+$((${2:-ox} + 175))+$((${3:-oy} + 85))" +repage -resize 300% -colorspace gray \
    -negate "$1.level.png"
  tesseract "$1.level.png" - --psm 7 2>/dev/null | xargs
}
meter_reads() {
  screenshot "$dir/meter.png"
  [[ $(ocr_meter "$dir/meter.png") == "$1" ]]
}

# close_enough "r g b" "r g b" TOLERANCE
close_enough() { awk -v a="$1" -v b="$2" -v t="$3" 'BEGIN { split(a, x); split(b, y)
  for (i = 1; i <= 3; i++) if ((x[i] - y[i]) ^ 2 > t ^ 2) exit 1 }'; }

stop_app() {
  [[ -z $APP_PID ]] || kill "$APP_PID" 2>/dev/null || true
  # The next test starts only once this prefix's server has gone.
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
}
