// The reader's handlers and page worker: what happens when the window opens and when the user chooses something.
#pragma once

#include "catalog/catalog.h"
#include "platform/window_port.h"
#include "site/site_accessor.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

/// What the handlers and the workers they start share besides the catalog.
struct ReaderState {
    /// Grows with every article choice: a worker shows its article only while its choice is still the latest.
    std::atomic<std::uint64_t> articleChoice{0};
    /// The catalog generation whose entries the article list shows.
    std::atomic<std::uint64_t> listedGeneration{0};
    /// Grows with every page choice: a page's worker lists its entries only while its choice is the latest.
    std::atomic<std::uint64_t> pageChoice{0};
    /// Held while a page's entries go into the catalog and the lists, so that two pages never mix there.
    std::mutex listing;
    /// The offline notice is shown once.
    std::atomic<bool> offlineNoticeShown{false};
    /// The site is the built-in placeholder: when the counts cannot be read, the text box says how to set it.
    bool placeholderSite = false;
    /// The page chosen last and the entry shown last (0: none), kept for the next run.
    std::atomic<int> shownPage{0};
    std::atomic<int> shownArticle{0};
    /// The page and entry of the last run, shown again once the counts are listed (0: none).
    int restoredPage = 0;
    int restoredArticle = 0;
};

/// What every handler works with. `startWorker` runs a procedure on a new thread; tests may run it in place.
struct Reader {
    platform::WindowPort& window;
    Catalog& catalog;
    SiteEnvironment environment;
    std::function<void(std::function<void()>)> startWorker;
    std::shared_ptr<ReaderState> state = std::make_shared<ReaderState>();
};

/// The window-created handler: folder tree, caption and topic list; then, on a worker, the counts into the page list
/// and the entry list (`fillCountLists`).
void onWindowCreated(Reader& reader);
/// Fills the page list and the entry list from the saved copy of the index page at once, then from one download of
/// the index page where that brings other counts; the offline notice when the site gave none. Without counts, the
/// page list offers the pages that are saved.
void fillCountLists(Reader& reader);
/// Fills the page list with 1 ... page count. False (list untouched) for a count of 0; -1 clears the list.
bool fillPageList(Reader& reader);
/// Fills the entry list with 1 ... entry count, as fillPageList does.
bool fillEntryList(Reader& reader);

/// The page-selection handler: loads the chosen page on a worker (`loadChosenPage`). The lists stay usable: a later
/// choice overtakes this one.
void onPageSelected(Reader& reader);
/// Lists the entries of listing page `page`'s saved copy at once, with their stored marks; then downloads the page
/// and, when it brings other entries, lists those instead, the ones new since the saved copy in bold; then runs the
/// page worker. Stops wherever a later page choice has overtaken it. A page that cannot be loaded changes nothing.
/// With `article`, that entry is shown as soon as the page is listed.
void loadChosenPage(Reader& reader, int page, int article = 0);
/// The page worker: shows the loading message, stores every article of the catalog (checking each stored one in the
/// article list) and shows the completion message, or how many articles are missing and why; followed by the
/// offline notice when `offlineNotice` and it was not shown yet. It writes into the text box only while no article
/// was chosen (since `articleChoiceBefore`, the article choice counter when the page was chosen; else since it
/// began) and no other page listed.
void runPageWorker(Reader& reader, bool offlineNotice = false,
                   std::optional<std::uint64_t> articleChoiceBefore = std::nullopt);
/// The article-selection handler: starts an article worker for the chosen entry and selects it in the entry list.
void onArticleSelected(Reader& reader);
/// The entry-selection handler: starts an article worker for the chosen entry and selects it in the article list.
void onEntrySelected(Reader& reader);
/// Marks the article titled `title`, already in the text box, as the one shown: selected in both lists at its place
/// among `entries`, and remembered as shown. False, changing nothing, when `entries` lacks it.
bool markShownArticle(Reader& reader, const std::vector<CatalogEntry>& entries, const Text& title);
/// Shows listing page `page` and entry `article` again, as the last run left them: selects the page (when the page
/// list offers it) and loads it as a choice would, showing the entry as soon as the page is listed.
void restoreReading(Reader& reader, int page, int article);
