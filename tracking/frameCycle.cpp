// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MainWindow.h"

#include "log/eventLog.h"
#include "log/ticks.h"
#include "tracking/VideoImage.h"
#include "tracking/processedRegion.h"
#include "tracking/regionAnalysis.h"
#include "tracking/regionTrackers.h"
#include "ui_MainWindow.h"

#include <QStatusBar>
#include <algorithm>
#include <limits>
#include <opencv2/core/hal/intrin.hpp>
#include <opencv2/imgproc.hpp>

namespace {

const cv::Scalar trackColour(100, 0, 150);
const cv::Scalar focalColour(0, 0, 255);
// Frames that one read may drop in a row before playback starts over.
constexpr int maxDroppedFrames = 100;

// Frame positions as the video slider, an int slider, can show them.
int sliderValue(std::int64_t position) {
    return static_cast<int>(std::clamp<std::int64_t>(position, 0, std::numeric_limits<int>::max()));
}

// Channel 0 of an 8-bit three-channel image, as cv::extractChannel(source,
// plane, 0) gives it, but sixteen pixels at a time: the channel mixer behind
// extractChannel copies byte by byte, which made the full-frame split the
// largest cost of a tick.
void extractFirstChannel(const cv::Mat& source, cv::Mat& plane) {
    CV_Assert(source.type() == CV_8UC3);
    plane.create(source.size(), CV_8UC1);
    for (int row = 0; row < source.rows; ++row) {
        const uchar* from = source.ptr<uchar>(row);
        uchar* to = plane.ptr<uchar>(row);
        int column = 0;
#if CV_SIMD128
        for (; column + 16 <= source.cols; column += 16) {
            cv::v_uint8x16 first;
            cv::v_uint8x16 second;
            cv::v_uint8x16 third;
            cv::v_load_deinterleave(from + 3 * column, first, second, third);
            cv::v_store(to + column, first);
        }
#endif
        for (; column < source.cols; ++column) {
            to[column] = from[3 * column];
        }
    }
}

void drawRectangle(cv::Mat& image, const cv::Rect& r, const cv::Scalar& colour, int thickness) {
    cv::rectangle(image, cv::Point(r.x, r.y), cv::Point(r.x + r.width, r.y + r.height), colour,
                  thickness, cv::LINE_AA);
}

} // namespace

// One tick of the frame clock. Paused, it only refreshes the two video views
// (the processed one from the frame on show, previewProcessedFrame);
// playing, it reads the next frame (wrapping from the next-to-last frame to
// frame 1), processes the region of interest, tracks the marked region and
// runs the treatment step.
void MainWindow::OpenCVMeanShift() {
    histTotal = 0;
    histLowPart = 0;
    histHighPart = 0;
    histFromTop = 0;
    takeSoughtFrame();
    // While a seek of the video slider runs, playback waits for it rather
    // than the window.
    if (playing != 1 || capture.seekPending()) {
        if (playing != 1) {
            previewProcessedFrame();
        }
        refreshVideoViews();
        return;
    }

    if (capture.position() == frameCount - 1) {
        capture.seek(1);
    }
    FrameRead read = readPastDamage();
    if (read == FrameRead::NoFrame) {
        // The header promised frames that are not there or gave no count (a
        // file cut short, an unfinished recording), the slider put the capture
        // past the last frame, or the damage went on too long: start over at
        // frame 1.
        learnFrameCount(capture.position());
        capture.seek(1);
        read = readPastDamage();
    }
    if (read == FrameRead::NoFrame) {
        playing = 0;
        statusBar()->showMessage(
            tr("Playback stopped: no frame of the video can be read after frame %1")
                .arg(capture.position()));
    }
    if (read != FrameRead::Accepted) {
        refreshVideoViews();
        return;
    }
    emit updateVideoSlider(sliderValue(capture.position()));
    processFrame();
}

void MainWindow::takeSoughtFrame() {
    if (capture.takeSoughtFrame(decodedFrame)) {
        acceptDecodedFrame();
    }
}

// Only a missing count is learnt: where frames were dropped, the position
// counts decoded frames only and would undercount the file.
void MainWindow::learnFrameCount(std::int64_t framesFound) {
    if (frameCount == 0 && framesFound > 2) {
        frameCount = framesFound;
        applyFrameCount();
    }
}

void MainWindow::applyFrameCount() {
    ui->videoSlider->setRange(0, sliderValue(frameCount));
    if (frameCount > 0) {
        capture.setWrap(frameCount - 1, 1);
    }
}

// Paused or idle, the pictures stay the same from tick to tick: converting and
// repainting them anyway cost up to a third of a core.
void MainWindow::refreshVideoViews() {
    if (!viewsOutOfDate || !viewsDrawn) {
        return;
    }
    showMainView(frame);
    showDataView(dataFrame);
    viewsOutOfDate = false;
}

// A frame that the decoder cannot make (a damaged stretch in the middle of the
// file) yields no image, but the decoder has moved past it: while the header
// promises more frames, the next ones are read instead, at most
// maxDroppedFrames of them so that the tick stays short.
MainWindow::FrameRead MainWindow::readPastDamage() {
    FrameRead read = readFrameFromCapture();
    const std::int64_t promised =
        std::min<std::int64_t>(frameCount - 1 - capture.position(), maxDroppedFrames);
    for (std::int64_t dropped = 0; read == FrameRead::NoFrame && dropped < promised; ++dropped) {
        read = readFrameFromCapture();
    }
    return read;
}

// The position sliders leave room for the focal area's first size only, so a
// larger area can reach past the picture; it is drawn clipped to the picture,
// every edge in sight. The hit test needs no clipping: the tracked centre is
// always inside the picture.
void MainWindow::drawFocalArea(const cv::Scalar& colour) {
    if (!viewsDrawn) {
        return;
    }
    const int right = std::min(brennpunktX + brennpunktRect.width, frame.cols - 1);
    const int bottom = std::min(brennpunktY + brennpunktRect.height, frame.rows - 1);
    drawRectangle(frame,
                  cv::Rect(brennpunktX, brennpunktY, right - brennpunktX, bottom - brennpunktY),
                  colour, 2);
}

MainWindow::FrameRead MainWindow::readFrameFromCapture() {
    if (!capture.read(decodedFrame) || decodedFrame.empty()) {
        return FrameRead::NoFrame;
    }
    return acceptDecodedFrame();
}

MainWindow::FrameRead MainWindow::acceptDecodedFrame() {
    // The working images were sized from the first frame; a frame of another
    // size or type would not fit them.
    if (!frame.empty() &&
        (decodedFrame.size() != frame.size() || decodedFrame.type() != frame.type())) {
        return FrameRead::Mismatched;
    }
    cv::swap(frame, decodedFrame);
    viewsOutOfDate = true;
    frameUndrawn = true;
    previewShown.reset();
    return FrameRead::Accepted;
}

cv::Rect MainWindow::regionOfInterest() const {
    return ::processedRegion({roiX, roiY}, {roiWidth, roiHeight}, frame.size());
}

// Copies the region of interest of `frame` into roiImage, counts its grey
// levels and draws their histogram where views are drawn; returns the
// threshold walk over them.
ThresholdWalk MainWindow::analyseRegion(const cv::Rect& roi) {
    const cv::Rect inRoiImage(0, 0, roi.width, roi.height);
    cv::Mat region = roiImage(inRoiImage);
    cv::Mat regionPlane = roiPlane(inRoiImage);
    frame(roi).copyTo(region);
    extractFirstChannel(region, regionPlane);

    histMax = computeScaledHistogram(regionPlane, hist);
    if (viewsDrawn) {
        drawHistogram(hist, histImage);
    }
    return walkThreshold(hist);
}

// Blurs the region of interest as analyseRegion left it in roiImage, in place,
// and returns it.
cv::Mat MainWindow::blurRegion(const cv::Rect& roi) {
    cv::Mat region = roiImage(cv::Rect(0, 0, roi.width, roi.height));
    // Replicated border, and isolated so that a region smaller than roiImage
    // never reads the unused rest of it.
    cv::blur(region, region, cv::Size(filterSize, filterSize), cv::Point(-1, -1),
             cv::BORDER_REPLICATE | cv::BORDER_ISOLATED);
    return region;
}

// The processed frame: the region of interest (as blurRegion left it in
// roiImage) thresholded at `level`, pasted into a copy of `frame`.
void MainWindow::composeDataFrame(const cv::Rect& roi, int level) {
    cv::Mat region = roiImage(cv::Rect(0, 0, roi.width, roi.height));
    cv::threshold(region, region, level, 256, cv::THRESH_BINARY);

    if (viewsDrawn) {
        frame.copyTo(dataFrame);
        region.copyTo(dataFrame(roi));
        extractFirstChannel(dataFrame, dataPlane);
        return;
    }
    // Only tracking reads it: the plane straight from the two pictures.
    extractFirstChannel(frame, dataPlane);
    cv::Mat planeInRoi = dataPlane(roi);
    extractFirstChannel(region, planeInRoi);
}

void MainWindow::processFrame() {
    const cv::Rect roi = regionOfInterest();
    const ThresholdWalk walk = analyseRegion(roi);
    histTotal = walk.histTotal;
    histLowPart = walk.histLowPart;
    histHighPart = walk.histHighPart;
    histFromTop = walk.histFromTop;
    if (walk.level >= 0 && dynThresh == 1) {
        threshold = walk.level;
    }
    emit updateThresholdSlider(threshold);
    if (viewsDrawn) {
        showHistView(histImage);
    }

    // The level that separates the marked object, on the frame that takes the
    // mark over, where the run asked for it; then held as a level set by hand.
    if (chooseLevelFromMark && dataScene->selectionState < 0) {
        chooseLevelFromMark = false;
        cv::Mat blurredPlane;
        cv::extractChannel(blurRegion(roi), blurredPlane, 0);
        const QRect& marked = dataScene->handedOver;
        const cv::Rect mark(marked.x() - roi.x, marked.y() - roi.y, marked.width(),
                            marked.height());
        if (const std::optional<int> level = levelSeparatingMark(blurredPlane, mark)) {
            threshold = *level;
            emit updateThresholdSlider(threshold);
        }
    } else {
        blurRegion(roi);
    }
    composeDataFrame(roi, threshold);
    // From here on `frame` carries the overlays.
    frameUndrawn = false;

    trackMarkedRegion();

    if (brennpunktDrawn == 0) {
        drawFocalArea(focalColour);
    }
    brennpunktDrawn = 0;

    viewsOutOfDate = true;
    refreshVideoViews();
}

// While paused, the processed view shows what a playing tick would make of the
// frame on show, at the region, filter and threshold set now. It changes
// nothing that a playing tick reads: the threshold level is the one the tick
// would use, but `threshold` and the threshold slider keep theirs. A frame
// that a playing tick has drawn its rectangles on is left as that tick showed it.
void MainWindow::previewProcessedFrame() {
    if (!frameUndrawn) {
        return;
    }
    const cv::Rect roi = regionOfInterest();
    const PreviewSettings settings{roi, filterSize, threshold, dynThresh};
    if (previewShown && *previewShown == settings) {
        return;
    }
    const ThresholdWalk walk = analyseRegion(roi);
    if (viewsDrawn) {
        showHistView(histImage);
    }
    blurRegion(roi);
    composeDataFrame(roi, walk.level >= 0 && dynThresh == 1 ? walk.level : threshold);
    previewShown = settings;
    viewsOutOfDate = true;
}

void MainWindow::trackMarkedRegion() {
    if (dataScene->selectionState == 0) {
        return;
    }
    const bool justMarked = dataScene->selectionState < 0;
    if (justMarked) {
        const QRect& marked = dataScene->handedOver;
        trackWindow = cv::Rect(marked.left(), marked.top(), marked.right() - marked.left() + 1,
                               marked.bottom() - marked.top() + 1);
        dataScene->selectionState = 1;
    }
    if (trackingStarted == 0 && loggStarted == 1) {
        trackingStartTick = currentTick();
        eventlog::writeTrackingStarted(loggFile.get(), stampLogTime());
        trackingStarted = 1;
    }

    if (regionTracker) {
        followWithRegionTracker(justMarked);
    } else {
        trackComp = meanShift(dataPlane, trackWindow, meanShiftIterations, meanShiftEpsilon);
        trackConfidence = trackComp.area > 0 ? 1.0 : 0.0;
    }
    // Mean shift's confidence is below any cut above 0 only where its window
    // is empty, which is out of the plane already.
    trackComp.area = judgedStep({trackComp.rect, trackComp.area, trackConfidence}, lostBelow).area;
    if (regionTrackerRefused) {
        return;
    }
    trackWindow = trackComp.rect;
    if (viewsDrawn) {
        drawRectangle(dataFrame, trackWindow, trackColour, 1);
        drawRectangle(frame, trackWindow, trackColour, 2);
    }
    trackCenterX = trackWindow.x + trackWindow.width / 2;
    trackCenterY = trackWindow.y + trackWindow.height / 2;

    updatePlaneAndIntervals();
}

// Another tracker in place of mean shift. It starts on the frame on which the
// region is taken over, and the treatment step weighs its box as it weighs
// mean shift's window. One that cannot start stops playback.
void MainWindow::followWithRegionTracker(bool justMarked) {
    if (justMarked && !regionTracker->start(frame, dataPlane, trackWindow)) {
        regionTrackerRefused = true;
        playing = 0;
        trackComp = {0.0, trackWindow};
        trackConfidence = 0.0;
        return;
    }
    const TrackStep step = regionTracker->follow(frame, dataPlane);
    trackComp = {step.area, step.box};
    trackConfidence = step.confidence;
}
