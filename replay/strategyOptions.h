// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/refusal.h"
#include "evaluation/runRecord.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QString>
#include <opencv2/core.hpp>
#include <optional>

// The command line's say on how shots are judged and on the focus that
// follows the stone: the stone's size (in pixels, or in millimetres where the
// recording is calibrated) and the therapy head's speed limit.

struct StrategyRequest {
    std::optional<cv::Size2d> stoneSizePx;
    std::optional<cv::Size2d> stoneSizeMm;
    std::optional<double> headSpeedPxPerS;
    std::optional<double> headSpeedMmPerS;
};

class StrategyOptions {
  public:
    QList<QCommandLineOption> all() const {
        return {stoneSize, stoneSizeMm, headSpeed, headSpeedPx};
    }

    // Reads the options into `request`; refused (a usage error) with what is
    // wrong.
    Refusable<> read(const QCommandLineParser& parser, StrategyRequest& request) const;

  private:
    const QCommandLineOption stoneSize{
        "stone-size",
        "The stone's size in pixels: a shot is on the stone where its focal area overlaps a "
        "W x H rectangle centred on the true centre at arrival; 0,0 judges the stone as a point "
        "(default: the marked region's size).",
        "W,H"};
    const QCommandLineOption stoneSizeMm{
        "stone-size-mm",
        "The stone's size in millimetres (needs a calibration; not with --stone-size).", "W,H"};
    const QCommandLineOption headSpeed{
        "head-speed",
        "The following focus moves at most MM_S millimetres per second between shots (needs a "
        "calibration; default: no limit).",
        "MM_S"};
    const QCommandLineOption headSpeedPx{
        "head-speed-px",
        "The following focus moves at most PX_S pixels per second between shots (not with "
        "--head-speed; default: no limit).",
        "PX_S"};
};

// Whether `request` can be had on a recording of this calibration (none: not
// calibrated; `video` as messages name it): sizes and speeds in millimetres
// need one. Refused, a usage error, where they have none.
Refusable<> checkStrategies(const StrategyRequest& request,
                            const std::optional<MmPerPixel>& mmPerPixel, const QString& video);

// The stone's size and the head speed limit into `settings`, whose marked
// region and calibration are those of the run: the stone's size is the
// marked region's unless the request gives one.
void applyStrategies(RunSettings& settings, const StrategyRequest& request);
