// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/truthKindReport.h"

#include "evaluation/figureText.h"
#include "evaluation/observerDifference.h"
#include "report/figureJson.h"
#include "report/millimetreReport.h"

void addTruthKind(QJsonObject& root, const Evaluation& e) {
    root.insert("truth_kind", e.byFocusLabels ? "in_focus" : "positions");
    if (e.byFocusLabels) {
        for (const char* figure : {"truth_in_plane_ticks", "tracking_error_px",
                                   "aim_error_at_arrival_px", "plane_agreement"}) {
            root.remove(QLatin1String(figure));
        }
        QJsonObject motion = root.value("motion").toObject();
        motion.remove("truth");
        root.insert("motion", motion);
        root.insert("left_out", QLatin1String(focusLabelsNote));
    }
    if (!e.observersCompared) {
        return;
    }
    root.insert("observer_difference_px", errorStatsJson(e.observerDifference));
    if (e.millimetres) {
        root.insert("observer_difference_mm", errorStatsJson(e.millimetres->observerDifference));
    }
}

QString observerDifferenceLine(const Evaluation& e) {
    if (!e.observersCompared) {
        return {};
    }
    const QString what = QStringLiteral("Observer difference");
    if (!e.observerDifference) {
        return what + QStringLiteral(" (px): n/a (no tick in plane in both annotations)\n");
    }
    const ErrorStats& stats = *e.observerDifference;
    QString line =
        QStringLiteral("%1 (px): mean %2  median %3  95th %4  max %5 (the human baseline)\n")
            .arg(what, distanceText(stats.meanPx), distanceText(stats.medianPx),
                 distanceText(stats.p95Px), distanceText(stats.maxPx));
    if (e.millimetres) {
        line += millimetreErrorLine(what, e.millimetres->observerDifference);
    }
    return line;
}
