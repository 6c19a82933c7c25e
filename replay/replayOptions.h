#pragma once

#include "simulation/runRecord.h"

#include <QString>
#include <QStringList>
#include <optional>

inline constexpr char replayProgramName[] = "tessavolant-replay";

// The command line of tessavolant-replay. Every option but --select defaults
// to the window's start value; an option that is not given leaves the
// window's control as the window sets it up.
struct ReplayOptions {
    RunSettings settings;
    // Which of the controls the command line sets.
    bool rateGiven = false;
    bool focalGiven = false;
    bool focalSizeGiven = false;
    bool roiGiven = false;
    bool filterGiven = false;
    bool ticksGiven = false;
    QString logPath = QStringLiteral("loggfile.txt");
    QString trackPath;
    QString truthPath;
    QString reportPath;
    QString summaryPath;
    QString plotPath;
    bool quiet = false;
};

struct ParsedReplayCommand {
    // Answer: --help or --version, whose text goes to stdout.
    enum class Outcome { Run, Answer, UsageError };
    Outcome outcome = Outcome::UsageError;
    ReplayOptions options;
    QString text; // the help or the version, or what is wrong with the command line
};

// Parses the arguments that follow the program's name. Checks everything that
// can be checked without the video.
ParsedReplayCommand parseReplayCommand(const QStringList& arguments);
