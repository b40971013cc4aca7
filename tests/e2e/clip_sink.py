#!/usr/bin/env python3
# The far end of the ALSA file sink: Wine opens the device once for every clip
# it plays and writes the clip's samples straight away, so each run of this
# script is one clip, kept under the moment it started.
import os
import sys
import time

name = os.path.join(sys.argv[1], f"{time.time():.4f}.raw")
data = sys.stdin.buffer.read()
with open(name, "wb") as out:
    out.write(data)
