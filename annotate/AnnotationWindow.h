// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "annotate/annotation.h"
#include "annotate/annotationEdit.h"
#include "annotate/recording.h"

#include <QGraphicsScene>
#include <QImage>
#include <QMainWindow>
#include <QMessageBox>
#include <QPixmap>
#include <QTimer>
#include <QUndoStack>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class AnnotationOverlay;
class QGraphicsPixmapItem;
class QGraphicsView;
class QLabel;

// The picture's scene: image pixels, the picture's corner at the origin. The
// left button's press, drag and release go to the window.
class PictureScene : public QGraphicsScene {
  public:
    std::function<void(QPointF)> pressed;
    std::function<void(QPointF)> dragged;
    std::function<void(QPointF)> released;

  protected:
    void mousePressEvent(QGraphicsSceneMouseEvent* event) override;
    // Two clicks in quick succession (one frame, a key, the next) are two
    // presses, not a double click.
    void mouseDoubleClickEvent(QGraphicsSceneMouseEvent* event) override { mousePressEvent(event); }
    void mouseMoveEvent(QGraphicsSceneMouseEvent* event) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent* event) override;
};

// The annotation program's window: one frame of the recording at a time, the
// marks drawn over it, and the keys and the mouse to go through the frames and
// mark them. The truth file is written only on Ctrl+S (or when the user says
// so on closing), atomically.
class AnnotationWindow : public QMainWindow {
    Q_OBJECT

  public:
    struct TruthFile {
        QByteArray name;        // in its own bytes
        Annotation start;       // what the annotation starts from
        bool startSaved = true; // the start is what the file holds
        QString note;           // shown in the status bar at first
    };

    // What the window asks or tells the user in a dialog; a test answers
    // instead of a user.
    struct Dialogs {
        // Closing with unsaved work: Save, Discard or Cancel.
        std::function<QMessageBox::StandardButton(QWidget*, const QString&)> askToSave;
        std::function<void(QWidget*, const QString&)> tellProblem;
    };

    // `focal`: the focal marker in image pixels; `screenArea`: the free area of
    // the screen, which the window must fit.
    AnnotationWindow(Recording recording, TruthFile truth, QRect focal, QSize screenArea,
                     QWidget* parent = nullptr);
    ~AnnotationWindow() override;

    void setDialogs(Dialogs replacement) { dialogs = std::move(replacement); }

    std::int64_t currentFrame() const { return shownFrame; }
    std::int64_t lastFrame() const { return recording.frameCount - 1; }
    const Annotation& annotation() const { return marks; }
    bool isModified() const;
    double pictureScale() const { return scale; }
    QGraphicsView* pictureView() const { return view; }
    // The status bar's lines, for the tests.
    QString statusText() const;
    bool isPlaying() const { return playTimer.isActive(); }
    const QTimer& playbackTimer() const { return playTimer; }

    // Shows frame `frame` (kept within the recording); false, with the
    // previous picture left, if it cannot be read.
    bool goToFrame(std::int64_t frame);
    // Writes the truth file; false, with the user told why, if it could not.
    bool save();
    // One step of playback: shows the frame that the recording's frame rate
    // has reached since Space, by the tick source's clock.
    void playStep();
    // Where a signal or a lost display ends the program: the unsaved work is
    // written next to the truth file (never over a file), under the name that
    // comes back; none when nothing was unsaved or it could not be written
    // (said on stderr).
    std::optional<QString> keepUnsavedWork();
    // A signal ends the program: unsaved work is kept, nothing is asked.
    void endBySignal(int signalNumber);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void setUpView(QSize screenArea);
    void setUpKeys();
    void setUpStatusBar();
    bool showFrame(std::int64_t frame);
    void refresh();
    void step(std::int64_t frames);
    void togglePlaying();
    void edit(AnnotationEdit::Layer layer, AnnotationEdit::Entry after, const QString& text);
    void removeKeyframe();
    void toggleOutOfPlane();
    void toggleInFocus();
    void press(QPointF scenePos);
    void drag(QPointF scenePos);
    void release(QPointF scenePos);
    // Ends a drag in progress with its one edit.
    void finishDrag();
    // The marks as the window shows them: with a drag in progress, the
    // dragged keyframe where the mouse has it.
    const Annotation& shownMarks() const;
    QString frameStateText() const;
    QString truthShown() const;

    Recording recording;
    TruthFile truth;
    QRect focal;
    Annotation marks;
    QUndoStack history;
    bool everSaved = false;
    Dialogs dialogs;
    bool ending = false;

    PictureScene* scene = nullptr;
    QGraphicsView* view = nullptr;
    QGraphicsPixmapItem* pictureItem = nullptr;
    AnnotationOverlay* overlay = nullptr;
    double scale = 1.0;
    std::unique_ptr<uchar[]> pictureBuffer;
    QImage pictureImage;
    QPixmap picture;
    cv::Mat frame;
    std::int64_t shownFrame = 0;

    QLabel* stateLine = nullptr;
    QLabel* noteLine = nullptr;
    QLabel* keysLines = nullptr;
    QString note;

    QTimer playTimer;
    std::int64_t playStartTick = 0;
    std::int64_t playStartFrame = 0;

    // A press on the picture: the keyframe's entry before it, where the
    // grabbed mark sits relative to the pointer, and where it is now.
    struct Drag {
        AnnotationEdit::Entry before;
        QPointF offset;
        QPointF placed;
    };
    std::optional<Drag> dragging;
    Annotation dragPreview; // the marks with the drag's keyframe, while it lasts
};
