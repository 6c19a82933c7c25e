// SPDX-License-Identifier: GPL-3.0-or-later
#include "evaluation/trackCsv.h"

#include <QStringList>

QByteArray trackCsvHeader() {
    return "tick,frame,time_s,track_x,track_y,track_w,track_h,centre_x,centre_y,area,in_plane,"
           "on_focal_area,hit,threshold,aim_x,aim_y,confidence\n";
}

QByteArray trackCsvRow(const TickRecord& tick) {
    const auto flag = [](bool value) { return QString(value ? "1" : "0"); };
    const QStringList fields{QString::number(tick.tick),
                             QString::number(tick.frame),
                             QString::number(tick.timeSeconds, 'f', 3),
                             QString::number(tick.track.x),
                             QString::number(tick.track.y),
                             QString::number(tick.track.width),
                             QString::number(tick.track.height),
                             QString::number(tick.centreX),
                             QString::number(tick.centreY),
                             QString::number(tick.area, 'f', 0),
                             flag(tick.inPlane),
                             flag(tick.onFocalArea),
                             flag(tick.hit),
                             QString::number(tick.threshold),
                             QString::number(tick.aimX, 'f', 3),
                             QString::number(tick.aimY, 'f', 3),
                             QString::number(tick.confidence, 'f', 3)};
    return (fields.join(',') + '\n').toLatin1();
}

QByteArray withCentreInMmHeader(QByteArray header) {
    header.chop(1);
    return header + ",centre_x_mm,centre_y_mm\n";
}

QByteArray withCentreInMm(QByteArray row, const TickRecord& tick, const MmPerPixel& scale) {
    row.chop(1);
    return row + ',' + QByteArray::number(tick.centreX * scale.x, 'f', 3) + ',' +
           QByteArray::number(tick.centreY * scale.y, 'f', 3) + '\n';
}
