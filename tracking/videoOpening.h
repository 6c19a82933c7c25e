// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/refusal.h"
#include "tracking/frameReader.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
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
    // Numbered still images, which have no clock of their own.
    bool isImageSequence = false;
    std::string imageFolder; // where a sequence's files are ("" for the working directory)
    // What the user should know but that does not stop playing (gaps in the
    // numbering of a sequence), a sentence each.
    QStringList warnings;
};

// Opens `fileName` (its bytes as the file system knows them): a numbered image
// sequence (a folder, one of its frames, or a printf pattern); a DICOM file,
// recognised by its content whatever its name, through GDCM; anything else,
// or a DICOM-marked file that GDCM cannot read, through FFmpeg. Refused, with
// the reason, where it cannot be opened.
Refusable<OpenedVideo> openVideoReader(const std::string& fileName);

// openVideoReader without the reason.
std::optional<OpenedVideo> openFrameReader(const std::string& fileName);

// A recording opened as the window, the replay and the annotation program
// take it: every check once, the first frame read.
struct OpenedRecording {
    OpenedVideo video;  // its reader after the first frame
    cv::Mat firstFrame; // 8-bit BGR
    // The header's count, else (where asked for) counted by reading through
    // the file; 0 where unknown.
    std::int64_t frameCount = 0;
};

enum class FrameCounting { HeaderOnly, ReadThroughWhereHeaderIsSilent };

// Opens the recording `fileName` (its bytes) and reads its first frame.
// Refused, with the reason for the user, where it cannot be played: what the
// file system says against it, what is wrong with a sequence or a DICOM file,
// that it has one frame only, or else that the decoder found no video in it.
Refusable<OpenedRecording> openRecordingFile(const QByteArray& fileName, FrameCounting counting);
