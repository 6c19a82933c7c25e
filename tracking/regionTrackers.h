// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <opencv2/core.hpp>
#include <optional>
#include <string>
#include <vector>

// The trackers that can follow the marked region: the window's own mean
// shift on the thresholded picture, and OpenCV's CSRT, KCF and MIL and a
// normalised cross-correlation template match on the frame as decoded (BGR).
// None of them needs a model file.

enum class TrackerKind { MeanShift, Csrt, Kcf, Mil, Template };

// Every tracker, in the order that help texts list them.
inline constexpr TrackerKind allTrackers[] = {TrackerKind::MeanShift, TrackerKind::Csrt,
                                              TrackerKind::Kcf, TrackerKind::Mil,
                                              TrackerKind::Template};

// "meanshift", "csrt", "kcf", "mil", "template".
const char* trackerName(TrackerKind kind);
std::optional<TrackerKind> trackerNamed(const std::string& name);
// "meanshift, csrt, kcf, mil or template", as a message lists them.
std::string trackerNames();

// Below this confidence a tick counts as out of the imaging plane unless the
// command line says otherwise; 0 never does.
inline constexpr double defaultLostBelow = 0.5;

// The template tracker searches the last box grown by this many pixels on
// every side (cut to the picture).
inline constexpr int templateSearchMargin = 32;

// MIL cannot start on a region with a shorter side.
inline constexpr int milSmallestSide = 8;

// One tick of a tracker: the box (inside the picture), the stone pixels in it
// as the window's plane test counts them (the zeroth moment of the
// thresholded picture in the box; mean shift's own area), and the confidence
// in 0..1 that the box still holds what was marked.
struct TrackStep {
    cv::Rect box;
    double area = 0.0;
    double confidence = 0.0;
};

// A tick whose confidence is below `lostBelow` counts as out of the plane:
// its area is 0, which stops the window's treatment step from firing on it.
TrackStep judgedStep(TrackStep step, double lostBelow);

// The stone pixels of `plane` in `box` as mean shift weighs them (single
// precision, as meanShift reports its area).
double stonePixels(const cv::Mat& plane, const cv::Rect& box);

// How alike two grey patches are: their normalised correlation coefficient,
// `current` resized to `first`'s size first, clamped to 0..1. Two flat
// patches of the same value are alike (1); a flat patch and a textured one,
// or two flat ones of different values, are not (0).
double patchLikeness(const cv::Mat& first, const cv::Mat& current);

// Follows a region from tick to tick. `frame` is the frame as decoded (BGR),
// `plane` the window's thresholded one-channel picture of the same size.
class RegionTracker {
  public:
    virtual ~RegionTracker() = default;
    // False when the tracker cannot start on `region` (inside the frame).
    virtual bool start(const cv::Mat& frame, const cv::Mat& plane, const cv::Rect& region) = 0;
    virtual TrackStep follow(const cv::Mat& frame, const cv::Mat& plane) = 0;
};

std::unique_ptr<RegionTracker> makeRegionTracker(TrackerKind kind);
