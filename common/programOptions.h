// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCommandLineOption>
#include <QString>
#include <cstdio>
#include <optional>

class QCommandLineParser;

// The options that every program has, -h/--help and -v/--version, and what
// they print. Made before the program's own options, so that they head its
// help.
class StandardOptions {
  public:
    explicit StandardOptions(QCommandLineParser& parser);

    // After a successful parse: what --help (which wins) or --version asks to
    // be printed on stdout before the program ends with exit code 0; none when
    // neither was given. `synopsis` follows the program's name on the help's
    // first line ("[options] VIDEO"), which the parser cannot write without an
    // application object.
    std::optional<QString> answer(const QCommandLineParser& parser, const QString& program,
                                  const QString& synopsis) const;

  private:
    QCommandLineOption help;
    QCommandLineOption version;
};

// A finite number from `low` to `high` in an option's text, or nothing.
std::optional<double> numberWithin(const QString& text, double low, double high);

// Prints `text` in the locale's encoding.
void printText(std::FILE* stream, const QString& text);
