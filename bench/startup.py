#!/usr/bin/env python3
"""Times the start-up probe and the program: process start to a shown window with both counts (from the site, and
from the saved index page with the site refused), to a shown window with a site that never answers, and `show P N`
from the store with the site refused; reads the resident memory after a page of twenty articles. Prints one JSON
object. Usage: startup.py PROBE VARNHOLT"""
import json
import statistics
import subprocess
import sys
import tempfile
import time

probe, varnholt = sys.argv[1], sys.argv[2]
REFUSED = "http://127.0.0.1:1"


def timed(command, runs=15, until_line=None):
    subprocess.run(command, check=True, capture_output=True)  # warm the file cache
    samples = []
    for _ in range(runs):
        start = time.perf_counter()
        if until_line:
            process = subprocess.Popen(command, stdout=subprocess.PIPE, text=True)
            line = process.stdout.readline().strip()
            samples.append((time.perf_counter() - start) * 1000)
            process.wait()
            assert line == until_line, line
        else:
            subprocess.run(command, check=True, capture_output=True)
            samples.append((time.perf_counter() - start) * 1000)
    return statistics.median(samples)


def server(mode):
    process = subprocess.Popen([probe, mode], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    return process, process.stdout.readline().strip()


sample, address = server("serve")
hole, hole_address = server("blackhole")
result = {}
with tempfile.TemporaryDirectory() as store:
    result["startup_ms_median"] = timed([probe, "start", address, store])
    result["shown_black_hole_ms_median"] = timed([probe, "shown", hole_address, store], until_line="shown")
    # Page 1 saved with its articles: then the site is refused.
    subprocess.run([varnholt, "page", "1", "--site", address, "--store", store], check=True, capture_output=True)
    result["startup_refused_stored_ms_median"] = timed([probe, "start", REFUSED, store])
    result["show_refused_stored_ms_median"] = timed(
        [varnholt, "show", "1", "3", "--site", REFUSED, "--store", store, "--retries", "0"])
with tempfile.TemporaryDirectory() as store:
    result["resident_mib_after_page"] = int(subprocess.run([probe, "page", address, store], check=True,
                                                           capture_output=True, text=True).stdout.strip()) / 1024
for process in (sample, hole):
    process.stdin.close()
    process.wait()
print(json.dumps(result))
