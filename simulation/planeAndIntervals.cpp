// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MainWindow.h"

#include "log/eventLog.h"
#include "log/ticks.h"
#include "simulation/aimPrediction.h"
#include "simulation/focalArea.h"

// The window aims where it tracks. A simulated lithotripter whose shot arrives
// later may aim where a predictor expects the stone by then.
void MainWindow::aimAtArrival() {
    aimX = trackCenterX;
    aimY = trackCenterY;
    if (aimPredictor) {
        const double seconds = static_cast<double>(currentTick() - startTick) /
                               (tickSource().ticksPerMicrosecond() * 1e6);
        const cv::Point2d aim =
            aimPredictor->aim(seconds, cv::Point2d(aimX, aimY), trackComp.area > 0);
        aimX = aim.x;
        aimY = aim.y;
    }
}

// The treatment side of a tracking tick. The stone is in the imaging plane while
// the tracking window holds any bright pixel; a tick is a hit when the aim (the
// window's centre) lies on the focal area (edges included, or as far inside
// them as the gate margin says); a shot interval opens with a hit and closes on
// the first tracking tick after a tick without one. Nothing happens before
// logging has been started.
void MainWindow::updatePlaneAndIntervals() {
    const double area = trackComp.area;
    aimAtArrival();

    if (area == 0 && inPlane == 1 && loggStarted == 1) {
        inPlane = 0;
        const double t = stampLogTime();
        utAvPlanTick = currentTick();
        eventlog::writeLeftPlane(loggFile.get(), t);
    }
    if (area > 0 && inPlane == 0 && loggStarted == 1) {
        inPlane = 1;
        stampLogTime();
        eventlog::writeEnteredPlane(loggFile.get(), logTime, elapsedSeconds(utAvPlanTick, logTick));
    }

    if (inBrennpunkt == 0 && inSkuddIntervall == 1 && loggStarted == 1) {
        inSkuddIntervall = 0;
        eventlog::writeIntervalEnds(loggFile.get(), stampLogTime());
    }
    inBrennpunkt = 0;

    const bool aimOnFocalArea = onFocalArea(cv::Point(brennpunktX, brennpunktY),
                                            brennpunktRect.size(), aimX, aimY, gateMarginPx);
    if (!aimOnFocalArea || loggStarted != 1 || cvRound(area) == 0) {
        return;
    }

    inBrennpunkt = 1;
    if (inSkuddIntervall == 0) {
        inSkuddIntervall = 1;
        eventlog::writeIntervalStarts(loggFile.get(), stampLogTime());
    }
    registrerTreff();
    drawFocalArea(cv::Scalar(0, 255, 0));
    brennpunktDrawn = 1;
    emit updateSkuddLcd(antallSkudd);
}
