#include "app/MainWindow.h"
#include "app/displayCheck.h"
#include "app/videoFileCheck.h"

#include <QApplication>
#include <QStringList>
#include <cstdio>
#include <optional>
#include <string>

// tessavolant [VIDEO]: with a path the video opens at once; without one the
// program asks for it in a file dialog.
int main(int argc, char* argv[]) {
    requireGraphicalDisplay(argc, argv);
    QApplication application(argc, argv);
    graphicalDisplayFound();

    const QStringList arguments = application.arguments().mid(1);
    if (arguments.size() == 1 && arguments.first().isEmpty()) {
        std::fprintf(stderr, "tessavolant: the video's name is empty\n"
                             "usage: tessavolant [VIDEO.avi]\n");
        return 2;
    }
    if (arguments.size() > 1 || (arguments.size() == 1 && arguments.first().startsWith('-'))) {
        std::fprintf(stderr, "usage: tessavolant [VIDEO.avi]\n");
        return 2;
    }
    // The name's own bytes: a QString would lose those that are not valid in
    // the locale's encoding.
    std::optional<VideoFileName> videoPath;
    if (!arguments.isEmpty()) {
        videoPath = VideoFileName::fromBytes(argv[argc - 1]);
    }

    MainWindow window(nullptr, videoPath);
    if (!window.isReady()) {
        if (window.chosenPath().isEmpty()) {
            std::fprintf(stderr, "tessavolant: no video was chosen\n");
        } else {
            std::string reason = videoFileRefusal(window.chosenFileName());
            if (reason.empty()) {
                reason = "it is no video that can be played (damaged, without frames, or in an "
                         "unknown format)";
            }
            std::fprintf(stderr, "tessavolant: cannot open the video \"%s\": %s\n",
                         window.chosenFileName().constData(), reason.c_str());
        }
        return 1;
    }
    window.show();
    return application.exec();
}
