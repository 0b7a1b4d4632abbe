#!/usr/bin/env python3
"""Times the start-up probe from process start to a shown window with both counts, and reads its resident memory
after a page of twenty articles. Prints one JSON object."""
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

probe = sys.argv[1]
server = subprocess.Popen([probe, "serve"], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
address = server.stdout.readline().strip()
samples = []
with tempfile.TemporaryDirectory() as store:
    subprocess.run([probe, "start", address, store], check=True)  # warm the file cache
    for _ in range(15):
        start = time.perf_counter()
        subprocess.run([probe, "start", address, store], check=True)
        samples.append((time.perf_counter() - start) * 1000)
with tempfile.TemporaryDirectory() as store:
    resident = int(subprocess.run([probe, "page", address, store], check=True, capture_output=True,
                                  text=True).stdout.strip())
server.stdin.close()
server.wait()
print(json.dumps({"startup_ms_median": statistics.median(samples), "startup_ms_min": min(samples),
                  "resident_mib_after_page": resident / 1024}))
