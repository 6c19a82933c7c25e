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
    QMessageBox::critical(nullptr, QObject::tr("Tessavolant"),
                          QObject::tr("Tessavolant cannot open the video\n%1\n\n%2")
                              .arg(QDir::toNativeSeparators(videoPath), reason));
}
