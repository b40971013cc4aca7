#!/usr/bin/env bash
# The dish alignment calculator behind ZivUrav.: fresh face, the worked example chosen with the
# keyboard, a cleared dish box, Escape, OK, a restart. Texts read by OCR, pictures by pixels.
source "$(dirname "$0")/lib.sh"
ensure_display

# face X Y W H ...: a piece of the face (client coordinates: the thin border puts them 1 pixel in).
face() { convert "$dir/now.png" -crop "$3x$4+$((dx + 1 + $1))+$((dy + 1 + $2))" +repage "${@:5}"; }
# reads TEXT X Y W H: OCR finds TEXT there; it knows no spaces' width and takes ':' for ';' at times.
reads() {
  screenshot "$dir/now.png"
  face "$2" "$3" "$4" "$5" -colorspace gray -resize 400% -threshold 60% "$dir/ocr.png"
  [[ $(tesseract "$dir/ocr.png" - --psm 7 2>/dev/null | tr -d ' ' | tr ';' ':') == "${1// /}" ]]
}
# shows X Y W H ATLAS_X ATLAS_Y: at most 5% of the pixels differ from that piece of the skin.
shows() {
  face "$@" "$dir/a.png" 2>/dev/null
  convert "$E2E_ROOT/resources/skin.jpg" -crop "$3x$4+$5+$6" +repage "$dir/b.png"
  local ae
  ae=$(compare -metric AE -fuzz 10% "$dir/a.png" "$dir/b.png" null: 2>&1)
  ((${ae%%.*} * 20 < $3 * $4))
}
dark() {
  local p
  read -r -a p < <(pixel "$dir/now.png" $((dx + 1 + $1)) $((dy + 1 + $2)))
  ((p[0] < 150 && p[1] < 150))
}
open_dialog() {
  click 355 465
  wait_for 10 shown 512 450 || fail "ZivUrav. opened no dialog"
  read -r dx dy < <(window_at 512 450)
}

program_folder run
start_ready "$dir"
open_dialog
[[ "$dx $dy" == "$ox $((oy + 56))" ]] || fail "dialog at $dx,$dy, main window at $ox,$oy"
wait_for 10 reads "Satellite out of the visibility range!" 135 173 300 22 || fail "no warning on a fresh face"
(($(face 140 155 300 40 -fx 'r>0.6&&g<0.3&&b<0.3' -format '%[fx:int(mean*w*h)]' info:) > 100)) ||
  fail "the warning is not red"
for box in "55 225 420 95" "150 320 220 80"; do # flat panel inside the ellipse: no picture, label or box
  read -r -a area <<<"$box"
  (($(face "${area[@]}" -format '%[fx:int(1000*standard_deviation)]' info:) < 5)) ||
    fail "drawn below the horizon at $box"
done

# 50°n, 10°e and 19.2°E with the keyboard; the satellite list has the focus.
# The satellites listed before 19.2E, west to east: those whose key is below it.
before=$(find "$dir/Transponders" -name '[0-9][0-9][0-9][0-9].ini' -printf '%f\n' |
  awk -F. '{k=$1+0; d=k<=1800?k/10:(3600-k)/10; if (d<19.2 || d==19.2 && k>1800) n++} END{print n}')
xdotool key --delay 150 Home
xdotool key --delay 150 --repeat "$before" --repeat-delay 150 Down
xdotool key --delay 150 Tab 5
xdotool key --delay 150 --repeat 9 --repeat-delay 150 Down
xdotool key --delay 150 Tab Tab 2 1
xdotool key --delay 150 --repeat 9 --repeat-delay 150 Down
wait_for 30 reads "Prime focus: 32.06°" 180 193 200 22 || fail "prime focus not 32.06°"
for t in "Offset dish : -1.50°|180 338 200 22" "168.32°|65 183 90 22" "7.48°|390 183 90 22"; do
  read -r -a area <<<"${t#*|}"
  reads "${t%|*}" "${area[@]}" || fail "the face does not read ${t%|*}"
done
# The elevation picture, the right half of the rotation arrow and, where its left half would be, the dish.
for box in "215 230 100 100 512 312" "416 266 17 20 630 492" "398 266 18 20 540 458"; do
  read -r -a piece <<<"$box"
  shows "${piece[@]}" || fail "the face does not show the skin's piece $box"
done
dark 145 270 || fail "no azimuth mark through east"
dark 55 270 && fail "the azimuth mark runs through west"

xdotool key Tab Tab BackSpace # the width box, its text selected as the focus comes
wait_for 5 reads "Offset dish : --" 180 338 200 22 || fail "a cleared width still gives a figure"
xdotool type --delay 150 1000
wait_for 10 reads "Offset dish : -1.50°" 180 338 200 22 || fail "the figure did not come back"
xdotool key Escape alt+F4
sleep 1
shown 512 450 || fail "Escape or the system menu closed the dialog"
xdotool mousemove $((dx + 256)) $((dy + 425)) click 1
wait_for 10 eval '! shown 512 450' || fail "OK did not close the dialog"
close_app
[[ $(od -An -tu4 -j80 -N24 "$dir/orv.dat" | xargs) == "40 170 0 0 1000 1200" ]] ||
  fail "orv.dat 80..103: $(od -An -tu4 -j80 -N24 "$dir/orv.dat")"

# The same entries after a restart; no satellite is chosen in the main list.
rm "$dir/simcard.log"
start_ready "$dir"
open_dialog
wait_for 20 reads "Prime focus: 31.91°" 180 193 200 22 || fail "the entries did not come back"
reads "192.96°" 65 183 90 22 || fail "azimuth after restart not 192.96°"
echo PASS
