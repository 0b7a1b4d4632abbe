#!/usr/bin/env python3
"""The listing and article extraction written with Python's re, for comparison with the C++ benchmarks.

Two variants: on the GBK-decoded text with re.ASCII (the same GBK-aware semantics as the program: a Chinese
character is one character that is never \\w, \\d or \\s), and on the raw bytes. Prints one JSON object per line:
{"job", "input", "variant", "median_us", "bytes"}.
"""
import json
import os
import re
import statistics
import sys
import time

ENTRY = (r'<li\s?class="catlist_li"><span\s?class="[^<>]+">(\d{4}(?:-\d{1,2}){2})</span><a\s?href="([^"\s]+)"'
         r'\s?target="_blank"\s?title="([^"]+)">(?:[^<>]+)</a></li>')
TAG = r'<[\w\s"-/_\?,:\.=!;\[\]]+>'
LEAD_IN = r'【导读】.+\.\.\.'
NOTICE = ('(?:内容由用户发布，不代表本站观点。如发现有害或侵权内容。请点击这里)'
          '|(?:免责申明：本栏目所发资料信息部分来自网络，仅供大家学习、交流。我们尊重原创作者和单位，支持正版。'
          '若本文侵犯了您的权益，请直接点击)'
          '|(?:免责申明：本栏目所发资料信息部分来自网络，仅供大家学习、交流。我们尊重原创作者和单位，支持正版。)')


def variant(as_bytes):
    def p(text):
        return re.compile(text.encode("gbk")) if as_bytes else re.compile(text, re.ASCII)

    def lit(text):
        return text.encode("gbk") if as_bytes else text

    entry, tag, lead_in, notice = p(ENTRY), p(TAG), p(LEAD_IN), p(NOTICE)
    space, blank, tab, residue, empty = lit(" "), lit("\r\n\r\n"), lit("\t"), lit('a("conten");'), lit("")

    def listing(page):
        text = page.replace(space, empty).replace(blank, empty).replace(tab, empty).replace(blank, empty)
        return [(m.group(3), m.group(1), m.group(2)) for m in entry.finditer(text)]

    def article(page):
        text = tag.sub(empty, page)
        if not text:
            return page
        m = lead_in.search(text)
        if m:
            pieces = text.split(m.group(0))
            text = pieces[1] if len(pieces) > 1 else pieces[0]
        m = notice.search(text)
        if m:
            text = text.split(m.group(0))[0]
        return text.replace(space, empty).replace(tab, empty).replace(residue, empty).replace(blank, empty)

    return listing, article


def timed(function, argument, repeats):
    samples = []
    for _ in range(repeats):
        start = time.perf_counter()
        function(argument)
        samples.append(time.perf_counter() - start)
    return statistics.median(samples) * 1e6


def main():
    folder = sys.argv[1]
    jobs = [("listing", "listing_100k.html", 200)] + [
        ("article", name, repeats) for name, repeats in
        [("article_100k.html", 100), ("article_1m.html", 10), ("article_10m.html", 3),
         ("article_1m_oneline.html", 10), ("article_10m_oneline.html", 3)]]
    for as_bytes in (False, True):
        listing, article = variant(as_bytes)
        for job, name, repeats in jobs:
            with open(os.path.join(folder, name), "rb") as f:
                raw = f.read()
            page = raw if as_bytes else raw.decode("gbk", errors="replace")
            function = listing if job == "listing" else article
            median = timed(function, page, repeats)
            print(json.dumps({"job": job, "input": name, "variant": "python-bytes" if as_bytes else "python-decoded",
                              "median_us": median, "bytes": len(raw)}), flush=True)


if __name__ == "__main__":
    main()
