// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/windowGeometry.h"

#include <algorithm>
#include <cmath>

namespace {

// The form's own geometry.
constexpr QSize formWindow(1150, 918);
constexpr QSize formMinimumWindow(1150, 900);
constexpr QSize formContent(1151, 891);
constexpr int formVideoGroupHeight = 500;
constexpr QPoint formMainViewPos(10, 20);
constexpr QPoint formDataViewPos(570, 20);
// A view is 5 pixels larger than the picture it shows (frame and spare).
constexpr int viewExtra = 5;
// Around and between the views of a grown video group.
constexpr int margin = 10;
// Everything of the window but the video group: the movie controls, the
// lower row of groups, the spacing between them and the status bar.
constexpr int belowVideoGroup = formWindow.height() - formVideoGroupHeight;
// Room left above the window for the title bar that a window manager adds
// outside it (the screen's free area does not count it).
constexpr int titleBarAllowance = 32;
// The smallest picture height that scaling goes down to on a very low screen.
constexpr int lowestPicture = 60;

bool formHolds(QSize view) {
    return formMainViewPos.x() + view.width() <= formDataViewPos.x() &&
           formDataViewPos.x() + view.width() <= formWindow.width() &&
           formMainViewPos.y() + view.height() <= formVideoGroupHeight;
}

bool fits(QSize window, QSize limit) {
    return window.width() <= limit.width() && window.height() <= limit.height();
}

// Views side by side; the group grows to hold them (keeping at least
// `lowestGroup`), the window with it, and the controls below move up or down
// as a whole.
VideoLayout grownAround(QSize view, int lowestGroup) {
    VideoLayout layout;
    layout.viewSize = view;
    layout.mainViewPos = formMainViewPos;
    layout.dataViewPos = {formMainViewPos.x() + view.width() + margin, formMainViewPos.y()};
    layout.videoGroupHeight = std::max(lowestGroup, formMainViewPos.y() + view.height() + margin);
    const int width = layout.dataViewPos.x() + view.width() + margin;
    const int taller = layout.videoGroupHeight - formVideoGroupHeight;
    layout.contentSize = {std::max(formContent.width(), width), formContent.height() + taller};
    layout.windowSize = {std::max(formWindow.width(), width), formWindow.height() + taller};
    layout.minimumWindowSize = {std::max(formMinimumWindow.width(), width),
                                formMinimumWindow.height() + taller};
    return layout;
}

// The smallest whole number of pixels that holds `extent`, forgiving the
// rounding error of a factor chosen to make it whole.
int wholePixels(double extent) {
    return static_cast<int>(std::ceil(extent - 1e-6));
}

} // namespace

VideoLayout videoLayoutFor(QSize frame, QSize screenArea) {
    const QSize view = frame + QSize(viewExtra, viewExtra);
    // Without a screen to go by, or on one too narrow for the controls (the
    // form cannot be shown whole there anyway), the form's own size is the limit.
    const bool formsOwnSize = screenArea.width() < formWindow.width();
    const QSize limit = formsOwnSize
                            ? formWindow
                            : QSize(screenArea.width(), screenArea.height() - titleBarAllowance);
    if (frame.isEmpty() || (formHolds(view) && (formsOwnSize || fits(formWindow, limit)))) {
        VideoLayout layout;
        layout.viewSize = view;
        layout.mainViewPos = formMainViewPos;
        layout.dataViewPos = formDataViewPos;
        layout.videoGroupHeight = formVideoGroupHeight;
        layout.contentSize = formContent;
        layout.windowSize = formWindow;
        layout.minimumWindowSize = formMinimumWindow;
        return layout;
    }
    if (const VideoLayout grown = grownAround(view, formVideoGroupHeight);
        fits(grown.windowSize, limit)) {
        return grown;
    }
    // The largest pictures that still fit: two views and three margins across,
    // and a video group that leaves the controls below it on the screen.
    const int widestPicture =
        (std::max(limit.width(), formWindow.width()) - 3 * margin) / 2 - viewExtra;
    const int tallestPicture = std::max(
        lowestPicture, limit.height() - belowVideoGroup - formMainViewPos.y() - margin - viewExtra);
    const double scale = std::min({1.0, static_cast<double>(widestPicture) / frame.width(),
                                   static_cast<double>(tallestPicture) / frame.height()});
    const QSize scaledView(wholePixels(scale * frame.width()) + viewExtra,
                           wholePixels(scale * frame.height()) + viewExtra);
    // The form's video group where the screen has the height for it; on a low
    // screen the group holds the views and no more, so that the controls
    // below get every pixel they need.
    VideoLayout scaled = grownAround(scaledView, formVideoGroupHeight);
    if (!fits(scaled.windowSize, limit)) {
        scaled = grownAround(scaledView, 0);
        scaled.minimumWindowSize = scaled.windowSize;
    }
    scaled.scale = scale;
    return scaled;
}
