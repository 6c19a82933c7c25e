// SPDX-License-Identifier: GPL-3.0-or-later
#include "replay/trackerComparison.h"

#include "app/MainWindow.h"
#include "common/outputFiles.h"
#include "replay/treatmentStep.h"

#include <QJsonObject>
#include <QStringList>
#include <algorithm>
#include <chrono>
#include <future>

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
        runners.push_back({Track{kind, {}, 0.0, 0}, makeRegionTracker(kind), {}, 0.0});
    }
    // On several threads every tracker has one of its own, and the system
    // shares the cores between them: their costs differ too much to deal
    // them out in fixed groups.
    groups.resize(threads > 1 ? runners.size() : 1);
    for (std::size_t i = 0; i < runners.size(); ++i) {
        groups[i % groups.size()].push_back(i);
    }
}

bool TrackerComparison::start(const cv::Mat& frame, const cv::Mat& plane, const cv::Rect& region) {
    for (Runner& runner : runners) {
        runner.latest = {region, 0.0, 0.0};
        if (!runner.tracker->start(frame, plane, region)) {
            refusedKind = runner.track.kind;
            return false;
        }
    }
    return true;
}

// The trackers only read the frame and the plane, which stay as they are
// until every group has finished.
TrackStep TrackerComparison::follow(const cv::Mat& frame, const cv::Mat& plane) {
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::future<void>> others;
    for (std::size_t group = 1; group < groups.size(); ++group) {
        others.push_back(std::async(std::launch::async, &TrackerComparison::followGroup, this,
                                    group, std::cref(frame), std::cref(plane)));
    }
    followGroup(0, frame, plane);
    for (std::future<void>& done : others) {
        done.get();
    }
    followSeconds += secondsSince(start);
    return runners[own].latest;
}

void TrackerComparison::followGroup(std::size_t group, const cv::Mat& frame, const cv::Mat& plane) {
    for (const std::size_t i : groups[group]) {
        Runner& runner = runners[i];
        const auto start = std::chrono::steady_clock::now();
        runner.latest = runner.tracker->follow(frame, plane);
        runner.tickSeconds += secondsSince(start);
        ++runner.track.follows;
    }
}

// What the trackers beside the run's own cost the tick is the time it waited
// for them: all their time on one thread, the longest group's on several.
void TrackerComparison::closeTick(double seconds) {
    const double others = followSeconds - runners[own].tickSeconds;
    for (Runner& runner : runners) {
        runner.track.steps.push_back(judgedStep(runner.latest, lostBelow));
        runner.track.seconds += runner.tickSeconds;
        runner.tickSeconds = 0.0;
    }
    followSeconds = 0.0;
    cycleSeconds += std::max(0.0, seconds - others);
    ++ticks;
}

std::vector<TrackerComparison::Track> TrackerComparison::compared() const {
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
