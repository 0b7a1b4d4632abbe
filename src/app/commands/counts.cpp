// counts: the category's page and entry counts; and how a listing's origin is told, which every command shares.
#include "app/commands/commands.h"
#include "app/commands/output.h"

#include "platform/time_text.h"

namespace commands {
namespace {

struct CountsResult {
    int pages = -1;   ///< -1: unreadable
    int entries = -1;
    ListingOrigin origin;
    std::vector<int> savedPages; ///< when a count is unreadable: the pages that can be read from the store
};

// "2, 3, 5-9": the saved pages as ranges.
std::string pageRanges(const std::vector<int>& pages)
{
    std::string text;
    for (std::size_t i = 0; i < pages.size();) {
        std::size_t last = i;
        while (last + 1 < pages.size() && pages[last + 1] == pages[last] + 1)
            ++last;
        if (!text.empty())
            text += ", ";
        text += std::to_string(pages[i]);
        if (last > i)
            text.append("-").append(std::to_string(pages[last]));
        i = last + 1;
    }
    return text;
}

void printText(const CountsResult& result, std::FILE* out, std::FILE* err)
{
    std::fprintf(out, "pages: %d\nentries: %d\n", result.pages, result.entries);
    if (!result.savedPages.empty())
        std::fprintf(err, "varnholt: the counts are unknown (listing page 1 was never saved); saved listing pages: %s\n",
                     pageRanges(result.savedPages).c_str());
}

platform::Json jsonOf(const CountsResult& result, std::FILE*)
{
    platform::Json counts = platform::Json::object();
    counts.set("pages", result.pages).set("entries", result.entries).set("source", sourceWord(result.origin.source));
    if (!result.savedPages.empty()) {
        platform::Json saved = platform::Json::array();
        for (const int page : result.savedPages)
            saved.add(page);
        counts.set("saved_pages", std::move(saved));
    }
    return counts;
}

} // namespace

void reportStoredListing(const ListingOrigin& origin, int page, std::FILE* err)
{
    if (origin.source != ListingSource::Stored)
        return;
    const std::string saved = origin.storedAt ? " as saved " + platform::localTimeText(*origin.storedAt) : "";
    if (origin.offline) {
        std::fprintf(err, "varnholt: offline; using listing page %d%s\n", page, saved.c_str());
        return;
    }
    std::fprintf(err, "varnholt: %s (%s); using listing page %d%s\n",
                 origin.answered ? "the site's answer is no listing" : "site unreachable",
                 printable(origin.reason, false).c_str(), page, saved.c_str());
}

ListingOutcome takeListing(const ListingLoad& load, int page, std::FILE* err)
{
    ListingOutcome outcome{load.problem,
                           {load.source, load.download.reason, load.storedAt, load.rejected.has_value(),
                            load.download.failure == platform::DownloadFailure::Offline}};
    if (load.rejected)
        std::fprintf(err, "varnholt: %s: %s\n", printable(utf8(load.address), false).c_str(),
                     printable(load.download.reason, false).c_str());
    if (!load.problem)
        reportStoredListing(outcome.origin, page, err);
    return outcome;
}

void reportUnloadedListing(int page, const ListingOutcome& listing, std::FILE* err)
{
    // A failed download has said why it brought nothing: what is left to say is that no saved copy serves.
    const std::string_view why = listing.origin.reason.empty() ? site::describe(*listing.problem)
                                                               : site::describe(ListingProblem::Unreachable);
    std::fprintf(err, "varnholt: listing page %d could not be loaded: %.*s\n", page, static_cast<int>(why.size()),
                 why.data());
}

std::optional<int> countsCommand(const Invocation& run)
{
    if (!run.operands.empty())
        return std::nullopt;
    run.clearInterruptedWrites();
    const CountsLoad counts = SiteAccessor(run.environment).queryCounts();
    CountsResult result{counts.pages, counts.entries,
                        {counts.source, counts.download.reason, counts.storedAt, counts.download.status != 0,
                         counts.download.failure == platform::DownloadFailure::Offline},
                        counts.savedPages};
    reportStoredListing(result.origin, 1, run.err);
    const int code = result.pages >= 0 && result.entries >= 0 ? ExitOk : ExitUnreadable;
    return finish(run, result, code, printText, jsonOf);
}

} // namespace commands
