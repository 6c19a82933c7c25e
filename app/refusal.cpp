// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/refusal.h"

#include <QDir>
#include <QMessageBox>
#include <QObject>

bool refusalWantsMessageBox(bool stderrIsTerminal, const QString& platformName) {
    return !stderrIsTerminal && platformName != QLatin1String("offscreen") &&
           platformName != QLatin1String("minimal");
}

void showRefusal(const QString& videoPath, const QString& reason) {
    // The reason is written to follow a colon on standard error; in the box it
    // is a sentence of its own.
    QString sentence = reason;
    if (!sentence.isEmpty()) {
        sentence[0] = sentence[0].toUpper();
    }
    QMessageBox::critical(nullptr, QObject::tr("Tessavolant"),
                          QObject::tr("Tessavolant cannot open the video\n%1\n\n%2")
                              .arg(QDir::toNativeSeparators(videoPath), sentence));
}
