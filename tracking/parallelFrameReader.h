// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tracking/frameReader.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// How a recording whose frames are coded alone is split between threads: each
// thread reads runs of `runFrames` frames in a row, so that one seek (which
// may cost a decoder many frames) pays for many reads.
struct RunPlan {
    int threads = 1;
    int runFrames = 1;
};

// The plan for `threads` readers of frames of `frameBytes` bytes whose seek
// costs about `seekCostFrames` reads: runs four seeks long, at least 4 frames,
// and never more than lookAheadBytes decoded ahead over all threads.
RunPlan runPlanFor(int threads, std::int64_t seekCostFrames, std::int64_t frameBytes);

// `reader` itself, or, where `threads` > 1 and its frames are coded alone, a
// reader that decodes them on that many threads.
std::unique_ptr<FrameReader> onThreads(std::unique_ptr<FrameReader> reader, int threads,
                                       std::int64_t frameCount, cv::Size frameSize);

// At most this much memory of decoded frames waits to be taken, over all threads.
inline constexpr std::int64_t lookAheadBytes = std::int64_t{256} << 20;

// Reads a recording on several threads, each with its own reader of it, and
// hands the frames out in order: what a read returns, and the position after
// it, are what the one reader would have given. A thread starts a run only
// while fewer than `threads` runs wait to be taken, so at most threads x
// runFrames frames are decoded ahead. A seek to the frame that is due next
// (the wrap that planWrap announced) keeps what was decoded; any other seek,
// or a position other than the planned one after a read (a frame the decoder
// skipped, the end of the stream), throws it away and plans anew.
class ParallelFrameReader : public FrameReader {
  public:
    // `readers` are all at frame 0 of the same recording; `frameCount` is its
    // header's count. The last run before the end reads on until a read fails,
    // as the one reader would, so that a header that undercounts loses nothing.
    ParallelFrameReader(std::vector<std::unique_ptr<FrameReader>> readers, std::int64_t frameCount,
                        int runFrames);
    ~ParallelFrameReader() override;
    ParallelFrameReader(const ParallelFrameReader&) = delete;
    ParallelFrameReader& operator=(const ParallelFrameReader&) = delete;

    bool read(cv::Mat& frame) override;
    void seek(std::int64_t index) override;
    std::int64_t position() override;
    void planWrap(std::int64_t at, std::int64_t to) override;

  private:
    struct Slot {
        bool ok = false;
        cv::Mat frame;
        std::int64_t after = 0;
        // False where a failed read left its buffer as it was: the reader
        // handing it out leaves the caller's as it is too.
        bool written = true;
    };
    struct Run {
        std::int64_t start = 0;
        std::int64_t end = 0; // past the last frame; endless: to the end of the stream
        bool endless = false;
        bool taken = false; // a thread reads it
        bool finished = false;
        std::deque<Slot> waiting; // decoded, not yet handed out
        std::int64_t handedOut = 0;
    };

    void work(FrameReader& reader);
    // With the lock held: plans runs from `next` until `threads` are planned.
    void plan();
    // With the lock held: forgets every run and what was decoded.
    void forget();
    std::int64_t successorOf(const Run& run) const;
    bool runHasRoom(const Run& run) const;

    std::vector<std::unique_ptr<FrameReader>> readers;
    std::vector<std::thread> workers;
    const std::int64_t frameCount;
    const std::size_t runFrames;

    std::mutex mutex;
    std::condition_variable changed;
    bool quit = false;
    std::uint64_t generation = 0;
    std::int64_t next = 0;
    std::int64_t wrapAt = -1;
    std::int64_t wrapTo = -1;
    std::deque<Run> runs;
    bool planEnded = false; // the last planned run reads to the end of the stream
    std::vector<cv::Mat> spares;
};
