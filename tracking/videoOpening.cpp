// SPDX-License-Identifier: GPL-3.0-or-later
#include "tracking/videoOpening.h"

#include "common/videoFileCheck.h"
#include "tracking/dicomReader.h"
#include "tracking/imageSequence.h"

#include <filesystem>

namespace {

std::variant<OpenedVideo, QString> openSequence(const std::string& fileName) {
    std::variant<ImageSequence, QString> found = findImageSequence(fileName);
    if (QString* why = std::get_if<QString>(&found)) {
        return *why;
    }
    OpenedVideo opened;
    ImageSequence& sequence = std::get<ImageSequence>(found);
    opened.isImageSequence = true;
    opened.imageFolder = std::filesystem::path(sequence.files.front()).parent_path().string();
    opened.warnings = numberingGaps(sequence);
    auto reader = std::make_unique<ImageSequenceReader>(std::move(sequence));
    opened.headerFrameCount = reader->frameCount();
    opened.headerFrameSize = reader->frameSize();
    opened.reader = std::move(reader);
    return opened;
}

std::optional<OpenedVideo> openWithFfmpeg(const std::string& fileName) {
    auto capture = std::make_unique<CaptureReader>();
    if (!capture->open(fileName)) {
        return std::nullopt;
    }
    OpenedVideo opened;
    opened.headerFrameCount = capture->headerFrameCount();
    opened.headerFrameSize = capture->headerFrameSize();
    opened.reader = std::move(capture);
    return opened;
}

// Where the file system has nothing against the file but no decoder plays it.
QString noPlayableVideo() {
    return QStringLiteral("it is no video that can be played (damaged, without frames, or in an "
                          "unknown format)");
}

QString oneFrameOnly() {
    return QStringLiteral("it has one frame only, and playing shows the frames after the first");
}

} // namespace

std::variant<OpenedVideo, QString> openVideoReader(const std::string& fileName) {
    if (namesImageSequence(fileName)) {
        return openSequence(fileName);
    }
    // What is no regular file is refused before the decoder could block on it.
    if (std::optional<QString> why = videoFileRefusal(QByteArray::fromStdString(fileName))) {
        return *why;
    }
    std::optional<QString> dicomRefusal;
    if (isDicomFile(fileName)) {
        auto dicom = std::make_unique<DicomReader>();
        dicomRefusal = dicom->open(fileName);
        if (!dicomRefusal) {
            OpenedVideo opened;
            opened.headerFrameCount = dicom->frameCount();
            opened.headerFrameSize = dicom->frameSize();
            opened.reader = std::move(dicom);
            return opened;
        }
    }
    // A video can hold the DICOM mark where a preamble would end by chance.
    if (std::optional<OpenedVideo> video = openWithFfmpeg(fileName)) {
        return std::move(*video);
    }
    return dicomRefusal.value_or(noPlayableVideo());
}

std::optional<OpenedVideo> openFrameReader(const std::string& fileName) {
    std::variant<OpenedVideo, QString> opened = openVideoReader(fileName);
    if (OpenedVideo* video = std::get_if<OpenedVideo>(&opened)) {
        return std::move(*video);
    }
    return std::nullopt;
}

std::variant<OpenedRecording, QString> openRecordingFile(const QByteArray& fileName,
                                                         FrameCounting counting) {
    const std::string name = fileName.toStdString();
    std::variant<OpenedVideo, QString> opened = openVideoReader(name);
    if (QString* why = std::get_if<QString>(&opened)) {
        return *why;
    }
    OpenedRecording recording;
    recording.video = std::move(std::get<OpenedVideo>(opened));
    FrameReader& reader = *recording.video.reader;
    if (!reader.read(recording.firstFrame) || recording.firstFrame.type() != CV_8UC3) {
        return recording.video.isImageSequence
                   ? QStringLiteral("its first frame cannot be read as an image")
                   : noPlayableVideo();
    }
    recording.frameCount = recording.video.headerFrameCount;
    // Only a video read through FFmpeg can leave its count unsaid.
    if (recording.frameCount == 0 && counting == FrameCounting::ReadThroughWhereHeaderIsSilent) {
        recording.frameCount = countFramesByReading(name);
        if (recording.frameCount == 0) {
            return noPlayableVideo();
        }
    }
    if (recording.frameCount == 0) {
        // Without a count, a second frame that can be read is enough.
        cv::Mat second;
        if (!reader.read(second)) {
            return oneFrameOnly();
        }
        reader.seek(1);
    }
    if (recording.frameCount == 1) {
        return oneFrameOnly();
    }
    return recording;
}

QString videoOpenRefusal(const QByteArray& fileName) {
    std::variant<OpenedRecording, QString> opened =
        openRecordingFile(fileName, FrameCounting::HeaderOnly);
    const QString* why = std::get_if<QString>(&opened);
    return why ? *why : QString();
}
