// SPDX-License-Identifier: GPL-3.0-or-later
#include "evaluation/runWarnings.h"

#include "evaluation/figureText.h"
#include "simulation/shotClock.h"

namespace {

QString rectangleText(const cv::Rect& r) {
    return QStringLiteral("%1,%2 %3 x %4").arg(r.x).arg(r.y).arg(r.width).arg(r.height);
}

std::optional<QString> markOutsideProcessedRegion(const RunSettings& s) {
    const cv::Rect processed(s.roi, s.roiSize);
    const cv::Rect inside = s.selection & processed;
    if (inside == s.selection) {
        return std::nullopt;
    }
    return QStringLiteral("The marked region (%1) lies %2 outside the processed region (%3): the "
                          "tracker follows unthresholded picture there; move the region with "
                          "--roi or let --roi auto centre it on the mark.")
        .arg(rectangleText(s.selection), inside.empty() ? "wholly" : "partly",
             rectangleText(processed));
}

std::optional<QString> fewShots(const QString& way, const ShotTally& tally) {
    if (tally.judged() >= fewestShotsForAnEfficiency) {
        return std::nullopt;
    }
    if (tally.judged() == 0) {
        return QStringLiteral("%1 no shot was fired: there is no shot efficiency to compare.")
            .arg(way);
    }
    return QStringLiteral("%1 only %2 shots were fired (fewer than %3): the shot efficiency's "
                          "95 % interval is %4; a longer run or a higher rate gives a firmer "
                          "figure.")
        .arg(way)
        .arg(tally.judged())
        .arg(fewestShotsForAnEfficiency)
        .arg(percentIntervalText(tally.efficiencyCi95()));
}

std::optional<QString> trackMovedLittle(const Evaluation& e) {
    const std::optional<double>& track = e.trackMotion.peakToPeakPx;
    const std::optional<double>& truth = e.truthMotion.peakToPeakPx;
    if (e.byFocusLabels || !track || !truth || !(*track < *truth / 2.0)) {
        return std::nullopt;
    }
    return QStringLiteral("The track moved %1 px peak to peak, less than half the truth's %2 px: "
                          "the tracker seems to follow something that does not move with the "
                          "stone.")
        .arg(distanceText(*track), distanceText(*truth));
}

} // namespace

QStringList settingWarnings(const RunSettings& settings) {
    QStringList warnings;
    if (const std::optional<QString> tick =
            tickLongerThanShotPeriod(settings.tickMs, settings.rate)) {
        warnings << *tick;
    }
    return warnings;
}

QStringList runWarnings(const RunSettings& settings, const Evaluation& e) {
    QStringList warnings = settings.recordingWarnings + settingWarnings(settings);
    const std::optional<QString> found[] = {
        markOutsideProcessedRegion(settings),
        fewShots(QStringLiteral("With tracking"), e.tracking),
        fewShots(QStringLiteral("With the fixed focus"), e.fixedFocus),
        e.trackerNeverHeldStone()
            ? std::optional<QString>(QStringLiteral(
                  "The tracker never held the stone: its window was empty on every tick with the "
                  "stone in the plane, and it fired no shot."))
            : std::nullopt,
        e.trackerNeverHeldStone() ? std::nullopt : trackMovedLittle(e),
    };
    for (const std::optional<QString>& warning : found) {
        if (warning) {
            warnings << *warning;
        }
    }
    return warnings;
}
