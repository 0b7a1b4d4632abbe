// The commands that run without a window, and the one download policy every download of a run goes through.
#pragma once

#include "platform/command_line.h"
#include "platform/download_policy.h"
#include "site/site_accessor.h"

#include <cstdio>
#include <memory>
#include <string>

/// The --help text, made from the command table: the commands, the exit codes, the options and where the store lies
/// (`store`, the --store given, when there is one).
std::string helpText(const std::string& store = {});

/// Who downloads: the window, which shows the store at once and refreshes behind it, or a command, which waits a
/// short while for the site where a saved copy could serve and never asks a silent site twice.
enum class DownloadUse { Window, Command };

/// The run's one download policy as the options and the configuration file set it (retries, pauses, offline, the
/// User-Agent), over the environment's own fetch. The window and the commands both download through it.
std::shared_ptr<platform::PolicyDownloader> makeDownloads(const platform::CommandLine& line,
                                                          const SiteEnvironment& environment, DownloadUse use);
/// `environment` with every download going through `downloads`, within the time-outs that `line` sets.
SiteEnvironment throughDownloads(SiteEnvironment environment, std::shared_ptr<platform::PolicyDownloader> downloads,
                                 const platform::CommandLine& line, DownloadUse use);

/// Runs the subcommand named by `line.arguments`, printing UTF-8 to `out` and `err`; returns the exit code.
/// Uses the same SiteAccessor, catalog and article code as the window.
int runCommand(const platform::CommandLine& line, const SiteEnvironment& environment, std::FILE* out = stdout,
               std::FILE* err = stderr);
