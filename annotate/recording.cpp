// SPDX-License-Identifier: GPL-3.0-or-later
#include "annotate/recording.h"

#include "common/videoFileCheck.h"
#include "tracking/videoOpening.h"

std::optional<Recording> openRecording(const QByteArray& fileName, QString& refusal) {
    Recording recording;
    recording.source = std::make_unique<VideoSource>();
    // What is no regular file is refused before the decoder could block on it.
    const bool opened =
        !videoFileRefusal(fileName) && recording.source->open(fileName.toStdString()) &&
        recording.source->read(recording.firstFrame) &&
        (recording.firstFrame.type() == CV_8UC3 || recording.firstFrame.type() == CV_8UC1);
    if (!opened) {
        refusal = videoOpenRefusal(fileName);
        return std::nullopt;
    }
    recording.frameCount = recording.source->headerFrameCount();
    if (recording.frameCount == 0) {
        recording.frameCount = countFramesByReading(fileName.toStdString());
    }
    if (recording.frameCount == 0) {
        refusal = videoOpenRefusal(fileName);
        return std::nullopt;
    }
    recording.timing = frameTimingOf(fileName.toStdString());
    return recording;
}
