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

QString percentIntervalText(const std::optional<Interval>& interval) {
    if (!interval) {
        return QStringLiteral("n/a");
    }
    return QStringLiteral("%1 to %2 %")
        .arg(interval->low * 100.0, 0, 'f', 1)
        .arg(interval->high * 100.0, 0, 'f', 1);
}

QString gainIntervalText(const std::optional<Interval>& interval) {
    if (!interval) {
        return QStringLiteral("n/a");
    }
    const auto signedPoints = [](double gain) {
        return QStringLiteral("%1%2").arg(gain >= 0 ? "+" : "").arg(gain * 100.0, 0, 'f', 1);
    };
    return QStringLiteral("%1 to %2 points")
        .arg(signedPoints(interval->low), signedPoints(interval->high));
}

QString verdictText(const std::optional<Interval>& gain, std::int64_t shotsWithTracking,
                    std::int64_t shotsWithout) {
    const QString shots = QStringLiteral("%1 shots with tracking, %2 without")
                              .arg(shotsWithTracking)
                              .arg(shotsWithout);
    if (!gain) {
        return QStringLiteral("This run cannot tell whether tracking helps: one way fired no "
                              "shot (%1)")
            .arg(shots);
    }
    switch (gainVerdict(gain)) {
    case GainVerdict::Helps:
        return QStringLiteral("Tracking helps: the gain's 95 % interval lies above 0 (%1)")
            .arg(shots);
    case GainVerdict::Hurts:
        return QStringLiteral("Tracking hurts: the gain's 95 % interval lies below 0 (%1)")
            .arg(shots);
    case GainVerdict::CannotTell:
        break;
    }
    return QStringLiteral("This run cannot tell whether tracking helps: the gain's 95 % interval "
                          "holds 0 (%1)")
        .arg(shots);
}
