// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/syntheticVideo.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <locale>
#include <numbers>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

namespace {

// Grey level of each kind of tissue at its mean echo power. The kidney is a
// little brighter than its surroundings and its capsule a bright line; even the
// capsule's speckle stays far below the stone, so a threshold separates them.
constexpr float surroundingsLevel = 40.0f;
constexpr float kidneyLevel = 54.0f;
constexpr float capsuleLevel = 100.0f;
constexpr float skinLevel = 110.0f;
constexpr float vesselLevel = 8.0f;
constexpr float stoneGrey = 230.0f;
// Log compression: grey levels per dB of echo power. A modest gain keeps the
// speckle's bright tail short (speckle power is exponential, so its log has a
// long dark tail and a short bright one).
constexpr float greyPerDb = 3.5f;
// Share (as an amplitude) of the speckle that is new in every frame: the
// picture lives a little without the speckle's statistics changing.
constexpr float freshSpeckle = 0.2f;
// The acoustic shadow: how much of the echo it takes away right below the stone,
// and its length in stone heights.
constexpr double shadowDepth = 0.85;
constexpr double shadowLengthInStones = 8.0;

double smoothstep(double edge0, double edge1, double x) {
    const double t = std::clamp((x - edge0) / (edge1 - edge0), 0.0, 1.0);
    return t * t * (3.0 - 2.0 * t);
}

// A Gaussian smoothing kernel scaled to unit energy, so that smoothing white
// noise of unit variance gives unit variance again.
cv::Mat unitEnergyKernel(int size, double sigma) {
    cv::Mat kernel = cv::getGaussianKernel(size, sigma, CV_32F);
    return kernel / cv::norm(kernel);
}

// What every frame shares (the anatomy and the frozen part of the speckle) and
// the working pictures that each frame reuses.
struct Scene {
    cv::Size size;
    cv::Mat1f level;              // grey level at mean echo power
    cv::Mat1f fan;                // 1 inside the probe's sector, 0 outside, soft edge
    cv::Mat1f frozenRe, frozenIm; // smoothed complex echo field, the part that stays
    cv::Mat kernelX, kernelY;     // speckle cell: wider laterally than axially
    std::uint64_t seed = 0;
    // Reused from frame to frame: allocating them anew costs more than drawing.
    cv::Mat1f fresh, amplitude, power, grey;
    cv::Mat grey8, bgr;
};

// Where the demo's stone rests between breaths, inside the lithotripter's
// focus as the window places it at start.
constexpr double stoneRestX = 217.0;
constexpr double stoneRestY = 214.0;

// A curved-array probe: its sector fans out from an apex above the picture.
// Tissue layers under the skin follow the arcs; the kidney lies in the middle.
// In a wide picture the probe moves left, so that the stone's resting place
// stays well inside the sector (20 degrees off its axis at most) and is seen
// in speckled tissue, as a real stone is: outside the sector the picture is
// black, and a stone on black is no picture of a treatment.
Scene buildScene(const SyntheticVideoSpec& spec) {
    const double w = spec.width;
    const double h = spec.height;
    Scene scene;
    scene.size = cv::Size(spec.width, spec.height);
    scene.seed = spec.seed;

    const double probeX =
        std::min(0.5 * w, stoneRestX + std::tan(std::numbers::pi / 9.0) * (stoneRestY + h / 3.0));
    // The width across which the anatomy is laid out: the picture's own
    // unless the probe moved.
    const float anatomyWidth = probeX == 0.5 * w ? static_cast<float>(spec.width)
                                                 : static_cast<float>(2.0 * probeX);
    const cv::Point2d apex(probeX, -h / 3.0);
    const double nearRadius = 0.375 * h;
    const double farRadius = 4.0 * h / 3.0;
    const double halfAngle = std::numbers::pi / 6.0;
    scene.level.create(scene.size);
    scene.fan.create(scene.size);
    for (int y = 0; y < spec.height; ++y) {
        for (int x = 0; x < spec.width; ++x) {
            const double dx = x - apex.x;
            const double dy = y - apex.y;
            const double r = std::hypot(dx, dy);
            const double angle = std::abs(std::atan2(dx, dy));
            const double edgeDistance =
                std::min({r - nearRadius, farRadius - r, (halfAngle - angle) * r});
            scene.fan(y, x) = static_cast<float>(smoothstep(-1.5, 1.5, edgeDistance));
            // The skin line and a fascia below it; echoes weaken towards the far field.
            const double depth = r - nearRadius;
            const double layers = (skinLevel - surroundingsLevel) *
                                  (std::exp(-std::pow((depth - 5.0) / 3.5, 2)) +
                                   0.5 * std::exp(-std::pow((depth - 0.09 * h) / 2.0, 2)));
            const double attenuation = 1.0 - 0.35 * smoothstep(0.9 * h, farRadius, r);
            scene.level(y, x) = static_cast<float>((surroundingsLevel + layers) * attenuation);
        }
    }

    const cv::RotatedRect kidney(cv::Point2f(0.47f * anatomyWidth, 0.52f * spec.height),
                                 cv::Size2f(0.56f * anatomyWidth, 0.42f * spec.height), -6.0f);
    cv::Mat1f inside(scene.size, 0.0f);
    cv::ellipse(inside, kidney, cv::Scalar(1.0), cv::FILLED, cv::LINE_AA);
    cv::GaussianBlur(inside, inside, cv::Size(), 3.0);
    cv::Mat1f capsule(scene.size, 0.0f);
    cv::ellipse(capsule, kidney, cv::Scalar(1.0), 3, cv::LINE_AA);
    cv::GaussianBlur(capsule, capsule, cv::Size(), 1.5);
    // A vessel above the kidney: blood barely echoes.
    cv::Mat1f vessel(scene.size, 0.0f);
    cv::ellipse(vessel,
                cv::RotatedRect(cv::Point2f(0.72f * anatomyWidth, 0.2f * spec.height),
                                cv::Size2f(0.14f * anatomyWidth, 0.07f * spec.height), 10.0f),
                cv::Scalar(1.0), cv::FILLED, cv::LINE_AA);
    cv::GaussianBlur(vessel, vessel, cv::Size(), 2.0);
    scene.level += (kidneyLevel - surroundingsLevel) * inside +
                   (capsuleLevel - kidneyLevel) * capsule +
                   (vesselLevel - surroundingsLevel) * vessel;

    scene.kernelX = unitEnergyKernel(9, 1.5);
    scene.kernelY = unitEnergyKernel(5, 0.7);
    cv::RNG rng(spec.seed * 0x9E3779B97F4A7C15ull + 1);
    scene.frozenRe.create(scene.size);
    scene.frozenIm.create(scene.size);
    for (cv::Mat1f* part : {&scene.frozenRe, &scene.frozenIm}) {
        rng.fill(*part, cv::RNG::NORMAL, 0.0, 1.0);
        cv::sepFilter2D(*part, *part, CV_32F, scene.kernelX, scene.kernelY);
    }
    return scene;
}

// The speckled tissue of one frame, in grey levels (not yet clipped), into scene.grey.
void drawTissue(Scene& scene, int frameIndex) {
    // Each frame has its own generator, so any frame renders the same on its own.
    cv::RNG rng(scene.seed * 0x9E3779B97F4A7C15ull + 0xD1B54A32D192ED03ull * (frameIndex + 2));
    const double frozen = std::sqrt(1.0 - freshSpeckle * freshSpeckle);
    scene.power.create(scene.size);
    scene.power.setTo(0.0f);
    for (const cv::Mat1f* part : {&scene.frozenRe, &scene.frozenIm}) {
        scene.fresh.create(scene.size);
        rng.fill(scene.fresh, cv::RNG::NORMAL, 0.0, 1.0);
        cv::sepFilter2D(scene.fresh, scene.fresh, CV_32F, scene.kernelX, scene.kernelY);
        cv::addWeighted(*part, frozen, scene.fresh, freshSpeckle, 0.0, scene.amplitude);
        cv::accumulateSquare(scene.amplitude, scene.power);
    }
    // Each part has unit variance, so the mean power is 2; floor it at -40 dB.
    scene.power *= 0.5f;
    cv::max(scene.power, 1e-4f, scene.power);
    cv::log(scene.power, scene.power);
    cv::scaleAdd(scene.power, greyPerDb * 10.0f / std::numbers::ln10_v<float>, scene.level,
                 scene.grey);
    cv::multiply(scene.grey, scene.fan, scene.grey);
}

// Darkens a column below the stone (the stone reflects or absorbs the sound, so
// nothing beneath it echoes) and blends the stone in over it.
void drawStone(Scene& scene, const SyntheticVideoSpec& spec, const StoneState& stone) {
    if (stone.visibility <= 0.0) {
        return;
    }
    const double a = 0.5 * spec.stoneWidth;
    const double b = 0.5 * spec.stoneHeight;
    const double shadowLength = shadowLengthInStones * spec.stoneHeight;
    const cv::Rect frame(0, 0, scene.size.width, scene.size.height);
    const cv::Rect area = cv::Rect(cvFloor(stone.centreX - a - 2), cvFloor(stone.centreY - b - 2),
                                   cvCeil(2 * a + 5), cvCeil(b + shadowLength + 5)) &
                          frame;
    for (int y = area.y; y < area.y + area.height; ++y) {
        for (int x = area.x; x < area.x + area.width; ++x) {
            const double dx = x - stone.centreX;
            const double dy = y - stone.centreY;
            const double across = 1.0 - smoothstep(a - 1.5, a + 1.5, std::abs(dx));
            // The shadow starts at the stone's far surface, so whatever tissue shows
            // through a stone that is half out of the plane is the same all round it.
            const double along = smoothstep(0.6 * b, 1.4 * b, dy) *
                                 (1.0 - smoothstep(0.6 * shadowLength, shadowLength, dy));
            float& pixel = scene.grey(y, x);
            const float echo = pixel;
            pixel *= static_cast<float>(1.0 - shadowDepth * stone.visibility * across * along);

            // Soft-edged ellipse; the stone's surface keeps a trace of the speckle.
            const double d = std::hypot(dx / a, dy / b);
            const double cover = 1.0 - smoothstep(0.8, 1.2, d);
            const double surface = stoneGrey + 0.15 * (echo - scene.level(y, x));
            pixel += static_cast<float>((surface - pixel) * cover * stone.visibility);
        }
    }
}

// The frame in scene.bgr, valid until the next frame is composed.
const cv::Mat& composeFrame(Scene& scene, const SyntheticVideoSpec& spec, int frameIndex) {
    drawTissue(scene, frameIndex);
    drawStone(scene, spec, stoneAt(spec, frameIndex));
    scene.grey.convertTo(scene.grey8, CV_8U);
    cv::cvtColor(scene.grey8, scene.bgr, cv::COLOR_GRAY2BGR);
    return scene.bgr;
}

// Visibility around one trip out of the imaging plane that begins at `start`
// seconds: a linear fade out, a second unseen, and a linear fade back in.
double planeVisibility(double t, double start) {
    constexpr double fade = 0.15;
    constexpr double gone = 1.0;
    const double goneFrom = start + fade;
    const double goneUntil = goneFrom + gone;
    return std::clamp(std::max(goneFrom - t, t - goneUntil) / fade, 0.0, 1.0);
}

} // namespace

StoneState demoBreathingPath(int frameIndex, double fps) {
    constexpr double period = 3.5;   // s per breath
    constexpr double sideLag = 0.15; // s: the sideways motion trails, so the path is a thin loop
    // Lujan's model of breathing motion: the organ rests at end-expiration and
    // makes a short excursion on inspiration, shaped like sin^4.
    const auto inspiration = [](double t) {
        const double s = std::sin(std::numbers::pi * t / period);
        return s * s * s * s;
    };
    const double t = frameIndex / fps;
    StoneState state;
    state.centreX = stoneRestX - 3.0 * inspiration(t - sideLag);
    state.centreY = stoneRestY + 25.0 * inspiration(t);
    state.visibility = std::min(planeVisibility(t, 6.0), planeVisibility(t, 16.0));
    return state;
}

StonePath sinusoidalPath(const SinusoidalMotion& motion, double fps) {
    return [motion, fps](int frameIndex) {
        const double angle =
            2.0 * std::numbers::pi * frameIndex / (fps * motion.periodSeconds) + motion.phase;
        const cv::Point2d at = motion.centre + motion.amplitude * std::sin(angle);
        return StoneState{at.x, at.y, 1.0};
    };
}

StoneState stoneAt(const SyntheticVideoSpec& spec, int frameIndex) {
    return spec.stone ? spec.stone(frameIndex) : demoBreathingPath(frameIndex, spec.fps);
}

cv::Mat renderFrame(const SyntheticVideoSpec& spec, int frameIndex) {
    Scene scene = buildScene(spec);
    return composeFrame(scene, spec, frameIndex);
}

bool writeSyntheticVideo(const std::string& aviPath, const std::string& csvPath,
                         const SyntheticVideoSpec& spec) {
    if (spec.width <= 0 || spec.height <= 0 || spec.frames < 0 || !(spec.fps > 0.0)) {
        return false;
    }
    std::ofstream csv;
    if (!csvPath.empty()) {
        csv.open(csvPath);
        if (!csv) {
            return false;
        }
        // Decimal points whatever the program's locale.
        csv.imbue(std::locale::classic());
        csv << "frame,centre_x,centre_y,in_plane\n" << std::fixed;
        csv.precision(3);
    }
    cv::VideoWriter writer(aviPath, cv::CAP_FFMPEG, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'),
                           spec.fps, cv::Size(spec.width, spec.height), true);
    if (!writer.isOpened()) {
        return false;
    }
    Scene scene = buildScene(spec);
    for (int frame = 0; frame < spec.frames; ++frame) {
        writer.write(composeFrame(scene, spec, frame));
        if (csv.is_open()) {
            const StoneState stone = stoneAt(spec, frame);
            csv << frame << ',' << stone.centreX << ',' << stone.centreY << ','
                << (stone.visibility >= 0.5 ? 1 : 0) << '\n';
        }
    }
    writer.release();
    if (!csv.is_open()) {
        return true;
    }
    csv.close();
    return !csv.fail();
}
