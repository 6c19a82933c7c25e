// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// A file name as the file system stores it: bytes that need not be valid in the
// locale's encoding. A name written on an older Windows machine keeps its
// Latin-1 bytes (0xC5 for Å) on a UTF-8 system, and a QString cannot carry
// those back to the file system, so the bytes themselves are kept.
struct FileName {
    FileName() = default;
    // A name typed or chosen in Qt: the locale's encoding of it.
    FileName(const QString& name) : bytes(QFile::encodeName(name)) {}
    static FileName fromBytes(const QByteArray& bytes) {
        FileName name;
        name.bytes = bytes;
        return name;
    }
    // For messages and the log: undecodable bytes become U+FFFD, which
    // QString::toLatin1 writes as '?'.
    QString shown() const { return QFile::decodeName(bytes); }
    bool isEmpty() const { return bytes.isEmpty(); }

    QByteArray bytes;
};

// The name of a video, kept the same way.
using VideoFileName = FileName;
