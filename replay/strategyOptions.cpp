// SPDX-License-Identifier: GPL-3.0-or-later
#include "replay/strategyOptions.h"

#include "common/programOptions.h"

#include <QStringList>
#include <cmath>

namespace {

// Beyond these a value is a typing slip, not a stone or a therapy head.
constexpr double largestStonePx = 10000.0;
constexpr double largestStoneMm = 1000.0;
constexpr double fastestHead = 1e6;

std::optional<cv::Size2d> sizeWithin(const QString& text, double high) {
    const QStringList parts = text.split(',');
    if (parts.size() != 2) {
        return std::nullopt;
    }
    const std::optional<double> width = numberWithin(parts[0], 0.0, high);
    const std::optional<double> height = numberWithin(parts[1], 0.0, high);
    if (!width || !height) {
        return std::nullopt;
    }
    return cv::Size2d(*width, *height);
}

QString bad(const QString& option, const QString& accepted, const QString& given) {
    return QStringLiteral("--%1: expected %2, got \"%3\"").arg(option, accepted, given);
}

} // namespace

std::optional<QString> StrategyOptions::read(const QCommandLineParser& parser,
                                             StrategyRequest& request) const {
    if (parser.isSet(stoneSize) && parser.isSet(stoneSizeMm)) {
        return QStringLiteral("--stone-size and --stone-size-mm both size the stone; give one "
                              "of them");
    }
    if (parser.isSet(headSpeed) && parser.isSet(headSpeedPx)) {
        return QStringLiteral("--head-speed and --head-speed-px both limit the head's speed; "
                              "give one of them");
    }
    if (parser.isSet(stoneSize)) {
        request.stoneSizePx = sizeWithin(parser.value(stoneSize), largestStonePx);
        if (!request.stoneSizePx) {
            return bad(
                "stone-size",
                QStringLiteral("W,H: two numbers of pixels from 0 to %1").arg(largestStonePx),
                parser.value(stoneSize));
        }
    }
    if (parser.isSet(stoneSizeMm)) {
        request.stoneSizeMm = sizeWithin(parser.value(stoneSizeMm), largestStoneMm);
        if (!request.stoneSizeMm) {
            return bad(
                "stone-size-mm",
                QStringLiteral("W,H: two numbers of millimetres from 0 to %1").arg(largestStoneMm),
                parser.value(stoneSizeMm));
        }
    }
    const auto speed = [&](const QCommandLineOption& option, const char* unit,
                           std::optional<double>& into) -> std::optional<QString> {
        if (!parser.isSet(option)) {
            return std::nullopt;
        }
        into = numberWithin(parser.value(option), std::nextafter(0.0, 1.0), fastestHead);
        if (!into) {
            return bad(option.names().first(),
                       QStringLiteral("a number of %1 per second above 0, at most %2")
                           .arg(QLatin1String(unit))
                           .arg(fastestHead),
                       parser.value(option));
        }
        return std::nullopt;
    };
    if (auto problem = speed(headSpeed, "millimetres", request.headSpeedMmPerS)) {
        return problem;
    }
    return speed(headSpeedPx, "pixels", request.headSpeedPxPerS);
}

std::optional<QString> problemWithStrategies(const StrategyRequest& request,
                                             const std::optional<MmPerPixel>& mmPerPixel,
                                             const QString& video) {
    if (mmPerPixel) {
        return std::nullopt;
    }
    const char* option = request.stoneSizeMm       ? "stone-size-mm"
                         : request.headSpeedMmPerS ? "head-speed"
                                                   : nullptr;
    if (!option) {
        return std::nullopt;
    }
    const char* instead = request.stoneSizeMm ? "--stone-size in pixels" : "--head-speed-px";
    return QStringLiteral("--%1 needs a calibration: %2 gives no pixel size; give it with "
                          "--mm-per-pixel, or use %3")
        .arg(QLatin1String(option), video, QLatin1String(instead));
}

void applyStrategies(RunSettings& settings, const StrategyRequest& request) {
    settings.stoneSize = cv::Size2d(settings.selection.width, settings.selection.height);
    if (request.stoneSizePx) {
        settings.stoneSize = *request.stoneSizePx;
    } else if (request.stoneSizeMm && settings.mmPerPixel) {
        settings.stoneSize = cv::Size2d(request.stoneSizeMm->width / settings.mmPerPixel->x,
                                        request.stoneSizeMm->height / settings.mmPerPixel->y);
    }
    settings.headSpeedPxPerS = request.headSpeedPxPerS;
    settings.headSpeedMmPerS = settings.mmPerPixel ? request.headSpeedMmPerS : std::nullopt;
}
