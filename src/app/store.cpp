// Choosing the store's folder.
#include "app/store.h"

#include "platform/file_system.h"

platform::Path chooseStoreRoot(const std::string& requested)
{
    if (!requested.empty()) {
        platform::ensureDirectories(requested);
        return requested;
    }
    const platform::Path running = platform::runningDirectory();
    if (platform::isWritableDirectory(running))
        return running;
    // An installed program's folder is read-only: store where the user's own data goes instead of nowhere.
    const platform::Path data = platform::userDataDirectory();
    platform::ensureDirectories(data);
    return data;
}

std::string describeDefaultStore()
{
    const platform::Path running = platform::runningDirectory();
    if (platform::isWritableDirectory(running))
        return platform::joinPath(running, "Marrowfen") + " (beside the program; --store DIR to change)";
    return platform::joinPath(platform::userDataDirectory(), "Marrowfen") +
           " (the program's folder is read-only; --store DIR to change)";
}

bool storeIsWritable(const SiteAccessor& site, std::FILE* err)
{
    for (const platform::Path& folder : {site.categoryFolder(), site.listingFolder()}) {
        std::string error;
        if (!platform::canWriteIn(folder, &error)) {
            std::fprintf(err, "varnholt: cannot write the store: %s: %s\n", folder.c_str(), error.c_str());
            return false;
        }
    }
    return true;
}
