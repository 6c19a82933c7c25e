// SPDX-License-Identifier: GPL-3.0-or-later
#include "replay/treatmentStep.h"

#include "app/MainWindow.h"
#include "log/eventLog.h"
#include "log/ticks.h"
#include "simulation/aimPrediction.h"

#include <cmath>
#include <utility>

void aimAs(MainWindow& window, const ShotTiming& timing) {
    window.gateMarginPx = timing.gateMarginPx;
    window.aimPredictor =
        makeAimPredictor(timing.predict, timing.latencyMs / 1000.0, timing.predictWindow);
}

RunRecord treatAgain(MainWindow& window, ManualClock& clock, const RunRecord& record,
                     const ShotTiming& timing) {
    // Whatever happens here stays out of the run's log, and the window reads
    // the time from `clock`.
    std::unique_ptr<eventlog::EventLog> log = std::move(window.loggFile);
    TickSource& previousSource = tickSource();
    installTickSource(&clock);

    const std::int64_t start = clock.now();
    window.startTick = start;
    window.lastSkuddTick = start;
    window.utAvPlanTick = start;
    window.inPlane = 0;
    window.inSkuddIntervall = 0;
    window.inBrennpunkt = 0;
    window.antallSkudd = 0;
    window.brennpunktDrawn = 0;
    window.loggStarted = 1;
    aimAs(window, timing);

    const double ticksPerSecond = clock.ticksPerMicrosecond() * 1e6;
    RunRecord again = record;
    for (TickRecord& tick : again) {
        const auto at = start + std::llround(tick.timeSeconds * ticksPerSecond);
        clock.advanceTicks(std::max<std::int64_t>(0, at - clock.now()));
        window.trackWindow = tick.track;
        window.trackComp.rect = tick.track;
        window.trackComp.area = tick.area;
        window.trackCenterX = tick.centreX;
        window.trackCenterY = tick.centreY;
        const int hitsBefore = window.antallSkudd;
        window.updatePlaneAndIntervals();
        window.brennpunktDrawn = 0; // as the frame cycle clears it after every tick
        tick.aimX = window.aimX;
        tick.aimY = window.aimY;
        tick.onFocalArea = window.inBrennpunkt == 1;
        tick.hit = window.antallSkudd > hitsBefore;
    }
    window.loggFile = std::move(log);
    installTickSource(&previousSource);
    return again;
}
