// The commands that run without a window: counts, page, show and archive.
#pragma once

#include "platform/command_line.h"
#include "site/site_accessor.h"

#include <cstdio>
#include <string>

/// The --help text: the commands, the exit codes, the options and where the store lies.
std::string helpText();

/// Runs the subcommand named by `line.arguments`, printing UTF-8 to `out` and `err`; returns the exit code.
/// Uses the same SiteAccessor, catalog and article code as the window.
int runCommand(const platform::CommandLine& line, const SiteEnvironment& environment, std::FILE* out = stdout,
               std::FILE* err = stderr);
