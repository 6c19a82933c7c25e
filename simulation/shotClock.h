// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <optional>

// The time between two shots, in single precision: 60 / rate x 1000, dividing
// first. 70 shots per minute give 857.142883 ms, not 857.142857.
float shotPeriodMs(int skuddPerMin);

// The shots that the lithotripter would have fired over `trackingMs` at a
// period of `msPerSkudd` without tracking, truncated toward zero.
int shotsWithoutTracking(int trackingMs, float msPerSkudd);

// What a reader of the figures must know where a tick of `tickMs` is longer
// than the period of shots at `skuddPerMin`: the hit test runs once a tick,
// so tracking fires at most one shot a tick while the fixed focus fires one
// every period, and the comparison of the two (the tissue shots spared above
// all) favours tracking. None where the tick is no longer than the period.
std::optional<QString> tickLongerThanShotPeriod(double tickMs, int skuddPerMin);
