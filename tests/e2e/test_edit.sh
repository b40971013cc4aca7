#!/usr/bin/env bash
# Editing a transponder list from the window: add, a duplicate, a rejected text,
# remove with CANCEL and OK; and files that must never be left half-written:
# read-only, held open by another program, deleted while the question is open.
source "$(dirname "$0")/lib.sh"
ensure_display
# shellcheck disable=SC2016  # expanded when the test ends
at_exit 'kill ${holder:-}'

program_folder edit
rm -f "$dir"/Transponders/*
ini=$dir/Transponders/3490.ini shipped=$E2E_ROOT/Transponders/3490.ini
# The shipped file with keys 0001=, 0002=, ...: an add and a remove give the shipped
# file back only with the header kept and the entries renumbered and counted.
sed -E '/^\[DVB\]/,$ { s/^([1-9][0-9]?)=/000\1=/; s/^0+([0-9]{4})=/\1=/ }' "$shipped" >"$ini"
head -c 256 /dev/zero >"$dir/orv.dat"
printf '\xa2\x0d\x00\x00' | dd of="$dir/orv.dat" bs=1 seek=12 conv=notrunc status=none # key 3490

md5() { md5sum "$1" | cut -d' ' -f1; }
dialog_open() { shown 512 196; } # the message dialog
dialog_closed() { ! dialog_open; }
add() {
  type_transponder "$1"
  click 139 285
}
remove() {
  type_transponder "$1"
  click 139 325
}
answer() { # answer ok1|ok2|cancel WHAT: the message dialog (one or two buttons) about WHAT
  wait_for 10 dialog_open || fail "no message dialog: $2"
  case $1 in ok1) click 256 323 ;; ok2) click 196 323 ;; cancel) click 316 323 ;; esac
  wait_for 5 dialog_closed || fail "the message dialog stayed open after $1: $2"
}
no_leftovers() { [[ $(ls "$dir/Transponders") == 3490.ini ]] || fail "left: $(ls "$dir/Transponders")"; }

start_ready "$dir"
original=$(md5 "$ini")

# A rejected text: its red message, no dialog, no change.
add "11778V2750"
sleep 2.5
dialog_closed || fail "a dialog opened for a rejected text"
[[ $(md5 "$ini") == "$original" ]] || fail "a rejected text changed the file"

# Add: the new line last.
add "11778 V 27500"
answer ok1 "adding"
[[ $(tail -n1 "$ini") == $'13=11778 V 27500\r' ]] || fail "last line: $(tail -n1 "$ini")"
no_leftovers

# The same text in other case: "already exists", nothing written.
added=$(md5 "$ini")
add "11778 v 27500"
answer ok1 "a duplicate"
[[ $(md5 "$ini") == "$added" ]] || fail "a duplicate changed the file"

# Remove the entry the reload selected: CANCEL keeps it, OK deletes it, and
# the file is then the shipped one again, byte for byte.
click 139 325
answer cancel "removing the added entry, selected"
[[ $(md5 "$ini") == "$added" ]] || fail "CANCEL changed the file"
click 139 325
answer ok2 "removing it"
cmp -s "$ini" "$shipped" || fail "add then remove is not the shipped file"
no_leftovers
note "add, duplicate, rejected, remove ok"

# Faults: the file is the old one or the new one in full, and nothing is left.
before=$(md5 "$ini")
chmod a-w "$ini"
add "11000 H 27500"
answer ok1 "adding to a read-only file"
[[ $(md5 "$ini") == "$before" ]] || fail "a read-only file changed"
chmod u+w "$ini"
no_leftovers

coproc HOLD { exec wine "$E2E_BIN/win_tests.exe" --hold "$(winpath "$ini")"; }
holder=$HOLD_PID
read -r -t 60 _ <&"${HOLD[0]}" || fail "the holding program did not start"
add "11000 H 27500"
answer ok1 "adding to a held file"
[[ $(md5 "$ini") == "$before" ]] || fail "a held file changed"
kill "$holder"
no_leftovers

remove "11646,H,7300"
wait_for 10 dialog_open || fail "no question before removing"
rm "$ini"
answer ok2 "removing from a deleted file"
[[ ! -e $ini ]] || fail "a deleted file came back"
[[ -z $(ls "$dir/Transponders") ]] || fail "left behind: $(ls "$dir/Transponders")"
note "read-only, held and deleted files ok"

close_app Escape
echo PASS
