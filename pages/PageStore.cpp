#include "pages/PageStore.h"

#include "db/Connection.h"
#include "editing/JpegImage.h"
#include "pages/DbPageStore.h"
#include "pages/FolderPageStore.h"
#include "pages/PageChange.h"
#include "pages/PageHistory.h"
#include "pages/PageTextFollower.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLoggingCategory>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace pages {

namespace {

Q_LOGGING_CATEGORY(lcChanges, "cartulo.pages.changes")

constexpr int kCodeDigits = 5;

// Five ASCII digits: with any other length "1" + "00011" and "10001" + "1" name one page.
bool isFiveDigitCode(const QString &code)
{
    return code.size() == kCodeDigits
        && std::all_of(code.begin(), code.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

} // namespace

QStringList MovedPages::names() const
{
    QStringList result;
    for (const Move &move : m_moves)
        result.append(move.name);
    return result;
}

void PageStore::requireCode(const QString &code, const QString &what)
{
    if (!isFiveDigitCode(code))
        throw PageError(PageError::Kind::BadCode,
                        u"Código de %1 inválido para uma página: \"%2\" (são cinco algarismos)"_s.arg(what, code));
}

QString PageStore::pageName(const DocumentKey &key, int page)
{
    requireCode(key.process, u"processo"_s);
    requireCode(key.document, u"documento"_s);
    if (page < 1)
        throw PageError(PageError::Kind::BadCode, u"Número de página inválido: %1"_s.arg(page));
    requirePageNumber(page);
    return key.process + key.document + QString::number(page).rightJustified(3, u'0') + u".jpg"_s;
}

std::optional<PageStore::NamedPage> PageStore::pageOfName(const QString &name)
{
    constexpr qsizetype kStem = 2 * kCodeDigits;
    if (name.size() < kStem + 3 + 4 || !name.endsWith(u".jpg"_s))
        return std::nullopt;
    const QString number = name.mid(kStem, name.size() - kStem - 4);
    const DocumentKey key{name.left(kCodeDigits), name.mid(kCodeDigits, kCodeDigits)};
    const bool digits = std::all_of(number.begin(), number.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    if (!digits || !canName(key))
        return std::nullopt;
    return NamedPage{key, number.toInt()};
}

bool PageStore::canName(const DocumentKey &key)
{
    return isFiveDigitCode(key.process) && isFiveDigitCode(key.document);
}

void PageStore::requirePageNumber(int page)
{
    if (page > kMaxPages)
        throw PageError(PageError::Kind::PageLimit,
                        u"O documento já tem %1 páginas, o máximo que um documento pode ter. "
                        u"A página não foi incluída."_s.arg(kMaxPages));
}

QString PageStore::bytesOrigin(const DocumentKey &key)
{
    return u"da página do documento %1 do processo %2"_s.arg(key.document, key.process);
}

void PageStore::requireJpeg(const QByteArray &bytes, const QString &origin)
{
    if (!editing::jpeg::isJpegData(bytes))
        throw PageError(PageError::Kind::NotJpeg,
                        u"O arquivo %1 não é uma imagem JPEG. A página não foi incluída."_s.arg(origin));
}

namespace {

// The check and the store use the same bytes, so what was checked is what is stored.
QByteArray readJpegFile(const QString &sourcePath)
{
    QFile source(sourcePath);
    if (sourcePath.isEmpty() || !source.exists())
        throw PageError(PageError::Kind::SourceMissing, u"Arquivo nao encontrado"_s);
    if (!source.open(QIODevice::ReadOnly))
        throw PageError(PageError::Kind::Io, u"Não foi possível ler o arquivo %1: %2"_s.arg(sourcePath, source.errorString()));
    const QByteArray bytes = source.readAll();
    if (source.error() != QFileDevice::NoError)
        throw PageError(PageError::Kind::Io, u"Não foi possível ler o arquivo %1: %2"_s.arg(sourcePath, source.errorString()));
    return bytes;
}

QByteArray encodePage(const QImage &image)
{
    try {
        return editing::jpeg::encode(image, editing::jpeg::kPageQuality);
    } catch (const editing::jpeg::JpegError &error) {
        throw PageError(PageError::Kind::Io, error.message());
    }
}

} // namespace

void PageStore::storeFile(const DocumentKey &key, int page, const QString &sourcePath) const
{
    pageName(key, page); // refused before the file is read
    const QByteArray bytes = readJpegFile(sourcePath);
    requireJpeg(bytes, QDir::toNativeSeparators(sourcePath));
    storeBytes(key, page, bytes);
}

void PageStore::storeImage(const DocumentKey &key, int page, const QImage &image) const
{
    pageName(key, page);
    storeBytes(key, page, encodePage(image));
}

int PageStore::appendFile(const DocumentKey &key, const QString &sourcePath) const
{
    pageName(key, 1);
    const QByteArray bytes = readJpegFile(sourcePath);
    requireJpeg(bytes, QDir::toNativeSeparators(sourcePath));
    return appendBytes(key, bytes);
}

int PageStore::appendImage(const DocumentKey &key, const QImage &image) const
{
    pageName(key, 1);
    return appendBytes(key, encodePage(image));
}

QImage PageStore::previewImage(const QString &entryName, QSize box) const
{
    const std::optional<QByteArray> bytes = pageBytes(entryName);
    if (!bytes)
        return {};
    try {
        return editing::jpeg::decodeToCover(*bytes, box);
    } catch (const editing::jpeg::JpegError &error) {
        throw PageError(PageError::Kind::Io, error.message());
    }
}

QImage PageStore::fullImage(const QString &entryName) const
{
    const std::optional<QByteArray> bytes = pageBytes(entryName);
    if (!bytes)
        return {};
    try {
        return editing::jpeg::decode(*bytes);
    } catch (const editing::jpeg::JpegError &error) {
        throw PageError(PageError::Kind::Io, error.message());
    }
}

PagePrint PagePrint::of(QByteArrayView jpeg)
{
    return {jpeg.size(), QString::fromLatin1(QCryptographicHash::hash(jpeg, QCryptographicHash::Sha256).toHex())};
}

bool PageStore::isListened() const
{
    const std::lock_guard lock(m_listenersLock);
    return !m_listeners.empty();
}

void PageStore::addListener(std::function<void(const PageChange &)> listener)
{
    const std::lock_guard lock(m_listenersLock);
    m_listeners.push_back(std::move(listener));
}

void PageStore::notify(const PageChange &change) const
{
    std::vector<std::function<void(const PageChange &)>> listeners;
    {
        const std::lock_guard lock(m_listenersLock);
        listeners = m_listeners;
    }
    for (const auto &listener : listeners) {
        try {
            listener(change);
        } catch (const std::exception &error) {
            // The pages did change: the caller is told of success, the log of what lags.
            qCWarning(lcChanges) << "a listener could not follow a page change:" << error.what();
        }
    }
}

std::shared_ptr<PageStore> openPageStore(const QString &programDir, const db::Connection *connection)
{
    if (connection && connection->isOpen() && connection->provider() == db::Provider::PostgreSQL && connection->server())
        return std::make_shared<DbPageStore>(*connection->server(), connection);
    auto store = std::make_shared<FolderPageStore>(programDir);
    // The page texts in the archive file follow the files: renumbered, traded, given away;
    // and its history records them, as a server's triggers record its page rows.
    if (connection && connection->isOpen()) {
        store->addListener(PageTextFollower(*connection));
        store->addListener(PageHistory(*connection));
    }
    return store;
}

} // namespace pages
