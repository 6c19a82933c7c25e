// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "simulation/groundTruth.h"
#include "simulation/latencySweep.h"
#include "simulation/runRecord.h"

#include <cstdint>
#include <functional>

class MainWindow;
class ManualClock;

// The treatment step of every recorded tick once more, through the window's
// own code: the tracking result of each tick (the window, its area and
// centre) goes back into the window, the clock is set to the tick's time, and
// the window's treatment step decides on the hit with the aim and the gate
// margin of `timing`. The step starts from the state that start-up and the
// Start button leave (no plane, no interval, no shot, logging on), writes to
// no log, and returns the record with the new aims, hits and hit ticks. It
// leaves the window's treatment state as this last pass left it: call it once
// the run itself has ended. The window reads the time from `clock` meanwhile,
// which only moves forward.
RunRecord treatAgain(MainWindow& window, ManualClock& clock, const RunRecord& record,
                     const ShotTiming& timing);

// Called after every point of a sweep with the ticks done and the ticks in
// all; false stops the sweep.
using SweepProgress = std::function<bool(std::int64_t done, std::int64_t total)>;

// Every latency of `sweep` with every way of aiming (sweptPredictions), each
// judged against the truth, in that order: latencies outer, predictions inner.
// The prediction window and the gate margin are those of `settings`. Stopped
// by `progress`, it returns the points done.
std::vector<SweepPoint> runLatencySweep(MainWindow& window, ManualClock& clock,
                                        const RunSettings& settings, const RunRecord& record,
                                        const GroundTruth& truth, const LatencySweep& sweep,
                                        const SweepProgress& progress = {});
