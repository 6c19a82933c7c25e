// SPDX-License-Identifier: GPL-3.0-or-later
#include "tracking/recordingInfo.h"

#include "tracking/frameReader.h"

#include <cmath>

std::optional<double> frameTimeFromRate(double framesPerSecond) {
    if (!std::isfinite(framesPerSecond) || framesPerSecond <= 0.0 || framesPerSecond > 1000.0) {
        return std::nullopt;
    }
    return 1000.0 / framesPerSecond;
}

RecordingInfo readRecordingInfo(const std::string& fileName) {
    RecordingInfo info;
    CaptureReader reader;
    if (reader.open(fileName)) {
        info.frameTimeMs = frameTimeFromRate(reader.headerFramesPerSecond());
    }
    return info;
}
