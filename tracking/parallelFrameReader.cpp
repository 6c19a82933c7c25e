// SPDX-License-Identifier: GPL-3.0-or-later
#include "tracking/parallelFrameReader.h"

#include <algorithm>

RunPlan runPlanFor(int threads, std::int64_t seekCostFrames, std::int64_t frameBytes) {
    constexpr std::int64_t shortestRun = 4;
    constexpr std::int64_t seeksPerRun = 4;
    RunPlan plan;
    plan.threads = std::max(1, threads);
    const std::int64_t affordable =
        lookAheadBytes / (plan.threads * std::max<std::int64_t>(1, frameBytes));
    const std::int64_t wanted =
        std::max(shortestRun, seeksPerRun * std::max<std::int64_t>(0, seekCostFrames));
    plan.runFrames = static_cast<int>(std::max(shortestRun, std::min(wanted, affordable)));
    return plan;
}

std::unique_ptr<FrameReader> onThreads(std::unique_ptr<FrameReader> reader, int threads,
                                       std::int64_t frameCount, cv::Size frameSize) {
    if (threads < 2 || frameCount < 2) {
        return reader;
    }
    std::vector<std::unique_ptr<FrameReader>> readers;
    for (int i = 1; i < threads; ++i) {
        std::unique_ptr<FrameReader> another = reader->openAnother();
        if (!another) {
            return reader;
        }
        readers.push_back(std::move(another));
    }
    const RunPlan plan = runPlanFor(threads, reader->seekCostInFrames(),
                                    std::int64_t{frameSize.width} * frameSize.height * 3);
    readers.insert(readers.begin(), std::move(reader));
    return std::make_unique<ParallelFrameReader>(std::move(readers), frameCount, plan.runFrames);
}

ParallelFrameReader::ParallelFrameReader(std::vector<std::unique_ptr<FrameReader>> allReaders,
                                         std::int64_t headerFrameCount, int framesPerRun)
    : readers(std::move(allReaders)), frameCount(headerFrameCount),
      runFrames(static_cast<std::size_t>(std::max(1, framesPerRun))) {
    next = readers.front()->position();
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
        changed.notify_all();
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
}

bool ParallelFrameReader::read(cv::Mat& frame) {
    std::unique_lock lock(mutex);
    for (;;) {
        if (runs.empty() || runs.front().start + runs.front().handedOut != next) {
            // Not the frame that was planned next: read on from where the
            // reading stands.
            forget();
            plan();
        }
        if (!runs.front().waiting.empty()) {
            break;
        }
        changed.wait(lock);
    }
    Run& run = runs.front();
    Slot slot = std::move(run.waiting.front());
    run.waiting.pop_front();
    ++run.handedOut;
    next = slot.after;
    if (slot.written) {
        cv::swap(frame, slot.frame);
    }
    if (slot.frame.u != nullptr && slot.frame.u->refcount == 1 &&
        spares.size() < readers.size() * runFrames + 2) {
        spares.push_back(std::move(slot.frame));
    }
    if (run.finished && run.waiting.empty()) {
        runs.pop_front();
        plan();
    }
    changed.notify_all();
    return slot.ok;
}

void ParallelFrameReader::seek(std::int64_t index) {
    std::lock_guard lock(mutex);
    index = std::clamp<std::int64_t>(index, 0, frameCount);
    if (!runs.empty() && runs.front().start + runs.front().handedOut == index) {
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

std::int64_t ParallelFrameReader::successorOf(const Run& run) const {
    return run.end == wrapAt ? wrapTo : run.end;
}

bool ParallelFrameReader::runHasRoom(const Run& run) const {
    return run.waiting.size() < runFrames;
}

void ParallelFrameReader::plan() {
    while (runs.size() < readers.size()) {
        if (!runs.empty() && runs.back().endless) {
            return;
        }
        Run run;
        run.start = runs.empty() ? next : successorOf(runs.back());
        run.end = run.start + static_cast<std::int64_t>(runFrames);
        if (wrapAt >= 0 && run.start < wrapAt) {
            run.end = std::min(run.end, wrapAt);
        }
        // Up to the end the reads go on until one fails, as on one thread.
        run.endless = run.end >= frameCount;
        runs.push_back(std::move(run));
    }
    changed.notify_all();
}

void ParallelFrameReader::forget() {
    ++generation;
    for (Run& run : runs) {
        for (Slot& slot : run.waiting) {
            if (spares.size() < readers.size() * runFrames + 2) {
                spares.push_back(std::move(slot.frame));
            }
        }
    }
    runs.clear();
    changed.notify_all();
}

// A thread's own reader reads the runs it takes, the lock released while it
// decodes; what a seek made stale meanwhile is thrown away.
void ParallelFrameReader::work(FrameReader& reader) {
    std::unique_lock lock(mutex);
    Run* run = nullptr;
    std::uint64_t runGeneration = 0;
    std::int64_t index = 0;
    for (;;) {
        if (quit) {
            return;
        }
        if (run == nullptr || runGeneration != generation) {
            run = nullptr;
            const auto untaken = std::find_if(runs.begin(), runs.end(),
                                              [](const Run& planned) { return !planned.taken; });
            if (untaken == runs.end()) {
                changed.wait(lock);
                continue;
            }
            run = &*untaken;
            run->taken = true;
            runGeneration = generation;
            index = run->start;
        }
        if (!runHasRoom(*run)) {
            changed.wait(lock);
            continue;
        }
        Slot slot;
        if (!spares.empty()) {
            slot.frame = std::move(spares.back());
            spares.pop_back();
        }
        lock.unlock();
        if (reader.position() != index) {
            reader.seek(index);
        }
        const uchar* given = slot.frame.data;
        const cv::Size givenSize = slot.frame.size();
        slot.ok = reader.read(slot.frame);
        slot.written = slot.ok || slot.frame.data != given || slot.frame.size() != givenSize;
        slot.after = reader.position();
        lock.lock();
        if (runGeneration != generation) {
            run = nullptr;
            continue;
        }
        const bool asPlanned = slot.ok && slot.after == index + 1;
        index = slot.after;
        run->waiting.push_back(std::move(slot));
        // A run that did not go as planned ends: reading on from where it
        // stands is for the reader that hands the frames out to decide.
        // A run that did not go as planned ends: where to read on is for the
        // handing out to decide. Up to the end, the reads go on past skipped
        // frames as on one thread, until one fails.
        run->finished = run->endless ? !run->waiting.back().ok : !asPlanned || index == run->end;
        if (run->finished) {
            run = nullptr;
        }
        changed.notify_all();
    }
}
