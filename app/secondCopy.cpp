// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/secondCopy.h"

#include "app/refusal.h"
#include "log/logText.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QMessageBox>
#include <unistd.h>

namespace {

// A relative log lies in the working directory, which is then named too.
QString directoryOf(const QString& log) {
    return QDir::isAbsolutePath(log) ? QString() : QDir::currentPath();
}

} // namespace

Refusal anotherCopyIsLogging(const QByteArray& logPath) {
    const QString log = QFile::decodeName(logPath);
    const QString directory = directoryOf(log);
    return {QStringLiteral("another copy of the program is logging to %1%2%3; it has been left "
                           "alone. Start this copy in another directory, or give it another log "
                           "with --log.")
                .arg(QString::fromUtf8(eventlog::escapedForTerminal(log)),
                     directory.isEmpty() ? QString() : QStringLiteral(" in "),
                     QString::fromUtf8(eventlog::escapedForTerminal(directory)))};
}

void showAnotherCopyIsLogging(const QByteArray& logPath) {
    // From a terminal the line on stderr is read; without a display
    // (offscreen, minimal) nobody could close the box.
    if (!refusalWantsMessageBox(isatty(STDERR_FILENO) == 1, QGuiApplication::platformName())) {
        return;
    }
    const QString log = QFile::decodeName(logPath);
    const QString directory = directoryOf(log);
    const QString where =
        directory.isEmpty() ? QDir::toNativeSeparators(log)
                            : QObject::tr("%1 in %2").arg(log, QDir::toNativeSeparators(directory));
    QMessageBox::critical(nullptr, QObject::tr("Tessavolant"),
                          QObject::tr("Another copy of Tessavolant is logging to\n%1\n\n"
                                      "That log has been left alone. Start this copy in another "
                                      "directory, or give it another log with --log.")
                              .arg(where));
}
