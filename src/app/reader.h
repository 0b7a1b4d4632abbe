// The reader's handlers and page worker: what happens when the window opens and when the user chooses something.
#pragma once

#include "catalog/catalog.h"
#include "platform/window_port.h"
#include "site/site_accessor.h"

#include <functional>

/// What every handler works with. `startWorker` runs a procedure on a new thread; tests may run it in place.
struct Reader {
    platform::WindowPort& window;
    Catalog& catalog;
    SiteEnvironment environment;
    std::function<void(std::function<void()>)> startWorker;
};

/// The window-created handler: folder tree, caption, topic list, page list and entry list.
void onWindowCreated(Reader& reader);
/// Fills the page list with 1 ... page count. False (list untouched) for a count of 0; -1 clears the list.
bool fillPageList(Reader& reader);
/// Fills the entry list with 1 ... entry count, as fillPageList does.
bool fillEntryList(Reader& reader);

/// The page-selection handler: loads the chosen listing page into the catalog, lists its entries and starts the
/// page worker. A page that cannot be loaded changes nothing visible.
void onPageSelected(Reader& reader);
/// The page worker: disables the lists, shows the loading message, stores every article of the catalog, enables
/// the lists and shows the completion message.
void runPageWorker(Reader& reader);
/// The article-selection handler: starts an article worker for the chosen entry and selects it in the entry list.
void onArticleSelected(Reader& reader);
/// The entry-selection handler: starts an article worker for the chosen entry and selects it in the article list.
void onEntrySelected(Reader& reader);
