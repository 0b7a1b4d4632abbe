// The sample site: a small site of our own in the real site's mark-up, for --demo and for tests.
#pragma once

#include "platform/text.h"

#include <string>
#include <vector>

namespace platform {
class LocalServer;
}

namespace sample {

struct SampleArticle {
    std::string path;   ///< the article page's path on the server
    Text href;          ///< the link as the listing page writes it
    Text title;         ///< as the catalog holds it after clean-up (no spaces)
    Text date;
    Text body;          ///< the cleaned text the program extracts
    Text disclaimer;    ///< the notice sentence the program finds
};

struct SamplePage {
    std::string path;
    ByteSet bytes;
};

/// The sample site for a server at `baseAddress`: three listing pages of 20, 20 and 18 entries, an article page for
/// each entry, in GBK with the real site's mark-up (CR LF lines, TABs, blank lines, spaces between attributes).
class SampleSite {
public:
    explicit SampleSite(const std::string& baseAddress);

    static constexpr int PageCount = 3;
    int entryCount() const { return static_cast<int>(allArticles.size()); }
    /// The entries of listing page `page` (1 ... PageCount), in page order.
    std::vector<SampleArticle> articlesOfPage(int page) const;
    const std::vector<SampleArticle>& articles() const { return allArticles; }
    const std::vector<SamplePage>& pages() const { return allPages; }

    /// Serves every page of the site on `server`.
    void serveOn(platform::LocalServer& server) const;

private:
    std::vector<SampleArticle> allArticles;
    std::vector<int> pageOfArticle;
    std::vector<SamplePage> allPages;
};

} // namespace sample
