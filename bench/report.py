#!/usr/bin/env python3
"""Turns the benchmark results in the given folder into the Markdown tables of docs/performance.md."""
import json
import os
import sys

folder = sys.argv[1]


def medians(path):
    with open(path) as f:
        data = json.load(f)
    result = {}
    for b in data["benchmarks"]:
        if b.get("aggregate_name", "median") != "median":
            continue
        # Without Google Benchmark's settings in the name: /iterations:5, /repeats:3, /real_time and the like.
        run_name = b.get("run_name", b["name"]).replace("_median", "")
        name = "/".join(part for part in run_name.split("/") if ":" not in part and not part.endswith("_time"))
        scale = {"ns": 1e-3, "us": 1, "ms": 1e3}[b["time_unit"]]
        result[name] = b["real_time"] * scale  # microseconds
        if "ratio" in b:
            result[name + "/ratio"] = b["ratio"]
    return result


extraction = medians(os.path.join(folder, "extraction.json"))
python = {}
with open(os.path.join(folder, "python.jsonl")) as f:
    for line in f:
        row = json.loads(line)
        python[(row["job"], row["input"], row["variant"])] = (row["median_us"], row["bytes"])

print("### Extraction (median µs; MB/s)\n")
print("| job | input | ours | MB/s | Python re, decoded | ratio | Python re, bytes | ratio | memcpy |")
print("|---|---|---:|---:|---:|---:|---:|---:|---:|")
for (job, name, variant), (decoded_us, size) in python.items():
    if variant != "python-decoded":
        continue
    ours = extraction.get(f"{job}/extract/{name}")
    floor = extraction.get(f"{job}/memcpy/{name}")
    raw_us = python[(job, name, "python-bytes")][0]
    print(f"| {job} | {name} | {ours:.0f} | {size / ours:.0f} | {decoded_us:.0f} | {decoded_us / ours:.1f}× | "
          f"{raw_us:.0f} | {raw_us / ours:.1f}× | {floor:.1f} |")

def article(name):
    return extraction[f"article/extract/{name}"]


def paired(larger, smaller):
    return extraction[f"article/paired/{larger}/{smaller}/ratio"]


print("\n| growth | paired | of the medians above |")
print("|---|---:|---:|")
print(f"| 10 MB page against the 100 KB page | {paired('article_10m.html', 'article_100k.html'):.0f}× | "
      f"{article('article_10m.html') / article('article_100k.html'):.0f}× |")
for size in ("1m", "10m"):
    oneline, multiline = f"article_{size}_oneline.html", f"article_{size}.html"
    print(f"| {size.upper()}B single-line page against its multi-line twin | {paired(oneline, multiline):.2f}× | "
          f"{article(oneline) / article(multiline):.2f}× |")

io = medians(os.path.join(folder, "io.json"))
print("\n### Downloads and the stored case (median)\n")
print("| benchmark | median | floor | ratio |")
print("|---|---:|---:|---:|")
for name, us in io.items():
    if name.startswith("downloads/"):
        floor = 40 if "twoWorker" in name else 400
        print(f"| {name} | {us / 1000:.1f} ms | {floor} ms | {us / 1000 / floor:.3f} |")
    else:
        print(f"| {name} | {us:.1f} µs | | |")

with open(os.path.join(folder, "startup.json")) as f:
    startup = json.load(f)
print("\n### Start-up and memory\n")
print("| measure | value |")
print("|---|---:|")
print(f"| process start to shown window with both counts (median of 15) | {startup['startup_ms_median']:.0f} ms |")
print(f"| process start to shown window, site never answers (median of 15) | "
      f"{startup['shown_black_hole_ms_median']:.0f} ms |")
print(f"| process start to both counts from the saved index, site refused (median of 15) | "
      f"{startup['startup_refused_stored_ms_median']:.0f} ms |")
print(f"| `show 1 3` from the store, site refused, whole process (median of 15) | "
      f"{startup['show_refused_stored_ms_median']:.0f} ms |")
print(f"| resident memory after a page of twenty articles | {startup['resident_mib_after_page']:.1f} MiB |")

library_file = os.path.join(folder, "library.json")
if os.path.exists(library_file):
    with open(library_file) as f:
        library = json.load(f)
    print("\n### Search and export (whole commands, warm page cache, medians)\n")
    print("| measure | after a search | first search (no snapshot) |")
    print("|---|---:|---:|")
    for count in (1000, 10000, 30000):
        print(f"| search over {count:,} articles ({library[f'store_{count}_mb']:.0f} MB) | "
              f"{library[f'search_{count}_ms']:.0f} ms | {library[f'first_search_{count}_ms']:.0f} ms |")
    print(f"| EPUB export of 365 articles | {library['epub_365_ms']:.0f} ms | |")
    if "window_search_10000_ms" in library:
        print(f"| the window's search over 10,000 articles (the search alone) | "
              f"{library['window_search_10000_ms']:.0f} ms | |")

store_first_file = os.path.join(folder, "store_first.json")
if os.path.exists(store_first_file):
    with open(store_first_file) as f:
        first = json.load(f)
    print("\n### The store answers first (store with pages 1-3, default options, whole commands, medians of 5)\n")
    print("| site | `show 2 5` | `page 2` | `counts` |")
    print("|---|---:|---:|---:|")
    for key, name in (("refused", "refuses connections"), ("black_hole", "accepts and never answers"),
                      ("parked", "answers 200 with an unrelated page"), ("no_network", "no network at all")):
        if f"show_{key}_ms" in first:
            print(f"| {name} | {first[f'show_{key}_ms']:.0f} ms | {first[f'page_{key}_ms']:.0f} ms | "
                  f"{first[f'counts_{key}_ms']:.0f} ms |")
    print(f"\n| measure | value |\n|---|---:|")
    print(f"| `show 2 5 --offline` | {first['show_offline_ms']:.0f} ms, {first['offline_requests']} requests |")
    print(f"| `update` on an unchanged site | {first['update_unchanged_requests']} requests |")
    print(f"| window, site never answers: page list filled after it appears | "
          f"{first['window_page_list_black_hole_ms']:.0f} ms |")
    print(f"| window, site never answers: page 2 listed and marked after choosing it | "
          f"{first['window_page_listed_black_hole_ms']:.0f} ms |")
    print(f"| store unchanged by all of these | {'yes' if first['store_unchanged'] else 'NO'} |")
    print(f"| process start to the last run's article shown, from the store, site refused (median of 9) | "
          f"{first['restore_last_article_ms']:.0f} ms |")
