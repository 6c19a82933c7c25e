// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tracking/frameReader.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// What the segments of a JPEG picture before its scan define.
struct JpegTables {
    bool wellFormed = false; // starts with SOI and reaches a scan (SOS)
    bool quantisation = false;
    bool huffman = false;
};

JpegTables jpegTables(const unsigned char* bytes, std::size_t size);

// FFmpeg's MJPEG decoder keeps the tables of a picture for the pictures after
// it that define none of their own. Pictures decode alike in any order only
// where every one defines its quantisation tables and either every one or none
// defines Huffman tables (none: the standard tables of motion JPEG).
class JpegStreamCheck {
  public:
    void add(const JpegTables& tables);
    bool codedAlone() const { return alone; }

  private:
    bool alone = true;
    std::size_t pictures = 0;
    bool firstHasHuffman = false;
};

// A video file (AVI and other containers FFmpeg reads) whose frames are coded
// alone (MJPG, or uncompressed), read packet by packet with FFmpeg's own
// libraries. OpenCV's capture can only seek by decoding the frames before the
// one asked for; this reader seeks by the container's index and decodes
// nothing it does not hand out, so that readers on several threads can share
// the frames of one recording. It decodes and converts each frame exactly as
// OpenCV's FFmpeg capture does (the same decoder, the same conversion to
// BGR); a packet that does not decode fails its read, as with the capture.
class PacketReader : public FrameReader {
  public:
    ~PacketReader() override;
    PacketReader(const PacketReader&) = delete;
    PacketReader& operator=(const PacketReader&) = delete;

    // A reader of `fileName` at frame 0, where one pass over its packets
    // finds `frameCount` frames, each a key frame with the time stamp of its
    // place at `framesPerSecond` (the capture's rate), all coded alone; none
    // otherwise.
    static std::unique_ptr<PacketReader> open(const std::string& fileName, std::int64_t frameCount,
                                              double framesPerSecond);

    bool read(cv::Mat& frame) override;
    void seek(std::int64_t index) override;
    std::int64_t position() override { return next; }
    std::unique_ptr<FrameReader> openAnother() const override;
    bool lastReadWasFrame(std::int64_t index) override;

  private:
    struct Decoding;
    PacketReader(std::string fileName, double framesPerSecond);
    // Opens the file and its decoder, without the pass over the packets.
    bool openStream();

    std::unique_ptr<Decoding> decoding;
    std::string name;
    double framesPerSecond = 0.0;
    std::int64_t frameCount = 0;
    std::int64_t next = 0;
    std::int64_t lastFrame = -1; // the frame the last read gave, by its time stamp
};
