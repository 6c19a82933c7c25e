// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPoint>
#include <QSize>

// Where the two video views go and how large the window is, for a video of a
// given frame size on a screen with a given free area. A frame that fits the
// form's own layout keeps it exactly where the screen has room for the form's
// window; a larger one gets views side by side in a video group (and window)
// grown to hold them. Where that would not fit the screen (a large frame, or a
// laptop's low screen), both views show the frame scaled down by one common
// factor, and on a low screen the video group shrinks to the views, so that
// every control below them stays on the screen.
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

// `screenArea` is the screen's available size (the window manager's title bar
// is allowed for). A screen narrower than the form's window (1150 px), where
// the controls cannot be shown whole anyway, counts as the form's own size,
// as does an empty one.
VideoLayout videoLayoutFor(QSize frame, QSize screenArea);
