// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MainWindow.h"
#include "app/commandLine.h"
#include "app/refusal.h"
#include "app/secondCopy.h"
#include "common/displayCheck.h"
#include "common/programMessages.h"
#include "common/programOptions.h"
#include "common/terminationSignals.h"
#include "log/eventLog.h"
#include "log/logText.h"

#include <QApplication>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <unistd.h>

namespace {

constexpr char program[] = "tessavolant";

constexpr ProgramMessages messages(program, windowUsageLine);

// The log's own problems come as bytes in the locale's encoding.
void sayProblem(const std::string& message) {
    messages.say(message);
}

} // namespace

// tessavolant [--log PATH] [VIDEO]: with a path the video opens at once;
// without one the program asks for it in a file dialog.
int main(int argc, char* argv[]) {
    const Refusable<WindowCommandLine> read = readWindowCommandLine(argc, argv);
    if (!read) {
        return messages.refuse(read.refusal());
    }
    const WindowCommandLine& commandLine = *read;
    if (commandLine.answer) {
        printText(stdout, *commandLine.answer);
        return 0;
    }
    if (const Refusable<> display = checkGraphicalDisplay(argc, argv); !display) {
        return messages.refuse(display.refusal());
    }
    eventlog::setProblemReporter(sayProblem);
    // Qt cannot go on once it has failed to reach the display.
    catchDisplayFailure([](const std::string& why) {
        sayProblem(why);
        std::_Exit(1);
    });
    QApplication application(argc, argv);
    graphicalDisplayFound();
    // QApplication takes the user's locale for the C library too; numbers that
    // other programs read keep the decimal point (the widgets follow QLocale).
    std::setlocale(LC_NUMERIC, "C");
    // SIGINT, SIGTERM and SIGHUP end the run as closing the window does.
    const TerminationSignals termination;

    MainWindow window(nullptr, commandLine.videoPath, commandLine.logPath);
    if (window.logHeldElsewhere()) {
        const int code = messages.refuse(anotherCopyIsLogging(commandLine.logPath.bytes));
        showAnotherCopyIsLogging(commandLine.logPath.bytes);
        return code;
    }
    if (termination.received()) {
        return termination.exitCode(1);
    }
    if (!window.isReady()) {
        if (window.chosenPath().isEmpty()) {
            return messages.refuse({QStringLiteral("no video was chosen")});
        }
        const QString reason = window.openRefusal();
        const int code = messages.refuse(
            {QStringLiteral("cannot open the video \"%1\": %2")
                 .arg(QString::fromUtf8(eventlog::escapedForTerminal(window.chosenPath())),
                      reason)});
        if (refusalWantsMessageBox(isatty(STDERR_FILENO) == 1, QGuiApplication::platformName())) {
            showRefusal(window.chosenPath(), reason);
        }
        return code;
    }
    for (const QString& warning : window.openWarnings()) {
        sayProblem(warning.toLocal8Bit().toStdString());
    }
    // A lost display ends the process with exit(1), past every destructor.
    const RunAtExit endRunOnExit([&window] { window.endRun(); });
    window.show();
    const int code = termination.exitCode(application.exec());
    const bool linesLost = window.endRun() > 0;
    return linesLost && code == 0 ? 1 : code;
}
