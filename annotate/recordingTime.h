// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <string>

// How long one frame of a recording lasts: what playback runs at and what the
// status bar counts the recording's time in.
struct FrameTiming {
    double frameTimeMs = 40.0;
    bool fromRecording = false; // false: the recording says nothing; 40 ms assumed
};

// The frame time the recording `fileName` gives; where it gives none, 40 ms
// (25 frames a second, the frame clock of the window and the replay).
FrameTiming frameTimingOf(const std::string& fileName);

// The time of frame `frame` since the recording's first, as "12.480 s", with
// "(40 ms a frame assumed)" where the recording gives no frame time.
QString recordingTimeText(std::int64_t frame, const FrameTiming& timing);
