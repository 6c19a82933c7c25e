// SPDX-License-Identifier: GPL-3.0-or-later
#include "evaluation/figureText.h"

QString percentText(const std::optional<double>& share) {
    return share ? QStringLiteral("%1 %").arg(*share * 100.0, 0, 'f', 1) : QStringLiteral("n/a");
}

QString gainText(const std::optional<double>& gain) {
    if (!gain) {
        return QStringLiteral("n/a");
    }
    return QStringLiteral("%1%2 points").arg(*gain >= 0 ? "+" : "").arg(*gain * 100.0, 0, 'f', 1);
}

QString distanceText(double pixels) {
    return QString::number(pixels, 'f', 1);
}

QString csvFigure(const std::optional<double>& value, int decimals) {
    return value ? QString::number(*value, 'f', decimals) : QString();
}
