#!/usr/bin/env python3
"""The store answers first. With a store holding listing pages 1-3 and all their articles, times whole commands (median
of five runs, default options) against a site that refuses connections, one that accepts them and never answers, one
that answers every address with an unrelated page (a parked domain), no network at all (a private network namespace,
where one can be made) and --offline; counts the requests of --offline and of `update` on an unchanged site; times
the window against the site that never answers. Prints one JSON object. Usage: store_first.py PROBE VARNHOLT"""
import http.server
import json
import os
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time

probe, varnholt = sys.argv[1], sys.argv[2]
REFUSED = "http://127.0.0.1:1"


class Parked(http.server.BaseHTTPRequestHandler):
    requests = 0
    body = b"<html><body>This domain is for sale.</body></html>"

    def do_GET(self):
        Parked.requests += 1
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(self.body)))
        self.end_headers()
        self.wfile.write(self.body)

    def log_message(self, *args):
        pass


def timed(command, runs=5):
    samples = []
    for _ in range(runs):
        start = time.perf_counter()
        subprocess.run(command, capture_output=True)
        samples.append((time.perf_counter() - start) * 1000)
    return statistics.median(samples)


def snapshot(store):
    """Every file of the store but the search's cache, with its content: to tell that nothing changed."""
    files = {}
    for folder, _, names in os.walk(store):
        for name in names:
            if not name.startswith(".varnholt-search-cache"):
                with open(os.path.join(folder, name), "rb") as f:
                    files[os.path.join(folder, name)] = f.read()
    return files


sample = subprocess.Popen([probe, "serve"], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
address = sample.stdout.readline().strip()


def sample_requests():
    sample.stdin.write("count\n")
    sample.stdin.flush()
    return int(sample.stdout.readline())


hole = socket.socket()
hole.bind(("127.0.0.1", 0))
hole.listen(1024)  # connections complete in the backlog, and are never answered
hole_address = "http://127.0.0.1:%d" % hole.getsockname()[1]
parked = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Parked)
threading.Thread(target=parked.serve_forever, daemon=True).start()
parked_address = "http://127.0.0.1:%d" % parked.server_address[1]
namespace = subprocess.run(["unshare", "-n", "true"], capture_output=True).returncode == 0

result = {}
with tempfile.TemporaryDirectory() as store:
    subprocess.run([varnholt, "archive", "1-3", "--site", address, "--store", store], check=True, capture_output=True)
    before = snapshot(store)
    sites = {"refused": REFUSED, "black_hole": hole_address, "parked": parked_address}
    for name, site in sites.items():
        for command in (["show", "2", "5"], ["page", "2"], ["counts"]):
            result["%s_%s_ms" % (command[0], name)] = timed([varnholt] + command + ["--site", site, "--store", store])
    if namespace:
        for command in (["show", "2", "5"], ["page", "2"], ["counts"]):
            result["%s_no_network_ms" % command[0]] = timed(
                ["unshare", "-n", varnholt] + command + ["--site", address, "--store", store])
    Parked.requests = 0
    result["show_offline_ms"] = timed([varnholt, "show", "2", "5", "--offline", "--site", parked_address,
                                       "--store", store])
    result["offline_requests"] = Parked.requests
    start = sample_requests()
    subprocess.run([varnholt, "update", "--site", address, "--store", store], check=True, capture_output=True)
    result["update_unchanged_requests"] = sample_requests() - start
    result["store_unchanged"] = snapshot(store) == before
    lines = subprocess.run([probe, "storefirst", hole_address, store], capture_output=True, text=True,
                           env={"QT_QPA_PLATFORM": "offscreen"}).stdout.split()
    result["window_page_list_black_hole_ms"] = float(lines[0])
    result["window_page_listed_black_hole_ms"] = float(lines[1])
    # The window's memory: page 2, its fifth article; the site refuses connections.
    with open(os.path.join(store, "Marrowfen", ".varnholt-window"), "w") as f:
        f.write("page=2\narticle=5\n")
    samples = []
    for _ in range(9):
        start = time.perf_counter()
        shown = subprocess.run([probe, "restore", REFUSED, store], capture_output=True, text=True,
                               env={"QT_QPA_PLATFORM": "offscreen"}).stdout.strip()
        samples.append((time.perf_counter() - start) * 1000)
        assert shown == "shown", shown
    result["restore_last_article_ms"] = statistics.median(samples)
sample.stdin.close()
sample.wait()
print(json.dumps(result))
