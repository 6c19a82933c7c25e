// SPDX-License-Identifier: GPL-3.0-or-later
#include "simulation/shotClock.h"

#include "app/MainWindow.h"
#include "log/eventLog.h"
#include "log/ticks.h"

float shotPeriodMs(int skuddPerMin) {
    const double perShot = 60.0f / static_cast<double>(skuddPerMin);
    return static_cast<float>(perShot * 1000.0f);
}

int shotsWithoutTracking(int trackingMs, float msPerSkudd) {
    return static_cast<int>(static_cast<double>(trackingMs) / static_cast<double>(msPerSkudd));
}

// The box also reports its value when Return is pressed without an edit; only
// a new rate is a change of the rate.
void MainWindow::endreSkuddFrekvens(int verdi) {
    if (verdi == skuddPerMin) {
        return;
    }
    skuddPerMin = verdi;
    msPerSkudd = shotPeriodMs(skuddPerMin);
    eventlog::writeRateChanged(loggFile.get(), stampLogTime(), msPerSkudd, skuddPerMin);
}

// A shot is fired on the focal area at most once per shot period; the clock is
// not reset while the centre is elsewhere.
void MainWindow::registrerTreff() {
    const std::int64_t now = currentTick();
    const std::int32_t sinceLast = elapsedMs(now, lastSkuddTick);
    if (static_cast<double>(sinceLast) < msPerSkudd) {
        return;
    }
    ++antallSkudd;
    lastSkuddTick = currentTick();
    eventlog::writeHit(loggFile.get(), stampLogTime(), sinceLast);
}
