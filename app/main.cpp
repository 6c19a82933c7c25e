#include "app/MainWindow.h"
#include "app/secondCopy.h"
#include "app/terminationSignals.h"
#include "log/logText.h"

#include <QApplication>
#include <QFileInfo>
#include <QStringList>
#include <clocale>
#include <cstdio>
#include <optional>

namespace {

// Why a chosen video could not be opened, in words that tell the user what to
// do about it.
const char* refusal(const QString& path) {
    const QFileInfo file(path);
    if (!file.exists()) {
        return "there is no such file";
    }
    if (file.isDir()) {
        return "it is a directory; choose a video file in it";
    }
    if (!file.isReadable()) {
        return "the file may not be read";
    }
    if (file.size() == 0) {
        return "the file is empty";
    }
    return "it is no video that can be played (damaged, without frames, or in an unknown "
           "format)";
}

} // namespace

// tessavolant [VIDEO]: with a path the video opens at once; without one the
// program asks for it in a file dialog.
int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    // QApplication takes the user's locale for the C library too; numbers that
    // other programs read keep the decimal point (the widgets follow QLocale).
    std::setlocale(LC_NUMERIC, "C");
    // SIGINT, SIGTERM and SIGHUP end the run as closing the window does.
    const TerminationSignals termination;

    const QStringList arguments = application.arguments().mid(1);
    if (arguments.size() > 1 || (arguments.size() == 1 && arguments.first().startsWith('-'))) {
        std::fprintf(stderr, "usage: tessavolant [VIDEO.avi]\n");
        return 2;
    }
    std::optional<QString> videoPath;
    if (!arguments.isEmpty()) {
        videoPath = arguments.first();
    }

    MainWindow window(nullptr, videoPath);
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
                         refusal(window.chosenPath()));
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
