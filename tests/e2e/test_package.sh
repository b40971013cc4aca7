#!/usr/bin/env bash
# The downloads of scripts/package: the 64-bit MSI in a fresh prefix, the practice card installed
# over a stale registration, run from its shortcut, upgraded and removed keeping the user's files
# (edited ini files included), a driver's registration left alone; SATIP=1 registering the SAT>IP
# bridge instead, kept by an upgrade; the x86 MSI's upgrade; the zip holding the MSIs' files and the
# 32-bit exe. Both MSIs run under Wine 10 in e2e.test_product.
# shellcheck disable=SC2119 # close_app's and window_origin's arguments are their own, never the script's
source "$(dirname "$0")/lib.sh"
ensure_display
version=$(head -n1 "$E2E_ROOT/VERSION") pkg=$E2E_ROOT/build/package next=$E2E_DIR/next
[[ -f $pkg/orvalis-$version-x64.msi ]] || fail "no packages: run scripts/package"
server='HKCR\CLSID\{E82536A0-94DA-11D2-A463-00A0C95D308D}\InprocServer32'
# No winemenubuilder: it would put the shortcuts into this machine's own menus, and hold the exe for its icon.
export WINEPREFIX=$E2E_ROOT/build/wineprefix-package WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"
rm -rf "$WINEPREFIX" "$E2E_DIR"
mkdir -p "$E2E_DIR"
wineboot -i >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
# msi ACTION PACKAGE [PROPERTY=VALUE...]: msiexec, quiet, its verbose log's last errors in a failure.
msi() {
  local t0 log=$E2E_DIR/msiexec.log rc=0
  t0=$(date +%s%N)
  wine msiexec "$1" "$(winpath "$2")" "${@:3}" /qn /l*v "$(winpath "$log")" || rc=$?
  [[ $rc == 0 ]] || fail "msiexec $* exited $rc: $(grep -a -i -E 'error|value 3' "$log" | tail -n 5)"
  note "msiexec $1 $(basename "$2") ($(($(stat -c %s "$2") / 1024)) KiB): $((($(date +%s%N) - t0) / 1000000)) ms"
}
registered() { wine reg query "$server" /ve 2>/dev/null | grep -o '[A-Z]:\\.*' | tr -d '\r'; }
product() {
  local code
  code=$(msiinfo export "$1" Property | awk '$1 == "ProductCode" {print $2}' | tr -d '\r')
  wine reg query "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$code" /v DisplayVersion 2>/dev/null |
    awk '/DisplayVersion/ {print $3}' | tr -d '\r'
}
file_version() {
  /usr/bin/python3 - "$1" <<'PY'
import sys

import pefile

pe = pefile.PE(sys.argv[1])
for info in pe.FileInfo[0]:
    if info.Key == b"StringFileInfo":
        for table in info.StringTable:
            print(table.entries[b"ProductName"].decode(), table.entries[b"FileVersion"].decode())
PY
}

# A portable folder deleted without regsvr32 /u: its registration names a file that is gone. (Wine
# keeps HKCR in HKLM alone: the install writes the practice card over it, the uninstall takes that.)
wine reg add "$server" /ve /d 'C:\Orvalis\practice\simcard.dll' /f >/dev/null 2>&1
msi /i "$pkg/orvalis-$version-x64.msi"
lnk=$(find "$WINEPREFIX/drive_c/users" -path '*/Start Menu/Programs/Orvalis/Orvalis.lnk')
exe=$(winepath -u "$(strings -a "$lnk" | grep -m1 -i '^C:.*\\orvalis\.exe$')" 2>/dev/null) && dir=$(dirname "$exe")
[[ $dir == */AppData/Local/Programs/Orvalis && -f $dir/Transponders/0130.ini && -f $dir/user-guide.html ]] ||
  fail "installed as: $(ls "$dir")"
strings -a "${lnk%/*}/Orvalis folder.lnk" | grep -qixF "$(winepath -w "$dir")\\" ||
  fail "no Start-menu entry opens the folder"
[[ $(registered) == "$(winepath -w "$dir/simcard.dll" 2>/dev/null)" ]] ||
  fail "practice card registered as '$(registered)'"
[[ $(product "$pkg/orvalis-$version-x64.msi") == "$version" && $(file_version "$exe") == "Orvalis $version" ]] ||
  fail "no uninstall entry or file version $version"

# The shortcut's target on Wine 8 (test_product runs a whole round on Wine 10): the practice
# card's sky from the installed lists, About's version, the settings written beside the exe.
start_ready "$dir"
grep -q "Dish sky=.*satellites=1[0-9][0-9] " "$dir/simcard.log" ||
  fail "the practice card sees no sky: $(grep Dish "$dir/simcard.log")"
click 257 477
sleep 1
screenshot "$E2E_DIR/about.png"
convert "$E2E_DIR/about.png" -crop "512x196+$ox+$((oy + 160))" +repage -resize 200% "$E2E_DIR/about-text.png"
tesseract "$E2E_DIR/about-text.png" - 2>/dev/null | tr '\n' ' ' |
  grep -q "Version $version .*MIT licence (LICENSE.txt)" ||
  fail "About does not say Version $version and the licence"
click 256 324
close_app
[[ $(stat -c %s "$dir/orv.dat") == 256 ]] || fail "no orv.dat beside the installed program"

# An upgrade and an uninstall keep the user's files byte for byte, the drivers' edited ini files too.
printf '1=10719,V,27500\r\n' >>"$dir/Transponders/0130.ini"
echo "session" >"$dir/signal_log.txt"
sed -i 's/^site .*/site 51:30 -0:07\r/' "$dir/simcard.ini"
sed -i 's/^;address=.*/address=192.168.1.20\r/' "$dir/satipcard.ini"
{ grep -q $'^address=192.168.1.20\r$' "$dir/satipcard.ini" && grep -q $'^site 51:30 -0:07\r$' "$dir/simcard.ini"; } ||
  fail "the shipped ini files have no site or address line to edit"
md5sum "$dir"/{orv.dat,Transponders/0130.ini,signal_log.txt,simcard.ini,satipcard.ini} >"$E2E_DIR/mine.md5"
"$E2E_ROOT/scripts/package" --no-build --version 99.0.0 --output "$next" >/dev/null &&
  msi /i "$next/orvalis-99.0.0-x64.msi"
md5sum --quiet -c "$E2E_DIR/mine.md5" || fail "the upgrade changed the user's files"
[[ $(product "$next/orvalis-99.0.0-x64.msi") == 99.0.0 && -z $(product "$pkg/orvalis-$version-x64.msi") && -f $exe ]] ||
  fail "not upgraded"
[[ $(registered) == *'\simcard.dll' ]] || fail "the upgrade lost the practice card"
msi /x "$next/orvalis-99.0.0-x64.msi"
md5sum --quiet -c "$E2E_DIR/mine.md5" || fail "the uninstall changed the user's files"
for f in "$dir"/{orvalis.exe,simcard.dll,dishsim.exe,dishserver.exe,satipcard.dll} \
  "$dir"/{simcard.log,user-guide.html} "$lnk"; do
  [[ ! -e $f ]] || fail "${f##*/} left behind"
done
[[ -z $(registered) ]] || fail "the practice card is still registered"

# A card driver already registered: the practice set stays out, and the uninstall leaves it.
mkdir -p "$WINEPREFIX/drive_c/Program Files/B2C2" && : >"$WINEPREFIX/drive_c/Program Files/B2C2/b2c2_mpeg2_source.ax"
wine reg add "$server" /ve /d 'C:\Program Files\B2C2\b2c2_mpeg2_source.ax' /f >/dev/null 2>&1
msi /i "$pkg/orvalis-$version-x64.msi"
[[ -f $exe && ! -e $dir/simcard.dll && ! -e $dir/dishsim.exe && $(registered) == *b2c2_mpeg2_source.ax ]] ||
  fail "the practice set was installed over a driver"
msi /x "$pkg/orvalis-$version-x64.msi"
[[ $(registered) == *b2c2_mpeg2_source.ax ]] || fail "the uninstall touched the driver's registration"

# SATIP=1 with no driver: the SAT>IP bridge in the practice card's place, still there after an upgrade.
wine reg delete "${server%\\InprocServer32}" /f >/dev/null 2>&1
msi /i "$pkg/orvalis-$version-x64.msi" SATIP=1
{ [[ $(registered) == "$(winepath -w "$dir/satipcard.dll" 2>/dev/null)" ]] &&
  [[ -f $dir/satipcard.ini && -f $dir/dishserver.exe ]]; } ||
  fail "SATIP=1 registered '$(registered)'"
msi /i "$next/orvalis-99.0.0-x64.msi"
[[ $(registered) == *'\satipcard.dll' ]] || fail "the upgrade lost the SAT>IP bridge: '$(registered)'"
echo fault >"$dir/satipcard.log"
msi /x "$next/orvalis-99.0.0-x64.msi"
[[ -z $(registered) && ! -e $dir/satipcard.dll && ! -e $dir/satipcard.log ]] ||
  fail "the SAT>IP bridge is left behind: '$(registered)' $(ls "$dir")"

# The x86 MSI upgraded by Wine 8's msiexec, which needs no 32-bit code for it: the user's files stay.
msi /i "$pkg/orvalis-$version-x86.msi" && msi /i "$next/orvalis-99.0.0-x86.msi"
md5sum --quiet -c "$E2E_DIR/mine.md5" || fail "the x86 upgrade changed the user's files"
msi /x "$next/orvalis-99.0.0-x86.msi"

# The zip and the two MSIs: the same files; the zip's exe is the 32-bit package's, of this version.
for a in x86 x64; do
  msiextract -C "$E2E_DIR/$a" "$pkg/orvalis-$version-$a.msi" | sed 's|.*/Orvalis/||' | sort >"$E2E_DIR/$a.list"
done
unzip -Z1 "$pkg/orvalis-$version-x86.zip" | grep -v '/$' | sed -e 's|^Orvalis/||' -e 's|^practice/||' |
  grep -vx README.txt | sort >"$E2E_DIR/zip.list"
{ diff "$E2E_DIR/x86.list" "$E2E_DIR/x64.list" && diff "$E2E_DIR/x86.list" "$E2E_DIR/zip.list"; } ||
  fail "the packages differ in their files"
for f in satipcard.dll satipcard.ini LICENSE.txt THIRD-PARTY.txt practice/dishserver.exe; do
  unzip -Z1 "$pkg/orvalis-$version-x86.zip" | grep -x "Orvalis/$f" >/dev/null || fail "the zip has no $f"
done
x86=$(find "$E2E_DIR/x86" -name orvalis.exe)
{ [[ $(file_version "$x86") == "Orvalis $version" ]] &&
  unzip -p "$pkg/orvalis-$version-x86.zip" Orvalis/orvalis.exe | cmp -s - "$x86"; } ||
  fail "the zip's exe is not the 32-bit package's"
echo PASS
