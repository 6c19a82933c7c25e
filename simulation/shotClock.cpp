// SPDX-License-Identifier: GPL-3.0-or-later
#include "simulation/shotClock.h"

#include "app/MainWindow.h"
#include "log/eventLog.h"
#include "log/ticks.h"

#include <cmath>

float shotPeriodMs(int skuddPerMin) {
    const double perShot = 60.0f / static_cast<double>(skuddPerMin);
    return static_cast<float>(perShot * 1000.0f);
}

int shotsWithoutTracking(int trackingMs, float msPerSkudd) {
    return static_cast<int>(static_cast<double>(trackingMs) / static_cast<double>(msPerSkudd));
}

std::optional<QString> tickLongerThanShotPeriod(double tickMs, int skuddPerMin) {
    const double periodMs = shotPeriodMs(skuddPerMin);
    if (tickMs <= periodMs) {
        return std::nullopt;
    }
    return QStringLiteral("Each tick lasts %1 ms, longer than the %2 ms from shot to shot at %3 "
                          "shots/min: tracking can fire at most one shot a tick while the fixed "
                          "focus fires one every %2 ms, so the shots with tracking are too few "
                          "and the tissue shots spared too many. A clock (--clock) of at most "
                          "%2 ms compares them fairly.")
        .arg(QString::number(tickMs, 'f', tickMs == std::floor(tickMs) ? 0 : 3))
        .arg(QString::number(periodMs, 'f', periodMs == std::floor(periodMs) ? 0 : 3))
        .arg(skuddPerMin);
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
