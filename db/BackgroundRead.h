#pragma once
// Engine-layer internal, engine-neutral: reading the rest of a result off the
// user-interface thread.
#include "db/ResultReader.h"
#include "db/ResultRows.h"

#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace db {

/// Reads what a ResultReader has left into ResultRows on a thread of its own. The reader
/// (and the snapshot it holds) is let go on that thread as soon as the last row is in.
class BackgroundRead {
public:
    /// Called on the reading thread as rows come in (at most every few tens of
    /// milliseconds) and once more when the reading has ended.
    using Progress = std::function<void()>;

    BackgroundRead(std::unique_ptr<ResultReader> reader, std::shared_ptr<ResultRows> rows, Progress progress);
    ~BackgroundRead(); ///< stops as stop() does
    BackgroundRead(const BackgroundRead &) = delete;
    BackgroundRead &operator=(const BackgroundRead &) = delete;

    /// Ends the reading early: the rows read so far stay, and the rows end with `reason`.
    /// Returns when the reading thread has finished.
    void stop(const QString &reason);
    /// Returns when every row has been read (or the reading failed).
    void wait();

private:
    void run();

    std::shared_ptr<ResultRows> m_rows;
    Progress m_progress;
    std::mutex m_readerMutex;
    std::unique_ptr<ResultReader> m_reader; // reset by the reading thread at its end
    std::atomic<bool> m_stopping{false};
    QString m_stopReason; // written before m_stopping is set
    std::thread m_thread;
};

} // namespace db
