// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "annotate/recordingTime.h"
#include "common/fileName.h"
#include "common/refusal.h"
#include "tracking/VideoSource.h"

#include <QByteArray>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <opencv2/core.hpp>
#include <string>

// A recording opened for annotation, through the video source the window
// reads with.
struct Recording {
    std::unique_ptr<VideoSource> source; // positioned after the first frame
    cv::Mat firstFrame;                  // 8-bit grey or blue-green-red
    std::int64_t frameCount = 0;         // counted by reading where the header says nothing
    FrameTiming timing;
    QStringList warnings; // for stderr: gaps in the numbering of an image sequence
    // Where the truth goes unless it is named: beside the video, or for an
    // image sequence beside its folder.
    QByteArray truthName;
};

// Opens `video` and reads its first frame. Refused, with what could not be
// opened and why in words a user can act on, where the window would refuse it.
Refusable<Recording> openRecording(const VideoFileName& video);
