// SPDX-License-Identifier: GPL-3.0-or-later
// How fast a replay of a JPEG-compressed DICOM loop runs against how fast its
// frames decode alone.
//
//   bench_dicomThroughput [--repetitions R] [--ticks N]
//
// For a 640 x 480 JPEG baseline (YBR_FULL_422) loop of 200 frames it times N
// playing ticks of the replay (the window's frame cycle on the manual clock,
// decoding on the second thread) and N frames of decoding alone (the same
// frames in the same order through the same reader, on one thread), R times
// each, and prints the medians and their ratio.

#include "app/MainWindow.h"
#include "bench/benchSupport.h"
#include "log/ticks.h"
#include "replay/replayRun.h"
#include "tools/syntheticDicom.h"
#include "tools/syntheticVideo.h"
#include "tracking/dicomReader.h"

#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

std::string writeBenchLoop(const std::filesystem::path& directory, int frames) {
    SyntheticVideoSpec spec;
    spec.frames = frames;
    std::vector<cv::Mat> pictures;
    for (int index = 0; index < frames; ++index) {
        pictures.push_back(renderFrame(spec, index));
    }
    syntheticdicom::DicomSpec dicom;
    dicom.photometric = "RGB";
    dicom.encoding = syntheticdicom::Encoding::JpegBaseline;
    const std::string path = (directory / "bench.dcm").string();
    if (!syntheticdicom::writeDicom(path, pictures, dicom)) {
        std::fprintf(stderr, "bench_dicomThroughput: cannot write %s\n", path.c_str());
        std::exit(1);
    }
    return path;
}

// Frames per second of decoding alone, wrapping to frame 1 as playback does.
double decodeOnly(const std::string& loop, long long ticks) {
    DicomReader reader;
    if (reader.open(loop)) {
        std::fprintf(stderr, "bench_dicomThroughput: cannot open %s\n", loop.c_str());
        std::exit(1);
    }
    cv::Mat frame;
    reader.read(frame);
    QElapsedTimer timer;
    timer.start();
    for (long long tick = 0; tick < ticks; ++tick) {
        if (reader.position() == reader.frameCount() - 1) {
            reader.seek(1);
        }
        reader.read(frame);
    }
    return static_cast<double>(ticks) / (timer.nsecsElapsed() / 1e9);
}

// Ticks per second of the replay's loop.
double replay(const std::string& loop, const ScratchDirectory& scratch, long long ticks) {
    ManualClock clock;
    ScopedTickSource useClock(clock);
    const auto window = openTrackingWindow(loop, scratch.path());
    QElapsedTimer timer;
    ReplayClock ticking(clock);
    timer.start();
    for (long long tick = 1; tick <= ticks; ++tick) {
        runTick(*window, ticking, tick);
    }
    return static_cast<double>(ticks) / (timer.nsecsElapsed() / 1e9);
}

long long option(int argc, char** argv, const char* name, long long fallback) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0) {
            return std::atoll(argv[i + 1]);
        }
    }
    return fallback;
}

} // namespace

int main(int argc, char** argv) {
    const long long repetitions = option(argc, argv, "--repetitions", 5);
    const long long ticks = option(argc, argv, "--ticks", 600);
    if (repetitions < 1 || ticks < 1) {
        std::fprintf(stderr, "usage: bench_dicomThroughput [--repetitions R] [--ticks N]\n");
        return 2;
    }
    useOffscreenPlatformUnlessSet();
    int qtArgc = 1;
    QApplication application(qtArgc, argv);
    ScratchDirectory scratch;
    const std::string loop = writeBenchLoop(scratch.path(), 200);
    std::vector<double> decoding;
    std::vector<double> replaying;
    for (long long i = 0; i < repetitions; ++i) {
        decoding.push_back(decodeOnly(loop, ticks));
        replaying.push_back(replay(loop, scratch, ticks));
    }
    const double decoded = median(decoding);
    const double replayed = median(replaying);
    std::printf("640x480 JPEG baseline DICOM: replay %.0f ticks/s, decoding alone %.0f frames/s, "
                "ratio %.2f; medians of %lld runs of %lld ticks\n",
                replayed, decoded, replayed / decoded, repetitions, ticks);
    return 0;
}
