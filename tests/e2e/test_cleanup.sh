#!/usr/bin/env bash
# A test run stops what it started, also when interrupted: one on its own
# virtual screen, killed while the program runs, leaves no Xvfb, no program
# and no Wine server of its prefix behind; nor does scripts/run's headless
# session stopped half way.
source "$(dirname "$0")/lib.sh"
program_folder inner
cat >"$dir/inner.sh" <<INNER
source "$E2E_ROOT/tests/e2e/lib.sh" "$E2E_BIN"
ensure_display
echo "\$XVFB_PID" > "$dir/screen"
start_app "$dir"
wait_for 60 window_shown && echo up > "$dir/up"
sleep 600 >/dev/null 2>&1 & at_exit kill \$!; wait \$!
INNER
env -u DISPLAY bash "$dir/inner.sh" &
inner=$!
at_exit kill $inner
wait_for 90 test -e "$dir/up" || fail "the interrupted run never showed its window"
kill -TERM $inner
wait $inner || true
read -r device inode < <(stat -c '%d %i' "$WINEPREFIX")
server=$(printf 'server-%x-%x' "$device" "$inode")
# No virtual screen (a zombie, with no command line, is gone), no program, and
# no process working in the prefix's server folder.
gone() {
  grep -qa Xvfb "/proc/$(cat "$dir/screen")/cmdline" 2>/dev/null && return 1
  pgrep -f "$dir/orvalis.exe" >/dev/null && return 1
  local cwd
  for cwd in /proc/[0-9]*/cwd; do
    [[ $(readlink "$cwd" 2>/dev/null) == */"$server" ]] && return 1
  done
  return 0
}
wait_for 10 gone || fail "left running: $(pgrep -af "Xvfb|$dir/orvalis.exe")"

env -u DISPLAY "$E2E_ROOT/scripts/run" >/dev/null 2>&1 &
run=$!
at_exit kill $run
running() { pgrep -f "$E2E_ROOT/build/run/Orvalis/orvalis.exe" >/dev/null; }
wait_for 120 running || fail "scripts/run never started the program"
screen=$(pgrep -P $run -x Xvfb)
kill -TERM $run
wait $run || true
run_gone() { ! kill -0 "$screen" 2>/dev/null && ! running; }
wait_for 10 run_gone || fail "scripts/run left running: $(pgrep -af "Xvfb|build/run/Orvalis")"
echo PASS
