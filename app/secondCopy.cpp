// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/secondCopy.h"

#include "app/refusal.h"
#include "log/logText.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QMessageBox>
#include <cstdio>
#include <unistd.h>

void sayAnotherCopyIsLogging(const QByteArray& logPath) {
    const QString log = QFile::decodeName(logPath);
    // A relative log lies in the working directory, which is then named too.
    const QString directory = QDir::isAbsolutePath(log) ? QString() : QDir::currentPath();
    std::fprintf(stderr,
                 "tessavolant: another copy of the program is logging to %s%s%s; it has been left "
                 "alone. Start this copy in another directory, or give it another log with "
                 "--log.\n",
                 eventlog::escapedForTerminal(log).constData(), directory.isEmpty() ? "" : " in ",
                 eventlog::escapedForTerminal(directory).constData());
    // From a terminal the line above is read; without a display (offscreen,
    // minimal) nobody could close the box.
    if (!refusalWantsMessageBox(isatty(STDERR_FILENO) == 1, QGuiApplication::platformName())) {
        return;
    }
    const QString where =
        directory.isEmpty() ? QDir::toNativeSeparators(log)
                            : QObject::tr("%1 in %2").arg(log, QDir::toNativeSeparators(directory));
    QMessageBox::critical(nullptr, QObject::tr("Tessavolant"),
                          QObject::tr("Another copy of Tessavolant is logging to\n%1\n\n"
                                      "That log has been left alone. Start this copy in another "
                                      "directory, or give it another log with --log.")
                              .arg(where));
}
