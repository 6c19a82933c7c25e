// SPDX-License-Identifier: GPL-3.0-or-later
#include "replay/progressLine.h"

#include <cstdio>
#include <unistd.h>

ProgressLine::ProgressLine(std::int64_t total, bool wanted)
    : total(total), shown(wanted && isatty(STDERR_FILENO) == 1) {
    started.start();
}

ProgressLine::~ProgressLine() {
    clear();
}

void ProgressLine::update(std::int64_t done) {
    const qint64 now = started.elapsed();
    if (!shown || (now - lastDrawMs < 100 && done != total)) {
        return;
    }
    lastDrawMs = now;
    std::fprintf(stderr, "\r%s\033[K", qPrintable(progressText(done, total, now / 1000.0)));
    std::fflush(stderr);
    drawn = true;
}

void ProgressLine::clear() {
    if (drawn) {
        std::fprintf(stderr, "\r\033[K");
        std::fflush(stderr);
        drawn = false;
    }
}

QString progressText(std::int64_t done, std::int64_t total, double elapsedSeconds) {
    constexpr int width = 30;
    const double share = total > 0 ? static_cast<double>(done) / static_cast<double>(total) : 0.0;
    const int filled = static_cast<int>(share * width);
    const double rate = elapsedSeconds > 0 ? static_cast<double>(done) / elapsedSeconds : 0.0;
    const QString left =
        rate > 0 ? QString::number(static_cast<double>(total - done) / rate, 'f', 1) + " s left"
                 : QStringLiteral("...");
    return QStringLiteral("[%1%2] %3/%4 ticks  %5 ticks/s  %6")
        .arg(QString(filled, '#'), QString(width - filled, '.'))
        .arg(done)
        .arg(total)
        .arg(rate, 0, 'f', 0)
        .arg(left);
}
