// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/defaults.h"
#include "common/refusal.h"
#include "common/videoFileCheck.h"

#include <QString>

#include <optional>

// What the window program's command line asks for.
struct WindowCommandLine {
    // The video to open at once, in the bytes the command line gave; without
    // one the window asks in a file dialog.
    std::optional<VideoFileName> videoPath;
    // Set after --help or --version: the text for stdout, after which the
    // program ends with exit code 0 before any window exists.
    std::optional<QString> answer;
    // Where the event log goes (--log), in the bytes the command line gave;
    // relative to the working directory.
    VideoFileName logPath = QString::fromLatin1(defaults::logFileName);
};

// What follows a usage error of the window program.
inline constexpr char windowUsageLine[] =
    "usage: tessavolant [--help] [--version] [--log PATH] [VIDEO.avi]";

// Reads `tessavolant [--log PATH] [options] [VIDEO.avi]`. It needs no application object and
// no display, so that --help and --version work anywhere. Qt's own GUI options
// (-platform, -display, -style, ...) are accepted and left to QApplication.
// Refused, a usage error, where the command line is wrong.
Refusable<WindowCommandLine> readWindowCommandLine(int argc, char* argv[]);
