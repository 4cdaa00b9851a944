#pragma once
#include "ocr/PageSupply.h"

#include <QObject>
#include <QString>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace ocr {

/// Recognises the archive's pages that have no text, one at a time, on a thread of its own
/// at the lowest priority, for as long as it lives. It finds its work in the archive (pages
/// without a text row), so pages that enter in any way, from this workstation or another,
/// are read, and the work goes on after a restart. Signals come from its thread.
class RecognitionWorker : public QObject {
    Q_OBJECT
public:
    explicit RecognitionWorker(ArchiveSource source, QObject *parent = nullptr);
    /// Stops after the page being read, if any.
    ~RecognitionWorker() override;

    void start();
    void setPaused(bool paused);
    bool isPaused() const;
    /// Everything found was read: it waits for new pages (a wake, or the next round).
    bool isResting() const;
    /// Pages may have entered or changed: look for waiting pages now rather than later.
    void wake();

signals:
    /// How many pages wait for recognition; 0 when all are read.
    void waitingChanged(int pages);
    /// Recognition is off here, and why (no right to write the texts, no table, no data).
    void unavailable(const QString &why);

private:
    void run();
    /// Waits while paused; false when stopping.
    bool mayGoOn();
    bool isStopping() const;
    /// Waits until woken, stopped or `seconds` pass.
    void rest(int seconds);

    ArchiveSource m_source;
    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_paused = false;
    bool m_stopping = false;
    bool m_woken = false;
    bool m_resting = false;
    std::thread m_thread;
};

} // namespace ocr
