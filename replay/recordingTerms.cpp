// SPDX-License-Identifier: GPL-3.0-or-later
#include "replay/recordingTerms.h"

#include "evaluation/calibration.h"
#include "log/ticks.h"
#include "replay/replayFiles.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

bool usable(double ms) {
    return std::isfinite(ms) && ms > 0.0;
}

// The usable times of the frames after the first.
std::vector<double> frameSteps(const std::vector<double>& perFrameMs) {
    std::vector<double> steps;
    for (std::size_t i = 1; i < perFrameMs.size(); ++i) {
        if (usable(perFrameMs[i])) {
            steps.push_back(perFrameMs[i]);
        }
    }
    return steps;
}

std::optional<double> mean(const std::vector<double>& values) {
    if (values.empty()) {
        return std::nullopt;
    }
    return std::accumulate(values.begin(), values.end(), 0.0) / static_cast<double>(values.size());
}

QString pixelSize(const MmPerPixel& scale) {
    return QStringLiteral("%1 x %2 mm per pixel").arg(scale.x).arg(scale.y);
}

} // namespace

double TickTimes::stepBefore(std::int64_t frameIndex) const {
    if (frameIndex >= 1 && frameIndex < static_cast<std::int64_t>(perFrameMs.size()) &&
        usable(perFrameMs[static_cast<std::size_t>(frameIndex)])) {
        return perFrameMs[static_cast<std::size_t>(frameIndex)];
    }
    return stepMs;
}

double TickTimes::meanMs() const {
    return perFrameMs.empty() ? stepMs : mean(frameSteps(perFrameMs)).value_or(stepMs);
}

std::optional<double> recordingFrameTimeMs(const RecordingInfo& info) {
    if (info.frameTimeMs && usable(*info.frameTimeMs)) {
        return info.frameTimeMs;
    }
    return mean(frameSteps(info.frameTimesMs));
}

Refusable<TickTimes> tickTimesFor(const ClockChoice& choice, const RecordingInfo& info,
                                  const QString& video) {
    TickTimes times;
    switch (choice.kind) {
    case ClockChoice::Kind::Window:
        return times;
    case ClockChoice::Kind::Fixed:
        times.stepMs = choice.ms;
        times.clockName = QStringLiteral("fixed");
        return times;
    case ClockChoice::Kind::Recording:
        break;
    }
    if (info.isImageSequence) {
        return Refusal{QStringLiteral("--clock recording: %1 is an image sequence, which has no "
                                      "clock of its own; give the time from frame to frame with "
                                      "--clock MS")
                           .arg(video)};
    }
    const std::optional<double> frameTime = recordingFrameTimeMs(info);
    if (!frameTime) {
        return Refusal{QStringLiteral("--clock recording: %1 gives no frame time; give the time "
                                      "from frame to frame with --clock MS")
                           .arg(video)};
    }
    times.stepMs = *frameTime;
    times.clockName = QStringLiteral("recording");
    if (!frameSteps(info.frameTimesMs).empty()) {
        times.perFrameMs = info.frameTimesMs;
        times.clockName = QStringLiteral("recording per frame");
    }
    return times;
}

ReplayClock::ReplayClock(ManualClock& clock, TickTimes times)
    : clock_(clock), times_(std::move(times)) {}

double ReplayClock::nextTick(std::int64_t frameIndex) {
    ++ticks_;
    double seconds = 0.0;
    if (times_.perFrameMs.empty()) {
        // Each tick's time from its number, as the window's clock has it,
        // rather than a sum that gathers rounding errors.
        elapsedMs_ = static_cast<double>(ticks_) * times_.stepMs;
        seconds = static_cast<double>(ticks_) * (times_.stepMs / 1000.0);
    } else {
        elapsedMs_ += times_.stepBefore(frameIndex);
        seconds = elapsedMs_ / 1000.0;
    }
    const double perMs = clock_.ticksPerMicrosecond() * 1000.0;
    const std::int64_t target = std::llround(elapsedMs_ * perMs);
    clock_.advanceTicks(target - passed_);
    passed_ = target;
    return seconds;
}

Refusable<RecordingTerms> resolveRecording(ReplayOptions& options, const RecordingInfo& info) {
    const RecordingRequest& request = options.recording;
    RecordingTerms terms;
    if (request.mmPerPixel) {
        terms.mmPerPixel = request.mmPerPixel;
        terms.calibrationSource = QStringLiteral("--mm-per-pixel");
    } else if (info.mmPerPixel) {
        terms.mmPerPixel = info.mmPerPixel;
        terms.calibrationSource = info.calibrationSource.isEmpty() ? QStringLiteral("the recording")
                                                                   : info.calibrationSource;
    }
    const auto uncalibrated = [&options](const char* option) {
        return Refusal{QStringLiteral("--%1 needs a calibration: %2 gives no pixel size; give "
                                      "it with --mm-per-pixel")
                           .arg(QLatin1String(option), options.settings.video),
                       exitUsage};
    };
    RequestedSettings& settings = options.settings;
    if (request.focalSizeMm) {
        if (!terms.mmPerPixel) {
            return uncalibrated("focal-size-mm");
        }
        const MmPerPixel& scale = *terms.mmPerPixel;
        const long width = std::lround(request.focalSizeMm->width / scale.x);
        const long height = std::lround(request.focalSizeMm->height / scale.y);
        const auto fits = [](long side) {
            return side >= bounds::brennpunktSizeLowest && side <= bounds::brennpunktSizeHighest;
        };
        if (!fits(width) || !fits(height)) {
            return Refusal{QStringLiteral("--focal-size-mm: %1 x %2 mm is %3 x %4 pixels at %5; "
                                          "the focal area takes %6 to %7 pixels a side")
                               .arg(request.focalSizeMm->width)
                               .arg(request.focalSizeMm->height)
                               .arg(width)
                               .arg(height)
                               .arg(pixelSize(scale))
                               .arg(bounds::brennpunktSizeLowest)
                               .arg(bounds::brennpunktSizeHighest),
                           exitUsage};
        }
        settings.focalSize = cv::Size(static_cast<int>(width), static_cast<int>(height));
    }
    const cv::Size focal = settings.focalSize.value_or(
        cv::Size(defaults::brennpunktWidth, defaults::brennpunktHeight));
    const double widestPx = std::min(focal.width, focal.height) / 2.0;
    if (request.gateMarginMm) {
        if (!terms.mmPerPixel) {
            return uncalibrated("gate-margin-mm");
        }
        const double px = pixelsSpanning(*request.gateMarginMm, *terms.mmPerPixel);
        if (px > widestPx) {
            return Refusal{QStringLiteral("--gate-margin-mm: expected a number of millimetres "
                                          "from 0 to %1 (half the %2 x %3 pixel focal area's "
                                          "shorter side at %4), got %5")
                               .arg(shortestMm(widestPx, *terms.mmPerPixel))
                               .arg(focal.width)
                               .arg(focal.height)
                               .arg(pixelSize(*terms.mmPerPixel))
                               .arg(*request.gateMarginMm),
                           exitUsage};
        }
        settings.timing.gateMarginPx = px;
    } else if (settings.timing.gateMarginPx > widestPx) {
        // A focal area sized in millimetres may be smaller than the one the
        // margin in pixels was checked against.
        return Refusal{QStringLiteral("--gate-margin: expected a number of pixels from 0 to %1 "
                                      "(half the %2 x %3 focal area's shorter side), got %4")
                           .arg(widestPx)
                           .arg(focal.width)
                           .arg(focal.height)
                           .arg(settings.timing.gateMarginPx),
                       exitUsage};
    }
    terms.frameTimeMs = recordingFrameTimeMs(info);
    Refusable<TickTimes> times = tickTimesFor(request.clock, info, quotedName(options.video));
    if (!times) {
        return times.refusal();
    }
    terms.tickTimes = std::move(*times);
    return terms;
}

void applyTerms(RunSettings& settings, const RecordingTerms& terms) {
    settings.mmPerPixel = terms.mmPerPixel;
    settings.calibrationSource = terms.calibrationSource;
    settings.frameTimeMs = terms.frameTimeMs;
    settings.clock = terms.tickTimes.clockName;
    settings.tickMs = terms.tickTimes.meanMs();
}
