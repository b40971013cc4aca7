#!/usr/bin/env bash
# The downloads as users run them, on a second Wine: each MSI installed with Debian sid's Wine 10
# (scripts/wine10, WoW64: the x86 MSI's 32-bit exe and card run here only there), then one start of
# the installed program on its practice card (installed over a stale registration) driven through a
# user's whole round; an upgrade keeping the edited ini files; the SAT>IP bridge (SATIP=1) against
# dishserver; uninstalls that keep the user's files. test_package proves each check first on Wine 8.
# Without the root the layer is not run: ctest's skip, never a pass.
# shellcheck disable=SC2119 # close_app's and window_origin's arguments are their own, never the script's
wine10=$(cd "$(dirname "$0")/../.." && pwd)/scripts/wine10
"$wine10" status >/dev/null || {
  echo "not run: no Wine 10 root: $("$wine10" status)"
  exit 77
}
[[ -n ${WINE10_SESSION:-} ]] || exec "$wine10" session bash "$0" "$@"
# lib.sh's Wine is the host's: it must never touch another test's prefix.
export WINEPREFIX
WINEPREFIX=$("$wine10" path /opt/orvalis/prefix)
source "$(dirname "$0")/lib.sh"
ensure_display
version=$(head -n1 "$E2E_ROOT/VERSION") pkg=$E2E_ROOT/build/package next=$E2E_DIR/next
w10() { "$wine10" run "$@"; }
stop_app() {
  [[ -z $APP_PID ]] || kill "$APP_PID" 2>/dev/null || true
  w10 wineserver -k 2>/dev/null || true
}
start_app() {
  (cd /tmp && exec "$wine10" run "${@:2}" wine "$win\\orvalis.exe") &
  APP_PID=$!
}
win='C:\users\root\AppData\Local\Programs\Orvalis' dir=$WINEPREFIX/drive_c/users/root/AppData/Local/Programs/Orvalis
server='HKCR\CLSID\{E82536A0-94DA-11D2-A463-00A0C95D308D}\InprocServer32'
registered() { w10 wine reg query "$server" /ve "/reg:$1" 2>/dev/null | grep -o '[A-Z]:\\.*' | tr -d '\r'; }
msi() { # the package of this version, or MSI
  local t0=$SECONDS
  w10 wine msiexec "$1" "$(winpath "${MSI:-$pkg/orvalis-$version-$arch.msi}")" "${@:2}" /qn ||
    fail "msiexec $* ($arch)"
  note "msiexec $1 $arch: $((SECONDS - t0)) s"
}
# ocr X Y W H [CONVERT_OPTION...]: the text in that piece of the window (or of the dialog at dx, dy).
ocr() {
  screenshot "$E2E_DIR/now.png"
  convert "$E2E_DIR/now.png" -crop "$3x$4+$((${ox0:-$ox} + $1))+$((${oy0:-$oy} + $2))" \
    +repage -colorspace gray -resize 300% "${@:5}" -bordercolor white -border 30 "$E2E_DIR/ocr.png"
  tesseract "$E2E_DIR/ocr.png" - --psm 7 2>/dev/null | tr -s '\n' ' ' | sed 's/^ *//; s/ *$//'
}
reads() { [[ $(ocr "${@:2}") == "$1" ]]; }
dialog() { ox0=$((dx + 1)) oy0=$((dy + 1)) "$@"; } # client pixels: the template's 1-pixel border
press() {
  sleep 0.6
  click 375 214
} # the red/green button; two presses this far apart make no double-click
answer() {
  wait_for 10 shown 512 196 || fail "no message dialog: $2"
  click "$1" 323
  wait_for 5 eval '! shown 512 196' || fail "$2"
}
rm -rf "$E2E_DIR"
mkdir -p "$E2E_DIR"
"$E2E_ROOT/scripts/package" --no-build --version 99.0.0 --output "$next" >/dev/null || fail "no 99.0.0 packages"

round() { # the practice card: one start through a user's round
  local log=$dir/simcard.log ini=$dir/Transponders/0130.ini
  head -c 256 /dev/zero >"$dir/orv.dat"
  printf '\x82' | dd of="$dir/orv.dat" bs=1 seek=12 conv=notrunc status=none # 13°E
  printf '[signal]\nstep 1500 lock=0 level=0 snr=0\nstep 600000 level=57 snr=8.25\n' >"$E2E_DIR/signal.ini"
  note "$arch: the practice card"
  start_ready "$dir" SIMCARD_SCENARIO="$(winpath "$E2E_DIR/signal.ini")"

  # A transponder added to the list and removed: the shipped file again.
  local shipped
  shipped=$(md5sum <"$ini")
  type_transponder "12999 H 27500"
  click 139 285
  answer 256 "adding"
  [[ $(tail -n1 "$ini") == $'108=12999 H 27500\r' ]] || fail "added as $(tail -n1 "$ini")"
  click 139 325
  answer 196 "removing"
  [[ $(md5sum <"$ini") == "$shipped" ]] || fail "add and remove changed 0130.ini"

  # The typed transponder on DiSEqC A, the red button: the tuning burst, then the level of 57.
  click 40 210
  sleep 0.7
  xdotool key Down Return
  sleep 0.5
  type_transponder "11778 V 27500"
  press
  wait_for 20 log_has "$log" "SetDiseqc" || fail "never tuned ($arch)"
  local burst
  burst=$(grep -E -o " Set(LnbTone|LnbFrequency|Polarization|SymbolRate|Frequency|Diseqc) [0-9]+" "$log" | xargs)
  [[ $burst == "SetLnbTone 1 SetLnbFrequency 10600 SetPolarization 1 SetSymbolRate 27500 SetFrequency 11778000 SetDiseqc 1" ]] ||
    fail "tuning burst ($arch): $burst"
  wait_for 20 log_has "$log" "GetSignalPercent 57" || fail "no level read"
  wait_for 5 button_is green || fail "the button is not green with a signal ($arch)"
  wait_for 5 reads "57%" 175 85 162 65 -negate || fail "the meter reads \"$(ocr 175 85 162 65 -negate)\" ($arch)"

  # The signal log: full screen, records of 57 in its file.
  xdotool mousemove $((ox + 256)) $((oy + 130)) click --repeat 2 --delay 80 1
  wait_for 10 shown 1024 768 || fail "no signal log dialog ($arch)"
  wait_for 10 log_has "$dir/signal_log.txt" $'^[0-9][0-9]:[0-9][0-9]   57\r$' ||
    fail "no record of 57 in signal_log.txt"
  [[ $(head -n1 "$dir/signal_log.txt") == ";Orvalis signal level log (GMT 0) "* ]] ||
    fail "log header $(head -n1 "$dir/signal_log.txt")"
  xdotool mousemove 938 739 click 1
  wait_for 5 eval '! shown 1024 768' || fail "its close button did not close the log ($arch)"

  # Birds, then the green button: "Please wait ..." while the workers end, then the red button.
  for _ in 1 2 3 4; do
    click 105 430
    sleep 0.7
  done # apart: a double-click opens the log
  wait_for 5 reads Birds 153 386 110 22 -negate || fail "the sound mode reads \"$(ocr 153 386 110 22 -negate)\""
  press
  # shellcheck disable=SC2016 # eval expands it, at each try
  wait_for 3 eval '[[ $(ocr 64 320 384 60 -negate) == *"Please wait ..."* ]]' || fail "no \"Please wait ...\" ($arch)"
  wait_for 5 button_is red || fail "the button is not red after the stop"

  # The calculator's worked example: 50°n, 10°e, 19.2°E, dish 1000 x 1200.
  click 355 465
  wait_for 10 shown 512 450 || fail "ZivUrav. opened no dialog"
  read -r dx dy < <(window_at 512 450)
  local before
  before=$(find "$dir/Transponders" -name '*.ini' -printf '%f\n' |
    awk -F. '/ini$/{k=$1+0; d=k<=1800?k/10:(3600-k)/10; if (d<19.2 || d==19.2 && k>1800) n++} END{print n}')
  # shellcheck disable=SC2046 # each printf gives several key names
  xdotool key --delay 150 Home $(printf 'Down %.0s' $(seq "$before")) Tab 5 $(printf 'Down %.0s' $(seq 9)) \
    Tab Tab 2 1 $(printf 'Down %.0s' $(seq 9))
  wait_for 30 dialog reads "Prime focus: 32.06°" 180 193 200 22 -threshold 60% ||
    fail "prime focus reads \"$(dialog ocr 180 193 200 22 -threshold 60%)\" ($arch)"
  xdotool mousemove $((dx + 256)) $((dy + 425)) click 1
  wait_for 10 eval '! shown 512 450' || fail "OK did not close the dialog"

  # The language, then close: exit 0, the settings in orv.dat.
  click 64 379
  wait_for 5 reads German 153 364 110 22 -negate || fail "the language reads \"$(ocr 153 364 110 22 -negate)\""
  close_app
  [[ $(stat -c %s "$dir/orv.dat") == 256 && $(od -An -tu4 -N16 "$dir/orv.dat" | xargs) == "1 4 1 130" &&
  $(od -An -tu4 -j80 -N24 "$dir/orv.dat" | xargs) == "40 170 0 0 1000 1200" ]] ||
    fail "orv.dat ($arch): $(od -An -tu4 "$dir/orv.dat")"
}

bridge() { # the SAT>IP bridge against dishserver: the level on the meter, TEARDOWN at stop
  local port=$((20000 + RANDOM % 20000)) slog=$E2E_DIR/server-$arch.log
  printf '[server]\naddress=127.0.0.1:%s\n' "$port" >"$dir/satipcard.ini"
  printf '[signal]\nstep 600000 level=80 snr=9\n' >"$E2E_DIR/signal.ini"
  (exec "$wine10" run SIMCARD_LOG="$(winpath "$slog")" SIMCARD_SCENARIO="$(winpath "$E2E_DIR/signal.ini")" \
    wine "$win\\dishserver.exe" /port=$port) >/dev/null &
  local server_pid=$!
  at_exit kill $server_pid
  wait_for 30 log_has "$slog" "Serving port=$port" || fail "dishserver did not start ($arch)"
  start_app "$dir"
  wait_for 60 window_shown || fail "no window on the bridge ($arch)"
  sleep 1
  read -r ox oy < <(window_origin)
  type_transponder "12302 V 27500"
  press
  wait_for 10 log_has "$slog" "PLAY rtsp://127.0.0.1:$port/stream=1" || fail "no PLAY ($arch): $(cat "$slog")"
  wait_for 10 reads "80%" 175 85 162 65 -negate || fail "the meter on the bridge reads \"$(ocr 175 85 162 65 -negate)\""
  press
  wait_for 5 log_has "$slog" "TEARDOWN" || fail "no TEARDOWN at stop ($arch)"
  close_app
  kill $server_pid 2>/dev/null || true
}

uninstall() { # the user's files stay, byte for byte
  md5sum "$dir"/{orv.dat,signal_log.txt,simcard.ini,satipcard.ini} "$dir"/Transponders/*.ini >"$E2E_DIR/mine.md5"
  msi /x
  md5sum --quiet -c "$E2E_DIR/mine.md5" || fail "the uninstall changed the user's files ($arch)"
}

for arch in x86 x64; do
  view=32
  [[ $arch == x64 ]] && view=64
  # An earlier run's install, and a driver's registration.
  for m in "$pkg/orvalis-$version-$arch.msi" "$next/orvalis-99.0.0-$arch.msi"; do
    w10 wine msiexec /x "$(winpath "$m")" /qn >/dev/null 2>&1 || true
  done
  for v in 32 64; do
    w10 wine reg delete "${server%\\InprocServer32}" /f "/reg:$v" >/dev/null 2>&1 || true
  done
  rm -rf "$dir"
  # A portable folder deleted without regsvr32 /u: its registration names a file that is gone.
  w10 wine reg add "$server" /ve /d 'C:\Orvalis\practice\simcard.dll' /f "/reg:$view" >/dev/null 2>&1
  msi /i
  [[ $(registered $view) == "$win\\simcard.dll" ]] ||
    fail "the $arch practice card is registered as '$(registered $view)'"
  round
  # The drivers' edited ini files outlive an upgrade byte for byte, and the uninstall keeps the
  # user's files; the bridge in the card's place with SATIP=1.
  sed -i 's/^site .*/site 51:30 -0:07\r/' "$dir/simcard.ini"
  sed -i 's/^;address=.*/address=192.168.1.20\r/' "$dir/satipcard.ini"
  md5sum "$dir"/{simcard,satipcard}.ini >"$E2E_DIR/ini.md5"
  MSI=$next/orvalis-99.0.0-$arch.msi msi /i
  { md5sum --quiet -c "$E2E_DIR/ini.md5" && grep -q $'^address=192.168.1.20\r$' "$dir/satipcard.ini"; } ||
    fail "the $arch upgrade changed the edited ini files"
  MSI=$next/orvalis-99.0.0-$arch.msi uninstall
  # Its own registration goes; a Wine that keeps per-user classes apart may show the stale one again.
  [[ ! -e $dir/orvalis.exe && $(registered $view) != "$win"* ]] ||
    fail "the $arch program or its card is left: $(ls "$dir")"
  msi /i SATIP=1
  [[ $(registered $view) == "$win\\satipcard.dll" ]] || fail "SATIP=1 registered '$(registered $view)'"
  bridge
  uninstall
  note "$arch MSI on $(w10 wine --version) ok"
done
echo PASS
