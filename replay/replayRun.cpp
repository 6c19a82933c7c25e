// SPDX-License-Identifier: GPL-3.0-or-later
#include "replay/replayRun.h"

#include "app/MainWindow.h"
#include "common/controlRanges.h"
#include "log/ticks.h"
#include "replay/trackerComparison.h"
#include "replay/treatmentStep.h"
#include "simulation/aimPrediction.h"
#include "simulation/shotClock.h"
#include "tracking/VideoImage.h"
#include "tracking/processedRegion.h"
#include "ui_MainWindow.h"

#include <QSlider>
#include <algorithm>

namespace {

// What a drag of the handle does: the slider reports sliderMoved.
void dragTo(QSlider* slider, int value) {
    slider->setSliderDown(true);
    slider->setSliderPosition(value);
    slider->setSliderDown(false);
}

QString outside(const QString& option, const QString& what, const cv::Rect& area,
                const cv::Size& frame) {
    return QStringLiteral("--%1: %2 (%3,%4 to %5,%6) reaches outside the %7 x %8 frame")
        .arg(option, what)
        .arg(area.x)
        .arg(area.y)
        .arg(area.x + area.width)
        .arg(area.y + area.height)
        .arg(frame.width)
        .arg(frame.height);
}

QString beyondSlider(const QString& option, int xMost, int yMost) {
    return QStringLiteral("--%1: the position must be within 0..%2, 0..%3 for this video")
        .arg(option)
        .arg(xMost)
        .arg(yMost);
}

bool within(const cv::Point& at, int xMost, int yMost) {
    return at.x >= 0 && at.x <= xMost && at.y >= 0 && at.y <= yMost;
}

} // namespace

Refusable<> checkFrame(const ReplayOptions& options, cv::Size frame) {
    const RequestedSettings& settings = options.settings;
    if ((settings.selection & cv::Rect({0, 0}, frame)) != settings.selection) {
        return Refusal{outside("select", "the region", settings.selection, frame), exitUsage};
    }
    // What the sliders reach, whatever the focal area's size: the window
    // draws an area that reaches past the picture clipped to it.
    const PositionRanges ranges = positionRanges(frame.width, frame.height);
    if (settings.focal && !within(*settings.focal, ranges.focalXMost, ranges.focalYMost)) {
        return Refusal{beyondSlider("focal", ranges.focalXMost, ranges.focalYMost), exitUsage};
    }
    if (settings.roi && !within(*settings.roi, ranges.roiXMost, ranges.roiYMost)) {
        return Refusal{beyondSlider("roi", ranges.roiXMost, ranges.roiYMost), exitUsage};
    }
    return {};
}

Refusable<> settingFromMark(ReplayOptions& options, cv::Size frame) {
    RequestedSettings& settings = options.settings;
    const cv::Size size(defaults::roiWidth, defaults::roiHeight);
    if (settings.roiFromMark) {
        settings.roi = regionCentredOn(settings.selection, size, frame);
    }
    const cv::Rect processed = processedRegion(
        settings.roi.value_or(cv::Point(defaults::roiX, defaults::roiY)), size, frame);
    if (settings.thresholdFromMark && (settings.selection & processed).empty()) {
        return Refusal{
            QStringLiteral("--threshold mark: the marked region lies outside the region of "
                           "interest (%1,%2 %3 x %4), where no level can be chosen; move it "
                           "with --roi, or use --roi auto")
                .arg(processed.x)
                .arg(processed.y)
                .arg(processed.width)
                .arg(processed.height),
            exitUsage};
    }
    return {};
}

void startRun(MainWindow& window, const ReplayOptions& options) {
    const RequestedSettings& settings = options.settings;
    Ui::MainWindow& ui = *window.ui;
    if (settings.rate) {
        ui.skuddPerMinBox->setValue(*settings.rate);
    }
    if (settings.focalSize) {
        ui.brennpunktXBox->setValue(settings.focalSize->width);
        ui.brennpunktYBox->setValue(settings.focalSize->height);
    }
    if (settings.focal) {
        dragTo(ui.brennpunktXSlider, settings.focal->x);
        dragTo(ui.brennpunktYSlider, settings.focal->y);
    }
    if (settings.roi) {
        dragTo(ui.RoiXSlider, settings.roi->x);
        dragTo(ui.RoiYSlider, settings.roi->y);
    }
    if (settings.filter) {
        dragTo(ui.filterSlider, *settings.filter);
    }
    if (settings.fixedThreshold) {
        ui.dynThresholdOff->click();
        dragTo(ui.thresholdSlider, *settings.fixedThreshold);
    }
    if (settings.thresholdFromMark) {
        ui.dynThresholdOff->click();
        window.chooseLevelFromMark = true;
    }
    aimAs(window, settings.timing);
    followWith(window, options.trackers);

    // A drag from the region's corner to the pixel after its opposite corner
    // leaves exactly this region marked.
    VideoImage& scene = *window.dataScene;
    const cv::Rect& region = settings.selection;
    scene.selection = QRect(region.x, region.y, region.width, region.height);
    scene.handedOver = scene.selection;
    scene.selectionState = -1;

    ui.startLoggButton->click();
    ui.startButton->click();
}

std::int64_t ticksOnceThrough(std::int64_t headerFrameCount, std::int64_t countedFrames) {
    // The first frame is read at start-up; playing, the window reads frames 1
    // to count - 2 and then wraps. Without a count in the header it plays to
    // the end of the stream.
    if (headerFrameCount > 0) {
        return std::max<std::int64_t>(1, headerFrameCount - 2);
    }
    return std::max<std::int64_t>(1, countedFrames - 1);
}

TickRecord runTick(MainWindow& window, ReplayClock& clock, std::int64_t tick) {
    const int hitsBefore = window.antallSkudd;
    // The frame about to be read sets the time until its tick.
    const double seconds = clock.nextTick(window.capture.position());
    window.OpenCVMeanShift();

    TickRecord record;
    record.tick = tick;
    record.frame = window.capture.position();
    record.timeSeconds = seconds;
    record.track = window.trackWindow;
    record.centreX = window.trackCenterX;
    record.centreY = window.trackCenterY;
    record.aimX = window.aimX;
    record.aimY = window.aimY;
    record.area = window.trackComp.area;
    record.inPlane = record.area > 0;
    record.onFocalArea = window.inBrennpunkt == 1;
    record.hit = window.antallSkudd > hitsBefore;
    record.threshold = window.threshold;
    record.confidence = window.trackConfidence;
    return record;
}

RunSettings settingsInForce(const MainWindow& window, const QString& video, std::int64_t ticks) {
    RunSettings settings;
    settings.video = video;
    const QRect& marked = window.dataScene->handedOver;
    settings.selection = cv::Rect(marked.x(), marked.y(), marked.width(), marked.height());
    settings.rate = window.skuddPerMin;
    settings.focal = cv::Point(window.brennpunktX, window.brennpunktY);
    settings.focalSize = cv::Size(window.brennpunktRect.width, window.brennpunktRect.height);
    const cv::Rect processed = processedRegion(
        {window.roiX, window.roiY}, {window.roiWidth, window.roiHeight}, window.frame.size());
    settings.roi = processed.tl();
    settings.roiSize = processed.size();
    settings.filter = window.filterSize;
    if (window.dynThresh != 1) {
        settings.fixedThreshold = window.threshold;
    }
    settings.ticks = ticks;
    settings.frame = window.frame.size();
    settings.timing.gateMarginPx = window.gateMarginPx;
    settings.lostBelow = window.lostBelow;
    return settings;
}

int shotsWithoutTrackingSoFar(const MainWindow& window) {
    if (window.trackingStarted != 1) {
        return 0;
    }
    return shotsWithoutTracking(elapsedMs(currentTick(), window.trackingStartTick),
                                window.msPerSkudd);
}
