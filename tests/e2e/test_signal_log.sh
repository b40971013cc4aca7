#!/usr/bin/env bash
# The signal log on two screen sizes, its file against the UTC clock, a log that
# cannot be made, and the Mobile button's dialog, as a user meets them. Dialog
# pixels are client pixels plus the template's 1-pixel border.
source "$(dirname "$0")/lib.sh"
ensure_display
# shellcheck disable=SC2016  # expanded when the test ends
at_exit 'chattr -i "$E2E_DIR"/*/signal_log.txt'

gone() { ! shown "$@"; }
double_click() { xdotool mousemove $((ox + 256)) $((oy + 130)) click --repeat 2 --delay 80 1; }
run_finder() { # a fresh folder, a level of 100, 0 and 57 a second each, the finder started
  program_folder "$1"
  log=$dir/signal_log.txt
  printf '[signal]\nloop=1\nstep 1000 level=100\nstep 1000 level=0\nstep 1000 level=57\n' >"$dir/scenario.ini"
  start_ready "$dir" SIMCARD_SCENARIO="$(winpath "$dir/scenario.ini")"
  type_transponder "11778 V 27500"
  click 375 214
  wait_for 20 log_has "$dir/simcard.log" "GetSignalPercent 100" || fail "the finder did not start"
}
graph_ok() { # PNG LEFT BAR ROW: grid lines at the edges and every minute and 5 %, bar colour, width, height per percent
  /usr/bin/python3 - "$@" <<'PY' || fail "graph in $1"
import sys

from PIL import Image

im = Image.open(sys.argv[1]).convert("RGB")
left, bar, row = map(int, sys.argv[2:])


def px(x, y):
    return im.getpixel((x + 1, y + 1))


W, H = bar * 300, row * 20
G, B, Z = (70, 70, 70), (0, 100, 0), (0, 0, 0)
x, y = left + 225 * bar, 75 + row * 3 // 2
expected = [
    ((left + 60 * bar, y), G),
    ((left - 1, y), Z),
    ((left + W, y), G),
    ((left + W + 1, y), Z),
    ((x, 75), G),
    ((x, 74), Z),
    ((x, 75 + H), G),
    ((x, 76 + H), Z),
    ((x, 75 + row), G),
    ((x, 75 + row // 2), Z),
]
bad = [f"{a}: {px(*a)}" for a, c in expected if px(*a) != c]
tops = {min(ys) for c in range(left + 40, left + W) if (ys := [y for y in range(75, 76 + H) if px(c, y) == B])}
aims = [75 + H - H // 100 * level for level in (100, 57)]  # round caps: up to half a bar higher, edges lower
every_top_aimed = all(any(a - 4 <= t <= a + 3 for a in aims) for t in tops)
every_aim_topped = all(any(a - 4 <= t <= a + 3 for t in tops) for a in aims)
if not every_top_aimed or not every_aim_topped:
    bad.append(f"bar tops {sorted(tops)} for {aims}")
row_px = "".join("g" if px(c, 65 + H) == B else "." for c in range(left, left + W)).split(".")
if any(len(r) % bar for r in row_px[1:]) or not row_px[1:]:  # the first is cut by the edge
    bad.append(f"bar runs {row_px}")
sys.exit(str(bad) if bad else 0)
PY
}

run_finder log1024
((10#$(date -u +%S) < 57)) || sleep 4 # the header's minute is the one of the opening
opened=$(date -u '+%d.%m.%Y  %H:%M')
double_click
wait_for 10 shown 1024 768 || fail "no full-screen log dialog"
[[ $(window_at 1024 768) == "0 0" ]] || fail "the log dialog is not at 0,0: $(window_at 1024 768)"
seen=3
end=$((SECONDS + 18))
while ((SECONDS < end)); do # each record as it comes, against the UTC clock
  mapfile -t new < <(tail -n +$((seen + 1)) "$log")
  now=$(date -u +%s)
  for line in "${new[@]}"; do
    [[ $line =~ ^([0-9]{2}):([0-9]{2})\ {3}(100|57)$'\r'$ ]] || fail "record '$line'"
    (((now - 10#${BASH_REMATCH[1]} * 60 - 10#${BASH_REMATCH[2]}) % 3600 <= 1)) || fail "record $line at $(date -u +%T)"
    seen=$((seen + 1))
  done
  sleep 0.2
done
screenshot "$dir/log.png"
graph_ok "$dir/log.png" 62 3 30 # bars of both levels, none at 0
xdotool key Escape
wait_for 5 gone 1024 768 || fail "Escape did not close the log"
[[ $(head -n 3 "$log") == ";Orvalis signal level log (GMT 0) $opened"$'\r\n;Format: Min:Sec Level\r\n\r' ]] ||
  fail "header $(head -n 1 "$log")"
# shellcheck disable=SC2015  # fails unless all hold
! grep -q -v $'\r$' "$log" && grep -q $'   100\r' "$log" && grep -q $'   57\r' "$log" ||
  fail "records of 100 and 57 in CR LF lines"
echo STALE >>"$log"
double_click
wait_for 10 shown 1024 768 || fail "no second log dialog"
# shellcheck disable=SC2015  # fails unless both hold
wait_for 3 log_has "$log" "   " && ! grep -q STALE "$log" || fail "the second opening did not start a new file"
xdotool mousemove 938 739 click 1
wait_for 5 gone 1024 768 || fail "no close button at 912,728"
# A log that cannot be made (root writes to read-only files: immutable, or a folder).
chattr +i "$log" 2>/dev/null || {
  rm -f "$log"
  mkdir "$log"
}
polls=$(grep -c GetSignalPercent "$dir/simcard.log")
double_click
sleep 2
# shellcheck disable=SC2015  # fails unless both hold
! shown 1024 768 && ! app_exited || fail "a log dialog without its file"
(($(grep -c GetSignalPercent "$dir/simcard.log") > polls + 20)) || fail "the finder stopped"
chattr -i "$log" 2>/dev/null
note "log dialog ok"

click 408 429
wait_for 5 shown 512 165 || fail "no server dialog" # Mobile
[[ $(window_at 512 165) == "$ox $((oy + 345))" ]] || fail "server dialog at $(window_at 512 165)"
screenshot "$dir/server.png"
red_timeline 31 396 460 60 3.5 321 461 >"$dir/server-message.txt" # Start / Stop
red_shown "$dir/server-message.txt" 1700 3000 || fail "the server dialog's message did not stay two seconds"
wait_for 3 gone 512 165 || fail "the server dialog stayed after its message"
click 408 429
wait_for 5 shown 512 165 || fail "no second server dialog"
xdotool mousemove $((ox + 477)) $((oy + 369)) click 1
wait_for 5 gone 512 165 || fail "x did not close it"
close_app Escape
note "server dialog ok"

stop_app
virtual_screen 1920x1080 || fail "no 1920x1080 screen"
at_exit kill "$XVFB_PID"
run_finder log1920
double_click
wait_for 10 shown 1920 1080 || fail "no log dialog on 1920x1080"
sleep 12
screenshot "$dir/log.png"
graph_ok "$dir/log.png" 60 6 46
echo PASS
