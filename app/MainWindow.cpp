// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MainWindow.h"

#include "app/captions.h"
#include "common/defaults.h"
#include "common/terminationSignals.h"
#include "log/eventLog.h"
#include "log/ticks.h"
#include "simulation/aimPrediction.h"
#include "simulation/shotClock.h"
#include "tracking/VideoImage.h"
#include "tracking/regionAnalysis.h"
#include "tracking/videoOpening.h"
#include "ui_MainWindow.h"

#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGraphicsPixmapItem>
#include <QLabel>
#include <QScreen>
#include <QTimer>

namespace {

QString askForVideo() {
    return QFileDialog::getOpenFileName(
        nullptr, QObject::tr("Select AVI"), QString(),
        QObject::tr("AVI Files (*.avi);;DICOM (*.dcm *.dicom *.DCM);;"
                    "Image sequences, any frame (*.png *.jpg *.jpeg *.tif *.tiff *.bmp *.PNG "
                    "*.JPG *.JPEG *.TIF *.TIFF *.BMP);;All files (*)"));
}

} // namespace

MainWindow::MainWindow(QWidget* parent, std::optional<VideoFileName> chosenVideo,
                       const FileName& logPath)
    : QMainWindow(parent), ui(std::make_unique<Ui::MainWindow>()) {
    ui->setupUi(this);
    nextStepLabel = new QLabel(ui->statusBar);
    // A long hint is cut at the window's edge rather than widening the window.
    nextStepLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    ui->statusBar->addWidget(nextStepLabel, 1);

    roiWidth = defaults::roiWidth;
    roiHeight = defaults::roiHeight;
    roiX = defaults::roiX;
    roiY = defaults::roiY;
    threshold = defaults::threshold;
    filterSize = defaults::filterSize;
    playing = 0;
    dynThresh = defaults::dynThresh;
    brennpunktX = defaults::brennpunktX;
    brennpunktY = defaults::brennpunktY;
    initialBrennpunktHeight = defaults::brennpunktHeight;
    initialBrennpunktWidth = defaults::brennpunktWidth;
    histSize = histogramBins;
    skuddPerMin = defaults::skuddPerMin;
    msPerSkudd = 0;
    trackingStarted = 0;
    antallSkudd = 0;
    logTime = 0;
    loggStarted = 0;

    startTick = currentTick();
    eventlog::Opening log = eventlog::open(logPath.bytes.toStdString());
    if (log.outcome == eventlog::Opening::Outcome::HeldByAnotherProcess) {
        logRefused = true;
        return;
    }
    loggFile = std::move(log.log);
    showLogProblems(log.problem);
    lastSkuddTick = currentTick();
    brennpunktRect =
        cv::Rect(brennpunktX, brennpunktY, initialBrennpunktWidth, initialBrennpunktHeight);

    const auto logChosenVideo = [this] {
        msPerSkudd = shotPeriodMs(skuddPerMin);
        eventlog::writeShotPeriod(loggFile.get(), stampLogTime(), msPerSkudd);
        utAvPlanTick = currentTick();
        eventlog::writeOpenedFile(loggFile.get(), stampLogTime(), videoPath);
    };
    const auto logOpenFailed = [this] {
        eventlog::writeOpenFailed(loggFile.get(), stampLogTime());
        eventlog::close(loggFile);
    };
    if (chosenVideo) {
        videoFileName = chosenVideo->bytes;
    } else {
        // Qt's X11 plugin ends the process with exit(1), past every destructor,
        // when the display is lost while the dialog is open: the log then ends
        // as a cancelled dialog ends it. (main installs its own exit hook only
        // once the window is built.)
        const RunAtExit displayLostInDialog([&] {
            videoPath.clear();
            logChosenVideo();
            logOpenFailed();
        });
        videoFileName = QFile::encodeName(askForVideo());
    }
    videoPath = QFile::decodeName(videoFileName);
    logChosenVideo();

    // The first frame is read before playing starts; the source goes on
    // from the second.
    Refusable<OpenedRecording> opened = openRecordingFile(videoFileName, FrameCounting::HeaderOnly);
    if (!opened) {
        videoRefusalReason = opened.refusal().message;
        logOpenFailed();
        return;
    }
    OpenedRecording& recording = *opened;
    videoWarnings = recording.video.warnings;
    decodedFrame = std::move(recording.firstFrame);
    acceptDecodedFrame();
    capture.start(std::move(recording.video.reader), recording.video.headerFrameCount,
                  recording.video.headerFrameSize);
    frameCount = capture.headerFrameCount();
    frameHeight = capture.headerFrameSize().height;
    frameWidth = capture.headerFrameSize().width;

    // Replaced at once by the processed first frame (previewProcessedFrame).
    dataFrame = cv::Mat(frame.size(), CV_8UC3, cv::Scalar::all(0));
    roiImage = cv::Mat(roiHeight, roiWidth, CV_8UC3, cv::Scalar::all(0));
    histImage = cv::Mat(histogramBins, histogramBins, CV_8UC1, cv::Scalar::all(0));
    roiPlane = cv::Mat(roiHeight, roiWidth, CV_8UC1, cv::Scalar::all(0));
    dataPlane = cv::Mat(frame.size(), CV_8UC1, cv::Scalar::all(0));
    hist = cv::Mat(histSize, 1, CV_32F, cv::Scalar::all(0));

    histMax = 0;
    brennpunktDrawn = 0;
    inPlane = 0;
    inSkuddIntervall = 0;
    inBrennpunkt = 0;

    // The rubber bands are children of the window, so each scene needs its
    // view's corner in window coordinates; the layouts place the group boxes.
    ui->verticalLayout->activate();
    const auto cornerOf = [this](QWidget* view) { return view->mapTo(this, QPoint(0, 0)); };
    mainScene = new VideoImage(frameWidth, frameHeight, cornerOf(ui->mainView), this);
    dataScene = new VideoImage(frameWidth, frameHeight, cornerOf(ui->dataView), this);
    histScene = new VideoImage(histImage.cols, histImage.rows, cornerOf(ui->histView), this);
    ui->mainView->setScene(mainScene);
    ui->dataView->setScene(dataScene);
    ui->histView->setScene(histScene);
    ui->histView->setFixedHeight(histImage.rows + 5);
    ui->histView->setFixedWidth(histImage.cols + 5);
    mainViewItem = new QGraphicsPixmapItem();
    dataViewItem = new QGraphicsPixmapItem();
    histViewItem = new QGraphicsPixmapItem();
    mainScene->addItem(mainViewItem);
    dataScene->addItem(dataViewItem);
    histScene->addItem(histViewItem);
    layOutVideo(screen() ? screen()->availableSize() : QSize());
    setUpMarking();
    previewProcessedFrame();

    timer = std::make_unique<QTimer>();
    timer->setInterval(defaults::tickMs);
    connect(timer.get(), &QTimer::timeout, this, &MainWindow::OpenCVMeanShift);
    connect(timer.get(), &QTimer::timeout, this, &MainWindow::showNextStep);
    timer->start();

    setUpControls();
    // Once the spin boxes have their ranges: they are widened to their widest value.
    fitCaptionsToText(ui->centralWidget);

    eventlog::writeInitialised(loggFile.get(), stampLogTime());
    ready = true;
}

// The run ends (summary, video released, last line, log closed) before the
// form holder goes, and both before the images and the window's children.
MainWindow::~MainWindow() {
    endRun();
    ui.reset();
}

std::size_t MainWindow::endRun() {
    if (runEnded || logRefused) {
        return 0;
    }
    runEnded = true;
    if (loggFile) {
        // From here on the window may be going away: problems go to the
        // program's reporter only.
        loggFile->setReport({});
    }
    if (trackingStarted == 1) {
        writeSummary();
    }
    capture.release();
    eventlog::writeProgramEnded(loggFile.get(), stampLogTime());
    return eventlog::close(loggFile);
}

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
    }
}
