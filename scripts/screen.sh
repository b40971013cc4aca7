# shellcheck shell=bash
# Sourced by the scripts and tests that need a virtual screen; not a command.
#
# virtual_screen WxH: starts Xvfb at that size and exports it as DISPLAY, its
# process as XVFB_PID; returns 1 with a line on stderr when none starts.
# - -noreset: without it the server resets whenever its last client leaves,
#   and a client that connects during the reset is refused (openbox started
#   right after an xdpyinfo failed 3 times in 40 on a busy machine).
# - -s 0: the screen saver would blank a screen that had no input for 10
#   minutes, and a screen that never resets keeps counting.
# - The number is a random one that the server locks before it listens, so a
#   taken number ends that server at once and another is tried. (-displayfd
#   skips the lock, and a server in a network namespace of its own then takes
#   over the socket file of a live screen outside it.)
# - The screen is ours once the lock file names our server and it answers.
virtual_screen() {
  local n owner _
  for _ in 1 2 3 4 5; do
    n=$((100 + RANDOM % 900))
    Xvfb ":$n" -screen 0 "${1}x24" -nolisten tcp -noreset -s 0 >/dev/null 2>&1 &
    XVFB_PID=$!
    for _ in $(seq 300); do
      kill -0 "$XVFB_PID" 2>/dev/null || break
      owner=
      read -r owner 2>/dev/null <"/tmp/.X$n-lock" || true
      if [[ $owner == "$XVFB_PID" ]] && DISPLAY=:$n xdpyinfo >/dev/null 2>&1; then
        export DISPLAY=:$n
        return 0
      fi
      sleep 0.1
    done
    kill "$XVFB_PID" 2>/dev/null || true
  done
  echo "Xvfb did not start a $1 screen" >&2
  return 1
}
