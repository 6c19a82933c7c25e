// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QRectF>
#include <QString>
#include <vector>

// What the pictures of a run share: their font, axes that map values onto
// pixels, and round tick marks.
namespace plot {

QFont font(int pixels, bool bold = false);

// Maps values onto pixels; `to` may lie below `from` (a vertical axis).
struct Axis {
    double from = 0.0;
    double to = 1.0;
    double pixelFrom = 0.0;
    double pixelTo = 1.0;

    double operator()(double value) const {
        return pixelFrom + (value - from) / (to - from) * (pixelTo - pixelFrom);
    }
};

// Round steps (1, 2 or 5 times a power of ten), about `count` of them.
std::vector<double> roundTicks(double from, double to, int count);

QString tickLabel(double value);

// A panel's label, written upward along its left side.
void drawPanelLabel(QPainter& painter, const QRectF& panel, const QString& label,
                    const QColor& colour);

} // namespace plot
