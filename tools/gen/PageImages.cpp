#include "tools/gen/PageImages.h"

#include "editing/JpegImage.h"
#include "tools/gen/Vocabulary.h"

#include <QColor>
#include <QMutexLocker>
#include <QPainter>
#include <QPen>
#include <QThread>

#include <cmath>
#include <condition_variable>
#include <map>
#include <mutex>
#include <stdexcept>

using namespace Qt::StringLiterals;

namespace gen {

QString PageJob::fileName() const
{
    return process + document + QString::number(page).rightJustified(3, u'0') + u".jpg"_s;
}

namespace {

QSize a4Pixels(int dpi)
{
    return {int(std::lround(210.0 / 25.4 * dpi)), int(std::lround(297.0 / 25.4 * dpi))};
}

} // namespace

QFont fontAt(const QString &family, double points, int dpi, bool bold)
{
    QFont font(family);
    font.setPixelSize(std::max(4, int(std::lround(points * dpi / 72.0))));
    font.setBold(bold);
    return font;
}

// A typed municipal page: letterhead, identification, text, signature, a stamp on the first
// page; paper tone and a slight skew as a scanner delivers them.
QImage renderPage(const PageJob &job, const Expander &expander)
{
    Rng rng(job.seed);
    const QSize size = a4Pixels(job.dpi);
    QImage image(size, QImage::Format_RGB888);
    const int tone = 238 + rng.between(0, 14);
    image.fill(QColor(tone + 2 > 255 ? 255 : tone + 2, tone, tone - rng.between(4, 14)));

    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const double mm = job.dpi / 25.4;
    painter.translate(size.width() / 2.0, size.height() / 2.0);
    painter.rotate((rng.unit() - 0.5) * 0.8);
    painter.translate(-size.width() / 2.0, -size.height() / 2.0);

    const QColor ink(25, 25, 35);
    painter.setPen(ink);
    const QRectF body(25 * mm, 20 * mm, size.width() - 45 * mm, size.height() - 40 * mm);
    double y = body.top();

    auto line = [&](const QString &text, const QFont &font, Qt::Alignment align) {
        painter.setFont(font);
        const QRectF box(body.left(), y, body.width(), size.height());
        const QRectF used = painter.boundingRect(box, int(align | Qt::TextWordWrap), text);
        painter.drawText(box, int(align | Qt::TextWordWrap), text);
        y += used.height() + 2 * mm;
    };

    line(job.agency, fontAt(u"DejaVu Serif"_s, 14, job.dpi, true), Qt::AlignHCenter);
    line(job.sector, fontAt(u"DejaVu Serif"_s, 11, job.dpi), Qt::AlignHCenter);
    painter.setPen(QPen(ink, std::max(1.0, 0.4 * mm)));
    painter.drawLine(QPointF(body.left(), y), QPointF(body.right(), y));
    y += 4 * mm;
    painter.setPen(ink);
    line(u"Processo nº %1    Documento %2    Folha %3 de %4"_s.arg(job.process, job.document).arg(job.page).arg(job.pages),
         fontAt(u"DejaVu Sans Mono"_s, 9, job.dpi), Qt::AlignLeft);
    if (job.page == 1) {
        line(job.title, fontAt(u"DejaVu Serif"_s, 13, job.dpi, true), Qt::AlignHCenter);
        line(job.summary, fontAt(u"DejaVu Serif"_s, 11, job.dpi), Qt::AlignJustify);
    }

    // Running text up to three quarters of the page.
    const QFont textFont = fontAt(u"DejaVu Serif"_s, 11, job.dpi);
    const TextContext ctx{2000};
    while (y < body.top() + body.height() * 0.72) {
        string paragraph = "    ";
        const int sentences = rng.between(2, 5);
        for (int s = 0; s < sentences; ++s) {
            expander.expand(rng.pick(words(kOpeners)), rng, ctx, paragraph);
            paragraph += ' ';
            expander.expand(rng.pick(words(kObjects)), rng, ctx, paragraph);
            paragraph += ". ";
            expander.expand(rng.pick(words(kClosings)), rng, ctx, paragraph);
            paragraph += ' ';
        }
        line(QString::fromStdString(paragraph), textFont, Qt::AlignJustify);
    }

    y = body.bottom() - 30 * mm;
    line(job.dateText, textFont, Qt::AlignRight);
    y += 10 * mm;
    painter.setPen(QPen(ink, std::max(1.0, 0.3 * mm)));
    painter.drawLine(QPointF(body.center().x() - 40 * mm, y), QPointF(body.center().x() + 40 * mm, y));
    y += 2 * mm;
    line(job.signer, textFont, Qt::AlignHCenter);

    if (job.page == 1) {
        const QColor stampInk(30, 60, 160, 170);
        painter.setPen(QPen(stampInk, std::max(1.0, 0.6 * mm)));
        const QRectF stamp(body.left(), body.bottom() - 32 * mm, 40 * mm, 22 * mm);
        painter.drawRoundedRect(stamp, 3 * mm, 3 * mm);
        painter.setFont(fontAt(u"DejaVu Sans"_s, 8, job.dpi, true));
        painter.drawText(stamp, Qt::AlignCenter, u"PROTOCOLO\n"_s + job.dateText.right(10));
    }
    painter.end();
    return image;
}

QByteArray encodePage(const PageJob &job, const Expander &expander)
{
    return editing::jpeg::encode(renderPage(job, expander), editing::jpeg::kPageQuality);
}

PagePool::PagePool(int threads, Store store) : m_store(std::move(store))
{
    m_pool.setMaxThreadCount(threads);
}

PagePool::~PagePool()
{
    m_pool.waitForDone();
}

void PagePool::add(PageJob job)
{
    ++m_queued;
    m_pool.start([this, job = std::move(job)] {
        try {
            const QByteArray bytes = encodePage(job, m_expander);
            m_store(job, bytes);
            m_bytes += bytes.size();
        } catch (const std::exception &e) {
            QMutexLocker lock(&m_errorMutex);
            if (m_error.isEmpty())
                m_error = QString::fromLocal8Bit(e.what());
        }
        ++m_done;
    });
}

void PagePool::throttle(int limit)
{
    while (m_queued - m_done > limit)
        QThread::msleep(5);
}

void PagePool::wait()
{
    m_pool.waitForDone();
}

QString PagePool::error() const
{
    QMutexLocker lock(&m_errorMutex);
    return m_error;
}

void encodeInOrder(const std::vector<PageJob> &jobs, int threads,
                   const std::function<void(const PageJob &, const QByteArray &)> &consume)
{
    std::mutex mutex;
    std::condition_variable ready;
    std::map<size_t, QByteArray> finished;
    QString failure;
    const Expander expander;
    QThreadPool pool;
    pool.setMaxThreadCount(threads);
    const size_t window = size_t(std::max(2, threads * 2));
    size_t next = 0; // the next job handed to the pool
    // Whatever happens below, no worker outlives the variables it writes to.
    struct Drain {
        QThreadPool &pool;
        ~Drain() { pool.waitForDone(); }
    } drain{pool};
    for (size_t consumed = 0; consumed < jobs.size(); ++consumed) {
        for (; next < jobs.size() && next < consumed + window; ++next) {
            pool.start([&, index = next] {
                QByteArray bytes;
                QString error;
                try {
                    bytes = encodePage(jobs[index], expander);
                } catch (const std::exception &e) {
                    error = QString::fromLocal8Bit(e.what());
                }
                const std::lock_guard lock(mutex);
                if (!error.isEmpty() && failure.isEmpty())
                    failure = error;
                finished[index] = std::move(bytes);
                ready.notify_all();
            });
        }
        QByteArray bytes;
        {
            std::unique_lock lock(mutex);
            ready.wait(lock, [&] { return finished.count(consumed) > 0; });
            if (!failure.isEmpty())
                throw std::runtime_error(failure.toStdString());
            bytes = std::move(finished[consumed]);
            finished.erase(consumed);
        }
        consume(jobs[consumed], bytes);
    }
}

} // namespace gen
