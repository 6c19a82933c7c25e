// SPDX-License-Identifier: GPL-3.0-or-later
// How fast a replay runs against how fast the same video decodes alone.
//
//   bench_replayThroughput [--repetitions R] [--ticks N] [--memory-ticks M]
//
// For 640 x 480 and 1920 x 1080 videos it times N playing ticks of the replay
// (the window's frame cycle on the manual clock, decoding on the second
// thread) and N frames of decoding alone (the same frames in the same order,
// read on one thread), R times each, and prints the medians and their ratio.
// Then it runs M replay ticks at 640 x 480 and prints the resident memory
// after the first thousand and at the end.

#include "app/MainWindow.h"
#include "bench/benchSupport.h"
#include "bench/replaySpeed.h"
#include "log/ticks.h"
#include "replay/replayRun.h"

#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <opencv2/videoio.hpp>
#include <vector>

int main(int argc, char** argv) {
    const long long repetitions = option(argc, argv, "--repetitions", 5);
    const long long ticks = option(argc, argv, "--ticks", 600);
    const long long memoryTicks = option(argc, argv, "--memory-ticks", 100000);
    if (repetitions < 1 || ticks < 1 || memoryTicks < 0) {
        std::fprintf(stderr, "usage: bench_replayThroughput [--repetitions R] [--ticks N] "
                             "[--memory-ticks M]\n");
        return 2;
    }
    useOffscreenPlatformUnlessSet();
    int qtArgc = 1;
    QApplication application(qtArgc, argv);
    ScratchDirectory scratch;

    for (const cv::Size size : {cv::Size(640, 480), cv::Size(1920, 1080)}) {
        const std::string video = writeBenchVideo(scratch.path(), size.width, size.height, 200);
        std::vector<double> decoding;
        std::vector<double> replaying;
        for (long long i = 0; i < repetitions; ++i) {
            decoding.push_back(decodeOnlyFramesPerSecond(video, ticks));
            replaying.push_back(replayTicksPerSecond(video, scratch, ticks));
        }
        const double decoded = median(decoding);
        const double replayed = median(replaying);
        std::printf("%dx%d: replay %.0f ticks/s, decoding alone %.0f frames/s, ratio %.2f; "
                    "%.1f times the window's real time (40 ticks/s); medians of %lld runs of "
                    "%lld ticks\n",
                    size.width, size.height, replayed, decoded, replayed / decoded, replayed / 40.0,
                    repetitions, ticks);
        std::fflush(stdout);
    }

    if (memoryTicks > 0) {
        const std::string video = writeBenchVideo(scratch.path(), 640, 480, 200);
        ManualClock clock;
        ScopedTickSource useClock(clock);
        const auto window = openTrackingWindow(video, scratch.path());
        const long long warmUp = std::min(1000LL, memoryTicks);
        ReplayClock ticking(clock);
        for (long long tick = 1; tick <= warmUp; ++tick) {
            runTick(*window, ticking, tick);
        }
        const std::size_t before = residentBytes();
        for (long long tick = warmUp + 1; tick <= memoryTicks; ++tick) {
            runTick(*window, ticking, tick);
        }
        const std::size_t after = residentBytes();
        std::printf("memory 640x480: resident %.1f MB after %lld ticks, %.1f MB after %lld "
                    "(%+.2f MB)\n",
                    megabytes(static_cast<double>(before)), warmUp,
                    megabytes(static_cast<double>(after)), memoryTicks,
                    megabytes(static_cast<double>(after) - static_cast<double>(before)));
    }
    return 0;
}
