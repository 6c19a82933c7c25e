// SPDX-License-Identifier: GPL-3.0-or-later
#include "annotate/recording.h"

#include "annotate/annotateOptions.h"
#include "tracking/videoOpening.h"

#include <QDir>
#include <QFile>

std::optional<Recording> openRecording(const QByteArray& fileName, QString& refusal) {
    std::variant<OpenedRecording, QString> opened =
        openRecordingFile(fileName, FrameCounting::ReadThroughWhereHeaderIsSilent);
    if (const QString* why = std::get_if<QString>(&opened)) {
        refusal = *why;
        return std::nullopt;
    }
    OpenedRecording& found = std::get<OpenedRecording>(opened);
    Recording recording;
    recording.firstFrame = std::move(found.firstFrame);
    recording.frameCount = found.frameCount;
    recording.warnings = found.video.warnings;
    QByteArray folder = QByteArray::fromStdString(found.video.imageFolder);
    if (found.video.isImageSequence && (folder.isEmpty() || folder == ".")) {
        folder = QFile::encodeName(QDir::currentPath());
    }
    recording.truthName =
        defaultTruthName(found.video.isImageSequence ? folder : fileName);
    recording.source = std::make_unique<VideoSource>();
    recording.source->start(std::move(found.video.reader), found.video.headerFrameCount,
                            found.video.headerFrameSize);
    recording.timing = frameTimingOf(fileName.toStdString());
    return recording;
}
