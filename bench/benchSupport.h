// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>

class MainWindow;

// The benchmarks run the window without a display unless the caller chose a
// platform: call before the QApplication is made.
void useOffscreenPlatformUnlessSet();

// A fresh temporary directory that is the working directory (the event log is
// written there) for the lifetime of the object, and is removed afterwards.
class ScratchDirectory {
  public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::filesystem::path& path() const { return directory; }

  private:
    std::filesystem::path directory;
    std::filesystem::path previous;
};

// Writes a synthetic video (MJPG, noisy ultrasound-like picture with the
// breathing stone) of `frames` frames into `directory` and returns its path.
// Throws if it cannot be written.
std::string writeBenchVideo(const std::filesystem::path& directory, int width, int height,
                            int frames);

// Opens `video` in a window that is ready to track, as a user would leave it
// after marking the stone, pressing Start (logging) and Play: the stone's
// region is marked on the processed view, logging is on and the video plays.
// The frame clock is stopped; the caller drives the ticks or restarts it. The
// window's event log goes to `logDirectory`. Throws if the video cannot be
// opened.
std::unique_ptr<MainWindow> openTrackingWindow(const std::string& video,
                                               const std::filesystem::path& logDirectory);

// Resident set size of this process, from /proc/self/statm.
std::size_t residentBytes();

inline double megabytes(double bytes) { return bytes / (1024.0 * 1024.0); }
