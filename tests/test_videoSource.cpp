// SPDX-License-Identifier: GPL-3.0-or-later
// The video as the frame cycle reads it: decoding ahead on a second thread
// changes no frame and no position, the slider's seeks are coalesced, and
// recordings whose header lies about their length play and loop.

#include "app/MainWindow.h"
#include "tests/testSupport.h"
#include "tools/badInputs.h"
#include "tracking/VideoSource.h"
#include "ui_MainWindow.h"

#include <QSlider>
#include <QTimer>
#include <future>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <set>

namespace {

// Frames that carry their own index; some of them cannot be decoded. A seek
// can be held up until the test lets it go.
class NumberedReader : public FrameReader {
  public:
    explicit NumberedReader(std::int64_t count, std::set<std::int64_t> damaged = {})
        : count(count), damaged(std::move(damaged)) {}

    bool read(cv::Mat& frame) override {
        if (next >= count) {
            return false;
        }
        const std::int64_t index = next++;
        if (damaged.count(index)) {
            return false;
        }
        frame.create(1, 1, CV_64F);
        frame.at<double>(0) = static_cast<double>(index);
        return true;
    }
    void seek(std::int64_t index) override {
        ++seeks;
        if (seekStarted) {
            seekStarted->set_value();
            seekStarted.reset();
        }
        if (holdSeeks) {
            holdSeeks->wait();
        }
        next = std::min(index, count);
    }
    std::int64_t position() override { return next; }

    std::int64_t count;
    std::set<std::int64_t> damaged;
    std::int64_t next = 0;
    int seeks = 0;
    std::optional<std::promise<void>> seekStarted;
    std::optional<std::shared_future<void>> holdSeeks;
};

double indexOf(const cv::Mat& frame) {
    return frame.empty() ? -1.0 : frame.at<double>(0);
}

TEST(VideoSource, ReadingAheadChangesNoFrameAndNoPositionWhateverTheSeeks) {
    constexpr std::int64_t count = 12;
    const std::set<std::int64_t> damaged{5, 6};
    NumberedReader plain(count, damaged);
    VideoSource source;
    source.start(std::make_unique<NumberedReader>(count, damaged), count);
    source.setWrap(count - 1, 1);

    std::mt19937 random(7);
    cv::Mat fromPlain;
    cv::Mat fromSource;
    for (int step = 0; step < 3000; ++step) {
        SCOPED_TRACE(step);
        const unsigned kind = random() % 10;
        if (kind < 7) {
            // A playing tick's read, with its wrap from the frame before the
            // last to frame 1.
            if (plain.position() == count - 1) {
                plain.seek(1);
            }
            if (source.position() == count - 1) {
                source.seek(1);
            }
            const bool plainRead = plain.read(fromPlain);
            ASSERT_EQ(source.read(fromSource), plainRead);
            if (plainRead) {
                ASSERT_EQ(indexOf(fromSource), indexOf(fromPlain));
            }
        } else {
            const auto index = static_cast<std::int64_t>(random() % (count + 3));
            plain.seek(index);
            source.seek(index);
        }
        ASSERT_EQ(source.position(), plain.position());
    }
}

TEST(VideoSource, SliderSeeksAskedForWhileOneRunsBecomeOneMore) {
    auto reader = std::make_unique<NumberedReader>(100);
    std::promise<void> letGo;
    reader->holdSeeks = letGo.get_future().share();
    reader->seekStarted.emplace();
    std::future<void> firstSeekStarted = reader->seekStarted->get_future();
    VideoSource source;
    source.start(std::move(reader), 100);

    // The first seek starts and is held up; every request meanwhile returns at
    // once and replaces the one before.
    source.seekInBackground(1, true);
    firstSeekStarted.wait();
    for (int position = 2; position <= 25; ++position) {
        source.seekInBackground(position, true);
    }
    EXPECT_TRUE(source.seekPending());
    letGo.set_value();
    source.waitForBackgroundSeek();
    EXPECT_EQ(source.seeksMade(), 2);
    cv::Mat frame;
    ASSERT_TRUE(source.takeSoughtFrame(frame));
    EXPECT_EQ(indexOf(frame), 25.0);
    EXPECT_EQ(source.position(), 26);
    EXPECT_FALSE(source.takeSoughtFrame(frame)) << "a sought frame is handed over once";
}

// Recordings whose header says nothing or too much about their length: each
// plays its frames in order and starts over at frame 1, again and again.
TEST(VideoSource, RecordingsWithAWrongFrameCountPlayAndLoop) {
    TemporaryWorkingDirectory directory;
    const std::filesystem::path source = directory.path() / "source.avi";
    const SyntheticVideoSpec spec = badinputs::damageSource();
    ASSERT_TRUE(writeSyntheticVideo(source.string(), "", spec));
    constexpr std::uint32_t huge = 1u << 31;
    const struct {
        const char* name;
        std::uint32_t headerCount;
        bool keepIndex;
        std::int64_t countAfterTheFirstEnd;
    } cases[] = {
        {"an unfinished recording: no count, no index", 0, false, 50},
        {"a count of 2^31 frames", huge, true, huge},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::filesystem::path video = directory.path() / "video.avi";
        ASSERT_TRUE(badinputs::writeWithHeaderCount(source, video, c.headerCount, c.keepIndex));
        const auto window = openWindowForTicking(QString::fromStdString(video.string()));
        ASSERT_TRUE(window->isReady());
        ASSERT_EQ(window->frameCount, c.headerCount);
        window->StartButtonClicked();
        std::vector<std::int64_t> shown;
        for (int tick = 0; tick < 3 * spec.frames; ++tick) {
            window->OpenCVMeanShift();
            ASSERT_EQ(window->playing, 1) << "playback stopped at tick " << tick;
            shown.push_back(window->capture.position() - 1);
        }
        EXPECT_EQ(window->frameCount, c.countAfterTheFirstEnd);
        EXPECT_EQ(window->ui->videoSlider->maximum(),
                  std::min<std::int64_t>(c.countAfterTheFirstEnd, std::numeric_limits<int>::max()));
        const auto wraps = std::count(shown.begin(), shown.end(), 1);
        EXPECT_GE(wraps, 3) << "frame 1 comes back after every pass";
        for (std::size_t i = 1; i < shown.size(); ++i) {
            if (shown[i] != 1) {
                ASSERT_EQ(shown[i], shown[i - 1] + 1) << "frames in order, at tick " << i;
            }
        }
    }
}

} // namespace
