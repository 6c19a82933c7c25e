// SPDX-License-Identifier: GPL-3.0-or-later
// Times one tick of every tracker (following the marked stone on a decoded
// frame) beside the decoding of a frame, at 640 x 480 and 1920 x 1080, on
// generated videos. The window's tick is 25 ms: a tracker keeps up while its
// cost and the rest of the tick fit in it.

#include "bench/benchSupport.h"
#include "tracking/regionTrackers.h"

#include <benchmark/benchmark.h>
#include <map>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>
#include <vector>

namespace {

constexpr int videoFrames = 50;
// The demo stone rests at about (211, 207); the region the window's benchmarks mark.
const cv::Rect marked(196, 192, 30, 30);

struct Frames {
    std::string video;
    std::vector<cv::Mat> pictures;
    std::vector<cv::Mat> planes; // thresholded, as mean shift weighs them
};

Frames& framesAt(int width, int height) {
    static ScratchDirectory scratch;
    static std::map<std::pair<int, int>, Frames> made;
    Frames& frames = made[{width, height}];
    if (frames.video.empty()) {
        frames.video = writeBenchVideo(scratch.path(), width, height, videoFrames);
        cv::VideoCapture capture(frames.video, cv::CAP_FFMPEG);
        cv::Mat picture;
        while (capture.read(picture)) {
            cv::Mat plane;
            cv::extractChannel(picture, plane, 0);
            cv::blur(plane, plane, cv::Size(5, 5));
            cv::threshold(plane, plane, 128, 255, cv::THRESH_BINARY);
            frames.pictures.push_back(picture.clone());
            frames.planes.push_back(plane);
        }
    }
    return frames;
}

void decoding(benchmark::State& state) {
    const Frames& frames =
        framesAt(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    cv::VideoCapture capture(frames.video, cv::CAP_FFMPEG);
    cv::Mat picture;
    for (auto _ : state) {
        if (!capture.read(picture)) {
            state.PauseTiming();
            capture.set(cv::CAP_PROP_POS_FRAMES, 0);
            capture.read(picture);
            state.ResumeTiming();
        }
        benchmark::DoNotOptimize(picture.data);
    }
}

void tracking(benchmark::State& state, TrackerKind kind) {
    const Frames& frames =
        framesAt(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    const std::unique_ptr<RegionTracker> tracker = makeRegionTracker(kind);
    if (!tracker->start(frames.pictures[0], frames.planes[0], marked)) {
        state.SkipWithError("the tracker cannot start on the marked region");
        return;
    }
    // Forwards and back through the frames, so that the stone moves smoothly.
    const std::size_t count = frames.pictures.size();
    std::size_t step = 0;
    for (auto _ : state) {
        const std::size_t at = step % (2 * count - 2);
        const std::size_t i = at < count ? at : 2 * count - 2 - at;
        const TrackStep found = tracker->follow(frames.pictures[i], frames.planes[i]);
        benchmark::DoNotOptimize(found);
        ++step;
    }
}

void sizes(benchmark::internal::Benchmark* b) {
    b->Args({640, 480})->Args({1920, 1080})->Unit(benchmark::kMillisecond);
}

BENCHMARK(decoding)->Apply(sizes);
BENCHMARK_CAPTURE(tracking, meanshift, TrackerKind::MeanShift)->Apply(sizes);
BENCHMARK_CAPTURE(tracking, csrt, TrackerKind::Csrt)->Apply(sizes);
BENCHMARK_CAPTURE(tracking, kcf, TrackerKind::Kcf)->Apply(sizes);
BENCHMARK_CAPTURE(tracking, mil, TrackerKind::Mil)->Apply(sizes);
BENCHMARK_CAPTURE(tracking, template, TrackerKind::Template)->Apply(sizes);

} // namespace

BENCHMARK_MAIN();
