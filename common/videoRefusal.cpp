#include "common/videoRefusal.h"

#include "common/videoFileCheck.h"

std::string videoRefusal(const QByteArray& fileName) {
    const std::string reason = videoFileRefusal(fileName);
    return reason.empty() ? "it is no video that can be played (damaged, without frames, or in an "
                            "unknown format)"
                          : reason;
}
