#!/usr/bin/env python3
# "clips.py CAPTURE_DIR SOUNDS_DIR": "<start in ms since the epoch> <name>" per clip,
# oldest first, named by the WAV (decoded by sox as Wine hands it to ALSA) whose start
# differs least from it relative to its level, so that a clip cut off by the next one
# is still named; "?" when nothing comes close, "(empty)" for silence. Silence is left
# out of both sides: a busy machine makes Wine's ALSA output run dry for a moment,
# and the sink then writes a stretch of zeros into the middle of the clip.
import array
import glob
import os
import subprocess
import sys


def samples(data):
    return array.array("h", data[: len(data) // 2 * 2])


def decoded(wav):
    return samples(
        subprocess.run(
            ["sox", wav, "-t", "raw", "-e", "signed", "-b", "16", "-"], check=True, capture_output=True
        ).stdout
    )


def sounding(x, run=64):
    """x without its stretches of at least run zero samples."""
    out, zeros = array.array("h"), 0
    for v in x:
        zeros = zeros + 1 if v == 0 else 0
        out.append(v)
        if zeros == run:
            del out[-run:]
        elif zeros > run:
            out.pop()
    return out


def distance(clip, ref):
    ref = ref[: len(clip)]
    level = sum(map(abs, ref)) / len(ref) or 1
    return sum(abs(x - y) for x, y in zip(clip, ref)) / len(ref) / level


refs = {os.path.basename(w)[:-4]: sounding(decoded(w)) for w in glob.glob(os.path.join(sys.argv[2], "*.wav"))}
for path in sorted(glob.glob(os.path.join(sys.argv[1], "*.raw"))):
    with open(path, "rb") as f:
        clip = samples(f.read())
    # Wine also pads the last period of a clip with silence, more of it when
    # the machine is busy: what follows the clip's sound is not the clip.
    while clip and clip[-1] == 0:
        clip.pop()
    clip = sounding(clip)
    near = [(distance(clip, r), n) for n, r in refs.items() if r and len(r) * 0.3 <= len(clip) <= len(r) + 2]
    d, name = min(near, default=(1, "?"))
    started_ms = round(float(os.path.basename(path)[:-4]) * 1000)
    print(started_ms, "(empty)" if not clip else name if d < 0.25 else "?")
