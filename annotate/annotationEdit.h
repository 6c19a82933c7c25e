// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "annotate/annotation.h"

#include <QPointF>
#include <QUndoCommand>
#include <cstdint>
#include <functional>
#include <optional>

// One change of one frame's marks, undoable: a keyframe set, moved or
// removed, an out-of-plane mark or an in-focus label put or taken away.
class AnnotationEdit : public QUndoCommand {
  public:
    enum class Layer { Keyframe, OutOfPlane, InFocus };

    // What the layer holds on the frame: nothing, or a mark (with its centre,
    // for a keyframe).
    using Entry = std::optional<QPointF>;

    AnnotationEdit(Annotation& annotation, Layer layer, std::int64_t frame, Entry before,
                   Entry after, std::function<void()> changed);

    void undo() override { apply(before); }
    void redo() override { apply(after); }

    // The layer's entry on `frame` as it is now.
    static Entry entryOf(const Annotation& annotation, Layer layer, std::int64_t frame);

  private:
    void apply(const Entry& entry);

    Annotation& annotation;
    Layer layer;
    std::int64_t frame;
    Entry before;
    Entry after;
    std::function<void()> changed;
};
