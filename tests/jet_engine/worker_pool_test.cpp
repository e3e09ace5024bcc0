// The engine's one pool of threads: what closing does to work queued and
// running, a piece that fails, a piece that waits for its time, and a
// caller that finds no worker free.

#include "jet_engine/pool/worker_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <stdexcept>
#include <thread>

namespace jet_engine {

namespace {

using namespace std::chrono_literals;

// Holds a worker until released, and says when it has it. Like everything a
// test's work uses, it is declared before the group, whose end waits for
// the work.
struct Blocker {
    std::promise<void> started;
    std::promise<void> release;
    std::shared_future<void> released{release.get_future().share()};

    WorkerPool::Work work()
    {
        return [this](const WorkToken &) {
            started.set_value();
            released.wait();
        };
    }
};

} // namespace

TEST(WorkerPoolTest, CloseCancelsWhatRunsDropsWhatWaitsAndTakesNothingMore)
{
    auto pool = std::make_shared<WorkerPool>(1);
    std::promise<void> started;
    std::atomic<bool> sawCancel{false};
    std::atomic<bool> queuedRan{false};
    std::atomic<bool> lateRan{false};
    WorkerPool::Group group(pool);
    group.post([&](const WorkToken &work) {
        started.set_value();
        while (!work.cancelled())
            std::this_thread::yield();
        sawCancel = true;
    });
    group.post([&](const WorkToken &) { queuedRan = true; });
    started.get_future().wait();
    pool->close();
    group.post([&](const WorkToken &) { lateRan = true; });
    // A second close finds the workers joined already.
    pool->close();
    EXPECT_TRUE(sawCancel);
    EXPECT_FALSE(queuedRan);
    EXPECT_FALSE(lateRan);
}

TEST(WorkerPoolTest, APieceThatThrowsEndsAloneAndTheWorkerGoesOn)
{
    auto pool = std::make_shared<WorkerPool>(1);
    std::promise<void> next;
    WorkerPool::Group group(pool);
    group.post([](const WorkToken &) { throw std::runtime_error("broken"); });
    group.post([&](const WorkToken &) { next.set_value(); });
    next.get_future().wait();
}

TEST(WorkerPoolTest, DelayedWorkWaitsForItsTimeOnThePoolsClock)
{
    std::atomic<std::int64_t> nowMs{0};
    auto pool = std::make_shared<WorkerPool>(
        1, [&] { return std::chrono::steady_clock::time_point(std::chrono::milliseconds(nowMs.load())); });
    std::atomic<bool> delayedRan{false};
    std::promise<void> delayedDone;
    std::promise<void> laterDone;
    WorkerPool::Group group(pool);
    group.post(
        [&](const WorkToken &) {
            delayedRan = true;
            delayedDone.set_value();
        },
        100ms);
    group.post([&](const WorkToken &) { laterDone.set_value(); });
    laterDone.get_future().wait();
    EXPECT_FALSE(delayedRan) << "ran before its time";
    nowMs = 100;
    pool->timeMoved();
    delayedDone.get_future().wait();
}

TEST(WorkerPoolTest, CancellingAGroupDropsItsDelayedWorkAndLeavesOthers)
{
    auto pool = std::make_shared<WorkerPool>(1);
    std::atomic<bool> cancelledRan{false};
    std::promise<void> keptDone;
    WorkerPool::Group cancelled(pool);
    WorkerPool::Group kept(pool);
    cancelled.post([&](const WorkToken &) { cancelledRan = true; }, 1ms);
    cancelled.cancelAndWait();
    kept.post([&](const WorkToken &) { keptDone.set_value(); }, 1ms);
    keptDone.get_future().wait();
    EXPECT_FALSE(cancelledRan);
}

// A keystroke's search split in two must not wait for the index build that
// holds the only worker: its caller runs both halves.
TEST(WorkerPoolTest, WithEveryWorkerBusyTheCallerRunsBothHalves)
{
    auto pool = std::make_shared<WorkerPool>(1);
    Blocker blocker;
    WorkerPool::Group group(pool);
    group.post(blocker.work());
    blocker.started.get_future().wait();

    const auto caller = std::this_thread::get_id();
    std::thread::id here;
    std::thread::id there;
    WorkerPool::atOnce(
        pool.get(), [&] { here = std::this_thread::get_id(); }, [&] { there = std::this_thread::get_id(); });
    EXPECT_EQ(here, caller);
    EXPECT_EQ(there, caller);
    blocker.release.set_value();
}

// Found in the benchmark: a keystroke typed while the file's check (or the
// index build) held a worker found none free, since that work only waited
// while the search ran, and the caller ran both halves of a large search
// itself. Work giving way now takes the search's half meanwhile; without it,
// the first half here would wait for the second forever.
TEST(WorkerPoolTest, WorkGivingWayTakesTheSearchsHalf)
{
    auto pool = std::make_shared<WorkerPool>(1);
    std::promise<void> started;
    std::atomic<bool> stop{false};
    WorkerPool::Group group(pool);
    group.post([&](const WorkToken &work) {
        started.set_value();
        while (!stop)
            work.giveWay();
    });
    started.get_future().wait();

    std::atomic<bool> thereRan{false};
    std::thread::id there;
    {
        const WorkerPool::Foreground searching(pool.get());
        WorkerPool::atOnce(
            pool.get(),
            [&] {
                while (!thereRan)
                    std::this_thread::yield();
            },
            [&] {
                there = std::this_thread::get_id();
                thereRan = true;
            });
    }
    EXPECT_NE(there, std::this_thread::get_id());
    stop = true;
}

// Whichever thread runs it, either half's failure reaches the caller.
TEST(WorkerPoolTest, AtOnceThrowsAgainWhatEitherHalfThrew)
{
    const auto workers = std::make_shared<WorkerPool>(2);
    for (WorkerPool *pool : {static_cast<WorkerPool *>(nullptr), workers.get()}) {
        EXPECT_THROW(WorkerPool::atOnce(pool, [] {}, [] { throw std::runtime_error("there"); }), std::runtime_error);
        EXPECT_THROW(WorkerPool::atOnce(pool, [] { throw std::runtime_error("here"); }, [] {}), std::runtime_error);
    }
}

} // namespace jet_engine
