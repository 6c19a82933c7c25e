// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/figureJson.h"

#include <QJsonObject>

QJsonValue orNull(const std::optional<double>& value) {
    return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

QJsonValue errorStatsJson(const std::optional<ErrorStats>& stats) {
    if (!stats) {
        return QJsonValue::Null;
    }
    return QJsonObject{{"ticks", static_cast<qint64>(stats->ticks)},
                       {"mean", stats->meanPx},
                       {"median", stats->medianPx},
                       {"p95", stats->p95Px},
                       {"max", stats->maxPx}};
}
