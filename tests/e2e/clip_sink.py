#!/usr/bin/env python3
# The far end of the ALSA file sink: Wine opens the device once for every clip
# it plays and writes the clip's samples straight away, so each run of this
# script is one clip, kept under the moment it started.
import os
import sys
import time

started = time.time()
data = sys.stdin.buffer.read()
with open(os.path.join(sys.argv[1], f"{started:.4f}.raw"), "wb") as out:
    out.write(data)
