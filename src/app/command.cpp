// The command table, the dispatch made from it, and the help text it writes.
#include "app/command.h"

#include "app/commands/commands.h"
#include "app/commands/output.h"
#include "app/store.h"
#include "platform/config_file.h"
#include "platform/gbk_codec.h"
#include "platform/http_client.h"
#include "platform/text.h"

#include <charconv>

namespace commands {

const std::vector<CommandDefinition>& commandTable()
{
    static const std::vector<CommandDefinition> table{
        {"counts", "counts", "print the number of listing pages and entries", "counts takes no operands",
         countsCommand},
        {"page", "page N", "load listing page N and store all its articles",
         "page takes one page number, a positive whole number", pageCommand},
        {"show", "show P N", "print entry N of listing page P",
         "show takes a page number and an entry number, both positive whole numbers", showCommand},
        {"archive", "archive [FROM[-TO]]",
         "store every article of the listing pages FROM to TO (TO at most the page count)",
         "archive takes an optional range FROM or FROM-TO of page numbers, FROM <= TO", archiveCommand},
        {"update", "update",
         "store the articles that are new on the site: listing pages from 1 on, until one is all stored",
         "update takes no operands", updateCommand},
        {"search", "search WORD...",
         "print the stored articles that hold every word, Simplified and Traditional alike (no network needed)",
         "search takes one to sixteen different words", searchCommand},
        {"export", "export --epub FILE|--text DIR [FROM[-TO]]",
         "write the stored articles of the saved listing pages FROM to TO as an e-book or UTF-8 text",
         "export takes --epub FILE or --text DIR, and an optional range FROM or FROM-TO", exportCommand},
    };
    return table;
}

const std::vector<ExitCodeDefinition>& exitCodeTable()
{
    static const std::vector<ExitCodeDefinition> table{
        {ExitOk, "done"},
        {ExitNotShown, "nothing to show"},
        {ExitUsage, "usage"},
        {ExitUnreadable, "the site or a listing could not be read"},
        {ExitSomeFailed, "some articles failed"},
        {ExitStore, "the store cannot be written"},
        {ExitOutput, "the output could not be written"},
        {ExitInterrupted, "Ctrl-C"},
        {143, "SIGTERM"},
    };
    return table;
}

void Invocation::clearInterruptedWrites() const
{
    SiteAccessor(environment).removeInterruptedWrites();
}

bool Invocation::storeReady() const
{
    const SiteAccessor store(environment);
    store.removeInterruptedWrites();
    return storeIsWritable(store, err);
}

std::optional<int> positiveNumber(const std::string& word)
{
    int value = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (error != std::errc() || end != word.data() + word.size() || value < 1)
        return std::nullopt;
    return value;
}

bool parseRange(const std::string& word, int& from, std::optional<int>& to)
{
    const std::size_t dash = word.find('-');
    const auto first = positiveNumber(word.substr(0, dash));
    if (!first)
        return false;
    from = *first;
    if (dash == std::string::npos)
        return true;
    const auto last = positiveNumber(word.substr(dash + 1));
    if (!last || *last < from)
        return false;
    to = *last;
    return true;
}

} // namespace commands

namespace {

using namespace commands;

// "  name  text" with `text` from `column` on, wrapped to 79 columns; a name too long for the column stands on a
// line of its own.
std::string helpRow(std::string_view name, std::string_view text, std::size_t column)
{
    std::string lead = "  " + std::string(name);
    std::string row;
    if (lead.size() + 2 > column) {
        row = lead + "\n";
        lead.clear();
    }
    lead.resize(column, ' ');
    for (const std::string& line : text::wrapped(text, 79 - lead.size())) {
        row += lead + line + "\n";
        lead.assign(column, ' ');
    }
    return row;
}

int usageError(const platform::CommandLine& line, std::FILE* out, std::FILE* err, const std::string& message)
{
    std::fprintf(err, "varnholt: %s\n\n%s", message.c_str(), helpText(line.store).c_str());
    if (line.json) {
        commands::printLine(commands::withFailure({}, ExitUsage).set("error", message), out);
        std::fflush(out);
    }
    return ExitUsage;
}

} // namespace

std::string helpText(const std::string& store)
{
    std::string text = "Usage: varnholt [options] [command [operands]]\n"
                       "Varnholt: an offline reader of the category 母豬養殖技術.\n\n"
                       "Without a command, opens the window. Commands (no display needed):\n";
    for (const CommandDefinition& command : commandTable())
        text += helpRow(command.usage, command.summary, 24);
    text += "\nExit status:\n";
    for (const ExitCodeDefinition& exit : exitCodeTable())
        text += helpRow(std::to_string(exit.code), exit.meaning, 7);
    const std::string where =
        store.empty() ? describeDefaultStore() : platform::joinPath(store, "Marrowfen") + " (--store)";
    return text + "\n" + platform::optionsHelp() + "\nStore: " + where + "\n";
}

std::shared_ptr<platform::PolicyDownloader> makeDownloads(const platform::CommandLine& line,
                                                          const SiteEnvironment& environment, DownloadUse use)
{
    platform::setUserAgent(line.userAgent.empty() ? platform::defaultUserAgent() : line.userAgent);
    platform::DownloadPolicy policy;
    policy.retries = line.retries;
    policy.delay = std::chrono::milliseconds(static_cast<long long>(line.delaySeconds * 1000));
    policy.randomDelay = line.randomDelay;
    policy.offline = line.offline || platform::configValue("offline") == "true";
    // A command is over in moments: a site that did not answer is not asked again by it. The window lives on, and
    // asks again after a while.
    if (use == DownloadUse::Command)
        policy.silenceRemembered = std::chrono::milliseconds::max();
    return std::make_shared<platform::PolicyDownloader>(policy, environment.fetch);
}

SiteEnvironment throughDownloads(SiteEnvironment environment, std::shared_ptr<platform::PolicyDownloader> downloads,
                                 const platform::CommandLine& line, DownloadUse use)
{
    if (line.timeoutSeconds > 0) {
        const auto timeout = std::chrono::milliseconds(static_cast<long long>(line.timeoutSeconds * 1000));
        environment.limits.connectTimeout = timeout;
        environment.limits.lowSpeedTime = std::chrono::ceil<std::chrono::seconds>(timeout);
    }
    if (use == DownloadUse::Command)
        environment.fallbackDeadline = line.timeoutSeconds > 0
            ? std::chrono::milliseconds(static_cast<long long>(line.timeoutSeconds * 1000))
            : std::chrono::milliseconds(3000);
    environment.download = [downloads, limits = environment.limits](const Text& address) {
        return downloads->fetch(address, limits).body;
    };
    environment.fetch = [downloads](const Text& address, const platform::DownloadLimits& limits) {
        return downloads->fetch(address, limits);
    };
    return environment;
}

int runCommand(const platform::CommandLine& line, const SiteEnvironment& environment, std::FILE* out, std::FILE* err)
{
    const std::string& name = line.arguments.front();
    const auto command = std::find_if(commandTable().begin(), commandTable().end(),
                                      [&](const CommandDefinition& entry) { return entry.name == name; });
    if (command == commandTable().end())
        return usageError(line, out, err, "unknown command '" + name + "'");

    const std::shared_ptr<platform::PolicyDownloader> downloads = makeDownloads(line, environment, DownloadUse::Command);
    // Every download that fails, after its retries, says where and why; the placeholder also says how to set the
    // site, once.
    auto hinted = std::make_shared<bool>(!isPlaceholderSite(environment.siteAddress));
    downloads->setOnFailure([err, hinted](const Text& address, const platform::DownloadResult& result) {
        std::fprintf(err, "varnholt: %s: %s\n", commands::printable(platform::gbk::toUtf8(address), false).c_str(),
                     commands::printable(result.reason, false).c_str());
        if (!*hinted)
            std::fprintf(err, "varnholt: %s\n", howToSetTheSite().c_str());
        *hinted = true;
    });
    const SiteEnvironment site = throughDownloads(environment, downloads, line, DownloadUse::Command);
    const Invocation run{line, {line.arguments.begin() + 1, line.arguments.end()}, site, *downloads, out, err};
    const std::optional<int> code = command->run(run);
    if (!code)
        return usageError(line, out, err, std::string(command->operands));
    // A failure before any result (the store cannot be written, say) still gives --json its one object.
    if (line.json && !run.printed && *code != ExitOk) {
        commands::printLine(commands::withFailure({}, *code), out);
        std::fflush(out);
    }
    return *code;
}
