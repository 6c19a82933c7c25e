#include "app/logProblems.h"

#include "app/MainWindow.h"
#include "log/eventLog.h"

#include <QLabel>
#include <QStatusBar>
#include <QTimer>

void showLogProblems(MainWindow& window) {
    if (!window.loggFile) {
        return;
    }
    // Made once per window; a later call (a log opened anew) reuses them.
    auto* problem = window.findChild<QLabel*>("logProblem");
    auto* retry = window.findChild<QTimer*>("logRetry");
    if (!problem) {
        problem = new QLabel(&window);
        problem->setObjectName("logProblem");
        problem->setStyleSheet("color: #b00000; font-weight: bold");
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
    window.loggFile->setReport([&window, problem, retry](bool failing, const std::string& message) {
        if (failing) {
            problem->setText(QString::fromStdString(message));
            problem->show();
            retry->start();
        } else {
            problem->hide();
            retry->stop();
            window.statusBar()->showMessage(QString::fromStdString(message), 10000);
        }
    });
}
