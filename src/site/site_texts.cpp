// The site's patterns and literals, written once in UTF-8 and converted to GBK on first use.
#include "site/site_texts.h"

#include "platform/gbk_codec.h"

namespace site {
#define VARNHOLT_GBK_TEXT(name, utf8)                              \
    const Text& name()                                             \
    {                                                              \
        static const Text text = platform::gbk::fromUtf8(utf8);    \
        return text;                                               \
    }

VARNHOLT_GBK_TEXT(pageCountPattern,
                  R"re(..<a href="/303/\d+\.html">(\d+)</a> <a href="/303/\d+\.html" class="a1">下一页</a> )re")
VARNHOLT_GBK_TEXT(entryCountPattern, R"re(<a class="a1">(\d+)条</a> <a href="/303/index\.html" class="a1">上一页</a>)re")
// The visible link text is "[^<>]+" and the href "[^"\s]+": a class of the characters of "</a></li>" dropped every
// title holding a, i, l, "/" or a parenthesis, and a greedy "\S+" ran into the next item when two stood on one line.
VARNHOLT_GBK_TEXT(entryPattern,
                  R"re(<li\s?class="catlist_li"><span\s?class="[^<>]+">(\d{4}(?:-\d{1,2}){2})</span><a\s?href="([^"\s]+)"\s?target="_blank"\s?title="([^"]+)">(?:[^<>]+)</a></li>)re")
VARNHOLT_GBK_TEXT(tagPattern, R"re(<[\w\s"-/_\?,:\.=!;\[\]]+>)re")
VARNHOLT_GBK_TEXT(leadInPattern, R"re(【导读】.+\.\.\.)re")
VARNHOLT_GBK_TEXT(leadInMarker, "【导读】")
VARNHOLT_GBK_TEXT(disclaimerPattern,
                  "(?:内容由用户发布，不代表本站观点。如发现有害或侵权内容。请点击这里)"
                  "|(?:免责申明：本栏目所发资料信息部分来自网络，仅供大家学习、交流。我们尊重原创作者和单位，支持正版。"
                  "若本文侵犯了您的权益，请直接点击)"
                  "|(?:免责申明：本栏目所发资料信息部分来自网络，仅供大家学习、交流。我们尊重原创作者和单位，支持正版。)")
VARNHOLT_GBK_TEXT(unknownAuthor, "作者未知")
VARNHOLT_GBK_TEXT(categoryName, "母豬養殖技術")

#undef VARNHOLT_GBK_TEXT

} // namespace site
