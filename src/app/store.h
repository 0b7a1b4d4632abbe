// Where the folder tree goes.
#pragma once

#include "platform/file_system.h"
#include "site/site_accessor.h"

#include <cstdio>
#include <optional>
#include <string>

/// The folder that holds the folder tree: `requested` when given (created when missing), else the running directory
/// when a file can be made there, else the user's data folder.
platform::Path chooseStoreRoot(const std::string& requested);

/// One line for --help saying where the folder tree goes by default.
std::string describeDefaultStore();

/// Whether the folder tree exists and takes files; when not, says which folder and why on `err`. Checked before any
/// download, so that nothing is downloaded for a store that cannot keep it.
bool storeIsWritable(const SiteAccessor& site, std::FILE* err);

/// The site's address, set once: `--site`, else the environment variable VARNHOLT_SITE, else `site=` in the
/// configuration file, else the built-in placeholder; in each case reduced to scheme, host and port.
std::string chooseSiteAddress(const std::string& option);

/// Says on `err` what in the configuration file is not understood, a line each with the file's name and the line's
/// number: a line that is not `key=value`, an unknown key, or a value the key does not take (such a line is not
/// used). Returns how many lines it named.
int reportConfigurationProblems(std::FILE* err);

/// Whether `address` is the built-in placeholder, which names no real site.
bool isPlaceholderSite(const std::string& address);

/// One line saying how to set the site, for when the placeholder fails.
std::string howToSetTheSite();

/// What the window keeps between runs, in a small file beside the store: its place, the text size, and the page and
/// entry shown last (0: none).
struct WindowMemory {
    std::optional<int> left, top, width, height;
    std::optional<int> textSize;
    int page = 0;
    int article = 0;
};
WindowMemory recallWindow(const SiteAccessor& site);
/// Keeps `memory` for the next run; a failure is not reported (the next run starts as a first one).
void rememberWindow(const SiteAccessor& site, const WindowMemory& memory);
