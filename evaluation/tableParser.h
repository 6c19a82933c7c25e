// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/refusal.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

// A table file (a truth file, a replay's track) refused: what is wrong with
// it, and where. `line` counts from 1 (the header row); 0 when the fault is
// with the file as a whole. "truth.csv:7: centre_x is not a number: \"abc\"",
// or "truth.csv: ..." for line 0. The file was named on the command line, so
// a program that passes it on ends as after wrong usage.
Refusal tableRefusal(const QString& path, int line, const QString& message);

// What the readers of a table with a header row share (truths, tracks): the
// file's name for messages, the line being read, and the refusal once a row
// or the header is refused.
class TableParser {
  public:
    virtual ~TableParser() = default;

  protected:
    explicit TableParser(const QString& path) : path(path) {}

    // Hands the header to readHeader and each later row to readRow, until one
    // of them fails; a table without a header row is refused with
    // `noHeader`. False when the table is refused (`refusal` says why).
    bool readTable(const QByteArray& bytes, const QString& noHeader);
    // Refuses the table at the line being read.
    void fail(const QString& message);

    virtual void readHeader(const QList<QByteArray>& fields) = 0;
    virtual void readRow(const QList<QByteArray>& fields) = 0;

    QString path;
    int lineNumber = 0;
    std::optional<Refusal> refusal;
};
