// SPDX-License-Identifier: GPL-3.0-or-later
// Times the frame cycle on generated videos at 640 x 480 and 1920 x 1080:
// decoding alone, a whole playing tick, a playing tick after decoding, a paused
// tick with and without a new picture, one view conversion, and a plain copy of
// as many bytes as a view conversion writes (the physical reference for the
// conversion).

#include "app/MainWindow.h"
#include "bench/benchSupport.h"
#include "tracking/viewRendering.h"

#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <benchmark/benchmark.h>
#include <cstring>
#include <map>
#include <memory>
#include <opencv2/videoio.hpp>
#include <utility>
#include <vector>

namespace {

// Frames in each generated video; the playing tick wraps from the next-to-last
// frame to frame 1, as the program does.
constexpr int videoFrames = 50;
// Decoded frames that the tick without decoding cycles through, forwards and
// back, so that the stone moves as smoothly as in the video.
constexpr int decodedFrames = 16;

struct Session {
    std::string video;
    std::unique_ptr<MainWindow> window;
    std::vector<cv::Mat> decoded;
};

// One video and one tracking window per frame size, made on first use and kept
// for the whole run (the benchmarks share the window's state, as ticks do).
class Sessions {
  public:
    Session& at(int width, int height) {
        auto found = sessions.find({width, height});
        if (found != sessions.end()) {
            return found->second;
        }
        Session session;
        session.video = writeBenchVideo(scratch.path(), width, height, videoFrames);
        session.window = openTrackingWindow(
            session.video,
            scratch.path() / (std::to_string(width) + "x" + std::to_string(height)));
        cv::VideoCapture capture(session.video, cv::CAP_FFMPEG);
        cv::Mat picture;
        while (static_cast<int>(session.decoded.size()) < decodedFrames && capture.read(picture)) {
            session.decoded.push_back(picture.clone());
        }
        // Settle the tracker on the stone before anything is timed.
        for (int i = 0; i < 10; ++i) {
            session.window->OpenCVMeanShift();
        }
        return sessions.emplace(std::make_pair(width, height), std::move(session)).first->second;
    }
    void clear() { sessions.clear(); }

  private:
    ScratchDirectory scratch;
    std::map<std::pair<int, int>, Session> sessions;
};

Sessions* sessions = nullptr;

Session& sessionFor(const benchmark::State& state) {
    return sessions->at(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
}

std::int64_t viewBytes(const benchmark::State& state) { return state.range(0) * state.range(1) * 4; }

// cv::VideoCapture::read alone, wrapping at the end of the video as a tick does.
void Decode(benchmark::State& state) {
    Session& session = sessionFor(state);
    cv::VideoCapture capture(session.video, cv::CAP_FFMPEG);
    const int frameCount = static_cast<int>(capture.get(cv::CAP_PROP_FRAME_COUNT));
    cv::Mat picture;
    for (auto _ : state) {
        if (capture.get(cv::CAP_PROP_POS_FRAMES) == frameCount - 1) {
            capture.set(cv::CAP_PROP_POS_FRAMES, 1);
        }
        if (!capture.read(picture)) {
            state.SkipWithError("no frame");
            break;
        }
        benchmark::DoNotOptimize(picture.data);
    }
}

// A whole playing tick: decoding, region processing, tracking, treatment step,
// overlays and the three view conversions.
void PlayingTick(benchmark::State& state) {
    MainWindow& window = *sessionFor(state).window;
    window.playing = 1;
    for (auto _ : state) {
        window.OpenCVMeanShift();
    }
    if (window.playing != 1) {
        state.SkipWithError("playback stopped");
    }
}

// A playing tick without decoding: everything the tick does after the read.
// The decoded frame is put back in place, untimed, before every tick, since the
// tick draws its overlays on it.
void PlayingTickWithoutDecode(benchmark::State& state) {
    Session& session = sessionFor(state);
    MainWindow& window = *session.window;
    window.playing = 1;
    const int count = static_cast<int>(session.decoded.size());
    int index = 0;
    int step = 1;
    for (auto _ : state) {
        state.PauseTiming();
        session.decoded[static_cast<std::size_t>(index)].copyTo(window.frame);
        if (index + step < 0 || index + step >= count) {
            step = -step;
        }
        index += step;
        state.ResumeTiming();
        emit window.updateVideoSlider(index + 1);
        window.processFrame();
    }
}

// A paused tick: nothing has changed, so the views are left as they are.
void PausedTick(benchmark::State& state) {
    MainWindow& window = *sessionFor(state).window;
    window.playing = 0;
    for (auto _ : state) {
        window.OpenCVMeanShift();
    }
    window.playing = 1;
}

// A paused tick after a seek: both video views are converted and repainted.
void PausedTickAfterSeek(benchmark::State& state) {
    MainWindow& window = *sessionFor(state).window;
    window.playing = 0;
    for (auto _ : state) {
        window.viewsOutOfDate = true;
        window.OpenCVMeanShift();
    }
    window.playing = 1;
}

// One view conversion: a BGR frame into a 32-bit RGB buffer behind a QImage.
void ViewConversion(benchmark::State& state) {
    const cv::Mat& frame = sessionFor(state).window->frame;
    std::unique_ptr<uchar[]> buffer;
    QImage image;
    convertToRgb32(frame, buffer, image);
    for (auto _ : state) {
        convertToRgb32(frame, buffer, image);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * viewBytes(state));
}

// One view refreshed as a tick does it: conversion, QPixmap::fromImage, setPixmap.
void ShowView(benchmark::State& state) {
    MainWindow& window = *sessionFor(state).window;
    for (auto _ : state) {
        window.showMainView(window.frame);
    }
    state.SetBytesProcessed(state.iterations() * viewBytes(state));
}

// QPixmap::fromImage of a converted view alone.
void PixmapFromImage(benchmark::State& state) {
    const cv::Mat& frame = sessionFor(state).window->frame;
    std::unique_ptr<uchar[]> buffer;
    QImage image;
    convertToRgb32(frame, buffer, image);
    QPixmap pixmap;
    for (auto _ : state) {
        pixmap = QPixmap::fromImage(image);
        benchmark::DoNotOptimize(pixmap);
    }
    state.SetBytesProcessed(state.iterations() * viewBytes(state));
}

// The physical reference: memcpy of as many bytes as one view conversion writes.
void PlainCopy(benchmark::State& state) {
    const auto bytes = static_cast<std::size_t>(viewBytes(state));
    std::vector<unsigned char> source(bytes, 0x5a);
    std::vector<unsigned char> target(bytes, 0);
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), bytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * viewBytes(state));
}

void frameSizes(benchmark::internal::Benchmark* benchmark) {
    benchmark->ArgNames({"w", "h"})->Args({640, 480})->Args({1920, 1080});
}

BENCHMARK(Decode)->Apply(frameSizes)->Unit(benchmark::kMillisecond);
BENCHMARK(PlayingTick)->Apply(frameSizes)->Unit(benchmark::kMillisecond);
BENCHMARK(PlayingTickWithoutDecode)->Apply(frameSizes)->Unit(benchmark::kMillisecond);
BENCHMARK(PausedTick)->Apply(frameSizes)->Unit(benchmark::kMillisecond);
BENCHMARK(PausedTickAfterSeek)->Apply(frameSizes)->Unit(benchmark::kMillisecond);
BENCHMARK(ViewConversion)->Apply(frameSizes)->Unit(benchmark::kMicrosecond);
BENCHMARK(PlainCopy)->Apply(frameSizes)->Unit(benchmark::kMicrosecond);
BENCHMARK(ShowView)->Apply(frameSizes)->Unit(benchmark::kMicrosecond);
BENCHMARK(PixmapFromImage)->Apply(frameSizes)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    useOffscreenPlatformUnlessSet();
    // Qt keeps a reference to its arguments; give it its own.
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication application(qtArgc, qtArgv);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    Sessions all;
    sessions = &all;
    benchmark::RunSpecifiedBenchmarks();
    all.clear();
    sessions = nullptr;
    benchmark::Shutdown();
    return 0;
}
