// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MainWindow.h"

#include "log/eventLog.h"
#include "log/ticks.h"
#include "simulation/shotClock.h"

// Compares the shots fired on the stone with tracking against those that the
// rate in force at exit would have fired over the whole tracking period. One
// tick reading serves the whole summary.
void MainWindow::writeSummary() {
    logTick = currentTick();
    const std::int32_t trackingMs = elapsedMs(logTick, trackingStartTick);
    const float trackingSeconds = static_cast<float>(elapsedSeconds(trackingStartTick, logTick));
    const double t = elapsedSeconds(startTick, logTick);
    logTime = static_cast<float>(t);

    eventlog::writeShotsWithoutTracking(loggFile.get(), t, skuddPerMin,
                                        shotsWithoutTracking(trackingMs, msPerSkudd),
                                        trackingSeconds);
    eventlog::writeShotsWithTracking(loggFile.get(), logTime, antallSkudd);
}
