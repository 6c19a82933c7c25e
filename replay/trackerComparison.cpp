// SPDX-License-Identifier: GPL-3.0-or-later
#include "replay/trackerComparison.h"

#include "app/MainWindow.h"
#include "common/outputFiles.h"
#include "replay/treatmentStep.h"

#include <QJsonObject>
#include <QStringList>
#include <algorithm>
#include <chrono>
#include <opencv2/core/utility.hpp>

namespace {

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

void followWith(MainWindow& window, const TrackerChoice& choice) {
    window.lostBelow = choice.lostBelow;
    if (!choice.compared.empty()) {
        window.regionTracker = std::make_unique<TrackerComparison>(
            choice.compared, choice.tracker, choice.lostBelow, choice.threads);
    } else if (choice.tracker != TrackerKind::MeanShift) {
        window.regionTracker = makeRegionTracker(choice.tracker);
    } else {
        window.regionTracker.reset();
    }
}

TrackerComparison::TrackerComparison(const std::vector<TrackerKind>& compared, TrackerKind ownKind,
                                     double lostBelow, int threads)
    : compareCount(compared.size()), lostBelow(lostBelow) {
    std::vector<TrackerKind> kinds = compared;
    const auto found = std::find(kinds.begin(), kinds.end(), ownKind);
    own = static_cast<std::size_t>(found - kinds.begin());
    if (found == kinds.end()) {
        kinds.push_back(ownKind);
    }
    for (const TrackerKind kind : kinds) {
        runners.push_back({Track{kind, {}, 0.0, 0}, makeRegionTracker(kind), {}});
    }
    // Every tracker beside the run's own on a worker of its own, and the
    // system shares the cores between them: their costs differ too much to
    // deal them out in fixed groups, and a tick would wait for the slowest.
    if (threads > 1) {
        for (std::size_t i = 0; i < runners.size(); ++i) {
            // A tick gives each worker two jobs: follow and close.
            workers.push_back(i == own ? nullptr : std::make_unique<OrderedWorker>(2 * ticksAhead));
        }
    }
}

bool TrackerComparison::start(const cv::Mat& frame, const cv::Mat& plane, const cv::Rect& region) {
    finishWorkers();
    for (Runner& runner : runners) {
        runner.latest = {region, 0.0, 0.0};
        if (!runner.tracker->start(frame, plane, region)) {
            refusedKind = runner.track.kind;
            return false;
        }
    }
    return true;
}

TrackStep TrackerComparison::follow(const cv::Mat& frame, const cv::Mat& plane) {
    if (workers.empty()) {
        for (std::size_t i = 0; i < runners.size(); ++i) {
            const auto start = std::chrono::steady_clock::now();
            followOne(runners[i], frame, plane);
            besideSeconds += i == own ? 0.0 : secondsSince(start);
        }
        return runners[own].latest;
    }
    // Copies, because a worker may be ticks behind and the reader may decode
    // a later frame into the same pixels; the workers only read them.
    const cv::Mat frameCopy = frame.clone();
    const cv::Mat planeCopy = plane.clone();
    for (std::size_t i = 0; i < runners.size(); ++i) {
        if (i != own) {
            give(i, [this, i, frameCopy, planeCopy] { followAlongside(i, frameCopy, planeCopy); });
        }
    }
    followAlongside(own, frame, plane);
    return runners[own].latest;
}

// OpenCV runs one parallel loop at a time in a process: a loop that starts
// while another runs goes on its caller's thread alone. MIL's loops are short
// and the pool's threads spin between them, so with the pool MIL's replay
// takes as long as without but keeps both cores busy. While MIL is the
// tracker the run waits for, its follow runs inside a loop of one, which
// keeps its own loops on its thread and leaves the other core to the rest.
// Not when it is ahead: the loop of one would also keep a slower tracker's
// loops on one thread meanwhile.
void TrackerComparison::followAlongside(std::size_t i, const cv::Mat& frame, const cv::Mat& plane) {
    Runner& runner = runners[i];
    if (runner.track.kind == TrackerKind::Mil && runWaitsFor(i)) {
        cv::parallel_for_(cv::Range(0, 1),
                          [&](const cv::Range&) { followOne(runner, frame, plane); });
    } else {
        followOne(runner, frame, plane);
    }
}

// The run's own tracker holds the run up when every worker has caught up
// with it; a worker's, when no other worker has more ticks waiting.
bool TrackerComparison::runWaitsFor(std::size_t i) const {
    const std::size_t behind = i == own ? 0 : workers[i]->waiting();
    return std::none_of(workers.begin(), workers.end(),
                        [&](const std::unique_ptr<OrderedWorker>& worker) {
                            return worker && worker->waiting() > behind;
                        });
}

void TrackerComparison::followOne(Runner& runner, const cv::Mat& frame, const cv::Mat& plane) {
    const auto start = std::chrono::steady_clock::now();
    runner.latest = runner.tracker->follow(frame, plane);
    runner.track.seconds += secondsSince(start);
    ++runner.track.follows;
}

void TrackerComparison::closeOne(Runner& runner) const {
    runner.track.steps.push_back(judgedStep(runner.latest, lostBelow));
}

void TrackerComparison::give(std::size_t i, std::function<void()> job) {
    const auto start = std::chrono::steady_clock::now();
    workers[i]->give(std::move(job));
    besideSeconds += secondsSince(start);
}

void TrackerComparison::finishWorkers() const {
    for (const std::unique_ptr<OrderedWorker>& worker : workers) {
        if (worker) {
            worker->finish();
        }
    }
}

// What the trackers beside the run's own cost the tick is the time it spent
// on them: all their time on one thread, on several the time it waited to
// hand them the frame.
void TrackerComparison::closeTick(double seconds) {
    for (std::size_t i = 0; i < runners.size(); ++i) {
        if (workers.empty() || i == own) {
            closeOne(runners[i]);
        } else {
            // Outside the tick's time: no part of the cycle.
            workers[i]->give([this, i] { closeOne(runners[i]); });
        }
    }
    cycleSeconds += std::max(0.0, seconds - besideSeconds);
    besideSeconds = 0.0;
    ++ticks;
}

std::vector<TrackerComparison::Track> TrackerComparison::compared() const {
    finishWorkers();
    std::vector<Track> tracks;
    for (std::size_t i = 0; i < compareCount; ++i) {
        tracks.push_back(runners[i].track);
    }
    return tracks;
}

double TrackerComparison::cycleSecondsPerTick() const {
    return ticks > 0 ? cycleSeconds / static_cast<double>(ticks) : 0.0;
}

TrackerComparison* comparisonOf(MainWindow& window) {
    return dynamic_cast<TrackerComparison*>(window.regionTracker.get());
}

namespace {

QString refusedTrackerName(MainWindow& window, const TrackerChoice& choice) {
    if (const TrackerComparison* comparison = comparisonOf(window)) {
        if (comparison->refused()) {
            return trackerName(*comparison->refused());
        }
    }
    return trackerName(choice.tracker);
}

} // namespace

Refusal trackerRefusal(MainWindow& window, const TrackerChoice& choice, const cv::Rect& region) {
    return {QStringLiteral("the %1 tracker cannot start on the marked region %2,%3,%4,%5")
                .arg(refusedTrackerName(window, choice))
                .arg(region.x)
                .arg(region.y)
                .arg(region.width)
                .arg(region.height)};
}

RunRecord withTrack(const RunRecord& run, const std::vector<TrackStep>& steps) {
    RunRecord record = run;
    for (std::size_t i = 0; i < record.size() && i < steps.size(); ++i) {
        TickRecord& tick = record[i];
        const TrackStep& step = steps[i];
        tick.track = step.box;
        tick.centreX = step.box.x + step.box.width / 2;
        tick.centreY = step.box.y + step.box.height / 2;
        tick.area = step.area;
        tick.inPlane = step.area > 0;
        tick.confidence = step.confidence;
    }
    return record;
}

std::vector<TrackerRow> judgeTrackers(MainWindow& window, ManualClock& clock,
                                      const RunSettings& settings, const RunRecord& run,
                                      const GroundTruth& truth,
                                      const TrackerComparison& comparison) {
    std::vector<TrackerRow> rows;
    for (const TrackerComparison::Track& track : comparison.compared()) {
        RunSettings own = settings;
        own.tracker = trackerName(track.kind);
        const RunRecord again = treatAgain(window, clock, withTrack(run, track.steps), own.timing);
        const double ms = track.follows > 0 ? track.seconds * 1000.0 / track.follows : 0.0;
        rows.push_back({track.kind, evaluateRun(own, again, truth), ms, again});
    }
    return rows;
}
