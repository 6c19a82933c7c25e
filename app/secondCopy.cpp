#include "app/secondCopy.h"

#include "log/eventLog.h"
#include "log/logText.h"

#include <QDir>
#include <QGuiApplication>
#include <QMessageBox>
#include <cstdio>

void sayAnotherCopyIsLogging() {
    const QString directory = QDir::currentPath();
    std::fprintf(stderr,
                 "tessavolant: another copy of the program is logging to %s in %s; it has been "
                 "left alone. Start this copy in another directory.\n",
                 eventlog::fileName, eventlog::escapedForTerminal(directory).constData());
    // Without a display (offscreen, minimal) nobody could close the box.
    const QString platform = QGuiApplication::platformName();
    if (platform == "offscreen" || platform == "minimal") {
        return;
    }
    QMessageBox::critical(
        nullptr, QObject::tr("Tessavolant"),
        QObject::tr("Another copy of Tessavolant is logging in this directory:\n%1\n\n"
                    "Its log (%2) has been left alone. Start this copy in another "
                    "directory.")
            .arg(QDir::toNativeSeparators(directory), eventlog::fileName));
}
