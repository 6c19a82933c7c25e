// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QWidget;

// Makes every label under `form` show its whole text in the font it is drawn
// with. A label whose text is cut off grows to the right as far as its
// right-hand neighbour allows, otherwise its right edge stops short of that
// neighbour and it grows to the left; if there is room on neither side its
// font is made smaller until the text fits the room there is. A spin box too
// narrow for its widest value, and a group box title that a child would cross,
// get a smaller font (the group box's children keep theirs).
void fitCaptionsToText(QWidget* form);
