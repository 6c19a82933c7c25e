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

// Frames a thread decodes in a row: a few, as a seek costs little, fewer
// where frames are so large that the runs planned for all threads together
// would pass lookAheadBytes.
int runFramesFor(int threads, std::int64_t frameBytes);

// `reader` itself, or, where `threads` > 1 and its frames are coded alone, a
// reader that decodes them on that many threads.
std::unique_ptr<FrameReader> onThreads(std::unique_ptr<FrameReader> reader, int threads,
                                       std::int64_t frameCount, cv::Size frameSize);

// At most this much memory of decoded frames waits to be taken, over all
// threads, and a run is at most this long.
inline constexpr std::int64_t lookAheadBytes = std::int64_t{256} << 20;
inline constexpr std::int64_t longestRun = 4;
// Runs planned per thread: one being decoded, one waiting to be taken, so
// that neither the threads nor the tick wait for the other.
inline constexpr std::size_t runsAhead = 2;

// Reads a recording on several threads, each with its own reader of it, and
// hands the frames out in order: what a read returns, and the position after
// it, are what the one reader would have given. Runs are planned only while
// fewer than runsAhead x `threads` wait to be taken, so at most runsAhead x
// threads x runFrames frames are decoded ahead. A seek to the frame that is due next
// (the wrap that planWrap announced) keeps what was decoded; any other seek,
// or a position other than the planned one after a read, throws it away and
// plans anew. Where a read does not give the frame planned (damage that the
// decoder skips, the end of the stream), the thread that made it reads on
// from there alone, as the one reader would, until the next seek.
class ParallelFrameReader : public FrameReader {
  public:
    // `readers` are all readers of the same recording; the first read gives
    // frame `start`. `frameCount` is the recording's count.
    ParallelFrameReader(std::vector<std::unique_ptr<FrameReader>> readers, std::int64_t start,
                        std::int64_t frameCount, int runFrames);
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
        std::int64_t end = 0;    // past its last frame
        std::int64_t origin = 0; // where the one reader last sought before this run
        bool readsOn = false;    // the last run: reads on alone past its end
        bool alone = false;      // reading on alone, no frame checked any more
        bool taken = false;      // a thread reads it
        bool finished = false;
        bool cancelled = false;
        std::deque<Slot> waiting; // decoded, not yet handed out
        std::int64_t due = 0;     // the position before the next frame handed out
    };
    using RunPointer = std::shared_ptr<Run>;

    void work(FrameReader& reader);
    // With the lock held: plans runs until `threads` are planned.
    void plan();
    // With the lock held: forgets every run and what was decoded.
    void forget();
    void cancelAfter(const Run& run);
    void keepSpare(cv::Mat& buffer);

    std::vector<std::unique_ptr<FrameReader>> readers;
    std::vector<std::thread> workers;
    const std::int64_t frameCount;
    const std::size_t runFrames;

    std::mutex mutex;
    std::condition_variable runsChanged; // for the threads: runs planned, taken or dropped
    std::condition_variable slotsAdded;  // for the reader: a frame decoded
    bool quit = false;
    std::int64_t next = 0;
    std::int64_t soughtLast = 0; // the latest seek's target
    std::int64_t wrapAt = -1;
    std::int64_t wrapTo = -1;
    std::deque<RunPointer> runs;
    std::vector<cv::Mat> spares;
};
