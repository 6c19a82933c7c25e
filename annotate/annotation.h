// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "evaluation/groundTruth.h"

#include <QPointF>
#include <QString>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <utility>

// What a user marks on a recording, frame by frame, in the annotation
// program. Centres are in image pixels with pixel (i, j) centred on x = i,
// y = j, as the truth file has them.
//
//   - A keyframe is a frame on which the user set the stone's centre; between
//     two keyframes the centre moves linearly.
//   - An out-of-plane mark on frame f says that the stone is out of the imaging
//     plane from f up to the next keyframe after f (that keyframe is in the
//     plane again), or to the recording's last frame where none comes after.
//     A keyframe with a mark of its own starts a new stretch out of the plane.
//   - An in-focus label says that the focal marker covers the stone on that
//     frame; every other frame of the annotation is labelled not in focus.
struct Annotation {
    std::map<std::int64_t, QPointF> keyframes;
    std::set<std::int64_t> outOfPlaneFrom;
    std::set<std::int64_t> inFocus;

    bool empty() const { return keyframes.empty() && outOfPlaneFrom.empty() && inFocus.empty(); }
    bool operator==(const Annotation&) const = default;
};

// What the annotation says about one frame.
struct FrameTruth {
    // None: no keyframe anywhere, so no centre is known.
    std::optional<QPointF> centre;
    bool keyframe = false;
    bool inPlane = true;
    bool inFocus = false;
    // The centre is not interpolated between two keyframes but carried from
    // the nearest one: out of the plane, or before the first or after the last
    // keyframe.
    bool carried = false;
    // The keyframes that enclose the frame, the frame itself excluded.
    std::optional<std::int64_t> keyframeBefore;
    std::optional<std::int64_t> keyframeAfter;
};

FrameTruth truthAt(const Annotation& annotation, std::int64_t frame);

// True where the frame lies in a stretch out of the plane.
bool outOfPlaneAt(const Annotation& annotation, std::int64_t frame);

// The out-of-plane mark whose stretch holds `frame`, if any.
std::optional<std::int64_t> outOfPlaneMarkOver(const Annotation& annotation, std::int64_t frame);

// The frames that the truth file holds: from the first mark of any kind to the
// last, a stretch out of the plane counting to its end (`lastFrame`, the
// recording's last frame index, where no keyframe follows it). None when
// nothing is marked.
std::optional<std::pair<std::int64_t, std::int64_t>> annotatedFrames(const Annotation& annotation,
                                                                     std::int64_t lastFrame);

// The truth file's rows: one per annotated frame. Centres and keyframe columns
// where any keyframe exists, in_plane where any keyframe or out-of-plane mark
// does, in_focus where any frame is labelled in focus.
GroundTruth truthOf(const Annotation& annotation, std::int64_t lastFrame);

// The annotation that gives back `truth` row for row, to go on with a file.
// Rows marked as keyframes become keyframes (every row with a centre does where
// the file has no keyframe column); a row whose centre is not the one the
// keyframes give becomes a keyframe too, so that no position of the file is
// lost. Out-of-plane marks begin every stretch of rows out of the plane.
// A file without centres whose stone comes back into the plane cannot be
// annotated on (only a keyframe brings it back): refused. A file whose last
// row is out of the plane before the recording's last frame, `lastFrame`,
// goes on out of the plane to that frame: `note` says so.
struct ContinuedAnnotation {
    Annotation annotation;
    std::optional<QString> note;
};
Refusable<ContinuedAnnotation> annotationOf(const GroundTruth& truth, std::int64_t lastFrame);
