// SPDX-License-Identifier: GPL-3.0-or-later
#include "annotate/annotationEdit.h"

AnnotationEdit::AnnotationEdit(Annotation& annotation, Layer layer, std::int64_t frame,
                               Entry before, Entry after, std::function<void()> changed)
    : annotation(annotation), layer(layer), frame(frame), before(before), after(after),
      changed(std::move(changed)) {}

AnnotationEdit::Entry AnnotationEdit::entryOf(const Annotation& annotation, Layer layer,
                                              std::int64_t frame) {
    switch (layer) {
    case Layer::Keyframe: {
        const auto found = annotation.keyframes.find(frame);
        return found == annotation.keyframes.end() ? Entry() : Entry(found->second);
    }
    case Layer::OutOfPlane:
        return annotation.outOfPlaneFrom.contains(frame) ? Entry(QPointF()) : Entry();
    case Layer::InFocus:
        return annotation.inFocus.contains(frame) ? Entry(QPointF()) : Entry();
    }
    return {};
}

void AnnotationEdit::apply(const Entry& entry) {
    switch (layer) {
    case Layer::Keyframe:
        if (entry) {
            annotation.keyframes[frame] = *entry;
        } else {
            annotation.keyframes.erase(frame);
        }
        break;
    case Layer::OutOfPlane:
    case Layer::InFocus: {
        std::set<std::int64_t>& marks =
            layer == Layer::OutOfPlane ? annotation.outOfPlaneFrom : annotation.inFocus;
        if (entry) {
            marks.insert(frame);
        } else {
            marks.erase(frame);
        }
        break;
    }
    }
    if (changed) {
        changed();
    }
}
