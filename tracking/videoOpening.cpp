// SPDX-License-Identifier: GPL-3.0-or-later
#include "tracking/videoOpening.h"

#include "common/videoFileCheck.h"
#include "tracking/dicomReader.h"
#include "tracking/imageSequence.h"

#include <filesystem>

namespace {

Refusable<OpenedVideo> openSequence(const std::string& fileName) {
    Refusable<ImageSequence> found = findImageSequence(fileName);
    if (!found) {
        return found.refusal();
    }
    OpenedVideo opened;
    ImageSequence& sequence = *found;
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
Refusal noPlayableVideo() {
    return {QStringLiteral("it is no video that can be played (damaged, without frames, or in an "
                           "unknown format)")};
}

Refusal oneFrameOnly() {
    return {QStringLiteral("it has one frame only, and playing shows the frames after the first")};
}

} // namespace

Refusable<OpenedVideo> openVideoReader(const std::string& fileName) {
    if (namesImageSequence(fileName)) {
        return openSequence(fileName);
    }
    // What is no regular file is refused before the decoder could block on it.
    if (const Refusable<> checked = checkVideoFile(QByteArray::fromStdString(fileName)); !checked) {
        return checked.refusal();
    }
    std::optional<Refusal> dicomRefusal;
    if (isDicomFile(fileName)) {
        auto dicom = std::make_unique<DicomReader>();
        if (const Refusable<> dicomOpened = dicom->openLoop(fileName); !dicomOpened) {
            dicomRefusal = dicomOpened.refusal();
        } else {
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
    Refusable<OpenedVideo> opened = openVideoReader(fileName);
    if (!opened) {
        return std::nullopt;
    }
    return std::move(*opened);
}

Refusable<OpenedRecording> openRecordingFile(const QByteArray& fileName, FrameCounting counting) {
    const std::string name = fileName.toStdString();
    Refusable<OpenedVideo> opened = openVideoReader(name);
    if (!opened) {
        return opened.refusal();
    }
    OpenedRecording recording;
    recording.video = std::move(*opened);
    FrameReader& reader = *recording.video.reader;
    if (!reader.read(recording.firstFrame) || recording.firstFrame.type() != CV_8UC3) {
        return recording.video.isImageSequence
                   ? Refusal{QStringLiteral("its first frame cannot be read as an image")}
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
