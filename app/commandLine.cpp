// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/commandLine.h"

#include "common/defaults.h"
#include "common/programOptions.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QFile>
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

// The value of the option `name` as the command line gave it, in its own
// bytes (see nameAsGiven): given as "--name VALUE", "-name VALUE",
// "--name=VALUE" or "-name=VALUE", the last time it is given.
VideoFileName optionValueAsGiven(const QString& decoded, const QByteArray& name, int argc,
                                 char* argv[]) {
    const QByteArray forms[] = {"--" + name, "-" + name};
    for (int index = argc - 1; index > 0; --index) {
        const QByteArray argument = argv[index];
        for (const QByteArray& form : forms) {
            const QByteArray joined = form + "=";
            if (argument.startsWith(joined)) {
                const QByteArray value = argument.mid(joined.size());
                if (QFile::decodeName(value) == decoded) {
                    return VideoFileName::fromBytes(value);
                }
            }
            if (argument == form && index + 1 < argc &&
                QFile::decodeName(argv[index + 1]) == decoded) {
                return VideoFileName::fromBytes(argv[index + 1]);
            }
        }
    }
    return decoded;
}

} // namespace

Refusable<WindowCommandLine> readWindowCommandLine(int argc, char* argv[]) {
    QCommandLineParser parser;
    // Qt's GUI options have a single dash and a long name (-platform).
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(
        QStringLiteral("Plays an imaging video, tracks the kidney stone marked on it and "
                       "simulates a lithotripter.\nEvery event is logged to %1 in the working "
                       "directory, or to the file that --log names; the logs of the %2 runs "
                       "before are kept beside it as %1.1 (the latest) to %1.%2.")
            .arg(defaults::logFileName)
            .arg(defaults::keptLogs));
    const StandardOptions standard(parser);
    const QCommandLineOption log(
        QStringLiteral("log"),
        QStringLiteral("Write the event log to PATH (relative to the working directory) "
                       "instead of %1.")
            .arg(defaults::logFileName),
        QStringLiteral("PATH"));
    parser.addOption(log);
    acceptQtGuiOptions(parser);
    parser.addPositionalArgument(
        QStringLiteral("VIDEO.avi"),
        QStringLiteral("The video to open: an AVI, a DICOM cine loop, or a numbered image "
                       "sequence given as a folder, one of its frames or a pattern such as "
                       "frames/img_%04d.png. Without it the program asks for one in a file "
                       "dialog."),
        QStringLiteral("[VIDEO.avi]"));

    QStringList arguments;
    for (int index = 0; index < argc; ++index) {
        arguments << QString::fromLocal8Bit(argv[index]);
    }
    if (!parser.parse(arguments)) {
        return Refusal{parser.errorText(), exitUsage};
    }
    WindowCommandLine commandLine;
    commandLine.answer =
        standard.answer(parser, programName, QStringLiteral("[options] [VIDEO.avi]"));
    if (commandLine.answer) {
        return commandLine;
    }
    if (parser.isSet(log)) {
        if (parser.value(log).isEmpty()) {
            return Refusal{QStringLiteral("--log: the log's name is empty"), exitUsage};
        }
        commandLine.logPath = optionValueAsGiven(parser.value(log), "log", argc, argv);
    }
    const QStringList videos = parser.positionalArguments();
    if (videos.size() > 1) {
        return Refusal{QStringLiteral("one video at most, not %1").arg(videos.size()), exitUsage};
    }
    if (videos.isEmpty()) {
        return commandLine;
    }
    if (videos.first().isEmpty()) {
        return Refusal{QStringLiteral("the video's name is empty"), exitUsage};
    }
    commandLine.videoPath = nameAsGiven(videos.first(), argc, argv);
    return commandLine;
}
