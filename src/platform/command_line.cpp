// Command-line options over QCommandLineParser.
#include "platform/command_line.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringList>

namespace platform {
namespace {

constexpr const char* Version = VARNHOLT_VERSION;

struct Options {
    QCommandLineOption site{QStringLiteral("site"),
                            QStringLiteral("Read the article site at ADDRESS, for example https://host or the "
                                           "category's address copied from a browser (its path is dropped). "
                                           "Without it: the environment variable VARNHOLT_SITE, else a line "
                                           "site=ADDRESS in $XDG_CONFIG_HOME/varnholt/varnholt.conf "
                                           "(~/.config/varnholt/varnholt.conf)."),
                            QStringLiteral("ADDRESS")};
    QCommandLineOption store{QStringLiteral("store"), QStringLiteral("Keep the folder tree under DIR."),
                             QStringLiteral("DIR")};
    QCommandLineOption demo{QStringLiteral("demo"), QStringLiteral("Read the bundled sample site instead of the real one.")};
    QCommandLineOption json{QStringLiteral("json"), QStringLiteral("Print results as one JSON object.")};
    QCommandLineOption delay{QStringLiteral("delay"), QStringLiteral("Wait SECONDS between downloads."),
                             QStringLiteral("SECONDS"), QStringLiteral("0")};
    QCommandLineOption randomDelay{QStringLiteral("random-delay"),
                                   QStringLiteral("Make each wait of --delay 0.5 to 1.5 times as long, at random.")};
    QCommandLineOption retries{QStringLiteral("retries"),
                               QStringLiteral("Retry a download (listing pages and articles) that failed for a "
                                              "passing reason (time-out, broken connection, HTTP 429 or 5xx) N times."),
                               QStringLiteral("N"), QStringLiteral("2")};
    QCommandLineOption userAgent{QStringLiteral("user-agent"),
                                 QStringLiteral("Send TEXT as the User-Agent (default Varnholt/VERSION)."),
                                 QStringLiteral("TEXT")};
    QCommandLineOption epub{QStringLiteral("epub"), QStringLiteral("export: write the articles as an EPUB book FILE."),
                            QStringLiteral("FILE")};
    QCommandLineOption text{QStringLiteral("text"),
                            QStringLiteral("export: write the articles as UTF-8 text files into DIR."),
                            QStringLiteral("DIR")};
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help.")};
    QCommandLineOption version{{QStringLiteral("v"), QStringLiteral("version")}, QStringLiteral("Show the version.")};

    void addTo(QCommandLineParser& parser) const
    {
        parser.setApplicationDescription(
            QStringLiteral("Varnholt: an offline reader of the category 母豬養殖技術.\n\n"
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
                           "written; 130 Ctrl-C; 143 SIGTERM."));
        parser.addOptions({site, store, demo, json, delay, randomDelay, retries, userAgent, epub, text, help, version});
        parser.addPositionalArgument(QStringLiteral("command"),
                                     QStringLiteral("counts, page, show, archive, search or export"),
                                     QStringLiteral("[command [operands]]"));
    }
};

} // namespace

CommandLine parseCommandLine(int argc, char** argv)
{
    // Names the user's data folder (QStandardPaths) also when no application object exists, as in the commands.
    QCoreApplication::setApplicationName(QStringLiteral("Varnholt"));
    QStringList words;
    for (int i = 0; i < argc; ++i)
        words << QString::fromLocal8Bit(argv[i]);
    const Options options;
    QCommandLineParser parser;
    options.addTo(parser);
    CommandLine line;
    if (!parser.parse(words)) {
        line.error = parser.errorText().toStdString();
        return line;
    }
    line.help = parser.isSet(options.help);
    line.version = parser.isSet(options.version);
    line.demo = parser.isSet(options.demo);
    line.json = parser.isSet(options.json);
    line.site = parser.value(options.site).toStdString();
    line.store = parser.value(options.store).toStdString();
    for (const QString& word : parser.positionalArguments())
        line.arguments.push_back(word.toStdString());
    line.randomDelay = parser.isSet(options.randomDelay);
    line.userAgent = parser.value(options.userAgent).toStdString();
    line.epubFile = parser.value(options.epub).toStdString();
    line.textFolder = parser.value(options.text).toStdString();
    bool ok = false;
    line.delaySeconds = parser.value(options.delay).toDouble(&ok);
    // Written so that NaN fails the test too.
    if (!ok || !(line.delaySeconds >= 0 && line.delaySeconds <= 3600))
        line.error = "--delay takes a number of seconds from 0 to 3600";
    line.retries = parser.value(options.retries).toInt(&ok);
    if (!ok || line.retries < 0 || line.retries > 20)
        line.error = "--retries takes a whole number from 0 to 20";
    if (parser.isSet(options.site) && line.site.empty())
        line.error = "--site needs an address";
    if (parser.isSet(options.store) && line.store.empty())
        line.error = "--store needs a folder";
    if (parser.isSet(options.userAgent) && line.userAgent.empty())
        line.error = "--user-agent needs a text";
    return line;
}

std::string helpText(const std::string& storeDescription)
{
    const Options options;
    QCommandLineParser parser;
    options.addTo(parser);
    QString text = parser.helpText();
    text.replace(QStringLiteral("<executable_name>"), QStringLiteral("varnholt"));
    return text.toStdString() + "\nStore: " + storeDescription + "\n";
}

std::string versionText()
{
    return std::string("varnholt ") + Version + "\n";
}

} // namespace platform
