// The reader's handlers and page worker.
#include "app/reader.h"

#include "app/messages.h"
#include "articles/article_file.h"
#include "articles/article_worker.h"
#include "platform/file_system.h"
#include "site/site_texts.h"

#include <algorithm>
#include <mutex>
#include <set>
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

// The lists of the counts: 1 ... pages and 1 ... entries, or, when the counts are unknown, the pages that are saved.
// The entry list is left alone once a page was chosen (it lists that page's entries then); a list that shows what
// it would show already is not touched, so that its selection stays.
void showCounts(Reader& reader, const CountsLoad& counts)
{
    const auto shows = [&](Control list, const std::vector<int>& numbers) {
        if (reader.window.itemCount(list) != static_cast<int>(numbers.size()))
            return false;
        for (std::size_t i = 0; i < numbers.size(); ++i)
            if (reader.window.itemData(list, static_cast<int>(i)) != numbers[i])
                return false;
        return true;
    };
    const auto show = [&](Control list, const std::vector<int>& numbers) {
        if (numbers.empty() || shows(list, numbers))
            return;
        const int selected = reader.window.selectionIndex(list);
        reader.window.clearItems(list);
        for (const int number : numbers)
            reader.window.addItem(list, std::to_string(number), number);
        if (selected >= 0 && selected < static_cast<int>(numbers.size()))
            reader.window.setSelectionIndex(list, selected);
    };
    const auto upTo = [](int count) {
        std::vector<int> numbers;
        for (int i = 1; i <= count; ++i)
            numbers.push_back(i);
        return numbers;
    };
    show(Control::PageList, counts.pages > 0 ? upTo(counts.pages) : counts.savedPages);
    if (counts.entries > 0 && reader.state->pageChoice.load() == 0)
        show(Control::EntryList, upTo(counts.entries));
}

bool sameEntries(const std::vector<CatalogEntry>& a, const std::vector<CatalogEntry>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const CatalogEntry& x, const CatalogEntry& y) {
        return x.title == y.title && x.href == y.href && x.date == y.date;
    });
}

// A page's entries into the catalog and the lists, as committed, so that a list item and the catalog entry of its
// number agree; each stored article checked. With `before` (the entries the page had when last shown), the entries
// that are not among them are shown in bold: new since then.
void listEntries(Reader& reader, const SiteAccessor& site, std::vector<CatalogEntry> entries,
                 const std::vector<CatalogEntry>* before)
{
    std::set<Text> known;
    if (before)
        for (const CatalogEntry& entry : *before)
            known.insert(entry.title);
    const std::vector<CatalogEntry> shown = entries;
    reader.state->listedGeneration = reader.catalog.replaceAll(std::move(entries));
    reader.window.clearItems(Control::ArticleList);
    reader.window.clearItems(Control::EntryList);
    const platform::FolderLookup stored(site.categoryFolder());
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const int number = static_cast<int>(i) + 1;
        reader.window.addItem(Control::ArticleList, shown[i].title, number);
        reader.window.addItem(Control::EntryList, std::to_string(number), number);
        if (articles::findArticleFile(stored, shown[i].title).state == articles::ArticleFile::State::Stored)
            reader.window.setItemChecked(Control::ArticleList, number - 1, true);
        if (before && !known.contains(shown[i].title))
            reader.window.setItemEmphasized(Control::ArticleList, number - 1, true);
    }
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
    // What the store knows is shown at once; the site's counts replace it when they arrive and differ.
    const CountsLoad saved = site.savedCounts();
    showCounts(reader, saved);
    const CountsLoad counts = site.queryCounts();
    showCounts(reader, counts);
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
    // The lists stay usable while the page loads: a later choice overtakes this one.
    ++reader.state->pageChoice;
    Reader worker = reader;
    reader.startWorker([worker, page]() mutable { loadChosenPage(worker, page); });
}

void loadChosenPage(Reader& reader, int page)
{
    const std::uint64_t choice = reader.state->pageChoice.load();
    const auto current = [&] { return reader.state->pageChoice.load() == choice; };
    const SiteAccessor site(reader.environment);
    // The saved copy is listed at once, with its stored marks, while the site is asked for the fresh one.
    const ListingLoad saved = site.savedListing(page);
    {
        const std::lock_guard guard(reader.state->listing);
        if (!saved.problem && current())
            listEntries(reader, site, saved.entries, nullptr);
    }
    const ListingLoad fresh = site.loadListing(page);
    {
        const std::lock_guard guard(reader.state->listing);
        if (fresh.problem || !current())
            return;
        // Fresh entries that differ from the copy shown replace it; those the copy lacked are new.
        if (fresh.source == ListingSource::Network && (saved.problem || !sameEntries(fresh.entries, saved.entries)))
            listEntries(reader, site, fresh.entries, saved.problem ? nullptr : &saved.entries);
    }
    runPageWorker(reader, fresh.source == ListingSource::Stored);
}

void runPageWorker(Reader& reader, bool offlineNotice)
{
    const SiteAccessor site(reader.environment);
    const std::uint64_t listed = reader.state->listedGeneration;
    const std::uint64_t article = reader.state->articleChoice;
    // The text box is the page's until an article is chosen or another page listed.
    const auto pageShown = [state = reader.state, listed, article] {
        return state->articleChoice.load() == article && state->listedGeneration.load() == listed;
    };
    if (reader.window.replaceTextIf(messages::loadingFirstPart(), pageShown))
        reader.window.appendText(messages::loadingSecondPart());
    int missing = 0;
    bool siteSilent = false;
    site.loadPageArticles(reader.catalog, [&](const ArticleReport& report) {
        const bool stored = report.state == ArticleState::Stored || report.state == ArticleState::Downloaded;
        if (stored && reader.state->listedGeneration == listed)
            reader.window.setItemChecked(Control::ArticleList, report.number - 1, true);
        missing += !stored;
        siteSilent = siteSilent || report.siteSilent;
    });
    const Text done = missing == 0 ? messages::completion() : messages::articlesMissing(missing, siteSilent);
    if (reader.window.replaceTextIf(done, pageShown) && offlineNotice)
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
