// The reader's handlers and page worker: what happens when the window opens and when the user chooses something.
#pragma once

#include "catalog/catalog.h"
#include "platform/window_port.h"
#include "site/site_accessor.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

/// What the handlers and the workers they start share besides the catalog.
struct ReaderState {
    /// Grows with every article choice: a worker shows its article only while its choice is still the latest.
    std::atomic<std::uint64_t> articleChoice{0};
    /// The catalog generation whose entries the article list shows.
    std::atomic<std::uint64_t> listedGeneration{0};
    /// The offline notice is shown once.
    std::atomic<bool> offlineNoticeShown{false};
    /// The site is the built-in placeholder: when the counts cannot be read, the text box says how to set it.
    bool placeholderSite = false;
};

/// What every handler works with. `startWorker` runs a procedure on a new thread; tests may run it in place.
struct Reader {
    platform::WindowPort& window;
    Catalog& catalog;
    SiteEnvironment environment;
    std::function<void(std::function<void()>)> startWorker;
    std::shared_ptr<ReaderState> state = std::make_shared<ReaderState>();
};

/// The window-created handler: folder tree, caption and topic list; then, on a worker, both counts from one download
/// of the index page (or its saved copy) into the page list and the entry list.
void onWindowCreated(Reader& reader);
/// Fills the page list and the entry list from one download of the index page, with the offline notice when the
/// counts came from the saved copy.
void fillCountLists(Reader& reader);
/// Fills the page list with 1 ... page count. False (list untouched) for a count of 0; -1 clears the list.
bool fillPageList(Reader& reader);
/// Fills the entry list with 1 ... entry count, as fillPageList does.
bool fillEntryList(Reader& reader);

/// The page-selection handler: disables the page and entry lists and loads the chosen page on a worker
/// (`loadChosenPage`).
void onPageSelected(Reader& reader);
/// Loads listing page `page` (from its saved copy when the site brings nothing) into the catalog, lists its
/// entries with their stored marks and runs the page worker. A page that cannot be loaded only enables the two lists
/// again.
void loadChosenPage(Reader& reader, int page);
/// The page worker: disables the lists, shows the loading message, stores every article of the catalog (checking
/// each stored one in the article list), enables the lists and shows the completion message, followed by the
/// offline notice when `offlineNotice` and it was not shown yet.
void runPageWorker(Reader& reader, bool offlineNotice = false);
/// The article-selection handler: starts an article worker for the chosen entry and selects it in the entry list.
void onArticleSelected(Reader& reader);
/// The entry-selection handler: starts an article worker for the chosen entry and selects it in the article list.
void onEntrySelected(Reader& reader);
