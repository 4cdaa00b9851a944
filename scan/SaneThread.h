#pragma once
#include <QCoreApplication>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

namespace scan {

/// SANE loaded (sane_init) on one thread of its own that runs every call of the session in
/// order, and unloaded (sane_exit) when this goes away. Only sane_cancel may come from
/// another thread (ScanControl).
class SaneThread {
public:
    /// Throws ScanError(Device) when SANE cannot be started.
    SaneThread();
    ~SaneThread();
    SaneThread(const SaneThread &) = delete;
    SaneThread &operator=(const SaneThread &) = delete;

    /// Queues a task; it runs after those queued before it.
    void post(std::function<void()> task);

    /// Runs `f` on the SANE thread and waits for its result while the window keeps painting
    /// (user input waits meanwhile). Exceptions of `f` come out here.
    template <typename F>
    auto run(F &&f)
    {
        using Result = std::invoke_result_t<F>;
        auto task = std::make_shared<std::packaged_task<Result()>>(std::forward<F>(f));
        std::future<Result> future = task->get_future();
        post([task] { (*task)(); });
        while (future.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready)
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        return future.get();
    }

private:
    void loop();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_tasks;
    bool m_stopping = false;
    std::thread m_thread; // last: starts once the members above exist
};

} // namespace scan
