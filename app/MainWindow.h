// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/defaults.h"
#include "common/videoFileCheck.h"
#include "tracking/VideoSource.h"
#include "tracking/meanShift.h"
#include "tracking/regionAnalysis.h"
#include "tracking/regionTrackers.h"

#include <QImage>
#include <QMainWindow>
#include <QPixmap>
#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <opencv2/core.hpp>
#include <optional>
#include <vector>

namespace Ui {
class MainWindow;
}
class QAction;
class QEvent;
class QGraphicsRectItem;
class QGraphicsPixmapItem;
class QLabel;
class QTimer;
class VideoImage;
class AimPredictor;
namespace eventlog {
class EventLog;
}

// The one window of the program. It holds the whole state of a treatment run as
// plain members: the video, the working images, the tracking result, the
// simulated lithotripter and the event log. Its member functions are defined
// beside the subsystem they belong to (app/, tracking/, simulation/, log/).
class MainWindow : public QMainWindow {
    Q_OBJECT

  public:
    // Asks for the video in a file dialog, unless `videoPath` is given: a path
    // opens that file as if it had been chosen, an empty string stands for a
    // cancelled dialog. The event log is written to `logPath` (its bytes),
    // after the previous log there is kept (eventlog::open).
    explicit MainWindow(QWidget* parent = nullptr,
                        std::optional<VideoFileName> videoPath = std::nullopt,
                        const FileName& logPath = QString::fromLatin1(defaults::logFileName));
    ~MainWindow() override;

    // False when the video could not be opened or its first frame not read; the
    // window is then unusable and the program should end.
    bool isReady() const { return ready; }
    // The path that was chosen (empty after a cancelled dialog).
    const QString& chosenPath() const { return videoPath; }
    // True when another process holds the lock on the log: nothing was
    // written or asked, the window is not ready, and the program should end.
    bool logHeldElsewhere() const { return logRefused; }

    // Ends the run once: the summary if tracking started, releasing the video,
    // the last line, closing the log. The destructor calls it; so may the
    // program before that, to learn the number of log lines that could not be
    // written (returned; 0 on later calls).
    std::size_t endRun();
    // The same in the file system's own bytes.
    const QByteArray& chosenFileName() const { return videoFileName; }
    // A run that nobody watches (the replay) leaves the three views as they
    // are: converting and painting them is most of a tick's own work.
    void stopDrawingViews() { viewsDrawn = false; }
    // Why the chosen video could not be opened, for the user; empty otherwise.
    const QString& openRefusal() const { return videoRefusalReason; }
    // What the user should know about the video that did not stop it (gaps in
    // the numbering of an image sequence).
    const QStringList& openWarnings() const { return videoWarnings; }

  signals:
    void updateVideoSlider(int pos);
    void updateThresholdSlider(int pos);
    void updateSkuddLcd(int verdi);

  public slots:
    void OpenCVMeanShift();
    void StartButtonClicked();
    void StopButtonClicked();
    void startLoggButtonClicked();
    void dynThreshOnClicked();
    void dynThreshOffClicked();
    void moveVideoSlider(int pos);
    void moveThresholdSlider(int pos);
    void moveBrennpunktXSlider(int pos);
    void moveBrennpunktYSlider(int pos);
    void moveRoiXSlider(int pos);
    void moveRoiYSlider(int pos);
    void moveFilterSlider(int pos);
    void endreBrennpunktXBox(int verdi);
    void endreBrennpunktYbox(int verdi);
    void endreSkuddFrekvens(int verdi);

  protected:
    void changeEvent(QEvent* event) override;

  public:
    // Treatment step of every tracking tick: plane state, shot intervals, hits.
    void updatePlaneAndIntervals();
    // Counts a hit if a whole shot period has passed since the previous one.
    void registrerTreff();

    void showMainView(const cv::Mat& image);
    void showDataView(const cv::Mat& image);
    void showHistView(const cv::Mat& image);
    // The rest of a playing tick once the next frame has been read into `frame`
    // (region processing, tracking, treatment step, overlays, views). Public so
    // that a benchmark can time it apart from decoding; the frame cycle is its
    // only caller in the program.
    void processFrame();
    // Sizes and places the video views, their group and the window for a
    // screen whose free area is `screenArea` (videoLayoutFor); the constructor
    // does so for the window's screen.
    void layOutVideo(QSize screenArea);
    // Puts the next step, or how far playback is, into the status bar; runs
    // after every tick of the frame clock.
    void showNextStep();
    // Shows in the status bar, for as long as it lasts, that the log cannot be
    // written, and retries the held-back lines every second meanwhile. Where
    // the window has no log, `notLogged` (why it could not be opened, if that
    // is known) stands there in the same red until the window closes. The
    // label sits apart from the status bar's passing messages, so that a hint
    // cannot hide it.
    void showLogProblems(const std::string& notLogged = {});
    // The rectangle marked and waiting for a playing tick, or the one being
    // tracked; empty while nothing is marked.
    QRect currentMark() const;
    // The region of interest as the frame cycle processes it.
    QRect processedRegion() const;
    // Moves the region of interest (and its two sliders) so that it is
    // centred on the current mark, as far as the sliders reach.
    void moveRegionOntoMark();

    // The state of the run, in the order of the data model.
    std::unique_ptr<Ui::MainWindow> ui;
    VideoSource capture;
    int roiWidth = 0;
    int roiHeight = 0;
    int roiX = 0;
    int roiY = 0;
    int threshold = 0;
    int dynThresh = 0;
    int filterSize = 0;
    int playing = 0;
    // Frames of the video: what its header says, or what playback has found
    // where the header says nothing or too much (an unfinished recording).
    std::int64_t frameCount = 0;
    cv::Mat frame;
    cv::Mat dataFrame;
    cv::Mat roiImage;
    cv::Mat roiPlane;
    cv::Mat dataPlane;
    cv::Mat histImage;
    int histTotal = 0;
    int histLowPart = 0;
    int histHighPart = 0;
    int histFromTop = 0;
    float histMax = 0;
    int brennpunktDrawn = 0;
    int inPlane = 0;
    int inSkuddIntervall = 0;
    int inBrennpunkt = 0;
    cv::Rect trackWindow;
    ConnectedComp trackComp;
    cv::Rect brennpunktRect;
    int brennpunktX = 0;
    int brennpunktY = 0;
    int initialBrennpunktHeight = 0;
    int initialBrennpunktWidth = 0;
    int trackCenterX = 0;
    int trackCenterY = 0;
    // The centre that the hit test weighs: the tracked centre, unless a
    // predictor guesses where the stone is when the shot arrives.
    double aimX = 0.0;
    double aimY = 0.0;
    // How far inside every edge of the focal area the aim must lie for a hit.
    double gateMarginPx = 0.0;
    // None in the window: it aims at the tracked centre.
    std::unique_ptr<AimPredictor> aimPredictor;
    // None in the window: it tracks with mean shift. A replay may have another
    // tracker follow the marked region instead; it starts on the frame on
    // which the region is taken over, and the treatment step gets its box.
    std::unique_ptr<RegionTracker> regionTracker;
    // Set when regionTracker could not start on the marked region: playback
    // stops there.
    bool regionTrackerRefused = false;
    // How sure the tracker is on this tick that it holds the stone (0..1);
    // mean shift is sure while its window holds stone pixels. A tick below
    // lostBelow counts as out of the plane.
    double trackConfidence = 0.0;
    double lostBelow = 0.5;
    // Set by a replay: on the tick that takes the marked region over, the
    // manual threshold is set to the level that tells the marked object from
    // the rest of the processed region (levelSeparatingMark).
    bool chooseLevelFromMark = false;
    int histSize = 0;
    cv::Mat hist;
    std::int64_t logTick = 0;
    std::int64_t startTick = 0;
    std::int64_t lastSkuddTick = 0;
    std::int64_t trackingStartTick = 0;
    std::int64_t utAvPlanTick = 0;
    int skuddPerMin = 0;
    float msPerSkudd = 0;
    int trackingStarted = 0;
    int antallSkudd = 0;
    float logTime = 0;
    int frameWidth = 0;
    int frameHeight = 0;
    int loggStarted = 0;
    std::unique_ptr<uchar[]> mainViewBuffer;
    std::unique_ptr<uchar[]> dataViewBuffer;
    std::unique_ptr<uchar[]> histViewBuffer;
    QImage mainViewImage;
    QImage dataViewImage;
    QImage histViewImage;
    QPixmap mainViewPixmap;
    QPixmap dataViewPixmap;
    QPixmap histViewPixmap;
    // Set when `frame` or `dataFrame` holds a picture that the views do not show
    // yet; the views are converted and repainted only then.
    bool viewsOutOfDate = true;
    bool viewsDrawn = true;
    // Set while `frame` is the picture as decoded, before a playing tick has
    // drawn its rectangles on it.
    bool frameUndrawn = false;
    // What the processed view was last made from while paused.
    struct PreviewSettings {
        cv::Rect region;
        int filterSize = 0;
        int threshold = 0;
        int dynThresh = 0;
        bool operator==(const PreviewSettings&) const = default;
    };
    std::optional<PreviewSettings> previewShown;
    QGraphicsPixmapItem* mainViewItem = nullptr;
    QGraphicsPixmapItem* dataViewItem = nullptr;
    QGraphicsPixmapItem* histViewItem = nullptr;
    VideoImage* mainScene = nullptr;
    VideoImage* dataScene = nullptr;
    VideoImage* histScene = nullptr;
    std::unique_ptr<QTimer> timer;
    std::unique_ptr<eventlog::EventLog> loggFile; // null when there is no log
    // The status bar's permanent text; an urgent message shown on the status
    // bar covers it while it stands.
    QLabel* nextStepLabel = nullptr;
    // "Move the processed region onto the mark": the processed view's context
    // menu and the key R.
    QAction* moveRegionAction = nullptr;
    // The rectangle marked while paused, outlined on both video views.
    std::vector<QGraphicsRectItem*> markOutlines;

    // Where each decoded frame lands before it is accepted: a failed read clears
    // its target, and `frame` must keep the last good image.
    cv::Mat decodedFrame;

  private:
    // Sets logTick and logTime for a new log line and returns its time stamp.
    double stampLogTime();
    enum class FrameRead { Accepted, NoFrame, Mismatched };
    // Reads the next frame into `frame`, unless the read yields no image or one
    // of another size or type than the first frame; `frame` is then untouched.
    FrameRead readFrameFromCapture();
    // Takes `decodedFrame` as the new `frame` if it fits the working images.
    FrameRead acceptDecodedFrame();
    // Shows the frame that a seek of the video slider has read, once it is there.
    void takeSoughtFrame();
    // The end of the stream came where the header gave no frame count (an
    // unfinished recording): from now on playback wraps where the frames end.
    void learnFrameCount(std::int64_t framesFound);
    // The slider's range and the wrap of playback follow frameCount.
    void applyFrameCount();
    // Reads the next frame, skipping frames the decoder cannot make.
    FrameRead readPastDamage();
    void refreshVideoViews();
    ThresholdWalk analyseRegion(const cv::Rect& roi);
    cv::Mat blurRegion(const cv::Rect& roi);
    void composeDataFrame(const cv::Rect& roi, int level);
    // Shows the processed frame while paused; see frameCycle.cpp.
    void previewProcessedFrame();
    // The region of interest actually processed: the configured one, moved and
    // if need be cut so that it lies inside the frame.
    cv::Rect regionOfInterest() const;
    void trackMarkedRegion();
    // Sets trackComp and trackConfidence from regionTracker.
    void followWithRegionTracker(bool justMarked);
    // Outlines the focal area on `frame`: red as a rule, green on a hit.
    void drawFocalArea(const cv::Scalar& colour);
    // Sets aimX and aimY for the treatment step of this tick.
    void aimAtArrival();
    void writeSummary();
    void setUpControls();
    void setUpMarking();
    // Outlines a mark that waits for a playing tick on both views.
    void showWaitingMark();

    QString videoPath;
    QByteArray videoFileName;
    QString videoRefusalReason;
    QStringList videoWarnings;
    bool ready = false;
    bool logRefused = false;
    bool runEnded = false;
};
