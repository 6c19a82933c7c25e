// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tracking/frameReader.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// A video opened with the reader that its content calls for.
struct OpenedVideo {
    std::unique_ptr<FrameReader> reader;
    // What the header says; the count is 0 where it says nothing usable.
    std::int64_t headerFrameCount = 0;
    cv::Size headerFrameSize;
};

// Opens `fileName` (its bytes as the file system knows them): a DICOM file,
// recognised by its content whatever its name, through GDCM, anything else
// through FFmpeg. None if it cannot be opened.
std::optional<OpenedVideo> openFrameReader(const std::string& fileName);

// Why the video `fileName` cannot be opened, for the user: what the file
// system says against it, what is wrong with a DICOM file (no image in it, an
// unknown transfer syntax, cut short), or else that the decoder found no video.
QString videoOpenRefusal(const QByteArray& fileName);

// Counts the frames of a video file by reading through it once, for a file
// whose header gives no count. 0 if it cannot be opened.
std::int64_t countFramesByReading(const std::string& fileName);
