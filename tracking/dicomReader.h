// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/refusal.h"
#include "tracking/frameReader.h"

#include <QString>
#include <memory>
#include <optional>
#include <string>

// Whether `fileName` holds DICOM, by its content alone: the "DICM" mark after
// the 128-byte preamble, or a data set that starts without one with an element
// of group 0x0002 or 0x0008 that GDCM reads as a header.
bool isDicomFile(const std::string& fileName);

// A DICOM cine loop (ultrasound, angiography, fluoroscopy, secondary capture)
// read frame by frame through GDCM. Only the frame asked for is read from the
// file and decoded: uncompressed frames from their place in the pixel data,
// compressed ones from their own fragments. Frames come out as 8-bit BGR, grey
// ones as three equal channels.
class DicomReader : public FrameReader {
  public:
    DicomReader();
    ~DicomReader() override;

    // Opens the file; refused, in words for the user naming the transfer
    // syntax or the damage, where it cannot be played.
    Refusable<> openLoop(const std::string& fileName);

    std::int64_t frameCount() const;
    cv::Size frameSize() const;

    // False for a frame that cannot be decoded; the position moves past it
    // all the same, as it does past a damaged frame of an AVI.
    bool read(cv::Mat& frame) override;
    void seek(std::int64_t index) override;
    std::int64_t position() override;
    // Every transfer syntax read here codes frames alone; a deflated file,
    // inflated whole in memory, keeps its one reader.
    std::unique_ptr<FrameReader> openAnother() const override;

  private:
    struct Loop;
    std::unique_ptr<Loop> loop;
};
