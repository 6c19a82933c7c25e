#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <map>
#include <optional>

// The stone's true position, annotated per frame of a video (by hand, or by
// the synthetic video's generator), as CSV with a header row:
//
//   frame,centre_x,centre_y,in_plane
//   0,217.000,214.000,1
//
// The columns may come in any order and other columns are ignored; in_plane
// (1 or 0) is optional and defaults to 1. Frames are 0-based indices into the
// video and may be left out: an annotation can be sparse.

struct TruthPoint {
    double centreX = 0.0;
    double centreY = 0.0;
    bool inPlane = true;
};

struct GroundTruth {
    std::map<std::int64_t, TruthPoint> byFrame; // frame index -> the stone there

    // The annotation of `frameIndex`, or nullptr where the frame has none.
    const TruthPoint* at(std::int64_t frameIndex) const;
};

// What is wrong with a truth file, and where. `line` counts from 1 (the header
// row); 0 when the fault is with the file as a whole.
struct TruthError {
    QString path;
    int line = 0;
    QString message;

    // "truth.csv:7: centre_x is not a number: \"abc\"", or "truth.csv: ..." for line 0.
    QString text() const;
};

struct TruthReading {
    GroundTruth truth;
    std::optional<TruthError> error; // set: `truth` is empty and must not be used

    bool ok() const { return !error.has_value(); }
};

// Reads the truth of a video with `frameCount` frames (indices 0 ..
// frameCount - 1); a frame outside them is an error. A negative `frameCount`
// means the count is unknown and only negative frames are rejected. CRLF line
// ends and a UTF-8 byte order mark are accepted; blank lines are skipped.
TruthReading readGroundTruth(const QString& path, std::int64_t frameCount);

// The same from the file's bytes; `path` only names the file in errors.
TruthReading parseGroundTruth(const QByteArray& bytes, const QString& path,
                              std::int64_t frameCount);
