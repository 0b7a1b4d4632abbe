// The commands that run without a window.
#pragma once

#include "platform/command_line.h"
#include "site/site_accessor.h"

/// Runs the subcommand named by `line.arguments`; returns the process's exit code.
int runCommand(const platform::CommandLine& line, const SiteEnvironment& environment);
