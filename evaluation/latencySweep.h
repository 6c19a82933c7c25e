// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "evaluation/evaluation.h"
#include "simulation/aimPrediction.h"

#include <array>
#include <vector>

// A run's treatment judged again at a range of latencies, for each way of
// aiming: how shot efficiency falls as the shots arrive later, and how much a
// prediction wins back.

// The latencies from `fromMs` to `toMs` in steps of `stepMs`: fromMs,
// fromMs + stepMs, ..., up to toMs and not beyond it.
struct LatencySweep {
    int fromMs = 0;
    int toMs = 0;
    int stepMs = 1;

    std::vector<int> latencies() const;
};

// The ways of aiming that a sweep compares, in the order of its table.
inline constexpr std::array<Prediction, 3> sweptPredictions{Prediction::None, Prediction::Linear,
                                                            Prediction::Kalman};

// One point of a sweep: the evaluation at this latency and prediction.
struct SweepPoint {
    int latencyMs = 0;
    Prediction predict = Prediction::None;
    Evaluation evaluation;
};
