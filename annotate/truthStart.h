// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "annotate/annotation.h"

#include "common/videoFileCheck.h"

#include <QByteArray>
#include <QSize>
#include <QString>
#include <cstdint>

// What an annotation starts from: the truth file where it exists (to go on
// with it), else a replay's track where one is given, else nothing.
struct TruthStart {
    Annotation annotation;
    bool saved = true; // false: the start is not in the truth file yet
    QString note;      // for the status bar: where the start came from
};

// `truthName` in its own bytes; `named`: the command line gave it; `track`
// empty: none. Never touches the file: a file that is there but cannot be
// read as a truth file, or that a track would replace, is refused (the
// program must not start), with exit code 2 where the fault lies with a file
// the command line named, 1 otherwise. Centres are checked against
// `frameSize` as the replay checks them, so that nothing the replay would
// refuse is taken in.
Refusable<TruthStart> startTruth(const QByteArray& truthName, bool named, const FileName& track,
                                 int every, std::int64_t frameCount, QSize frameSize);
