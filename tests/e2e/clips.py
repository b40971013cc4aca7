#!/usr/bin/env python3
# Names the clips a sound capture holds: "clips.py CAPTURE_DIR SOUNDS_DIR"
# prints one line per clip, "<start in ms since the epoch> <name>", oldest
# first. A clip is named by the reference WAV (decoded with sox to the samples
# Wine hands to ALSA) whose samples are nearest; "?" when nothing comes close.
# A clip cut off by the next one is compared with the start of each reference.
import array
import glob
import os
import subprocess
import sys

capture_dir, sounds_dir = sys.argv[1], sys.argv[2]


def samples(data):
    return array.array("h", data[: len(data) // 2 * 2])


def references():
    refs = {}
    for wav in sorted(glob.glob(os.path.join(sounds_dir, "*.wav"))):
        raw = subprocess.run(["sox", wav, "-t", "raw", "-e", "signed", "-b", "16", "-"],
                             check=True, capture_output=True).stdout
        refs[os.path.basename(wav)[:-4]] = samples(raw)
    return refs


def distance(clip, ref):
    """Mean absolute difference over the clip, relative to the level of the
    same stretch of the reference."""
    ref = ref[: len(clip)]
    level = sum(abs(x) for x in ref) / len(ref) or 1
    return sum(abs(x - y) for x, y in zip(clip, ref)) / len(ref) / level


def name_of(clip, refs):
    best, best_distance = "?", 0.25
    for name, ref in refs.items():
        if ref and len(ref) * 0.3 <= len(clip) <= len(ref) + 2:
            d = distance(clip, ref)
            if d < best_distance:
                best, best_distance = name, d
    return best


refs = references()
for path in sorted(glob.glob(os.path.join(capture_dir, "*.raw"))):
    with open(path, "rb") as f:
        clip = samples(f.read())
    started_ms = round(float(os.path.basename(path)[:-4]) * 1000)
    print(started_ms, name_of(clip, refs) if clip else "(empty)")
