#include "app/MainWindow.h"
#include "app/commandLine.h"
#include "app/videoRefusal.h"

#include <QApplication>
#include <QFileInfo>
#include <cstdio>

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
                         videoRefusal(window.chosenPath()));
        }
        return 1;
    }
    window.show();
    return application.exec();
}
