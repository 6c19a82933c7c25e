// SPDX-License-Identifier: GPL-3.0-or-later
#include "tracking/VideoSource.h"

#include "tracking/parallelFrameReader.h"
#include "tracking/videoOpening.h"

#include <algorithm>
#include <atomic>

namespace {

// Frames decoded ahead at most: enough to ride out a slow frame, few enough
// that a seek throws little work away.
constexpr std::size_t readAheadFrames = 4;

std::atomic<int> decodingThreads = 1;

} // namespace

VideoSource::~VideoSource() {
    release();
}

bool VideoSource::open(const std::string& fileName) {
    release();
    std::optional<OpenedVideo> opened = openFrameReader(fileName);
    if (!opened) {
        return false;
    }
    start(std::move(opened->reader), opened->headerFrameCount, opened->headerFrameSize);
    return true;
}

void VideoSource::setDecodingThreads(int threads) {
    decodingThreads = std::max(1, threads);
}

void VideoSource::start(std::unique_ptr<FrameReader> newReader, std::int64_t headerFrameCount,
                        cv::Size headerFrameSize) {
    release();
    reader = onThreads(std::move(newReader), decodingThreads, headerFrameCount, headerFrameSize);
    frameCount = headerFrameCount;
    frameSize = headerFrameSize;
    quit = false;
    pendingSeek.reset();
    backgroundSeekRunning = false;
    readAhead = true;
    readsWanted = 0;
    wrapAt = -1;
    wrapTo = -1;
    consumerPosition = reader->position();
    worker = std::thread(&VideoSource::run, this);
}

void VideoSource::release() {
    {
        std::lock_guard lock(mutex);
        quit = true;
        changed.notify_all();
    }
    if (worker.joinable()) {
        worker.join();
    }
    reader.reset();
    decoded.clear();
    soughtFrame.reset();
    spares.clear();
}

bool VideoSource::read(cv::Mat& frame) {
    std::unique_lock lock(mutex);
    if (!worker.joinable()) {
        return false;
    }
    for (;;) {
        if (!decoded.empty() && decoded.front().wrapped) {
            // The thread went on across the wrap, but the frame cycle did not
            // seek there: read on from where the cycle stands.
            restartAt({consumerPosition, false, false, false});
        } else if (!decoded.empty()) {
            break;
        } else if (!readAhead && !pendingSeek && readsWanted == 0) {
            readsWanted = 1;
            changed.notify_all();
        }
        changed.wait(lock);
    }
    Decoded next = std::move(decoded.front());
    decoded.pop_front();
    consumerPosition = next.after;
    cv::swap(frame, next.frame);
    recycle(next.frame);
    changed.notify_all();
    return next.ok;
}

void VideoSource::seek(std::int64_t index) {
    std::unique_lock lock(mutex);
    if (!decoded.empty() && decoded.front().wrapped && index == wrapTo) {
        decoded.front().wrapped = false;
        consumerPosition = index;
        return;
    }
    restartAt({index, false, false});
    // The position is the file's after the seek, which may not be `index`
    // (behind the end of the stream, for one).
    changed.wait(lock, [this] { return seekedGeneration == generation || !worker.joinable(); });
}

std::int64_t VideoSource::position() {
    std::lock_guard lock(mutex);
    return consumerPosition;
}

void VideoSource::setWrap(std::int64_t at, std::int64_t to) {
    std::lock_guard lock(mutex);
    wrapAt = at;
    wrapTo = to;
    if (reader) {
        reader->planWrap(at, to);
    }
}

void VideoSource::seekInBackground(std::int64_t index, bool readFrame) {
    std::lock_guard lock(mutex);
    restartAt({index, true, readFrame});
}

bool VideoSource::seekPending() {
    std::lock_guard lock(mutex);
    return backgroundSeekRunning;
}

bool VideoSource::takeSoughtFrame(cv::Mat& frame) {
    std::lock_guard lock(mutex);
    if (!soughtFrame) {
        return false;
    }
    const bool ok = soughtFrame->ok;
    if (ok) {
        cv::swap(frame, soughtFrame->frame);
    }
    recycle(soughtFrame->frame);
    soughtFrame.reset();
    return ok;
}

void VideoSource::waitForBackgroundSeek() {
    std::unique_lock lock(mutex);
    changed.wait(lock, [this] { return !backgroundSeekRunning || !worker.joinable(); });
}

int VideoSource::seeksMade() {
    std::lock_guard lock(mutex);
    return seeks;
}

void VideoSource::restartAt(const Request& request) {
    ++generation;
    for (Decoded& stale : decoded) {
        recycle(stale.frame);
    }
    decoded.clear();
    if (soughtFrame) {
        recycle(soughtFrame->frame);
        soughtFrame.reset();
    }
    pendingSeek = request;
    backgroundSeekRunning = request.background;
    readsWanted = 0;
    readAhead = true;
    consumerPosition = request.index + (request.readFrame ? 1 : 0);
    changed.notify_all();
}

// Only a buffer that nothing else refers to may be decoded into again.
void VideoSource::recycle(cv::Mat& buffer) {
    if (buffer.u && buffer.u->refcount == 1 && spares.size() < readAheadFrames + 2) {
        spares.push_back(std::move(buffer));
    }
    buffer.release();
}

cv::Mat VideoSource::spareBuffer() {
    if (spares.empty()) {
        return {};
    }
    cv::Mat buffer = std::move(spares.back());
    spares.pop_back();
    return buffer;
}

// The decoding thread. It works with the lock released and hands its result
// over only if no seek has made it stale meanwhile.
void VideoSource::run() {
    std::unique_lock lock(mutex);
    std::int64_t readerPosition = consumerPosition;
    for (;;) {
        changed.wait(lock, [this] {
            return quit || pendingSeek || readsWanted > 0 ||
                   (readAhead && decoded.size() < readAheadFrames);
        });
        if (quit) {
            return;
        }
        const std::uint64_t forGeneration = generation;
        if (pendingSeek) {
            const Request request = *pendingSeek;
            pendingSeek.reset();
            Decoded result;
            result.frame = request.readFrame ? spareBuffer() : cv::Mat();
            lock.unlock();
            reader->seek(request.index);
            if (request.readFrame) {
                result.ok = reader->read(result.frame);
            }
            result.after = reader->position();
            lock.lock();
            ++seeks;
            readerPosition = result.after;
            wrapAllowed = request.wrapAhead;
            if (forGeneration == generation) {
                seekedGeneration = generation;
                consumerPosition = result.after;
                if (request.background) {
                    backgroundSeekRunning = false;
                    if (request.readFrame) {
                        soughtFrame = std::move(result);
                    }
                }
            } else {
                recycle(result.frame);
            }
            changed.notify_all();
            continue;
        }

        // A wrap onto the frame where the reader stands (a video of two frames
        // wraps from frame 1 to frame 1) moves nothing and is no wrap.
        const bool wrap = readAhead && readsWanted == 0 && wrapAllowed && wrapAt >= 0 &&
                          readerPosition == wrapAt && wrapTo != wrapAt;
        const std::int64_t target = wrapTo;
        Decoded result;
        result.wrapped = wrap;
        result.frame = spareBuffer();
        lock.unlock();
        if (wrap) {
            reader->seek(target);
        }
        result.ok = reader->read(result.frame);
        result.after = reader->position();
        lock.lock();
        seeks += wrap ? 1 : 0;
        readerPosition = result.after;
        wrapAllowed = true;
        if (forGeneration != generation) {
            recycle(result.frame);
            continue;
        }
        readsWanted = std::max(0, readsWanted - 1);
        readAhead = result.ok;
        decoded.push_back(std::move(result));
        changed.notify_all();
    }
}
