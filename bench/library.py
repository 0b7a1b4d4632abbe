#!/usr/bin/env python3
"""Times `varnholt search` over generated stores of 1,000, 10,000 and 30,000 articles (about 3 KB of GBK text each,
with saved listing pages of twenty entries) and `varnholt export --epub` of 365 articles; whole commands, warm page
cache, medians. A search keeps a snapshot of the store for the next one: "search" is a search after one before it,
"first_search" a search without a snapshot (it reads every file and writes the snapshot). With the start-up probe,
also the window's search over 10,000 articles (the search alone, in the window's process). Prints one JSON object.
Usage: library.py VARNHOLT FOLDER [PROBE]"""
import json
import os
import random
import statistics
import subprocess
import sys
import time

varnholt, folder = sys.argv[1], sys.argv[2]
probe = sys.argv[3] if len(sys.argv) > 3 else None
CHARS = "母猪仔猪饲养管理产房保温发情配种妊娠哺乳断奶疫苗消毒营养饲料体温采食栏舍通风温度湿度疾病预防治疗分娩护理"
PUNCT = "，。、；"
SITE = "http://127.0.0.1:1"  # nothing is downloaded


def make_store(root, count):
    category = os.path.join(root, "Marrowfen", "母豬養殖技術")
    listing = os.path.join(category, "目録")
    os.makedirs(listing, exist_ok=True)
    rng = random.Random(count)
    items = []
    for n in range(count):
        title = "母猪管理要点第%d讲" % n
        date = "20%02d-%d-%d" % (10 + n % 15, 1 + n % 12, 1 + n % 28)
        paragraphs = []
        size = 0
        while size < 2900:
            words = "".join(rng.choice(CHARS) + (rng.choice(PUNCT) if rng.random() < 0.08 else "") for _ in range(60))
            if rng.random() < 0.02:
                words += "难产"
            paragraphs.append("　　" + words)
            size += len(words.encode("gbk")) + 6
        text = "\r\n".join([title, date, "作者未知", "\r\n".join(paragraphs), "免责申明：本栏目所发资料信息部分来自网络。"])
        with open(os.path.join(category, title + ".txt"), "wb") as f:
            f.write(text.encode("gbk"))
        items.append((date, title))
    for page in range(0, (count + 19) // 20):
        lines = ['<li class="catlist_li"><span class="r">%s</span><a href="/a/%s.html" target="_blank" '
                 'title="%s">t</a></li>' % (d, t, t) for d, t in items[page * 20:page * 20 + 20]]
        with open(os.path.join(listing, "第%d頁網頁.html" % (page + 1)), "wb") as f:
            f.write(("<ul>\r\n" + "\r\n".join(lines) + "\r\n</ul>").encode("gbk"))


def timed(command, runs, before=lambda: None):
    subprocess.run(command, capture_output=True)  # warm the page cache
    samples = []
    for _ in range(runs):
        before()
        start = time.perf_counter()
        subprocess.run(command, capture_output=True)
        samples.append((time.perf_counter() - start) * 1000)
    return statistics.median(samples)


result = {}
for count in (1000, 10000, 30000):
    root = os.path.join(folder, "store-%d" % count)
    if not os.path.isdir(root):
        make_store(root, count)
        time.sleep(3)  # files written within seconds before a search are not kept in its snapshot
    size = sum(os.path.getsize(os.path.join(d, f)) for d, _, files in os.walk(root) for f in files
               if not f.startswith("."))
    search = [varnholt, "search", "难产", "--store", root, "--site", SITE]
    snapshot = os.path.join(root, "Marrowfen", ".varnholt-search-cache")
    result["first_search_%d_ms" % count] = timed(search, 5, lambda: os.path.exists(snapshot) and os.remove(snapshot))
    result["search_%d_ms" % count] = timed(search, 9)
    result["store_%d_mb" % count] = size / 1e6
    if probe and count == 10000:
        samples = [float(subprocess.run([probe, "windowsearch", SITE, root, "难产"], capture_output=True, text=True,
                                        env={"QT_QPA_PLATFORM": "offscreen"}).stdout.split()[0]) for _ in range(9)]
        result["window_search_10000_ms"] = statistics.median(samples)
root = os.path.join(folder, "store-365")
if not os.path.isdir(root):
    make_store(root, 365)
book = os.path.join(folder, "book.epub")
result["epub_365_ms"] = timed([varnholt, "export", "--epub", book, "--store", root, "--site", SITE], 5)
print(json.dumps(result))
