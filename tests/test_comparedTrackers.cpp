// SPDX-License-Identifier: GPL-3.0-or-later
// The comparison's workers: trackers beside the run's own follow the same
// frames to the same steps on one thread and on several, and the worker
// under them keeps order, its bound and a job's exception.

#include "replay/orderedWorker.h"
#include "replay/trackerComparison.h"

#include <atomic>
#include <cstdlib>
#include <future>
#include <gtest/gtest.h>
#include <numeric>
#include <opencv2/imgproc.hpp>
#include <stdexcept>

namespace {

const cv::Size frameSize(160, 120);
const cv::Size stoneSize(24, 24);

cv::Point stoneAt(int tick) {
    return {40 + 2 * tick, 40 + (tick * 3) % 17};
}

// A textured bright square on a dark picture, drawn into `frame`'s own pixels
// as a reader decodes the next frame into the same buffer.
void drawTick(int tick, cv::Mat& frame, cv::Mat& plane) {
    frame.create(frameSize, CV_8UC3);
    frame.setTo(cv::Scalar(20, 20, 20));
    const cv::Rect stone(stoneAt(tick), stoneSize);
    cv::rectangle(frame, stone, cv::Scalar(200, 200, 200), cv::FILLED);
    cv::line(frame, stone.tl(), stone.br(), cv::Scalar(90, 90, 90), 3);
    cv::circle(frame, stone.tl() + cv::Point(6, 17), 4, cv::Scalar(255, 255, 255), cv::FILLED);
    cv::Mat grey;
    cv::cvtColor(frame, grey, cv::COLOR_BGR2GRAY);
    cv::threshold(grey, plane, 100, 255, cv::THRESH_BINARY);
}

// Thirty ticks: some without a frame to follow, and a fresh start halfway.
std::vector<TrackerComparison::Track> runScript(int threads, TrackerKind own) {
    // MIL draws from the C library's random numbers, which a process starts
    // seeded with 1: each run as if in a process of its own.
    std::srand(1);
    TrackerComparison comparison({TrackerKind::Csrt, TrackerKind::Kcf, TrackerKind::Mil,
                                  TrackerKind::Template, TrackerKind::MeanShift},
                                 own, 0.5, threads);
    cv::Mat frame;
    cv::Mat plane;
    drawTick(0, frame, plane);
    EXPECT_TRUE(comparison.start(frame, plane, cv::Rect(stoneAt(0), stoneSize)));
    for (int tick = 1; tick <= 30; ++tick) {
        drawTick(tick, frame, plane);
        if (tick == 15) {
            EXPECT_TRUE(comparison.start(frame, plane, cv::Rect(stoneAt(tick), stoneSize)));
        } else if (tick % 7 != 0) {
            comparison.follow(frame, plane);
        }
        comparison.closeTick(0.0);
    }
    return comparison.compared();
}

// With the run's own tracker the cheapest and the dearest.
TEST(ComparedTrackers, FollowTheSameFramesToTheSameStepsOnOneThreadAndSeveral) {
    for (const TrackerKind own : {TrackerKind::MeanShift, TrackerKind::Mil}) {
        SCOPED_TRACE(trackerName(own));
        const std::vector<TrackerComparison::Track> one = runScript(1, own);
        const std::vector<TrackerComparison::Track> several = runScript(3, own);
        ASSERT_EQ(one.size(), 5u);
        ASSERT_EQ(several.size(), one.size());
        for (std::size_t t = 0; t < one.size(); ++t) {
            SCOPED_TRACE(trackerName(one[t].kind));
            EXPECT_EQ(several[t].kind, one[t].kind);
            EXPECT_EQ(several[t].follows, 25);
            EXPECT_EQ(one[t].follows, 25);
            ASSERT_EQ(one[t].steps.size(), 30u);
            ASSERT_EQ(several[t].steps.size(), 30u);
            for (std::size_t tick = 0; tick < one[t].steps.size(); ++tick) {
                SCOPED_TRACE(tick + 1);
                EXPECT_EQ(several[t].steps[tick].box, one[t].steps[tick].box);
                EXPECT_EQ(several[t].steps[tick].area, one[t].steps[tick].area);
                EXPECT_EQ(several[t].steps[tick].confidence, one[t].steps[tick].confidence);
            }
        }
        // The stone moved: a track that stood still would agree with itself too.
        EXPECT_NE(one[1].steps.back().box, one[1].steps.front().box);
    }
}

TEST(OrderedWorker, RunsJobsInTheOrderGiven) {
    std::vector<int> done;
    OrderedWorker worker(4);
    for (int i = 0; i < 100; ++i) {
        worker.give([&done, i] { done.push_back(i); });
    }
    worker.finish();
    std::vector<int> expected(100);
    std::iota(expected.begin(), expected.end(), 0);
    EXPECT_EQ(done, expected);
}

TEST(OrderedWorker, GivingWaitsWhileItsLimitOfJobsWait) {
    OrderedWorker worker(2);
    std::promise<void> started;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    worker.give([&started, released] {
        started.set_value();
        released.wait();
    });
    started.get_future().wait();
    worker.give([] {});
    worker.give([] {});
    EXPECT_EQ(worker.waiting(), 2u);

    std::atomic<bool> releasedYet{false};
    std::promise<void> giving;
    auto third = std::async(std::launch::async, [&] {
        giving.set_value();
        worker.give([] {});
        return releasedYet.load();
    });
    giving.get_future().wait();
    releasedYet = true;
    release.set_value();
    EXPECT_TRUE(third.get()) << "a third job was taken while two waited";
    worker.finish();
    EXPECT_EQ(worker.waiting(), 0u);
}

TEST(OrderedWorker, AJobThatThrowsDropsTheJobsBehindItAndComesOutOfFinish) {
    OrderedWorker worker(8);
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::vector<int> done;
    worker.give([released] {
        released.wait();
        throw std::runtime_error("the tracker failed");
    });
    worker.give([&done] { done.push_back(1); });
    release.set_value();
    EXPECT_THROW(worker.finish(), std::runtime_error);
    EXPECT_TRUE(done.empty());

    worker.give([&done] { done.push_back(2); });
    worker.finish();
    EXPECT_EQ(done, std::vector<int>{2});
}

} // namespace
