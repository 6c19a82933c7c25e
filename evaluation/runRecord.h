// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/defaults.h"
#include "simulation/aimPrediction.h"
#include "tracking/recordingInfo.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <opencv2/core.hpp>
#include <optional>
#include <vector>

// What a replay records of a treatment run: the settings it was run with and
// one record per playing tick. The measures against the stone's true position
// and the reports are computed from these alone.

// When a simulated shot arrives and where the hit test aims. The window's
// own shots arrive on the image they were decided on and aim at the tracked
// centre.
struct ShotTiming {
    int latencyMs = 0; // from the image a shot was decided on to its arrival
    Prediction predict = Prediction::None;
    int predictWindow = prediction::predictWindow; // in-plane ticks of the linear fit
    double gateMarginPx = 0.0;                     // the aim must lie this far inside every edge
};

// The controls of the window as a replay ran them; they start at the window's
// start values.
struct RunSettings {
    QString video;
    cv::Rect selection;               // marked on the processed view, image pixels
    int rate = defaults::skuddPerMin; // shots per minute
    // The top-left corners of the focal area and of the region of interest.
    cv::Point focal{defaults::brennpunktX, defaults::brennpunktY};
    cv::Size focalSize{defaults::brennpunktWidth, defaults::brennpunktHeight};
    cv::Point roi{defaults::roiX, defaults::roiY};
    // The processed region's size; with `roi` the region as the run used it
    // (moved and cut to lie inside the picture).
    cv::Size roiSize{defaults::roiWidth, defaults::roiHeight};
    bool roiFromMark = false;          // --roi auto: centred on the marked region
    bool thresholdFromMark = false;    // --threshold mark: fixedThreshold chosen from the mark
    int filter = defaults::filterSize; // blur size
    std::optional<int> fixedThreshold; // none: automatic threshold
    std::int64_t ticks = 0;            // playing ticks run
    // The picture's size; the focal area, which may reach past it, counts
    // only inside it. Empty: not known, the whole area counts.
    cv::Size frame;
    // Millimetres per image pixel, across and down, where the recording is
    // calibrated or the command line gave it; none: positions are in pixels.
    std::optional<MmPerPixel> mmPerPixel;
    QString calibrationSource; // where mmPerPixel comes from
    // What the recording gives that cannot be right (a calibration that does
    // not fit the picture), each said in a sentence; the report repeats them.
    QStringList recordingWarnings;
    // The recording's own time from frame to frame; none: it gives none.
    std::optional<double> frameTimeMs;
    // The ticks' clock: "window", "recording", "recording per frame" (each
    // tick the time of its frame, tickMs their mean) or "fixed".
    QString clock = QStringLiteral("window");
    double tickMs = defaults::tickMs;
    ShotTiming timing;
    // What followed the marked region (the replay's --tracker) and the
    // confidence below which a tick counted as out of the plane.
    QString tracker = QStringLiteral("meanshift");
    double lostBelow = 0.5;
};

// The window's frame clock's period: every tick comes this long after the
// previous one; a replay may run on another clock (RunSettings::tickMs).
inline constexpr double tickSeconds = defaults::tickMs / 1000.0;

// One playing tick, after the frame cycle has run it.
struct TickRecord {
    std::int64_t tick = 0;    // 1 for the first playing tick
    std::int64_t frame = 0;   // the capture position after the read: the index of the
                              // frame shown on this tick plus one
    double timeSeconds = 0.0; // on the run's clock; tick x tickSeconds on the window's
    cv::Rect track;           // the tracking window after mean shift
    int centreX = 0;          // its centre (integer division, as the hit test uses it)
    int centreY = 0;
    double aimX = 0.0;        // the centre the hit test weighed: the tracked centre, or
    double aimY = 0.0;        // where the prediction expected the stone at arrival
    double area = 0.0;        // mean shift's zeroth moment; 0: out of the plane
    bool inPlane = false;     // area > 0
    bool onFocalArea = false; // the tick counts as on the focal area (a hit tick)
    bool hit = false;         // a shot was fired on the focal area on this tick
    int threshold = 0;        // the binary threshold in force on this tick
    double confidence = 0.0;  // the tracker's, 0..1 (mean shift: 1 while its window
                              // holds stone pixels)
};

using RunRecord = std::vector<TickRecord>;
