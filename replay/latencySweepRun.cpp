// SPDX-License-Identifier: GPL-3.0-or-later
#include "replay/latencySweepRun.h"

#include "app/MainWindow.h"
#include "evaluation/calibration.h"
#include "log/eventLog.h"
#include "log/ticks.h"
#include "replay/treatmentStep.h"

#include <cmath>
#include <utility>

std::vector<SweepPoint> runLatencySweep(MainWindow& window, ManualClock& clock,
                                        const RunSettings& settings, const RunRecord& record,
                                        const GroundTruth& truth, const LatencySweep& sweep,
                                        const SweepProgress& progress) {
    const std::vector<int> latencies = sweep.latencies();
    const auto total =
        static_cast<std::int64_t>(latencies.size() * sweptPredictions.size() * record.size());
    std::int64_t done = 0;
    std::vector<SweepPoint> points;
    for (const int latencyMs : latencies) {
        for (const Prediction predict : sweptPredictions) {
            RunSettings point = settings;
            point.timing.latencyMs = latencyMs;
            point.timing.predict = predict;
            const RunRecord again = treatAgain(window, clock, record, point.timing);
            const std::vector<TickVerdict> verdicts = judgeTicks(point, again, truth);
            Evaluation evaluation = evaluate(again, verdicts);
            if (point.mmPerPixel) {
                evaluation.millimetres =
                    millimetreFigures(point, *point.mmPerPixel, again, verdicts);
            }
            points.push_back({latencyMs, predict, evaluation});
            done += static_cast<std::int64_t>(record.size());
            if (progress && !progress(done, total)) {
                return points;
            }
        }
    }
    return points;
}
