// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/refusal.h"
#include "evaluation/runRecord.h"
#include "replay/recordingTerms.h"
#include "replay/replayOptions.h"

#include <QString>
#include <cstdint>
#include <opencv2/core.hpp>
#include <optional>

class MainWindow;
class ManualClock;

// A replay drives the window itself: it sets the controls as a user would,
// marks the region, starts the logging, plays, and runs the frame cycle tick
// by tick on a clock that advances exactly 25 ms per tick, or as the
// recording's clock or the command line says.

// Whether the options fit a video of `frame`'s size, refused with what is
// wrong (a usage error): the marked region must lie inside the frame, and
// every position within its slider's range there (the focal area may then
// reach past the picture, as in the window).
Refusable<> checkFrame(const ReplayOptions& options, cv::Size frame);

// Settles the settings that the options take from the marked region on a
// picture of `frame`'s size: --roi auto's position. Refused (a usage error)
// where --threshold mark has the mark wholly outside the region of interest.
Refusable<> settingFromMark(ReplayOptions& options, cv::Size frame);

// Sets the controls that the options give, through the widgets, marks the
// region on the processed view, presses Start and then Play.
void startRun(MainWindow& window, const ReplayOptions& options);

// The playing ticks that take the window once through the video: every frame
// it plays before it wraps to frame 1. `countedFrames` is the number of frames
// in the file where the header gives none.
std::int64_t ticksOnceThrough(std::int64_t headerFrameCount, std::int64_t countedFrames);

// Lets the time until the tick pass on `clock` (25 ms on the window's clock)
// and runs one tick of the frame cycle; returns what it did.
TickRecord runTick(MainWindow& window, ReplayClock& clock, std::int64_t tick);

// The settings in force in the window (what a replay actually ran); of the
// shot timing only the gate margin, which the window holds.
RunSettings settingsInForce(const MainWindow& window, const QString& video, std::int64_t ticks);

// The shots that the rate in force would have fired without tracking over the
// tracking period so far, as the summary at exit counts them.
int shotsWithoutTrackingSoFar(const MainWindow& window);
