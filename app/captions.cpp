// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/captions.h"

#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QSpinBox>
#include <QStyleOptionGroupBox>
#include <QStyleOptionSpinBox>
#include <algorithm>
#include <limits>

namespace {

constexpr int gap = 2;
constexpr int smallestPointSize = 6;
// What a line edit leaves free on either side of its text.
constexpr int spinBoxTextMargin = 2;

bool sharesRows(const QRect& a, const QRect& b) {
    return a.top() <= b.bottom() && b.top() <= a.bottom();
}

// The free stretch of the widget's rows between its neighbours on the left and
// on the right, as [left, right).
std::pair<int, int> roomAround(const QWidget& label, const QRect& rows) {
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

// A spin box too narrow for its widest value shows it cut ("10(" for 100):
// it keeps its place and size, and gets a smaller font until that value fits
// its text field (with the field's margins of 2 pixels on either side).
void fitSpinBox(QSpinBox& box) {
    QStyleOptionSpinBox option;
    option.initFrom(&box);
    option.rect = box.rect();
    option.frame = box.hasFrame();
    option.buttonSymbols = box.buttonSymbols();
    option.subControls = QStyle::SC_SpinBoxFrame | QStyle::SC_SpinBoxEditField |
                         QStyle::SC_SpinBoxUp | QStyle::SC_SpinBoxDown;
    const int room =
        box.style()
            ->subControlRect(QStyle::CC_SpinBox, &option, QStyle::SC_SpinBoxEditField, &box)
            .width() -
        2 * spinBoxTextMargin;
    const QString widest = QString::number(
        std::abs(box.maximum()) > std::abs(box.minimum()) ? box.maximum() : box.minimum());
    QFont font = box.font();
    while (font.pointSize() > smallestPointSize &&
           QFontMetrics(font).horizontalAdvance(widest) > room) {
        font.setPointSize(font.pointSize() - 1);
        box.setFont(font);
    }
}

// Where the group box draws its title's letters, in its own coordinates.
QRect titleInk(const QGroupBox& box) {
    QStyleOptionGroupBox option;
    option.initFrom(&box);
    option.text = box.title();
    option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
    const QRect label =
        box.style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, &box);
    const QFontMetrics metrics(box.font());
    const QRect ink = metrics.tightBoundingRect(box.title());
    const int baseline = label.top() + (label.height() - metrics.height()) / 2 + metrics.ascent();
    return ink.translated(label.left(), baseline);
}

// A child that draws an edge across the title's letters; a frameless display
// (the LCD numbers) draws nothing where the title is.
bool titleTouchesAChild(const QGroupBox& box) {
    const QRect ink = titleInk(box);
    for (const QWidget* child : box.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        const auto* frame = qobject_cast<const QFrame*>(child);
        if (frame && frame->frameShape() == QFrame::NoFrame) {
            continue;
        }
        if (child->isVisibleTo(&box) && child->geometry().intersects(ink)) {
            return true;
        }
    }
    return false;
}

// A group box whose children start just below its top (the movie controls,
// 10 pixels down) would have its title's letters crossed by them: the title
// gets a smaller font, and the children keep the one they had.
void fitGroupBoxTitle(QGroupBox& box) {
    if (box.title().isEmpty() || !titleTouchesAChild(box)) {
        return;
    }
    const QList<QWidget*> children = box.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QWidget* child : children) {
        QFont own = child->font();
        own.setResolveMask(QFont::AllPropertiesResolved);
        child->setFont(own);
    }
    QFont font = box.font();
    while (font.pointSize() > smallestPointSize && titleTouchesAChild(box)) {
        font.setPointSize(font.pointSize() - 1);
        box.setFont(font);
    }
}

} // namespace

void fitCaptionsToText(QWidget* form) {
    for (QLabel* label : form->findChildren<QLabel*>()) {
        if (label->parentWidget()) {
            fitCaption(*label);
        }
    }
    for (QSpinBox* box : form->findChildren<QSpinBox*>()) {
        fitSpinBox(*box);
    }
    for (QGroupBox* box : form->findChildren<QGroupBox*>()) {
        fitGroupBoxTitle(*box);
    }
}
