// Command-line options over CLI11. One table names every option; the parser and the help text are made from it.
#include "platform/command_line.h"

#include "platform/text.h"

#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdlib>
#include <map>
#include <string_view>

namespace platform {
namespace {

constexpr const char* Version = VARNHOLT_VERSION;

struct OptionDefinition {
    std::string_view names;     ///< CLI11's form: "-h,--help"
    std::string_view valueName; ///< empty for a flag
    std::string_view description;
};

constexpr OptionDefinition Options[] = {
    {"--site", "ADDRESS",
     "Read the article site at ADDRESS, for example https://host or the category's address copied from a browser (its "
     "path is dropped). Without it: the environment variable VARNHOLT_SITE, else a line site=ADDRESS in "
     "$XDG_CONFIG_HOME/varnholt/varnholt.conf (~/.config/varnholt/varnholt.conf)."},
    {"--store", "DIR", "Keep the folder tree under DIR."},
    {"--demo", "", "Read the bundled sample site instead of the real one."},
    {"--json", "", "Print results as one JSON object."},
    {"--delay", "SECONDS", "Wait SECONDS between downloads."},
    {"--random-delay", "", "Make each wait of --delay 0.5 to 1.5 times as long, at random."},
    {"--retries", "N",
     "Retry a download (listing pages and articles) that failed for a passing reason (time-out, broken connection, "
     "HTTP 429 or 5xx) N times."},
    {"--timeout", "SECONDS",
     "Wait at most SECONDS for the site to connect, and for a stalled download to go on; a command with a saved "
     "listing page waits at most SECONDS for the fresh one before it reads the saved copy (default 3)."},
    {"--offline", "",
     "Ask the site nothing: read only what is stored. Also a line offline=true in the configuration file."},
    {"--user-agent", "TEXT", "Send TEXT as the User-Agent (default Varnholt/VERSION)."},
    {"--epub", "FILE", "export: write the articles as an EPUB book FILE."},
    {"--text", "DIR", "export: write the articles as UTF-8 text files into DIR."},
    {"-h,--help", "", "Show this help."},
    {"-v,--version", "", "Show the version."},
};

// "-h,--help" as the help shows it: "-h, --help"; a value follows as "<SECONDS>".
std::string shownNames(const OptionDefinition& option)
{
    std::string shown;
    for (const char c : option.names)
        shown += c == ',' ? std::string(", ") : std::string(1, c);
    if (!option.valueName.empty())
        shown += " <" + std::string(option.valueName) + ">";
    return shown;
}

// The long name, by which the parsed values are kept: "--help" of "-h,--help".
std::string longName(const OptionDefinition& option)
{
    const std::string_view names = option.names;
    return std::string(names.substr(names.rfind(',') + 1));
}

bool parseNumber(const std::string& text, double& value)
{
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && end == text.c_str() + text.size();
}

bool parseWhole(const std::string& text, int& value)
{
    char* end = nullptr;
    const long parsed = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || end != text.c_str() + text.size() || parsed < -1'000'000 || parsed > 1'000'000)
        return false;
    value = static_cast<int>(parsed);
    return true;
}

} // namespace

CommandLine parseCommandLine(int argc, char** argv)
{
    CLI::App parser("", "varnholt");
    parser.set_help_flag();
    std::map<std::string, std::string> values{{"--delay", "0"}, {"--retries", "2"}};
    std::map<std::string, bool> flags;
    for (const OptionDefinition& option : Options) {
        const std::string name = longName(option);
        // As most programs do, an option given twice takes its last value.
        CLI::Option* added = option.valueName.empty() ? parser.add_flag(std::string(option.names), flags[name])
                                                      : parser.add_option(std::string(option.names), values[name]);
        added->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    }
    CommandLine line;
    parser.add_option("arguments", line.arguments);
    try {
        parser.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        line.arguments.clear();
        line.error = error.what();
        return line;
    }
    const auto given = [&](const char* name) { return parser.count(name) > 0; };
    line.help = flags["--help"];
    line.version = flags["--version"];
    line.demo = flags["--demo"];
    line.json = flags["--json"];
    line.randomDelay = flags["--random-delay"];
    line.offline = flags["--offline"];
    line.site = values["--site"];
    line.store = values["--store"];
    line.userAgent = values["--user-agent"];
    line.epubFile = values["--epub"];
    line.textFolder = values["--text"];
    // Written so that NaN fails the test too.
    if (!parseNumber(values["--delay"], line.delaySeconds) || !(line.delaySeconds >= 0 && line.delaySeconds <= 3600))
        line.error = "--delay takes a number of seconds from 0 to 3600";
    if (given("--timeout") &&
        (!parseNumber(values["--timeout"], line.timeoutSeconds) || !(line.timeoutSeconds >= 1 && line.timeoutSeconds <= 600)))
        line.error = "--timeout takes a number of seconds from 1 to 600";
    if (!parseWhole(values["--retries"], line.retries) || line.retries < 0 || line.retries > 20)
        line.error = "--retries takes a whole number from 0 to 20";
    if (given("--site") && line.site.empty())
        line.error = "--site needs an address";
    if (given("--store") && line.store.empty())
        line.error = "--store needs a folder";
    if (given("--user-agent") && line.userAgent.empty())
        line.error = "--user-agent needs a text";
    return line;
}

std::string optionsHelp()
{
    constexpr std::size_t Width = 79;
    std::size_t column = 0;
    for (const OptionDefinition& option : Options)
        column = std::max(column, shownNames(option).size());
    column += 4; // two spaces before the names, two after the longest
    std::string text = "Options:\n";
    for (const OptionDefinition& option : Options) {
        std::string lead = "  " + shownNames(option);
        lead.resize(column, ' ');
        for (const std::string& line : text::wrapped(option.description, Width - column)) {
            text += lead + line + "\n";
            lead.assign(column, ' ');
        }
    }
    return text;
}

std::string versionText()
{
    return std::string("varnholt ") + Version + "\n";
}

} // namespace platform
