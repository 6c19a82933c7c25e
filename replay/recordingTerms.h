// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/defaults.h"
#include "common/refusal.h"
#include "evaluation/runRecord.h"
#include "replay/replayOptions.h"
#include "tracking/recordingInfo.h"

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

class ManualClock;

// The terms a replay runs on once the recording has said what it knows about
// itself: the size of a pixel and the time from tick to tick.

// How long each tick lasts.
struct TickTimes {
    double stepMs = defaults::tickMs; // every tick, or where perFrameMs has no time for the frame
    // Element i: the time from frame i - 1 to frame i; empty: stepMs always.
    std::vector<double> perFrameMs;
    QString clockName = QStringLiteral("window"); // as the report names the clock

    // How long after the tick before comes the tick that shows frame `frameIndex`.
    double stepBefore(std::int64_t frameIndex) const;
    // stepMs, or the mean of the frames' times.
    double meanMs() const;
};

// The recording's own frame time: the one it gives, else the mean of the
// times it gives frame by frame; none where it gives neither.
std::optional<double> recordingFrameTimeMs(const RecordingInfo& info);

// The tick times of `choice` on a recording that says `info`; refused, a
// failure at run time, with what is missing where the clock is the
// recording's and it gives no frame time (`video` as the message names it).
Refusable<TickTimes> tickTimesFor(const ClockChoice& choice, const RecordingInfo& info,
                                  const QString& video);

// The replay's clock: it lets `clock` run on by each tick's time, so that the
// window, its log and its shot clock read the time of the recording's clock.
class ReplayClock {
  public:
    explicit ReplayClock(ManualClock& clock, TickTimes times = {});

    // Lets the time pass until the tick that shows frame `frameIndex`;
    // returns that tick's time in seconds since the start of the run.
    double nextTick(std::int64_t frameIndex);

  private:
    ManualClock& clock_;
    TickTimes times_;
    std::int64_t ticks_ = 0;
    double elapsedMs_ = 0.0;
    std::int64_t passed_ = 0; // clock ticks let pass so far
};

struct RecordingTerms {
    std::optional<MmPerPixel> mmPerPixel;
    QString calibrationSource;
    std::optional<double> frameTimeMs; // the recording's own
    TickTimes tickTimes;
};

// The terms of `options` on a recording that says `info`. Sizes given in
// millimetres become the pixels of options.settings; refused where there is
// no calibration for them or they give a size out of the controls' range
// (exit code 2: options that the recording cannot take), or where the clock
// is the recording's and it has none (1: a recording that lacks what the
// options need).
Refusable<RecordingTerms> resolveRecording(ReplayOptions& options, const RecordingInfo& info);

// The terms into the settings that the report and the table give.
void applyTerms(RunSettings& settings, const RecordingTerms& terms);
