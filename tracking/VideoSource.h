// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tracking/frameReader.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// The video as the frame cycle reads it. A second thread decodes ahead while a
// tick runs, so that a tick waits for decoding only when decoding is slower
// than the tick. The frame cycle sees the same frames in the same order as if
// it read the file itself: every read and seek keeps its meaning, and what the
// thread read ahead is thrown away whenever a seek makes it wrong.
//
// Seeks for the video slider run in the background and are coalesced: while
// one runs, only the newest of the positions asked for meanwhile is sought
// next, so dragging the slider over a video with long gaps between key frames
// never blocks the window.
class VideoSource {
  public:
    VideoSource() = default;
    ~VideoSource();
    VideoSource(const VideoSource&) = delete;
    VideoSource& operator=(const VideoSource&) = delete;

    // Opens a video file by the name the file system knows it under, and
    // starts decoding ahead.
    bool open(const std::string& fileName);
    // How many threads the videos opened from now on decode on where their
    // frames are coded alone (1, as the window has it, by default); others
    // keep one.
    static void setDecodingThreads(int threads);
    // Reads from `reader`, already opened (on several threads where
    // setDecodingThreads asks for them and its frames are coded alone).
    void start(std::unique_ptr<FrameReader> reader, std::int64_t headerFrameCount = 0,
               cv::Size headerFrameSize = {});
    // Stops the decoding thread and closes the video.
    void release();
    bool isOpened() const { return worker.joinable(); }

    // What the video's header says; the count is 0 where it says nothing usable.
    std::int64_t headerFrameCount() const { return frameCount; }
    cv::Size headerFrameSize() const { return frameSize; }

    // The next frame (its buffer is swapped with `frame`'s); false at the end
    // or on a frame that cannot be decoded. Waits until the frame is decoded.
    bool read(cv::Mat& frame);
    // Puts the video before frame `index`; the next read returns that frame.
    void seek(std::int64_t index);
    // The index of the frame that the next read returns.
    std::int64_t position();

    // Where playback wraps: when the position reaches `at`, the frame cycle
    // seeks to `to` before it reads. Lets the thread decode across the wrap.
    void setWrap(std::int64_t at, std::int64_t to);

    // For the video slider: seeks to `index` in the background and, if
    // `readFrame`, also reads that frame, which takeSoughtFrame then hands
    // over. A newer request replaces one that has not started yet.
    void seekInBackground(std::int64_t index, bool readFrame);
    // True while a background seek has not finished.
    bool seekPending();
    // The frame read by the latest background seek, once, if it is there.
    bool takeSoughtFrame(cv::Mat& frame);
    // Waits until the latest background seek has finished.
    void waitForBackgroundSeek();
    // How many seeks have reached the file so far.
    int seeksMade();

  private:
    struct Decoded {
        bool ok = false;
        cv::Mat frame;
        std::int64_t after = 0; // the position after the read
        bool wrapped = false;   // the thread sought the wrap target before this read
    };
    struct Request {
        std::int64_t index = 0;
        bool background = false;
        bool readFrame = false;
        // False where the frame cycle reads on at the wrap point instead of
        // seeking: the thread must not foresee the wrap there again.
        bool wrapAhead = true;
    };

    void run();
    // With `lock` held: forgets what was read ahead and asks for a seek.
    void restartAt(const Request& request);
    void recycle(cv::Mat& buffer);
    cv::Mat spareBuffer();

    std::unique_ptr<FrameReader> reader;
    std::int64_t frameCount = 0;
    cv::Size frameSize;
    std::thread worker;

    std::mutex mutex;
    std::condition_variable changed;
    bool quit = false;
    // Changes with every seek the frame cycle or the slider asks for; what
    // the thread did for an older generation is thrown away.
    std::uint64_t generation = 0;
    // The generation whose seek has reached the file.
    std::uint64_t seekedGeneration = 0;
    std::optional<Request> pendingSeek;
    bool backgroundSeekRunning = false;
    std::optional<Decoded> soughtFrame;
    bool readAhead = true; // false after a failed read, until the next seek or wanted read
    int readsWanted = 0;
    bool busy = false;
    std::deque<Decoded> decoded;
    std::vector<cv::Mat> spares;
    std::int64_t wrapAt = -1;
    std::int64_t wrapTo = -1;
    bool wrapAllowed = true; // cleared by a seek whose request forbids the next wrap
    std::int64_t consumerPosition = 0;
    int seeks = 0;
};
