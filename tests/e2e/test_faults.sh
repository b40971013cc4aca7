#!/usr/bin/env bash
# The card's calls failing and slow, one at a time, at start-up, while tuning
# and while polling, and the card vanishing mid-run: each run ends in its
# reaction, an exit code of 0 and a whole orv.dat, never in a hang. Prints
# the matrix it saw.
source "$(dirname "$0")/lib.sh"
ensure_display

# call          failing: reaction
cells="Initialize:quiet SetDeviceMode:quiet SetLnbTone:level SetLnbFrequency:level
SetPolarization:level SetSymbolRate:level SetFrequency:error SetDiseqc:error CheckLock:search
UpdateStatus:level GetSignalPercent:search GetSignalToNoise:level"
SLOW=600 # ms: longer than a poll period and than a step of the stop's wait
log_count() { grep -c -- "$1" "$dir/simcard.log" 2>/dev/null || true; }
error_box() { [[ -n $(xdotool search --onlyvisible --name '^Error$' 2>/dev/null) ]]; }

# run NAME FAULT-LINE EXPECTED: one program run; prints what was seen.
run() {
  program_folder "$1"
  head -c 256 /dev/zero >"$dir/orv.dat" # 19.2e and 11739 V 27500 in the box from the start
  printf '\xc0\x00\x00\x00\x78\x1f\xb3\x00' | dd of="$dir/orv.dat" bs=1 seek=12 conv=notrunc status=none
  printf '[signal]\nstep 600000 lock=1 level=57 snr=8\n[faults]\n%s\n' "$2" >"$dir/scenario.ini"
  start_app "$dir" SIMCARD_SCENARIO="$(winpath "$dir/scenario.ini")"
  local seen=$3 stop_ms=-
  if [[ $3 == quiet ]]; then
    wait_exit 60
    [[ $1 == Initialize-fails ]] && log_has "$dir/simcard.log" " SetDeviceMode" && seen="went on"
  else
    wait_for 60 window_shown || fail "$1: no window"
    sleep 0.5
    click 375 214
    case $3 in
      error)
        wait_for 30 error_box || seen="no Error box"
        xdotool key Return
        ;; # the box has the focus
      level | frozen) wait_for 30 log_has "$dir/simcard.log" "GetSignalPercent 57" || seen="no level" ;;
      search)
        wait_for 30 log_has "$dir/simcard.log" "CheckLock" || seen="no polling"
        sleep 2
        (($(log_count "GetSignalPercent 57") == 0)) || seen="a level"
        ;;
    esac
    [[ $3 != frozen ]] || {
      wait_for 30 log_has "$dir/simcard.log" "0x80010108" || seen="never vanished"
      sleep 1
    }
    if [[ $3 != error ]]; then
      sleep 0.7 # a second click within the double-click time would open the signal log
      local t0
      t0=$(date +%s%3N)
      click 375 214
      wine "$E2E_BIN/win_tests.exe" --ping || fail "$1: no answer after the stop"
      stop_ms=$(($(date +%s%3N) - t0))
      click 370 57
    fi
    wait_exit 60
  fi
  [[ $EXIT_CODE == 0 ]] || fail "$1: exit code $EXIT_CODE"
  [[ $(stat -c %s "$dir/orv.dat") == 256 ]] || fail "$1: orv.dat not whole"
  [[ $seen == "$3" ]] || fail "$1: expected $3, saw $seen"
  printf '%-18s %-26s %-7s stop+ping %s ms\n' "$1" "$2" "$seen" "$stop_ms"
}

for cell in $cells; do
  call=${cell%%:*}
  run "$call-fails" "fail=$call" "${cell#*:}"
  run "$call-slow" "latency=$call:$SLOW" level
done
run vanish "vanish=2000" frozen
echo PASS
