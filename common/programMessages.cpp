// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/programMessages.h"

#include <cstdio>

void ProgramMessages::say(const QString& message) const {
    say(message.toLocal8Bit().toStdString());
}

void ProgramMessages::say(const std::string& localBytes) const {
    std::fprintf(stderr, "%s: %s\n", program, localBytes.c_str());
}

int ProgramMessages::usageError(const QString& message) const {
    say(message);
    std::fprintf(stderr, "Try '%s --help'.\n", program);
    return 2;
}

int ProgramMessages::failure(const QString& message) const {
    say(message);
    return 1;
}
