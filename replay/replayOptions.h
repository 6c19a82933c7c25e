// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/defaults.h"
#include "common/videoFileCheck.h"
#include "evaluation/latencySweep.h"
#include "evaluation/runRecord.h"
#include "replay/recordingOptions.h"
#include "replay/strategyOptions.h"
#include "replay/trackerOptions.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <opencv2/core.hpp>
#include <optional>

inline constexpr char replayProgramName[] = "tessavolant-replay";

// The controls that the command line sets before the first tick. Every one but
// the marked region may be left out (none), which leaves the window's control
// as the window sets it up, at its start value.
struct RequestedSettings {
    QString video;      // as messages and reports show it
    cv::Rect selection; // marked on the processed view, image pixels
    std::optional<int> rate;
    std::optional<cv::Point> focal; // top-left corner of the focal area
    std::optional<cv::Size> focalSize;
    std::optional<cv::Point> roi; // top-left corner of the region of interest
    std::optional<int> filter;
    std::optional<int> fixedThreshold; // none: automatic threshold
    bool roiFromMark = false;          // --roi auto: centred on the marked region
    bool thresholdFromMark = false;    // --threshold mark: fixed at the level the mark gives
    std::optional<std::int64_t> ticks; // none: once through the video
    ShotTiming timing;                 // the simulated lithotripter's delay and aim
};

// The command line of tessavolant-replay. Every file in the bytes that the
// command line gave; an empty name: not asked for.
struct ReplayOptions {
    RequestedSettings settings;
    FileName video;
    FileName logPath = QString::fromLatin1(defaults::logFileName);
    bool logGiven = false; // false: the log is the default one
    FileName trackPath;
    FileName truthPath;
    FileName compareTruthPath; // a second annotation, measured against truthPath
    FileName reportPath;
    FileName summaryPath;
    FileName plotPath;
    std::optional<LatencySweep> sweep; // the treatment again at each of its latencies
    RecordingRequest recording;        // calibration and clock
    TrackerChoice trackers;
    StrategyRequest strategies; // the stone's size and the following focus's head speed
    bool quiet = false;
    int threads = 1; // for decoding and for the trackers of a comparison
};

// The threads a replay uses unless told otherwise: one per core.
int defaultReplayThreads();

struct ParsedReplayCommand {
    // Answer: --help or --version, whose text goes to stdout.
    enum class Outcome { Run, Answer, UsageError };
    Outcome outcome = Outcome::UsageError;
    ReplayOptions options;
    QString text; // the help or the version, or what is wrong with the command line
};

// Parses the arguments that follow the program's name, in the bytes that
// main() received. Checks everything that can be checked without the video.
ParsedReplayCommand parseReplayArguments(const QList<QByteArray>& arguments);
// The same for arguments typed in Qt, in the locale's encoding.
ParsedReplayCommand parseReplayCommand(const QStringList& arguments);

// The file types that --plot writes, by the name's extension.
inline constexpr const char* plotExtensions[] = {".png", ".pdf", ".svg"};
