// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/defaults.h"

#include <algorithm>

// The ranges of the window's position sliders on a frame of a given size: the
// focal area's leave room for its first size and keep that range when the
// size is changed later; the region of interest's leave room for the region.
// The window sets its sliders from these, and the replay checks its options
// against the same.
struct PositionRanges {
    int focalXMost = 0;
    int focalYMost = 0;
    int roiXMost = 0;
    int roiYMost = 0;
};

inline PositionRanges positionRanges(int frameWidth, int frameHeight) {
    return {std::max(0, frameWidth - defaults::brennpunktWidth),
            std::max(0, frameHeight - defaults::brennpunktHeight),
            std::max(0, frameWidth - defaults::roiWidth),
            std::max(0, frameHeight - defaults::roiHeight)};
}
