// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The time between two shots, in single precision: 60 / rate x 1000, dividing
// first. 70 shots per minute give 857.142883 ms, not 857.142857.
float shotPeriodMs(int skuddPerMin);

// The shots that the lithotripter would have fired over `trackingMs` at a
// period of `msPerSkudd` without tracking, truncated toward zero.
int shotsWithoutTracking(int trackingMs, float msPerSkudd);
