// SPDX-License-Identifier: GPL-3.0-or-later
#include "tracking/videoOpening.h"

#include "common/videoFileCheck.h"
#include "common/videoRefusal.h"
#include "tracking/dicomReader.h"

std::optional<OpenedVideo> openFrameReader(const std::string& fileName) {
    OpenedVideo opened;
    if (isDicomFile(fileName)) {
        auto dicom = std::make_unique<DicomReader>();
        if (dicom->open(fileName)) {
            return std::nullopt;
        }
        opened.headerFrameCount = dicom->frameCount();
        opened.headerFrameSize = dicom->frameSize();
        opened.reader = std::move(dicom);
        return opened;
    }
    auto capture = std::make_unique<CaptureReader>();
    if (!capture->open(fileName)) {
        return std::nullopt;
    }
    opened.headerFrameCount = capture->headerFrameCount();
    opened.headerFrameSize = capture->headerFrameSize();
    opened.reader = std::move(capture);
    return opened;
}

QString videoOpenRefusal(const QByteArray& fileName) {
    if (videoFileRefusal(fileName)) {
        return videoRefusal(fileName);
    }
    const std::string name = fileName.toStdString();
    if (isDicomFile(name)) {
        if (std::optional<QString> why = DicomReader().open(name)) {
            return *why;
        }
    }
    return videoRefusal(fileName);
}

std::int64_t countFramesByReading(const std::string& fileName) {
    // A DICOM file's count is checked against its pixel data when it opens.
    if (isDicomFile(fileName)) {
        DicomReader dicom;
        return dicom.open(fileName) ? 0 : dicom.frameCount();
    }
    cv::VideoCapture capture;
    try {
        if (!openWithFfmpeg(capture, fileName)) {
            return 0;
        }
        std::int64_t frames = 0;
        while (capture.grab()) {
            ++frames;
        }
        return frames;
    } catch (const cv::Exception&) {
        return 0;
    }
}
