// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/replaySpeed.h"

#include "app/MainWindow.h"
#include "log/ticks.h"
#include "replay/replayRun.h"

#include <QElapsedTimer>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <opencv2/videoio.hpp>

double replayTicksPerSecond(const std::string& video, const ScratchDirectory& scratch,
                            long long ticks) {
    ManualClock clock;
    ScopedTickSource useClock(clock);
    const auto window = openTrackingWindow(video, scratch.path());
    window->stopDrawingViews();
    QElapsedTimer timer;
    ReplayClock ticking(clock);
    timer.start();
    for (long long tick = 1; tick <= ticks; ++tick) {
        runTick(*window, ticking, tick);
    }
    return static_cast<double>(ticks) / (timer.nsecsElapsed() / 1e9);
}

double decodeOnlyFramesPerSecond(const std::string& video, long long ticks) {
    cv::VideoCapture capture(video, cv::CAP_FFMPEG);
    const auto count = static_cast<long long>(capture.get(cv::CAP_PROP_FRAME_COUNT));
    cv::Mat frame;
    capture.read(frame);
    QElapsedTimer timer;
    timer.start();
    for (long long tick = 0; tick < ticks; ++tick) {
        if (static_cast<long long>(capture.get(cv::CAP_PROP_POS_FRAMES)) == count - 1) {
            capture.set(cv::CAP_PROP_POS_FRAMES, 1);
        }
        capture.read(frame);
    }
    return static_cast<double>(ticks) / (timer.nsecsElapsed() / 1e9);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

long long option(int argc, char** argv, const char* name, long long fallback) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0) {
            return std::atoll(argv[i + 1]);
        }
    }
    return fallback;
}
