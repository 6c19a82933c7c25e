// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "evaluation/runRecord.h"

#include "tracking/recordingInfo.h"

#include <QByteArray>

// The per-tick track of a replay as plain CSV: a header row, then one row per
// playing tick, numbers with a decimal point whatever the locale.
QByteArray trackCsvHeader();
QByteArray trackCsvRow(const TickRecord& tick);

// The track's header and a row (as trackCsvHeader and trackCsvRow give them,
// ending in '\n') with the centre in millimetres as their last columns,
// centre_x_mm and centre_y_mm.
QByteArray withCentreInMmHeader(QByteArray header);
QByteArray withCentreInMm(QByteArray row, const TickRecord& tick, const MmPerPixel& scale);
