#include "db/BackgroundRead.h"

#include "db/DbError.h"

#include <chrono>

namespace db {

namespace {

// Rows handed over together: few enough that a wait for a row is short, many enough
// that handing over costs nothing.
constexpr int kRowsPerBatch = 256;
constexpr auto kProgressInterval = std::chrono::milliseconds(40);

} // namespace

BackgroundRead::BackgroundRead(std::unique_ptr<ResultReader> reader, std::shared_ptr<ResultRows> rows,
                               Progress progress)
    : m_rows(std::move(rows)), m_progress(std::move(progress)), m_reader(std::move(reader))
{
    m_thread = std::thread([this] { run(); });
}

BackgroundRead::~BackgroundRead()
{
    stop(QStringLiteral("A leitura da consulta foi interrompida."));
}

void BackgroundRead::run()
{
    ResultRows::Batch batch;
    std::optional<QString> error;
    bool reachedEnd = false;
    auto lastProgress = std::chrono::steady_clock::now();
    try {
        while (!m_stopping.load(std::memory_order_acquire)) {
            if (!m_reader->readRow(batch)) {
                reachedEnd = true;
                break;
            }
            if (batch.rowCount() >= kRowsPerBatch) {
                m_rows->append(batch);
                const auto now = std::chrono::steady_clock::now();
                if (now - lastProgress >= kProgressInterval) {
                    lastProgress = now;
                    m_progress();
                }
            }
        }
    } catch (const DbError &failure) {
        error = failure.message();
    }
    m_rows->append(batch);
    if (!reachedEnd && m_stopping.load(std::memory_order_acquire))
        error = m_stopReason;
    {
        std::lock_guard lock(m_readerMutex);
        m_reader.reset(); // the snapshot ends here, not when the cursor closes
    }
    m_rows->end(error);
    m_progress();
}

void BackgroundRead::stop(const QString &reason)
{
    if (!m_thread.joinable())
        return;
    if (!m_rows->isComplete()) {
        m_stopReason = reason;
        m_stopping.store(true, std::memory_order_release);
        std::lock_guard lock(m_readerMutex);
        if (m_reader)
            m_reader->cancel();
    }
    m_thread.join();
}

void BackgroundRead::wait()
{
    if (m_thread.joinable())
        m_thread.join();
}

} // namespace db
