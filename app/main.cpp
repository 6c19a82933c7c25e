#include "app/MainWindow.h"
#include "app/videoRefusal.h"

#include <QApplication>
#include <QFileInfo>
#include <QStringList>
#include <cstdio>
#include <optional>

// tessavolant [VIDEO]: with a path the video opens at once; without one the
// program asks for it in a file dialog.
int main(int argc, char* argv[]) {
    QApplication application(argc, argv);

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
