#pragma once

class MainWindow;

// Shows in the window's status bar, for as long as it lasts, that its log
// cannot be written, and retries the held-back lines every second meanwhile.
// The label sits apart from the status bar's passing messages, so that a hint
// cannot hide it.
void showLogProblems(MainWindow& window);
