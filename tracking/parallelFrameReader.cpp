// SPDX-License-Identifier: GPL-3.0-or-later
#include "tracking/parallelFrameReader.h"

#include <algorithm>

int runFramesFor(int threads, std::int64_t frameBytes) {
    const std::int64_t affordable =
        lookAheadBytes / (static_cast<std::int64_t>(runsAhead) * std::max(1, threads) *
                          std::max<std::int64_t>(1, frameBytes));
    return static_cast<int>(std::clamp<std::int64_t>(affordable, 1, longestRun));
}

std::unique_ptr<FrameReader> onThreads(std::unique_ptr<FrameReader> reader, int threads,
                                       std::int64_t frameCount, cv::Size frameSize) {
    if (threads < 2 || frameCount < 2) {
        return reader;
    }
    // Readers of their own for every thread: the one given may seek slowly.
    std::vector<std::unique_ptr<FrameReader>> readers;
    for (int i = 0; i < threads; ++i) {
        std::unique_ptr<FrameReader> another =
            readers.empty() ? reader->openAnother() : readers.front()->openAnother();
        if (!another) {
            return reader;
        }
        readers.push_back(std::move(another));
    }
    const int runFrames =
        runFramesFor(threads, std::int64_t{frameSize.width} * frameSize.height * 3);
    return std::make_unique<ParallelFrameReader>(std::move(readers), reader->position(), frameCount,
                                                 runFrames);
}

ParallelFrameReader::ParallelFrameReader(std::vector<std::unique_ptr<FrameReader>> allReaders,
                                         std::int64_t start, std::int64_t headerFrameCount,
                                         int framesPerRun)
    : readers(std::move(allReaders)), frameCount(headerFrameCount),
      runFrames(static_cast<std::size_t>(std::max(1, framesPerRun))) {
    next = std::clamp<std::int64_t>(start, 0, frameCount);
    soughtLast = next;
    {
        std::lock_guard lock(mutex);
        plan();
    }
    for (const std::unique_ptr<FrameReader>& reader : readers) {
        workers.emplace_back(&ParallelFrameReader::work, this, std::ref(*reader));
    }
}

ParallelFrameReader::~ParallelFrameReader() {
    {
        std::lock_guard lock(mutex);
        quit = true;
        forget();
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
}

bool ParallelFrameReader::read(cv::Mat& frame) {
    std::unique_lock lock(mutex);
    for (;;) {
        if (runs.empty() || runs.front()->due != next) {
            // Not the frame that was planned next: read on from where the
            // reading stands.
            forget();
            plan();
        }
        if (!runs.front()->waiting.empty()) {
            break;
        }
        slotsAdded.wait(lock);
    }
    const RunPointer run = runs.front();
    Slot slot = std::move(run->waiting.front());
    run->waiting.pop_front();
    run->due = slot.after;
    next = slot.after;
    if (slot.written) {
        cv::swap(frame, slot.frame);
    }
    keepSpare(slot.frame);
    if (run->finished && run->waiting.empty()) {
        runs.pop_front();
        plan();
    }
    runsChanged.notify_all();
    return slot.ok;
}

void ParallelFrameReader::seek(std::int64_t index) {
    std::lock_guard lock(mutex);
    index = std::clamp<std::int64_t>(index, 0, frameCount);
    soughtLast = index;
    // A thread reading on alone is where no seek would put it.
    if (!runs.empty() && runs.front()->due == index && !runs.front()->alone) {
        next = index;
        return;
    }
    forget();
    next = index;
    plan();
}

std::int64_t ParallelFrameReader::position() {
    std::lock_guard lock(mutex);
    return next;
}

void ParallelFrameReader::planWrap(std::int64_t at, std::int64_t to) {
    std::lock_guard lock(mutex);
    if (at == wrapAt && to == wrapTo) {
        return;
    }
    const bool wraps = at > 0 && to >= 0 && to < at;
    wrapAt = wraps ? at : -1;
    wrapTo = wraps ? to : -1;
    // What was planned across the old wrap point is wrong now.
    forget();
    plan();
}

void ParallelFrameReader::plan() {
    while (runs.size() < runsAhead * readers.size()) {
        auto run = std::make_shared<Run>();
        if (runs.empty()) {
            run->start = next;
            run->origin = soughtLast;
        } else {
            const Run& last = *runs.back();
            if (last.readsOn || last.alone) {
                break;
            }
            const bool wrapping = last.end == wrapAt;
            run->start = wrapping ? wrapTo : last.end;
            run->origin = wrapping ? wrapTo : last.origin;
        }
        run->due = run->start;
        run->end = run->start + static_cast<std::int64_t>(runFrames);
        if (wrapAt >= 0 && run->start < wrapAt) {
            run->end = std::min(run->end, wrapAt);
        }
        // From the last frame on, reads go on until the stream ends.
        run->readsOn = run->end >= frameCount;
        runs.push_back(std::move(run));
    }
    runsChanged.notify_all();
}

void ParallelFrameReader::forget() {
    for (const RunPointer& run : runs) {
        run->cancelled = true;
        for (Slot& slot : run->waiting) {
            keepSpare(slot.frame);
        }
        run->waiting.clear();
    }
    runs.clear();
    runsChanged.notify_all();
}

void ParallelFrameReader::cancelAfter(const Run& run) {
    const auto at = std::find_if(runs.begin(), runs.end(), [&run](const RunPointer& planned) {
        return planned.get() == &run;
    });
    for (auto later = at == runs.end() ? at : at + 1; later != runs.end(); ++later) {
        (*later)->cancelled = true;
        for (Slot& slot : (*later)->waiting) {
            keepSpare(slot.frame);
        }
    }
    runs.erase(at == runs.end() ? at : at + 1, runs.end());
}

void ParallelFrameReader::keepSpare(cv::Mat& buffer) {
    if (buffer.u != nullptr && buffer.u->refcount == 1 &&
        spares.size() < runsAhead * readers.size() * runFrames + 2) {
        spares.push_back(std::move(buffer));
    }
    buffer.release();
}

// A thread's own reader reads the runs it takes, the lock released while it
// decodes; what a seek made stale meanwhile is thrown away.
void ParallelFrameReader::work(FrameReader& reader) {
    std::unique_lock lock(mutex);
    RunPointer run;
    std::int64_t index = 0;
    for (;;) {
        if (quit) {
            return;
        }
        if (!run || run->cancelled) {
            run.reset();
            const auto untaken =
                std::find_if(runs.begin(), runs.end(),
                             [](const RunPointer& planned) { return !planned->taken; });
            if (untaken == runs.end()) {
                runsChanged.wait(lock);
                continue;
            }
            run = *untaken;
            run->taken = true;
            index = run->start;
        }
        if (run->waiting.size() >= runFrames) {
            runsChanged.wait(lock);
            continue;
        }
        const bool alone = run->alone;
        const std::int64_t start = run->start;
        const std::int64_t origin = run->origin;
        Slot slot;
        if (!spares.empty()) {
            slot.frame = std::move(spares.back());
            spares.pop_back();
        }
        lock.unlock();
        if (!alone && reader.position() != index) {
            reader.seek(index);
        }
        const auto readOne = [&reader, &slot] {
            const uchar* given = slot.frame.data;
            const cv::Size givenSize = slot.frame.size();
            slot.ok = reader.read(slot.frame);
            slot.written = slot.ok || slot.frame.data != given || slot.frame.size() != givenSize;
            slot.after = reader.position();
        };
        readOne();
        bool asPlanned = alone || (slot.after == index + 1 && reader.lastReadWasFrame(index));
        if (!asPlanned && index == start && origin != start) {
            // The seek itself went astray (damage before the frame): the one
            // reader came here reading on from its last seek, and so does
            // this one.
            reader.seek(origin);
            cv::Mat skipped;
            for (std::int64_t i = origin; i < index && reader.position() < index; ++i) {
                reader.read(skipped);
            }
            readOne();
        }
        lock.lock();
        if (run->cancelled) {
            keepSpare(slot.frame);
            run.reset();
            continue;
        }
        if (!asPlanned && !run->alone) {
            // From here this thread reads on alone, as the one reader would;
            // what was planned after it cannot be known.
            run->alone = true;
            cancelAfter(*run);
        }
        index = slot.after;
        run->waiting.push_back(std::move(slot));
        if (!run->alone && index == run->end) {
            if (run->readsOn) {
                run->alone = true;
            } else {
                run->finished = true;
                run.reset();
            }
        }
        slotsAdded.notify_one();
        if (!asPlanned) {
            runsChanged.notify_all(); // runs after this one were cancelled
        }
    }
}
