// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/pictureFile.h"

#include "common/outputFiles.h"

#include <QBuffer>
#include <QImage>
#include <QPageSize>
#include <QPdfWriter>
#include <QSvgGenerator>

namespace {

// Points are 1/72 inch; the picture's pixels are 1/96 inch, as on a screen.
constexpr int pictureResolution = 96;

QByteArray pdfOf(QSize size, const QString& title, const PicturePainter& paint) {
    QBuffer bytes;
    bytes.open(QIODevice::WriteOnly);
    QPdfWriter pdf(&bytes);
    pdf.setResolution(pictureResolution);
    pdf.setPageSize(QPageSize(QSizeF(size) * 72.0 / pictureResolution, QPageSize::Point));
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
    pdf.setTitle(title);
    pdf.setCreator(QStringLiteral("Tessavolant"));
    {
        QPainter painter(&pdf);
        paint(painter, QSizeF(size));
    }
    return bytes.data();
}

QByteArray svgOf(QSize size, const QString& title, const PicturePainter& paint) {
    QBuffer bytes;
    bytes.open(QIODevice::WriteOnly);
    QSvgGenerator svg;
    svg.setOutputDevice(&bytes);
    svg.setSize(size);
    svg.setViewBox(QRect(QPoint(0, 0), size));
    svg.setResolution(pictureResolution);
    svg.setTitle(title);
    {
        QPainter painter(&svg);
        paint(painter, QSizeF(size));
    }
    return bytes.data();
}

QByteArray pngOf(QSize size, const PicturePainter& paint) {
    QImage image(size, QImage::Format_RGB32);
    {
        QPainter painter(&image);
        paint(painter, QSizeF(size));
    }
    QBuffer bytes;
    bytes.open(QIODevice::WriteOnly);
    image.save(&bytes, "PNG");
    return bytes.data();
}

} // namespace

Refusable<> writePictureFile(const FileName& path, QSize size, const QString& title,
                             const PicturePainter& paint) {
    const QString name = path.shown().toLower();
    const QByteArray bytes = name.endsWith(QLatin1String(".pdf"))   ? pdfOf(size, title, paint)
                             : name.endsWith(QLatin1String(".svg")) ? svgOf(size, title, paint)
                                                                    : pngOf(size, paint);
    if (bytes.isEmpty()) {
        return Refusal{QStringLiteral("%1: cannot be drawn").arg(path.shown())};
    }
    if (const Refusable<> written = replaceFile(path.bytes, bytes); !written) {
        return Refusal{QStringLiteral("%1: cannot be written: %2")
                           .arg(path.shown(), written.refusal().message)};
    }
    return {};
}
