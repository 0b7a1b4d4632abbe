#!/usr/bin/env python3
"""Writes the benchmark inputs (GBK pages in the site's mark-up) into the folder given as the first argument.

listing_100k.html          a listing page of about 100 KB with twenty entries
article_100k.html          article pages of about 100 KB, 1 MB and 10 MB
article_1m.html, article_10m.html
article_1m_oneline.html    the 1 MB and 10 MB pages without line breaks
article_10m_oneline.html
"""
import os
import sys

SENTENCES = [
    "母猪的体况直接影响产仔数和仔猪初生重，饲养过程中要经常观察膘情。",
    "妊娠后期胎儿生长迅速，应适当提高日粮的能量和蛋白水平。",
    "产房温度宜保持在二十度左右，仔猪保温区则要更高一些。",
    "断奶后三到七天是母猪发情的集中时期，每天要查情两次。",
    "饮水要充足清洁，哺乳母猪每天的饮水量可达三十升以上。",
    "饲料原料要防止霉变，发现结块或异味的饲料应立即停用。",
]
NOTICE = ("免责申明：本栏目所发资料信息部分来自网络，仅供大家学习、交流。我们尊重原创作者和单位，支持正版。"
          "若本文侵犯了您的权益，请直接点击")


def navigation(n):
    # Site chrome between and around the content: links, scripts, sidebars.
    parts = []
    for i in range(n):
        parts.append('<li class="nav_item"><a href="/%d/index.html" target="_blank" title="栏目%d">栏目 %d</a></li>\r\n'
                     % (300 + i % 50, i, i))
        if i % 5 == 0:
            parts.append('<script type="text/javascript">var s%d = "x"; document.write(s%d);</script>\r\n' % (i, i))
        if i % 7 == 0:
            parts.append('\t\t\r\n')
    return "".join(parts)


def listing(size):
    head = ('<!DOCTYPE html>\r\n<html>\r\n<head>\r\n<meta http-equiv="Content-Type" content="text/html; charset=gb2312" />'
            '\r\n<title>母豬養殖技術</title>\r\n</head>\r\n<body>\r\n<div class="top">\r\n')
    items = []
    for i in range(20):
        title = "母猪饲养管理要点第%d讲 (图)" % (i + 1)
        items.append('\t\t<li class="catlist_li"><span class="right">2024-%d-%d</span>'
                     '<a href="https://www.example.invalid/303/2024/%d.html" target="_blank" title="%s">%s</a></li>\r\n'
                     % (1 + i % 12, 1 + i % 28, 1000 + i, title, title))
        if i % 4 == 3:
            items.append("\t\t\r\n")
    body = "".join(items)
    pager = ('<div class="pages"><a class="a1">365条</a> <a href="/303/index.html" class="a1">上一页</a> '
             '<a href="/303/57.html">57</a> <a href="/303/2.html" class="a1">下一页</a> </div>\r\n')
    text = head + navigation(1) + '<ul class="catlist">\r\n' + body + "</ul>\r\n"
    filler = navigation(10)
    while len(text.encode("gbk")) < size:
        text += filler
    return text + pager + "</body>\r\n</html>\r\n"


def article(size, one_line):
    head = ('<!DOCTYPE html>\r\n<html>\r\n<head>\r\n<meta charset="gbk">\r\n<title>母猪饲养</title>\r\n</head>\r\n'
            '<body>\r\n' + navigation(40) + '<div class="content">\r\n<h1>母猪饲养</h1>\r\n'
            '<p class="intro">【导读】母猪的饲养管理是养殖户经常问到的问题...</p>\r\n')
    tail = ('<p class="notice">' + NOTICE + '<a href="/about/contact.html">联系我们</a></p>\r\n</div>\r\n'
            + navigation(40) + '</body>\r\n</html>\r\n')
    paragraphs = []
    budget = size - len((head + tail).encode("gbk"))
    i = 0
    while budget > 0:
        p = '<p>　　' + "".join(SENTENCES[(i + k) % len(SENTENCES)] for k in range(3)) + '</p>'
        if i % 3 == 0:
            p += '<script type="text/javascript">a("conten");</script>'
        p += "\r\n"
        paragraphs.append(p)
        budget -= len(p.encode("gbk"))
        i += 1
    text = head + "".join(paragraphs) + tail
    if one_line:
        text = text.replace("\r\n", " ")
    return text


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else "bench-inputs"
    os.makedirs(folder, exist_ok=True)
    outputs = {
        "listing_100k.html": listing(100_000),
        "article_100k.html": article(100_000, False),
        "article_1m.html": article(1_000_000, False),
        "article_10m.html": article(10_000_000, False),
        "article_1m_oneline.html": article(1_000_000, True),
        "article_10m_oneline.html": article(10_000_000, True),
    }
    for name, text in outputs.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(text.encode("gbk"))


if __name__ == "__main__":
    main()
