// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/defaults.h"
#include "common/videoFileCheck.h"

#include <optional>

// What the window program's command line asks for.
struct WindowCommandLine {
    // The video to open at once, in the bytes the command line gave; without
    // one the window asks in a file dialog.
    std::optional<VideoFileName> videoPath;
    // Set when the program is to end before any window exists: 0 after --help
    // or --version, 2 after wrong usage. The text has been printed already.
    std::optional<int> exitCode;
    // Where the event log goes (--log), in the bytes the command line gave;
    // relative to the working directory.
    VideoFileName logPath = QString::fromLatin1(defaults::logFileName);
};

// Reads `tessavolant [--log PATH] [options] [VIDEO.avi]`. It needs no application object and
// no display, so that --help and --version work anywhere. Qt's own GUI options
// (-platform, -display, -style, ...) are accepted and left to QApplication.
WindowCommandLine readWindowCommandLine(int argc, char* argv[]);
