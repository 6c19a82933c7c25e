#include "app/videoRefusal.h"

#include <QFileInfo>

const char* videoRefusal(const QString& path) {
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
