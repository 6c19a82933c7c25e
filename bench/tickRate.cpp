// SPDX-License-Identifier: GPL-3.0-or-later
// The frame cycle with the real timer and event loop: the window is shown (on
// the offscreen platform unless QT_QPA_PLATFORM says otherwise) and plays a
// generated video while the stone is tracked and logging is on. Prints, per
// frame size, the ticks per second achieved (the clock asks for 40), the time
// of a tick and of a repaint, and then the resident memory and the heap
// allocations over many ticks. Each size also gives the processor time used
// per second, playing and then paused.
//
//   bench_tickRate [--seconds S] [--ticks N] [--sizes 640x480,1920x1080]
//                  [--memory-sizes 640x480]

#include "app/MainWindow.h"
#include "bench/allocationCounter.h"
#include "bench/benchSupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QGraphicsView>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <opencv2/videoio.hpp>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

struct FrameSize {
    int width = 0;
    int height = 0;
    std::string name() const { return std::to_string(width) + "x" + std::to_string(height); }
};

std::vector<FrameSize> parseSizes(const char* text) {
    std::vector<FrameSize> sizes;
    std::string rest = text;
    while (!rest.empty()) {
        const std::size_t comma = rest.find(',');
        const std::string item = rest.substr(0, comma);
        FrameSize size;
        if (std::sscanf(item.c_str(), "%dx%d", &size.width, &size.height) != 2 ||
            size.width <= 0 || size.height <= 0) {
            std::fprintf(stderr, "bench_tickRate: bad size \"%s\"\n", item.c_str());
            std::exit(2);
        }
        sizes.push_back(size);
        rest = comma == std::string::npos ? std::string() : rest.substr(comma + 1);
    }
    return sizes;
}

double median(std::vector<double> values) {
    if (values.empty()) {
        return 0.0;
    }
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2.0;
}

double total(const std::vector<double>& values) {
    double sum = 0.0;
    for (const double value : values) {
        sum += value;
    }
    return sum;
}

// Processor time of the whole process (all threads, user and system), in s.
double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Runs the event loop for `warmUpMs`, then for `measureMs`, and returns the
// share of one core that the process used in the second stretch.
double coreShareOfEventLoop(QApplication& application, int warmUpMs, int measureMs) {
    QElapsedTimer clock;
    double cpuAtStart = 0.0;
    double share = 0.0;
    QTimer::singleShot(warmUpMs, Qt::PreciseTimer, &application, [&] {
        cpuAtStart = cpuSeconds();
        clock.start();
    });
    QTimer::singleShot(warmUpMs + measureMs, Qt::PreciseTimer, &application, [&] {
        share = (cpuSeconds() - cpuAtStart) / (static_cast<double>(clock.nsecsElapsed()) / 1e9);
        application.quit();
    });
    application.exec();
    return share;
}

double largest(const std::vector<double>& values) {
    return values.empty() ? 0.0 : *std::max_element(values.begin(), values.end());
}

// Times the repaints of one top-level window: the backing store is painted and
// flushed while the window, or its platform window, handles
// QEvent::UpdateRequest.
class TimingApplication : public QApplication {
  public:
    using QApplication::QApplication;

    QWidget* timedWindow = nullptr;
    bool timing = false;
    std::vector<double> repaintMs;

    bool notify(QObject* receiver, QEvent* event) override {
        if (!timing || inRepaint || event->type() != QEvent::UpdateRequest || !timedWindow ||
            (receiver != timedWindow && receiver != timedWindow->windowHandle())) {
            return QApplication::notify(receiver, event);
        }
        inRepaint = true;
        QElapsedTimer clock;
        clock.start();
        const bool handled = QApplication::notify(receiver, event);
        repaintMs.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        inRepaint = false;
        return handled;
    }

  private:
    bool inRepaint = false;
};

// Counts the paint events of one widget.
class PaintCounter : public QObject {
  public:
    int paints = 0;
    bool counting = false;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (counting && event->type() == QEvent::Paint) {
            ++paints;
        }
        return QObject::eventFilter(watched, event);
    }
};

void measureTickRate(TimingApplication& application, const ScratchDirectory& scratch,
                     const FrameSize& size, double seconds) {
    const std::string video = writeBenchVideo(scratch.path(), size.width, size.height, 100);
    auto window = openTrackingWindow(video, scratch.path() / ("rate-" + size.name()));

    // The timer calls the frame cycle through a connection of ours that also
    // times it; the frame cycle itself is the same call.
    QObject::disconnect(window->timer.get(), &QTimer::timeout, window.get(),
                        &MainWindow::OpenCVMeanShift);
    QElapsedTimer clock;
    clock.start();
    bool measuring = false;
    std::vector<double> tickMs;
    std::vector<double> tickStartMs;
    QObject::connect(window->timer.get(), &QTimer::timeout, window.get(), [&] {
        const qint64 begin = clock.nsecsElapsed();
        window->OpenCVMeanShift();
        const qint64 end = clock.nsecsElapsed();
        if (measuring) {
            tickStartMs.push_back(static_cast<double>(begin) / 1e6);
            tickMs.push_back(static_cast<double>(end - begin) / 1e6);
        }
    });

    PaintCounter paintCounter;
    auto* mainView = window->findChild<QGraphicsView*>("mainView");
    if (mainView) {
        mainView->viewport()->installEventFilter(&paintCounter);
    }
    application.timedWindow = window.get();
    application.repaintMs.clear();

    window->show();
    window->timer->start();

    constexpr int warmUpMs = 1000;
    const int measureMs = static_cast<int>(seconds * 1000.0);
    std::size_t residentAtStart = 0;
    double cpuAtStart = 0.0;
    double cpuAtEnd = 0.0;
    qint64 startNs = 0;
    qint64 endNs = 0;
    QTimer::singleShot(warmUpMs, Qt::PreciseTimer, &application, [&] {
        residentAtStart = residentBytes();
        cpuAtStart = cpuSeconds();
        startNs = clock.nsecsElapsed();
        measuring = true;
        paintCounter.counting = true;
        application.timing = true;
    });
    QTimer::singleShot(warmUpMs + measureMs, Qt::PreciseTimer, &application, [&] {
        endNs = clock.nsecsElapsed();
        cpuAtEnd = cpuSeconds();
        measuring = false;
        paintCounter.counting = false;
        application.timing = false;
        application.quit();
    });
    application.exec();
    const std::size_t residentAtEnd = residentBytes();
    const bool playedThrough = window->playing == 1;
    // Then the same window paused, with the same timer still ticking.
    window->StopButtonClicked();
    const double pausedShare = coreShareOfEventLoop(application, warmUpMs, measureMs);
    window->timer->stop();

    const double elapsed = static_cast<double>(endNs - startNs) / 1e9;
    std::vector<double> intervals;
    for (std::size_t i = 1; i < tickStartMs.size(); ++i) {
        intervals.push_back(tickStartMs[i] - tickStartMs[i - 1]);
    }
    const QSize windowSize = window->size();
    const QSize viewSize = mainView ? mainView->viewport()->size() : QSize();
    std::printf("tick rate %s: %.1f ticks/s (%zu ticks in %.2f s, %s; timer asks for 40); "
                "%.1f repaints/s of the video view; tick median %.2f ms, max %.2f ms; "
                "window repaint %.2f ms per tick (longest %.2f ms); tick interval median %.2f ms, "
                "max %.2f ms; resident %+.2f MB; window %dx%d, video viewport %dx%d\n",
                size.name().c_str(), static_cast<double>(tickMs.size()) / elapsed, tickMs.size(),
                elapsed, playedThrough ? "playing" : "NOT PLAYING",
                paintCounter.paints / elapsed, median(tickMs), largest(tickMs),
                tickMs.empty() ? 0.0 : total(application.repaintMs) / static_cast<double>(tickMs.size()),
                largest(application.repaintMs), median(intervals),
                largest(intervals),
                megabytes(static_cast<double>(residentAtEnd) - static_cast<double>(residentAtStart)),
                windowSize.width(), windowSize.height(), viewSize.width(), viewSize.height());
    std::printf("cpu %s: %.1f %% of a core playing, %.2f %% paused\n", size.name().c_str(),
                100.0 * (cpuAtEnd - cpuAtStart) / elapsed, 100.0 * pausedShare);
    std::fflush(stdout);
    application.timedWindow = nullptr;
}

struct WorkingImages {
    std::vector<const void*> data;

    explicit WorkingImages(const MainWindow& window)
        : data{window.dataFrame.data,  window.roiImage.data,    window.roiPlane.data,
               window.dataPlane.data,  window.histImage.data,   window.hist.data,
               window.mainViewBuffer.get(), window.dataViewBuffer.get(),
               window.histViewBuffer.get()} {}
    bool operator==(const WorkingImages&) const = default;
};

void measureMemory(const ScratchDirectory& scratch, const FrameSize& size, int ticks) {
    const std::string video = writeBenchVideo(scratch.path(), size.width, size.height, 50);
    auto window = openTrackingWindow(video, scratch.path() / ("memory-" + size.name()));
    window->show();

    // Ticks called one after the other, each followed by the event processing
    // (repaints) that the event loop would do before the next timeout.
    const auto tick = [&window] {
        window->OpenCVMeanShift();
    };
    for (int i = 0; i < 200; ++i) {
        tick();
        QCoreApplication::processEvents();
    }
    const WorkingImages before(*window);
    const std::size_t residentBefore = residentBytes();

    allocationCounter::Counts inTicks;
    allocationCounter::Counts inEvents;
    const auto add = [](allocationCounter::Counts& sum, const allocationCounter::Counts& part) {
        sum.all += part.all;
        sum.large += part.large;
        sum.largeTotalBytes += part.largeTotalBytes;
    };
    for (int i = 0; i < ticks; ++i) {
        allocationCounter::start();
        tick();
        add(inTicks, allocationCounter::stop());
        allocationCounter::start();
        QCoreApplication::processEvents();
        add(inEvents, allocationCounter::stop());
    }
    const std::size_t residentAfter = residentBytes();
    const bool kept = WorkingImages(*window) == before;

    // Where the allocations of a tick come from: decoding alone (a capture of
    // its own, wrapping as the tick does) and the rest of the tick alone, on
    // frames decoded beforehand and put in place uncounted.
    constexpr int splitCount = 500;
    allocationCounter::Counts inDecoding;
    allocationCounter::Counts afterDecoding;
    {
        cv::VideoCapture capture(video, cv::CAP_FFMPEG);
        const int frameCount = static_cast<int>(capture.get(cv::CAP_PROP_FRAME_COUNT));
        cv::Mat picture;
        std::vector<cv::Mat> decoded;
        for (int i = 0; i < splitCount + 16; ++i) {
            if (capture.get(cv::CAP_PROP_POS_FRAMES) == frameCount - 1) {
                capture.set(cv::CAP_PROP_POS_FRAMES, 1);
            }
            const bool counted = i >= 16;
            if (counted) {
                allocationCounter::start();
            }
            capture.read(picture);
            if (counted) {
                add(inDecoding, allocationCounter::stop());
            } else {
                decoded.push_back(picture.clone());
            }
        }
        for (int i = 0; i < splitCount; ++i) {
            decoded[static_cast<std::size_t>(i) % decoded.size()].copyTo(window->frame);
            allocationCounter::start();
            emit window->updateVideoSlider(i % frameCount);
            window->processFrame();
            add(afterDecoding, allocationCounter::stop());
            QCoreApplication::processEvents();
        }
    }

    const double perTick = 1.0 / ticks;
    std::printf("memory %s: resident %+.2f MB over %d ticks (%.1f -> %.1f MB), %s; "
                "working images and view buffers %s; "
                "allocations >= %zu bytes per tick: %.2f in the tick (%.0f bytes), "
                "%.2f in event processing (%.0f bytes); all allocations per tick: %.1f in the "
                "tick, %.1f in event processing\n",
                size.name().c_str(),
                megabytes(static_cast<double>(residentAfter) - static_cast<double>(residentBefore)),
                ticks, megabytes(static_cast<double>(residentBefore)),
                megabytes(static_cast<double>(residentAfter)),
                window->playing == 1 ? "playing" : "NOT PLAYING", kept ? "kept" : "REALLOCATED",
                allocationCounter::largeBytes, inTicks.large * perTick,
                static_cast<double>(inTicks.largeTotalBytes) * perTick, inEvents.large * perTick,
                static_cast<double>(inEvents.largeTotalBytes) * perTick, inTicks.all * perTick,
                inEvents.all * perTick);
    const double perSplit = 1.0 / splitCount;
    std::printf("allocations %s, split: decoding alone %.2f >= %zu bytes per frame (%.0f bytes), "
                "%.1f in all; the rest of the tick %.2f >= %zu bytes per tick (%.0f bytes), "
                "%.1f in all\n",
                size.name().c_str(), inDecoding.large * perSplit, allocationCounter::largeBytes,
                static_cast<double>(inDecoding.largeTotalBytes) * perSplit,
                inDecoding.all * perSplit, afterDecoding.large * perSplit,
                allocationCounter::largeBytes,
                static_cast<double>(afterDecoding.largeTotalBytes) * perSplit,
                afterDecoding.all * perSplit);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    double seconds = 5.0;
    int ticks = 10000;
    std::vector<FrameSize> sizes = parseSizes("640x480,1920x1080");
    std::vector<FrameSize> memorySizes = parseSizes("640x480");
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (!std::strcmp(argv[i], "--seconds") && hasValue) {
            seconds = std::atof(argv[++i]);
        } else if (!std::strcmp(argv[i], "--ticks") && hasValue) {
            ticks = std::atoi(argv[++i]);
        } else if (!std::strcmp(argv[i], "--sizes") && hasValue) {
            sizes = parseSizes(argv[++i]);
        } else if (!std::strcmp(argv[i], "--memory-sizes") && hasValue) {
            memorySizes = parseSizes(argv[++i]);
        } else if (!std::strcmp(argv[i], "--no-memory")) {
            memorySizes.clear();
        } else if (!std::strcmp(argv[i], "--no-rate")) {
            sizes.clear();
        } else {
            std::fprintf(stderr,
                         "usage: bench_tickRate [--seconds S] [--ticks N] [--sizes WxH,...] "
                         "[--memory-sizes WxH,...] [--no-rate] [--no-memory]\n");
            return 2;
        }
    }
    if (!(seconds > 0.0) || ticks <= 0) {
        std::fprintf(stderr, "bench_tickRate: --seconds and --ticks must be positive\n");
        return 2;
    }

    useOffscreenPlatformUnlessSet();
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    TimingApplication application(qtArgc, qtArgv);
    ScratchDirectory scratch;

    for (const FrameSize& size : sizes) {
        measureTickRate(application, scratch, size, seconds);
    }
    for (const FrameSize& size : memorySizes) {
        measureMemory(scratch, size, ticks);
    }
    return 0;
}
