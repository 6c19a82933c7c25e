#include "app/MainWindow.h"
#include "app/commandLine.h"

#include <QApplication>
#include <QFileInfo>
#include <cstdio>

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
    const WindowCommandLine commandLine = readWindowCommandLine(argc, argv);
    if (commandLine.exitCode) {
        return *commandLine.exitCode;
    }
    QApplication application(argc, argv);

    MainWindow window(nullptr, commandLine.videoPath);
    if (!window.isReady()) {
        if (window.chosenPath().isEmpty()) {
            std::fprintf(stderr, "tessavolant: no video was chosen\n");
        } else {
            std::fprintf(stderr, "tessavolant: cannot open the video \"%s\": %s\n",
                         window.chosenPath().toLocal8Bit().constData(),
                         refusal(window.chosenPath()));
        }
        return 1;
    }
    window.show();
    return application.exec();
}
