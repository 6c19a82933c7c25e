// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "annotate/annotation.h"
#include "evaluation/groundTruth.h"

#include <QByteArray>
#include <QSize>
#include <QString>
#include <cstdint>

// A replay's track (its --track CSV) as the start of an annotation, so that a
// user corrects the tracker instead of starting from nothing: the centre of
// tick 1 and of every `every`-th tick after it becomes a keyframe on the frame
// that tick showed, which is the track's `frame` minus one (the capture
// position after the read). Ticks on which the tracker had lost the stone
// (in_plane 0: an empty tracking window, whose centre says nothing) and ticks
// that show a frame again after playback started over give none.
// `frameCount` as for readGroundTruth: a shown frame outside the recording is
// refused; negative when the count is unknown. Centres are checked against
// `frameSize` as the replay checks a truth file's (empty: not checked).
Refusable<Annotation> keyframesFromTrack(const QByteArray& bytes, const QString& path, int every,
                                         std::int64_t frameCount, QSize frameSize = {});

// The same from the file `name`, which is read as a truth file is: a regular
// file of at most truthFileLimitBytes.
Refusable<Annotation> readTrackKeyframes(const FileName& name, int every, std::int64_t frameCount,
                                         QSize frameSize);
