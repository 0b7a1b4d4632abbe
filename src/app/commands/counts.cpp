// counts: the category's page and entry counts.
#include "app/commands/commands.h"

namespace commands {

CountsResult runCounts(const SiteAccessor& site)
{
    return {site.queryPageCount(), site.queryEntryCount()};
}

int exitCode(const CountsResult& result)
{
    return result.pages >= 0 && result.entries >= 0 ? ExitOk : ExitUnreadable;
}

} // namespace commands
