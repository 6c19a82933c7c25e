// SPDX-License-Identifier: GPL-3.0-or-later
#include "annotate/recordingTime.h"

#include "tracking/recordingInfo.h"

FrameTiming frameTimingOf(const std::string& fileName) {
    const std::optional<double> frameTime = readRecordingInfo(fileName).frameTimeMs;
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
