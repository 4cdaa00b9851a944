#pragma once
// Page images: a typed municipal page drawn with QPainter and encoded by the program's own
// JPEG code, the same bytes for the same job.
#include "tools/gen/Text.h"

#include <QByteArray>
#include <QFont>
#include <QImage>
#include <QMutex>
#include <QString>
#include <QThreadPool>

#include <atomic>
#include <functional>
#include <vector>

namespace gen {

struct PageJob {
    QString process;
    QString document;
    QString title;
    QString summary;
    QString agency;
    QString sector;
    QString signer;
    QString dateText;
    int page = 1;
    int pages = 1;
    int dpi = 150;
    uint64_t seed = 0;

    /// The page's name in the folder of pages: process, document and number ("0000100002003.jpg").
    QString fileName() const;
};

QFont fontAt(const QString &family, double points, int dpi, bool bold = false);
QImage renderPage(const PageJob &job, const Expander &expander);
/// The JPEG bytes of a page.
QByteArray encodePage(const PageJob &job, const Expander &expander);

/// Encodes pages on worker threads and hands each one's bytes to `store`, also on a worker
/// thread; the first failure is kept and reported by error().
class PagePool {
public:
    using Store = std::function<void(const PageJob &, const QByteArray &)>;
    PagePool(int threads, Store store);
    ~PagePool();

    void add(PageJob job);
    /// Blocks while more than `limit` pages wait, so queued jobs never pile up in memory.
    void throttle(int limit);
    void wait();
    long long done() const { return m_done; }
    long long queued() const { return m_queued; }
    long long bytes() const { return m_bytes; }
    QString error() const;

private:
    Expander m_expander;
    Store m_store;
    QThreadPool m_pool;
    std::atomic<long long> m_queued{0};
    std::atomic<long long> m_done{0};
    std::atomic<long long> m_bytes{0};
    mutable QMutex m_errorMutex;
    QString m_error;
};

/// Encodes `jobs` on `threads` worker threads and hands the bytes to `consume` on the
/// calling thread in the jobs' order, with only a few pages held in memory at a time.
void encodeInOrder(const std::vector<PageJob> &jobs, int threads,
                   const std::function<void(const PageJob &, const QByteArray &)> &consume);

} // namespace gen
