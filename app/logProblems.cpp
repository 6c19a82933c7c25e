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
    auto* problem = new QLabel(&window);
    problem->setObjectName("logProblem");
    problem->setStyleSheet("color: #b00000; font-weight: bold");
    problem->hide();
    window.statusBar()->addPermanentWidget(problem);

    auto* retry = new QTimer(&window);
    retry->setInterval(1000);
    QObject::connect(retry, &QTimer::timeout, &window, [&window, retry] {
        if (!window.loggFile || window.loggFile->retry()) {
            retry->stop();
        }
    });

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
