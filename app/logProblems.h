// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

class MainWindow;

// Shows in the window's status bar, for as long as it lasts, that its log
// cannot be written, and retries the held-back lines every second meanwhile.
// Where the window has no log, `notLogged` (why it could not be opened, if
// that is known) stands there in the same red until the window closes. The
// label sits apart from the status bar's passing messages, so that a hint
// cannot hide it.
void showLogProblems(MainWindow& window, const std::string& notLogged = {});
