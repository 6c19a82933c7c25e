// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/plotAxes.h"

#include <cmath>

namespace plot {

QFont font(int pixels, bool bold) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

std::vector<double> roundTicks(double from, double to, int count) {
    const double rough = (to - from) / count;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    double step = power;
    for (double factor : {2.0, 5.0, 10.0}) {
        if (step < rough) {
            step = power * factor;
        }
    }
    std::vector<double> ticks;
    for (double value = std::ceil(from / step) * step; value <= to + step * 1e-9; value += step) {
        ticks.push_back(std::abs(value) < step * 1e-9 ? 0.0 : value);
    }
    return ticks;
}

QString tickLabel(double value) {
    return QString::number(value, 'g', 6);
}

void drawPanelLabel(QPainter& painter, const QRectF& panel, const QString& label,
                    const QColor& colour) {
    painter.save();
    painter.setPen(colour);
    painter.setFont(font(14, true));
    painter.translate(panel.left() - 84, panel.center().y());
    painter.rotate(-90);
    painter.drawText(QRectF(-panel.height() / 2, -12, panel.height(), 24), Qt::AlignCenter, label);
    painter.restore();
}

} // namespace plot
