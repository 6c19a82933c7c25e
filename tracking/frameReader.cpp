// SPDX-License-Identifier: GPL-3.0-or-later
#include "tracking/frameReader.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <iterator>
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
    fourcc = static_cast<int>(capture.get(cv::CAP_PROP_FOURCC));
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
        lastReadOk = capture.read(frame) && !frame.empty();
    } catch (const cv::Exception&) {
        lastReadOk = false;
    }
    return lastReadOk;
}

bool CaptureReader::lastReadWasFrame(std::int64_t index) {
    const double frameAt = capture.get(cv::CAP_PROP_POS_MSEC) * framesPerSecond / 1000.0;
    return lastReadOk && std::abs(frameAt - static_cast<double>(index)) < 0.5;
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

bool framesCodedAlone(int fourcc) {
    // JPEG kinds (FFmpeg's MJPEG decoder), uncompressed (FFmpeg names a codec
    // without a tag "rawvideo") and PNG; FFV1 and HuffYUV may carry context
    // from frame to frame, so they are not here.
    static const char* const alone[] = {"MJPG", "AVRN", "AVDJ", "JPGL", "LJPG", "IJPG", "DMB1",
                                        "MJLS", "JPEG", "RAWV", "DIB ", "RGB ", "I420", "IYUV",
                                        "YV12", "Y800", "GREY", "YUY2", "UYVY", "MPNG", "PNG "};
    std::string name(4, ' ');
    for (std::size_t i = 0; i < name.size(); ++i) {
        name[i] = static_cast<char>(std::toupper((fourcc >> (8 * i)) & 0xff));
    }
    return std::find(std::begin(alone), std::end(alone), name) != std::end(alone);
}

std::unique_ptr<FrameReader> CaptureReader::openAnother() const {
    if (frameCount < 2 || !(framesPerSecond > 0.0) || !framesCodedAlone(fourcc)) {
        return nullptr;
    }
    auto another = std::make_unique<CaptureReader>();
    if (!another->open(name)) {
        return nullptr;
    }
    // A header whose count the file does not hold (an unfinished recording
    // estimated from its length) would put the threads' seeks elsewhere than
    // the one reader's reads.
    cv::Mat last;
    another->seek(frameCount - 1);
    if (!another->read(last) || another->position() != frameCount ||
        !another->lastReadWasFrame(frameCount - 1)) {
        return nullptr;
    }
    another->seek(0);
    return another->position() == 0 ? std::move(another) : nullptr;
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
