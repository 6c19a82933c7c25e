// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "simulation/runRecord.h"

#include <QByteArray>

// The per-tick track of a replay as plain CSV: a header row, then one row per
// playing tick, numbers with a decimal point whatever the locale.
QByteArray trackCsvHeader();
QByteArray trackCsvRow(const TickRecord& tick);
