#pragma once

// The render engine's own worker threads. A render is split into strips that the workers and
// the calling thread take one by one; the pool is made once with the RenderContext, so a
// preview does not pay for starting threads. It does not queue: a second render that arrives
// while one runs (a preview during an export) works alone on its caller's thread instead of
// waiting behind the first.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace RenderInternals {

class ThreadPool
{
public:
    explicit ThreadPool(int threads);
    ~ThreadPool();
    ThreadPool(const ThreadPool &) = delete;
    ThreadPool &operator=(const ThreadPool &) = delete;

    // The workers and the calling thread.
    int size() const { return int(m_threads.size()) + 1; }

    // Runs body(i) for i in [0, count); returns when all are done.
    void run(int count, const std::function<void(int)> &body);

private:
    void work(const std::function<void(int)> &body, int count);
    void workerLoop();

    std::vector<std::thread> m_threads;
    std::mutex m_runMutex;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    const std::function<void(int)> *m_body = nullptr;
    int m_count = 0;
    std::atomic<int> m_next{0};
    int m_active = 0;
    uint64_t m_generation = 0;
    bool m_stop = false;
};

} // namespace RenderInternals
