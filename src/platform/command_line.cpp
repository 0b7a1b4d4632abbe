// Command-line options over QCommandLineParser.
#include "platform/command_line.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringList>

namespace platform {
namespace {

constexpr const char* Version = "1.0.0";

struct Options {
    QCommandLineOption site{QStringLiteral("site"),
                            QStringLiteral("Read the article site at ADDRESS (scheme, host and port), for example "
                                           "http://127.0.0.1:8123."),
                            QStringLiteral("ADDRESS")};
    QCommandLineOption store{QStringLiteral("store"), QStringLiteral("Keep the folder tree under DIR."),
                             QStringLiteral("DIR")};
    QCommandLineOption demo{QStringLiteral("demo"), QStringLiteral("Read the bundled sample site instead of the real one.")};
    QCommandLineOption json{QStringLiteral("json"), QStringLiteral("Print results as one JSON object (counts, page, archive).")};
    QCommandLineOption delay{QStringLiteral("delay"), QStringLiteral("Wait SECONDS between downloads (archive)."),
                             QStringLiteral("SECONDS"), QStringLiteral("0")};
    QCommandLineOption retries{QStringLiteral("retries"),
                               QStringLiteral("Retry an article download that failed for a passing reason N times."),
                               QStringLiteral("N"), QStringLiteral("2")};
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
                           "  archive [FROM[-TO]] store every article of the listing pages FROM to TO"));
        parser.addOptions({site, store, demo, json, delay, retries, help, version});
        parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("counts, page, show or archive"),
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
    bool ok = false;
    line.delaySeconds = parser.value(options.delay).toDouble(&ok);
    if (!ok || line.delaySeconds < 0 || line.delaySeconds > 3600)
        line.error = "--delay takes a number of seconds from 0 to 3600";
    line.retries = parser.value(options.retries).toInt(&ok);
    if (!ok || line.retries < 0 || line.retries > 20)
        line.error = "--retries takes a whole number from 0 to 20";
    if (parser.isSet(options.site) && line.site.empty())
        line.error = "--site needs an address";
    if (parser.isSet(options.store) && line.store.empty())
        line.error = "--store needs a folder";
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
