// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tracking/recordingInfo.h"

// Distances of a calibrated run in millimetres beside its pixels. Pixels need
// not be square: a step of (dx, dy) pixels is hypot(dx * x, dy * y) mm.

double distanceMm(double dxPx, double dyPx, const MmPerPixel& scale);

// The least distance in millimetres that `px` pixels span along either axis.
double shortestMm(double px, const MmPerPixel& scale);

// The pixels that span at least `mm` along both axes.
double pixelsSpanning(double mm, const MmPerPixel& scale);
