// SPDX-License-Identifier: GPL-3.0-or-later
#include "simulation/aimPrediction.h"

#include "common/defaults.h"

#include <array>

namespace {

struct Named {
    Prediction prediction;
    const char* name;
};
constexpr std::array<Named, 3> names{
    {{Prediction::None, "none"}, {Prediction::Linear, "linear"}, {Prediction::Kalman, "kalman"}}};

} // namespace

QString predictionName(Prediction prediction) {
    for (const Named& named : names) {
        if (named.prediction == prediction) {
            return QString::fromLatin1(named.name);
        }
    }
    return {};
}

std::optional<Prediction> predictionNamed(const QString& name) {
    for (const Named& named : names) {
        if (name == QLatin1String(named.name)) {
            return named.prediction;
        }
    }
    return std::nullopt;
}

LinearAimPredictor::LinearAimPredictor(double latencySeconds, int window)
    : latency(latencySeconds), window(static_cast<std::size_t>(std::max(window, 2))) {}

cv::Point2d LinearAimPredictor::aim(double seconds, cv::Point2d centre, bool inPlane) {
    if (!inPlane) {
        recent.clear();
        return centre;
    }
    recent.push_back({seconds, centre});
    if (recent.size() > window) {
        recent.pop_front();
    }
    double meanT = 0.0;
    cv::Point2d mean(0.0, 0.0);
    for (const Step& step : recent) {
        meanT += step.seconds;
        mean += step.centre;
    }
    const double n = static_cast<double>(recent.size());
    meanT /= n;
    mean /= n;
    double spread = 0.0;
    cv::Point2d covariance(0.0, 0.0);
    for (const Step& step : recent) {
        const double dt = step.seconds - meanT;
        spread += dt * dt;
        covariance += dt * (step.centre - mean);
    }
    if (spread <= 0.0) {
        return centre; // one step, or all at one time: no velocity
    }
    return centre + covariance * (latency / spread);
}

KalmanNoise defaultKalmanNoise() {
    return {static_cast<double>(prediction::kalmanAccelerationNoise),
            static_cast<double>(prediction::kalmanMeasurementNoise),
            static_cast<double>(prediction::kalmanInitialSpeedSpread)};
}

KalmanAimPredictor::KalmanAimPredictor(double latencySeconds, KalmanNoise noise)
    : latency(latencySeconds), noise(noise), filter(4, 2, 0, CV_64F) {
    filter.measurementMatrix = (cv::Mat_<double>(2, 4) << 1, 0, 0, 0, 0, 1, 0, 0);
    filter.measurementNoiseCov =
        cv::Mat::eye(2, 2, CV_64F) * (noise.measurementPx * noise.measurementPx);
}

cv::Point2d KalmanAimPredictor::aim(double seconds, cv::Point2d centre, bool inPlane) {
    if (!inPlane) {
        lastSeconds.reset();
        return centre;
    }
    if (!lastSeconds) {
        filter.statePost = (cv::Mat_<double>(4, 1) << centre.x, centre.y, 0.0, 0.0);
        const double r = noise.measurementPx * noise.measurementPx;
        const double s = noise.initialSpeedPxPerS * noise.initialSpeedPxPerS;
        filter.errorCovPost = cv::Mat::diag((cv::Mat_<double>(4, 1) << r, r, s, s));
    } else {
        // Constant velocity over the step; the white acceleration of density
        // q adds q dt^3/3 to each position's variance, q dt^2/2 to its
        // covariance with the speed and q dt to the speed's variance.
        const double dt = std::max(0.0, seconds - *lastSeconds);
        const double q = noise.accelerationDensity;
        filter.transitionMatrix =
            (cv::Mat_<double>(4, 4) << 1, 0, dt, 0, 0, 1, 0, dt, 0, 0, 1, 0, 0, 0, 0, 1);
        const double p = q * dt * dt * dt / 3.0;
        const double c = q * dt * dt / 2.0;
        const double v = q * dt;
        filter.processNoiseCov =
            (cv::Mat_<double>(4, 4) << p, 0, c, 0, 0, p, 0, c, c, 0, v, 0, 0, c, 0, v);
        filter.predict();
        filter.correct((cv::Mat_<double>(2, 1) << centre.x, centre.y));
    }
    lastSeconds = seconds;
    const cv::Mat& state = filter.statePost;
    return {state.at<double>(0) + state.at<double>(2) * latency,
            state.at<double>(1) + state.at<double>(3) * latency};
}

std::unique_ptr<AimPredictor> makeAimPredictor(Prediction prediction, double latencySeconds,
                                               int linearWindow) {
    switch (prediction) {
    case Prediction::Linear:
        return std::make_unique<LinearAimPredictor>(latencySeconds, linearWindow);
    case Prediction::Kalman:
        return std::make_unique<KalmanAimPredictor>(latencySeconds, defaultKalmanNoise());
    case Prediction::None:
        break;
    }
    return nullptr;
}
