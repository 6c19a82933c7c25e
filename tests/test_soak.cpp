// SPDX-License-Identifier: GPL-3.0-or-later
// A long run: half an hour of the 25 ms frame clock, playing and tracking a
// small video that loops, with the stone leaving the imaging plane and passing
// the focal area on every breath. Resident memory stays flat and the log stays
// well formed to its last line.

#include "app/MainWindow.h"
#include "log/ticks.h"
#include "tests/testSupport.h"
#include "tests/wellFormedLog.h"
#include "tracking/VideoImage.h"

#include <QTimer>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <numbers>
#include <opencv2/videoio.hpp>
#include <unistd.h>

namespace {

constexpr int soakTicks = 72'000; // 30 minutes of 25 ms ticks
constexpr int warmUpTicks = 2'000;

// The video loops from frame 98 back to frame 1, so a breath of 97 frames
// joins up without a jump.
constexpr int videoFrames = 100;
constexpr int breathFrames = 97;

StoneState breathingStone(int frameIndex) {
    const double phase = 2.0 * std::numbers::pi * (frameIndex - 1) / breathFrames;
    StoneState stone{80.0 + 12.0 * std::sin(phase), 60.0 + 3.0 * std::sin(phase), 1.0};
    // Out of the imaging plane for a few frames on every breath.
    const int inBreath = (frameIndex - 1 + breathFrames) % breathFrames;
    if (inBreath >= 60 && inBreath < 70) {
        stone.visibility = 0.0;
    }
    return stone;
}

std::size_t residentBytes() {
    std::ifstream statm("/proc/self/statm");
    std::size_t size = 0;
    std::size_t resident = 0;
    statm >> size >> resident;
    return resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

int count(const QByteArray& log, const char* text) {
    return static_cast<int>(log.count(text));
}

} // namespace

TEST(Soak, HalfAnHourOfTrackingKeepsMemoryFlatAndTheLogWellFormed) {
    TemporaryWorkingDirectory directory;
    ManualClock clock;
    ScopedTickSource useClock(clock);

    SyntheticVideoSpec spec;
    spec.width = 160;
    spec.height = 120;
    spec.frames = videoFrames;
    spec.stone = breathingStone;
    const QString video = writeVideo(directory.file("soak.avi"), spec);

    // Ticks with the stone in the plane, and those of them with the tracking
    // window's centre within 3 pixels of it (it loses the stone for a tick or
    // two when it comes back into the plane elsewhere).
    struct Tracked {
        int visible = 0;
        int onStone = 0;
    };
    Tracked firstTenth;
    Tracked middle;
    Tracked lastTenth;
    std::size_t afterWarmUp = 0;
    std::size_t highest = 0;
    const auto started = std::chrono::steady_clock::now();
    {
        MainWindow window(nullptr, video);
        ASSERT_TRUE(window.isReady());
        window.timer->stop();
        // The focal area where the breath swings the stone through.
        window.moveBrennpunktXSlider(78);
        window.moveBrennpunktYSlider(50);
        const StoneState first = breathingStone(0);
        window.dataScene->handedOver = QRect(
            QPoint(static_cast<int>(first.centreX) - 12, static_cast<int>(first.centreY) - 10),
            QSize(24, 20));
        window.dataScene->selectionState = -1;
        window.startLoggButtonClicked();
        window.StartButtonClicked();

        for (int tick = 1; tick <= soakTicks; ++tick) {
            clock.advanceMs(25);
            window.OpenCVMeanShift();
            if (window.playing != 1) {
                FAIL() << "playback stopped at tick " << tick;
            }
            // On the stone whenever it is in the plane (the position after the
            // read is the next frame's index).
            const StoneState truth =
                breathingStone(static_cast<int>(window.capture.position()) - 1);
            if (truth.visibility > 0) {
                const bool onStone = std::abs(window.trackCenterX - truth.centreX) <= 3.0 &&
                                     std::abs(window.trackCenterY - truth.centreY) <= 3.0;
                Tracked& part = tick <= soakTicks / 10              ? firstTenth
                                : tick > soakTicks - soakTicks / 10 ? lastTenth
                                                                    : middle;
                ++part.visible;
                part.onStone += onStone ? 1 : 0;
            }
            if (tick % 18'000 == 0) {
                // Now and then the user changes the shot rate.
                window.endreSkuddFrekvens(tick % 36'000 == 0 ? 100 : 140);
            }
            if (tick == warmUpTicks) {
                afterWarmUp = residentBytes();
            }
            if (tick % 1'000 == 0) {
                highest = std::max(highest, residentBytes());
            }
        }
        EXPECT_EQ(window.trackingStarted, 1);
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const std::size_t atEnd = residentBytes();
    RecordProperty("ticks", soakTicks);
    RecordProperty("seconds", std::to_string(seconds));
    RecordProperty("residentAfterWarmUpKiB", std::to_string(afterWarmUp / 1024));
    RecordProperty("residentHighestKiB", std::to_string(highest / 1024));
    RecordProperty("residentAtEndKiB", std::to_string(atEnd / 1024));
    std::printf("soak: %d ticks in %.1f s; resident after warm-up %zu KiB, highest %zu KiB, "
                "at end %zu KiB; on the stone %d of %d, %d of %d, %d of %d visible ticks\n",
                soakTicks, seconds, afterWarmUp / 1024, highest / 1024, atEnd / 1024,
                firstTenth.onStone, firstTenth.visible, middle.onStone, middle.visible,
                lastTenth.onStone, lastTenth.visible);

    // As well at the end as at the start: no drift over the half hour.
    for (const Tracked* part : {&firstTenth, &middle, &lastTenth}) {
        EXPECT_GT(part->visible, 0);
        EXPECT_GE(part->onStone, part->visible * 98 / 100)
            << part->onStone << " of " << part->visible << " ticks on the stone";
    }

#if defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer keeps freed memory in quarantine (up to 256 MiB) and
    // checks for leaks itself at exit; resident memory says nothing here.
#else
    // Flat: after warm-up the rest of the half hour adds less than 4 MiB.
    EXPECT_LT(highest, afterWarmUp + 4 * 1024 * 1024);
#endif

    const QByteArray log = readBytes("loggfile.txt");
    EXPECT_EQ(logProblems(log, LogEnd::Completed, video.toLatin1()), "");
    // Every breath took the stone out of the plane and through the focal area.
    const int breaths = soakTicks / (videoFrames - 2);
    EXPECT_GE(count(log, ": Ut av planet\n"), breaths - 1);
    EXPECT_GE(count(log, ": Inn i planet."), breaths - 1);
    EXPECT_GE(count(log, ": Skudd intervall starter\n"), breaths - 1);
    EXPECT_GE(count(log, ": Skudd treffer."), breaths);
    EXPECT_EQ(count(log, ": Skuddfrekvens endret til "), 4);
    // The last stamps are half an hour on.
    const QList<QByteArray> lines = logLines();
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_NEAR(lines.last().left(lines.last().indexOf(':')).toDouble(), soakTicks * 0.025, 0.1);
}
