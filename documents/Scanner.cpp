#include "documents/Scanner.h"

#include "documents/ScanProgressDialog.h"
#include "documents/ScanSourceDialog.h"
#include "editing/JpegImage.h"
#include "editing/Prompt.h"
#include "pages/PageStore.h"
#include "scan/FeederRun.h"
#include "scan/SaneSession.h"
#include "scan/SaneThread.h"
#include "scan/ScanMemory.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QScopeGuard>

#include <atomic>
#include <condition_variable>
#include <future>
#include <mutex>

using namespace Qt::StringLiterals;

namespace documents {

namespace {

Q_LOGGING_CATEGORY(lcScan, "cartulo.scanner")

const QString kNoScanner = u"Nenhum scanner foi encontrado. Verifique se o scanner está ligado e conectado."_s;
const QString kFeederEmpty = u"O alimentador de folhas está vazio: nenhuma página foi digitalizada."_s;
const QString kNoMemory = u"Não há memória para a página lida do scanner."_s;

// Runs a task of the SANE thread; nothing thrown may leave that thread (it would end the
// program), so every failure becomes a message.
template <typename F>
QString failureOf(F &&task) noexcept
{
    try {
        task();
        return {};
    } catch (const scan::ScanError &error) {
        return error.message();
    } catch (const std::bad_alloc &) {
        return kNoMemory;
    } catch (const std::exception &error) {
        return QString::fromLocal8Bit(error.what());
    }
}

QString messageOf(const std::exception &error)
{
    if (const auto *page = dynamic_cast<const pages::PageError *>(&error))
        return page->message();
    return QString::fromLocal8Bit(error.what());
}

// Shows the dialog while the SANE thread works, and waits until the task has stopped: it
// closes the dialog itself (queued, so inside exec()) and only then says it finished.
void runWithDialog(scan::SaneThread &sane, QDialog &dialog, std::function<void()> task)
{
    auto finished = std::make_shared<std::atomic<bool>>(false);
    QDialog *const dialogAddress = &dialog;
    sane.post([task = std::move(task), finished, dialogAddress] {
        task();
        QMetaObject::invokeMethod(dialogAddress, &QDialog::accept, Qt::QueuedConnection);
        *finished = true;
    });
    dialog.exec();
    while (!*finished)
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 5);
}

// Pages between the SANE thread and the window's: one being encoded while the one before
// is stored and the next is read; a slow disk holds the feeder back instead of filling the
// memory.
struct Handover {
    static constexpr int kInFlight = 2;
    std::mutex mutex;
    std::condition_variable stored;
    int pending = 0;
    bool refused = false;

    // On the SANE thread: waits for room; false once storing failed.
    bool reserve()
    {
        std::unique_lock lock(mutex);
        stored.wait(lock, [this] { return pending < kInFlight; });
        if (refused)
            return false;
        ++pending;
        return true;
    }
    // On the window's thread, after a page was stored or refused.
    void release(bool ok)
    {
        {
            std::lock_guard lock(mutex);
            --pending;
            refused = refused || !ok;
        }
        stored.notify_all();
    }
};

// A grey page goes to the colour encoder in bands: never a whole RGB32 copy of it.
QByteArray encodeScannedPage(const QImage &page)
{
    if (page.format() == QImage::Format_RGB32)
        return editing::jpeg::encode(page);
    constexpr int kBand = 64;
    editing::jpeg::BandEncoder encoder(page.size());
    for (int y = 0; y < page.height(); y += kBand)
        encoder.addBand(page.copy(0, y, page.width(), std::min(kBand, page.height() - y)));
    return encoder.finish();
}

FeederBatch::End batchEnd(const scan::FeederRunEnd &run, bool storeFailed)
{
    using Kind = scan::FeederRunEnd::Kind;
    if (storeFailed)
        return FeederBatch::End::Failed;
    switch (run.kind) {
    case Kind::FeederEmpty:
        return run.delivered + run.skippedBlank == 0 ? FeederBatch::End::EmptyAtStart : FeederBatch::End::FeederEmpty;
    case Kind::Stopped:
    case Kind::Cancelled:
        return FeederBatch::End::Cancelled;
    case Kind::Full:
        return FeederBatch::End::Full;
    case Kind::Failed:
        break;
    }
    return FeederBatch::End::Failed;
}

} // namespace

Scanner::Scanner(QObject *parent) : QObject(parent) {}

Scanner::~Scanner()
{
    unload();
}

bool Scanner::isLoaded() const
{
    return m_sane != nullptr;
}

int Scanner::load()
{
    if (isLoaded())
        return 1;
    m_lastError.clear();
    try {
        m_sane = std::make_unique<scan::SaneThread>();
    } catch (const scan::ScanError &error) {
        m_lastError = error.message();
        qCWarning(lcScan) << m_lastError;
        return 0;
    }
    return 1;
}

void Scanner::unload()
{
    m_sane.reset();
}

QList<ScanSource> Scanner::sources()
{
    const bool loadedHere = !isLoaded();
    if (loadedHere && load() <= 0)
        return {};
    const auto unloadAfter = qScopeGuard([&] {
        if (loadedHere)
            unload();
    });
    return m_sane->run([] { return scan::findDevices(); });
}

ScanSourceOptions Scanner::sourceOptions(const QString &device)
{
    const bool loadedHere = !isLoaded();
    if (loadedHere && load() <= 0)
        throw scan::ScanError(scan::ScanError::Kind::Device, m_lastError);
    const auto unloadAfter = qScopeGuard([&] {
        if (loadedHere)
            unload();
    });
    return m_sane->run([device] {
        scan::SaneSession session(device);
        return session.options();
    });
}

std::optional<ScanSettings> Scanner::settings() const
{
    return m_settings;
}

void Scanner::setSettings(const ScanSettings &settings)
{
    m_settings = settings;
}

bool Scanner::feederChosen() const
{
    return m_settings && scan::isFeederSource(m_settings->source);
}

std::optional<ScanSettings> Scanner::rememberedFor(const QString &device) const
{
    if (m_settings && m_settings->device == device)
        return m_settings;
    return scan::ScanMemory().settingsOf(device);
}

int Scanner::selectSource(QWidget *window)
{
    const bool loadedHere = !isLoaded();
    if (loadedHere && load() <= 0) {
        editing::prompt().message(kNoScanner);
        return 0;
    }
    const auto unloadAfter = qScopeGuard([&] {
        if (loadedHere)
            unload();
    });
    const QList<ScanSource> found = sources();
    if (found.isEmpty()) {
        editing::prompt().message(kNoScanner);
        return 0;
    }
    const scan::ScanMemory memory;
    const QString initial = m_settings ? m_settings->device : memory.lastDevice().value_or(QString());
    ScanSourceDialog dialog(
        window, found, initial, [this](const QString &device) { return sourceOptions(device); },
        [this](const QString &device) { return rememberedFor(device); });
    if (dialog.exec() != QDialog::Accepted)
        return 0;
    m_settings = dialog.chosen();
    scan::ScanMemory().remember(*m_settings);
    qCDebug(lcScan) << "source chosen:" << m_settings->device << m_settings->source << m_settings->mode
                    << m_settings->resolution;
    return 1;
}

std::optional<ScanSettings> Scanner::settingsToScan()
{
    if (m_settings)
        return m_settings;
    // No choice yet: the first source found, as TWAIN's default source.
    const QList<ScanSource> found = sources();
    if (found.isEmpty())
        return std::nullopt;
    ScanSettings settings;
    settings.device = found.front().name;
    return settings;
}

int Scanner::acquire(QWidget *window)
{
    m_image = QImage();
    m_lastError.clear();
    m_cancelled = false;
    if (!isLoaded()) {
        m_lastError = u"O scanner não foi carregado."_s;
        return 0;
    }
    const std::optional<ScanSettings> settings = settingsToScan();
    if (!settings) {
        m_lastError = kNoScanner;
        return 0;
    }
    scan::ScanControl control;
    ScanProgressDialog dialog(window, control, ScanProgressDialog::Kind::OnePage);
    scan::SaneSession::Read read;
    QString error;
    runWithDialog(*m_sane, dialog, [&] {
        error = failureOf([&] {
            scan::SaneSession session(settings->device, &control);
            session.apply(*settings);
            read = session.readPage();
            session.endScan();
        });
    });
    m_cancelled = control.isCancelled();
    if (m_cancelled)
        return 0; // a cancelled page is never delivered, even if it had arrived whole
    if (error.isEmpty() && read.outcome == scan::SaneSession::Outcome::FeederEmpty)
        error = kFeederEmpty;
    m_lastError = error;
    if (!m_lastError.isEmpty()) {
        qCWarning(lcScan) << m_lastError;
        return 0;
    }
    if (read.outcome != scan::SaneSession::Outcome::Page)
        return 0; // the device called the scan off itself
    m_image = std::move(read.image);
    return m_image.isNull() ? 0 : 1;
}

FeederBatch Scanner::acquireBatch(QWidget *window, int room, const std::function<void(const ScannedPage &)> &store)
{
    FeederBatch batch;
    m_image = QImage();
    m_lastError.clear();
    m_cancelled = false;
    const bool loadedHere = !isLoaded();
    const auto unloadAfter = qScopeGuard([&] {
        if (loadedHere)
            unload();
    });
    std::optional<ScanSettings> settings;
    if (!loadedHere || load() > 0)
        settings = settingsToScan();
    if (!settings) {
        batch.end = FeederBatch::End::Failed;
        batch.error = m_lastError.isEmpty() ? kNoScanner : m_lastError;
        m_lastError = batch.error;
        return batch;
    }

    scan::ScanControl control;
    ScanProgressDialog dialog(window, control, ScanProgressDialog::Kind::Feeder);
    Handover handover;
    QString storeError;
    // On the window's thread, in the order the pages came.
    auto storePage = [&](const QImage &image, const std::shared_future<QByteArray> &jpeg) {
        bool ok = true;
        try {
            store({image, jpeg.get()});
            dialog.setStored(++batch.stored);
        } catch (const std::exception &error) {
            ok = false;
            storeError = messageOf(error);
            control.stopAfterPage();
        }
        handover.release(ok);
    };
    auto deliver = [&](QImage page) {
        if (!handover.reserve())
            return false;
        std::shared_future<QByteArray> jpeg = std::async(std::launch::async, [page] { return encodeScannedPage(page); });
        QMetaObject::invokeMethod(
            &dialog, [&storePage, page = std::move(page), jpeg] { storePage(page, jpeg); }, Qt::QueuedConnection);
        return true;
    };
    scan::FeederRunEnd run;
    runWithDialog(*m_sane, dialog, [&] {
        const QString error = failureOf([&] {
            scan::SaneSession session(settings->device, &control);
            session.apply(*settings);
            run = scan::runFeeder(session, control, *settings, room, deliver);
        });
        if (!error.isEmpty()) {
            run.kind = scan::FeederRunEnd::Kind::Failed;
            run.error = error;
        }
    });
    m_cancelled = control.isCancelled();
    batch.end = batchEnd(run, !storeError.isEmpty());
    batch.skippedBlank = run.skippedBlank;
    batch.error = !storeError.isEmpty() ? storeError : run.error;
    if (batch.end == FeederBatch::End::EmptyAtStart)
        batch.error = kFeederEmpty;
    m_lastError = batch.error;
    if (!m_lastError.isEmpty())
        qCWarning(lcScan) << m_lastError;
    return batch;
}

QImage Scanner::takeImage()
{
    return std::exchange(m_image, QImage());
}

QString Scanner::lastError() const
{
    return m_lastError;
}

bool Scanner::lastWasCancelled() const
{
    return m_cancelled;
}

} // namespace documents
