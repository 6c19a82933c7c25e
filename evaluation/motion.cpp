// SPDX-License-Identifier: GPL-3.0-or-later
#include "evaluation/motion.h"

#include "simulation/focalArea.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <opencv2/core.hpp>

namespace {

// The times compared in whole microseconds, so that a window edge that falls
// on a tick takes it in.
std::int64_t us(double seconds) {
    return std::llround(seconds * 1e6);
}

struct Smoothed {
    cv::Point2d position;
    cv::Point2d velocity;
    bool wholeWindow = false; // the window lies in the sample's stretch on both sides
};

// A local quadratic (Savitzky-Golay) fit on the samples' own times.
std::vector<Smoothed> smooth(const std::vector<MotionSample>& samples) {
    const std::int64_t half = us(motionSmoothingHalfWidthSeconds);
    std::vector<Smoothed> result(samples.size());
    std::size_t first = 0;
    std::size_t last = 0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const std::int64_t now = us(samples[i].seconds);
        const int stretch = samples[i].stretch;
        while (samples[first].stretch != stretch || us(samples[first].seconds) < now - half) {
            ++first;
        }
        last = std::max(last, i);
        while (last + 1 < samples.size() && samples[last + 1].stretch == stretch &&
               us(samples[last + 1].seconds) <= now + half) {
            ++last;
        }
        const bool startsEarlier = first > 0 && samples[first - 1].stretch == stretch;
        const bool endsLater = last + 1 < samples.size() && samples[last + 1].stretch == stretch;
        const bool reachesBack = startsEarlier || us(samples[first].seconds) == now - half;
        const bool reachesOn = endsLater || us(samples[last].seconds) == now + half;
        Smoothed& out = result[i];
        out.position = samples[i].centre;
        out.wholeWindow = reachesBack && reachesOn;
        // Normal equations of x = a + b tau + c tau^2, tau from this sample.
        cv::Matx33d normal = cv::Matx33d::zeros();
        cv::Matx32d right = cv::Matx32d::zeros();
        for (std::size_t j = first; j <= last; ++j) {
            const double tau = samples[j].seconds - samples[i].seconds;
            const cv::Vec3d powers(1.0, tau, tau * tau);
            normal += powers * powers.t();
            const cv::Point2d& c = samples[j].centre;
            right += powers * cv::Matx12d(c.x, c.y);
        }
        const std::size_t points = last - first + 1;
        if (points >= 3) {
            cv::Matx32d fit;
            if (cv::solve(normal, right, fit, cv::DECOMP_CHOLESKY)) {
                out.position = {fit(0, 0), fit(0, 1)};
                out.velocity = {fit(1, 0), fit(1, 1)};
                continue;
            }
        }
        out.wholeWindow = false; // too few samples for a slope worth the name
    }
    return result;
}

double median(std::vector<double> values) {
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

} // namespace

std::optional<double> dominantFrequencyHz(const std::vector<double>& seconds,
                                          const std::vector<double>& values,
                                          const std::vector<int>& stretch, double lowestHz,
                                          double highestHz) {
    const std::size_t n = seconds.size();
    if (n < 8 || values.size() != n || stretch.size() != n) {
        return std::nullopt;
    }
    std::vector<double> steps;
    for (std::size_t i = 1; i < n; ++i) {
        if (stretch[i] == stretch[i - 1] && seconds[i] > seconds[i - 1]) {
            steps.push_back(seconds[i] - seconds[i - 1]);
        }
    }
    if (steps.empty()) {
        return std::nullopt;
    }
    const double dt = median(steps);
    double mean = 0.0;
    for (double v : values) {
        mean += v;
    }
    mean /= static_cast<double>(n);

    const auto points =
        static_cast<std::size_t>(std::floor((seconds.back() - seconds.front()) / dt)) + 1;
    constexpr std::size_t largestTransform = std::size_t{1} << 22;
    if (points < 8 || points > largestTransform) {
        return std::nullopt;
    }
    const int length =
        cv::getOptimalDFTSize(static_cast<int>(std::min(points * 16, largestTransform)));
    cv::Mat signal = cv::Mat::zeros(1, length, CV_64F);
    std::size_t j = 0;
    for (std::size_t k = 0; k < points; ++k) {
        const double t = seconds.front() + static_cast<double>(k) * dt;
        while (j + 1 < n && seconds[j + 1] <= t) {
            ++j;
        }
        double value = 0.0; // between stretches: the mean
        if (j + 1 < n && stretch[j + 1] == stretch[j]) {
            const double fraction = (t - seconds[j]) / (seconds[j + 1] - seconds[j]);
            value = values[j] + (values[j + 1] - values[j]) * fraction - mean;
        } else if (std::abs(t - seconds[j]) < dt / 2) {
            value = values[j] - mean;
        }
        const double hann = 0.5 * (1.0 - std::cos(2.0 * std::numbers::pi * static_cast<double>(k) /
                                                  static_cast<double>(points - 1)));
        signal.at<double>(0, static_cast<int>(k)) = value * hann;
    }
    cv::Mat spectrum;
    cv::dft(signal, spectrum, cv::DFT_COMPLEX_OUTPUT);
    const double binHz = 1.0 / (length * dt);
    const int low = std::max(1, static_cast<int>(std::ceil(lowestHz / binHz)));
    const int high = std::min(length / 2, static_cast<int>(std::floor(highestHz / binHz)));
    if (high - low < 2) {
        return std::nullopt;
    }
    const auto power = [&spectrum](int k) {
        const cv::Vec2d& bin = spectrum.at<cv::Vec2d>(0, k);
        return bin[0] * bin[0] + bin[1] * bin[1];
    };
    int peak = low;
    for (int k = low + 1; k <= high; ++k) {
        if (power(k) > power(peak)) {
            peak = k;
        }
    }
    if (peak == low || peak == high || power(peak) <= 0.0) {
        return std::nullopt;
    }
    const double before = std::log(std::max(power(peak - 1), 1e-300));
    const double at = std::log(power(peak));
    const double after = std::log(std::max(power(peak + 1), 1e-300));
    const double curvature = before - 2.0 * at + after;
    const double shift = curvature < 0.0 ? 0.5 * (before - after) / curvature : 0.0;
    return (peak + shift) * binHz;
}

MotionFigures measureMotion(const std::vector<MotionSample>& samples, cv::Point focalCorner,
                            cv::Size focalSize) {
    MotionFigures figures;
    figures.samples = static_cast<std::int64_t>(samples.size());
    double shown = 0.0;
    double onFocus = 0.0;
    for (const MotionSample& sample : samples) {
        shown += sample.weightSeconds;
        if (onFocalArea(focalCorner, focalSize, sample.centre.x, sample.centre.y)) {
            onFocus += sample.weightSeconds;
        }
    }
    if (shown > 0.0) {
        figures.onFocalAreaShare = onFocus / shown;
    }
    if (samples.size() < 3) {
        return figures;
    }

    cv::Mat data(static_cast<int>(samples.size()), 2, CV_64F);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        data.at<double>(static_cast<int>(i), 0) = samples[i].centre.x;
        data.at<double>(static_cast<int>(i), 1) = samples[i].centre.y;
    }
    const cv::PCA pca(data, cv::noArray(), cv::PCA::DATA_AS_ROW, 1);
    const cv::Point2d axis(pca.eigenvectors.at<double>(0, 0), pca.eigenvectors.at<double>(0, 1));
    const cv::Point2d mean(pca.mean.at<double>(0, 0), pca.mean.at<double>(0, 1));

    const std::vector<Smoothed> smoothed = smooth(samples);
    double lowest = INFINITY;
    double highest = -INFINITY;
    double fastest = -1.0;
    for (const Smoothed& s : smoothed) {
        const double along = (s.position - mean).dot(axis);
        lowest = std::min(lowest, along);
        highest = std::max(highest, along);
        if (s.wholeWindow) {
            fastest = std::max(fastest, std::hypot(s.velocity.x, s.velocity.y));
        }
    }
    figures.peakToPeakPx = highest - lowest;
    if (fastest >= 0.0) {
        figures.peakSpeedPxPerS = fastest;
    }

    std::vector<double> seconds;
    std::vector<double> along;
    std::vector<int> stretch;
    for (const MotionSample& sample : samples) {
        seconds.push_back(sample.seconds);
        along.push_back((sample.centre - mean).dot(axis));
        stretch.push_back(sample.stretch);
    }
    const double span = seconds.back() - seconds.front();
    if (span > 0.0) {
        // At least two breaths must fit in the record for a rate to be found.
        const double lowestHz = std::max(slowestBreathsPerMin / 60.0, 2.0 / span);
        if (const std::optional<double> hz = dominantFrequencyHz(seconds, along, stretch, lowestHz,
                                                                 fastestBreathsPerMin / 60.0)) {
            figures.breathsPerMin = *hz * 60.0;
        }
    }
    return figures;
}
