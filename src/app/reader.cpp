// The reader's handlers and page worker.
#include "app/reader.h"

#include "app/messages.h"
#include "articles/article_file.h"
#include "articles/article_worker.h"
#include "platform/file_system.h"
#include "site/site_texts.h"

#include <string>

using platform::Control;

namespace {

bool fillNumberList(Reader& reader, Control list, int count)
{
    if (count == 0)
        return false;
    reader.window.clearItems(list);
    for (int i = 1; i <= count; ++i)
        reader.window.addItem(list, std::to_string(i), i);
    return true;
}

// The notice that the lists come from the store: once in a run, replacing the text box or after its content.
void showOfflineNotice(Reader& reader, bool append)
{
    if (reader.state->offlineNoticeShown.exchange(true))
        return;
    if (append)
        reader.window.appendText("\r\n" + messages::offlineNotice());
    else
        reader.window.replaceText(messages::offlineNotice());
}

// Both selection handlers: start an article worker for the chosen entry, then move the other list to it.
void onEntryChosen(Reader& reader, Control chosen, Control other)
{
    if (reader.window.isDisabled(chosen))
        return;
    const int number = reader.window.itemData(chosen, reader.window.selectionIndex(chosen));
    const std::uint64_t choice = ++reader.state->articleChoice;
    articles::ArticleWorkerOptions options;
    options.generation = reader.state->listedGeneration.load();
    // A later choice wins: a slow download that ends after it shows nothing.
    options.stillWanted = [state = reader.state, choice] { return state->articleChoice.load() == choice; };
    Reader worker = reader;
    reader.startWorker([worker, number, options]() mutable {
        articles::runArticleWorker(worker.window, worker.catalog, worker.environment, number, options);
    });
    reader.window.setSelectionIndex(other, number - 1);
}

} // namespace

void onWindowCreated(Reader& reader)
{
    const SiteAccessor site(reader.environment);
    site.removeInterruptedWrites();
    reader.window.setCaption(messages::windowCaption());
    reader.window.clearItems(Control::TopicList);
    reader.window.addItem(Control::TopicList, site::categoryName(), 1);
    reader.window.setSelectionIndex(Control::TopicList, 0);
    reader.window.setDisabled(Control::TopicList, true);
    // The counts need the index page: downloaded on a worker, so that the window shows and answers at once.
    Reader worker = reader;
    reader.startWorker([worker]() mutable { fillCountLists(worker); });
}

void fillCountLists(Reader& reader)
{
    const SiteAccessor site(reader.environment);
    const CountsLoad counts = site.queryCounts();
    fillNumberList(reader, Control::PageList, counts.pages);
    fillNumberList(reader, Control::EntryList, counts.entries);
    if (counts.source == ListingSource::Stored && (counts.pages > 0 || counts.entries > 0))
        showOfflineNotice(reader, false);
    if (counts.pages < 0 && reader.state->placeholderSite)
        reader.window.replaceText(messages::siteNotSet());
}

bool fillPageList(Reader& reader)
{
    const SiteAccessor site(reader.environment);
    return fillNumberList(reader, Control::PageList, site.queryPageCount());
}

bool fillEntryList(Reader& reader)
{
    const SiteAccessor site(reader.environment);
    return fillNumberList(reader, Control::EntryList, site.queryEntryCount());
}

void onPageSelected(Reader& reader)
{
    if (reader.window.isDisabled(Control::PageList))
        return;
    const int page = reader.window.itemData(Control::PageList, reader.window.selectionIndex(Control::PageList));
    if (page < 1)
        return;
    // The listing is downloaded on a worker; meanwhile no second page choice can start.
    reader.window.setDisabled(Control::PageList, true);
    reader.window.setDisabled(Control::EntryList, true);
    Reader worker = reader;
    reader.startWorker([worker, page]() mutable { loadChosenPage(worker, page); });
}

void loadChosenPage(Reader& reader, int page)
{
    const SiteAccessor site(reader.environment);
    ListingLoad load = site.loadListing(page);
    if (load.problem) {
        reader.window.setDisabled(Control::PageList, false);
        reader.window.setDisabled(Control::EntryList, false);
        return;
    }
    // The lists show the entries as committed, so that a list item and the catalog entry of its number agree.
    const std::vector<CatalogEntry> entries = load.entries;
    reader.state->listedGeneration = reader.catalog.replaceAll(std::move(load.entries));
    reader.window.clearItems(Control::ArticleList);
    reader.window.clearItems(Control::EntryList);
    const platform::FolderLookup stored(site.categoryFolder());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const int number = static_cast<int>(i) + 1;
        reader.window.addItem(Control::ArticleList, entries[i].title, number);
        reader.window.addItem(Control::EntryList, std::to_string(number), number);
        if (articles::findArticleFile(stored, entries[i].title).state == articles::ArticleFile::State::Stored)
            reader.window.setItemChecked(Control::ArticleList, number - 1, true);
    }
    runPageWorker(reader, load.source == ListingSource::Stored);
}

void runPageWorker(Reader& reader, bool offlineNotice)
{
    const SiteAccessor site(reader.environment);
    reader.window.setDisabled(Control::PageList, true);
    reader.window.setDisabled(Control::EntryList, true);
    reader.window.setDisabled(Control::ArticleList, true);
    reader.window.replaceText(messages::loadingFirstPart());
    reader.window.appendText(messages::loadingSecondPart());
    const std::uint64_t listed = reader.state->listedGeneration;
    site.loadPageArticles(reader.catalog, [&](const ArticleReport& report) {
        const bool stored = report.state == ArticleState::Stored || report.state == ArticleState::Downloaded;
        if (stored && reader.state->listedGeneration == listed)
            reader.window.setItemChecked(Control::ArticleList, report.number - 1, true);
    });
    reader.window.setDisabled(Control::PageList, false);
    reader.window.setDisabled(Control::EntryList, false);
    reader.window.setDisabled(Control::ArticleList, false);
    reader.window.replaceText(messages::completion());
    if (offlineNotice)
        showOfflineNotice(reader, true);
}

void onArticleSelected(Reader& reader)
{
    onEntryChosen(reader, Control::ArticleList, Control::EntryList);
}

void onEntrySelected(Reader& reader)
{
    onEntryChosen(reader, Control::EntryList, Control::ArticleList);
}
