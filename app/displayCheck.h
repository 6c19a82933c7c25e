#pragma once

#include <QByteArray>

// The window needs a graphical display unless Qt is told to use a platform
// that runs without one (offscreen, vnc, linuxfb, ...). Without a display Qt
// aborts while the QApplication is made, with a message about plugins; these
// turn that into one line that says what is wrong and exit code 1. Nothing is
// written to the event log then: no run has begun, and the log of the previous
// run stays as it was.

// True if every platform in `platforms` needs a display server and neither
// `display` (DISPLAY, for X11) nor `waylandDisplay` (WAYLAND_DISPLAY) names
// one. `platforms` is what QT_QPA_PLATFORM or the -platform option says: names
// separated by ';', each perhaps with ':' and arguments; empty means Qt's
// default, X11.
bool lacksGraphicalDisplay(const QByteArray& platforms, const QByteArray& display,
                           const QByteArray& waylandDisplay);

// Call first in main, before the QApplication is made, with main's arguments.
// Ends the program at once when the environment names no display that the
// chosen platform could use. Until graphicalDisplayFound(), a display that is
// named but cannot be reached (a stale DISPLAY) ends it the same way, from
// Qt's own attempt, instead of Qt's abort.
void requireGraphicalDisplay(int argc, char** argv);

// Call right after the QApplication is made: messages that Qt wrote while it
// chose its platform, held back in case it failed, are passed on.
void graphicalDisplayFound();
