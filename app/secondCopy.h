#pragma once

// Tells the user, on stderr and, where there is a display, in a message box,
// that another copy of the program is logging in the working directory and that
// this one must be started in another directory.
void sayAnotherCopyIsLogging();
