#include "annotate/recording.h"

#include "app/videoFileCheck.h"
#include "app/videoRefusal.h"

std::optional<Recording> openRecording(const QByteArray& fileName, std::string& refusal) {
    Recording recording;
    recording.source = std::make_unique<VideoSource>();
    // What is no regular file is refused before the decoder could block on it.
    const bool opened =
        videoFileRefusal(fileName).empty() && recording.source->open(fileName.toStdString()) &&
        recording.source->read(recording.firstFrame) &&
        (recording.firstFrame.type() == CV_8UC3 || recording.firstFrame.type() == CV_8UC1);
    if (!opened) {
        refusal = videoRefusal(fileName);
        return std::nullopt;
    }
    recording.frameCount = recording.source->headerFrameCount();
    if (recording.frameCount == 0) {
        recording.frameCount = countFramesByReading(fileName.toStdString());
    }
    if (recording.frameCount == 0) {
        refusal = videoRefusal(fileName);
        return std::nullopt;
    }
    recording.timing = frameTimingOf(fileName.toStdString());
    return recording;
}
