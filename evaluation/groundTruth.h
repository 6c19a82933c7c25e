// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>
#include <cstdint>
#include <map>

#include "common/fileName.h"
#include "common/refusal.h"

// The stone's true position, annotated per frame of a video (by hand, or by
// the synthetic video's generator), as CSV with a header row:
//
//   frame,centre_x,centre_y,in_plane
//   0,217.000,214.000,1
//
// The columns may come in any order and other columns are ignored; in_plane
// (1 or 0) is optional and defaults to 1. Frames are 0-based indices into the
// video and may be left out: an annotation can be sparse.
//
// A file made by hand in the annotation program has two more columns, both 1
// or 0: keyframe (the centre was clicked on this frame, not interpolated) and
// in_focus (the focal marker covers the stone on this frame). Labels of focus
// alone need no centre: "frame,in_focus". TruthRules says which of these a
// reader takes.

struct TruthPoint {
    double centreX = 0.0; // 0 where the file has no centre columns
    double centreY = 0.0;
    bool inPlane = true;
    bool keyframe = false; // read only where TruthRules::annotationColumns
    bool inFocus = false;  // likewise
};

// The columns a truth file has (or is to have, when it is written).
struct TruthColumns {
    bool centre = true; // centre_x and centre_y
    bool inPlane = false;
    bool keyframe = false;
    bool inFocus = false;
};

// How a truth file is read. The defaults are the replay's: centres required,
// keyframe and in_focus ignored like any other column.
struct TruthRules {
    bool annotationColumns = false;   // keyframe and in_focus are read, 1 or 0
    bool centresOptional = false;     // frame with in_plane or in_focus alone will do
    bool otherColumnsRefused = false; // a column of no known name is an error
    // A file with no centre columns but in_focus is labels of focus: its
    // in_focus and keyframe columns are read. One with centres is read as
    // without this rule.
    bool focusLabelsWillDo = false;
};

// The annotation program's own reading: every column known, none missed.
inline constexpr TruthRules annotationRules{true, true, true};

// The replay's reading: positions, or labels of focus alone.
inline constexpr TruthRules replayTruthRules{false, false, false, true};

struct GroundTruth {
    std::map<std::int64_t, TruthPoint> byFrame; // frame index -> the stone there
    TruthColumns columns;                       // of the file read; of the file to write

    // The annotation of `frameIndex`, or nullptr where the frame has none.
    const TruthPoint* at(std::int64_t frameIndex) const;

    // The truth says on which frames the stone is in focus, not where it is.
    bool labelsFocusOnly() const { return !columns.centre && columns.inFocus; }
};

// The largest truth file that is read: a centre for every frame of hours of
// recording at a high frame rate takes a tenth of it.
inline constexpr qint64 truthFileLimitBytes = qint64(64) << 20;

// The bytes of a file that a user names as a small table (a truth file, a
// replay's track): a regular file of at most truthFileLimitBytes, opened
// without blocking, so that a FIFO or a device is refused, never read, and a
// file that grows while it is read is cut off at the limit. Refused otherwise,
// with the reason in words that follow "cannot be read: "; `kind` names the
// file in it ("a truth file").
Refusable<QByteArray> boundedFileBytes(const QByteArray& name, const char* kind);

// Reads the truth of a video with `frameCount` frames (indices 0 ..
// frameCount - 1); a frame outside them is an error. A negative `frameCount`
// means the count is unknown and only negative frames are rejected. Where
// `frameSize` is given, a centre that lies farther outside the frame than the
// frame's own size is an error. Numbers have a decimal point and no thousands
// separators. LF, CRLF and CR line ends and a UTF-8 byte order mark are
// accepted; blank lines are skipped. The file must be a regular file of at
// most truthFileLimitBytes.
Refusable<GroundTruth> readGroundTruth(const FileName& name, std::int64_t frameCount,
                                       TruthRules rules = {}, QSize frameSize = {});

// The same from the file's bytes; `path` only names the file in errors.
Refusable<GroundTruth> parseGroundTruth(const QByteArray& bytes, const QString& path,
                                        std::int64_t frameCount, TruthRules rules = {},
                                        QSize frameSize = {});

// One coordinate of a centre, named `name` ("centre_x"), from its field:
// a finite number with a decimal point and no thousands separators, which
// lies no farther outside the frame than the frame's own size along its axis
// (`frameSide`, the frame's width or height; 0: not known, not checked).
// Refused with what is wrong with it, for a message.
Refusable<double> centreCoordinate(const QByteArray& field, const char* name, int frameSide,
                                   QSize frameSize);

// The file of `truth`: a header of the columns in `truth.columns`, in the
// order frame,centre_x,centre_y,in_plane,keyframe,in_focus, then one row per
// annotated frame in frame order, centres with three decimals (a thousandth
// of a pixel) and a decimal point whatever the locale.
QByteArray formatGroundTruth(const GroundTruth& truth);
