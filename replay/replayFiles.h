// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/refusal.h"
#include "common/videoFileCheck.h"
#include "replay/replayOptions.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <opencv2/core.hpp>

// The checks that every file of a replay passes before any of them is
// created or changed, so that a refused run leaves every file as it was.

// Refused where an output is an input or another output (the same file under
// any name), naming both options: a usage error.
Refusable<> checkFilesDistinct(const ReplayOptions& options);

// Where a latency sweep's picture goes beside --plot's; empty when none is drawn.
FileName sweepPicture(const ReplayOptions& options);

// Refused where an output cannot be written or another process writes the
// log, naming the file and the reason: a failure at run time.
Refusable<> checkOutputsWritable(const ReplayOptions& options);

// The video as the window will open it, opened, read up to its first frame
// and closed again.
struct ProbedVideo {
    cv::Size frame;
    std::int64_t headerFrameCount = 0; // 0: the header gives none
    std::int64_t frames = 0;           // the header's count, or counted by reading through
    QStringList warnings;              // gaps in the numbering of an image sequence
};
// The video, or refused with what speaks against replaying it (naming it).
Refusable<ProbedVideo> probeVideo(const FileName& video);

// How an option names a file in messages: "\"out/a.csv\"", escaped for a terminal.
QString quotedName(const FileName& name);

// Where the comparison's picture goes beside the run's, in the name's own
// bytes: "run.png" gives "run-trackers.png"; none without a comparison or a
// picture.
FileName trackerPicture(const ReplayOptions& options);
