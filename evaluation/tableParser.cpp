// SPDX-License-Identifier: GPL-3.0-or-later
#include "evaluation/tableParser.h"

#include "evaluation/csvRows.h"

bool TableParser::readTable(const QByteArray& bytes, const QString& noHeader) {
    const bool haveHeader =
        readCsvTable(bytes, lineNumber, [this](const QList<QByteArray>& fields, bool isHeader) {
            isHeader ? readHeader(fields) : readRow(fields);
            return !refusal;
        });
    if (!haveHeader && !refusal) {
        lineNumber = 1;
        fail(noHeader);
    }
    return !refusal;
}

void TableParser::fail(const QString& message) {
    refusal = tableRefusal(path, lineNumber, message);
}

Refusal tableRefusal(const QString& path, int line, const QString& message) {
    if (line <= 0) {
        return {QStringLiteral("%1: %2").arg(path, message), exitUsage};
    }
    return {QStringLiteral("%1:%2: %3").arg(path).arg(line).arg(message), exitUsage};
}
