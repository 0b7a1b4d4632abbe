// counts: the category's page and entry counts.
#include "app/commands/commands.h"

#include "platform/time_text.h"

namespace commands {

void reportStoredListing(const ListingOrigin& origin, int page, std::FILE* err)
{
    if (origin.source != ListingSource::Stored)
        return;
    const std::string saved = origin.storedAt ? " as saved " + platform::localTimeText(*origin.storedAt) : "";
    std::fprintf(err, "varnholt: site unreachable (%s); using listing page %d%s\n", origin.reason.c_str(), page,
                 saved.c_str());
}

ListingOutcome takeListing(const ListingLoad& load, int page, std::FILE* err)
{
    ListingOutcome outcome{load.result, load.notGbk, {load.source, load.download.reason, load.storedAt}};
    if (load.result > 0)
        reportStoredListing(outcome.origin, page, err);
    return outcome;
}

CountsResult runCounts(const SiteAccessor& site, std::FILE* err)
{
    const CountsLoad counts = site.queryCounts();
    CountsResult result{counts.pages, counts.entries, {counts.source, counts.download.reason, counts.storedAt}};
    reportStoredListing(result.origin, 1, err);
    return result;
}

int exitCode(const CountsResult& result)
{
    return result.pages >= 0 && result.entries >= 0 ? ExitOk : ExitUnreadable;
}

} // namespace commands
