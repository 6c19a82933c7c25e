// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/refusal.h"

#include <QString>
#include <string>

// What a program says on stderr: one line "PROGRAM: MESSAGE" each, in the
// locale's encoding, the same for the window, the replay and the annotation
// program. Each program's main says its refusals here and nowhere else.
class ProgramMessages {
  public:
    // `usageLine`: what follows a usage error, where not "Try 'PROGRAM --help'.".
    explicit constexpr ProgramMessages(const char* program, const char* usageLine = nullptr)
        : program(program), usageLine(usageLine) {}

    void say(const QString& message) const;
    // Bytes already in the locale's encoding (a file name as the file system
    // gave it, a line of the log's own), written as they are.
    void say(const std::string& localBytes) const;
    // A refusal passed on: its message, after wrong usage (exitUsage) with
    // where to read on; returns its exit code.
    int refuse(const Refusal& refusal) const;
    int usageError(const QString& message) const { return refuse({message, exitUsage}); }
    int failure(const QString& message) const { return refuse({message, exitFailure}); }

  private:
    const char* program;
    const char* usageLine;
};
