// The commands that run without a window: counts, page, show and archive.
#pragma once

#include "platform/command_line.h"
#include "site/site_accessor.h"

#include <cstdio>

/// Exit codes of the commands.
enum CommandExit : int {
    ExitOk = 0,
    ExitNotShown = 1,      ///< show: no text could be shown
    ExitUsage = 2,
    ExitUnreadable = 3,    ///< the counts or the listing page could not be read
    ExitSomeFailed = 4,    ///< some articles could not be stored
    ExitInterrupted = 130, ///< stopped by Ctrl-C or SIGTERM
};

/// Runs the subcommand named by `line.arguments`, printing UTF-8 to `out` and `err`; returns the exit code.
/// Uses the same SiteAccessor, catalog and article code as the window.
int runCommand(const platform::CommandLine& line, const SiteEnvironment& environment, std::FILE* out = stdout,
               std::FILE* err = stderr);
