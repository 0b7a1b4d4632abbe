// The window's dialogs: search the store, show a found article, export the store, set the site.
#include "app/window_services.h"

#include "app/store.h"
#include "articles/article_file.h"
#include "library/export.h"
#include "library/search.h"
#include "platform/config_file.h"
#include "platform/gbk_codec.h"
#include "site/address.h"

#include <sstream>

using platform::Control;

namespace {

std::vector<std::string> wordsOf(const std::string& query)
{
    std::istringstream stream(query);
    std::vector<std::string> words;
    for (std::string word; stream >> word;)
        words.push_back(word);
    return words;
}

std::vector<platform::FoundArticle> search(const Reader& reader, const std::string& query)
{
    std::vector<platform::FoundArticle> found;
    const std::vector<std::string> words = wordsOf(query);
    if (words.empty())
        return found;
    const library::SearchResult result = library::searchStore(SiteAccessor(reader.environment), words);
    for (const library::SearchHit& hit : result.hits) {
        const std::string page = hit.page > 0 ? "第" + std::to_string(hit.page) + "頁" : "未列出";
        found.push_back({page + "　" + platform::gbk::toUtf8(hit.title) + "　" + platform::gbk::toUtf8(hit.date),
                         hit.fileName});
    }
    return found;
}

// The found article in the text box; when the page listed now holds it, its entry selected in both lists.
void openFound(Reader& reader, const std::string& fileName)
{
    const SiteAccessor site(reader.environment);
    const platform::FolderLookup folder(site.categoryFolder());
    const platform::Result<ByteSet> file = folder.readRegular(fileName, articles::MaxArticleFileBytes);
    if (!file)
        return;
    // A choice of its own: a page worker or an article worker still running shows nothing over it.
    ++reader.state->articleChoice;
    reader.window.replaceText(*file);
    markShownArticle(reader, reader.catalog.entries(), articles::parseArticleFile(*file).title);
}

std::string exportTo(const Reader& reader, const std::string& path, bool epub)
{
    library::ExportRequest request;
    request.epub = epub;
    request.target = path;
    const library::ExportResult result = library::exportStore(SiteAccessor(reader.environment), request);
    if (!result.written)
        return "未能匯出：" + result.written.error();
    std::string said = "已匯出 " + std::to_string(result.articles) + " 篇文章到 " + path;
    if (result.missing() > 0)
        said += "；" + std::to_string(result.missing()) + " 篇尚未保存，未能匯出";
    return said;
}

std::string setSite(Reader& reader, const std::string& typed)
{
    const std::string address = site::siteAddressOf(typed);
    if (address.find("://") == std::string::npos)
        return "這不是網站地址：請以 http:// 或 https:// 開頭";
    // One request, to the site's index page: kept only when it gives the category's counts.
    SiteEnvironment environment = reader.environment;
    environment.siteAddress = address;
    SiteAccessor site(environment);
    const CountsLoad counts = site.queryCounts();
    if (counts.source != ListingSource::Network || counts.pages <= 0)
        return "這個網站沒有給出欄目的頁數" +
               (counts.download.reason.empty() ? std::string() : "（" + counts.download.reason + "）");
    if (const platform::Status kept = platform::setConfigValue("site", address); !kept)
        return "網站可用，但未能寫入設定檔：" + kept.error();
    reader.environment.siteAddress = address;
    reader.state->placeholderSite = false;
    Reader worker = reader;
    reader.startWorker([worker]() mutable { fillCountLists(worker); });
    return {};
}

} // namespace

platform::WindowServices readerServices(Reader& reader)
{
    return {[&reader](const std::string& query) { return search(reader, query); },
            [&reader](const std::string& key) { openFound(reader, key); },
            [&reader](const std::string& path, bool epub) { return exportTo(reader, path, epub); },
            [&reader](const std::string& address) { return setSite(reader, address); }};
}
