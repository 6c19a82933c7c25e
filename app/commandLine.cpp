#include "app/commandLine.h"

#include "version.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>
#include <cstdio>

namespace {

const char programName[] = "tessavolant";

// The options that QApplication takes from the same argument list itself.
void acceptQtGuiOptions(QCommandLineParser& parser) {
    const char* const withValue[] = {"platform",        "platformpluginpath",
                                     "platformtheme",   "plugin",
                                     "display",         "geometry",
                                     "qwindowgeometry", "qwindowicon",
                                     "qwindowtitle",    "style",
                                     "stylesheet",      "session"};
    for (const char* name : withValue) {
        QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    QCommandLineOption reverse(QStringLiteral("reverse"));
    reverse.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(reverse);
}

void print(std::FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
}

} // namespace

WindowCommandLine readWindowCommandLine(int argc, char* argv[]) {
    QCommandLineParser parser;
    // Qt's GUI options have a single dash and a long name (-platform).
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QStringLiteral(
        "Plays an imaging video, tracks the kidney stone marked on it and simulates a "
        "lithotripter.\nEvery event is logged to loggfile.txt in the working directory."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version and exit."));
    parser.addOption(help);
    parser.addOption(version);
    acceptQtGuiOptions(parser);
    parser.addPositionalArgument(
        QStringLiteral("VIDEO.avi"),
        QStringLiteral("The video to open; without it the program asks for one in a file dialog."),
        QStringLiteral("[VIDEO.avi]"));

    QStringList arguments;
    for (int index = 0; index < argc; ++index) {
        arguments << QString::fromLocal8Bit(argv[index]);
    }
    const QString usage =
        QStringLiteral("usage: %1 [--help] [--version] [VIDEO.avi]\n").arg(programName);
    if (!parser.parse(arguments)) {
        print(stderr, QStringLiteral("%1: %2\n%3").arg(programName, parser.errorText(), usage));
        return {std::nullopt, 2};
    }
    if (parser.isSet(help)) {
        // Without an application object the parser cannot name the program in
        // its first line, so that line is written here.
        const QString text = parser.helpText();
        print(stdout, QStringLiteral("Usage: %1 [options] [VIDEO.avi]\n%2")
                          .arg(programName, text.section(QLatin1Char('\n'), 1)));
        return {std::nullopt, 0};
    }
    if (parser.isSet(version)) {
        print(
            stdout,
            QStringLiteral("%1 %2\n%3\n").arg(programName, tessavolantVersion, tessavolantLicence));
        return {std::nullopt, 0};
    }
    const QStringList videos = parser.positionalArguments();
    if (videos.size() > 1) {
        print(stderr, QStringLiteral("%1: one video at most, not %2\n%3")
                          .arg(programName)
                          .arg(videos.size())
                          .arg(usage));
        return {std::nullopt, 2};
    }
    if (videos.isEmpty()) {
        return {};
    }
    if (videos.first().isEmpty()) {
        print(stderr, QStringLiteral("%1: the video's name is empty\n%2").arg(programName, usage));
        return {std::nullopt, 2};
    }
    return {nameAsGiven(videos.first(), argc, argv), std::nullopt};
}
