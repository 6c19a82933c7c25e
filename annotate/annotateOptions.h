// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/defaults.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <opencv2/core.hpp>

// The command line of tessavolant-annotate:
//   tessavolant-annotate VIDEO [--truth PATH.csv] [--from-track TRACK.csv [--every N]]
//                        [--focal X,Y] [--focal-size W,H]
struct AnnotateOptions {
    QString video;
    QString truthPath; // empty: the default next to the video
    QString trackPath; // empty: no track to start from
    int every = 10;    // with a track: every N-th tick becomes a keyframe
    // The focal marker: the window's focal area, where it starts.
    cv::Rect focal{defaults::brennpunktX, defaults::brennpunktY, defaults::brennpunktWidth,
                   defaults::brennpunktHeight};
};

struct ParsedAnnotateCommand {
    // Answer: --help or --version, whose text is to be printed.
    enum class Outcome { Run, Answer, UsageError };
    Outcome outcome = Outcome::UsageError;
    AnnotateOptions options;
    QString text; // the help or version text, or what is wrong with the command line
};

// Parses the arguments that follow the program's name; needs no video.
ParsedAnnotateCommand parseAnnotateCommand(const QStringList& arguments);

// Where the truth of a video goes unless --truth names it: next to the video,
// its name without the extension and with "-truth.csv" ("scan.avi" gives
// "scan-truth.csv"), in the video name's own bytes.
QByteArray defaultTruthName(const QByteArray& video);

// True if a file name survives the round trip through a QString unchanged,
// so that Qt's file classes reach the file it names (bytes that are not valid
// in the locale's encoding do not).
bool reachableByQt(const QByteArray& fileName);
