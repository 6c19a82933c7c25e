// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MainWindow.h"
#include "log/ticks.h"

double MainWindow::stampLogTime() {
    logTick = currentTick();
    const double t = elapsedSeconds(startTick, logTick);
    logTime = static_cast<float>(t);
    return t;
}
