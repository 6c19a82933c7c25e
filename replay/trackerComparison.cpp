// SPDX-License-Identifier: GPL-3.0-or-later
#include "replay/trackerComparison.h"

#include "app/MainWindow.h"
#include "common/outputFiles.h"
#include "replay/latencySweepRun.h"
#include "simulation/evaluationReport.h"
#include "simulation/figureText.h"

#include <QJsonObject>
#include <QStringList>
#include <algorithm>
#include <chrono>
#include <future>

namespace {

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

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

void followWith(MainWindow& window, const TrackerChoice& choice) {
    window.lostBelow = choice.lostBelow;
    if (!choice.compared.empty()) {
        window.regionTracker = std::make_unique<TrackerComparison>(
            choice.compared, choice.tracker, choice.lostBelow, choice.threads);
    } else if (choice.tracker != TrackerKind::MeanShift) {
        window.regionTracker = makeRegionTracker(choice.tracker);
    } else {
        window.regionTracker.reset();
    }
}

TrackerComparison::TrackerComparison(const std::vector<TrackerKind>& compared, TrackerKind ownKind,
                                     double lostBelow, int threads)
    : compareCount(compared.size()), lostBelow(lostBelow) {
    std::vector<TrackerKind> kinds = compared;
    const auto found = std::find(kinds.begin(), kinds.end(), ownKind);
    own = static_cast<std::size_t>(found - kinds.begin());
    if (found == kinds.end()) {
        kinds.push_back(ownKind);
    }
    for (const TrackerKind kind : kinds) {
        runners.push_back({Track{kind, {}, 0.0, 0}, makeRegionTracker(kind), {}, 0.0});
    }
    groups.resize(
        std::clamp<std::size_t>(static_cast<std::size_t>(std::max(1, threads)), 1, runners.size()));
    for (std::size_t i = 0; i < runners.size(); ++i) {
        groups[i % groups.size()].push_back(i);
    }
}

bool TrackerComparison::start(const cv::Mat& frame, const cv::Mat& plane, const cv::Rect& region) {
    for (Runner& runner : runners) {
        runner.latest = {region, 0.0, 0.0};
        if (!runner.tracker->start(frame, plane, region)) {
            refusedKind = runner.track.kind;
            return false;
        }
    }
    return true;
}

// The trackers only read the frame and the plane, which stay as they are
// until every group has finished.
TrackStep TrackerComparison::follow(const cv::Mat& frame, const cv::Mat& plane) {
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::future<void>> others;
    for (std::size_t group = 1; group < groups.size(); ++group) {
        others.push_back(std::async(std::launch::async, &TrackerComparison::followGroup, this,
                                    group, std::cref(frame), std::cref(plane)));
    }
    followGroup(0, frame, plane);
    for (std::future<void>& done : others) {
        done.get();
    }
    followSeconds += secondsSince(start);
    return runners[own].latest;
}

void TrackerComparison::followGroup(std::size_t group, const cv::Mat& frame, const cv::Mat& plane) {
    for (const std::size_t i : groups[group]) {
        Runner& runner = runners[i];
        const auto start = std::chrono::steady_clock::now();
        runner.latest = runner.tracker->follow(frame, plane);
        runner.tickSeconds += secondsSince(start);
        ++runner.track.follows;
    }
}

// What the trackers beside the run's own cost the tick is the time it waited
// for them: all their time on one thread, the longest group's on several.
void TrackerComparison::closeTick(double seconds) {
    const double others = followSeconds - runners[own].tickSeconds;
    for (Runner& runner : runners) {
        runner.track.steps.push_back(judgedStep(runner.latest, lostBelow));
        runner.track.seconds += runner.tickSeconds;
        runner.tickSeconds = 0.0;
    }
    followSeconds = 0.0;
    cycleSeconds += std::max(0.0, seconds - others);
    ++ticks;
}

std::vector<TrackerComparison::Track> TrackerComparison::compared() const {
    std::vector<Track> tracks;
    for (std::size_t i = 0; i < compareCount; ++i) {
        tracks.push_back(runners[i].track);
    }
    return tracks;
}

double TrackerComparison::cycleSecondsPerTick() const {
    return ticks > 0 ? cycleSeconds / static_cast<double>(ticks) : 0.0;
}

TrackerComparison* comparisonOf(MainWindow& window) {
    return dynamic_cast<TrackerComparison*>(window.regionTracker.get());
}

namespace {

QString refusedTrackerName(MainWindow& window, const TrackerChoice& choice) {
    if (const TrackerComparison* comparison = comparisonOf(window)) {
        if (comparison->refused()) {
            return trackerName(*comparison->refused());
        }
    }
    return trackerName(choice.tracker);
}

} // namespace

QString trackerRefusal(MainWindow& window, const TrackerChoice& choice, const cv::Rect& region) {
    return QStringLiteral("the %1 tracker cannot start on the marked region %2,%3,%4,%5")
        .arg(refusedTrackerName(window, choice))
        .arg(region.x)
        .arg(region.y)
        .arg(region.width)
        .arg(region.height);
}

RunRecord withTrack(const RunRecord& run, const std::vector<TrackStep>& steps) {
    RunRecord record = run;
    for (std::size_t i = 0; i < record.size() && i < steps.size(); ++i) {
        TickRecord& tick = record[i];
        const TrackStep& step = steps[i];
        tick.track = step.box;
        tick.centreX = step.box.x + step.box.width / 2;
        tick.centreY = step.box.y + step.box.height / 2;
        tick.area = step.area;
        tick.inPlane = step.area > 0;
        tick.confidence = step.confidence;
    }
    return record;
}

std::vector<TrackerRow> judgeTrackers(MainWindow& window, ManualClock& clock,
                                      const RunSettings& settings, const RunRecord& run,
                                      const GroundTruth& truth,
                                      const TrackerComparison& comparison) {
    std::vector<TrackerRow> rows;
    for (const TrackerComparison::Track& track : comparison.compared()) {
        RunSettings own = settings;
        own.tracker = trackerName(track.kind);
        const RunRecord again = treatAgain(window, clock, withTrack(run, track.steps), own.timing);
        const double ms = track.follows > 0 ? track.seconds * 1000.0 / track.follows : 0.0;
        rows.push_back({track.kind, evaluateRun(own, again, truth), ms, again});
    }
    return rows;
}

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

std::optional<QString>
writeReportWithTrackers(const VideoFileName& path, const RunSettings& settings,
                        const QString& truthPath, const Evaluation& evaluation,
                        const std::vector<SweepPoint>& sweep, const std::vector<TrackerRow>& rows) {
    QJsonDocument document = evaluationJson(settings, truthPath, evaluation, sweep);
    QJsonObject root = document.object();
    root.insert("trackers", trackersJson(settings, rows));
    document.setObject(root);
    if (const std::optional<QString> problem =
            replaceFile(path.bytes, document.toJson(QJsonDocument::Indented))) {
        return QStringLiteral("%1: cannot be written: %2").arg(path.shown(), *problem);
    }
    return std::nullopt;
}
