// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Whether a refusal to open a video is also to be shown in a message box: when
// standard error is no terminal (the program was started from a desktop's menu
// or a file manager, where nobody reads it), on a platform with a screen to
// show the box on (not offscreen or minimal, where nobody could close it).
bool refusalWantsMessageBox(bool stderrIsTerminal, const QString& platformName);

// The message box: what could not be opened, and why.
void showRefusal(const QString& videoPath, const QString& reason);
