// SPDX-License-Identifier: GPL-3.0-or-later
#include "annotate/AnnotationWindow.h"

#include "annotate/annotationOverlay.h"
#include "annotate/pictureGeometry.h"
#include "common/outputFiles.h"
#include "log/ticks.h"
#include "tracking/viewRendering.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QGraphicsPixmapItem>
#include <QGraphicsSceneMouseEvent>
#include <QGraphicsView>
#include <QLabel>
#include <QStatusBar>
#include <QVBoxLayout>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>

namespace {

// Frames read and dropped rather than sought when the frame asked for lies a
// little ahead: decoding a few is quicker than a seek, and playback that
// falls behind catches up that way.
constexpr std::int64_t readAheadLimit = 10;

// Room that the status bar and the window's frame take from the screen.
constexpr QSize chrome(24, 170);

const char keysText[] = "Right/Left: one frame · Page Down/Up: ten · Home/End · Space: play/pause\n"
                        "Click: the stone's centre (a keyframe; drag its ring to move it) · "
                        "Delete: remove it\n"
                        "O: out of plane up to the next keyframe · F: in focus · Ctrl+Z: undo · "
                        "Ctrl+Shift+Z: redo · Ctrl+S: save";

QString point(QPointF at) {
    return QStringLiteral("%1, %2").arg(at.x(), 0, 'f', 1).arg(at.y(), 0, 'f', 1);
}

QMessageBox::StandardButton askWithBox(QWidget* parent, const QString& question) {
    return QMessageBox::question(parent, QStringLiteral("Unsaved annotation"), question,
                                 QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel,
                                 QMessageBox::Save);
}

void tellWithBox(QWidget* parent, const QString& problem) {
    QMessageBox::warning(parent, QStringLiteral("Not saved"), problem);
}

// The truth file's name with "-unsaved" (and a number, where that is taken)
// before ".csv": a name that no file has yet.
QString freeNameBeside(const QString& truthName) {
    const QString stem =
        truthName.endsWith(QLatin1String(".csv")) ? truthName.chopped(4) : truthName;
    for (int number = 1; number < 1000; ++number) {
        const QString candidate = number == 1
                                      ? stem + QStringLiteral("-unsaved.csv")
                                      : stem + QStringLiteral("-unsaved-%1.csv").arg(number);
        if (!QFileInfo::exists(candidate)) {
            return candidate;
        }
    }
    return {};
}

// The file that a save replaces: the one a symbolic link of that name points
// to, so that the link stays a link, else the name itself.
QByteArray fileBehind(const QByteArray& name) {
    struct stat status {};
    if (::lstat(name.constData(), &status) == 0 && S_ISLNK(status.st_mode)) {
        if (char* resolved = ::realpath(name.constData(), nullptr)) {
            const QByteArray target(resolved);
            std::free(resolved);
            return target;
        }
    }
    return name;
}

// The bytes into a new file that replaces `name` only once the disk holds
// every one of them (written, synced and its size read back): a full disk
// leaves the old file as it was. Refused with the system's reason where it
// could not.
Refusable<> writeVerified(const QString& name, const QByteArray& bytes) {
    return replaceFile(fileBehind(QFile::encodeName(name)), bytes);
}

} // namespace

void PictureScene::mousePressEvent(QGraphicsSceneMouseEvent* event) {
    if (event->button() == Qt::LeftButton && pressed) {
        pressed(event->scenePos());
    }
}

void PictureScene::mouseMoveEvent(QGraphicsSceneMouseEvent* event) {
    if ((event->buttons() & Qt::LeftButton) && dragged) {
        dragged(event->scenePos());
    }
}

void PictureScene::mouseReleaseEvent(QGraphicsSceneMouseEvent* event) {
    if (event->button() == Qt::LeftButton && released) {
        released(event->scenePos());
    }
}

AnnotationWindow::AnnotationWindow(Recording recordingToShow, TruthFile truthFile, QRect focalArea,
                                   QSize screenArea, QWidget* parent)
    : QMainWindow(parent), recording(std::move(recordingToShow)), truth(std::move(truthFile)),
      focal(focalArea), marks(truth.start),
      everSaved(truth.startSaved), dialogs{askWithBox, tellWithBox}, note(truth.note) {
    setUpView(screenArea);
    setUpStatusBar();
    setUpKeys();
    connect(&history, &QUndoStack::cleanChanged, this, [this] { refresh(); });
    playTimer.setTimerType(Qt::PreciseTimer);
    playTimer.setInterval(std::max(1, static_cast<int>(std::lround(recording.timing.frameTimeMs))));
    connect(&playTimer, &QTimer::timeout, this, &AnnotationWindow::playStep);

    frame = recording.firstFrame;
    shownFrame = 0;
    convertToRgb32(frame, pictureBuffer, pictureImage);
    picture = QPixmap::fromImage(pictureImage);
    pictureItem->setPixmap(picture);
    refresh();
    adjustSize();
    // The status bar does not widen the window by itself: on a narrow picture
    // (an echo loop of 320 px) its lines and the key help would be cut off.
    // The window grows by what the widest line lacks.
    layout()->activate();
    int lacking = 0;
    for (const QLabel* line : {stateLine, noteLine, keysLines}) {
        lacking = std::max(lacking, line->sizeHint().width() - line->width());
    }
    if (lacking > 0) {
        setMinimumWidth(width() + lacking);
        resize(width() + lacking, height());
    }
}

AnnotationWindow::~AnnotationWindow() {
    // The edits refer to the annotation; they go before it does.
    history.clear();
}

void AnnotationWindow::setUpView(QSize screenArea) {
    const QSize image(recording.firstFrame.cols, recording.firstFrame.rows);
    scale = ::pictureScale(image, screenArea - chrome);
    scene = new PictureScene;
    scene->setParent(this);
    // The scene is the picture, no more, so the view never scrolls and shows
    // it from its top-left corner.
    scene->setSceneRect(0, 0, image.width(), image.height());
    pictureItem = scene->addPixmap(QPixmap());
    pictureItem->setTransformationMode(scale != 1.0 ? Qt::SmoothTransformation
                                                    : Qt::FastTransformation);
    overlay = new AnnotationOverlay(QSizeF(image));
    scene->addItem(overlay);
    scene->pressed = [this](QPointF at) { press(at); };
    scene->dragged = [this](QPointF at) { drag(at); };
    scene->released = [this](QPointF at) { release(at); };

    view = new QGraphicsView(scene);
    view->setFrameShape(QFrame::NoFrame);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    view->setTransform(QTransform::fromScale(scale, scale));
    view->setRenderHint(QPainter::SmoothPixmapTransform, scale != 1.0);
    view->setFixedSize(scaledPicture(image, scale));
    // The keys belong to the window: the view would scroll with them.
    view->setFocusPolicy(Qt::NoFocus);

    auto* holder = new QWidget;
    auto* layout = new QVBoxLayout(holder);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view, 0, Qt::AlignLeft | Qt::AlignTop);
    setCentralWidget(holder);
}

void AnnotationWindow::setUpStatusBar() {
    auto* lines = new QWidget;
    auto* layout = new QVBoxLayout(lines);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->setSpacing(1);
    stateLine = new QLabel;
    noteLine = new QLabel;
    keysLines = new QLabel(QString::fromUtf8(keysText));
    keysLines->setEnabled(false); // greyed: a legend, not a state
    for (QLabel* line : {stateLine, noteLine, keysLines}) {
        line->setTextFormat(Qt::PlainText);
        layout->addWidget(line);
    }
    statusBar()->addWidget(lines, 1);
    statusBar()->setSizeGripEnabled(false);
}

void AnnotationWindow::setUpKeys() {
    // A key pressed while the mouse drags a keyframe finishes the drag first,
    // on the frame it began on: no key changes the frame under a drag.
    const auto key = [this](const QList<QKeySequence>& keys, auto function) {
        auto* action = new QAction(this);
        action->setShortcuts(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, [this, function] {
            finishDrag();
            function();
        });
        addAction(action);
    };
    key({Qt::Key_Right}, [this] { step(1); });
    key({Qt::Key_Left}, [this] { step(-1); });
    key({Qt::Key_PageDown}, [this] { step(10); });
    key({Qt::Key_PageUp}, [this] { step(-10); });
    key({Qt::Key_Home}, [this] { step(-shownFrame); });
    key({Qt::Key_End}, [this] { step(lastFrame() - shownFrame); });
    key({Qt::Key_Space}, [this] { togglePlaying(); });
    key({QKeySequence::Delete}, [this] { removeKeyframe(); });
    key({Qt::Key_O}, [this] { toggleOutOfPlane(); });
    key({Qt::Key_F}, [this] { toggleInFocus(); });
    key(QKeySequence::keyBindings(QKeySequence::Undo), [this] {
        note = history.canUndo() ? QStringLiteral("Undone: ") + history.undoText() : QString();
        history.undo();
        refresh();
    });
    key(QKeySequence::keyBindings(QKeySequence::Redo), [this] {
        note = history.canRedo() ? QStringLiteral("Redone: ") + history.redoText() : QString();
        history.redo();
        refresh();
    });
    key(QKeySequence::keyBindings(QKeySequence::Save), [this] { save(); });
}

bool AnnotationWindow::isModified() const {
    return !history.isClean() || !everSaved;
}

QString AnnotationWindow::truthShown() const {
    return QFile::decodeName(truth.name);
}

bool AnnotationWindow::showFrame(std::int64_t index) {
    VideoSource& source = *recording.source;
    const std::int64_t position = source.position();
    if (index < position || index - position > readAheadLimit) {
        source.seek(index);
    }
    cv::Mat read;
    bool ok = true;
    while (ok && source.position() <= index) {
        ok = source.read(read);
    }
    if (!ok || read.empty() || (read.type() != CV_8UC3 && read.type() != CV_8UC1)) {
        note =
            QStringLiteral("Frame %1 cannot be read; this is frame %2.").arg(index).arg(shownFrame);
        return false;
    }
    frame = read;
    shownFrame = index;
    convertToRgb32(frame, pictureBuffer, pictureImage);
    picture = QPixmap::fromImage(pictureImage);
    pictureItem->setPixmap(picture);
    return true;
}

bool AnnotationWindow::goToFrame(std::int64_t index) {
    finishDrag();
    index = std::clamp<std::int64_t>(index, 0, lastFrame());
    const bool shown = index == shownFrame || showFrame(index);
    refresh();
    return shown;
}

void AnnotationWindow::step(std::int64_t frames) {
    if (isPlaying()) {
        playTimer.stop();
    }
    note.clear();
    goToFrame(shownFrame + frames);
}

void AnnotationWindow::togglePlaying() {
    note.clear();
    if (isPlaying()) {
        playTimer.stop();
    } else if (shownFrame >= lastFrame()) {
        note = QStringLiteral("This is the last frame; Home goes to the first.");
    } else {
        playStartTick = currentTick();
        playStartFrame = shownFrame;
        playTimer.start();
    }
    refresh();
}

void AnnotationWindow::playStep() {
    if (!isPlaying()) {
        return;
    }
    const double elapsedMs = static_cast<double>(currentTick() - playStartTick) /
                             (tickSource().ticksPerMicrosecond() * 1000.0);
    const auto reached =
        playStartFrame +
        static_cast<std::int64_t>(std::floor(elapsedMs / recording.timing.frameTimeMs + 1e-9));
    const std::int64_t target = std::min(reached, lastFrame());
    if (target > shownFrame && !showFrame(target)) {
        playTimer.stop();
    }
    if (shownFrame >= lastFrame()) {
        playTimer.stop();
    }
    refresh();
}

void AnnotationWindow::edit(AnnotationEdit::Layer layer, AnnotationEdit::Entry after,
                            const QString& text) {
    const AnnotationEdit::Entry before = AnnotationEdit::entryOf(marks, layer, shownFrame);
    if (before == after) {
        return;
    }
    auto* change =
        new AnnotationEdit(marks, layer, shownFrame, before, after, [this] { refresh(); });
    change->setText(text);
    note.clear();
    history.push(change);
}

void AnnotationWindow::removeKeyframe() {
    if (!marks.keyframes.contains(shownFrame)) {
        note = QStringLiteral("Frame %1 has no keyframe to remove.").arg(shownFrame);
        refresh();
        return;
    }
    edit(AnnotationEdit::Layer::Keyframe, std::nullopt,
         QStringLiteral("keyframe removed on frame %1").arg(shownFrame));
}

void AnnotationWindow::toggleOutOfPlane() {
    using Layer = AnnotationEdit::Layer;
    if (marks.outOfPlaneFrom.contains(shownFrame)) {
        edit(Layer::OutOfPlane, std::nullopt,
             QStringLiteral("out of plane from frame %1 taken back").arg(shownFrame));
        return;
    }
    if (const auto mark = outOfPlaneMarkOver(marks, shownFrame)) {
        note = QStringLiteral("Already out of the plane from frame %1; O there takes it back.")
                   .arg(*mark);
        refresh();
        return;
    }
    edit(Layer::OutOfPlane, QPointF(),
         QStringLiteral("out of plane from frame %1").arg(shownFrame));
}

void AnnotationWindow::toggleInFocus() {
    const bool inFocus = marks.inFocus.contains(shownFrame);
    edit(AnnotationEdit::Layer::InFocus, inFocus ? AnnotationEdit::Entry() : QPointF(),
         QStringLiteral("frame %1 %2").arg(shownFrame).arg(inFocus ? "not in focus" : "in focus"));
}

void AnnotationWindow::press(QPointF scenePos) {
    finishDrag(); // a press with no release before it
    // The stone is marked where it is seen: playback stops on that frame.
    playTimer.stop();
    const QSize image(frame.cols, frame.rows);
    const QPointF at = imagePointAt(scenePos, scale, image);
    Drag started{
        AnnotationEdit::entryOf(marks, AnnotationEdit::Layer::Keyframe, shownFrame), {}, at};
    const auto own = marks.keyframes.find(shownFrame);
    const QPointF fromMark =
        own == marks.keyframes.end() ? QPointF() : scenePointOf(own->second) - scenePos;
    if (own != marks.keyframes.end() &&
        std::hypot(fromMark.x(), fromMark.y()) * scale <= grabRadius) {
        // The ring is grabbed where it was pressed: it does not jump.
        started.offset = own->second - at;
        started.placed = own->second;
    }
    dragging = started;
    // The drag is shown on a copy; the annotation itself changes once, by
    // one edit, when the drag ends.
    dragPreview = marks;
    dragPreview.keyframes[shownFrame] = started.placed;
    refresh();
}

void AnnotationWindow::drag(QPointF scenePos) {
    if (!dragging) {
        return;
    }
    const QSize image(frame.cols, frame.rows);
    const QPointF at = imagePointAt(scenePos, scale, image) + dragging->offset;
    dragging->placed = QPointF(std::clamp(at.x(), 0.0, image.width() - 1.0),
                               std::clamp(at.y(), 0.0, image.height() - 1.0));
    dragPreview.keyframes[shownFrame] = dragging->placed;
    refresh();
}

void AnnotationWindow::release(QPointF scenePos) {
    if (!dragging) {
        return;
    }
    drag(scenePos);
    finishDrag();
}

void AnnotationWindow::finishDrag() {
    if (!dragging) {
        return;
    }
    const Drag finished = *dragging;
    dragging.reset();
    dragPreview = {};
    // One step to undo, from where the mark was before the press.
    edit(AnnotationEdit::Layer::Keyframe, finished.placed,
         QStringLiteral("%1 on frame %2 at %3")
             .arg(finished.before ? "keyframe moved" : "keyframe set")
             .arg(shownFrame)
             .arg(point(finished.placed)));
    refresh();
}

const Annotation& AnnotationWindow::shownMarks() const {
    return dragging ? dragPreview : marks;
}

QString AnnotationWindow::frameStateText() const {
    const Annotation& marks = shownMarks();
    const FrameTruth at = truthAt(marks, shownFrame);
    QStringList parts{QStringLiteral("Frame %1 of 0..%2").arg(shownFrame).arg(lastFrame()),
                      recordingTimeText(shownFrame, recording.timing)};
    if (!at.centre) {
        parts << QStringLiteral("no centre yet: click the stone");
    } else if (at.keyframe) {
        parts << QStringLiteral("keyframe at %1").arg(point(*at.centre));
    } else if (at.carried) {
        parts << QStringLiteral("centre %1 carried from keyframe %2")
                     .arg(point(*at.centre))
                     .arg(at.keyframeBefore ? *at.keyframeBefore : *at.keyframeAfter);
    } else {
        parts << QStringLiteral("interpolated %1 between keyframes %2 and %3")
                     .arg(point(*at.centre))
                     .arg(*at.keyframeBefore)
                     .arg(*at.keyframeAfter);
    }
    if (const auto mark = outOfPlaneMarkOver(marks, shownFrame)) {
        parts << QStringLiteral("out of plane from frame %1").arg(*mark);
    }
    if (at.inFocus) {
        parts << QStringLiteral("in focus");
    }
    if (isPlaying()) {
        parts << QStringLiteral("playing");
    }
    return parts.join(QStringLiteral(" · "));
}

QString AnnotationWindow::statusText() const {
    return stateLine->text() + '\n' + noteLine->text();
}

void AnnotationWindow::refresh() {
    const Annotation& marks = shownMarks();
    const FrameTruth at = truthAt(marks, shownFrame);
    OverlayMarks shown;
    shown.truth = at;
    if (at.keyframeBefore) {
        shown.keyframeBefore = marks.keyframes.at(*at.keyframeBefore);
    }
    if (at.keyframeAfter) {
        shown.keyframeAfter = marks.keyframes.at(*at.keyframeAfter);
    }
    shown.focal = QRectF(focal);
    shown.scale = scale;
    overlay->setMarks(shown);
    stateLine->setText(frameStateText());
    noteLine->setText(note);
    setWindowTitle(
        QStringLiteral("%1[*] - tessavolant-annotate").arg(QFileInfo(truthShown()).fileName()));
    setWindowModified(isModified());
}

bool AnnotationWindow::save() {
    finishDrag();
    const QByteArray bytes = formatGroundTruth(truthOf(marks, lastFrame()));
    if (const Refusable<> written = writeVerified(truthShown(), bytes); !written) {
        const QString text = QStringLiteral("%1 could not be written: %2")
                                 .arg(truthShown(), written.refusal().message);
        note = QStringLiteral("Not saved: ") + text;
        refresh();
        dialogs.tellProblem(this, text + QStringLiteral("\nThe file on the disk is as it was "
                                                        "before, and the annotation is still "
                                                        "here."));
        return false;
    }
    everSaved = true;
    history.setClean();
    note = QStringLiteral("Saved %1.").arg(QFileInfo(truthShown()).fileName());
    refresh();
    return true;
}

std::optional<QString> AnnotationWindow::keepUnsavedWork() {
    finishDrag();
    if (!isModified()) {
        return std::nullopt;
    }
    const QString name = freeNameBeside(truthShown());
    const QByteArray bytes = formatGroundTruth(truthOf(marks, lastFrame()));
    const Refusable<> written =
        name.isEmpty() ? Refusal{QStringLiteral("no free name")} : writeVerified(name, bytes);
    if (!written) {
        std::fprintf(stderr, "tessavolant-annotate: the unsaved annotation is lost: %s\n",
                     qPrintable(written.refusal().message));
        return std::nullopt;
    }
    std::fprintf(stderr, "tessavolant-annotate: the unsaved annotation is in %s\n",
                 qPrintable(name));
    return name;
}

void AnnotationWindow::endBySignal(int signalNumber) {
    if (ending) {
        return;
    }
    ending = true;
    playTimer.stop();
    keepUnsavedWork();
    // Unsaved work is kept now; closing must not ask about it any more.
    everSaved = true;
    history.setClean();
    QCoreApplication::exit(128 + signalNumber);
}

void AnnotationWindow::closeEvent(QCloseEvent* event) {
    finishDrag();
    if (ending || !isModified()) {
        event->accept();
        return;
    }
    playTimer.stop();
    const QMessageBox::StandardButton answer = dialogs.askToSave(
        this, QStringLiteral("The annotation has changes that are not in %1. Save them?")
                  .arg(truthShown()));
    if (ending || answer == QMessageBox::Discard) {
        event->accept();
    } else if (answer == QMessageBox::Save && save()) {
        event->accept();
    } else {
        event->ignore();
    }
}
