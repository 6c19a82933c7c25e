#include "simulation/evaluationReport.h"

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
#include "log/byteSink.h"
#include "simulation/figureText.h"
#include "simulation/shotClock.h"

namespace {

QString thresholdText(const RunSettings& settings) {
    return settings.fixedThreshold ? QString::number(*settings.fixedThreshold)
                                   : QStringLiteral("auto");
}

QJsonValue orNull(const std::optional<double>& value) {
    return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

QJsonValue count(std::int64_t value) {
    return QJsonValue(static_cast<qint64>(value));
}

QJsonObject rectangle(int x, int y, int width, int height) {
    return {{"x", x}, {"y", y}, {"width", width}, {"height", height}};
}

QJsonObject settingsJson(const RunSettings& s) {
    const cv::Rect& sel = s.selection;
    return {
        {"selection", rectangle(sel.x, sel.y, sel.width, sel.height)},
        {"rate_per_min", s.rate},
        {"shot_period_ms", static_cast<double>(shotPeriodMs(s.rate))},
        {"focal_area", rectangle(s.focal.x, s.focal.y, s.focalSize.width, s.focalSize.height)},
        {"roi", QJsonObject{{"x", s.roi.x}, {"y", s.roi.y}}},
        {"filter", s.filter},
        {"threshold", s.fixedThreshold ? QJsonValue(*s.fixedThreshold) : QJsonValue("auto")},
        {"ticks", count(s.ticks)},
        {"tick_seconds", tickSeconds},
    };
}

QJsonObject tallyJson(const ShotTally& tally) {
    return {{"shots_fired", count(tally.fired)},
            {"shots_on_stone", count(tally.onStone)},
            {"tissue_shots", count(tally.tissue())},
            {"shot_efficiency", orNull(tally.efficiency())}};
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
                                      "efficiency_gain"};

QString systemError(const QString& path, const char* doing) {
    return QStringLiteral("%1: cannot %2: %3")
        .arg(path, QLatin1String(doing), QString::fromLocal8Bit(std::strerror(errno)));
}

// False with errno set if not every byte could be written.
bool writeAll(int fd, const QByteArray& bytes) {
    const eventlog::ByteSink::Written written = eventlog::writeFully(
        fd, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    if (written.bytes == static_cast<std::size_t>(bytes.size())) {
        return true;
    }
    errno = written.error != 0 ? written.error : EIO;
    return false;
}

} // namespace

QString evaluationTable(const RunSettings& settings, const Evaluation& e) {
    QString out;
    out += QStringLiteral("Ticks %1 (%2 s), annotated %3, stone in plane on %4\n")
               .arg(e.ticks)
               .arg(static_cast<double>(e.ticks) * tickSeconds, 0, 'f', 1)
               .arg(e.annotatedTicks)
               .arg(e.truthInPlaneTicks);
    if (e.trackingError) {
        const ErrorStats& err = *e.trackingError;
        out += QStringLiteral("Tracking error (px): mean %1  median %2  95th %3  max %4\n")
                   .arg(distanceText(err.meanPx), distanceText(err.medianPx),
                        distanceText(err.p95Px), distanceText(err.maxPx));
    } else {
        out += QStringLiteral("Tracking error (px): n/a\n");
    }
    out += QStringLiteral("Plane agreement: %1 (%2 of %3 ticks)\n")
               .arg(percentText(e.planeAgreement()))
               .arg(e.planeAgreeingTicks)
               .arg(e.annotatedTicks);
    const auto row = [](const QString& name, const QString& with, const QString& without) {
        return QStringLiteral("%1%2%3\n").arg(name, -18).arg(with, 15).arg(without, 15);
    };
    out += row(QStringLiteral("%1 shots/min").arg(settings.rate), QStringLiteral("with tracking"),
               QStringLiteral("fixed focus"));
    out += row(QStringLiteral("Shots fired"), QString::number(e.tracking.fired),
               QString::number(e.fixedFocus.fired));
    out += row(QStringLiteral("On the stone"), QString::number(e.tracking.onStone),
               QString::number(e.fixedFocus.onStone));
    out += row(QStringLiteral("Tissue shots"), QString::number(e.tracking.tissue()),
               QString::number(e.fixedFocus.tissue()));
    out += row(QStringLiteral("Shot efficiency"), percentText(e.tracking.efficiency()),
               percentText(e.fixedFocus.efficiency()));
    out += QStringLiteral("Gain of tracking: %1 of shot efficiency; tissue shots spared: %2\n")
               .arg(gainText(e.efficiencyGain()))
               .arg(e.tissueShotsSpared());
    return out;
}

QJsonDocument evaluationJson(const RunSettings& settings, const QString& truthPath,
                             const Evaluation& e) {
    QJsonValue error = QJsonValue::Null;
    if (e.trackingError) {
        const ErrorStats& err = *e.trackingError;
        error = QJsonObject{{"ticks", count(err.ticks)},
                            {"mean", err.meanPx},
                            {"median", err.medianPx},
                            {"p95", err.p95Px},
                            {"max", err.maxPx}};
    }
    QJsonObject withTracking = tallyJson(e.tracking);
    withTracking.insert("hits", count(e.hits()));
    withTracking.insert("true_hits", count(e.trueHits()));
    withTracking.insert("false_hits", count(e.falseHits()));
    const QJsonObject root{
        {"video", settings.video},
        {"truth", truthPath},
        {"settings", settingsJson(settings)},
        {"ticks", count(e.ticks)},
        {"seconds", static_cast<double>(e.ticks) * tickSeconds},
        {"annotated_ticks", count(e.annotatedTicks)},
        {"truth_in_plane_ticks", count(e.truthInPlaneTicks)},
        {"tracking_error_px", error},
        {"plane_agreement", QJsonObject{{"agreeing_ticks", count(e.planeAgreeingTicks)},
                                        {"share", orNull(e.planeAgreement())}}},
        {"with_tracking", withTracking},
        {"without_tracking", tallyJson(e.fixedFocus)},
        {"efficiency_gain", orNull(e.efficiencyGain())},
        {"tissue_shots_spared", count(e.tissueShotsSpared())},
    };
    return QJsonDocument(root);
}

std::optional<QString> writeEvaluationJson(const VideoFileName& path, const RunSettings& settings,
                                           const QString& truthPath, const Evaluation& evaluation) {
    const QByteArray json =
        evaluationJson(settings, truthPath, evaluation).toJson(QJsonDocument::Indented);
    if (const std::optional<QString> problem = replaceFile(path.bytes, json)) {
        return QStringLiteral("%1: cannot be written: %2").arg(path.shown(), *problem);
    }
    return std::nullopt;
}

QByteArray summaryHeader() {
    QByteArrayList names;
    for (const char* name : summaryColumns) {
        names.append(name);
    }
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
                             csvFigure(e.efficiencyGain(), 6)};
    QByteArrayList quoted;
    for (const QString& field : fields) {
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

std::optional<QString> appendSummaryRow(const VideoFileName& name, const RunSettings& settings,
                                        const QString& truthPath, const Evaluation& evaluation,
                                        const LockWait& wait) {
    const QString path = name.shown();
    const int fd = ::open(name.bytes.constData(),
                          O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) {
        return systemError(path, "be opened for appending");
    }
    // The lock goes with the descriptor: closing it releases the lock.
    const auto failWith = [fd, &path](const char* doing) {
        const QString message = systemError(path, doing);
        ::close(fd);
        return message;
    };
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        return failWith("be examined");
    }
    if (!S_ISREG(status.st_mode)) {
        ::close(fd);
        return QStringLiteral("%1: is not a regular file; name a file for the table").arg(path);
    }
    if (!lockForAppending(fd, wait)) {
        if (errno == EINTR) {
            ::close(fd);
            return QStringLiteral("%1: the row was not appended: a signal ended the wait for the "
                                  "lock that another process holds")
                .arg(path);
        }
        return failWith("be locked");
    }
    // Its size now that no other process appends.
    if (::fstat(fd, &status) != 0) {
        return failWith("be examined");
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
            return QStringLiteral("%1: is not a summary table with this program's columns; "
                                  "name a new file")
                .arg(path);
        }
        if (last != '\n') {
            bytes = "\n"; // a row cut short by an earlier failure stays on its own line
        }
    }
    bytes += summaryRow(settings, truthPath, evaluation);
    if (!writeAll(fd, bytes)) {
        return failWith("be written");
    }
    if (::close(fd) != 0) {
        return systemError(path, "be written");
    }
    return std::nullopt;
}
