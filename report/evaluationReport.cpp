// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/evaluationReport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/outputFiles.h"
#include "evaluation/calibration.h"
#include "evaluation/figureText.h"
#include "evaluation/runWarnings.h"
#include "report/figureJson.h"
#include "report/millimetreReport.h"
#include "report/strategyReport.h"
#include "report/truthKindReport.h"
#include "simulation/shotClock.h"

namespace {

QString thresholdText(const RunSettings& settings) {
    return settings.fixedThreshold ? QString::number(*settings.fixedThreshold)
                                   : QStringLiteral("auto");
}

QJsonValue count(std::int64_t value) {
    return QJsonValue(static_cast<qint64>(value));
}

QJsonObject rectangle(int x, int y, int width, int height) {
    return {{"x", x}, {"y", y}, {"width", width}, {"height", height}};
}

QJsonObject settingsJson(const RunSettings& s) {
    const cv::Rect& sel = s.selection;
    QJsonObject json{
        {"selection", rectangle(sel.x, sel.y, sel.width, sel.height)},
        {"rate_per_min", s.rate},
        {"shot_period_ms", static_cast<double>(shotPeriodMs(s.rate))},
        {"focal_area", rectangle(s.focal.x, s.focal.y, s.focalSize.width, s.focalSize.height)},
        {"roi", QJsonObject{{"x", s.roi.x},
                            {"y", s.roi.y},
                            {"width", s.roiSize.width},
                            {"height", s.roiSize.height},
                            {"auto", s.roiFromMark}}},
        {"filter", s.filter},
        {"threshold", s.fixedThreshold ? QJsonValue(*s.fixedThreshold) : QJsonValue("auto")},
        {"ticks", count(s.ticks)},
        {"tick_seconds", s.tickMs / 1000.0},
        {"latency_ms", s.timing.latencyMs},
        {"predict", predictionName(s.timing.predict)},
        {"predict_window", s.timing.predictWindow},
        {"gate_margin_px", s.timing.gateMarginPx},
        {"tracker", s.tracker},
        {"lost_below", s.lostBelow},
    };
    addRecordingSettings(json, s);
    json.insert("threshold_from_mark", s.thresholdFromMark);
    addStrategySettings(json, s);
    return json;
}

QJsonObject motionJson(const MotionFigures& motion) {
    return {{"in_plane_ticks", count(motion.samples)},
            {"breaths_per_min", orNull(motion.breathsPerMin)},
            {"peak_to_peak_px", orNull(motion.peakToPeakPx)},
            {"peak_speed_px_s", orNull(motion.peakSpeedPxPerS)},
            {"on_focal_area_share", orNull(motion.onFocalAreaShare)}};
}

QString figureOrNa(const std::optional<double>& value, const QString& unit) {
    return value ? distanceText(*value) + unit : QStringLiteral("n/a");
}

QString motionLine(const QString& whose, const MotionFigures& motion) {
    return QStringLiteral("Motion (%1): %2 breaths/min, %3 peak to peak, peak speed %4, "
                          "on the focal area %5 of its time in plane\n")
        .arg(whose, figureOrNa(motion.breathsPerMin, QString()),
             figureOrNa(motion.peakToPeakPx, QStringLiteral(" px")),
             figureOrNa(motion.peakSpeedPxPerS, QStringLiteral(" px/s")),
             percentText(motion.onFocalAreaShare));
}

QString errorLine(const QString& what, const std::optional<ErrorStats>& stats) {
    if (!stats) {
        return what + QStringLiteral(" (px): n/a\n");
    }
    return QStringLiteral("%1 (px): mean %2  median %3  95th %4  max %5\n")
        .arg(what, distanceText(stats->meanPx), distanceText(stats->medianPx),
             distanceText(stats->p95Px), distanceText(stats->maxPx));
}

// Says how the shots were timed and aimed where that is not the window's way.
QString timingLine(const ShotTiming& timing) {
    if (timing.latencyMs == 0 && timing.predict == Prediction::None && timing.gateMarginPx == 0) {
        return {};
    }
    QString aim = QStringLiteral("the tracked centre");
    if (timing.predict == Prediction::Linear) {
        aim = QStringLiteral("the linear prediction over %1 ticks").arg(timing.predictWindow);
    } else if (timing.predict == Prediction::Kalman) {
        aim = QStringLiteral("the Kalman prediction");
    }
    return QStringLiteral("Shots arrive %1 ms after their image; the hit test aims at %2, %3 px "
                          "inside the focal area's edges\n")
        .arg(timing.latencyMs)
        .arg(aim)
        .arg(timing.gateMarginPx);
}

QJsonValue intervalJson(const std::optional<Interval>& interval) {
    return interval ? QJsonValue(QJsonArray{interval->low, interval->high})
                    : QJsonValue(QJsonValue::Null);
}

const char* verdictName(const std::optional<Interval>& gain) {
    switch (gainVerdict(gain)) {
    case GainVerdict::Helps:
        return "helps";
    case GainVerdict::Hurts:
        return "hurts";
    case GainVerdict::CannotTell:
        break;
    }
    return "cannot tell";
}

QJsonObject tallyJson(const ShotTally& tally) {
    return {{"shots_fired", count(tally.fired)},
            {"shots_on_stone", count(tally.onStone)},
            {"tissue_shots", count(tally.tissue())},
            {"shots_not_annotated", count(tally.notAnnotated)},
            {"shot_efficiency", orNull(tally.efficiency())},
            {"shot_efficiency_ci95", intervalJson(tally.efficiencyCi95())}};
}

QJsonObject withTrackingJson(const Evaluation& e) {
    QJsonObject withTracking = tallyJson(e.tracking);
    withTracking.insert("hits", count(e.hits()));
    withTracking.insert("true_hits", count(e.trueHits()));
    withTracking.insert("false_hits", count(e.falseHits()));
    return withTracking;
}

QJsonObject followingJson(const Evaluation& e) {
    QJsonObject following = tallyJson(e.following);
    following.insert("shots_withheld", count(e.followingWithheld));
    return following;
}

// A CSV field, quoted when it holds a separator, a quote, a line end or
// spaces at its ends that a reader would otherwise drop.
QByteArray csvField(const QString& text) {
    QByteArray field = text.toUtf8();
    if (!field.contains(',') && !field.contains('"') && !field.contains('\n') &&
        !field.contains('\r') && field == field.trimmed()) {
        return field;
    }
    field.replace("\"", "\"\"");
    return '"' + field + '"';
}

const char* const summaryColumns[] = {"video",
                                      "truth",
                                      "select_x",
                                      "select_y",
                                      "select_w",
                                      "select_h",
                                      "rate_per_min",
                                      "focal_x",
                                      "focal_y",
                                      "focal_w",
                                      "focal_h",
                                      "roi_x",
                                      "roi_y",
                                      "filter",
                                      "threshold",
                                      "ticks",
                                      "annotated_ticks",
                                      "truth_in_plane_ticks",
                                      "error_mean_px",
                                      "error_median_px",
                                      "error_p95_px",
                                      "error_max_px",
                                      "plane_agreement",
                                      "hits",
                                      "true_hits",
                                      "false_hits",
                                      "tracking_efficiency",
                                      "fixed_shots",
                                      "fixed_shots_on_stone",
                                      "fixed_tissue_shots",
                                      "fixed_efficiency",
                                      "efficiency_gain",
                                      "tracker"};

// The settings of the simulated shots and of the tracker's confidence, which
// change the figures of a row as much as the controls do: rows of runs that
// differ only in these are told apart by them.
QByteArrayList shotSettingColumns() {
    return {"latency_ms", "predict", "predict_window", "gate_margin_px", "lost_below"};
}

QStringList shotSettingFields(const RunSettings& s) {
    return {QString::number(s.timing.latencyMs), predictionName(s.timing.predict),
            QString::number(s.timing.predictWindow), csvFigure(s.timing.gateMarginPx, 3),
            csvFigure(s.lostBelow, 6)};
}

QString systemError(const QString& path, const char* doing) {
    return QStringLiteral("%1: cannot %2: %3")
        .arg(path, QLatin1String(doing), QString::fromLocal8Bit(std::strerror(errno)));
}

// False with errno set if not every byte could be written.
bool writeAll(int fd, const QByteArray& bytes) {
    const WrittenBytes written =
        writeFully(fd, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    if (written.bytes == static_cast<std::size_t>(bytes.size())) {
        return true;
    }
    errno = written.error != 0 ? written.error : EIO;
    return false;
}

} // namespace

QString evaluationTable(const RunSettings& settings, const Evaluation& e) {
    QString out;
    out += QStringLiteral("Ticks %1 (%2 s), annotated %3")
               .arg(e.ticks)
               .arg(static_cast<double>(e.ticks) * (settings.tickMs / 1000.0), 0, 'f', 1)
               .arg(e.annotatedTicks);
    out += e.byFocusLabels ? QStringLiteral("\n")
                           : QStringLiteral(", stone in plane on %1\n").arg(e.truthInPlaneTicks);
    out += timingLine(settings.timing);
    if (e.byFocusLabels) {
        out += QStringLiteral("Judged by labels of focus: %1\n").arg(focusLabelsNote);
    } else {
        out += errorLine(QStringLiteral("Tracking error"), e.trackingError);
        if (e.millimetres) {
            out +=
                millimetreErrorLine(QStringLiteral("Tracking error"), e.millimetres->trackingError);
        }
        out += observerDifferenceLine(e);
        if (!timingLine(settings.timing).isEmpty()) {
            out += errorLine(QStringLiteral("Aim error at arrival"), e.aimErrorAtArrival);
            if (e.millimetres) {
                out += millimetreErrorLine(QStringLiteral("Aim error at arrival"),
                                           e.millimetres->aimErrorAtArrival);
            }
        }
        out += QStringLiteral("Plane agreement: %1 (%2 of %3 ticks)\n")
                   .arg(percentText(e.planeAgreement()))
                   .arg(e.planeAgreeingTicks)
                   .arg(e.annotatedTicks);
    }
    const auto row = [](const QString& name, const QString& with, const QString& without,
                        const QString& following) {
        return QStringLiteral("%1%2%3%4\n")
            .arg(name, -18)
            .arg(with, 15)
            .arg(without, 15)
            .arg(following, 17);
    };
    out += row(QStringLiteral("%1 shots/min").arg(settings.rate), QStringLiteral("with tracking"),
               QStringLiteral("fixed focus"), QStringLiteral("following"));
    out += row(QStringLiteral("Shots fired"), QString::number(e.tracking.fired),
               QString::number(e.fixedFocus.fired), QString::number(e.following.fired));
    out += row(QStringLiteral("On the stone"), QString::number(e.tracking.onStone),
               QString::number(e.fixedFocus.onStone), QString::number(e.following.onStone));
    out += row(QStringLiteral("Tissue shots"), QString::number(e.tracking.tissue()),
               QString::number(e.fixedFocus.tissue()), QString::number(e.following.tissue()));
    if (e.tracking.notAnnotated + e.fixedFocus.notAnnotated + e.following.notAnnotated > 0) {
        out += row(QStringLiteral("Not annotated"), QString::number(e.tracking.notAnnotated),
                   QString::number(e.fixedFocus.notAnnotated),
                   QString::number(e.following.notAnnotated));
    }
    out += row(QStringLiteral("Shot efficiency"), percentText(e.tracking.efficiency()),
               percentText(e.fixedFocus.efficiency()), percentText(e.following.efficiency()));
    out += row(QStringLiteral("  95 % interval"), percentIntervalText(e.tracking.efficiencyCi95()),
               percentIntervalText(e.fixedFocus.efficiencyCi95()),
               percentIntervalText(e.following.efficiencyCi95()));
    out += strategyLine(settings, e);
    if (e.trackerNeverHeldStone()) {
        out += QStringLiteral("The tracker never held the stone: its window was empty on every "
                              "tick with the stone in the plane, and it fired no shot. Nothing "
                              "here measures tracking; check the marked region, the region of "
                              "interest and the threshold.\n");
    } else {
        out += QStringLiteral("Gain of tracking: %1 of shot efficiency (95 % interval %3); "
                              "tissue shots spared: %2\n")
                   .arg(gainText(e.efficiencyGain()))
                   .arg(e.tissueShotsSpared())
                   .arg(gainIntervalText(e.efficiencyGainCi95()));
    }
    out += verdictText(e.efficiencyGainCi95(), e.tracking.judged(), e.fixedFocus.judged()) + ".\n";
    out += motionLine(QStringLiteral("track"), e.trackMotion);
    if (!e.byFocusLabels) {
        out += motionLine(QStringLiteral("truth"), e.truthMotion);
    }
    out += millimetreMotionLine(e);
    for (const QString& warning : runWarnings(settings, e)) {
        out += QStringLiteral("Warning: %1\n").arg(warning);
    }
    return out;
}

QString sweepTable(const RunSettings& settings, const std::vector<SweepPoint>& sweep) {
    const auto row = [](const QStringList& cells) {
        return QStringLiteral("%1  %2%3%4%5%6%7%8%9%10\n")
            .arg(cells[0], 7)
            .arg(cells[1], -7)
            .arg(cells[2], 7)
            .arg(cells[3], 10)
            .arg(cells[4], 8)
            .arg(cells[5], 12)
            .arg(cells[6], 12)
            .arg(cells[7], 10)
            .arg(cells[8], 13)
            .arg(cells[9], 11);
    };
    QString out = QStringLiteral("Latency sweep at %1 shots/min: shots with tracking, their "
                                 "efficiency, the aim's error at arrival (px), the fixed "
                                 "focus's efficiency and the following focus's\n")
                      .arg(settings.rate);
    out += row({"latency", "predict", "fired", "on stone", "tissue", "efficiency", "aim median",
                "aim 95th", "fixed focus", "following"});
    for (const SweepPoint& point : sweep) {
        const Evaluation& e = point.evaluation;
        const std::optional<ErrorStats>& aim = e.aimErrorAtArrival;
        out += row({QStringLiteral("%1 ms").arg(point.latencyMs), predictionName(point.predict),
                    QString::number(e.tracking.fired), QString::number(e.tracking.onStone),
                    QString::number(e.tracking.tissue()), percentText(e.tracking.efficiency()),
                    aim ? distanceText(aim->medianPx) : QStringLiteral("n/a"),
                    aim ? distanceText(aim->p95Px) : QStringLiteral("n/a"),
                    percentText(e.fixedFocus.efficiency()), percentText(e.following.efficiency())});
    }
    return out;
}

QJsonDocument evaluationJson(const RunSettings& settings, const QString& truthPath,
                             const Evaluation& e, const std::vector<SweepPoint>& sweep) {
    QJsonObject root{
        {"video", settings.video},
        {"truth", truthPath},
        {"settings", settingsJson(settings)},
        {"ticks", count(e.ticks)},
        {"seconds", static_cast<double>(e.ticks) * (settings.tickMs / 1000.0)},
        {"annotated_ticks", count(e.annotatedTicks)},
        {"truth_in_plane_ticks", count(e.truthInPlaneTicks)},
        {"tracking_error_px", errorStatsJson(e.trackingError)},
        {"aim_error_at_arrival_px", errorStatsJson(e.aimErrorAtArrival)},
        {"plane_agreement", QJsonObject{{"agreeing_ticks", count(e.planeAgreeingTicks)},
                                        {"share", orNull(e.planeAgreement())}}},
        {"with_tracking", withTrackingJson(e)},
        {"without_tracking", tallyJson(e.fixedFocus)},
        {"following", followingJson(e)},
        {"efficiency_gain", orNull(e.efficiencyGain())},
        {"efficiency_gain_ci95", intervalJson(e.efficiencyGainCi95())},
        {"tracking_verdict", verdictName(e.efficiencyGainCi95())},
        {"tracker_held_stone", !e.trackerNeverHeldStone()},
        {"tissue_shots_spared",
         e.trackerNeverHeldStone() ? QJsonValue(QJsonValue::Null) : count(e.tissueShotsSpared())},
        {"motion",
         QJsonObject{{"track", motionJson(e.trackMotion)}, {"truth", motionJson(e.truthMotion)}}},
    };
    addMillimetreFigures(root, e);
    if (!sweep.empty()) {
        QJsonArray points;
        for (const SweepPoint& point : sweep) {
            const Evaluation& at = point.evaluation;
            QJsonObject pointJson{
                {"latency_ms", point.latencyMs},
                {"predict", predictionName(point.predict)},
                {"with_tracking", withTrackingJson(at)},
                {"without_tracking", tallyJson(at.fixedFocus)},
                {"following", followingJson(at)},
                {"efficiency_gain", orNull(at.efficiencyGain())},
                {"efficiency_gain_ci95", intervalJson(at.efficiencyGainCi95())},
                {"aim_error_at_arrival_px", errorStatsJson(at.aimErrorAtArrival)}};
            addSweepMillimetres(pointJson, at);
            points.append(pointJson);
        }
        root.insert("sweep", points);
    }
    addTruthKind(root, e);
    root.insert("warnings", QJsonArray::fromStringList(runWarnings(settings, e)));
    return QJsonDocument(root);
}

Refusable<> writeEvaluationJson(const VideoFileName& path, const RunSettings& settings,
                                const QString& truthPath, const Evaluation& evaluation,
                                const std::vector<SweepPoint>& sweep) {
    const QByteArray json =
        evaluationJson(settings, truthPath, evaluation, sweep).toJson(QJsonDocument::Indented);
    if (const Refusable<> written = replaceFile(path.bytes, json); !written) {
        return Refusal{QStringLiteral("%1: cannot be written: %2")
                           .arg(path.shown(), written.refusal().message)};
    }
    return {};
}

QByteArray summaryHeader() {
    QByteArrayList names;
    for (const char* name : summaryColumns) {
        names.append(name);
    }
    names.append(recordingSummaryColumns());
    names.append({"tracking_efficiency_ci95_low", "tracking_efficiency_ci95_high",
                  "fixed_efficiency_ci95_low", "fixed_efficiency_ci95_high",
                  "efficiency_gain_ci95_low", "efficiency_gain_ci95_high"});
    names.append(strategySummaryColumns());
    names.append(shotSettingColumns());
    return names.join(',') + '\n';
}

QByteArray summaryRow(const RunSettings& s, const QString& truthPath, const Evaluation& e) {
    const auto n = [](std::int64_t value) { return QString::number(value); };
    const std::optional<ErrorStats>& err = e.trackingError;
    const auto errorField = [&err](double ErrorStats::*field) {
        return csvFigure(err ? std::optional<double>((*err).*field) : std::nullopt, 3);
    };
    const QStringList fields{s.video,
                             truthPath,
                             n(s.selection.x),
                             n(s.selection.y),
                             n(s.selection.width),
                             n(s.selection.height),
                             n(s.rate),
                             n(s.focal.x),
                             n(s.focal.y),
                             n(s.focalSize.width),
                             n(s.focalSize.height),
                             n(s.roi.x),
                             n(s.roi.y),
                             n(s.filter),
                             thresholdText(s),
                             n(e.ticks),
                             n(e.annotatedTicks),
                             n(e.truthInPlaneTicks),
                             errorField(&ErrorStats::meanPx),
                             errorField(&ErrorStats::medianPx),
                             errorField(&ErrorStats::p95Px),
                             errorField(&ErrorStats::maxPx),
                             csvFigure(e.planeAgreement(), 6),
                             n(e.hits()),
                             n(e.trueHits()),
                             n(e.falseHits()),
                             csvFigure(e.tracking.efficiency(), 6),
                             n(e.fixedFocus.fired),
                             n(e.fixedFocus.onStone),
                             n(e.fixedFocus.tissue()),
                             csvFigure(e.fixedFocus.efficiency(), 6),
                             csvFigure(e.efficiencyGain(), 6),
                             s.tracker};
    QByteArrayList quoted;
    QStringList intervals;
    for (const std::optional<Interval>& interval :
         {e.tracking.efficiencyCi95(), e.fixedFocus.efficiencyCi95(), e.efficiencyGainCi95()}) {
        intervals << csvFigure(interval ? std::optional<double>(interval->low) : std::nullopt, 6)
                  << csvFigure(interval ? std::optional<double>(interval->high) : std::nullopt, 6);
    }
    for (const QString& field : fields + recordingSummaryFields(s) + intervals +
                                    strategySummaryFields(s, e) + shotSettingFields(s)) {
        quoted.append(csvField(field));
    }
    return quoted.join(',') + '\n';
}

namespace {

// Takes the lock of `fd` without blocking, trying again while another
// process holds it, and ends the wait early where `wait` says so. False with
// errno set where the lock was not taken (EINTR: the wait was interrupted).
bool lockForAppending(int fd, const LockWait& wait) {
    constexpr int retryMs = 50;
    constexpr qint64 patienceMs = 1000;
    QElapsedTimer waited;
    waited.start();
    bool said = false;
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR) {
            return false;
        }
        if (!said && waited.elapsed() >= patienceMs && wait.onLongWait) {
            wait.onLongWait();
            said = true;
        }
        // No event tells that a lock was given back, so the lock is tried
        // again after a short while; a signal ends the wait at once.
        pollfd interrupt{wait.interruptDescriptor, POLLIN, 0};
        if (::poll(&interrupt, wait.interruptDescriptor >= 0 ? 1 : 0, retryMs) > 0) {
            errno = EINTR;
            return false;
        }
    }
    return true;
}

} // namespace

Refusable<> appendSummaryRow(const VideoFileName& name, const RunSettings& settings,
                             const QString& truthPath, const Evaluation& evaluation,
                             const LockWait& wait) {
    const QString path = name.shown();
    const int fd = ::open(name.bytes.constData(),
                          O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) {
        return Refusal{systemError(path, "be opened for appending")};
    }
    // The lock goes with the descriptor: closing it releases the lock.
    const auto failWith = [fd, &path](const char* doing) {
        const QString message = systemError(path, doing);
        ::close(fd);
        return message;
    };
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        return Refusal{failWith("be examined")};
    }
    if (!S_ISREG(status.st_mode)) {
        ::close(fd);
        return Refusal{
            QStringLiteral("%1: is not a regular file; name a file for the table").arg(path)};
    }
    if (!lockForAppending(fd, wait)) {
        if (errno == EINTR) {
            ::close(fd);
            return Refusal{
                QStringLiteral("%1: the row was not appended: a signal ended the wait for the "
                               "lock that another process holds")
                    .arg(path)};
        }
        return Refusal{failWith("be locked")};
    }
    // Its size now that no other process appends.
    if (::fstat(fd, &status) != 0) {
        return Refusal{failWith("be examined")};
    }
    const QByteArray header = summaryHeader();
    QByteArray bytes;
    if (status.st_size == 0) {
        bytes = header;
    } else {
        // Only a table with the same columns takes the row.
        QByteArray start(header.size(), '\0');
        const ssize_t got = ::pread(fd, start.data(), static_cast<size_t>(start.size()), 0);
        char last = '\n';
        const bool lastRead = ::pread(fd, &last, 1, status.st_size - 1) == 1;
        if (got != header.size() || start != header || !lastRead) {
            ::close(fd);
            return Refusal{QStringLiteral("%1: is not a summary table with this program's columns; "
                                          "name a new file")
                               .arg(path)};
        }
        if (last != '\n') {
            bytes = "\n"; // a row cut short by an earlier failure stays on its own line
        }
    }
    bytes += summaryRow(settings, truthPath, evaluation);
    if (!writeAll(fd, bytes)) {
        return Refusal{failWith("be written")};
    }
    if (::close(fd) != 0) {
        return Refusal{systemError(path, "be written")};
    }
    return {};
}
