// Command-line options of the program, the same on every system.
#pragma once

#include <string>
#include <vector>

namespace platform {

struct CommandLine {
    std::vector<std::string> arguments; ///< positional arguments: the subcommand and its operands
    std::string site;                   ///< --site: scheme, host and port of the article site; empty for the default
    std::string store;                  ///< --store: the folder that holds the folder tree; empty for the default
    bool demo = false;                  ///< --demo: read the bundled sample site
    bool json = false;                  ///< --json: machine-readable output of the subcommands
    double delaySeconds = 0;            ///< --delay: pause between downloads
    bool randomDelay = false;           ///< --random-delay: each pause 0.5 to 1.5 times --delay
    int retries = 2;                    ///< --retries: further attempts after a transient failure
    double timeoutSeconds = 0;          ///< --timeout: 0 when not given
    bool offline = false;               ///< --offline: ask the site nothing
    std::string userAgent;              ///< --user-agent: empty for the program's own
    std::string epubFile;               ///< --epub: the book that `export` writes
    std::string textFolder;             ///< --text: the folder that `export` writes into
    bool help = false;
    bool version = false;
    std::string error;                  ///< a usage error, one line; empty when the line is sound
};

/// Parses `argv` (UTF-8). Options may stand before, between and after the positional arguments. Never exits and
/// prints nothing.
CommandLine parseCommandLine(int argc, char** argv);

/// The options as --help lists them: "Options:" and one block per option, wrapped to 80 columns.
std::string optionsHelp();

/// The --version text.
std::string versionText();

} // namespace platform
