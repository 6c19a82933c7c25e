// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

// Why a chosen video could not be opened, in words that tell the user what to
// do about it: what the file system says against it, or else that the decoder
// found no video in it.
QString videoRefusal(const QByteArray& fileName);
