// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <opencv2/core.hpp>
#include <optional>
#include <string>
#include <vector>

// How the samples of one decoded DICOM frame are laid out, and how they are
// to be shown: everything needed to make the 8-bit BGR picture the tracking
// works on.
struct DicomPixelLayout {
    int rows = 0;
    int columns = 0;
    int samplesPerPixel = 1;
    int bitsAllocated = 8;
    int bitsStored = 8;
    bool isSigned = false;
    // MONOCHROME1, MONOCHROME2, RGB, YBR_FULL, YBR_FULL_422, PALETTE COLOR.
    std::string photometric = "MONOCHROME2";
    int planarConfiguration = 0; // 1: all red samples, then green, then blue
    // Grey values shown: Modality LUT (rescale), then the file's window, else
    // the range of values it says it holds, else the range its bits can hold.
    double rescaleSlope = 1.0;
    double rescaleIntercept = 0.0;
    std::optional<double> windowCentre;
    std::optional<double> windowWidth;
    std::optional<double> smallestValue;
    std::optional<double> largestValue;
    // PALETTE COLOR: the colour of each index from `paletteFirstIndex` on.
    std::vector<cv::Vec3b> palette;
    int paletteFirstIndex = 0;
};

// The bytes of one frame as stored without compression; 0 for a layout that
// cannot be.
std::size_t frameBytes(const DicomPixelLayout& layout);

// Why the layout cannot be shown (an unknown photometric interpretation, bits
// that do not fit their samples); empty if it can.
std::string layoutProblem(const DicomPixelLayout& layout);

// The grey level (0 to 255) shown for each stored grey or palette value, for
// every value of the allocated bits: 8-bit grey as stored, 16-bit by the
// window or the range, MONOCHROME1 inverted.
std::vector<std::uint8_t> greyTable(const DicomPixelLayout& layout);

// Turns decoded frames of one layout into 8-bit BGR pictures.
class DicomPixelConverter {
  public:
    explicit DicomPixelConverter(DicomPixelLayout layout);
    // False if `size` is not one frame of the layout.
    bool toBgr(const char* data, std::size_t size, cv::Mat& bgr) const;
    const DicomPixelLayout& layout() const { return pixels; }

  private:
    DicomPixelLayout pixels;
    std::vector<std::uint8_t> grey;  // for grey frames
    std::vector<cv::Vec3b> colourOf; // for palette frames, by stored value
};
