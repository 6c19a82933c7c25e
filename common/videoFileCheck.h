// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/fileName.h"
#include "common/refusal.h"

#include <QByteArray>
#include <QString>
#include <sys/types.h>

// What a file that is no regular file and no directory is, for a message:
// "a named pipe (FIFO)", "a character device".
const char* specialFileKind(mode_t mode);

// The name that the command line gave as `decoded`, in its own bytes: a
// QString decoded from them loses those that are not valid in the locale's
// encoding (a Latin-1 name on a UTF-8 system). The last matching argument of
// main's `argv` is taken; `decoded` itself if none matches.
VideoFileName nameAsGiven(const QString& decoded, int argc, char** argv);

// Whether `name` can be a video to open, found from the file system alone
// (stat, lstat and faccessat), without opening anything: opening a named pipe
// blocks until someone writes to it, and a device never ends. Refused with
// the reason; the decoder has the last word on a file that is not refused.
Refusable<> checkVideoFile(const QByteArray& name);
