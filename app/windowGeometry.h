// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPoint>
#include <QSize>

// Where the two video views go and how large the window is, for a video of a
// given frame size on a screen with a given free area. A frame that fits the
// form's own layout keeps it exactly; a larger one gets views side by side in a
// video group (and window) grown to hold them, and, where even that would not
// fit the screen, both views show the frame scaled down by one common factor.
struct VideoLayout {
    // Screen pixels per image pixel in both video views (1: unscaled).
    double scale = 1.0;
    // mainView and dataView, frame included.
    QSize viewSize;
    // In the video group, whose top-left corner is the window's.
    QPoint mainViewPos;
    QPoint dataViewPos;
    int videoGroupHeight = 0;
    // The widget that holds the video group and the controls below it.
    QSize contentSize;
    QSize windowSize;
    QSize minimumWindowSize;
};

// `screenArea` is the screen's available size. A screen smaller than the form's
// own window size counts as that size: the controls need it anyway.
VideoLayout videoLayoutFor(QSize frame, QSize screenArea);
