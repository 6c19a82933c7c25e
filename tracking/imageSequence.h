// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/refusal.h"
#include "tracking/frameReader.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// A recording that comes as numbered still images, one frame a file (PNG,
// JPEG, TIFF or BMP), as scanners export them and datasets publish them. Only
// the names are held; each frame is read from its file when it is wanted.
struct ImageSequence {
    // The printf pattern that names the files ("frames/img_%04d.png"), for messages.
    std::string pattern;
    std::vector<std::string> files;    // in the order of their numbers
    std::vector<std::int64_t> numbers; // the number in each file's name
    cv::Size frameSize;
};

// Whether `name` (its bytes) stands for an image sequence: a folder, a file
// whose content is a still image, or a printf pattern that names no existing
// file. Decided from the file system and the first bytes alone.
bool namesImageSequence(const std::string& name);

// The sequence that `name` stands for: the numbered images of a folder, the
// series that a still image is one frame of (the files beside it whose names
// differ from its name in the number alone), or the files that a printf
// pattern (%d, %4d, %04d) names; in the numeric order of their numbers.
// Refused, with the reason, where a folder holds no numbered images or more
// than one series, where nothing matches, or where a frame cannot be read or
// differs in size from the first.
Refusable<ImageSequence> findImageSequence(const std::string& name);

// A sentence for each gap in the numbering, for stderr; frames are counted by
// their place in the sequence, so a gap only shortens it.
QStringList numberingGaps(const ImageSequence& sequence);

// A decoded image of any depth and number of channels as the 8-bit BGR picture
// that videos give: 16-bit samples keep their high byte, grey becomes three
// equal channels, alpha is dropped. Empty for depths other than 8 and 16 bits.
cv::Mat toEightBitBgr(const cv::Mat& image);

// Reads a sequence frame by frame through OpenCV's image decoders.
class ImageSequenceReader : public FrameReader {
  public:
    explicit ImageSequenceReader(ImageSequence sequence) : images(std::move(sequence)) {}

    std::int64_t frameCount() const { return static_cast<std::int64_t>(images.files.size()); }
    cv::Size frameSize() const { return images.frameSize; }

    // False for a file that cannot be decoded or is of another size; the
    // position moves past it all the same, as past a damaged frame of a video.
    bool read(cv::Mat& frame) override;
    void seek(std::int64_t index) override;
    std::int64_t position() override { return next; }
    // Every frame is a file of its own.
    std::unique_ptr<FrameReader> openAnother() const override {
        return std::make_unique<ImageSequenceReader>(images);
    }

  private:
    ImageSequence images;
    std::int64_t next = 0;
};
