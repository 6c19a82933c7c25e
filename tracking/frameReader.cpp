// SPDX-License-Identifier: GPL-3.0-or-later
#include "tracking/frameReader.h"

#include <algorithm>
#include <cmath>
#include <limits>

std::int64_t countFromProperty(double value) {
    constexpr double largest = static_cast<double>(std::numeric_limits<std::int64_t>::max() / 2);
    if (!std::isfinite(value) || value <= 0) {
        return 0;
    }
    return value >= largest ? static_cast<std::int64_t>(largest) : static_cast<std::int64_t>(value);
}

namespace {

// FFmpeg searches a long empty stretch for frames (a recording whose writer
// reserved the space and died) for 30 s unless told otherwise.
constexpr int openTimeoutMs = 5000;

} // namespace

bool openWithFfmpeg(cv::VideoCapture& capture, const std::string& name) {
    try {
        return capture.open(name, cv::CAP_FFMPEG, {cv::CAP_PROP_OPEN_TIMEOUT_MSEC, openTimeoutMs});
    } catch (const cv::Exception&) {
        return false;
    }
}

bool CaptureReader::open(const std::string& fileName) {
    name = fileName;
    if (!openWithFfmpeg(capture, name)) {
        return false;
    }
    frameCount = countFromProperty(capture.get(cv::CAP_PROP_FRAME_COUNT));
    const auto side = [this](int property) {
        return static_cast<int>(std::min<std::int64_t>(countFromProperty(capture.get(property)),
                                                       std::numeric_limits<int>::max()));
    };
    frameSize = cv::Size(side(cv::CAP_PROP_FRAME_WIDTH), side(cv::CAP_PROP_FRAME_HEIGHT));
    framesPerSecond = capture.get(cv::CAP_PROP_FPS);
    return true;
}

void CaptureReader::release() {
    capture.release();
}

bool CaptureReader::reopen() {
    capture.release();
    return openWithFfmpeg(capture, name);
}

bool CaptureReader::read(cv::Mat& frame) {
    try {
        return capture.read(frame) && !frame.empty();
    } catch (const cv::Exception&) {
        return false;
    }
}

void CaptureReader::seek(std::int64_t index) {
    capture.set(cv::CAP_PROP_POS_FRAMES, static_cast<double>(index));
    // Behind the last frame of a known count there is nothing to read forward to.
    const bool behindTheEnd = frameCount > 0 && index >= frameCount;
    if (position() == index || behindTheEnd || !reopen()) {
        return;
    }
    while (position() < index && capture.grab()) {
    }
}

std::int64_t CaptureReader::position() {
    return countFromProperty(capture.get(cv::CAP_PROP_POS_FRAMES));
}

std::int64_t countFramesByReading(const std::string& fileName) {
    cv::VideoCapture capture;
    try {
        if (!openWithFfmpeg(capture, fileName)) {
            return 0;
        }
        std::int64_t frames = 0;
        while (capture.grab()) {
            ++frames;
        }
        return frames;
    } catch (const cv::Exception&) {
        return 0;
    }
}
