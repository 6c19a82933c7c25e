// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MainWindow.h"
#include "log/eventLog.h"

#include <QLabel>
#include <QStatusBar>
#include <QTimer>

void MainWindow::showLogProblems(const std::string& notLogged) {
    MainWindow& window = *this;
    if (!window.loggFile && notLogged.empty()) {
        return;
    }
    // Made once per window; a later call (a log opened anew) reuses them.
    auto* problem = window.findChild<QLabel*>("logProblem");
    auto* retry = window.findChild<QTimer*>("logRetry");
    if (!problem) {
        problem = new QLabel(&window);
        problem->setObjectName("logProblem");
        problem->setStyleSheet("color: #b00000; font-weight: bold");
        // A long path must not widen the window: the label may be cut, and its
        // tool tip holds the whole text.
        problem->setMinimumWidth(1);
        problem->hide();
        window.statusBar()->addPermanentWidget(problem);
        retry = new QTimer(&window);
        retry->setObjectName("logRetry");
        retry->setInterval(1000);
        QObject::connect(retry, &QTimer::timeout, &window, [&window, retry] {
            if (!window.loggFile || window.loggFile->retry()) {
                retry->stop();
            }
        });
    }
    const auto show = [problem](const QString& text) {
        problem->setText(text);
        problem->setToolTip(text);
        problem->show();
    };
    if (!window.loggFile) {
        show("this run is not logged: " + QString::fromStdString(notLogged));
        return;
    }
    window.loggFile->setReport(
        [&window, problem, retry, show](bool failing, const std::string& message) {
            if (failing) {
                show(QString::fromStdString(message));
                retry->start();
            } else {
                problem->hide();
                retry->stop();
                window.statusBar()->showMessage(QString::fromStdString(message), 10000);
            }
        });
}
