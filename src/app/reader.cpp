// The reader's handlers and page worker.
#include "app/reader.h"

#include "app/messages.h"
#include "articles/article_worker.h"
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

// Both selection handlers: start an article worker for the chosen entry, then move the other list to it.
void onEntryChosen(Reader& reader, Control chosen, Control other)
{
    if (reader.window.isDisabled(chosen))
        return;
    const int number = reader.window.itemData(chosen, reader.window.selectionIndex(chosen));
    Reader worker = reader;
    reader.startWorker([worker, number]() mutable {
        articles::runArticleWorker(worker.window, worker.catalog, worker.environment, number);
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
    fillPageList(reader);
    fillEntryList(reader);
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
    const SiteAccessor site(reader.environment);
    if (reader.window.isDisabled(Control::PageList))
        return;
    const int page = reader.window.itemData(Control::PageList, reader.window.selectionIndex(Control::PageList));
    if (page < 1)
        return;
    if (site.loadCatalog(page, reader.catalog) <= 0)
        return;
    // One copy, so that the lists show one consistent catalog even if a nested handler rebuilds it meanwhile.
    const std::vector<CatalogEntry> entries = reader.catalog.entries();
    if (entries.empty())
        return;
    reader.window.clearItems(Control::ArticleList);
    reader.window.clearItems(Control::EntryList);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const int number = static_cast<int>(i) + 1;
        reader.window.addItem(Control::ArticleList, entries[i].title, number);
        reader.window.addItem(Control::EntryList, std::to_string(number), number);
    }
    Reader worker = reader;
    reader.startWorker([worker]() mutable { runPageWorker(worker); });
}

void runPageWorker(Reader& reader)
{
    const SiteAccessor site(reader.environment);
    reader.window.setDisabled(Control::PageList, true);
    reader.window.setDisabled(Control::EntryList, true);
    reader.window.setDisabled(Control::ArticleList, true);
    reader.window.replaceText(messages::loadingFirstPart());
    reader.window.appendText(messages::loadingSecondPart());
    site.loadPageArticles(reader.catalog);
    reader.window.setDisabled(Control::PageList, false);
    reader.window.setDisabled(Control::EntryList, false);
    reader.window.setDisabled(Control::ArticleList, false);
    reader.window.replaceText(messages::completion());
}

void onArticleSelected(Reader& reader)
{
    onEntryChosen(reader, Control::ArticleList, Control::EntryList);
}

void onEntrySelected(Reader& reader)
{
    onEntryChosen(reader, Control::EntryList, Control::ArticleList);
}
