// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/markedRegion.h"

#include <QString>

// What the status bar needs to know of the run.
struct RunProgress {
    // A region was marked on the processed view (taken by the tracker or waiting).
    bool regionMarked = false;
    bool playing = false;
    bool logging = false;
    // The frame shown, counted from 1, and the frames of the video (0 while
    // they are not known).
    int frameNumber = 0;
    int frameCount = 0;
    // The time of the log's clock, in seconds since start-up.
    double seconds = 0.0;
    bool tracking = false;
    bool stoneInPlane = false;
    // Where the marked (or tracked) rectangle lies against the processed region.
    MarkPlace markPlace = MarkPlace::Inside;
};

// The status bar's text: what the user does next, and while the video plays
// how far it is, the time, and how the stone is tracked. It never goes into the
// log.
QString nextStepText(const RunProgress& run);
