// The sample site's pages, generated from short original texts about sow breeding.
#include "site/sample_site.h"

#include "platform/gbk_codec.h"
#include "platform/local_server.h"

#include <array>
#include <string_view>

namespace sample {
namespace {

using platform::gbk::fromUtf8;

// Titles as the listing page writes them; some hold spaces (dropped by the clean-up), parentheses, lower-case a, i
// and l, and the characters 豬 and 條, whose GBK trail bytes are ASCII letters.
constexpr std::array<std::string_view, 58> Titles = {
    "后备母猪的选留标准",         "母豬產後護理要點(圖)",       "妊娠母猪的分阶段饲喂",
    "哺乳母猪采食量偏低的原因",   "空怀母猪短期优饲的做法",     "母猪发情鉴定的三个方法",
    "配种时机怎样把握",           "母猪分娩前的十條准备",       "初产母猪难产的处理",
    "饲料 pH值与母猪肠道健康",    "母猪夏季防暑降温措施",       "冬季产房保温的细节",
    "母猪便秘的预防与调理",       "母猪乳房炎的早期识别",       "仔猪寄养时母猪的管理",
    "断奶后母猪不发情怎么办",     "母猪体况评分的实际应用",     "妊娠母猪限位栏与群养比较",
    "母猪hCG注射时机的讨论",      "母豬 營養需要 簡表",         "母猪产后无乳综合征",
    "母猪子宫炎的综合防治",       "种公猪与母猪的配比",         "母猪舍的通风设计",
    "产床清洗消毒流程",           "母猪饮水量与水质",           "母猪霉菌毒素中毒的表现",
    "高产母猪的选育方向",         "母猪淘汰的几条原则",         "母猪肢蹄病的预防",
    "哺乳期母猪掉膘的控制",       "母猪返情的常见原因",         "母猪分娩过程的观察",
    "母猪产程过长的处理",         "母猪妊娠诊断的方法",         "母猪流产的预防",
    "母猪群的批次化生产",         "母猪的免疫程序安排",         "母猪青粗饲料的利用",
    "母猪膘情与产仔数的关系",     "母猪舍的光照管理",           "母猪应激的减少办法",
    "母猪产后发热的护理",         "母猪的蹄部修剪",             "母猪饲喂次数的选择",
    "母猪的纤维营养",             "母猪产前减料的做法",         "母猪产后加料的节奏",
    "母猪咬仔的原因与对策",       "母猪的驱虫时间",             "母猪的运动与体质",
    "母猪的年产窝数提高",         "母猪的利用年限",             "母猪的分娩舍转入",
    "母猪的记录卡填写",           "母猪场的生物安全",           "母猪的泌乳曲线",
    "母猪养殖常见误区",
};

constexpr std::array<std::string_view, 24> Sentences = {
    "母猪的体况直接影响产仔数和仔猪初生重，饲养过程中要经常观察膘情。",
    "妊娠前期胚胎附植尚不稳定，饲料不宜过多，以免增加胚胎死亡。",
    "妊娠后期胎儿生长迅速，应适当提高日粮的能量和蛋白水平。",
    "产房温度宜保持在二十度左右，仔猪保温区则要更高一些。",
    "分娩前一周可逐步减少饲喂量，并在饲料中添加适量麸皮以防便秘。",
    "哺乳期间母猪营养需要最大，应采取自由采食或少量多餐的方式。",
    "断奶后三到七天是母猪发情的集中时期，每天要查情两次。",
    "发情母猪常表现为阴户红肿、食欲下降，按压背部时站立不动。",
    "配种宜在静立反应出现后的十二至二十四小时内进行。",
    "栏舍应保持干燥清洁，粪便要及时清理，减少病原微生物滋生。",
    "饮水要充足清洁，哺乳母猪每天的饮水量可达三十升以上。",
    "夏季高温时可采用湿帘降温或滴水降温，避免母猪热应激。",
    "冬季要注意防止贼风，同时保证舍内空气新鲜。",
    "后备母猪要有足够的运动空间，以增强肢蹄的结实程度。",
    "免疫程序要根据本场疫病情况制定，不可照搬别场的做法。",
    "饲料原料要防止霉变，发现结块或异味的饲料应立即停用。",
    "产后要观察母猪的体温、采食和恶露排出情况。",
    "仔猪吃足初乳是提高成活率的关键，出生后应尽早辅助吃奶。",
    "母猪淘汰要结合胎次、产仔成绩和健康状况综合考虑。",
    "做好生产记录，才能及时发现问题并调整管理措施。",
    "适量的粗纤维有助于母猪肠道健康，并能增加饱腹感。",
    "初产母猪骨盆较窄，分娩时要有专人看护。",
    "减少转群、混群等应激因素，有利于母猪稳定采食。",
    "定期驱虫可以减少寄生虫对母猪和仔猪的危害。",
};

constexpr std::array<std::string_view, 3> Notices = {
    "免责申明：本栏目所发资料信息部分来自网络，仅供大家学习、交流。我们尊重原创作者和单位，支持正版。"
    "若本文侵犯了您的权益，请直接点击",
    "内容由用户发布，不代表本站观点。如发现有害或侵权内容。请点击这里",
    "免责申明：本栏目所发资料信息部分来自网络，仅供大家学习、交流。我们尊重原创作者和单位，支持正版。",
};

constexpr std::array<int, SampleSite::PageCount> EntriesPerPage = {20, 20, 18};
constexpr std::string_view CategoryPath = "/303/";

std::string date(int index)
{
    // One- and two-digit months and days, some two-digit ones with a leading zero, newest first.
    const int year = 2024 - index / 24;
    const int month = 12 - (index / 2) % 12;
    const int day = 28 - (index * 5) % 27;
    std::string text = std::to_string(year) + "-";
    text += (index % 5 == 3 && month < 10) ? "0" + std::to_string(month) : std::to_string(month);
    text += "-";
    text += (index % 7 == 2 && day < 10) ? "0" + std::to_string(day) : std::to_string(day);
    return text;
}

std::string withoutSpaces(std::string_view text)
{
    std::string kept;
    for (const char c : text)
        if (c != ' ')
            kept += c;
    return kept;
}

std::vector<std::string> paragraphs(int index)
{
    std::vector<std::string> result;
    const int count = 3 + index % 3;
    for (int p = 0; p < count; ++p) {
        std::string paragraph = "　　";
        for (int s = 0; s < 2 + (index + p) % 2; ++s)
            paragraph += Sentences[static_cast<std::size_t>((index * 7 + p * 5 + s * 3) % Sentences.size())];
        result.push_back(paragraph);
    }
    return result;
}

std::string pager(int page, int entryCount)
{
    const auto link = [](int number) {
        return std::string(CategoryPath) + (number == 1 ? "index" : std::to_string(number)) + ".html";
    };
    std::string text = "<div class=\"pages\"><a class=\"a1\">" + std::to_string(entryCount) + "条</a> ";
    text += "<a href=\"" + link(std::max(1, page - 1)) + "\" class=\"a1\">上一页</a> ";
    for (int number = 1; number <= SampleSite::PageCount; ++number)
        text += number == page ? "<span>" + std::to_string(number) + "</span> "
                               : "<a href=\"" + link(number) + "\">" + std::to_string(number) + "</a> ";
    text += "<a href=\"" + link(std::min(SampleSite::PageCount, page + 1)) + "\" class=\"a1\">下一页</a> ";
    text += "<a href=\"" + link(SampleSite::PageCount) + "\" class=\"a1\">尾页</a></div>";
    return text;
}

// One entry of the site in UTF-8, as its pages write it.
struct Draft {
    std::string path;
    std::string href;
    std::string rawTitle;
    std::string date;
};

std::string listingPage(int page, const std::vector<Draft>& drafts, int entryCount)
{
    std::string html = "<!DOCTYPE html>\r\n<html>\r\n<head>\r\n<meta http-equiv=\"Content-Type\" "
                       "content=\"text/html; charset=gb2312\" />\r\n<title>母豬養殖技術_第" +
                       std::to_string(page) +
                       "页</title>\r\n<link href=\"/css/style.css\" rel=\"stylesheet\" type=\"text/css\" />\r\n"
                       "</head>\r\n<body>\r\n<div class=\"top\"><a href=\"/\">首页</a> | <a href=\"/303/index.html\">"
                       "母豬養殖技術</a></div>\r\n\r\n<div class=\"catlist\">\r\n\t<ul>\r\n";
    for (std::size_t i = 0; i < drafts.size(); ++i) {
        const Draft& draft = drafts[i];
        html += "\t\t<li class=\"catlist_li\"><span class=\"right\">" + draft.date + "</span><a href=\"" + draft.href +
                "\" target=\"_blank\" title=\"" + draft.rawTitle + "\">" + draft.rawTitle + "</a></li>\r\n";
        // Every few items a line of nothing but TABs, as the site's template leaves them.
        if (i % 4 == 3)
            html += "\t\t\r\n";
    }
    html += "\t</ul>\r\n</div>\r\n\r\n" + pager(page, entryCount) + "\r\n</body>\r\n</html>\r\n";
    return html;
}

std::string articlePage(const Draft& draft, const std::vector<std::string>& body, std::string_view notice)
{
    const std::string& rawTitle = draft.rawTitle;
    std::string html = "<!DOCTYPE html>\r\n<html>\r\n<head>\r\n<meta charset=\"gbk\">\r\n<title>" + rawTitle +
                       "_母豬養殖技術</title>\r\n<script type=\"text/javascript\" src=\"/js/common.js\"></script>\r\n"
                       "</head>\r\n<body>\r\n<div class=\"nav\"><a href=\"/\">首页</a> &gt; <a href=\"/303/index.html\">"
                       "母豬養殖技術</a> &gt; 正文</div>\r\n<div class=\"content\">\r\n<h1>" +
                       rawTitle + "</h1>\r\n<div class=\"info\">发布时间：" + draft.date +
                       " 来源：养殖技术站</div>\r\n\r\n<p class=\"intro\">【导读】" + withoutSpaces(rawTitle) +
                       "是养殖户经常问到的问题，下面结合生产实际谈几点做法...</p>\r\n";
    for (std::size_t p = 0; p < body.size(); ++p) {
        html += "<p>" + body[p] + "</p>";
        // The site's counter script sits behind the first paragraph.
        if (p == 0)
            html += "<script type=\"text/javascript\">a(\"conten\");</script>";
        html += "\r\n";
    }
    html += "<p class=\"notice\">" + std::string(notice) + "<a href=\"/about/contact.html\">联系我们</a></p>\r\n";
    html += "</div>\r\n<div class=\"footer\">\r\n\t<p>Copyright 养殖技术站</p>\r\n</div>\r\n</body>\r\n</html>\r\n";
    return html;
}

} // namespace

SampleSite::SampleSite(const std::string& baseAddress)
{
    int index = 0;
    for (int page = 1; page <= PageCount; ++page) {
        std::vector<Draft> drafts;
        for (int i = 0; i < EntriesPerPage[static_cast<std::size_t>(page - 1)]; ++i, ++index) {
            Draft draft;
            draft.rawTitle = Titles[static_cast<std::size_t>(index)];
            draft.date = date(index);
            draft.path = std::string(CategoryPath) + std::to_string(2024 - index / 24) + "/" +
                         std::to_string(1000 + index * 7) + ".html";
            // Most links are absolute; a few are root-relative or relative to the listing page's folder.
            draft.href = baseAddress + draft.path;
            if (index % 9 == 4)
                draft.href = draft.path;
            else if (index % 13 == 6)
                draft.href = draft.path.substr(CategoryPath.size());
            const std::vector<std::string> body = paragraphs(index);
            const std::string_view notice = Notices[static_cast<std::size_t>(index) % Notices.size()];
            allPages.push_back({draft.path, fromUtf8(articlePage(draft, body, notice))});

            SampleArticle article;
            article.path = draft.path;
            article.href = fromUtf8(draft.href);
            article.title = fromUtf8(withoutSpaces(draft.rawTitle));
            article.date = draft.date;
            std::string expectedBody = "\r\n";
            for (const std::string& paragraph : body)
                expectedBody += paragraph + "\r\n";
            article.body = fromUtf8(expectedBody);
            article.disclaimer = fromUtf8(notice);
            allArticles.push_back(std::move(article));
            pageOfArticle.push_back(page);
            drafts.push_back(std::move(draft));
        }
        const std::string path = std::string(CategoryPath) + (page == 1 ? "index" : std::to_string(page)) + ".html";
        allPages.push_back({path, fromUtf8(listingPage(page, drafts, static_cast<int>(Titles.size())))});
    }
}

std::vector<SampleArticle> SampleSite::articlesOfPage(int page) const
{
    std::vector<SampleArticle> result;
    for (std::size_t i = 0; i < allArticles.size(); ++i)
        if (pageOfArticle[i] == page)
            result.push_back(allArticles[i]);
    return result;
}

void SampleSite::serveOn(platform::LocalServer& server) const
{
    for (const SamplePage& page : allPages)
        server.setPage(page.path, page.bytes);
}

} // namespace sample
