// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/videoRefusal.h"

#include "common/videoFileCheck.h"

QString videoRefusal(const QByteArray& fileName) {
    return videoFileRefusal(fileName).value_or(
        QStringLiteral("it is no video that can be played (damaged, without frames, or in an "
                       "unknown format)"));
}
