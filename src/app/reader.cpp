// The reader's handlers and page worker.
#include "app/reader.h"

#include "app/messages.h"
#include "articles/article_file.h"
#include "articles/article_worker.h"
#include "platform/file_system.h"
#include "site/site_texts.h"

#include <algorithm>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>

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

// Shows entry `number` as chosen: an article worker for it, and the lists on it (but `chosen`, the list the reader
// chose it in).
void chooseEntry(Reader& reader, int number, std::optional<Control> chosen = std::nullopt)
{
    const std::uint64_t choice = ++reader.state->articleChoice;
    reader.state->shownArticle = number;
    articles::ArticleWorkerOptions options;
    options.generation = reader.state->listedGeneration.load();
    // A later choice wins: a slow download that ends after it shows nothing.
    options.stillWanted = [state = reader.state, choice] { return state->articleChoice.load() == choice; };
    Reader worker = reader;
    reader.startWorker([worker, number, options]() mutable {
        articles::runArticleWorker(worker.window, worker.catalog, worker.environment, number, options);
    });
    for (const Control list : {Control::EntryList, Control::ArticleList})
        if (list != chosen)
            reader.window.setSelectionIndex(list, number - 1);
}

// Both selection handlers: the chosen entry, shown.
void onEntryChosen(Reader& reader, Control chosen)
{
    if (reader.window.isDisabled(chosen))
        return;
    chooseEntry(reader, reader.window.itemData(chosen, reader.window.selectionIndex(chosen)), chosen);
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
    // The counts need the index page: downloaded on a worker, so that the window shows and answers at once. Then
    // the page and the article of the last run, if any.
    Reader worker = reader;
    reader.startWorker([worker]() mutable {
        fillCountLists(worker);
        if (worker.state->restoredPage > 0)
            restoreReading(worker, worker.state->restoredPage, worker.state->restoredArticle);
    });
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
    reader.state->shownPage = page;
    reader.state->shownArticle = 0;
    Reader worker = reader;
    reader.startWorker([worker, page]() mutable { loadChosenPage(worker, page); });
}

void loadChosenPage(Reader& reader, int page, int article)
{
    const std::uint64_t choice = reader.state->pageChoice.load();
    const std::uint64_t articleBefore = reader.state->articleChoice.load();
    const auto current = [&] { return reader.state->pageChoice.load() == choice; };
    // The article shown from the saved copy, and the choice that showed it.
    std::optional<Text> shownTitle;
    std::uint64_t shownChoice = 0;
    const auto showArticle = [&](const std::vector<CatalogEntry>& entries) {
        if (article > 0 && article <= static_cast<int>(entries.size()) && current()) {
            shownTitle = entries[static_cast<std::size_t>(article) - 1].title;
            chooseEntry(reader, std::exchange(article, 0));
            shownChoice = reader.state->articleChoice.load();
        }
    };
    // A fresh listing that moved the shown article (new entries above it) keeps it chosen where it now stands.
    const auto followShownArticle = [&](const std::vector<CatalogEntry>& entries) {
        if (!shownTitle || reader.state->articleChoice.load() != shownChoice)
            return;
        if (!markShownArticle(reader, entries, *shownTitle))
            reader.state->shownArticle = 0;
    };
    const SiteAccessor site(reader.environment);
    // The saved copy is listed at once, with its stored marks, while the site is asked for the fresh one.
    const ListingLoad saved = site.savedListing(page);
    {
        const std::lock_guard guard(reader.state->listing);
        if (!saved.problem && current()) {
            listEntries(reader, site, saved.entries, nullptr);
            showArticle(saved.entries);
        }
    }
    const ListingLoad fresh = site.loadListing(page);
    {
        const std::lock_guard guard(reader.state->listing);
        if (fresh.problem || !current())
            return;
        // Fresh entries that differ from the copy shown replace it; those the copy lacked are new.
        if (fresh.source == ListingSource::Network && (saved.problem || !sameEntries(fresh.entries, saved.entries))) {
            listEntries(reader, site, fresh.entries, saved.problem ? nullptr : &saved.entries);
            followShownArticle(fresh.entries);
        }
        showArticle(fresh.entries);
    }
    runPageWorker(reader, fresh.source == ListingSource::Stored, articleBefore);
}

void runPageWorker(Reader& reader, bool offlineNotice, std::optional<std::uint64_t> articleChoiceBefore)
{
    const SiteAccessor site(reader.environment);
    const std::uint64_t listed = reader.state->listedGeneration;
    const std::uint64_t article = articleChoiceBefore.value_or(reader.state->articleChoice.load());
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
    onEntryChosen(reader, Control::ArticleList);
}

void onEntrySelected(Reader& reader)
{
    onEntryChosen(reader, Control::EntryList);
}

bool markShownArticle(Reader& reader, const std::vector<CatalogEntry>& entries, const Text& title)
{
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (entries[i].title == title) {
            reader.window.setSelectionIndex(Control::ArticleList, static_cast<int>(i));
            reader.window.setSelectionIndex(Control::EntryList, static_cast<int>(i));
            reader.state->shownArticle = static_cast<int>(i) + 1;
            return true;
        }
    return false;
}

void restoreReading(Reader& reader, int page, int article)
{
    for (int index = 0; index < reader.window.itemCount(Control::PageList); ++index) {
        if (reader.window.itemData(Control::PageList, index) != page)
            continue;
        // As if the reader had chosen them again: the page from its saved copy at once, the article from the store.
        reader.window.setSelectionIndex(Control::PageList, index);
        ++reader.state->pageChoice;
        reader.state->shownPage = page;
        loadChosenPage(reader, page, article);
        return;
    }
}
