// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <functional>

// The rows of a CSV file as spreadsheets and the project's own programs write
// them, for every table the programs read (truths, tracks, labels): a UTF-8
// byte order mark before the first row is dropped; a row ends at "\n", "\r\n"
// or a lone "\r" (old Mac files); blank rows are skipped; a field in double
// quotes may hold commas, and "" in it stands for one quote; spaces around a
// field are dropped. A quoted field does not span lines.
class CsvRows {
  public:
    explicit CsvRows(const QByteArray& bytes) : bytes(bytes) {}

    // The next row that is not blank, split into fields; false at the end.
    bool next(QList<QByteArray>& fields);
    // The line of the file (from 1) that the last row came from.
    int lineNumber() const { return line; }

  private:
    const QByteArray& bytes;
    qsizetype at = 0;
    int line = 0;
};

// Reads `bytes` as a table with CsvRows: the first row is the header, every
// later one a row, each handed to `take` with `lineNumber` set to its line,
// until `take` returns false. False when the table has no header row.
bool readCsvTable(const QByteArray& bytes, int& lineNumber,
                  const std::function<bool(const QList<QByteArray>& fields, bool isHeader)>& take);

// One row split into fields, as CsvRows splits it.
QList<QByteArray> splitCsvRow(QByteArrayView row);
