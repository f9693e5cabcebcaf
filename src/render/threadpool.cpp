// The pool's workers wait on one condition variable for a new generation of work and then
// take indices from a shared counter until none is left, as the calling thread does too; the
// last one to finish wakes the caller.

#include "threadpool.h"

namespace RenderInternals {

namespace {

// Set on the workers, so a body that itself asks for parallel work runs it inline rather
// than waiting for threads that are all busy with the outer call.
thread_local bool insideWorker = false;

} // namespace

ThreadPool::ThreadPool(int threads)
{
    for (int i = 0; i < threads; ++i)
        m_threads.emplace_back([this] { workerLoop(); });
}

ThreadPool::~ThreadPool()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    for (auto &t : m_threads)
        t.join();
}

void ThreadPool::run(int count, const std::function<void(int)> &body)
{
    // Nested or concurrent callers (a preview while an export renders) run on their own
    // thread instead of waiting for the pool.
    std::unique_lock busy(m_runMutex, std::try_to_lock);
    if (!busy.owns_lock() || insideWorker || m_threads.empty() || count <= 1) {
        for (int i = 0; i < count; ++i)
            body(i);
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        m_body = &body;
        m_count = count;
        m_next.store(0);
        m_active = int(m_threads.size());
        ++m_generation;
    }
    m_wake.notify_all();
    work(body, count);
    std::unique_lock lock(m_mutex);
    m_done.wait(lock, [this] { return m_active == 0; });
    m_body = nullptr;
}

void ThreadPool::work(const std::function<void(int)> &body, int count)
{
    for (int i = m_next.fetch_add(1); i < count; i = m_next.fetch_add(1))
        body(i);
}

void ThreadPool::workerLoop()
{
    insideWorker = true;
    uint64_t seen = 0;
    for (;;) {
        const std::function<void(int)> *body;
        int count;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [&] { return m_stop || m_generation != seen; });
            if (m_stop)
                return;
            seen = m_generation;
            body = m_body;
            count = m_count;
        }
        work(*body, count);
        std::lock_guard lock(m_mutex);
        if (--m_active == 0)
            m_done.notify_all();
    }
}

} // namespace RenderInternals
