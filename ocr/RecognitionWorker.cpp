#include "ocr/RecognitionWorker.h"

#include "db/DbError.h"
#include "ocr/PageReading.h"

#include <QLoggingCategory>

#include <chrono>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace ocr {

namespace {

Q_LOGGING_CATEGORY(lcWorker, "cartulo.ocr.worker")

// Pages entering from another workstation are seen at the latest after this long.
constexpr int kIdleSeconds = 60;
constexpr int kRoundSize = 200;

// Linux gives each thread its own nice value: the screens keep the processor first.
void lowerThisThread()
{
    if (::setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), 19) != 0)
        qCDebug(lcWorker) << "priority unchanged";
}

} // namespace

RecognitionWorker::RecognitionWorker(ArchiveSource source, QObject *parent)
    : QObject(parent), m_source(std::move(source))
{
}

RecognitionWorker::~RecognitionWorker()
{
    {
        const std::lock_guard lock(m_lock);
        m_stopping = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void RecognitionWorker::start()
{
    if (!m_thread.joinable())
        m_thread = std::thread([this] { run(); });
}

void RecognitionWorker::setPaused(bool paused)
{
    {
        const std::lock_guard lock(m_lock);
        m_paused = paused;
    }
    m_changed.notify_all();
}

bool RecognitionWorker::isPaused() const
{
    const std::lock_guard lock(m_lock);
    return m_paused;
}

bool RecognitionWorker::isResting() const
{
    const std::lock_guard lock(m_lock);
    return m_resting;
}

void RecognitionWorker::wake()
{
    {
        const std::lock_guard lock(m_lock);
        m_woken = true;
    }
    m_changed.notify_all();
}

bool RecognitionWorker::mayGoOn()
{
    std::unique_lock lock(m_lock);
    m_changed.wait(lock, [this] { return m_stopping || !m_paused; });
    return !m_stopping;
}

bool RecognitionWorker::isStopping() const
{
    const std::lock_guard lock(m_lock);
    return m_stopping;
}

void RecognitionWorker::rest(int seconds)
{
    std::unique_lock lock(m_lock);
    m_resting = true;
    m_changed.wait_for(lock, std::chrono::seconds(seconds), [this] { return m_stopping || m_woken; });
    m_resting = false;
    m_woken = false;
}

void RecognitionWorker::run()
{
    lowerThisThread();
    std::unique_ptr<PageReading> reading;
    try {
        reading = std::make_unique<PageReading>(m_source);
        if (const QString why = reading->whyNot(); !why.isEmpty()) {
            emit unavailable(why);
            return;
        }
    } catch (const db::DbError &error) {
        emit unavailable(u"O arquivo não pôde ser aberto para o reconhecimento de texto: %1"_s.arg(error.message()));
        return;
    }
    while (!isStopping()) {
        bool readAny = false;
        try {
            emit waitingChanged(reading->lookAgain(kRoundSize)); // told even while paused
            while (mayGoOn() && reading->readNext()) {
                readAny = true;
                emit waitingChanged(reading->waiting());
            }
        } catch (const OcrError &error) {
            emit unavailable(error.message());
            return;
        } catch (const std::exception &error) {
            // The archive busy or the server away: tried again after a rest, not at once.
            qCWarning(lcWorker) << "recognition interrupted:" << error.what();
            readAny = false;
        }
        if (!readAny && !isStopping())
            rest(kIdleSeconds); // nothing read this round: wait for new pages, never spin
    }
}

} // namespace ocr
