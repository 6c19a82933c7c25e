// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/videoFileCheck.h"
#include "replay/replayOptions.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <opencv2/core.hpp>
#include <optional>
#include <variant>

// The checks that every file of a replay passes before any of them is
// created or changed, so that a refused run leaves every file as it was.

// An output that is an input or another output (the same file under any
// name): a message naming both options. A usage error.
std::optional<QString> fileNamedTwice(const ReplayOptions& options);

// Where a latency sweep's picture goes beside --plot's; empty when none is drawn.
FileName sweepPicture(const ReplayOptions& options);

// An output that cannot be written, or a log that another process writes:
// a message naming the file and the reason.
std::optional<QString> unwritableOutput(const ReplayOptions& options);

// The video as the window will open it, opened, read up to its first frame
// and closed again.
struct ProbedVideo {
    cv::Size frame;
    std::int64_t headerFrameCount = 0; // 0: the header gives none
    std::int64_t frames = 0;           // the header's count, or counted by reading through
    QStringList warnings;              // gaps in the numbering of an image sequence
};
// What speaks against replaying `video` (a message naming it), or the video.
std::variant<ProbedVideo, QString> probeVideo(const FileName& video);

// How an option names a file in messages: "\"out/a.csv\"", escaped for a terminal.
QString quotedName(const FileName& name);

// Where the comparison's picture goes beside the run's, in the name's own
// bytes: "run.png" gives "run-trackers.png"; none without a comparison or a
// picture.
FileName trackerPicture(const ReplayOptions& options);
