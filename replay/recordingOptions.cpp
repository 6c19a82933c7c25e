// SPDX-License-Identifier: GPL-3.0-or-later
#include "replay/recordingOptions.h"

#include "common/programOptions.h"

#include <QStringList>
#include <cmath>

namespace {

constexpr double smallestMmPerPixel = 0.001;
constexpr double largestMmPerPixel = 10.0;
constexpr int longestTickMs = 10000;
// A focal area or margin larger than this is no typing slip away from sense.
constexpr double largestMm = 1000.0;

QString bad(const QString& option, const QString& accepted, const QString& given) {
    return QStringLiteral("--%1: expected %2, got \"%3\"").arg(option, accepted, given);
}

} // namespace

std::optional<ClockChoice> clockNamed(const QString& text) {
    if (text == "window") {
        return ClockChoice{ClockChoice::Kind::Window, 0};
    }
    if (text == "recording") {
        return ClockChoice{ClockChoice::Kind::Recording, 0};
    }
    bool ok = false;
    const qint64 ms = text.trimmed().toLongLong(&ok);
    if (!ok || ms < 1 || ms > longestTickMs) {
        return std::nullopt;
    }
    return ClockChoice{ClockChoice::Kind::Fixed, static_cast<int>(ms)};
}

std::optional<MmPerPixel> mmPerPixelNamed(const QString& text) {
    const QStringList parts = text.split(',');
    if (parts.size() > 2) {
        return std::nullopt;
    }
    const std::optional<double> x = numberWithin(parts[0], smallestMmPerPixel, largestMmPerPixel);
    const std::optional<double> y =
        parts.size() == 2 ? numberWithin(parts[1], smallestMmPerPixel, largestMmPerPixel) : x;
    if (!x || !y) {
        return std::nullopt;
    }
    return MmPerPixel{*x, *y};
}

Refusable<> RecordingOptions::read(const QCommandLineParser& parser,
                                   RecordingRequest& request) const {
    if (parser.isSet(mmPerPixel)) {
        request.mmPerPixel = mmPerPixelNamed(parser.value(mmPerPixel));
        if (!request.mmPerPixel) {
            return Refusal{bad("mm-per-pixel",
                               "X or X,Y: millimetres per pixel, each from 0.001 to 10",
                               parser.value(mmPerPixel)),
                           exitUsage};
        }
    }
    if (parser.isSet(focalSizeMm)) {
        if (parser.isSet("focal-size")) {
            return Refusal{
                QStringLiteral("--focal-size-mm and --focal-size both size the focal area; "
                               "give one of them"),
                exitUsage};
        }
        const QStringList parts = parser.value(focalSizeMm).split(',');
        const std::optional<double> width =
            numberWithin(parts.value(0), std::nextafter(0.0, 1.0), largestMm);
        const std::optional<double> height =
            numberWithin(parts.value(1), std::nextafter(0.0, 1.0), largestMm);
        if (parts.size() != 2 || !width || !height) {
            return Refusal{bad("focal-size-mm", "W,H: two numbers of millimetres above 0",
                               parser.value(focalSizeMm)),
                           exitUsage};
        }
        request.focalSizeMm = MillimetreSize{*width, *height};
    }
    if (parser.isSet(gateMarginMm)) {
        if (parser.isSet("gate-margin")) {
            return Refusal{
                QStringLiteral("--gate-margin-mm and --gate-margin both set the gate margin; "
                               "give one of them"),
                exitUsage};
        }
        request.gateMarginMm = numberWithin(parser.value(gateMarginMm), 0.0, largestMm);
        if (!request.gateMarginMm) {
            return Refusal{
                bad("gate-margin-mm", "a number of millimetres from 0", parser.value(gateMarginMm)),
                exitUsage};
        }
    }
    if (parser.isSet(clock)) {
        const std::optional<ClockChoice> choice = clockNamed(parser.value(clock));
        if (!choice) {
            return Refusal{
                bad("clock", "window, recording or a whole number of milliseconds from 1 to 10000",
                    parser.value(clock)),
                exitUsage};
        }
        request.clock = *choice;
    }
    return {};
}
