// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/trackerTable.h"

#include "common/outputFiles.h"
#include "evaluation/figureText.h"
#include "report/evaluationReport.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

QString msText(double ms) {
    return QString::number(ms, 'f', 3);
}

QString pxText(const std::optional<ErrorStats>& error, double ErrorStats::*field) {
    return error ? QString::number((*error).*field, 'f', 1) : QStringLiteral("n/a");
}

QString mmText(const std::optional<ErrorStats>& error, double ErrorStats::*field) {
    return error ? QString::number((*error).*field, 'f', 2) : QStringLiteral("n/a");
}

} // namespace

QString trackerTable(const RunSettings& settings, const std::vector<TrackerRow>& rows,
                     double cycleMsPerTick) {
    // Where the run is calibrated, the error in millimetres follows in two more columns.
    const bool inMm = settings.mmPerPixel.has_value();
    const QString format = QStringLiteral("%1 %2 %3 %4 %5 %6 %7%8\n");
    QString out = QStringLiteral("Trackers at %1 ms latency, lost below %2:\n")
                      .arg(settings.timing.latencyMs)
                      .arg(settings.lostBelow);
    out += format.arg("tracker", -10)
               .arg("error mean px", 14)
               .arg("p95 px", 8)
               .arg("plane", 8)
               .arg("on stone", 9)
               .arg("tissue", 7)
               .arg("ms/tick", 8)
               .arg(inMm ? QStringLiteral("  mean mm  p95 mm") : QString());
    for (const TrackerRow& row : rows) {
        const Evaluation& e = row.evaluation;
        QString millimetres;
        if (inMm) {
            const std::optional<ErrorStats> mm =
                e.millimetres ? e.millimetres->trackingError : std::nullopt;
            millimetres = QStringLiteral("%1%2")
                              .arg(mmText(mm, &ErrorStats::meanPx), 9)
                              .arg(mmText(mm, &ErrorStats::p95Px), 8);
        }
        out += format.arg(QString::fromLatin1(trackerName(row.kind)), -10)
                   .arg(pxText(e.trackingError, &ErrorStats::meanPx), 14)
                   .arg(pxText(e.trackingError, &ErrorStats::p95Px), 8)
                   .arg(percentText(e.planeAgreement()), 8)
                   .arg(e.tracking.onStone, 9)
                   .arg(e.tracking.tissue(), 7)
                   .arg(msText(row.msPerTick), 8)
                   .arg(millimetres);
    }
    out += QStringLiteral("The window's tick without the trackers beside its own (decoding, "
                          "thresholding, %1, treatment): %2 ms\n")
               .arg(settings.tracker, msText(cycleMsPerTick));
    return out;
}

QJsonArray trackersJson(const RunSettings& settings, const std::vector<TrackerRow>& rows) {
    QJsonArray list;
    for (const TrackerRow& row : rows) {
        const Evaluation& e = row.evaluation;
        QJsonObject error;
        if (e.trackingError) {
            error = {{"ticks", static_cast<double>(e.trackingError->ticks)},
                     {"mean", e.trackingError->meanPx},
                     {"p95", e.trackingError->p95Px}};
        }
        QJsonObject entry{
            {"tracker", trackerName(row.kind)},
            {"tracking_error_px", e.trackingError ? QJsonValue(error) : QJsonValue()},
            {"plane_agreement",
             e.planeAgreement() ? QJsonValue(*e.planeAgreement()) : QJsonValue()},
            {"shots_on_stone", static_cast<double>(e.tracking.onStone)},
            {"tissue_shots", static_cast<double>(e.tracking.tissue())},
            {"latency_ms", settings.timing.latencyMs},
            {"ms_per_tick", row.msPerTick},
        };
        if (e.millimetres && e.millimetres->trackingError) {
            const ErrorStats& mm = *e.millimetres->trackingError;
            entry.insert("tracking_error_mm", QJsonObject{{"ticks", static_cast<double>(mm.ticks)},
                                                          {"mean", mm.meanPx},
                                                          {"p95", mm.p95Px}});
        }
        list.append(entry);
    }
    return list;
}

Refusable<> writeReportWithTrackers(const VideoFileName& path, const RunSettings& settings,
                                    const QString& truthPath, const Evaluation& evaluation,
                                    const std::vector<SweepPoint>& sweep,
                                    const std::vector<TrackerRow>& rows) {
    QJsonDocument document = evaluationJson(settings, truthPath, evaluation, sweep);
    QJsonObject root = document.object();
    root.insert("trackers", trackersJson(settings, rows));
    document.setObject(root);
    if (const Refusable<> written =
            replaceFile(path.bytes, document.toJson(QJsonDocument::Indented));
        !written) {
        return Refusal{QStringLiteral("%1: cannot be written: %2")
                           .arg(path.shown(), written.refusal().message)};
    }
    return {};
}
