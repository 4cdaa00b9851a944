#include "scan/SaneThread.h"

#include "scan/SaneStatus.h"
#include "scan/ScanTypes.h"

#include <sane/sane.h>

using namespace Qt::StringLiterals;

namespace scan {

SaneThread::SaneThread() : m_thread([this] { loop(); })
{
    try {
        const SANE_Status status = run([] {
            SANE_Int version = 0;
            return sane_init(&version, nullptr);
        });
        if (status != SANE_STATUS_GOOD)
            throw ScanError(ScanError::Kind::Device, u"SANE não pôde ser iniciado: "_s + statusText(status));
    } catch (...) {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_one();
        m_thread.join();
        throw;
    }
}

SaneThread::~SaneThread()
{
    post([] { sane_exit(); });
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void SaneThread::post(std::function<void()> task)
{
    {
        std::lock_guard lock(m_mutex);
        m_tasks.push_back(std::move(task));
    }
    m_wake.notify_one();
}

void SaneThread::loop()
{
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_tasks.empty(); });
            if (m_tasks.empty())
                return;
            task = std::move(m_tasks.front());
            m_tasks.pop_front();
        }
        task();
    }
}

} // namespace scan
