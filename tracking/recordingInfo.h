// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <string>
#include <vector>

// The size of one pixel in millimetres, across (x) and down (y).
struct MmPerPixel {
    double x = 0.0;
    double y = 0.0;
};

// What a recording says about itself beside its frames: how long a frame
// lasts and how large a pixel is. Both are unknown for most AVI files.
struct RecordingInfo {
    bool isDicom = false;
    // Numbered still images: they have no clock of their own.
    bool isImageSequence = false;
    // The recording's own time from one frame to the next, where it gives one.
    std::optional<double> frameTimeMs;
    // Where the recording times each frame on its own (a DICOM Frame Time
    // Vector): element i is the time from frame i - 1 to frame i, element 0
    // being 0. Empty where it does not.
    std::vector<double> frameTimesMs;
    std::optional<MmPerPixel> mmPerPixel;
    // Where the calibration comes from, for the report: "ultrasound region",
    // "Pixel Spacing", ...; empty without one.
    QString calibrationSource;
    // Values the recording gives that cannot be right (a zero frame time, a
    // negative pixel spacing) and were ignored, each said in a sentence.
    QStringList warnings;
};

// The header's frame rate as a frame time; none for a rate that no recording
// has (0, negative, NaN, or more than 1000 frames a second).
std::optional<double> frameTimeFromRate(double framesPerSecond);

// What the recording `fileName` (its bytes as the file system knows them)
// says about its timing and calibration. An unreadable file says nothing.
// A DICOM file (known by its content) gives its Frame Time, else its Frame
// Time Vector, else its Cine Rate, else its Recommended Display Frame Rate;
// and the pixel size of its ultrasound region measured in cm that holds the
// middle of the picture (else of the largest such region), else its Pixel
// Spacing, else its Imager Pixel Spacing divided by the magnification. A
// pixel size that cannot be right gives none, with a warning: an ultrasound
// region that reaches outside the picture, or a spacing that its Pixel
// Spacing or Pixel Aspect Ratio contradicts.
RecordingInfo readRecordingInfo(const std::string& fileName);
