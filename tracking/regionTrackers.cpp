// SPDX-License-Identifier: GPL-3.0-or-later
#include "tracking/regionTrackers.h"

#include "tracking/meanShift.h"

#include <algorithm>
#include <cmath>
#include <opencv2/imgproc.hpp>
#include <opencv2/tracking.hpp>
#include <opencv2/video/tracking.hpp>

namespace {

cv::Mat greyPatch(const cv::Mat& frame, const cv::Rect& box) {
    cv::Mat grey;
    cv::cvtColor(frame(box), grey, cv::COLOR_BGR2GRAY);
    return grey;
}

// The window's own tracker, exactly as the frame cycle runs it. Confident
// while its window holds stone pixels, which is also the window's own test
// for the plane, so that cutting at any confidence above 0 changes nothing.
class MeanShiftTracker : public RegionTracker {
  public:
    bool start(const cv::Mat&, const cv::Mat&, const cv::Rect& region) override {
        window = region;
        return true;
    }
    TrackStep follow(const cv::Mat&, const cv::Mat& plane) override {
        const ConnectedComp comp = meanShift(plane, window, meanShiftIterations, meanShiftEpsilon);
        window = comp.rect;
        return {comp.rect, comp.area, comp.area > 0 ? 1.0 : 0.0};
    }

  private:
    cv::Rect window;
};

// CSRT, KCF and MIL: OpenCV's tracker on the frame as decoded. None of them
// reports a score through its interface, so the confidence is how alike the
// box's grey patch is to the marked one. Where the tracker says it lost the
// region, the box stays where it was and the confidence is 0.
class OpenCvTracker : public RegionTracker {
  public:
    OpenCvTracker(cv::Ptr<cv::Tracker> tracker, int smallestSide)
        : tracker(std::move(tracker)), smallestSide(smallestSide) {}

    bool start(const cv::Mat& frame, const cv::Mat&, const cv::Rect& region) override {
        if (std::min(region.width, region.height) < smallestSide) {
            return false;
        }
        try {
            tracker->init(frame, region);
        } catch (const cv::Exception&) {
            return false;
        }
        first = greyPatch(frame, region);
        last = region;
        return true;
    }

    TrackStep follow(const cv::Mat& frame, const cv::Mat& plane) override {
        cv::Rect found;
        bool held = false;
        try {
            held = tracker->update(frame, found);
        } catch (const cv::Exception&) {
            held = false;
        }
        const cv::Rect inside = found & cv::Rect(0, 0, frame.cols, frame.rows);
        if (!held || inside.empty()) {
            return {last, stonePixels(plane, last), 0.0};
        }
        last = inside;
        return {inside, stonePixels(plane, inside), patchLikeness(first, greyPatch(frame, inside))};
    }

  private:
    cv::Ptr<cv::Tracker> tracker;
    int smallestSide;
    cv::Mat first;
    cv::Rect last;
};

// The marked patch found again by normalised cross-correlation
// (TM_CCOEFF_NORMED) in the last box grown by templateSearchMargin on every
// side; the confidence is the correlation peak, clamped to 0..1.
class TemplateTracker : public RegionTracker {
  public:
    bool start(const cv::Mat& frame, const cv::Mat&, const cv::Rect& region) override {
        if (region.empty()) {
            return false;
        }
        patch = greyPatch(frame, region);
        last = region;
        return true;
    }

    TrackStep follow(const cv::Mat& frame, const cv::Mat& plane) override {
        const cv::Rect search =
            cv::Rect(last.x - templateSearchMargin, last.y - templateSearchMargin,
                     last.width + 2 * templateSearchMargin,
                     last.height + 2 * templateSearchMargin) &
            cv::Rect(0, 0, frame.cols, frame.rows);
        cv::Mat scores;
        cv::matchTemplate(greyPatch(frame, search), patch, scores, cv::TM_CCOEFF_NORMED);
        double peak = 0.0;
        cv::Point at;
        cv::minMaxLoc(scores, nullptr, &peak, nullptr, &at);
        last = cv::Rect(search.x + at.x, search.y + at.y, patch.cols, patch.rows);
        // A flat patch or search window gives no finite correlation.
        const double confidence = std::isfinite(peak) ? std::clamp(peak, 0.0, 1.0) : 0.0;
        return {last, stonePixels(plane, last), confidence};
    }

  private:
    cv::Mat patch;
    cv::Rect last;
};

} // namespace

const char* trackerName(TrackerKind kind) {
    switch (kind) {
    case TrackerKind::MeanShift:
        return "meanshift";
    case TrackerKind::Csrt:
        return "csrt";
    case TrackerKind::Kcf:
        return "kcf";
    case TrackerKind::Mil:
        return "mil";
    case TrackerKind::Template:
        return "template";
    }
    return "";
}

std::optional<TrackerKind> trackerNamed(const std::string& name) {
    for (const TrackerKind kind : allTrackers) {
        if (name == trackerName(kind)) {
            return kind;
        }
    }
    return std::nullopt;
}

std::string trackerNames() {
    std::string names;
    const std::size_t count = std::size(allTrackers);
    for (std::size_t i = 0; i < count; ++i) {
        names += i == 0 ? "" : (i + 1 == count ? " or " : ", ");
        names += trackerName(allTrackers[i]);
    }
    return names;
}

TrackStep judgedStep(TrackStep step, double lostBelow) {
    if (step.confidence < lostBelow) {
        step.area = 0.0;
    }
    return step;
}

double stonePixels(const cv::Mat& plane, const cv::Rect& box) {
    const cv::Rect inside = box & cv::Rect(0, 0, plane.cols, plane.rows);
    if (inside.empty()) {
        return 0.0;
    }
    return static_cast<float>(cv::moments(plane(inside), false).m00);
}

double patchLikeness(const cv::Mat& first, const cv::Mat& current) {
    cv::Mat resized;
    cv::resize(current, resized, first.size(), 0, 0, cv::INTER_AREA);
    cv::Mat a;
    cv::Mat b;
    first.convertTo(a, CV_64F);
    resized.convertTo(b, CV_64F);
    cv::Scalar meanA;
    cv::Scalar deviationA;
    cv::Scalar meanB;
    cv::Scalar deviationB;
    cv::meanStdDev(a, meanA, deviationA);
    cv::meanStdDev(b, meanB, deviationB);
    constexpr double flat = 1e-9;
    if (deviationA[0] < flat || deviationB[0] < flat) {
        return deviationA[0] < flat && deviationB[0] < flat && std::fabs(meanA[0] - meanB[0]) < 0.5
                   ? 1.0
                   : 0.0;
    }
    const double covariance = cv::mean((a - meanA[0]).mul(b - meanB[0]))[0];
    return std::clamp(covariance / (deviationA[0] * deviationB[0]), 0.0, 1.0);
}

std::unique_ptr<RegionTracker> makeRegionTracker(TrackerKind kind) {
    switch (kind) {
    case TrackerKind::MeanShift:
        return std::make_unique<MeanShiftTracker>();
    case TrackerKind::Csrt:
        return std::make_unique<OpenCvTracker>(cv::TrackerCSRT::create(), 1);
    case TrackerKind::Kcf:
        return std::make_unique<OpenCvTracker>(cv::TrackerKCF::create(), 1);
    case TrackerKind::Mil:
        // OpenCV's MIL does not come back from its first update on a region
        // of a few pixels.
        return std::make_unique<OpenCvTracker>(cv::TrackerMIL::create(), milSmallestSide);
    case TrackerKind::Template:
        return std::make_unique<TemplateTracker>();
    }
    return nullptr;
}
