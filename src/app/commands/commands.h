// The commands that run without a window: their table, what each is given, and the results they share.
#pragma once

#include "catalog/catalog.h"
#include "platform/command_line.h"
#include "platform/download_policy.h"
#include "site/site_accessor.h"

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace commands {

/// Exit codes of the commands.
enum Exit : int {
    ExitOk = 0,
    ExitNotShown = 1,      ///< show: no text could be shown
    ExitUsage = 2,
    ExitUnreadable = 3,    ///< the counts or the listing page could not be read
    ExitSomeFailed = 4,    ///< some articles could not be stored
    ExitStore = 5,         ///< the store cannot be written
    ExitOutput = 6,        ///< the output could not be written
    ExitInterrupted = 130, ///< stopped by Ctrl-C (143 for SIGTERM: see platform::interruptedExitCode)
};

/// One exit code and what it means, as the help text and the manual page tell it.
struct ExitCodeDefinition {
    int code = 0;
    std::string_view meaning;
};
const std::vector<ExitCodeDefinition>& exitCodeTable();

/// What a command is given: its operands, the site reached through the run's one download policy, the two streams.
struct Invocation {
    const platform::CommandLine& line;
    std::vector<std::string> operands;
    const SiteEnvironment& environment;
    platform::PolicyDownloader& downloads;
    std::FILE* out;
    std::FILE* err;
    /// Whether the result was printed (with --json, whether the one object was).
    mutable bool printed = false;

    /// Clears what interrupted runs left in the store.
    void clearInterruptedWrites() const;
    /// Clears what interrupted runs left and checks, before any download, that the store takes files; says on `err`
    /// which folder does not and why.
    bool storeReady() const;
};

/// One command of the table: the help text, the usage errors and the dispatch are all made from it.
struct CommandDefinition {
    std::string_view name;
    std::string_view usage;    ///< the command with its operands, as the help text shows it
    std::string_view summary;  ///< what it does, for the help text
    std::string_view operands; ///< the usage error when the operands are not the command's
    /// Runs the command and renders its result (text or JSON): the exit code; nothing when the operands are not the
    /// command's.
    std::optional<int> (*run)(const Invocation&);
};
const std::vector<CommandDefinition>& commandTable();

std::optional<int> countsCommand(const Invocation& run);
std::optional<int> pageCommand(const Invocation& run);
std::optional<int> showCommand(const Invocation& run);
std::optional<int> archiveCommand(const Invocation& run);
std::optional<int> searchCommand(const Invocation& run);
std::optional<int> exportCommand(const Invocation& run);
std::optional<int> updateCommand(const Invocation& run);

/// A positive whole number written in full, or nothing.
std::optional<int> positiveNumber(const std::string& word);
/// "FROM" or "FROM-TO", both positive and FROM <= TO; false (the values undefined) for anything else.
bool parseRange(const std::string& word, int& from, std::optional<int>& to);

/// Where a listing came from, and why from there.
struct ListingOrigin {
    ListingSource source = ListingSource::Network;
    std::string reason;                ///< why the download brought nothing; empty when it arrived
    std::optional<long long> storedAt; ///< when the saved copy that was read was saved
    bool answered = false;             ///< the site answered, but not with what was asked for
    bool offline = false;              ///< the site was not asked: the run is offline
};

/// How a listing page was loaded, as the messages tell it.
struct ListingOutcome {
    std::optional<ListingProblem> problem; ///< why there are no entries; none when there are
    ListingOrigin origin;
};

/// What became of one entry's article.
enum class EntryState {
    Downloaded, ///< downloaded and stored now
    Stored,     ///< stored already
    Failed,
    Skipped,    ///< not attempted: the command was stopped before its turn
};

/// One entry of a listing page and what became of its article.
struct PageEntry {
    int number = 0;
    CatalogEntry entry;
    EntryState state = EntryState::Skipped;
};

struct PageResult {
    int page = 0;
    ListingOutcome listing;
    std::vector<PageEntry> entries;
    bool interrupted = false;
    bool storeFailed = false; ///< a file could not be written (said on standard error); the load stopped there
    int pageCount = -1;       ///< page 1 from the site: the number of listing pages it tells
    Text indexAddress;        ///< what the entries' links are resolved against

    bool loaded() const { return !listing.problem; }
};

/// Loads listing page `page` (from its saved copy when the site brings nothing) and obtains every article as the
/// page worker does. Says on `err` when the saved copy was used.
/// `onEntry`, when given, is told what became of each entry as soon as it is known.
PageResult loadPage(const SiteAccessor& site, int page, std::FILE* err,
                    const std::function<void(EntryState)>& onEntry = {});

/// Tells on `err` that the site brought nothing and listing page `page`'s saved copy serves instead.
void reportStoredListing(const ListingOrigin& origin, int page, std::FILE* err);
/// `load` of listing page `page` as the commands tell it; says on `err` when the saved copy serves.
ListingOutcome takeListing(const ListingLoad& load, int page, std::FILE* err);
/// Says on `err` why listing page `page` gave no entries.
void reportUnloadedListing(int page, const ListingOutcome& listing, std::FILE* err);

} // namespace commands
