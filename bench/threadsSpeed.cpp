// SPDX-License-Identifier: GPL-3.0-or-later
// What decoding and tracking on several threads gain, as ratios measured in
// one run under the same load.
//
//   bench_threads [--repetitions R] [--ticks N] [--threads T] [--compare-ticks M]
//
// Part 1, on a 654 x 486 MJPG video: N frames of decoding alone on one thread,
// N replay ticks decoding on one thread and N decoding on T threads (default:
// one per core), in turn, R times; prints the medians and their ratios.
// Part 2, with the replay program, on a small stone and on a large one:
// --compare-trackers csrt,mil,kcf over M ticks, and a replay of each of the
// three trackers alone, in turn, R times; prints the median wall times and
// the comparison's share of the three replays added up. M = 0 leaves part 2
// out.

#include "bench/benchSupport.h"
#include "bench/replaySpeed.h"
#include "tools/syntheticVideo.h"
#include "tracking/VideoSource.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <thread>
#include <vector>

namespace {

// Seconds of the replay program's run with `arguments`; negative if it failed.
double replaySeconds(const QStringList& arguments) {
    QProcess replay;
    replay.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    replay.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    replay.start(QStringLiteral(TESSAVOLANT_REPLAY_BINARY), arguments);
    if (!replay.waitForFinished(-1) || replay.exitStatus() != QProcess::NormalExit ||
        replay.exitCode() != 0) {
        return -1.0;
    }
    return timer.nsecsElapsed() / 1e9;
}

double loadAverage() {
    std::ifstream file("/proc/loadavg");
    double load = -1.0;
    file >> load;
    return load;
}

struct ComparedStone {
    int width;
    int height;
    const char* mark; // --select's x,y,w,h around it at rest
};

// Part 2 on a generated video of `stone`: prints the medians and the share.
bool compareTrackers(const ComparedStone& stone, const ScratchDirectory& scratch, long long ticks,
                     long long threads, long long repetitions) {
    const std::string truth = (scratch.path() / "truth.csv").string();
    SyntheticVideoSpec spec;
    spec.width = 654;
    spec.height = 486;
    spec.frames = static_cast<int>(ticks) + 2;
    spec.stoneWidth = stone.width;
    spec.stoneHeight = stone.height;
    const std::string video = (scratch.path() / "compared.avi").string();
    if (!writeSyntheticVideo(video, truth, spec)) {
        std::fprintf(stderr, "bench_threads: cannot write %s\n", video.c_str());
        return false;
    }
    const QStringList common{"--select",
                             QString::fromLatin1(stone.mark),
                             "--ticks",
                             QString::number(ticks),
                             "--threads",
                             QString::number(threads),
                             "--truth",
                             QString::fromStdString(truth),
                             "--quiet",
                             "--log",
                             QString::fromStdString((scratch.path() / "bench.log").string())};
    const char* const kinds[] = {"csrt", "mil", "kcf"};
    std::vector<double> comparison;
    std::vector<std::vector<double>> alone(std::size(kinds));
    for (long long i = 0; i < repetitions; ++i) {
        comparison.push_back(
            replaySeconds(common + QStringList{"--compare-trackers", "csrt,mil,kcf",
                                               QString::fromStdString(video)}));
        for (std::size_t k = 0; k < std::size(kinds); ++k) {
            alone[k].push_back(replaySeconds(
                common + QStringList{"--tracker", kinds[k], QString::fromStdString(video)}));
        }
    }
    const auto failed = [](const std::vector<double>& seconds) {
        return std::any_of(seconds.begin(), seconds.end(), [](double s) { return s < 0.0; });
    };
    if (failed(comparison) || std::any_of(alone.begin(), alone.end(), failed)) {
        std::fprintf(stderr, "bench_threads: a replay of %s failed\n", video.c_str());
        return false;
    }
    double sum = 0.0;
    std::printf("--compare-trackers csrt,mil,kcf, %d x %d stone marked %s, over %lld ticks on %lld "
                "threads, medians of %lld runs: %.2f s; alone:",
                stone.width, stone.height, stone.mark, ticks, threads, repetitions,
                median(comparison));
    for (std::size_t k = 0; k < std::size(kinds); ++k) {
        sum += median(alone[k]);
        std::printf(" %s %.2f s", kinds[k], median(alone[k]));
    }
    std::printf(" (added up %.2f s); the comparison takes %.2f of them\n", sum,
                median(comparison) / sum);
    std::fflush(stdout);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    const long long repetitions = option(argc, argv, "--repetitions", 5);
    const long long ticks = option(argc, argv, "--ticks", 500);
    const long long threads =
        option(argc, argv, "--threads", std::max(1U, std::thread::hardware_concurrency()));
    const long long compareTicks = option(argc, argv, "--compare-ticks", 200);
    if (repetitions < 1 || ticks < 1 || threads < 1 || threads > 64 || compareTicks < 0) {
        std::fprintf(stderr, "usage: bench_threads [--repetitions R] [--ticks N] [--threads T] "
                             "[--compare-ticks M]\n");
        return 2;
    }
    useOffscreenPlatformUnlessSet();
    int qtArgc = 1;
    QApplication application(qtArgc, argv);
    ScratchDirectory scratch;
    std::printf("load average at the start: %.2f\n", loadAverage());

    const std::string video =
        writeBenchVideo(scratch.path(), 654, 486, static_cast<int>(ticks) + 2);
    std::vector<double> decoding;
    std::vector<double> oneThread;
    std::vector<double> severalThreads;
    for (long long i = 0; i < repetitions; ++i) {
        decoding.push_back(decodeOnlyFramesPerSecond(video, ticks));
        VideoSource::setDecodingThreads(1);
        oneThread.push_back(replayTicksPerSecond(video, scratch, ticks));
        VideoSource::setDecodingThreads(static_cast<int>(threads));
        severalThreads.push_back(replayTicksPerSecond(video, scratch, ticks));
    }
    const double decoded = median(decoding);
    const double one = median(oneThread);
    const double several = median(severalThreads);
    std::printf("654x486 MJPG, medians of %lld runs of %lld ticks: decoding alone %.0f frames/s; "
                "replay on 1 thread %.0f ticks/s (%.2f of decoding alone), on %lld threads "
                "%.0f ticks/s (%.2f of decoding alone, %.2f of 1 thread)\n",
                repetitions, ticks, decoded, one, one / decoded, threads, several,
                several / decoded, several / one);
    std::printf("load average after part 1: %.2f\n", loadAverage());
    std::fflush(stdout);
    if (compareTicks == 0) {
        return 0;
    }

    // The trackers' costs hang on the marked region's size: on the small
    // stone CSRT takes most of the time, on the large one MIL does, and a
    // comparison cannot take less than its slowest tracker alone.
    const ComparedStone stones[] = {{10, 8, "207,205,21,19"}, {40, 36, "192,191,50,44"}};
    for (const ComparedStone& stone : stones) {
        if (!compareTrackers(stone, scratch, compareTicks, threads, repetitions)) {
            return 1;
        }
    }
    std::printf("load average at the end: %.2f\n", loadAverage());
    return 0;
}
