// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <string>

// Pure text conversions for the event log and for messages on stderr.
namespace eventlog {

// "%f" of the C library in the "C" locale: fixed notation with six decimals and
// a decimal point, whatever locale the process runs in.
std::string fixedSix(double value);
// "%d" of the C library.
std::string decimal(long long value);

// A video name as the log holds it: Latin-1, with '?' for every character
// outside Latin-1 and for every control character (C0, DEL and C1), so that a
// name can neither break a line nor carry terminal commands into the file.
QByteArray loggableName(const QString& name);

// A name for a message on a terminal: UTF-8 with control characters and the
// backslash escaped (\n, \t, \x1b, \u009b, \\), so that a name can neither
// break the message nor command the terminal.
QByteArray escapedForTerminal(const QString& name);

// Why a write took no byte, from its errno, in the words of a status line
// ("disk full" for ENOSPC).
std::string whyNotWritten(int error);

} // namespace eventlog
