// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "evaluation/runRecord.h"

class MainWindow;
class ManualClock;

// Sets what the window's hit test aims at and how far inside the focal area:
// the prediction for shots that arrive the latency after their image, and the
// gate margin.
void aimAs(MainWindow& window, const ShotTiming& timing);

// The treatment step of every recorded tick once more, through the window's
// own code: the tracking result of each tick (the window, its area and
// centre) goes back into the window, the clock is set to the tick's time, and
// the window's treatment step decides on the hit with the aim and the gate
// margin of `timing`. The step starts from the state that start-up and the
// Start button leave (no plane, no interval, no shot, logging on), writes to
// no log, and returns the record with the new aims, hits and hit ticks. It
// leaves the window's treatment state as this last pass left it: call it once
// the run itself has ended. The window reads the time from `clock` meanwhile,
// which only moves forward.
RunRecord treatAgain(MainWindow& window, ManualClock& clock, const RunRecord& record,
                     const ShotTiming& timing);
