#include "app/captions.h"

#include <QLabel>
#include <algorithm>
#include <limits>

namespace {

constexpr int gap = 2;
constexpr int smallestPointSize = 6;

bool sharesRows(const QRect& a, const QRect& b) {
    return a.top() <= b.bottom() && b.top() <= a.bottom();
}

// The free stretch of the label's rows between its neighbours on the left and
// on the right, as [left, right).
std::pair<int, int> roomAround(const QLabel& label, const QRect& rows) {
    int left = 0;
    // Not the parent's width: a group box placed by a layout gets it only later.
    int right = std::numeric_limits<int>::max();
    for (const QObject* child : label.parentWidget()->children()) {
        const auto* sibling = qobject_cast<const QWidget*>(child);
        if (!sibling || sibling == &label || !sibling->isVisibleTo(label.parentWidget()) ||
            !sharesRows(sibling->geometry(), rows)) {
            continue;
        }
        const QRect other = sibling->geometry();
        if (other.left() >= label.x()) {
            right = std::min(right, other.left() - gap);
        } else {
            left = std::max(left, other.right() + 1 + gap);
        }
    }
    return {left, right};
}

void fitCaption(QLabel& label) {
    const QSize needed = label.sizeHint();
    if (needed.width() <= label.width() && needed.height() <= label.height()) {
        return;
    }
    QRect place(label.pos(), label.size().expandedTo(needed));
    const auto [left, right] = roomAround(label, place);
    if (place.right() >= right) {
        place.moveRight(right - 1);
    }
    if (place.left() < left) {
        place.setLeft(left);
        QFont font = label.font();
        while (font.pointSize() > smallestPointSize &&
               QFontMetrics(font).horizontalAdvance(label.text()) > place.width()) {
            font.setPointSize(font.pointSize() - 1);
        }
        label.setFont(font);
    }
    label.setGeometry(place);
}

} // namespace

void fitCaptionsToText(QWidget* form) {
    for (QLabel* label : form->findChildren<QLabel*>()) {
        if (label->parentWidget()) {
            fitCaption(*label);
        }
    }
}
