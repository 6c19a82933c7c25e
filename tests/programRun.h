// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <optional>

// Runs a program as a shell would, with its arguments in their own bytes (a
// name that is no valid UTF-8 stays as it is), and with the surroundings that
// QProcess cannot make: a standard output whose reader has gone, or a limit on
// the size of every file it writes.
struct ProgramStart {
    ProgramStart(QList<QByteArray> arguments) : arguments(std::move(arguments)) {}

    QList<QByteArray> arguments;
    enum class Output { Captured, ClosedPipe, File };
    Output output = Output::Captured;
    QByteArray outputFile;             // with Output::File
    std::optional<long> fileSizeLimit; // bytes (RLIMIT_FSIZE), SIGXFSZ ignored
};

struct ProgramEnd {
    int exitCode = -1; // -1: ended by a signal, or did not end in time
    int signal = 0;
    QByteArray output;
    QByteArray errors;
};

// Waits at most `timeoutMs` for the program to end, and kills it after that.
ProgramEnd runProgram(const char* program, const ProgramStart& start, int timeoutMs = 60000);
