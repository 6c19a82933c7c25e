// SPDX-License-Identifier: GPL-3.0-or-later
// A driver for profilers (callgrind, perf), which Google Benchmark's timing
// loop does not suit: it runs one kind of work a given number of times on a
// generated video, and nothing else.
//
//   bench_tickProfile WIDTHxHEIGHT COUNT [process|tick|paused|view [VIDEO]]
//
// VIDEO, if given, is written on first use and reused afterwards, so that a
// run under valgrind need not generate it.
//
//   process  the playing tick after decoding (MainWindow::processFrame), each
//            time on a freshly decoded frame (the copy into place is outside
//            processFrame);
//   tick     the whole playing tick, decoding included;
//   paused   the paused tick;
//   view     one view conversion (convertToRgb32).
//
// With callgrind, count only the work itself, for example:
//   valgrind --tool=callgrind --toggle-collect='MainWindow::processFrame()'
//            bench_tickProfile 640x480 200 process
// (on a machine whose processor hides RDTSCP from CPUID, preload
// libbench_valgrind_rdtscp.so, see bench/CMakeLists.txt)

#include "app/MainWindow.h"
#include "bench/benchSupport.h"
#include "tracking/viewRendering.h"

#include <QApplication>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <opencv2/videoio.hpp>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    int width = 0;
    int height = 0;
    const int count = argc >= 3 ? std::atoi(argv[2]) : 0;
    const std::string mode = argc >= 4 ? argv[3] : "process";
    if (argc < 3 || argc > 5 || std::sscanf(argv[1], "%dx%d", &width, &height) != 2 ||
        width <= 0 || height <= 0 || count <= 0 ||
        (mode != "process" && mode != "tick" && mode != "paused" && mode != "view")) {
        std::fprintf(stderr, "usage: bench_tickProfile WIDTHxHEIGHT COUNT "
                             "[process|tick|paused|view [VIDEO]]\n");
        return 2;
    }

    useOffscreenPlatformUnlessSet();
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication application(qtArgc, qtArgv);
    const std::filesystem::path keptVideo =
        argc == 5 ? std::filesystem::absolute(argv[4]) : std::filesystem::path();
    ScratchDirectory scratch;

    std::string video;
    if (!keptVideo.empty() && std::filesystem::exists(keptVideo)) {
        video = keptVideo.string();
    } else {
        video = writeBenchVideo(scratch.path(), width, height, 50);
        if (!keptVideo.empty()) {
            std::filesystem::copy_file(video, keptVideo);
            video = keptVideo.string();
        }
    }
    auto window = openTrackingWindow(video, scratch.path() / "log");
    std::vector<cv::Mat> decoded;
    {
        cv::VideoCapture capture(video, cv::CAP_FFMPEG);
        cv::Mat picture;
        while (decoded.size() < 16 && capture.read(picture)) {
            decoded.push_back(picture.clone());
        }
    }
    for (int i = 0; i < 10; ++i) {
        window->OpenCVMeanShift();
    }

    if (mode == "process") {
        int index = 0;
        int step = 1;
        const int frames = static_cast<int>(decoded.size());
        for (int i = 0; i < count; ++i) {
            decoded[static_cast<std::size_t>(index)].copyTo(window->frame);
            if (index + step < 0 || index + step >= frames) {
                step = -step;
            }
            index += step;
            emit window->updateVideoSlider(index + 1);
            window->processFrame();
        }
    } else if (mode == "tick" || mode == "paused") {
        window->playing = mode == "tick" ? 1 : 0;
        for (int i = 0; i < count; ++i) {
            window->OpenCVMeanShift();
        }
    } else {
        std::unique_ptr<uchar[]> buffer;
        QImage image;
        for (int i = 0; i < count; ++i) {
            convertToRgb32(window->frame, buffer, image);
        }
    }
    std::printf("%s %dx%d: %d done\n", mode.c_str(), width, height, count);
    return 0;
}
