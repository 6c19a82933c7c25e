// SPDX-License-Identifier: GPL-3.0-or-later
// What a latency sweep costs beside the replay it follows, on the demo video
// (640 x 480, 600 frames) with its truth: one replay (decoding, tracking, the
// treatment step on every tick, the evaluation), the sweep's 9 latencies
// (0 to 400 ms in steps of 50) times 3 ways of aiming on the run that replay
// recorded, and the two together, as tessavolant-replay --latency-sweep runs
// them. The target: replay and sweep together at most twice one replay.
//
//   bench_latencySweep --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include "app/MainWindow.h"
#include "bench/benchSupport.h"
#include "evaluation/evaluation.h"
#include "log/ticks.h"
#include "replay/latencySweepRun.h"
#include "replay/replayRun.h"
#include "tools/syntheticVideo.h"

#include <QApplication>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <memory>
#include <stdexcept>

namespace {

const LatencySweep sweep{0, 400, 50};

struct Demo {
    std::string video;
    GroundTruth truth;
};

Demo* demo = nullptr;

ReplayOptions demoOptions() {
    ReplayOptions options;
    options.settings.video = QString::fromStdString(demo->video);
    options.settings.selection = cv::Rect(207, 205, 21, 19);
    options.logPath = QStringLiteral("replay.log");
    return options;
}

// One replay once through the video, as the program runs it; the window is
// left open for a sweep.
struct Replayed {
    std::unique_ptr<MainWindow> window;
    RunSettings settings;
    RunRecord record;
};

Replayed replayOnce(ManualClock& clock) {
    const ReplayOptions options = demoOptions();
    Replayed run;
    run.window = std::make_unique<MainWindow>(nullptr, options.settings.video, options.logPath);
    if (!run.window->isReady()) {
        throw std::runtime_error("cannot open the demo video");
    }
    run.window->timer->stop();
    startRun(*run.window, options);
    const std::int64_t ticks = ticksOnceThrough(run.window->frameCount, 0);
    ReplayClock ticking(clock);
    for (std::int64_t tick = 1; tick <= ticks; ++tick) {
        run.record.push_back(runTick(*run.window, ticking, tick));
    }
    run.settings = settingsInForce(*run.window, options.settings.video, ticks);
    run.window->endRun();
    return run;
}

void Replay(benchmark::State& state) {
    for (auto _ : state) {
        ManualClock clock;
        ScopedTickSource useClock(clock);
        Replayed run = replayOnce(clock);
        benchmark::DoNotOptimize(judgeRun(run.settings, run.record, demo->truth));
    }
}

void SweepAlone(benchmark::State& state) {
    ManualClock clock;
    ScopedTickSource useClock(clock);
    Replayed run = replayOnce(clock);
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            runLatencySweep(*run.window, clock, run.settings, run.record, demo->truth, sweep));
    }
}

void ReplayAndSweep(benchmark::State& state) {
    for (auto _ : state) {
        ManualClock clock;
        ScopedTickSource useClock(clock);
        Replayed run = replayOnce(clock);
        benchmark::DoNotOptimize(judgeRun(run.settings, run.record, demo->truth));
        benchmark::DoNotOptimize(
            runLatencySweep(*run.window, clock, run.settings, run.record, demo->truth, sweep));
    }
}

BENCHMARK(Replay)->Unit(benchmark::kMillisecond);
BENCHMARK(SweepAlone)->Unit(benchmark::kMillisecond);
BENCHMARK(ReplayAndSweep)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    useOffscreenPlatformUnlessSet();
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication application(qtArgc, qtArgv);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    ScratchDirectory scratch;
    Demo made;
    made.video = (scratch.path() / "demo.avi").string();
    const std::string truthPath = (scratch.path() / "demo-truth.csv").string();
    if (!writeSyntheticVideo(made.video, truthPath, SyntheticVideoSpec{})) {
        std::fprintf(stderr, "bench_latencySweep: cannot write the demo video\n");
        return 1;
    }
    Refusable<GroundTruth> reading = readGroundTruth(QString::fromStdString(truthPath), -1);
    if (!reading) {
        std::fprintf(stderr, "bench_latencySweep: %s\n", qPrintable(reading.refusal().message));
        return 1;
    }
    made.truth = std::move(*reading);
    demo = &made;
    benchmark::RunSpecifiedBenchmarks();
    demo = nullptr;
    benchmark::Shutdown();
    return 0;
}
