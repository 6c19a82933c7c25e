// SPDX-License-Identifier: GPL-3.0-or-later
#include "annotate/recording.h"

#include "annotate/annotateOptions.h"
#include "log/logText.h"
#include "tracking/videoOpening.h"

#include <QDir>
#include <QFile>

Refusable<Recording> openRecording(const VideoFileName& video) {
    const QByteArray& fileName = video.bytes;
    Refusable<OpenedRecording> opened =
        openRecordingFile(fileName, FrameCounting::ReadThroughWhereHeaderIsSilent);
    if (!opened) {
        return Refusal{QStringLiteral("cannot open the video \"%1\": %2")
                           .arg(QString::fromUtf8(eventlog::escapedForTerminal(video.shown())),
                                opened.refusal().message)};
    }
    OpenedRecording& found = *opened;
    Recording recording;
    recording.firstFrame = std::move(found.firstFrame);
    recording.frameCount = found.frameCount;
    recording.warnings = found.video.warnings;
    QByteArray folder = QByteArray::fromStdString(found.video.imageFolder);
    if (found.video.isImageSequence && (folder.isEmpty() || folder == ".")) {
        folder = QFile::encodeName(QDir::currentPath());
    }
    recording.truthName = defaultTruthName(found.video.isImageSequence ? folder : fileName);
    recording.source = std::make_unique<VideoSource>();
    recording.source->start(std::move(found.video.reader), found.video.headerFrameCount,
                            found.video.headerFrameSize);
    recording.timing = frameTimingOf(fileName.toStdString());
    return recording;
}
