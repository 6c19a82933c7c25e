// SPDX-License-Identifier: GPL-3.0-or-later
#include "annotate/AnnotationWindow.h"
#include "annotate/annotateOptions.h"
#include "annotate/recording.h"
#include "annotate/truthStart.h"
#include "common/displayCheck.h"
#include "common/programMessages.h"
#include "common/programOptions.h"
#include "common/terminationSignals.h"
#include "common/videoFileCheck.h"
#include "log/logText.h"

#include <QApplication>
#include <QFile>
#include <QScreen>
#include <clocale>
#include <cstdio>
#include <cstdlib>

// tessavolant-annotate [options] VIDEO: marks by hand where the stone is in a
// recording and writes it as the truth file that the replay measures against.

namespace {

constexpr const char* program = "tessavolant-annotate";

constexpr ProgramMessages messages(program);

} // namespace

int main(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments << QFile::decodeName(argv[i]);
    }
    const ParsedAnnotateCommand command = parseAnnotateCommand(arguments);
    switch (command.outcome) {
    case ParsedAnnotateCommand::Outcome::Answer:
        printText(stdout, command.text);
        return 0;
    case ParsedAnnotateCommand::Outcome::UsageError:
        return messages.usageError(command.text);
    case ParsedAnnotateCommand::Outcome::Run:
        break;
    }
    const AnnotateOptions& options = command.options;

    if (const Refusable<> display = checkGraphicalDisplay(argc, argv); !display) {
        return messages.refuse(display.refusal());
    }
    // Qt cannot go on once it has failed to reach the display.
    catchDisplayFailure([](const std::string& why) {
        messages.say(why);
        std::_Exit(1);
    });
    int qtArgc = 1;
    QApplication application(qtArgc, argv);
    graphicalDisplayFound();
    std::setlocale(LC_NUMERIC, "C");

    const VideoFileName video = nameAsGiven(options.video, argc, argv);
    Refusable<Recording> recording = openRecording(video);
    if (!recording) {
        return messages.refuse(recording.refusal());
    }
    for (const QString& warning : recording->warnings) {
        messages.say(warning);
    }
    const QRect frame(0, 0, recording->firstFrame.cols, recording->firstFrame.rows);
    const QRect focal(options.focal.x, options.focal.y, options.focal.width, options.focal.height);
    if (!frame.contains(focal)) {
        return messages.usageError(
            QStringLiteral("--focal, --focal-size: the focal marker (%1,%2 to %3,%4) "
                           "reaches outside the %5 x %6 frame")
                .arg(focal.left())
                .arg(focal.top())
                .arg(focal.right())
                .arg(focal.bottom())
                .arg(frame.width())
                .arg(frame.height()));
    }

    const bool truthNamed = !options.truthPath.isEmpty();
    const QByteArray truthName =
        truthNamed ? nameAsGiven(options.truthPath, argc, argv).bytes : recording->truthName;
    const FileName track =
        options.trackPath.isEmpty() ? FileName() : nameAsGiven(options.trackPath, argc, argv);
    Refusable<TruthStart> start = startTruth(truthName, truthNamed, track, options.every,
                                             recording->frameCount, frame.size());
    if (!start) {
        return messages.refuse(start.refusal());
    }

    AnnotationWindow::TruthFile truth{truthName, std::move(start->annotation), start->saved,
                                      start->note};
    QScreen* screen = QGuiApplication::primaryScreen();
    AnnotationWindow window(std::move(*recording), std::move(truth), focal,
                            screen ? screen->availableSize() : QSize());
    // SIGINT, SIGTERM and SIGHUP end the program without a question; what was
    // not saved goes into a file of its own beside the truth file.
    const TerminationSignals termination(
        [&window](int signalNumber) { window.endBySignal(signalNumber); });
    // A lost display ends the process with exit(1), past every destructor.
    const RunAtExit keepWorkOnExit([&window] { window.keepUnsavedWork(); });
    window.show();
    // Everything is done with keys: the window asks for them at once (where no
    // window manager gives them to it, nothing else would).
    window.activateWindow();
    const int code = application.exec();
    return termination.exitCode(code);
}
