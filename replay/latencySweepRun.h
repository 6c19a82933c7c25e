// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "evaluation/groundTruth.h"
#include "evaluation/latencySweep.h"
#include "evaluation/runRecord.h"

#include <cstdint>
#include <functional>

class MainWindow;
class ManualClock;

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
