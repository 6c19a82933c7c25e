// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <string>

// What a program says on stderr: one line "PROGRAM: MESSAGE" each, in the
// locale's encoding, the same for the window, the replay and the annotation
// program. Each program's main says its refusals here and nowhere else.
class ProgramMessages {
  public:
    explicit constexpr ProgramMessages(const char* program) : program(program) {}

    void say(const QString& message) const;
    // Bytes already in the locale's encoding (a file name as the file system
    // gave it, a line of the log's own), written as they are.
    void say(const std::string& localBytes) const;
    // A wrong option or argument, with where to read on; returns exit code 2.
    int usageError(const QString& message) const;
    // A failure at run time; returns exit code 1.
    int failure(const QString& message) const;

  private:
    const char* program;
};
