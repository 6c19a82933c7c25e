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

bool formHolds(QSize view) {
    return formMainViewPos.x() + view.width() <= formDataViewPos.x() &&
           formDataViewPos.x() + view.width() <= formWindow.width() &&
           formMainViewPos.y() + view.height() <= formVideoGroupHeight;
}

// Views side by side; the group grows to hold them, the window with it, and the
// controls below move down as a whole.
VideoLayout grownAround(QSize view) {
    VideoLayout layout;
    layout.viewSize = view;
    layout.mainViewPos = formMainViewPos;
    layout.dataViewPos = {formMainViewPos.x() + view.width() + margin, formMainViewPos.y()};
    layout.videoGroupHeight =
        std::max(formVideoGroupHeight, formMainViewPos.y() + view.height() + margin);
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
    if (frame.isEmpty() || formHolds(view)) {
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
    const QSize limit = screenArea.expandedTo(formWindow);
    VideoLayout grown = grownAround(view);
    if (grown.windowSize.width() <= limit.width() && grown.windowSize.height() <= limit.height()) {
        return grown;
    }
    // The largest pictures that still fit: two views and three margins across,
    // and a video group that makes the window no taller than the limit.
    const int widestPicture = (limit.width() - 3 * margin) / 2 - viewExtra;
    const int tallestPicture = limit.height() - formWindow.height() + formVideoGroupHeight -
                               formMainViewPos.y() - margin - viewExtra;
    const double scale = std::min({1.0, static_cast<double>(widestPicture) / frame.width(),
                                   static_cast<double>(tallestPicture) / frame.height()});
    VideoLayout scaled = grownAround(QSize(wholePixels(scale * frame.width()) + viewExtra,
                                           wholePixels(scale * frame.height()) + viewExtra));
    scaled.scale = scale;
    return scaled;
}
