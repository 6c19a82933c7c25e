// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/refusal.h"

#include <QByteArray>
#include <functional>
#include <string>

// The window needs a graphical display unless Qt is told to use a platform
// that runs without one (offscreen, vnc, linuxfb, ...). Without a display Qt
// aborts while the QApplication is made, with a message about plugins; these
// find that out beforehand, or catch Qt's attempt, so that the program can say
// in one line what is wrong. Nothing is written to the event log then: no run
// has begun, and the log of the previous run stays as it was.

// True if every platform in `platforms` needs a display server and neither
// `display` (DISPLAY, for X11) nor `waylandDisplay` (WAYLAND_DISPLAY) names
// one. `platforms` is what QT_QPA_PLATFORM or the -platform option says: names
// separated by ';', each perhaps with ':' and arguments; empty means Qt's
// default, X11.
bool lacksGraphicalDisplay(const QByteArray& platforms, const QByteArray& display,
                           const QByteArray& waylandDisplay);

// Whether the window can have a display, from main's arguments and the
// environment alone; refused with why not. Call first in main, before the
// QApplication is made.
Refusable<> checkGraphicalDisplay(int argc, char** argv);

// Until graphicalDisplayFound(), a display that is named but cannot be reached
// (a stale DISPLAY) calls `giveUp` with why, from Qt's own attempt, instead of
// Qt's abort. `giveUp` must end the process; the QApplication cannot be made.
// Call right before the QApplication is made.
void catchDisplayFailure(std::function<void(const std::string& why)> giveUp);

// Call right after the QApplication is made: messages that Qt wrote while it
// chose its platform, held back in case it failed, are passed on.
void graphicalDisplayFound();
