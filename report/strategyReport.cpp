// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/strategyReport.h"

#include "evaluation/figureText.h"

namespace {

// The head speed limit as given, and its unit; none: no limit.
std::optional<std::pair<double, QString>> headSpeed(const RunSettings& s) {
    if (s.headSpeedMmPerS) {
        return std::pair{*s.headSpeedMmPerS, QStringLiteral("mm/s")};
    }
    if (s.headSpeedPxPerS) {
        return std::pair{*s.headSpeedPxPerS, QStringLiteral("px/s")};
    }
    return std::nullopt;
}

QString sizeText(double width, double height, const char* unit) {
    return QStringLiteral("%1 x %2 %3").arg(width).arg(height).arg(QLatin1String(unit));
}

} // namespace

void addStrategySettings(QJsonObject& json, const RunSettings& s) {
    json.insert("stone_size_px",
                QJsonObject{{"width", s.stoneSize.width}, {"height", s.stoneSize.height}});
    if (s.mmPerPixel) {
        json.insert("stone_size_mm", QJsonObject{{"width", s.stoneSize.width * s.mmPerPixel->x},
                                                 {"height", s.stoneSize.height * s.mmPerPixel->y}});
    }
    const auto limit = headSpeed(s);
    json.insert("head_speed_limit",
                limit ? QJsonValue(QJsonObject{{"value", limit->first}, {"unit", limit->second}})
                      : QJsonValue(QJsonValue::Null));
}

QString strategyLine(const RunSettings& s, const Evaluation& e) {
    const bool point = s.stoneSize.width == 0 && s.stoneSize.height == 0;
    QString stone = !point ? QStringLiteral("a %1 stone")
                                 .arg(sizeText(s.stoneSize.width, s.stoneSize.height, "px"))
                           : QStringLiteral("a point stone");
    if (s.mmPerPixel && !point) {
        stone += QStringLiteral(" (%1)").arg(sizeText(s.stoneSize.width * s.mmPerPixel->x,
                                                      s.stoneSize.height * s.mmPerPixel->y, "mm"));
    }
    const auto limit = headSpeed(s);
    const QString head = limit
                             ? QStringLiteral("at most %1 %2").arg(limit->first).arg(limit->second)
                             : QStringLiteral("without a speed limit");
    QString line =
        QStringLiteral("On the stone: the focal area overlaps %1 at arrival\n").arg(stone);
    if (e.byFocusLabels) {
        return line + QStringLiteral("Following: not judged, it needs the stone's positions\n");
    }
    return line + QStringLiteral("Following: the head moves %1; %2 shots withheld while the "
                                 "tracker had lost the stone\n")
                      .arg(head)
                      .arg(e.followingWithheld);
}

QByteArrayList strategySummaryColumns() {
    return {"following_shots",
            "following_shots_on_stone",
            "following_tissue_shots",
            "following_efficiency",
            "following_withheld",
            "stone_w_px",
            "stone_h_px",
            "head_speed",
            "head_speed_unit"};
}

QStringList strategySummaryFields(const RunSettings& s, const Evaluation& e) {
    const auto limit = headSpeed(s);
    return {QString::number(e.following.fired),    QString::number(e.following.onStone),
            QString::number(e.following.tissue()), csvFigure(e.following.efficiency(), 6),
            QString::number(e.followingWithheld),  csvFigure(s.stoneSize.width, 3),
            csvFigure(s.stoneSize.height, 3),      limit ? csvFigure(limit->first, 3) : QString(),
            limit ? limit->second : QString()};
}
