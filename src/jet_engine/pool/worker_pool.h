#pragma once
// The engine's threads, all of them: a few workers started with the engine,
// which run the reads, index builds and walks it does in the background, and
// lend a hand to a search that can be split in two. Closing cancels every
// piece of work and joins the workers, once.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace jet_engine {

class WorkerPool;

// What a piece of work looks at as it goes: its own cancel flag, and whether
// a search is under way that it should leave the processor to.
class WorkToken {
public:
    bool cancelled() const { return m_cancelled->load(std::memory_order_relaxed); }
    // For readers that take a plain flag.
    const std::atomic<bool> *flag() const { return m_cancelled.get(); }
    // Waits while work for a keystroke runs, lending the keystroke's search
    // a hand meanwhile (the halves it hands out, WorkerPool::atOnce); false
    // once cancelled.
    bool giveWay() const;

private:
    friend class WorkerPool;
    WorkToken(std::shared_ptr<std::atomic<bool>> cancelled, WorkerPool &pool)
        : m_cancelled(std::move(cancelled))
        , m_pool(&pool)
    {
    }

    std::shared_ptr<std::atomic<bool>> m_cancelled;
    WorkerPool *m_pool;
};

class WorkerPool {
    friend class WorkToken;

public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    using Work = std::function<void(const WorkToken &)>;

    // `workers` threads, started now; `clock` decides when delayed work is
    // due (tests drive their own, and call timeMoved()).
    explicit WorkerPool(unsigned workers, Clock clock = std::chrono::steady_clock::now);
    // As many workers as the processor has threads, two at least.
    static std::shared_ptr<WorkerPool> forThisMachine();
    ~WorkerPool();
    WorkerPool(const WorkerPool &) = delete;
    WorkerPool &operator=(const WorkerPool &) = delete;

    // Threads the processor runs at once, as the machine reports them.
    static unsigned processors();
    unsigned workers() const { return static_cast<unsigned>(m_threads.size()); }
    // The time on the clock delayed work is due by.
    std::chrono::steady_clock::time_point now() const { return m_clock(); }

    // Pieces of work that end together: what one owner posts, cancelled
    // and waited for by that owner before it goes, whatever is left.
    class Group {
    public:
        explicit Group(std::shared_ptr<WorkerPool> pool);
        // cancelAndWait().
        ~Group();
        Group(const Group &) = delete;
        Group &operator=(const Group &) = delete;

        // Runs `work` on a worker, at once or once `delay` has passed. A
        // piece posted after close() never runs. An exception it throws ends
        // that piece alone.
        void post(Work work, std::chrono::steady_clock::duration delay = {});
        // Pieces not started are dropped; those running see their token
        // cancelled, and are waited for. Must not be called from the
        // group's own work.
        void cancelAndWait();
        // The same, without the wait.
        void cancel();
        const std::shared_ptr<WorkerPool> &pool() const { return m_pool; }

    private:
        std::shared_ptr<WorkerPool> m_pool;
    };

    // Work for a keystroke is under way while one of these lives:
    // background work that asks (WorkToken::giveWay) waits for it to end.
    class Foreground {
    public:
        explicit Foreground(WorkerPool *pool);
        ~Foreground();
        Foreground(const Foreground &) = delete;
        Foreground &operator=(const Foreground &) = delete;

    private:
        WorkerPool *m_pool;
    };

    // Runs `here` on the calling thread and `there` on a free worker at
    // once, and returns once both have ended; an exception from either is
    // thrown again then. With no worker free, or when `there` was still
    // waiting for one once `here` ended, the caller runs it too: a keystroke
    // never waits behind background work. A null pool runs both here.
    template <typename Here, typename There>
    static void atOnce(WorkerPool *pool, Here here, There there);

    // Every piece of work, queued or running, is cancelled; waits for the
    // workers to end. Later posts are dropped. Not from a worker: the owner
    // that closes the pool (the engine) holds it until then, so that no
    // piece of work ever drops the last reference to it.
    void close();
    // The clock moved: delayed work is looked at again.
    void timeMoved();

private:
    struct Task {
        Work work;
        const void *group = nullptr;
        std::shared_ptr<std::atomic<bool>> cancelled;
        std::chrono::steady_clock::time_point due;
    };
    // A half handed to a worker by atOnce: whichever thread claims it first
    // runs it.
    struct Half {
        std::atomic<bool> claimed{false};
        std::function<void()> run;
        std::exception_ptr failed;
        std::mutex mutex;
        std::condition_variable ended;
        bool done = false;
    };

    void enqueue(const void *group, Work work, std::chrono::steady_clock::duration delay);
    void cancelGroup(const void *group, bool wait);
    // Puts `half` ahead of any queued work, for the first worker free to
    // take it; false when the pool has no worker or is closed. Whether one
    // is free now does not matter: a worker still starting, or ending a
    // piece of work, often is in time, and the caller takes back a half no
    // worker has taken.
    bool handOff(const std::shared_ptr<Half> &half);
    static void runHalf(Half &half);
    // Runs the first half handed off, with `lock` (on m_mutex) released
    // meanwhile; false when none waits.
    bool runWaitingHalf(std::unique_lock<std::mutex> &lock);
    // For giveWay: while a keystroke's work runs, runs the halves it hands
    // out. False once `cancelled` is set.
    bool helpForeground(const std::atomic<bool> &cancelled);
    void workerLoop(std::size_t slot);

    const Clock m_clock;
    std::atomic<int> m_foreground{0};
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idleGroup;
    std::deque<std::shared_ptr<Half>> m_halves;
    std::deque<Task> m_ready;
    std::vector<Task> m_delayed;
    // What each worker runs now, for cancel and cancelAndWait.
    std::vector<const Task *> m_running;
    bool m_closed = false;
    std::once_flag m_joinOnce;
    std::vector<std::thread> m_threads;
};

template <typename Here, typename There>
void WorkerPool::atOnce(WorkerPool *pool, Here here, There there)
{
    auto half = std::make_shared<Half>();
    half->run = [&there] { there(); };
    if (!pool || !pool->handOff(half)) {
        here();
        there();
        return;
    }
    {
        // The half is waited for however `here` ends, exceptions included:
        // it runs on the caller's stack.
        struct Finish {
            Half &half;
            ~Finish()
            {
                if (!half.claimed.exchange(true)) {
                    runHalf(half);
                    return;
                }
                std::unique_lock lock(half.mutex);
                half.ended.wait(lock, [&] { return half.done; });
            }
        } finish{*half};
        here();
    }
    if (half->failed)
        std::rethrow_exception(half->failed);
}

} // namespace jet_engine
