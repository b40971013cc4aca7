#!/usr/bin/env python3
# The far end of the ALSA file sink: Wine opens the device once for every clip
# it plays and writes the clip's samples straight away, so each run of this
# script is one clip. It keeps the samples and the moment the clip started.
import os
import sys
import time

started = time.time()
folder = sys.argv[1]
data = bytearray()
while chunk := os.read(0, 65536):
    data += chunk
name = f"{started:.4f}"
with open(os.path.join(folder, name + ".raw"), "wb") as out:
    out.write(data)
