#include "app/commandLine.h"

#include "common/defaults.h"
#include "common/programOptions.h"

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

} // namespace

WindowCommandLine readWindowCommandLine(int argc, char* argv[]) {
    QCommandLineParser parser;
    // Qt's GUI options have a single dash and a long name (-platform).
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(
        QStringLiteral("Plays an imaging video, tracks the kidney stone marked on it and "
                       "simulates a lithotripter.\nEvery event is logged to %1 in the working "
                       "directory.")
            .arg(defaults::logFileName));
    const StandardOptions standard(parser);
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
        printText(stderr, QStringLiteral("%1: %2\n%3").arg(programName, parser.errorText(), usage));
        return {std::nullopt, 2};
    }
    if (const std::optional<QString> answer =
            standard.answer(parser, programName, QStringLiteral("[options] [VIDEO.avi]"))) {
        printText(stdout, *answer);
        return {std::nullopt, 0};
    }
    const QStringList videos = parser.positionalArguments();
    if (videos.size() > 1) {
        printText(stderr, QStringLiteral("%1: one video at most, not %2\n%3")
                              .arg(programName)
                              .arg(videos.size())
                              .arg(usage));
        return {std::nullopt, 2};
    }
    if (videos.isEmpty()) {
        return {};
    }
    if (videos.first().isEmpty()) {
        printText(stderr,
                  QStringLiteral("%1: the video's name is empty\n%2").arg(programName, usage));
        return {std::nullopt, 2};
    }
    return {nameAsGiven(videos.first(), argc, argv), std::nullopt};
}
