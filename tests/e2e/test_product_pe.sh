#!/usr/bin/env bash
# The product build: a 32-bit GUI program that needs no DLL but the system's.
set -euo pipefail
exe=$(cd "${1:?}/.." && pwd)/win32/orvalis.exe
[[ -f $exe ]] || { echo "FAIL: no $exe (build the win32 preset)"; exit 1; }
file "$exe" | grep -q 'PE32 executable (GUI) Intel 80386' || { echo "FAIL: $(file "$exe")"; exit 1; }
system='^(kernel32|user32|gdi32|comctl32|ole32|oleaut32|shell32|shlwapi|winmm|msvcrt|advapi32|iphlpapi|ws2_32)\.dll$'
bad=$(i686-w64-mingw32-objdump -p "$exe" | awk '/DLL Name:/ {print tolower($3)}' | grep -v -E "$system" || true)
[[ -z $bad ]] || { echo "FAIL: needs $bad"; exit 1; }
echo PASS
