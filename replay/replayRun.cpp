#include "replay/replayRun.h"

#include "app/MainWindow.h"
#include "log/ticks.h"
#include "simulation/aimPrediction.h"
#include "simulation/shotClock.h"
#include "tracking/VideoImage.h"
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

QString beyondSlider(const QString& option, const QSlider* x, const QSlider* y) {
    return QStringLiteral("--%1: the position must be within 0..%2, 0..%3 for this video")
        .arg(option)
        .arg(x->maximum())
        .arg(y->maximum());
}

bool onSlider(const QSlider* slider, int value) {
    return value >= slider->minimum() && value <= slider->maximum();
}

} // namespace

std::optional<QString> problemWithFrame(const ReplayOptions& options, const MainWindow& window) {
    const RequestedSettings& settings = options.settings;
    const cv::Rect frame(0, 0, window.frame.cols, window.frame.rows);
    if ((settings.selection & frame) != settings.selection) {
        return outside("select", "the region", settings.selection, frame.size());
    }
    const Ui::MainWindow& ui = *window.ui;
    if (settings.focal && (!onSlider(ui.brennpunktXSlider, settings.focal->x) ||
                           !onSlider(ui.brennpunktYSlider, settings.focal->y))) {
        return beyondSlider("focal", ui.brennpunktXSlider, ui.brennpunktYSlider);
    }
    const cv::Point focal =
        settings.focal.value_or(cv::Point(window.brennpunktX, window.brennpunktY));
    const cv::Size size = settings.focalSize.value_or(
        cv::Size(window.brennpunktRect.width, window.brennpunktRect.height));
    const cv::Rect focalArea(focal, size);
    if (settings.focal || settings.focalSize) {
        if ((focalArea & frame) != focalArea) {
            return outside(settings.focal ? "focal" : "focal-size", "the focal area", focalArea,
                           frame.size());
        }
    }
    if (settings.roi &&
        (!onSlider(ui.RoiXSlider, settings.roi->x) || !onSlider(ui.RoiYSlider, settings.roi->y))) {
        return beyondSlider("roi", ui.RoiXSlider, ui.RoiYSlider);
    }
    return std::nullopt;
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
    aimAs(window, settings.timing);

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

void aimAs(MainWindow& window, const ShotTiming& timing) {
    window.gateMarginPx = timing.gateMarginPx;
    window.aimPredictor =
        makeAimPredictor(timing.predict, timing.latencyMs / 1000.0, timing.predictWindow);
}

TickRecord runTick(MainWindow& window, ManualClock& clock, std::int64_t tick) {
    const int hitsBefore = window.antallSkudd;
    clock.advanceMs(tickSeconds * 1000.0);
    window.OpenCVMeanShift();

    TickRecord record;
    record.tick = tick;
    record.frame = window.capture.position();
    record.timeSeconds = static_cast<double>(tick) * tickSeconds;
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
    settings.roi = cv::Point(window.roiX, window.roiY);
    settings.filter = window.filterSize;
    if (window.dynThresh != 1) {
        settings.fixedThreshold = window.threshold;
    }
    settings.ticks = ticks;
    settings.timing.gateMarginPx = window.gateMarginPx;
    return settings;
}

int shotsWithoutTrackingSoFar(const MainWindow& window) {
    if (window.trackingStarted != 1) {
        return 0;
    }
    return shotsWithoutTracking(elapsedMs(currentTick(), window.trackingStartTick),
                                window.msPerSkudd);
}
