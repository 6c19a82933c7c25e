// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/programMessages.h"

#include <cstdio>

void ProgramMessages::say(const QString& message) const {
    say(message.toLocal8Bit().toStdString());
}

void ProgramMessages::say(const std::string& localBytes) const {
    std::fprintf(stderr, "%s: %s\n", program, localBytes.c_str());
}

int ProgramMessages::refuse(const Refusal& refusal) const {
    say(refusal.message);
    if (refusal.exitCode == exitUsage) {
        if (usageLine) {
            std::fprintf(stderr, "%s\n", usageLine);
        } else {
            std::fprintf(stderr, "Try '%s --help'.\n", program);
        }
    }
    return refusal.exitCode;
}
