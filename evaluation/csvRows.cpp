// SPDX-License-Identifier: GPL-3.0-or-later
#include "evaluation/csvRows.h"

bool CsvRows::next(QList<QByteArray>& fields) {
    while (at < bytes.size()) {
        qsizetype end = at;
        while (end < bytes.size() && bytes[end] != '\n' && bytes[end] != '\r') {
            ++end;
        }
        QByteArrayView row = QByteArrayView(bytes).sliced(at, end - at);
        at = end + 1;
        if (end < bytes.size() && bytes[end] == '\r' && at < bytes.size() && bytes[at] == '\n') {
            ++at;
        }
        ++line;
        if (line == 1 && row.startsWith("\xEF\xBB\xBF")) {
            row = row.sliced(3);
        }
        if (!row.trimmed().isEmpty()) {
            fields = splitCsvRow(row);
            return true;
        }
    }
    return false;
}

bool readCsvTable(const QByteArray& bytes, int& lineNumber,
                  const std::function<bool(const QList<QByteArray>& fields, bool isHeader)>& take) {
    CsvRows rows(bytes);
    QList<QByteArray> fields;
    bool haveHeader = false;
    while (rows.next(fields)) {
        lineNumber = rows.lineNumber();
        const bool isHeader = !haveHeader;
        haveHeader = true;
        if (!take(fields, isHeader)) {
            break;
        }
    }
    return haveHeader;
}

QList<QByteArray> splitCsvRow(QByteArrayView row) {
    QList<QByteArray> fields;
    QByteArray field;
    bool quoted = false;
    for (qsizetype i = 0; i < row.size(); ++i) {
        const char c = row[i];
        if (quoted) {
            if (c == '"' && i + 1 < row.size() && row[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.append(field.trimmed());
            field.clear();
        } else {
            field += c;
        }
    }
    fields.append(field.trimmed());
    return fields;
}
