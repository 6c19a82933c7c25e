// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>
#include <string>

// Reads a video frame by frame, with seeking by frame index. Positions are the
// index of the frame that the next read returns, as the capture's
// CAP_PROP_POS_FRAMES gives it.
class FrameReader {
  public:
    virtual ~FrameReader() = default;
    // The next frame; false, with `frame` left empty or unchanged, at the end of
    // the stream or on a frame that cannot be decoded.
    virtual bool read(cv::Mat& frame) = 0;
    // Puts the reader before frame `index`.
    virtual void seek(std::int64_t index) = 0;
    virtual std::int64_t position() = 0;

    // For decoding on several threads: another reader of the same recording,
    // at frame 0, where every frame is coded alone and a seek lands exactly on
    // the frame asked for, so that readers on different threads read the same
    // frames as one would. None for anything else (frames coded as changes to
    // others), which keeps its one reading thread.
    virtual std::unique_ptr<FrameReader> openAnother() const { return nullptr; }
    // Whether the last read gave frame `index` itself, as a reader that read
    // its way there without seeking would have: a decoder that skips frames
    // it cannot decode (damage) counts positions that no longer match the
    // frames, and only reading on from before the damage gives them again.
    virtual bool lastReadWasFrame(std::int64_t /*index*/) { return true; }
    // Announces where playback wraps (a seek to `to` whenever the position
    // reaches `at`), so that reading ahead can go across it.
    virtual void planWrap(std::int64_t /*at*/, std::int64_t /*to*/) {}
};

// A property of the capture as a count: NaN, negative and absurd values (an
// unfinished recording, a damaged header) become 0, meaning "unknown", and
// anything that would not fit a 63-bit count is clamped.
std::int64_t countFromProperty(double value);

// Opens `name` through FFmpeg only: it never takes a name for an
// image-sequence pattern or a camera. False where it cannot be opened.
bool openWithFfmpeg(cv::VideoCapture& capture, const std::string& name);

// A video file read through FFmpeg. Where the capture's own seek does not land
// where it was asked to (an unfinished recording without an index reports
// position 0 and then reads nothing), the file is opened again and read
// forward to the frame.
class CaptureReader : public FrameReader {
  public:
    // `fileName` is the name as the file system knows it (its bytes).
    bool open(const std::string& fileName);
    void release();
    bool isOpened() const { return capture.isOpened(); }

    // What the header says; the count is 0 where it says nothing usable.
    std::int64_t headerFrameCount() const { return frameCount; }
    cv::Size headerFrameSize() const { return frameSize; }
    // The frame rate the header gives; 0 or NaN where it gives none.
    double headerFramesPerSecond() const { return framesPerSecond; }

    bool read(cv::Mat& frame) override;
    void seek(std::int64_t index) override;
    std::int64_t position() override;
    // A reader of the file's packets (PacketReader), where its frames are
    // coded alone and its header's count holds: this capture's own seek
    // decodes the frames before the one asked for.
    std::unique_ptr<FrameReader> openAnother() const override;

  private:
    bool reopen();

    cv::VideoCapture capture;
    std::string name;
    std::int64_t frameCount = 0;
    cv::Size frameSize;
    double framesPerSecond = 0.0;
};

// Counts the frames of a video file by reading through it once with FFmpeg,
// for a file whose header gives no count. 0 if it cannot be opened.
std::int64_t countFramesByReading(const std::string& fileName);
