// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/fileName.h"
#include "common/refusal.h"

#include <QPainter>
#include <QSize>
#include <QString>
#include <functional>

// The replay's pictures as files: PNG, or the vectors of PDF and SVG, chosen
// by the name's extension (any other is PNG; the command line accepts .png,
// .pdf and .svg only). The picture is painted once into the format and the
// file is replaced whole through a temporary file beside it.

// Paints a picture of `size` pixels (1/96 inch) onto any paint device.
using PicturePainter = std::function<void(QPainter& painter, QSizeF size)>;

// Refused with the reason where it fails. `title` is the document's
// title in PDF and SVG.
Refusable<> writePictureFile(const FileName& path, QSize size, const QString& title,
                             const PicturePainter& paint);
