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

Refusable<> StrategyOptions::read(const QCommandLineParser& parser,
                                  StrategyRequest& request) const {
    if (parser.isSet(stoneSize) && parser.isSet(stoneSizeMm)) {
        return Refusal{
            QStringLiteral("--stone-size and --stone-size-mm both size the stone; give one "
                           "of them"),
            exitUsage};
    }
    if (parser.isSet(headSpeed) && parser.isSet(headSpeedPx)) {
        return Refusal{
            QStringLiteral("--head-speed and --head-speed-px both limit the head's speed; "
                           "give one of them"),
            exitUsage};
    }
    if (parser.isSet(stoneSize)) {
        request.stoneSizePx = sizeWithin(parser.value(stoneSize), largestStonePx);
        if (!request.stoneSizePx) {
            return Refusal{
                bad("stone-size",
                    QStringLiteral("W,H: two numbers of pixels from 0 to %1").arg(largestStonePx),
                    parser.value(stoneSize)),
                exitUsage};
        }
    }
    if (parser.isSet(stoneSizeMm)) {
        request.stoneSizeMm = sizeWithin(parser.value(stoneSizeMm), largestStoneMm);
        if (!request.stoneSizeMm) {
            return Refusal{bad("stone-size-mm",
                               QStringLiteral("W,H: two numbers of millimetres from 0 to %1")
                                   .arg(largestStoneMm),
                               parser.value(stoneSizeMm)),
                           exitUsage};
        }
    }
    const auto speed = [&](const QCommandLineOption& option, const char* unit,
                           std::optional<double>& into) -> Refusable<> {
        if (!parser.isSet(option)) {
            return {};
        }
        into = numberWithin(parser.value(option), std::nextafter(0.0, 1.0), fastestHead);
        if (!into) {
            return Refusal{bad(option.names().first(),
                               QStringLiteral("a number of %1 per second above 0, at most %2")
                                   .arg(QLatin1String(unit))
                                   .arg(fastestHead),
                               parser.value(option)),
                           exitUsage};
        }
        return {};
    };
    if (Refusable<> read = speed(headSpeed, "millimetres", request.headSpeedMmPerS); !read) {
        return read;
    }
    return speed(headSpeedPx, "pixels", request.headSpeedPxPerS);
}

Refusable<> checkStrategies(const StrategyRequest& request,
                            const std::optional<MmPerPixel>& mmPerPixel, const QString& video) {
    if (mmPerPixel) {
        return {};
    }
    const char* option = request.stoneSizeMm       ? "stone-size-mm"
                         : request.headSpeedMmPerS ? "head-speed"
                                                   : nullptr;
    if (!option) {
        return {};
    }
    const char* instead = request.stoneSizeMm ? "--stone-size in pixels" : "--head-speed-px";
    return Refusal{QStringLiteral("--%1 needs a calibration: %2 gives no pixel size; give it with "
                                  "--mm-per-pixel, or use %3")
                       .arg(QLatin1String(option), video, QLatin1String(instead)),
                   exitUsage};
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
