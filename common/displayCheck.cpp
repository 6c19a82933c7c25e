// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/displayCheck.h"

#include <QList>
#include <QString>
#include <QtGlobal>
#include <cstring>

namespace {

const char* const whatToDo = "tessavolant-replay runs without one";

bool needsDisplayServer(const QByteArray& platform) {
    return platform.isEmpty() || platform == "xcb" || platform.startsWith("wayland");
}

// The platform that the -platform option asks for, or QT_QPA_PLATFORM's.
QByteArray requestedPlatforms(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (!std::strcmp(argv[i], "-platform") || !std::strcmp(argv[i], "--platform")) {
            return argv[i + 1];
        }
    }
    return qgetenv("QT_QPA_PLATFORM");
}

struct HeldMessage {
    QtMsgType type;
    QByteArray category;
    QString text;
};

QtMessageHandler previousHandler = nullptr;
QList<HeldMessage> heldMessages;
std::function<void(const std::string&)> displayFailed;

// Qt says why it could not connect (as "could not connect to display :1")
// in a warning of its platform plugins before it gives up.
QByteArray reasonGivenByQt() {
    for (const HeldMessage& message : heldMessages) {
        if (message.category.startsWith("qt.qpa")) {
            return message.text.toLocal8Bit();
        }
    }
    return "Qt could not initialise its platform plugin";
}

void holdOrEnd(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg && text.contains("Qt platform plugin") && displayFailed) {
        displayFailed("the window needs a graphical display and cannot use one (" +
                      reasonGivenByQt().toStdString() + "); " + whatToDo);
    }
    if (type == QtFatalMsg) {
        previousHandler(type, context, text);
        return;
    }
    heldMessages.append({type, context.category, text});
}

} // namespace

bool lacksGraphicalDisplay(const QByteArray& platforms, const QByteArray& display,
                           const QByteArray& waylandDisplay) {
    if (!display.isEmpty() || !waylandDisplay.isEmpty()) {
        return false;
    }
    for (const QByteArray& entry : platforms.split(';')) {
        if (!needsDisplayServer(entry.split(':').first().trimmed())) {
            return false;
        }
    }
    return true;
}

Refusable<> checkGraphicalDisplay(int argc, char** argv) {
    if (lacksGraphicalDisplay(requestedPlatforms(argc, argv), qgetenv("DISPLAY"),
                              qgetenv("WAYLAND_DISPLAY"))) {
        return Refusal{QStringLiteral("the window needs a graphical display, and neither DISPLAY "
                                      "nor WAYLAND_DISPLAY names one; ") +
                       QLatin1String(whatToDo)};
    }
    return {};
}

void catchDisplayFailure(std::function<void(const std::string& why)> giveUp) {
    displayFailed = std::move(giveUp);
    previousHandler = qInstallMessageHandler(holdOrEnd);
}

void graphicalDisplayFound() {
    qInstallMessageHandler(previousHandler);
    displayFailed = nullptr;
    for (const HeldMessage& message : heldMessages) {
        const QMessageLogContext context(nullptr, 0, nullptr, message.category.constData());
        previousHandler(message.type, context, message.text);
    }
    heldMessages.clear();
}
