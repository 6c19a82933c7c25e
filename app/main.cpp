#include "app/MainWindow.h"
#include "app/commandLine.h"
#include "app/displayCheck.h"
#include "app/secondCopy.h"
#include "common/terminationSignals.h"
#include "common/videoRefusal.h"
#include "log/logText.h"

#include <QApplication>
#include <clocale>
#include <cstdio>
#include <string>

// tessavolant [VIDEO]: with a path the video opens at once; without one the
// program asks for it in a file dialog.
int main(int argc, char* argv[]) {
    const WindowCommandLine commandLine = readWindowCommandLine(argc, argv);
    if (commandLine.exitCode) {
        return *commandLine.exitCode;
    }
    requireGraphicalDisplay(argc, argv);
    QApplication application(argc, argv);
    graphicalDisplayFound();
    // QApplication takes the user's locale for the C library too; numbers that
    // other programs read keep the decimal point (the widgets follow QLocale).
    std::setlocale(LC_NUMERIC, "C");
    // SIGINT, SIGTERM and SIGHUP end the run as closing the window does.
    const TerminationSignals termination;

    MainWindow window(nullptr, commandLine.videoPath);
    if (window.logHeldElsewhere()) {
        sayAnotherCopyIsLogging();
        return 1;
    }
    if (termination.received()) {
        return termination.exitCode(1);
    }
    if (!window.isReady()) {
        if (window.chosenPath().isEmpty()) {
            std::fprintf(stderr, "tessavolant: no video was chosen\n");
        } else {
            std::fprintf(stderr, "tessavolant: cannot open the video \"%s\": %s\n",
                         eventlog::escapedForTerminal(window.chosenPath()).constData(),
                         videoRefusal(window.chosenFileName()).c_str());
        }
        return 1;
    }
    // A lost display ends the process with exit(1), past every destructor.
    const RunAtExit endRunOnExit([&window] { window.endRun(); });
    window.show();
    const int code = termination.exitCode(application.exec());
    const bool linesLost = window.endRun() > 0;
    return linesLost && code == 0 ? 1 : code;
}
