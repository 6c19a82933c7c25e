// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/refusal.h"
#include "common/videoFileCheck.h"
#include "evaluation/evaluation.h"
#include "evaluation/groundTruth.h"
#include "evaluation/latencySweep.h"
#include "evaluation/runRecord.h"
#include "replay/orderedWorker.h"
#include "replay/trackerOptions.h"
#include "report/trackerTable.h"
#include "tracking/regionTrackers.h"

#include <QJsonArray>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

class MainWindow;
class ManualClock;

// Several trackers over one decoding of a recording: each follows the marked
// region on the same frames, and each one's track goes through the window's
// own treatment step afterwards (treatAgain) to be judged against the truth.

// Gives the window the tracker that `choice` names and its confidence cut:
// nothing for mean shift alone (the window's own), one tracker, or with a
// comparison a TrackerComparison that runs them all.
void followWith(MainWindow& window, const TrackerChoice& choice);

// The window's tracker while a comparison runs: every tracker of the list,
// and the run's own tracker if the list leaves it out, follows the region on
// every tick; the window weighs the run's own tracker's box. With `threads`
// above 1 every other tracker follows on a worker of its own, up to
// `ticksAhead` ticks behind the run, so that each goes at its own pace; each
// tracker sees the same frames in the same order whatever the threads.
class TrackerComparison : public RegionTracker {
  public:
    TrackerComparison(const std::vector<TrackerKind>& compared, TrackerKind own, double lostBelow,
                      int threads = 1);
    // A worker holds a copy of the frame and the plane of each tick it is
    // behind: this bounds the memory that costs.
    static constexpr std::size_t ticksAhead = 16;
    bool start(const cv::Mat& frame, const cv::Mat& plane, const cv::Rect& region) override;
    TrackStep follow(const cv::Mat& frame, const cv::Mat& plane) override;

    // Ends a tick of the run that took `seconds` in all: every tracker's
    // latest step (the previous one where no frame was tracked) is its step
    // for that tick, confidence cut applied.
    void closeTick(double seconds);

    struct Track {
        TrackerKind kind;
        std::vector<TrackStep> steps; // one per closed tick
        double seconds = 0.0;         // spent following, over all ticks
        std::int64_t follows = 0;
    };
    // The compared trackers, in the order of the list, once each has followed
    // every frame given (this waits for the workers).
    std::vector<Track> compared() const;
    // What one tick of the run cost without the trackers run beside the
    // run's own, on average (seconds): decoding, thresholding, the run's
    // tracker and the treatment step.
    double cycleSecondsPerTick() const;
    // The tracker that could not start, if one could not.
    std::optional<TrackerKind> refused() const { return refusedKind; }

  private:
    struct Runner {
        Track track;
        std::unique_ptr<RegionTracker> tracker;
        TrackStep latest;
    };
    void followOne(Runner& runner, const cv::Mat& frame, const cv::Mat& plane);
    // On several threads: on runner `i`'s worker, or the run's own tracker
    // on the calling thread.
    void followAlongside(std::size_t i, const cv::Mat& frame, const cv::Mat& plane);
    void closeOne(Runner& runner) const;
    // Gives `job` to runner `i`'s worker, counting the time that waits as
    // the trackers beside the run's own.
    void give(std::size_t i, std::function<void()> job);
    void finishWorkers() const;
    bool runWaitsFor(std::size_t i) const;

    std::vector<Runner> runners;
    std::size_t compareCount = 0; // runners past these are the run's own tracker only
    std::size_t own = 0;
    double lostBelow = 0.0;
    double cycleSeconds = 0.0;
    double besideSeconds = 0.0; // the open tick's time for the trackers beside the run's own
    std::int64_t ticks = 0;
    std::optional<TrackerKind> refusedKind;
    // On several threads, runner i's worker, none for the run's own; after
    // the runners, so that they end first. Ending a comparison that nobody
    // asked for its tracks (a run interrupted) drops what they have not
    // followed yet.
    std::vector<std::unique_ptr<OrderedWorker>> workers;
};

// The comparison that `window` runs, if it runs one.
TrackerComparison* comparisonOf(MainWindow& window);

// What to say when the window's tracker could not start on the region: a
// failure at run time.
Refusal trackerRefusal(MainWindow& window, const TrackerChoice& choice, const cv::Rect& region);

// The run's record with the tracking of `steps` in place of the run's own:
// the box, its centre as the frame cycle takes it, the area (0 out of the
// plane) and the confidence; aims and hits are the treatment step's to say.
RunRecord withTrack(const RunRecord& run, const std::vector<TrackStep>& steps);

// Every compared tracker's track through the window's treatment step at the
// run's timing, judged against the truth. Call it once the run has ended.
std::vector<TrackerRow> judgeTrackers(MainWindow& window, ManualClock& clock,
                                      const RunSettings& settings, const RunRecord& run,
                                      const GroundTruth& truth,
                                      const TrackerComparison& comparison);
