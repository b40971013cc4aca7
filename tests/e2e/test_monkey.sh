#!/usr/bin/env bash
# A seeded monkey over the whole window and its dialogs while the level jumps:
# the program still answers afterwards, ends cleanly, and no file changed but
# the settings, the signal log and transponder files rewritten whole by an
# add or remove. MONKEY_SEED and MONKEY_ACTIONS replay or lengthen a run.
source "$(dirname "$0")/lib.sh"
ensure_display
seed=${MONKEY_SEED:-$RANDOM} actions=${MONKEY_ACTIONS:-1000}
replay="replay: MONKEY_SEED=$seed MONKEY_ACTIONS=$actions bash $0 $E2E_BIN"
note "monkey seed $seed, $actions actions"

program_folder run
printf '%s\n' '[signal]' loop=1 'step 700 level=80 snr=9' 'step 400 lock=0' 'step 900 level=35 snr=4' \
  'step 300 level=100 snr=13' >"$dir/scenario.ini"
(cd "$dir" && find . -type f | sort | xargs md5sum) >"$E2E_DIR/before.md5"
start_ready "$dir" SIMCARD_SCENARIO="$(winpath "$dir/scenario.ini")"
type_transponder "11778 V 27500"
click 375 214 # the finder runs from the start; the monkey may stop it

python3 "$E2E_ROOT/tests/e2e/monkey.py" "$seed" "$actions" >/dev/null || fail "the monkey failed ($replay)"
app_exited && fail "the program ended under the monkey ($replay)"
wine "$E2E_BIN/win_tests.exe" --ping || fail "the program does not answer ($replay)"

# Every changed file is one the program may write, and transponder files
# still read as header, count and entries numbered from 1.
changed=$(cd "$dir" && find . -type f | sort | xargs md5sum |
  { diff - "$E2E_DIR/before.md5" || true; } | awk '/^</ {print $3}')
for f in $changed; do
  case $f in
    ./orv.dat | ./signal_log.txt | ./simcard.log) ;;
    ./Transponders/[0-9][0-9][0-9][0-9].ini)
      awk -F= 'BEGIN {RS = "\r\n"} /=/ {n++} n == 3 {count = $2; k = 0} n > 3 {if ($1 != ++k || length($2) > 22) exit 1}
               END {exit count != k}' "$dir/$f" || fail "$f does not read back ($replay)"
      ;;
    *) fail "$f changed or appeared ($replay)" ;;
  esac
done
note "changed: ${changed//$'\n'/ }"

wine "$E2E_BIN/win_tests.exe" --close
wait_exit 60
[[ $EXIT_CODE == 0 ]] || fail "exit code $EXIT_CODE ($replay)"
[[ $(stat -c %s "$dir/orv.dat") == 256 ]] || fail "orv.dat is not 256 bytes ($replay)"
echo PASS
