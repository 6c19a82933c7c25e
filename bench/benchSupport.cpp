// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/benchSupport.h"

#include "app/MainWindow.h"
#include "tools/syntheticVideo.h"
#include "tracking/VideoImage.h"

#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <unistd.h>

void useOffscreenPlatformUnlessSet() { setenv("QT_QPA_PLATFORM", "offscreen", 0); }

ScratchDirectory::ScratchDirectory() : previous(std::filesystem::current_path()) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "tessavolant-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        throw std::runtime_error("cannot create a temporary directory");
    }
    directory = pattern;
    std::filesystem::current_path(directory);
}

ScratchDirectory::~ScratchDirectory() {
    std::error_code ignored;
    std::filesystem::current_path(previous, ignored);
    std::filesystem::remove_all(directory, ignored);
}

std::string writeBenchVideo(const std::filesystem::path& directory, int width, int height,
                            int frames) {
    SyntheticVideoSpec settings;
    settings.width = width;
    settings.height = height;
    settings.frames = frames;
    const std::string path =
        (directory / ("bench-" + std::to_string(width) + "x" + std::to_string(height) + ".avi"))
            .string();
    if (!writeSyntheticVideo(path, "", settings)) {
        throw std::runtime_error("cannot write the video " + path);
    }
    return path;
}

std::unique_ptr<MainWindow> openTrackingWindow(const std::string& video,
                                               const std::filesystem::path& logDirectory) {
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::create_directories(logDirectory);
    std::filesystem::current_path(logDirectory);
    auto window = std::make_unique<MainWindow>(nullptr, QString::fromStdString(video));
    std::filesystem::current_path(previous);
    if (!window->isReady()) {
        throw std::runtime_error("cannot open the video " + video);
    }
    window->timer->stop();
    // The demo stone rests at about (211, 207) at end-expiration, inside the
    // default region of interest; mark a 30 x 30 region around it.
    window->dataScene->handedOver = QRect(196, 192, 30, 30);
    window->dataScene->selectionState = -1;
    window->startLoggButtonClicked();
    window->StartButtonClicked();
    return window;
}

std::size_t residentBytes() {
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (!statm) {
        return 0;
    }
    unsigned long size = 0;
    unsigned long resident = 0;
    const int read = std::fscanf(statm, "%lu %lu", &size, &resident);
    std::fclose(statm);
    return read == 2 ? resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE)) : 0;
}
