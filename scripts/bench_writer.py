#!/usr/bin/env python3
"""Writes a burst of small files into a folder as fast as the Linux side can."""
import os
import sys

folder, count = sys.argv[1], int(sys.argv[2])
for i in range(count):
    with open(os.path.join(folder, f"file{i:06d}.dat"), "wb") as f:
        f.write(b"tandem")
