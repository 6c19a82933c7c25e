// SPDX-License-Identifier: GPL-3.0-or-later
#include "annotate/annotation.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>

namespace {

// The file keeps a thousandth of a pixel; a centre within this of the file's
// is the file's.
constexpr double sameCentre = 0.001;

template <typename Container>
std::optional<std::int64_t> lastBelow(const Container& frames, std::int64_t frame) {
    auto after = frames.lower_bound(frame);
    if (after == frames.begin()) {
        return std::nullopt;
    }
    --after;
    if constexpr (requires { after->first; }) {
        return after->first;
    } else {
        return *after;
    }
}

std::optional<std::int64_t> firstAbove(const std::map<std::int64_t, QPointF>& keyframes,
                                       std::int64_t frame) {
    const auto after = keyframes.upper_bound(frame);
    return after == keyframes.end() ? std::nullopt : std::optional(after->first);
}

QPointF between(QPointF from, QPointF to, double share) {
    return from + (to - from) * share;
}

bool sameRow(const TruthPoint& file, const TruthPoint& made, bool withCentre) {
    return file.inPlane == made.inPlane &&
           (!withCentre || (std::abs(file.centreX - made.centreX) <= sameCentre &&
                            std::abs(file.centreY - made.centreY) <= sameCentre));
}

} // namespace

std::optional<std::int64_t> outOfPlaneMarkOver(const Annotation& annotation, std::int64_t frame) {
    const std::optional<std::int64_t> mark = lastBelow(annotation.outOfPlaneFrom, frame + 1);
    if (!mark) {
        return std::nullopt;
    }
    // A keyframe after the mark, up to this frame, brings the stone back.
    const std::optional<std::int64_t> keyframe = firstAbove(annotation.keyframes, *mark);
    if (keyframe && *keyframe <= frame) {
        return std::nullopt;
    }
    return mark;
}

bool outOfPlaneAt(const Annotation& annotation, std::int64_t frame) {
    return outOfPlaneMarkOver(annotation, frame).has_value();
}

FrameTruth truthAt(const Annotation& annotation, std::int64_t frame) {
    FrameTruth truth;
    truth.inPlane = !outOfPlaneAt(annotation, frame);
    truth.inFocus = annotation.inFocus.contains(frame);
    truth.keyframeBefore = lastBelow(annotation.keyframes, frame);
    truth.keyframeAfter = firstAbove(annotation.keyframes, frame);
    const auto centreOf = [&annotation](std::int64_t keyframe) {
        return annotation.keyframes.at(keyframe);
    };
    if (const auto own = annotation.keyframes.find(frame); own != annotation.keyframes.end()) {
        truth.keyframe = true;
        truth.centre = own->second;
    } else if (truth.inPlane && truth.keyframeBefore && truth.keyframeAfter) {
        const double share = static_cast<double>(frame - *truth.keyframeBefore) /
                             static_cast<double>(*truth.keyframeAfter - *truth.keyframeBefore);
        truth.centre =
            between(centreOf(*truth.keyframeBefore), centreOf(*truth.keyframeAfter), share);
    } else if (truth.keyframeBefore || truth.keyframeAfter) {
        truth.centre =
            centreOf(truth.keyframeBefore ? *truth.keyframeBefore : *truth.keyframeAfter);
        truth.carried = true;
    }
    return truth;
}

std::optional<std::pair<std::int64_t, std::int64_t>> annotatedFrames(const Annotation& annotation,
                                                                     std::int64_t lastFrame) {
    if (annotation.empty()) {
        return std::nullopt;
    }
    std::int64_t first = std::numeric_limits<std::int64_t>::max();
    std::int64_t last = std::numeric_limits<std::int64_t>::min();
    const auto include = [&first, &last](std::int64_t from, std::int64_t to) {
        first = std::min(first, from);
        last = std::max(last, to);
    };
    if (!annotation.keyframes.empty()) {
        include(annotation.keyframes.begin()->first, annotation.keyframes.rbegin()->first);
    }
    if (!annotation.inFocus.empty()) {
        include(*annotation.inFocus.begin(), *annotation.inFocus.rbegin());
    }
    if (!annotation.outOfPlaneFrom.empty()) {
        // Stretches end in frame order, so the last mark's ends last.
        const std::int64_t lastMark = *annotation.outOfPlaneFrom.rbegin();
        const std::optional<std::int64_t> back = firstAbove(annotation.keyframes, lastMark);
        include(*annotation.outOfPlaneFrom.begin(),
                back ? *back - 1 : std::max(lastMark, lastFrame));
    }
    return std::pair(first, last);
}

GroundTruth truthOf(const Annotation& annotation, std::int64_t lastFrame) {
    GroundTruth truth;
    const bool centres = !annotation.keyframes.empty();
    truth.columns.centre = centres;
    truth.columns.keyframe = centres;
    truth.columns.inPlane = centres || !annotation.outOfPlaneFrom.empty();
    truth.columns.inFocus = !annotation.inFocus.empty();
    const auto frames = annotatedFrames(annotation, lastFrame);
    if (!frames) {
        truth.columns.centre = truth.columns.keyframe = truth.columns.inPlane = true;
        return truth;
    }
    for (std::int64_t frame = frames->first; frame <= frames->second; ++frame) {
        const FrameTruth at = truthAt(annotation, frame);
        TruthPoint point;
        if (at.centre) {
            point.centreX = at.centre->x();
            point.centreY = at.centre->y();
        }
        point.inPlane = at.inPlane;
        point.keyframe = at.keyframe;
        point.inFocus = at.inFocus;
        truth.byFrame.emplace_hint(truth.byFrame.end(), frame, point);
    }
    return truth;
}

Refusable<ContinuedAnnotation> annotationOf(const GroundTruth& truth, std::int64_t lastFrame) {
    ContinuedAnnotation result;
    Annotation& annotation = result.annotation;
    if (!truth.byFrame.empty()) {
        const auto& [frame, point] = *truth.byFrame.rbegin();
        if (!point.inPlane && frame < lastFrame) {
            result.note = QStringLiteral("The file ends out of the plane on frame %1; that "
                                         "stretch now runs to the last frame, %2, unless a "
                                         "keyframe ends it.")
                              .arg(frame)
                              .arg(lastFrame);
        }
    }
    const bool centres = truth.columns.centre;
    const auto makeKeyframe = [&annotation](std::int64_t frame, const TruthPoint& point) {
        annotation.keyframes[frame] = QPointF(point.centreX, point.centreY);
        if (!point.inPlane) {
            annotation.outOfPlaneFrom.insert(frame);
        }
    };
    for (auto row = truth.byFrame.begin(); row != truth.byFrame.end(); ++row) {
        const auto& [frame, point] = *row;
        if (centres && (point.keyframe || !truth.columns.keyframe)) {
            makeKeyframe(frame, point);
        }
        if (point.inFocus) {
            annotation.inFocus.insert(frame);
        }
        const bool followsOutOfPlane = row != truth.byFrame.begin() &&
                                       std::prev(row)->first == frame - 1 &&
                                       !std::prev(row)->second.inPlane;
        if (!point.inPlane && !followsOutOfPlane) {
            annotation.outOfPlaneFrom.insert(frame);
        }
    }
    if (!centres) {
        // Without centres there are no keyframes, and only a keyframe brings
        // the stone back into the plane.
        for (const auto& [frame, point] : truth.byFrame) {
            if (point.inPlane && outOfPlaneAt(annotation, frame)) {
                return Refusal{QStringLiteral("frame %1 is in the plane after frames out of it, "
                                              "which needs the stone's centre there; the file "
                                              "has no centre_x,centre_y")
                                   .arg(frame)};
            }
        }
        return result;
    }
    // Rows that the keyframes do not give back become keyframes themselves, at
    // once, so that the rows after one see it: a stretch out of the plane at
    // changing centres is done in one pass. A keyframe made later can still
    // change the rows before it, hence another pass until none is made; each
    // pass that goes on makes one, so this ends with every row a keyframe at
    // the latest.
    for (bool made = true; made;) {
        made = false;
        for (const auto& [frame, point] : truth.byFrame) {
            if (annotation.keyframes.contains(frame)) {
                continue;
            }
            const FrameTruth given = truthAt(annotation, frame);
            TruthPoint givenPoint;
            givenPoint.centreX = given.centre ? given.centre->x() : 0.0;
            givenPoint.centreY = given.centre ? given.centre->y() : 0.0;
            givenPoint.inPlane = given.inPlane;
            if (!sameRow(point, givenPoint, true)) {
                makeKeyframe(frame, point);
                made = true;
            }
        }
    }
    return result;
}
