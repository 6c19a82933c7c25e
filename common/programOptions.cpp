// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/programOptions.h"

#include "version.h"

#include <QCommandLineParser>
#include <QStringList>
#include <cmath>

StandardOptions::StandardOptions(QCommandLineParser& parser)
    : help({QStringLiteral("h"), QStringLiteral("help")},
           QStringLiteral("Show this help and exit.")),
      version({QStringLiteral("v"), QStringLiteral("version")},
              QStringLiteral("Show the version and exit.")) {
    parser.addOption(help);
    parser.addOption(version);
}

std::optional<QString> StandardOptions::answer(const QCommandLineParser& parser,
                                               const QString& program,
                                               const QString& synopsis) const {
    if (parser.isSet(help)) {
        return QStringLiteral("Usage: %1 %2\n%3")
            .arg(program, synopsis, parser.helpText().section(QLatin1Char('\n'), 1));
    }
    if (parser.isSet(version)) {
        return QStringLiteral("%1 %2\n%3\n")
            .arg(program, QLatin1String(tessavolantVersion), QLatin1String(tessavolantLicence));
    }
    return std::nullopt;
}

void printText(std::FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
}

std::optional<double> numberWithin(const QString& text, double low, double high) {
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < low || value > high) {
        return std::nullopt;
    }
    return value;
}
