// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

// Where a marked rectangle lies against the processed region (the region of
// interest, which alone is blurred and thresholded for the tracker).
enum class MarkPlace {
    Inside,
    PartlyOutside,
    Outside,
    // Wider or taller than the region: no place of the region holds it.
    LargerThanRegion,
};

MarkPlace markPlace(const QRect& mark, const QRect& region);

// The top-left corner of a region of `regionSize` centred on `mark` as nearly
// as the region's sliders allow: each coordinate within 0 .. `most`.
QPoint regionOntoMark(const QRect& mark, QSize regionSize, QPoint most);
