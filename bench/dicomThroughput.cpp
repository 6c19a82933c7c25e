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
#include "bench/replaySpeed.h"
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
    if (!reader.openLoop(loop)) {
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
        replaying.push_back(replayTicksPerSecond(loop, scratch, ticks));
    }
    const double decoded = median(decoding);
    const double replayed = median(replaying);
    std::printf("640x480 JPEG baseline DICOM: replay %.0f ticks/s, decoding alone %.0f frames/s, "
                "ratio %.2f; medians of %lld runs of %lld ticks\n",
                replayed, decoded, replayed / decoded, repetitions, ticks);
    return 0;
}
