// SPDX-License-Identifier: GPL-3.0-or-later
#include "log/logText.h"

#include <QList>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace eventlog {

namespace {

bool isControl(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

} // namespace

std::string fixedSix(double value) {
    // Enough for every double in fixed notation: 309 integer digits, the
    // point, six decimals and a sign.
    std::array<char, 330> digits;
    const auto [end, error] = std::to_chars(digits.data(), digits.data() + digits.size(), value,
                                            std::chars_format::fixed, 6);
    if (error != std::errc()) {
        return "nan";
    }
    return std::string(digits.data(), end);
}

std::string decimal(long long value) {
    std::array<char, 24> digits;
    const auto end = std::to_chars(digits.data(), digits.data() + digits.size(), value).ptr;
    return std::string(digits.data(), end);
}

QByteArray loggableName(const QString& name) {
    QByteArray latin1 = name.toLatin1();
    for (char& byte : latin1) {
        if (isControl(static_cast<unsigned char>(byte))) {
            byte = '?';
        }
    }
    return latin1;
}

QByteArray escapedForTerminal(const QString& name) {
    // C's own escapes where it has one.
    constexpr std::string_view controls = "\a\b\t\n\v\f\r";
    constexpr std::string_view letters = "abtnvfr";
    QByteArray shown;
    for (const uint code : name.toUcs4()) {
        const char32_t c = code;
        const std::size_t shortEscape =
            c < 0x80 ? controls.find(static_cast<char>(c)) : std::string_view::npos;
        if (c == '\\') {
            shown += "\\\\";
        } else if (shortEscape != std::string_view::npos) {
            shown += '\\';
            shown += letters[shortEscape];
        } else if (isControl(c)) {
            char escape[8];
            std::snprintf(escape, sizeof escape, c < 0x80 ? "\\x%02x" : "\\u%04x",
                          static_cast<unsigned>(c));
            shown += escape;
        } else {
            shown += QString::fromUcs4(&c, 1).toUtf8();
        }
    }
    return shown;
}

std::string whyNotWritten(int error) {
    switch (error) {
    case 0:
        return "the file took no byte";
    case ENOSPC:
        return "disk full";
    case EDQUOT:
        return "disk quota exceeded";
    case EFBIG:
        return "the file is too large";
    default:
        return std::strerror(error);
    }
}

} // namespace eventlog
