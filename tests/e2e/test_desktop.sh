#!/usr/bin/env bash
# The interactive scripts/run on a desktop with a window manager (openbox), as a
# user starts it: both windows are the manager's, dishsim.exe in its frame and
# Orvalis round without one; typing reaches Orvalis, the arrow keys dishsim;
# Help's OK hands the guide beside the program to the browser.
source "$(dirname "$0")/lib.sh"
export WINEPREFIX=$E2E_ROOT/build/wineprefix-desktop
unset DISPLAY
ensure_display
mkdir -p "$E2E_DIR/bin"
openbox >"$E2E_DIR/openbox.log" 2>&1 &
wm=$!
at_exit kill $wm
wait_for 30 eval 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' ||
  fail "no window manager on $DISPLAY: openbox $(kill -0 $wm 2>/dev/null && echo running || echo gone):" \
    "$(tail -n3 "$E2E_DIR/openbox.log")"

# The browser: a stand-in that notes what it was asked to open.
rm -f "$E2E_DIR/opened.txt"
printf '#!/bin/sh\necho "$@" >> "%s/opened.txt"\n' "$E2E_DIR" >"$E2E_DIR/bin/xdg-open"
chmod +x "$E2E_DIR/bin/xdg-open"
log=$E2E_ROOT/build/run/Orvalis/simcard.log
PATH=$E2E_DIR/bin:$PATH "$E2E_ROOT/scripts/run" >"$E2E_DIR/run.out" 2>&1 &
APP_PID=$!
sim() { xdotool search --onlyvisible --name '^Virtual dish$' 2>/dev/null | head -n1; }
# shellcheck disable=SC2016  # evaluated at each try
wait_for 240 eval '[[ -n $(main_window) && -n $(sim) ]]' || fail "no windows: $(cat "$E2E_DIR/run.out")"
sleep 2 # dishsim's activation, which takes the keyboard

clients=$(xprop -root _NET_CLIENT_LIST)
for id in $(main_window) $(sim); do
  [[ $clients == *$(printf '0x%x' "$id")* ]] || fail "window $id not in the manager's list: $clients"
done
frame() { xprop -id "$1" _NET_FRAME_EXTENTS | grep -o '[0-9, ]*$' | tr -d ' '; }
[[ $(frame "$(main_window)") == 0,0,0,0 ]] || fail "Orvalis got a frame: $(frame "$(main_window)")"
(($(frame "$(sim)" | cut -d, -f3) >= 10)) || fail "dishsim has no title bar of the manager's: $(frame "$(sim)")"

# Typing into Orvalis, then the arrow keys into dishsim.
type_transponder "12302 V 27500"
click 375 214
wait_for 20 log_has "$log" "SetFrequency 12302000" || fail "the typed transponder was not tuned"
wait_for 20 log_has "$log" "az=173\.5[0-9]* .* live" || fail "the card does not follow dishsim"
read -r sx sy < <(window_origin "$(sim)")
xdotool mousemove $((sx + 5)) $((sy + 395)) click 1
sleep 0.5
xdotool key shift+Right
wait_for 20 log_has "$log" "az=174\.5[0-9]* .* live" || fail "dishsim's arrow keys did not turn the dish"

# Help: the box's second line names the guide; OK opens it.
click 375 214
wait_for 5 button_is red stopped || fail "the finder did not stop"
click 159 463
wait_for 5 shown 512 196 || fail "no Help box"
read -r hx hy < <(window_at 512 196)
screenshot "$E2E_DIR/help.png"
convert "$E2E_DIR/help.png" -crop "512x50+$hx+$((hy + 70))" +repage -resize 200% "$E2E_DIR/help-text.png"
tesseract "$E2E_DIR/help-text.png" - 2>/dev/null | grep -q 'user-guide.html' || fail "the Help box names no guide"
# A user clicks once the box has the focus. Even so, under this manager a busy
# machine now and then loses a click on a box that has just appeared (2 in 33
# beside a CPU hog): the box stays, nothing is opened. The second click must work.
box=$(xdotool search --onlyvisible --class orvalis.exe | while read -r id; do
  [[ $(xdotool getwindowgeometry "$id") == *"512x196"* ]] && echo "$id"
done | head -n1)
box_active() { [[ $(xprop -root _NET_ACTIVE_WINDOW) == *"$(printf '0x%x' "$box")" ]]; }
wait_for 10 box_active ||
  fail "the Help box never got the focus: $(xprop -root _NET_ACTIVE_WINDOW)"
for try in 1 2; do
  xdotool mousemove $((hx + 196)) $((hy + 163)) click 1
  wait_for 5 eval '! shown 512 196' && break
  ((try == 1)) && note "the first click on OK was lost"
done
shown 512 196 && fail "OK did not close the Help box"
wait_for 20 test -s "$E2E_DIR/opened.txt" || fail "OK opened nothing"
opened=$(head -n1 "$E2E_DIR/opened.txt")
opened=${opened#file://}
[[ $opened == "$E2E_ROOT/build/run/Orvalis/user-guide.html" ]] || fail "OK opened $opened"
grep -q '<h1[^>]*>Orvalis user guide' "$opened" || fail "$opened is not the guide"
close_app
note "desktop ok"
echo PASS
