// SPDX-License-Identifier: GPL-3.0-or-later
#include "log/eventLog.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>

// Widget tests need an application object; without a display they run on
// Qt's offscreen platform. The log's problems reach stderr as in the window.
int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    eventlog::setProblemReporter([](const std::string& message) {
        std::fprintf(stderr, "tessavolant: %s\n", message.c_str());
    });
    QApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
