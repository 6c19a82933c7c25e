// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/nextStep.h"

#include "app/MainWindow.h"
#include "log/ticks.h"
#include "tracking/VideoImage.h"
#include "ui_MainWindow.h"

#include <QLabel>

namespace {

const char* const markTheStone = "Drag a rectangle around the stone on the right-hand view";
const char* const pressPlay = "Marked: tracking starts when you press Play";
const char* const pausedTracking = "Paused: tracking goes on when you press Play";
const char* const pressStart = "Press Start to log and count shots";
const char* const separator = "  \u00b7  ";

// What a mark outside the processed region means and what to do about it; the
// shorter form goes beside the progress of a playing video.
QString markAdvice(MarkPlace place, bool brief) {
    switch (place) {
    case MarkPlace::Inside:
        break;
    case MarkPlace::PartlyOutside:
        return brief ? "stone partly outside the processed region: press R to move the region"
                     : "The mark lies partly outside the processed region, so tracking will "
                       "drift: press R, or right-click the right-hand view, to move the region "
                       "onto it";
    case MarkPlace::Outside:
        return brief ? "stone outside the processed region: press R to move the region"
                     : "The mark lies outside the processed region, where the stone cannot be "
                       "tracked: press R, or right-click the right-hand view, to move the "
                       "region onto it";
    case MarkPlace::LargerThanRegion:
        return brief ? "mark larger than the processed region: mark the stone alone"
                     : "The mark is larger than the processed region: drag a smaller rectangle "
                       "around the stone alone";
    }
    return {};
}

} // namespace

QString nextStepText(const RunProgress& run) {
    const QString advice = run.regionMarked ? markAdvice(run.markPlace, run.playing) : QString();
    if (!run.playing) {
        if (!run.regionMarked) {
            return markTheStone;
        }
        if (!advice.isEmpty()) {
            return advice;
        }
        return run.tracking ? pausedTracking : pressPlay;
    }
    // An unfinished recording tells its length only at its first end.
    QString text = run.frameCount > 0
                       ? QStringLiteral("Frame %1 of %2").arg(run.frameNumber).arg(run.frameCount)
                       : QStringLiteral("Frame %1").arg(run.frameNumber);
    text += separator + QString::number(run.seconds, 'f', 1) + " s" + separator;
    if (!run.tracking) {
        text += "stone not tracked";
    } else {
        text +=
            run.stoneInPlane ? "stone tracked, in the plane" : "stone tracked, out of the plane";
    }
    if (!run.regionMarked) {
        text += QString(separator) + markTheStone;
    } else if (!advice.isEmpty()) {
        text += separator + advice;
    } else if (!run.logging) {
        text += QString(separator) + pressStart;
    }
    return text;
}

// Runs after every tick of the frame clock. The label is set only when its
// text changes: while paused that is almost never.
void MainWindow::showNextStep() {
    showWaitingMark();
    RunProgress run;
    run.regionMarked = dataScene->selectionState != 0;
    run.playing = playing == 1;
    run.logging = loggStarted == 1;
    run.frameNumber = ui->videoSlider->value();
    run.frameCount = ui->videoSlider->maximum();
    run.seconds = elapsedSeconds(startTick, currentTick());
    run.tracking = dataScene->selectionState == 1;
    run.stoneInPlane = trackComp.area > 0;
    if (run.regionMarked) {
        run.markPlace = markPlace(currentMark(), processedRegion());
    }
    const QString text = nextStepText(run);
    if (nextStepLabel->text() != text) {
        nextStepLabel->setText(text);
    }
}
