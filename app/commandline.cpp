#include "app/commandline.h"

#include "system/ownpageaddress.h"
#include "version.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QUrl>
#include <cstdio>

namespace commandline {

namespace {

// The refusal names what was refused, on one line and of bounded length.
QString shown(const QString &word)
{
    QString line = word.left(200).simplified();
    if (word.size() > 200)
        line += QStringLiteral("...");
    return line;
}

// Qt's own options, taken by the application object from the same arguments: known here
// so that they are no bad option, and otherwise left alone.
void addQtOptions(QCommandLineParser &parser)
{
    for (const char *name : {"platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
                             "qwindowicon", "qwindowtitle", "session", "style", "stylesheet", "display", "geometry",
                             "name", "title", "visual", "qmljsdebugger"}) {
        QCommandLineOption option(QLatin1String(name), QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char *name : {"reverse", "widgetcount", "nograb", "dograb", "sync"}) {
        QCommandLineOption option{QString::fromLatin1(name)};
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
}

} // namespace

QString version()
{
    return QStringLiteral("%1.%2.%3").arg(version::major).arg(version::minor).arg(version::revision);
}

Outcome read(const QStringList &arguments, const QString &workingFolder, const QString &version)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("A web browser."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("address"),
                                 QStringLiteral("Addresses or files to open, each in a document window of its own."),
                                 QStringLiteral("[ADDRESS|FILE]..."));
    // Its own name, not the path it was started by (nor a stand-in where no application
    // object exists yet).
    const QString usage = QStringLiteral("Usage: halvane [options] [ADDRESS|FILE]...\n")
                          + parser.helpText().section(QLatin1Char('\n'), 1);

    // Qt's options are single-dash words; everything after --webEngineArgs is the engine's.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    addQtOptions(parser);
    const qsizetype engineArgs = arguments.indexOf(QStringLiteral("--webEngineArgs"));

    Outcome outcome;
    if (!parser.parse(engineArgs < 0 ? arguments : arguments.first(engineArgs))) {
        outcome.errors = QStringLiteral("halvane: ") + parser.errorText() + QLatin1Char('\n') + usage;
        outcome.exit = true;
        outcome.exitStatus = 2;
        return outcome;
    }
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        outcome.output = usage;
        outcome.exit = true;
        return outcome;
    }
    if (parser.isSet(versionOption)) {
        outcome.output = QStringLiteral("Halvane ") + version + QLatin1Char('\n');
        outcome.exit = true;
        return outcome;
    }
    const QDir folder(workingFolder);
    for (const QString &word : parser.positionalArguments()) {
        if (runsItsOwnPage(word)) {
            outcome.errors += QStringLiteral("halvane: not opened, not an address a user could type: ")
                              + shown(word) + QLatin1Char('\n');
            continue;
        }
        const QFileInfo file(folder, word);
        if (!word.isEmpty() && file.exists())
            // Encoded, so that a "#" or "%" in a file name reads back as the name.
            outcome.addresses << QUrl::fromLocalFile(file.absoluteFilePath()).toString(QUrl::FullyEncoded);
        else
            outcome.addresses << word;
    }
    return outcome;
}

Outcome readAndReport(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    Outcome outcome = read(arguments, QDir::currentPath(), version());
    std::fputs(outcome.output.toLocal8Bit().constData(), stdout);
    std::fputs(outcome.errors.toLocal8Bit().constData(), stderr);
    return outcome;
}

} // namespace commandline
