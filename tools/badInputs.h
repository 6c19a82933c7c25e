// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tools/syntheticVideo.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

// The awkward and damaged files that users open: half-copied files, odd sizes,
// foreign names. Everything is made on demand from the synthetic video
// generator, so that no binary file has to be kept in the repository, and the
// same arguments always give the same bytes.
namespace badinputs {

// A video of any size down to 1 x 1 with a stone that crosses the picture from
// left to right in the middle row, `frames` frames long. Pictures larger than
// 640 x 480 are rendered at a smaller size and scaled up, as a screen recording
// of an imaging video would be; smaller ones are rendered at their own size.
SyntheticVideoSpec crossingStone(cv::Size size, int frames);
// Writes the video of `spec` as an MJPG AVI of exactly its size, odd sizes
// down to 1 x 1 included. False if it cannot.
bool writeVideoOfAnySize(const std::filesystem::path& path, const SyntheticVideoSpec& spec);
// Writes `frames` (8-bit BGR) as an MJPG AVI with an index, each frame a JPEG
// from the image codecs. The headers give `size`; frames of another size make
// a spliced recording. Neither of the video writers serves here:
// FFmpeg's rounds odd sizes to even ones, and OpenCV's own MJPEG encoder (4.6)
// overruns a heap buffer on 1 x 1 frames.
bool writeMjpegAvi(const std::filesystem::path& path, const std::vector<cv::Mat>& frames,
                   cv::Size size, double fps);
// An AVI of `size` whose stream holds no frame at all.
bool writeVideoWithoutFrames(const std::filesystem::path& path, cv::Size size);

bool writeEmptyFile(const std::filesystem::path& path);
bool writeRandomBytes(const std::filesystem::path& path, std::size_t count, unsigned seed);

// Where one frame's data lies in an AVI file: the payload of a "##dc" or "##db"
// chunk of the movi list, without its eight-byte chunk header.
struct FrameChunk {
    std::size_t offset = 0;
    std::size_t size = 0;
};
// The frame chunks of the AVI in `bytes`, in file order; empty if it is none.
std::vector<FrameChunk> frameChunks(const std::string& bytes);

// A copy of `source` cut after `keptFraction` of its bytes, as a copy that was
// stopped half-way leaves it: the header still counts every frame, and the index
// at the end is gone.
bool writeCutShort(const std::filesystem::path& source, const std::filesystem::path& target,
                   double keptFraction);
// A copy of `source` whose frames `first` .. `first + count - 1` have their
// data overwritten with random bytes; the chunk headers stay intact, so the file
// still parses and only those frames cannot be decoded.
bool writeWithDamagedFrames(const std::filesystem::path& source,
                            const std::filesystem::path& target, int first, int count,
                            unsigned seed);
// A copy of `source` with random bytes over `from` .. `to` (fractions of its
// length), chunk headers and all, as a bad sector in the middle of a file leaves
// it.
bool writeWithDamagedStretch(const std::filesystem::path& source,
                             const std::filesystem::path& target, double from, double to,
                             unsigned seed);

// A copy of `source` (an AVI with one video stream) whose headers claim
// `headerCount` frames. Without `keepIndex` the index at the end is cut off
// as well: with a count of 0 that is a recording whose writer was killed
// before it could finish the file.
bool writeWithHeaderCount(const std::filesystem::path& source, const std::filesystem::path& target,
                          std::uint32_t headerCount, bool keepIndex);

std::string readFile(const std::filesystem::path& path);
bool writeFile(const std::filesystem::path& path, const std::string& bytes);

// One file of the corpus.
struct CorpusFile {
    std::string name;           // short name, for messages
    std::filesystem::path path; // where it was written
    bool playable = false;      // whether it holds a first frame that can be shown
    std::string what;           // what it stands for
};

// The playable video that the damaged ones are copies of: 160 x 120, 50 frames,
// the stone swinging 8 pixels to either side of the centre with a breath every
// 48 frames, so that frame 1 follows frame 49 smoothly when playback wraps.
inline constexpr int damageSourceFrames = 50;
inline constexpr int breathFrames = 48;
SyntheticVideoSpec damageSource();
// The frames whose data the corpus's "damaged-frames.avi" has overwritten.
inline constexpr int firstDamagedFrame = 20;
inline constexpr int damagedFrames = 10;

// Writes the whole corpus into `directory` (which must exist) and lists it.
// The directory given as a video is part of it; the surroundings that go wrong
// (a working directory that cannot be written, a log name taken by a directory)
// are not files to open and are made by whoever needs them.
std::vector<CorpusFile> writeCorpus(const std::filesystem::path& directory);

} // namespace badinputs
