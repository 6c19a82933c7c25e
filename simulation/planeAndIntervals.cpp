#include "app/MainWindow.h"

#include "log/eventLog.h"
#include "log/ticks.h"

// The treatment side of a tracking tick. The stone is in the imaging plane while
// the tracking window holds any bright pixel; a tick is a hit when the window's
// centre lies on the focal area (edges included); a shot interval opens with a
// hit and closes on the first tracking tick after a tick without one. Nothing
// happens before logging has been started.
void MainWindow::updatePlaneAndIntervals() {
    const double area = trackComp.area;

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

    const bool onFocalArea =
        brennpunktX <= trackCenterX && trackCenterX <= brennpunktX + brennpunktRect.width &&
        brennpunktY <= trackCenterY && trackCenterY <= brennpunktY + brennpunktRect.height;
    if (!onFocalArea || loggStarted != 1 || cvRound(area) == 0) {
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
