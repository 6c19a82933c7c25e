// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <deque>
#include <memory>
#include <opencv2/core.hpp>
#include <opencv2/video/tracking.hpp>
#include <optional>

// A lithotripter fires some time after the image on which it decided. Where
// the stone will be when the shot arrives is guessed from its track: each
// predictor takes the tracked centre of every treatment step and gives the
// centre that the hit test should aim at. While the stone is out of the
// imaging plane a predictor forgets what it has seen, so that it starts again
// when the stone comes back, and aims at the tracked centre meanwhile.

enum class Prediction { None, Linear, Kalman };

// "none", "linear", "kalman".
QString predictionName(Prediction prediction);
std::optional<Prediction> predictionNamed(const QString& name);

class AimPredictor {
  public:
    virtual ~AimPredictor() = default;
    // The aim for a shot decided at `seconds` (the run's clock) on the tracked
    // `centre`; `inPlane` false: the tracking window is empty.
    virtual cv::Point2d aim(double seconds, cv::Point2d centre, bool inPlane) = 0;
};

// The tracked centre plus the least-squares velocity over the last `window`
// in-plane steps, times the latency. Fewer than two steps give no velocity.
class LinearAimPredictor : public AimPredictor {
  public:
    LinearAimPredictor(double latencySeconds, int window);
    cv::Point2d aim(double seconds, cv::Point2d centre, bool inPlane) override;

  private:
    struct Step {
        double seconds;
        cv::Point2d centre;
    };
    double latency;
    std::size_t window;
    std::deque<Step> recent;
};

// The noise settings of the constant-velocity Kalman filter.
struct KalmanNoise {
    double accelerationDensity; // px^2/s^3, of the white acceleration driving the model
    double measurementPx;       // spread of a tracked centre
    double initialSpeedPxPerS;  // spread of the speed on entering the plane
};

// The default settings (common/defaults.h).
KalmanNoise defaultKalmanNoise();

// OpenCV's Kalman filter on the state (x, y, vx, vy) with a constant-velocity
// model over the steps' own time differences; the aim is the filtered state
// carried forward over the latency. It starts at the first in-plane centre at
// rest, with the initial speed spread.
class KalmanAimPredictor : public AimPredictor {
  public:
    KalmanAimPredictor(double latencySeconds, KalmanNoise noise);
    cv::Point2d aim(double seconds, cv::Point2d centre, bool inPlane) override;

  private:
    double latency;
    KalmanNoise noise;
    cv::KalmanFilter filter;
    std::optional<double> lastSeconds; // none: not started
};

// The predictor of `prediction` for shots `latencySeconds` after the image;
// nullptr for none (the hit test aims at the tracked centre).
std::unique_ptr<AimPredictor> makeAimPredictor(Prediction prediction, double latencySeconds,
                                               int linearWindow);
