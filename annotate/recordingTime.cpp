#include "annotate/recordingTime.h"

#include "tracking/frameReader.h"

#include <cmath>

std::optional<double> frameTimeFromRate(double framesPerSecond) {
    if (!std::isfinite(framesPerSecond) || framesPerSecond <= 0.0 || framesPerSecond > 1000.0) {
        return std::nullopt;
    }
    return 1000.0 / framesPerSecond;
}

// The header's rate through the project's own reader. Where the video source
// tells the recording's frame time itself (DICOM has one of its own), that is
// the one to take.
FrameTiming frameTimingOf(const std::string& fileName) {
    CaptureReader reader;
    if (!reader.open(fileName)) {
        return {};
    }
    const std::optional<double> frameTime = frameTimeFromRate(reader.headerFramesPerSecond());
    return frameTime ? FrameTiming{*frameTime, true} : FrameTiming{};
}

QString recordingTimeText(std::int64_t frame, const FrameTiming& timing) {
    const double seconds = static_cast<double>(frame) * timing.frameTimeMs / 1000.0;
    QString text = QString::number(seconds, 'f', 3) + QStringLiteral(" s");
    if (!timing.fromRecording) {
        text += QStringLiteral(" (%1 ms a frame assumed)").arg(timing.frameTimeMs);
    }
    return text;
}
