#include "jet_engine/pool/worker_pool.h"

#include <algorithm>
#include <system_error>

namespace jet_engine {

bool WorkToken::giveWay() const { return m_pool->helpForeground(*m_cancelled); }

bool WorkerPool::helpForeground(const std::atomic<bool> &cancelled)
{
    std::unique_lock lock(m_mutex);
    while (m_foreground.load(std::memory_order_relaxed) > 0 && !cancelled.load(std::memory_order_relaxed)) {
        // A worker busy with background work is no worker free to the
        // search, unless it takes the search's halves while it waits.
        if (runWaitingHalf(lock))
            continue;
        // A whole millisecond: mingw-w64's run-time rounds a shorter wait
        // down to none, and the waiting worker would spin on a core.
        m_wake.wait_for(lock, std::chrono::milliseconds(1));
    }
    return !cancelled.load(std::memory_order_relaxed);
}

WorkerPool::WorkerPool(unsigned workers, Clock clock) : m_clock(std::move(clock))
{
    m_running.resize(workers, nullptr);
    m_threads.reserve(workers);
    for (std::size_t slot = 0; slot < workers; ++slot) {
        try {
            m_threads.emplace_back([this, slot] { workerLoop(slot); });
        } catch (const std::system_error &) {
            // Fewer workers: atOnce runs more halves on the caller, and
            // background work waits its turn.
            break;
        }
    }
}

unsigned WorkerPool::processors() { return std::thread::hardware_concurrency(); }

std::shared_ptr<WorkerPool> WorkerPool::forThisMachine()
{
    return std::make_shared<WorkerPool>(std::max(2u, processors()));
}

WorkerPool::~WorkerPool() { close(); }

void WorkerPool::close()
{
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
        m_ready.clear();
        m_delayed.clear();
        for (const Task *task : m_running)
            if (task)
                task->cancelled->store(true, std::memory_order_relaxed);
    }
    m_wake.notify_all();
    std::call_once(m_joinOnce, [this] {
        for (std::thread &thread : m_threads)
            thread.join();
    });
}

void WorkerPool::timeMoved() { m_wake.notify_all(); }

void WorkerPool::enqueue(const void *group, Work work, std::chrono::steady_clock::duration delay)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_closed)
            return;
        Task task{std::move(work), group, std::make_shared<std::atomic<bool>>(false), m_clock() + delay};
        if (delay > std::chrono::steady_clock::duration::zero())
            m_delayed.push_back(std::move(task));
        else
            m_ready.push_back(std::move(task));
    }
    m_wake.notify_one();
}

void WorkerPool::cancelGroup(const void *group, bool wait)
{
    std::unique_lock lock(m_mutex);
    const auto ofGroup = [group](const Task &task) { return task.group == group; };
    m_ready.erase(std::remove_if(m_ready.begin(), m_ready.end(), ofGroup), m_ready.end());
    m_delayed.erase(std::remove_if(m_delayed.begin(), m_delayed.end(), ofGroup), m_delayed.end());
    const auto running = [&] {
        bool any = false;
        for (const Task *task : m_running)
            if (task && task->group == group) {
                task->cancelled->store(true, std::memory_order_relaxed);
                any = true;
            }
        return any;
    };
    if (wait)
        m_idleGroup.wait(lock, [&] { return !running(); });
    else
        running();
}

bool WorkerPool::handOff(const std::shared_ptr<Half> &half)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_closed || m_threads.empty())
            return false;
        m_halves.push_back(half);
    }
    // Every worker: an idle one, or one giving way to the search.
    m_wake.notify_all();
    return true;
}

void WorkerPool::runHalf(Half &half)
{
    try {
        half.run();
    } catch (...) {
        half.failed = std::current_exception();
    }
    {
        std::lock_guard lock(half.mutex);
        half.done = true;
    }
    half.ended.notify_all();
}

bool WorkerPool::runWaitingHalf(std::unique_lock<std::mutex> &lock)
{
    if (m_halves.empty())
        return false;
    const std::shared_ptr<Half> half = std::move(m_halves.front());
    m_halves.pop_front();
    lock.unlock();
    if (!half->claimed.exchange(true))
        runHalf(*half);
    lock.lock();
    return true;
}

void WorkerPool::workerLoop(std::size_t slot)
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (m_closed)
            return;
        if (runWaitingHalf(lock))
            continue;
        const auto now = m_clock();
        auto due = std::chrono::steady_clock::time_point::max();
        for (auto it = m_delayed.begin(); it != m_delayed.end();) {
            if (it->due <= now) {
                m_ready.push_back(std::move(*it));
                it = m_delayed.erase(it);
            } else {
                due = std::min(due, it->due);
                ++it;
            }
        }
        if (m_ready.empty()) {
            if (due == std::chrono::steady_clock::time_point::max())
                m_wake.wait(lock);
            else
                m_wake.wait_for(lock, due - now);
            continue;
        }
        Task task = std::move(m_ready.front());
        m_ready.pop_front();
        m_running[slot] = &task;
        lock.unlock();
        try {
            task.work(WorkToken(task.cancelled, *this));
        } catch (...) {
            // Background work has no one to report to: what it failed to
            // make is made again by whoever needs it.
        }
        lock.lock();
        m_running[slot] = nullptr;
        m_idleGroup.notify_all();
    }
}

WorkerPool::Group::Group(std::shared_ptr<WorkerPool> pool) : m_pool(std::move(pool)) {}

WorkerPool::Group::~Group() { cancelAndWait(); }

void WorkerPool::Group::post(Work work, std::chrono::steady_clock::duration delay)
{
    if (m_pool)
        m_pool->enqueue(this, std::move(work), delay);
}

void WorkerPool::Group::cancelAndWait()
{
    if (m_pool)
        m_pool->cancelGroup(this, true);
}

void WorkerPool::Group::cancel()
{
    if (m_pool)
        m_pool->cancelGroup(this, false);
}

WorkerPool::Foreground::Foreground(WorkerPool *pool) : m_pool(pool)
{
    if (m_pool)
        m_pool->m_foreground.fetch_add(1, std::memory_order_relaxed);
}

WorkerPool::Foreground::~Foreground()
{
    if (m_pool)
        m_pool->m_foreground.fetch_sub(1, std::memory_order_relaxed);
}

} // namespace jet_engine
