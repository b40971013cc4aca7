#!/usr/bin/env bash
# Makes the program's sound clips under resources/sounds/ and the resource
# lines that name them (resources/sounds/sounds.rc):
#   EN0..TR9  the digits 0..9 spoken in nine languages (espeak-ng),
#             Microsoft ADPCM, mono, 22,050 Hz, 4 bits, block align 512
#   TONE      the finder's tone, PCM, mono, 8,000 Hz, 16 bits, 0.88 s
#   BIRD0..3  four bird calls, Microsoft ADPCM, mono, 22,050 Hz
#             (0.37, 0.69, 0.43, 0.58 s)
#   ALARM     the no-signal alarm, Microsoft ADPCM, stereo, 22,050 Hz, 0.52 s
# Loudness: the speech at -18 dBFS RMS in every language, the tone and the
# birds a few dB above it, the alarm louder still.
# Needs only Debian's espeak-ng and sox. The output is the same on every run
# (no dither, sox's repeatable mode), so the committed WAVs only change when
# this script does.
#
# Usage: tools/make_sounds.sh [output-folder]   (default resources/sounds)
#        tools/make_sounds.sh --phonemes       (how espeak-ng reads each word)
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
PHONEMES=0
if [[ ${1:-} == --phonemes ]]; then
  PHONEMES=1
  shift
fi
OUT=${1:-$ROOT/resources/sounds}
for tool in espeak-ng sox soxi awk; do
  command -v "$tool" >/dev/null || {
    echo "make_sounds: $tool is missing" >&2
    exit 1
  }
done
mkdir -p "$OUT"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
export LC_ALL=C.UTF-8

# -D: no dither, -R: repeatable, -V1: errors only.
SOX=(sox -D -R -V1)
RATE=22050

# ---------------------------------------------------------------------------
# Spoken digits
#
# One line per language, in the order of the program's voice language index:
# resource prefix, espeak-ng voice, the ten words 0..9. Mandarin and Turkish
# take the numerals: espeak-ng's Mandarin voice has no reading for the Chinese
# characters (it reads ling yi er san si wu liu qi ba jiu for 0..9), and its
# Turkish numerals get the palatal k and final stress that the spelled words
# lose.
LANGUAGES=(
  "EN en zero one two three four five six seven eight nine"
  "DE de null eins zwei drei vier fünf sechs sieben acht neun"
  "RU ru ноль один два три четыре пять шесть семь восемь девять"
  "IT it zero uno due tre quattro cinque sei sette otto nove"
  "CH cmn 0 1 2 3 4 5 6 7 8 9"
  "FR fr zéro un deux trois quatre cinq six sept huit neuf"
  "PL pl zero jeden dwa trzy cztery pięć sześć siedem osiem dziewięć"
  "PR pt zero um dois três quatro cinco seis sete oito nove"
  "TR tr 0 1 2 3 4 5 6 7 8 9"
)

LEAD_KEEP=220    # samples (10 ms) kept before the first audible sound
TAIL_KEEP=660    # samples (30 ms) kept after the last one, for the decay
MIN_SAMPLES=4410 # 0.20 s: shorter clips get trailing silence
# The first digit of a level is cut off by the second one 500 ms later, so the
# speech itself must fit in 0.46 s; Turkish 8 has 100 ms more before the next.
SPEECH_LIMIT=10143     # 0.46 s
SPEECH_LIMIT_TR8=12348 # 0.56 s
TARGET_RMS=-18         # dBFS: the same loudness in every language ...
PEAK_CEILING=-1        # ... as long as the peak stays below this

samples() { soxi -s "$1"; }

# Level statistics of a clip: prints "<rms dB> <peak dB>".
levels() {
  "${SOX[@]}" "$1" -n stats 2>&1 |
    awk '/^RMS lev dB/ {rms = $4} /^Pk lev dB/ {pk = $4} END {print rms, pk}'
}

# speak VOICE TEXT LIMIT OUT: the word as a trimmed 16-bit clip at 22,050 Hz.
# Starts at espeak-ng's usual 175 words a minute and speeds up in steps of
# 10 until the speech fits LIMIT samples.
speak() {
  local voice=$1 text=$2 limit=$3 out=$4
  local speed raw="$WORK/raw.wav" total lead tail speech start end
  for speed in 175 185 195 205 215 225 235 245 255; do
    espeak-ng -v "$voice" -s "$speed" -w "$raw" "$text"
    total=$(samples "$raw")
    # Where the sound begins and ends: silence detection at -45 dBFS,
    # measured only; the cut itself keeps LEAD_KEEP/TAIL_KEEP of the
    # original around it, so soft onsets (f, s, h) are not clipped.
    "${SOX[@]}" "$raw" "$WORK/a.wav" silence 1 0.005 -45d
    lead=$((total - $(samples "$WORK/a.wav")))
    "${SOX[@]}" "$WORK/a.wav" "$WORK/b.wav" reverse silence 1 0.005 -45d reverse
    speech=$(samples "$WORK/b.wav")
    tail=$((total - lead - speech))
    if ((speech <= limit)); then break; fi
  done
  if ((speech > limit)); then
    echo "make_sounds: '$text' ($voice) is still $speech samples long" >&2
    exit 1
  fi
  start=$((lead > LEAD_KEEP ? lead - LEAD_KEEP : 0))
  end=$((tail > TAIL_KEEP ? total - tail + TAIL_KEEP : total))
  local padding=$((MIN_SAMPLES - (end - start)))
  ((padding > 0)) || padding=0
  "${SOX[@]}" "$raw" "$out" trim "${start}s" "=${end}s" \
    fade h 0.004 0 0.012 pad 0 "${padding}s"
  echo "$speed" >"$WORK/speed"
}

# encode IN OUT [effects...]: Microsoft ADPCM at the gain that brings IN to
# the target loudness without passing the peak ceiling.
encode_normalised() {
  local in=$1 out=$2
  shift 2
  local gain
  gain=$(levels "$in" | awk -v t="$TARGET_RMS" -v c="$PEAK_CEILING" \
    '{g = t - $1; if ($2 + g > c) g = c - $2; printf "%.2f", g}')
  "${SOX[@]}" "$in" -e ms-adpcm "$out" gain "$gain" "$@"
}

if ((PHONEMES)); then
  for line in "${LANGUAGES[@]}"; do
    read -r prefix voice rest <<<"$line"
    printf '%s:' "$prefix"
    for word in $rest; do printf ' %s' "$(espeak-ng -q -x -v "$voice" "$word" | tr -d '\n ')"; done
    echo
  done
  exit 0
fi

for line in "${LANGUAGES[@]}"; do
  read -r prefix voice rest <<<"$line"
  read -r -a words <<<"$rest"
  ((${#words[@]} == 10)) || {
    echo "make_sounds: $prefix needs ten words" >&2
    exit 1
  }
  for digit in 0 1 2 3 4 5 6 7 8 9; do
    limit=$SPEECH_LIMIT
    [[ $prefix$digit == TR8 ]] && limit=$SPEECH_LIMIT_TR8
    speak "$voice" "${words[$digit]}" "$limit" "$WORK/speech.wav"
    encode_normalised "$WORK/speech.wav" "$OUT/$prefix$digit.wav"
    printf '%s%s %-10s %3s wpm  %s s\n' "$prefix" "$digit" "${words[$digit]}" \
      "$(cat "$WORK/speed")" "$(soxi -D "$OUT/$prefix$digit.wav")"
  done
done

# ---------------------------------------------------------------------------
# The tone: a soft 880 Hz beep with a touch of its octave, 0.88 s.
"${SOX[@]}" -n -r 8000 -c 1 -b 16 "$WORK/fundamental.wav" synth 0.88 sine 880
"${SOX[@]}" -n -r 8000 -c 1 -b 16 "$WORK/octave.wav" synth 0.88 sine 1760
"${SOX[@]}" -m -v 0.8 "$WORK/fundamental.wav" -v 0.2 "$WORK/octave.wav" \
  -e signed-integer -b 16 "$OUT/TONE.wav" fade q 0.02 0.88 0.35 gain -n -10
echo "TONE $(soxi -D "$OUT/TONE.wav") s"

# ---------------------------------------------------------------------------
# Bird calls. A call is a row of notes: "<seconds> <from Hz> <to Hz>" sweeps
# (exponential, so the pitch glides evenly) or "gap <seconds>" pauses; each
# note gets soft edges so nothing clicks. A little reverb puts the bird
# outdoors; the call is then cut to its length and faded out.

# note OUT SECONDS FROM TO [effects...]
note() {
  local out=$1 seconds=$2 from=$3 to=$4
  shift 4
  "${SOX[@]}" -n -r $RATE -c 1 -b 16 "$out" synth "$seconds" sine "$from/$to" \
    "$@" fade h 0.006 0 0.012
}

# call NAME LENGTH REVERB NOTE... ; NOTE is "s from to [effects]" or "gap s"
call() {
  local name=$1 length=$2 reverb=$3
  shift 3
  local parts=() i=0 step
  for step in "$@"; do
    i=$((i + 1))
    local part="$WORK/$name-$i.wav"
    if [[ $step == gap* ]]; then
      "${SOX[@]}" -n -r $RATE -c 1 -b 16 "$part" trim 0 "${step#gap }"
    else
      # shellcheck disable=SC2086 # the note's words are its arguments
      note "$part" $step
    fi
    parts+=("$part")
  done
  "${SOX[@]}" "${parts[@]}" "$WORK/$name.wav" pad 0.005 0.3 reverb "$reverb" 50 40 100 0 0 \
    gain -n -8 trim 0 "$length" fade h 0 "$length" 0.03
  "${SOX[@]}" "$WORK/$name.wav" -e ms-adpcm "$OUT/$name.wav"
  echo "$name $(soxi -D "$OUT/$name.wav") s"
}

# A sparrow-like "chip-chip-cheew": two rising chips and a falling note.
call BIRD0 0.37 15 \
  "0.045 3200 5200" "gap 0.04" "0.045 3400 5400" "gap 0.04" "0.11 5600 2900"

# A trill: a falling glide chopped into twenty notes a second, like a
# chaffinch or canary.
call BIRD1 0.69 15 \
  "0.6 4800 3300 tremolo 21 100"

# A whistle "tu-wheeet" with a little flutter on the rising note, like an oriole.
call BIRD2 0.43 15 \
  "0.11 2500 2250" "gap 0.05" "0.21 1900 3400 tremolo 14 35"

# A cuckoo: two soft falling notes a major third apart.
call BIRD3 0.58 15 \
  "0.19 720 680 fade h 0.03 0 0.05" "gap 0.07" "0.27 575 545 fade h 0.03 0 0.12"

# ---------------------------------------------------------------------------
# The alarm: a high-low two-tone, rounded square waves, the same in both
# channels, 0.52 s; played every 0.55 s it makes an unmistakable warble.
"${SOX[@]}" -n -r $RATE -c 1 -b 16 "$WORK/hi.wav" synth 0.25 square 988 fade h 0.005 0 0.01
"${SOX[@]}" -n -r $RATE -c 1 -b 16 "$WORK/lo.wav" synth 0.25 square 740 fade h 0.005 0 0.01
"${SOX[@]}" "$WORK/hi.wav" "$WORK/lo.wav" -e ms-adpcm "$OUT/ALARM.wav" \
  lowpass 3000 pad 0 0.02 gain -n -6 channels 2
echo "ALARM $(soxi -D "$OUT/ALARM.wav") s"

# ---------------------------------------------------------------------------
# The resource lines, relative to resources/ where orvalis.rc includes them.
{
  echo "// The program's sound clips, made by tools/make_sounds.sh."
  for line in "${LANGUAGES[@]}"; do
    prefix=${line%% *}
    for digit in 0 1 2 3 4 5 6 7 8 9; do
      echo "$prefix$digit RCDATA \"sounds/$prefix$digit.wav\""
    done
  done
  echo 'TONE RCDATA "sounds/TONE.wav"'
  for i in 0 1 2 3; do echo "BIRD$i RCDATA \"sounds/BIRD$i.wav\""; done
  echo 'ALARM RCDATA "sounds/ALARM.wav"'
} >"$OUT/sounds.rc"
