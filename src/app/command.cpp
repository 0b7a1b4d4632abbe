// The command line's subcommands: operands, the download policy, and the printer for the result.
#include "app/command.h"

#include "app/commands/commands.h"
#include "app/commands/printers.h"
#include "app/store.h"
#include "platform/console.h"
#include "platform/download_policy.h"
#include "platform/file_system.h"
#include "platform/gbk_codec.h"
#include "platform/http_client.h"
#include "platform/threads.h"

#include <charconv>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace commands;

std::optional<int> positiveNumber(const std::string& word)
{
    int value = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (error != std::errc() || end != word.data() + word.size() || value < 1)
        return std::nullopt;
    return value;
}

// "FROM" or "FROM-TO", both positive and FROM <= TO.
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

int usageError(std::FILE* err, const std::string& message)
{
    std::fprintf(err, "varnholt: %s\n\n%s", message.c_str(), helpText().c_str());
    return ExitUsage;
}

template <typename Result>
int finish(const Result& result, const platform::CommandLine& line, std::FILE* out, std::FILE* err)
{
    if (line.json)
        printJson(result, out, err);
    else
        printText(result, out, err);
    // Output that did not arrive is a failure, not a success: a closed pipe, a full disk.
    if (std::fflush(out) != 0 || std::ferror(out)) {
        std::fprintf(err, "varnholt: the output could not be written\n");
        return ExitOutput;
    }
    const int code = exitCode(result);
    return code == ExitInterrupted ? platform::interruptedExitCode() : code;
}

} // namespace

std::string helpText()
{
    return "Usage: varnholt [options] [command [operands]]\n"
           "Varnholt: an offline reader of the category 母豬養殖技術.\n\n"
           "Without a command, opens the window. Commands (no display needed):\n"
           "  counts              print the number of listing pages and entries\n"
           "  page N              load listing page N and store all its articles\n"
           "  show P N            print entry N of listing page P\n"
           "  archive [FROM[-TO]] store every article of the listing pages FROM to TO (TO at most\n"
           "                      the page count)\n"
           "  search WORD...      print the stored articles that hold every word, Simplified\n"
           "                      and Traditional alike (no network needed)\n"
           "  export --epub FILE [FROM[-TO]]  write the stored articles of the saved listing\n"
           "  export --text DIR [FROM[-TO]]   pages FROM to TO as an e-book or UTF-8 text\n\n"
           "Exit codes: 0 done; 1 nothing to show; 2 usage; 3 the site or a listing could not be\n"
           "read; 4 some articles failed; 5 the store cannot be written; 6 the output could not be\n"
           "written; 130 Ctrl-C; 143 SIGTERM.\n\n" +
           platform::optionsHelp() + "\nStore: " + describeDefaultStore() + "\n";
}

int runCommand(const platform::CommandLine& line, const SiteEnvironment& environment, std::FILE* out, std::FILE* err)
{
    const std::vector<std::string>& words = line.arguments;
    const std::string& command = words.front();
    const auto operands = words.size() - 1;

    // Every SiteAccessor of a command downloads through one policy: retries, pauses, and the byte count.
    platform::setUserAgent(line.userAgent.empty() ? platform::defaultUserAgent() : line.userAgent);
    platform::DownloadPolicy policy;
    policy.retries = line.retries;
    policy.delay = std::chrono::milliseconds(static_cast<long long>(line.delaySeconds * 1000));
    policy.randomDelay = line.randomDelay;
    auto downloads = std::make_shared<platform::PolicyDownloader>(policy, environment.fetch);
    // Every download that fails, after its retries, says where and why; the placeholder also says how to set the
    // site, once.
    auto hinted = std::make_shared<bool>(!isPlaceholderSite(environment.siteAddress));
    downloads->setOnFailure([err, hinted](const Text& address, const platform::DownloadResult& result) {
        std::fprintf(err, "varnholt: %s: %s\n", platform::gbk::toUtf8(address).c_str(), result.reason.c_str());
        if (!*hinted)
            std::fprintf(err, "varnholt: %s\n", howToSetTheSite().c_str());
        *hinted = true;
    });
    SiteEnvironment commandEnvironment = environment;
    commandEnvironment.download = [downloads](const Text& address) { return (*downloads)(address); };
    commandEnvironment.fetch = [downloads](const Text& address) { return downloads->fetch(address); };
    const SiteAccessor store(commandEnvironment);
    // The commands that write the store first clear what interrupted runs left; search and export only read it.
    const auto writable = [&] {
        store.removeInterruptedWrites();
        return storeIsWritable(store, err);
    };

    if (command == "counts") {
        if (operands != 0)
            return usageError(err, "counts takes no operands");
        store.removeInterruptedWrites();
        return finish(runCounts(SiteAccessor(commandEnvironment), err), line, out, err);
    }
    if (command == "page") {
        const auto page = operands == 1 ? positiveNumber(words[1]) : std::nullopt;
        if (!page)
            return usageError(err, "page takes one page number, a positive whole number");
        if (!writable())
            return ExitStore;
        platform::stopOnInterrupt();
        return finish(runPage(SiteAccessor(commandEnvironment), *page, err), line, out, err);
    }
    if (command == "show") {
        const auto page = operands == 2 ? positiveNumber(words[1]) : std::nullopt;
        const auto number = operands == 2 ? positiveNumber(words[2]) : std::nullopt;
        if (!page || !number)
            return usageError(err, "show takes a page number and an entry number, both positive whole numbers");
        if (!writable())
            return ExitStore;
        return finish(runShow(SiteAccessor(commandEnvironment), *page, *number, err), line, out, err);
    }
    if (command == "archive") {
        int from = 1;
        std::optional<int> to;
        if (operands > 1 || (operands == 1 && !parseRange(words[1], from, to)))
            return usageError(err, "archive takes an optional range FROM or FROM-TO of page numbers, FROM <= TO");
        if (!writable())
            return ExitStore;
        platform::stopOnInterrupt();
        const bool live = platform::standardErrorIsTerminal() && !line.json;
        return finish(runArchive(commandEnvironment, *downloads, from, to, live, err), line, out, err);
    }
    if (command == "search") {
        if (operands == 0)
            return usageError(err, "search takes one or more words");
        const std::vector<std::string> searched(words.begin() + 1, words.end());
        const bool terminal = !line.json && platform::standardOutputIsTerminal();
        return finish(runSearch(store, searched, terminal), line, out, err);
    }
    if (command == "export") {
        ExportRequest request;
        request.epub = !line.epubFile.empty();
        request.target = request.epub ? line.epubFile : line.textFolder;
        if (line.epubFile.empty() == line.textFolder.empty() || operands > 1 ||
            (operands == 1 && !parseRange(words[1], request.from, request.to)))
            return usageError(err, "export takes --epub FILE or --text DIR, and an optional range FROM or FROM-TO");
        return finish(runExport(store, request, err), line, out, err);
    }
    return usageError(err, "unknown command '" + command + "'");
}
