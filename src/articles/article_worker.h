// The article worker: shows one entry's article in the text box, from its file or downloaded and stored first.
#pragma once

#include "articles/article_file.h"
#include "catalog/catalog.h"
#include "platform/text.h"
#include "platform/window_port.h"
#include "site/site_accessor.h"

#include <cstdint>
#include <functional>
#include <optional>

namespace articles {

/// The message shown when an article cannot be obtained.
const Text& failureMessage();
/// The message shown for an article that is not stored while the site does not answer.
const Text& notStoredMessage();

/// The text that showing entry `number` puts in the text box, and whether it was obtained.
struct ArticleOutcome {
    /// NotAFile: something that is not a regular file stands at the article file's name; it is neither read nor
    /// replaced.
    enum class Kind { OutOfRange, NoTitle, NoAddress, NotAFile, Shown, Empty };
    Kind kind = Kind::OutOfRange;
    Text content;   ///< the article file text; empty unless Shown
    bool downloaded = false;
    bool stored = false; ///< the article file exists afterwards
    platform::Path path; ///< the article file
    std::string writeError; ///< why the downloaded article could not be stored; empty when it was
    std::string problem;    ///< why what arrived is no article; empty otherwise
    bool siteSilent = false; ///< not stored, and the site did not answer
};

/// How a window's article worker fits the window's later choices.
struct ArticleWorkerOptions {
    /// Asked as the text is shown: false when a later choice has overtaken this one, which then shows nothing.
    std::function<bool()> stillWanted;
    /// The catalog generation the chosen list item belongs to: a catalog rebuilt since gives no entry.
    std::optional<std::uint64_t> generation;
};

/// Obtains entry `number`'s article without touching the window: reads its article file, or downloads, stores and
/// returns it. For an entry with an empty title, `fallbackTitle()` names it (the window reads the article list's
/// item at the same position). Never writes into the catalog. Callable from any thread.
ArticleOutcome obtainArticle(const SiteAccessor& site, const Catalog& catalog, int number,
                             const std::function<Text()>& fallbackTitle,
                             std::optional<std::uint64_t> generation = {});

/// Runs the article worker for entry `number` on the calling thread. Returns 1 when the text box holds a non-empty
/// text afterwards, else 0. Nothing is shown for a number outside the catalog; the failure message when the entry
/// has no title or no address; the not-stored message when the site did not answer. A stored article is checked in
/// the article list.
int runArticleWorker(platform::WindowPort& window, const Catalog& catalog, const SiteEnvironment& environment,
                     int number, const ArticleWorkerOptions& options = {});

} // namespace articles
