// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MainWindow.h"
#include "log/ticks.h"
#include "tests/testSupport.h"
#include "tracking/VideoImage.h"
#include "ui_MainWindow.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QGraphicsView>
#include <QGroupBox>
#include <QLCDNumber>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QStatusBar>
#include <QTimer>
#include <QtTest/QTest>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>

namespace {

SyntheticVideoSpec shortVideo(int width = 640, int height = 480, int frames = 30) {
    SyntheticVideoSpec spec;
    spec.width = width;
    spec.height = height;
    spec.frames = frames;
    return spec;
}

struct WidgetRow {
    const char* name;
    const char* className;
    const char* parent;
    QRect geometry; // null: placed by a layout
    const char* caption;
};

// The widget tree as the user sees it: class, parent, geometry and caption.
const WidgetRow widgetTree[] = {
    {"centralWidget", "QWidget", "MainWindow", {}, ""},
    {"verticalLayoutWidget", "QWidget", "centralWidget", {0, 0, 1151, 891}, ""},
    {"VideoGroupBox", "QGroupBox", "verticalLayoutWidget", {}, "Video"},
    {"mainView", "QGraphicsView", "VideoGroupBox", {10, 20, 256, 450}, ""},
    {"dataView", "QGraphicsView", "VideoGroupBox", {570, 20, 256, 192}, ""},
    {"groupBox_2", "QGroupBox", "verticalLayoutWidget", {}, "Movie Controls"},
    {"videoSlider", "QSlider", "groupBox_2", {179, 10, 951, 21}, ""},
    {"startButton", "QPushButton", "groupBox_2", {10, 10, 75, 23}, "Play"},
    {"pauseButton", "QPushButton", "groupBox_2", {90, 10, 75, 23}, "Pause"},
    {"groupBox_4", "QGroupBox", "verticalLayoutWidget", {}, "Tracking parameters"},
    {"RoiYSlider", "QSlider", "groupBox_4", {10, 140, 531, 21}, ""},
    {"RoiXSlider", "QSlider", "groupBox_4", {10, 90, 531, 21}, ""},
    {"label_3", "QLabel", "groupBox_4", {10, 120, 151, 16}, "Region of interest Y posisjon"},
    {"label_4", "QLabel", "groupBox_4", {10, 70, 151, 16}, "Region of interest X posisjon"},
    {"filterSlider", "QSlider", "groupBox_4", {10, 40, 531, 21}, ""},
    {"label_5", "QLabel", "groupBox_4", {20, 20, 141, 16}, "Filter st\u00f8rrelse"},
    {"groupBox_5", "QGroupBox", "verticalLayoutWidget", {}, "Simulator"},
    {"brennpunktXSlider", "QSlider", "groupBox_5", {10, 100, 521, 21}, ""},
    {"brennpunktYSlider", "QSlider", "groupBox_5", {10, 140, 521, 21}, ""},
    {"label", "QLabel", "groupBox_5", {10, 120, 151, 16}, "Brennpunkt Y posisjon"},
    {"label_2", "QLabel", "groupBox_5", {10, 80, 121, 16}, "Brennpunkt X posisjon"},
    {"groupBox", "QGroupBox", "groupBox_5", {360, 10, 161, 75}, "Totalt anntall skudd"},
    {"lcdSkudd", "QLCDNumber", "groupBox", {3, 12, 151, 61}, ""},
    {"brennpunktYBox", "QSpinBox", "groupBox_5", {310, 60, 42, 22}, ""},
    {"brennpunktXBox", "QSpinBox", "groupBox_5", {310, 30, 42, 22}, ""},
    {"label_6", "QLabel", "groupBox_5", {270, 10, 61, 16}, "Brennpunkt"},
    {"label_7", "QLabel", "groupBox_5", {270, 40, 46, 13}, "Bredde:"},
    {"label_8", "QLabel", "groupBox_5", {270, 70, 46, 13}, "H\u00f8yde:"},
    {"startLoggButton", "QPushButton", "groupBox_5", {20, 30, 75, 23}, "Start"},
    {"skuddPerMinBox", "QSpinBox", "groupBox_5", {180, 30, 42, 22}, ""},
    {"label_9", "QLabel", "groupBox_5", {150, 10, 71, 16}, "Skudd per min"},
    {"groupBox_3", "QGroupBox", "verticalLayoutWidget", {}, "Dynamic threshold"},
    {"histView", "QGraphicsView", "groupBox_3", {70, 20, 255, 255}, ""},
    {"thresholdSlider", "QSlider", "groupBox_3", {20, 310, 531, 21}, ""},
    {"dynThresholdOff", "QPushButton", "groupBox_3", {450, 50, 75, 23}, "Av"},
    {"dynThresholdOn", "QPushButton", "groupBox_3", {450, 20, 75, 23}, "P\u00e5"},
    {"groupBox_6", "QGroupBox", "groupBox_3", {380, 180, 161, 75}, "Threshold verdi"},
    {"lcdThreshold", "QLCDNumber", "groupBox_6", {3, 12, 151, 61}, ""},
    {"statusBar", "QStatusBar", "MainWindow", {}, ""},
};

QString captionOf(QWidget* widget) {
    if (auto* box = qobject_cast<QGroupBox*>(widget)) {
        return box->title();
    }
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        return label->text();
    }
    if (auto* button = qobject_cast<QPushButton*>(widget)) {
        return button->text();
    }
    return {};
}

class MainWindowTest : public testing::Test {
  protected:
    TemporaryWorkingDirectory directory;
    ManualClock clock;
    ScopedTickSource useClock{clock};
};

} // namespace

// A video small enough for the form's own layout.
TEST_F(MainWindowTest, TheWidgetTreeHasEveryWidgetWithItsPlaceAndCaption) {
    const QString video = writeVideo(directory.file("v.avi"), shortVideo(320, 240));
    MainWindow window(nullptr, video);
    ASSERT_TRUE(window.isReady());
    EXPECT_EQ(window.objectName(), "MainWindow");
    EXPECT_EQ(window.windowTitle(), "Tessavolant 0.6b");
    EXPECT_EQ(window.size(), QSize(1150, 918));
    EXPECT_EQ(window.minimumSize(), QSize(1150, 900));

    int checked = 0;
    for (const WidgetRow& row : widgetTree) {
        SCOPED_TRACE(row.name);
        auto* widget = window.findChild<QWidget*>(row.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_STREQ(widget->metaObject()->className(), row.className);
        ASSERT_NE(widget->parentWidget(), nullptr);
        EXPECT_EQ(widget->parentWidget()->objectName(), row.parent);
        if (!row.geometry.isNull()) {
            // The three views keep their place; their sizes follow the video.
            if (qobject_cast<QGraphicsView*>(widget)) {
                EXPECT_EQ(widget->pos(), row.geometry.topLeft());
            } else if (qobject_cast<QLabel*>(widget)) {
                // A caption keeps its row but may grow to show its whole text.
                EXPECT_EQ(widget->y(), row.geometry.y());
            } else {
                EXPECT_EQ(widget->geometry(), row.geometry);
            }
        }
        EXPECT_EQ(captionOf(widget), QString::fromUtf8(row.caption));
        ++checked;
    }
    EXPECT_EQ(checked, 39);
    for (auto* lcd : {window.ui->lcdSkudd, window.ui->lcdThreshold}) {
        EXPECT_EQ(lcd->digitCount(), 4);
        EXPECT_EQ(lcd->frameShape(), QFrame::NoFrame);
    }
    EXPECT_EQ(window.ui->filterSlider->tickPosition(), QSlider::NoTicks);
    EXPECT_FALSE(window.ui->groupBox_3->font().bold());
    EXPECT_EQ(window.ui->verticalLayout->spacing(), 6);
    EXPECT_EQ(window.ui->verticalLayout->contentsMargins(), QMargins(0, 0, 0, 0));
}

TEST_F(MainWindowTest, TheLayoutFixesTheRowHeightsAndTheWindowCannotShrink) {
    const QString video = writeVideo(directory.file("v.avi"), shortVideo(320, 240));
    MainWindow window(nullptr, video);
    window.timer->stop();
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(window.ui->VideoGroupBox->height(), 500);
    EXPECT_EQ(window.ui->groupBox_2->height(), 40);
    EXPECT_LE(window.ui->groupBox_4->height(), 200);
    window.resize(400, 300);
    EXPECT_GE(window.width(), 1150);
    EXPECT_GE(window.height(), 900);
    // A language change keeps the source captions: no translator is installed.
    QEvent change(QEvent::LanguageChange);
    QApplication::sendEvent(&window, &change);
    EXPECT_EQ(window.ui->dynThresholdOn->text(), QString::fromUtf8("P\u00e5"));
    EXPECT_EQ(window.windowTitle(), "Tessavolant 0.6b");
}

TEST_F(MainWindowTest, ConstructionSizesTheViewsAndControlsToTheVideo) {
    const QString video = writeVideo(directory.file("v.avi"), shortVideo());
    {
        MainWindow window(nullptr, video);
        ASSERT_TRUE(window.isReady());
        EXPECT_EQ(window.frameWidth, 640);
        EXPECT_EQ(window.frameHeight, 480);
        EXPECT_EQ(window.frameCount, 30);
        // On a screen wide enough for both, the views show the video unscaled.
        window.layOutVideo(QSize(1920, 1200));
        EXPECT_EQ(window.ui->mainView->size(), QSize(645, 485));
        EXPECT_EQ(window.ui->dataView->size(), QSize(645, 485));
        EXPECT_EQ(window.ui->histView->size(), QSize(260, 260));

        const auto range = [](QAbstractSlider* s) { return std::pair(s->minimum(), s->maximum()); };
        EXPECT_EQ(range(window.ui->RoiXSlider), std::pair(0, 440));
        EXPECT_EQ(range(window.ui->RoiYSlider), std::pair(0, 380));
        EXPECT_EQ(range(window.ui->brennpunktXSlider), std::pair(0, 620));
        EXPECT_EQ(range(window.ui->brennpunktYSlider), std::pair(0, 460));
        EXPECT_EQ(range(window.ui->videoSlider), std::pair(0, 30));
        EXPECT_EQ(range(window.ui->thresholdSlider), std::pair(0, 255));
        EXPECT_EQ(range(window.ui->filterSlider), std::pair(2, 20));
        EXPECT_EQ(window.ui->filterSlider->value(), 7);
        EXPECT_EQ(window.ui->RoiXSlider->value(), 200);
        EXPECT_EQ(window.ui->brennpunktYSlider->value(), 200);
        EXPECT_EQ(window.ui->brennpunktXBox->minimum(), 2);
        EXPECT_EQ(window.ui->brennpunktXBox->maximum(), 100);
        EXPECT_EQ(window.ui->brennpunktYBox->value(), 20);
        EXPECT_EQ(window.ui->skuddPerMinBox->minimum(), 40);
        EXPECT_EQ(window.ui->skuddPerMinBox->maximum(), 160);
        EXPECT_EQ(window.ui->skuddPerMinBox->value(), 100);

        EXPECT_EQ(window.msPerSkudd, 600.0f);
        EXPECT_EQ(window.dataScene->imageWidth, 640);
        EXPECT_EQ(window.histScene->imageWidth, 255);
        EXPECT_EQ(window.timer->interval(), 25);
        EXPECT_TRUE(window.timer->isActive());
        EXPECT_EQ(window.playing, 0);
        EXPECT_EQ(window.dynThresh, 1);
        EXPECT_EQ(window.brennpunktRect, cv::Rect(200, 200, 20, 20));
        EXPECT_EQ(window.frame.size(), cv::Size(640, 480));
        EXPECT_EQ(window.roiImage.size(), cv::Size(200, 100));
        EXPECT_EQ(window.histImage.size(), cv::Size(255, 255));
        // The processed view shows the first frame from the start.
        EXPECT_EQ(window.dataFrame.size(), window.frame.size());
    }
    // Start-up wrote rows 1, 2 and 4 and no shot-rate line; closing wrote row 14.
    const QList<QByteArray> lines = logLines();
    ASSERT_EQ(lines.size(), 5);
    EXPECT_TRUE(lines[0].endsWith(": Antall ms mellom hvert skudd er 600.000000 "));
    EXPECT_TRUE(lines[1].endsWith(": \xC5pnet fil  " + video.toLatin1() + " "));
    EXPECT_TRUE(lines[2].endsWith(": Initiering fullfort"));
    EXPECT_EQ(lines[3], "");
    EXPECT_TRUE(lines[4].endsWith(": Programmet avsluttet"));
}

TEST_F(MainWindowTest, TheVideoIsChosenInTheDialogAndTheFirstStampIncludesThatTime) {
    const QString video = writeVideo(directory.file("v.avi"), shortVideo());
    answerFileDialog(video, [this](QFileDialog& dialog) {
        clock.advanceMs(4321);
        EXPECT_EQ(dialog.windowTitle(), "Select AVI");
        EXPECT_EQ(dialog.nameFilters(),
                  QStringList({"AVI Files (*.avi)", "DICOM (*.dcm *.dicom *.DCM)",
                               "Image sequences, any frame (*.png *.jpg *.jpeg *.tif *.tiff "
                               "*.bmp *.PNG *.JPG *.JPEG *.TIF *.TIFF *.BMP)",
                               "All files (*)"}));
    });
    {
        MainWindow window;
        ASSERT_TRUE(window.isReady());
        EXPECT_EQ(window.chosenPath(), video);
        window.timer->stop();
        clock.advanceMs(2000);
    }
    const QList<QByteArray> lines = logLines();
    ASSERT_EQ(lines.size(), 5);
    EXPECT_TRUE(lines[0].startsWith("4.321000: "));
    EXPECT_TRUE(lines[1].startsWith("4.321000: "));
    EXPECT_TRUE(lines[4].startsWith("6.321000: "));
}

TEST_F(MainWindowTest, ACancelledDialogLogsTheFailureAndClosesTheLog) {
    // The real dialog, cancelled with Escape as a user would.
    QTimer::singleShot(0, [this] {
        clock.advanceMs(1500);
        QWidget* dialog = QApplication::activeModalWidget();
        ASSERT_NE(dialog, nullptr);
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    {
        MainWindow window;
        EXPECT_FALSE(window.isReady());
        EXPECT_TRUE(window.chosenPath().isEmpty());
        EXPECT_EQ(window.loggFile, nullptr);
    }
    EXPECT_EQ(readBytes("loggfile.txt"),
              QByteArray("1.500000: Antall ms mellom hvert skudd er 600.000000 \n"
                         "1.500000: \xC5pnet fil   \n"
                         "1.500000  kunne ikke apne fil\n"));
}

TEST_F(MainWindowTest, FilesThatAreNoVideoFailToOpen) {
    std::FILE* notVideo = std::fopen("notes.avi", "w");
    std::fputs("not a video at all", notVideo);
    std::fclose(notVideo);
    std::filesystem::create_directory("folder.avi");
    for (const char* name : {"missing.avi", "notes.avi", "folder.avi"}) {
        SCOPED_TRACE(name);
        const QString path = QString::fromStdString(directory.file(name));
        {
            MainWindow window(nullptr, path);
            EXPECT_FALSE(window.isReady());
        }
        const QList<QByteArray> lines = logLines();
        ASSERT_EQ(lines.size(), 3);
        EXPECT_TRUE(lines[1].endsWith(path.toLatin1() + " "));
        EXPECT_TRUE(lines[2].endsWith("  kunne ikke apne fil"));
    }
}

TEST_F(MainWindowTest, ANameWithNorwegianLettersOpensAndIsLoggedInLatin1) {
    const std::string name = "bl\u00e5 s\u00f8ndag.avi";
    const QString video = writeVideo(directory.file(name), shortVideo());
    {
        MainWindow window(nullptr, video);
        EXPECT_TRUE(window.isReady());
    }
    const QByteArray log = readBytes("loggfile.txt");
    EXPECT_TRUE(log.contains("bl\xE5 s\xF8ndag.avi \n"));
    EXPECT_FALSE(log.contains("\xC3"));
}

// A run without a log still runs; it says why on stderr, and in red in the
// status bar from the start until the window closes, whatever else the status
// bar shows meanwhile.
TEST_F(MainWindowTest, ARunThatIsNotLoggedSaysWhyOnStderrAndInRedInTheStatusBar) {
    const QString video = writeVideo(directory.file("v.avi"), shortVideo());
    struct Case {
        const char* what;
        std::function<void()> make;
        QString says;
        std::string warns; // on stderr
    };
    const Case cases[] = {
        {"the log's name taken by a directory",
         [] { std::filesystem::create_directory("loggfile.txt"); },
         "this run is not logged: cannot create loggfile.txt (it is a directory)",
         "warning: cannot create loggfile.txt"},
        {"a directory in the way of keeping the previous log",
         [] {
             QFile old("loggfile.txt");
             ASSERT_TRUE(old.open(QIODevice::WriteOnly));
             old.write("the previous run\n");
             std::filesystem::create_directory("loggfile.txt.1");
         },
         "this run is not logged: cannot keep the previous log loggfile.txt as loggfile.txt.1 "
         "(loggfile.txt.1 is a directory, not an old log)",
         "warning: cannot keep the previous log loggfile.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TemporaryWorkingDirectory inner;
        c.make();
        testing::internal::CaptureStderr();
        {
            MainWindow window(nullptr, video);
            ASSERT_TRUE(window.isReady());
            window.timer->stop();
            EXPECT_EQ(window.loggFile, nullptr);
            auto* problem = window.findChild<QLabel*>("logProblem");
            ASSERT_NE(problem, nullptr);
            EXPECT_EQ(problem->text(), c.says);
            window.StartButtonClicked();
            window.startLoggButtonClicked();
            window.endreSkuddFrekvens(120);
            window.statusBar()->showMessage("a passing hint");
            for (int i = 0; i < 5; ++i) {
                clock.advanceMs(25);
                window.OpenCVMeanShift();
                window.showNextStep();
            }
            EXPECT_TRUE(problem->isVisibleTo(&window));
            EXPECT_EQ(problem->text(), c.says);
        }
        const std::string errors = testing::internal::GetCapturedStderr();
        EXPECT_NE(errors.find(c.warns), std::string::npos) << errors;
    }
    // With a log there is no such label.
    MainWindow logged(nullptr, video);
    ASSERT_NE(logged.loggFile, nullptr);
    const auto* label = logged.findChild<QLabel*>("logProblem");
    EXPECT_TRUE(label == nullptr || !label->isVisibleTo(&logged));
}

// --log PATH follows the rules of the default log, and takes the path in the
// bytes that the command line gave (a Latin-1 name on a UTF-8 system).
TEST(Program, TheLogGoesWhereLogSaysUnderTheSameRules) {
    const QByteArray failedOpen = "  kunne ikke apne fil\n";
    struct Case {
        const char* what;
        std::function<void()> make;
        const char* arguments; // as a shell takes them, after the program
        int exitCode;
        QByteArray says;                           // on stderr
        std::string logged;                        // where the three lines of a failed open go
        std::map<std::string, std::string> keptAs; // other files afterwards
        QByteArray shows = {};                     // on stdout
    };
    const auto writeOld = [](const char* name) {
        QFile old(name);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("the previous run\n");
    };
    const Case cases[] = {
        {"a name", {}, "--log run.log absent.avi", 1, "cannot open the video", "run.log", {}},
        {"with =, in a folder",
         [] { std::filesystem::create_directory("sub"); },
         "--log=sub/run.log absent.avi",
         1,
         "cannot open the video",
         "sub/run.log",
         {{"sub", "directory"}}},
        {"with one dash", {}, "-log run.log absent.avi", 1, "cannot open the video", "run.log", {}},
        {"a Latin-1 name",
         {},
         "--log \"$(printf 'l\\345g.txt')\" absent.avi",
         1,
         "",
         "l\xe5g.txt",
         {}},
        {"the previous log kept",
         [&] { writeOld("run.log"); },
         "--log run.log absent.avi",
         1,
         "",
         "run.log",
         {{"run.log.1", "file the previous run\n"}}},
        {"a symbolic link",
         [&] {
             writeOld("precious.txt");
             std::filesystem::create_symlink("precious.txt", "link.log");
         },
         "--log link.log absent.avi",
         1,
         "warning: cannot create link.log in ",
         "",
         {{"precious.txt", "file the previous run\n"}, {"link.log", "link precious.txt"}}},
        {"an empty name", {}, "--log '' absent.avi", 2, "--log: the log's name is empty", "", {}},
        {"no name", {}, "--log", 2, "Missing value after '--log'", "", {}},
        {"the help", {}, "--help", 0, "", "", {}, "--log <PATH>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TemporaryWorkingDirectory directory;
        if (c.make) {
            c.make();
        }
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        program.setProcessEnvironment(environment);
        program.start("/bin/sh", {"-c", QString("exec \"$0\" ") + c.arguments, TESSAVOLANT_BINARY});
        ASSERT_TRUE(program.waitForFinished(30000));
        EXPECT_EQ(program.exitCode(), c.exitCode);
        const QByteArray errors = program.readAllStandardError();
        EXPECT_TRUE(errors.contains(c.says)) << errors.constData();
        EXPECT_TRUE(program.readAllStandardOutput().contains(c.shows));
        std::map<std::string, std::string> expected = c.keptAs;
        if (!c.logged.empty()) {
            if (c.logged.find('/') == std::string::npos) {
                expected[c.logged] = "file ";
            }
            // By its bytes: QFile would take the name for UTF-8.
            QByteArray log;
            if (std::FILE* file = std::fopen(c.logged.c_str(), "rb")) {
                char buffer[4096];
                log = QByteArray(
                    buffer, static_cast<qsizetype>(std::fread(buffer, 1, sizeof buffer, file)));
                std::fclose(file);
            }
            EXPECT_TRUE(log.startsWith("0.") && log.endsWith(failedOpen)) << log.constData();
            EXPECT_EQ(log.count('\n'), 3);
        }
        std::map<std::string, std::string> found = directorySnapshot();
        if (!c.logged.empty() && c.logged.find('/') == std::string::npos) {
            found[c.logged] = "file "; // its bytes are checked above
        }
        EXPECT_EQ(found, expected) << "no loggfile.txt, and nothing else changed";
    }
}

// Where the window cannot be shown the program says so in one line and ends
// with exit code 1, leaving the log of the previous run alone; a platform that
// needs no display still starts, and without its video it names the file,
// logs rows 1 to 3 and ends with exit code 1; an empty name is a usage error.
TEST(Program, WithoutADisplayOrAVideoOrWithAnEmptyNameItSaysSo) {
    TemporaryWorkingDirectory directory;
    ASSERT_TRUE(QFile(directory.file("loggfile.txt").c_str()).open(QIODevice::WriteOnly));
    const QString absent = directory.file("absent.avi").c_str();
    const QByteArray noDisplay = "the window needs a graphical display";
    const QByteArray noVideo = "cannot open the video \"" + absent.toLocal8Bit() + "\"";
    struct Case {
        QString platform; // QT_QPA_PLATFORM, unset if empty
        QString display;  // DISPLAY, unset if empty
        QStringList arguments;
        int exitCode;
        QByteArray says;
    };
    const Case cases[] = {
        {"", "", {absent}, 1, noDisplay},
        {"xcb", "", {absent}, 1, noDisplay},
        {"", "/nonexistent/x11:0", {absent}, 1, noDisplay},
        {"offscreen", "", {absent}, 1, noVideo},
        {"", "", {"-platform", "offscreen", absent}, 1, noVideo},
        {"offscreen", "", {""}, 2, "the video's name is empty"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE((c.platform + "|" + c.display + "|" + c.arguments.join(' ')).toStdString());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
            environment.remove(name);
        }
        if (!c.platform.isEmpty()) {
            environment.insert("QT_QPA_PLATFORM", c.platform);
        }
        if (!c.display.isEmpty()) {
            environment.insert("DISPLAY", c.display);
        }
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(TESSAVOLANT_BINARY, c.arguments);
        ASSERT_TRUE(program.waitForFinished(30000));
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), c.exitCode);
        const QByteArray errors = program.readAllStandardError();
        EXPECT_TRUE(errors.contains(c.says)) << errors.constData();
        if (c.says == noDisplay) {
            EXPECT_TRUE(errors.contains("tessavolant-replay runs without one"));
            EXPECT_EQ(errors.count('\n'), 1) << errors.constData();
            EXPECT_TRUE(readBytes("loggfile.txt").isEmpty());
        }
        if (c.says == noVideo) {
            const QList<QByteArray> lines = logLines();
            ASSERT_EQ(lines.size(), 3);
            EXPECT_TRUE(lines[2].endsWith("  kunne ikke apne fil"));
        }
    }
}
