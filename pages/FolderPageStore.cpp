#include "pages/FolderPageStore.h"

#include "editing/JpegImage.h"
#include "pages/FolderExchange.h"
#include "pages/PageChange.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QDirIterator>
#include <QScopeGuard>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace pages {

namespace {

Q_LOGGING_CATEGORY(lcPages, "cartulo.pages")

QByteArray encoded(const QString &path)
{
    return QFile::encodeName(path);
}

QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

PageError ioError(const QString &what, int code)
{
    return PageError(PageError::Kind::Io, what + u": "_s + systemError(code));
}

bool fileExists(const QByteArray &path)
{
    return ::access(path.constData(), F_OK) == 0;
}

// The file name of a page, whatever its number: older versions wrote a page 1000.
QString fileNameOf(const QString &stem, int page)
{
    return stem + QString::number(page).rightJustified(3, u'0') + u".jpg"_s;
}

// Swaps two names in one step; false when the file system cannot.
bool exchangeNames(const QByteArray &a, const QByteArray &b)
{
    if (::renameat2(AT_FDCWD, a.constData(), AT_FDCWD, b.constData(), RENAME_EXCHANGE) == 0)
        return true;
    if (errno == EINVAL || errno == ENOSYS || errno == ENOTSUP)
        return false;
    throw ioError(u"Não foi possível renumerar a página %1"_s.arg(QFile::decodeName(b)), errno);
}

void renameOrThrow(const QByteArray &from, const QByteArray &to)
{
    if (::rename(from.constData(), to.constData()) != 0)
        throw ioError(u"Não foi possível renomear %1 para %2"_s.arg(QFile::decodeName(from), QFile::decodeName(to)), errno);
}

// Moves a file to a name that must not exist yet; false when that name is taken.
bool moveWithoutReplacing(const QByteArray &from, const QByteArray &to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno == EEXIST)
        return false;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        throw ioError(u"Não foi possível mover %1"_s.arg(QFile::decodeName(from)), errno);
    // No RENAME_NOREPLACE here: a hard link refuses an existing name just as well.
    if (::link(from.constData(), to.constData()) == 0) {
        ::unlink(from.constData());
        return true;
    }
    if (errno == EEXIST)
        return false;
    if (fileExists(to))
        return false;
    renameOrThrow(from, to);
    return true;
}

// What the history tells of a page file: its size, and its SHA-256 when it can be read.
// Nothing when the file cannot be opened; the change it belongs to stands all the same.
std::optional<PagePrint> printOfFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcPages) << "no print of" << path << "for the history:" << file.errorString();
        return std::nullopt;
    }
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file)) {
        qCWarning(lcPages) << "no hash of" << path << "for the history:" << file.errorString();
        return PagePrint{file.size(), {}};
    }
    return PagePrint{file.size(), QString::fromLatin1(hash.result().toHex())};
}

QStringList placesOf(const MovedPages &moved)
{
    QStringList paths;
    for (const MovedPages::Move &move : moved.moves())
        paths << move.to;
    return paths;
}

// An exclusive lock on the page folder for the life of the object: appending and
// renumbering on one workstation wait for those on another that shares the folder.
class FolderLock {
public:
    explicit FolderLock(const QString &folder)
        : m_fd(::open(encoded(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        if (m_fd < 0)
            throw ioError(u"Não foi possível abrir a pasta das páginas %1"_s.arg(QDir::toNativeSeparators(folder)), errno);
        while (::flock(m_fd, LOCK_EX) != 0) {
            if (errno != EINTR) {
                const int code = errno;
                ::close(m_fd);
                throw ioError(u"Não foi possível reservar a pasta das páginas %1"_s.arg(QDir::toNativeSeparators(folder)), code);
            }
        }
        // Whoever locks the folder next finds the pages whole, whatever a crash interrupted.
        try {
            FolderExchange::recover(folder);
        } catch (...) {
            ::close(m_fd);
            throw;
        }
    }
    ~FolderLock() { ::close(m_fd); }
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;

private:
    int m_fd;
};

} // namespace

FolderPageStore::FolderPageStore(const QString &programDir)
    : m_folder(QDir(programDir).absoluteFilePath(u"dados/laudas"_s) + u'/')
{
}

QString FolderPageStore::deletedFolder() const
{
    return m_folder + u"excluidas/"_s;
}





QString FolderPageStore::pagePath(const DocumentKey &key, int page) const
{
    return m_folder + pageName(key, page);
}

QString FolderPageStore::entryPath(const QString &entryName) const
{
    return m_folder + entryName;
}

QStringList FolderPageStore::listPages(const DocumentKey &key) const
{
    // One lookup per page, relative to the folder opened once: cheap, and independent of
    // how many other documents share the folder (reading the folder would visit them all).
    const QString stem = pageName(key, 1).chopped(7); // process + document codes
    QStringList names;
    const int folder = ::open(encoded(m_folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0)
        return names; // no page folder: no pages
    const auto closeFolder = qScopeGuard([folder] { ::close(folder); });
    finishInterruptedExchange();
    QByteArray name = encoded(stem);
    const qsizetype stemLength = name.size();
    for (int page = 1; page <= kMaxPages; ++page) {
        char number[16];
        const int digits = std::snprintf(number, sizeof number, "%03d.jpg", page);
        name.resize(stemLength);
        name.append(number, digits);
        if (::faccessat(folder, name.constData(), F_OK, 0) != 0)
            break;
        names.append(stem + QLatin1StringView(number, digits));
    }
    return names;
}






QString FolderPageStore::deletedPlace() const
{
    return QDir::toNativeSeparators(deletedFolder());
}

std::optional<QByteArray> FolderPageStore::pageBytes(const QString &entryName) const
{
    const QString path = entryPath(entryName);
    if (!QFile::exists(path))
        return std::nullopt;
    try {
        return editing::jpeg::readFile(path);
    } catch (const editing::jpeg::JpegError &error) {
        throw PageError(PageError::Kind::Io, error.message());
    }
}

bool FolderPageStore::hasPage(const QString &entryName) const
{
    return fileExists(encoded(entryPath(entryName)));
}

void FolderPageStore::storeBytes(const DocumentKey &key, int page, const QByteArray &jpeg) const
{
    const QString path = pagePath(key, page);
    requireJpeg(jpeg, bytesOrigin(key));
    PageChange change = PageChange::stored(key, page);
    if (isListened()) {
        change.replaced = fileExists(encoded(path));
        if (change.replaced)
            change.oldPrint = printOfFile(path); // before the rename takes its name
        change.newPrint = PagePrint::of(jpeg);
    }
    writeChecked(key, page, jpeg);
    notify(change);
}

void FolderPageStore::writeChecked(const DocumentKey &key, int page, const QByteArray &jpeg) const
{
    const QString destination = pagePath(key, page);
    try {
        editing::jpeg::writeFileAtomically(destination, jpeg);
    } catch (const editing::jpeg::JpegError &error) {
        throw PageError(PageError::Kind::Io, error.message());
    }
    qCDebug(lcPages) << "stored" << jpeg.size() << "bytes as" << destination;
}

int FolderPageStore::appendBytes(const DocumentKey &key, const QByteArray &jpeg) const
{
    pageName(key, 1);
    requireJpeg(jpeg, bytesOrigin(key));
    // Every workstation sharing the folder counts and writes under the same lock, so
    // two of them never take the same number.
    const FolderLock lock(m_folder);
    const int page = pageCount(key) + 1;
    writeChecked(key, page, jpeg); // checked above: a whole decode is not cheap
    PageChange change = PageChange::stored(key, page);
    if (isListened())
        change.newPrint = PagePrint::of(jpeg);
    notify(change);
    return page;
}

bool FolderPageStore::removePage(const DocumentKey &key, int page) const
{
    const QByteArray doomed = encoded(pagePath(key, page));
    if (!fileExists(doomed))
        return false;
    const FolderLock lock(m_folder);
    const int count = pageCount(key);
    const std::optional<PagePrint> removedPrint =
        isListened() ? printOfFile(QFile::decodeName(doomed)) : std::nullopt;
    const auto tell = [&](int lastPage) {
        PageChange change = PageChange::removed(key, page, lastPage);
        change.oldPrint = removedPrint;
        notify(change);
    };
    if (page > count) { // beyond a gap: listed by nobody, nothing follows it
        if (::unlink(doomed.constData()) != 0)
            throw ioError(u"Não foi possível remover a página %1"_s.arg(page), errno);
        tell(page);
        return true;
    }
    // Swap the removed page upwards past each following page, then drop it from the end:
    // at every step pages 1..count exist, each under one name, in their order.
    int at = page;
    for (; at < count; ++at) {
        if (!exchangeNames(encoded(pagePath(key, at)), encoded(pagePath(key, at + 1))))
            break;
    }
    if (at == count) {
        if (::unlink(encoded(pagePath(key, count)).constData()) != 0)
            throw ioError(u"Não foi possível remover a página %1"_s.arg(count), errno);
        tell(count);
        return true;
    }
    // The file system cannot swap names: remove, then close the gap from below, one
    // rename into the name just freed at a time.
    if (::unlink(encoded(pagePath(key, at)).constData()) != 0)
        throw ioError(u"Não foi possível remover a página %1"_s.arg(at), errno);
    for (int next = at + 1; next <= count; ++next)
        renameOrThrow(encoded(pagePath(key, next)), encoded(pagePath(key, next - 1)));
    tell(count);
    return true;
}

bool FolderPageStore::exchangePages(const DocumentKey &key, int first) const
{
    if (first < 1 || first >= kMaxPages)
        return false;
    const QString firstName = pageName(key, first);
    const QString secondName = pageName(key, first + 1);
    const FolderLock lock(m_folder);
    if (pageCount(key) < first + 1)
        return false;
    PageChange change = PageChange::exchanged(key, first);
    if (isListened()) {
        change.oldPrint = printOfFile(m_folder + firstName);
        change.newPrint = printOfFile(m_folder + secondName);
    }
    if (!exchangeNames(encoded(m_folder + firstName), encoded(m_folder + secondName)))
        FolderExchange(m_folder, firstName, secondName).run();
    qCDebug(lcPages) << "exchanged" << firstName << "and" << secondName;
    notify(change); // under the lock, as the page texts need
    return true;
}

void FolderPageStore::whileLocked(const std::function<void()> &work) const
{
    const FolderLock lock(m_folder);
    work();
}

void FolderPageStore::finishInterruptedExchange() const
{
    if (FolderExchange::isPending(m_folder)) {
        const FolderLock lock(m_folder); // waits for a move under way, or completes one a crash stopped
    }
}

std::optional<TurnMethod> FolderPageStore::turnPage(const DocumentKey &key, int page, Turn turn) const
{
    const QString path = pagePath(key, page);
    const FolderLock lock(m_folder);
    if (pageCount(key) < page)
        return std::nullopt;
    PageChange change = PageChange::turned(key, page);
    const bool listened = isListened();
    if (listened)
        change.oldPrint = printOfFile(path);
    try {
        const TurnMethod method = turnPageFile(path, turn);
        if (listened)
            change.newPrint = printOfFile(path);
        notify(change);
        return method;
    } catch (const editing::jpeg::JpegError &error) {
        throw PageError(PageError::Kind::Io, error.message());
    }
}

MovedPages FolderPageStore::moveDocumentToDeleted(const DocumentKey &key) const
{
    requireCode(key.process, u"processo"_s);
    requireCode(key.document, u"documento"_s);
    if (!QFileInfo(m_folder).isDir())
        throw PageError(PageError::Kind::Io, u"A pasta das páginas não existe: %1"_s.arg(m_folder));
    finishInterruptedExchange(); // a page parked half-way goes with the others
    // Every name the program ever wrote for the document, gaps included, looked up one by
    // one: reading the folder would visit the pages of every other document. Past the
    // last page only the 1000th, which older versions wrote.
    const QString stem = key.process + key.document;
    QStringList names;
    for (int page = 1; page <= kMaxPages + 1; ++page) {
        const QString name = fileNameOf(stem, page);
        if (fileExists(encoded(m_folder + name)))
            names.append(name);
    }
    MovedPages moved = moveAllToDeleted(names);
    if (!moved.isEmpty())
        notify(withPrints(PageChange::movedAside(key, moved.names()), placesOf(moved)));
    return moved;
}

MovedPages FolderPageStore::moveProcessToDeleted(const QString &process) const
{
    requireCode(process, u"processo"_s);
    if (!QFileInfo(m_folder).isDir())
        throw PageError(PageError::Kind::Io, u"A pasta das páginas não existe: %1"_s.arg(m_folder));
    finishInterruptedExchange(); // a page parked half-way goes with the others
    // Every document code of the process, those without a row included: read the folder.
    const QRegularExpression pattern(u"^"_s + process + u"\\d{5}\\d{3,}\\.jpg$"_s);
    QStringList names;
    QDirIterator files(m_folder, {process + u"*.jpg"_s}, QDir::Files | QDir::Hidden);
    while (files.hasNext()) {
        const QString name = QFileInfo(files.next()).fileName();
        if (pattern.match(name).hasMatch())
            names.append(name);
    }
    names.sort();
    MovedPages moved = moveAllToDeleted(names);
    if (!moved.isEmpty())
        notify(withPrints(PageChange::movedAside({process, QString()}, moved.names()), placesOf(moved)));
    return moved;
}

PageChange FolderPageStore::withPrints(PageChange change, const QStringList &paths) const
{
    if (!isListened())
        return change;
    for (const QString &path : paths)
        change.prints.append(printOfFile(path));
    return change;
}

MovedPages FolderPageStore::moveAllToDeleted(const QStringList &names) const
{
    MovedPages moved;
    if (names.isEmpty())
        return moved;
    const QString aside = deletedFolder();
    if (!QDir().mkpath(aside))
        throw PageError(PageError::Kind::Io, u"Não foi possível criar a pasta %1"_s.arg(aside));
    try {
        for (const QString &name : names)
            moved.add({name, moveOneToDeleted(name)});
    } catch (const PageError &error) {
        // All or nothing: what already moved goes back before the failure is told.
        try {
            putBack(moved);
        } catch (const PageError &stuck) {
            throw PageError(PageError::Kind::Io, error.message() + u'\n' + stuck.message());
        }
        throw;
    }
    return moved;
}

QString FolderPageStore::moveOneToDeleted(const QString &name) const
{
    const QString base = name.chopped(4); // without ".jpg"
    const QByteArray from = encoded(m_folder + name);
    for (int attempt = 1;; ++attempt) {
        const QString target = deletedFolder() + (attempt == 1 ? name : base + u'_' + QString::number(attempt) + u".jpg"_s);
        if (moveWithoutReplacing(from, encoded(target))) {
            qCDebug(lcPages) << "moved" << name << "to" << target;
            return target;
        }
    }
}

void FolderPageStore::putBack(const MovedPages &moved) const
{
    QStringList stuck;
    QStringList back;
    QString reason;
    // Latest first: the reverse of the move.
    for (auto move = moved.moves().rbegin(); move != moved.moves().rend(); ++move) {
        try {
            if (moveWithoutReplacing(encoded(move->to), encoded(m_folder + move->name))) {
                qCDebug(lcPages) << "put back" << move->name;
                back.prepend(move->name);
                continue;
            }
            reason = u"o nome já está em uso"_s;
        } catch (const PageError &error) {
            reason = error.message();
        }
        stuck.prepend(QDir::toNativeSeparators(move->to));
    }
    if (!back.isEmpty()) {
        QStringList paths;
        for (const QString &name : std::as_const(back))
            paths << m_folder + name;
        notify(withPrints(PageChange::putBack(back), paths));
    }
    if (!stuck.isEmpty())
        throw PageError(PageError::Kind::Io, u"Não foi possível devolver à pasta das páginas (%1): %2"_s.arg(
                                                 reason, stuck.join(u", "_s)));
}

QImage FolderPageStore::previewImage(const QString &entryName, QSize box) const
{
    const QString path = entryPath(entryName);
    if (!QFile::exists(path))
        return {};
    try {
        return editing::jpeg::decodeFileToCover(path, box);
    } catch (const editing::jpeg::JpegError &error) {
        throw PageError(PageError::Kind::Io, error.message());
    }
}

QImage FolderPageStore::fullImage(const QString &entryName) const
{
    const QString path = entryPath(entryName);
    if (!QFile::exists(path))
        return {};
    try {
        return editing::jpeg::decodeFile(path);
    } catch (const editing::jpeg::JpegError &error) {
        throw PageError(PageError::Kind::Io, error.message());
    }
}

namespace {

// A lock file per held code in the page folder, which every workstation sharing the folder
// sees; one left by a program that stopped is taken over once its process is gone.
class FolderClaim final : public InclusionClaim {
public:
    explicit FolderClaim(const QString &path) : m_lock(path) { m_lock.setStaleLockTime(0); }
    bool take() { return m_lock.tryLock(0); }

private:
    QLockFile m_lock;
};

} // namespace

std::unique_ptr<InclusionClaim> FolderPageStore::claimInclusion(const DocumentKey &key) const
{
    const QString stem = pageName(key, 1).chopped(7);
    const QString claims = m_folder + u"inclusoes/"_s;
    if (!QDir().mkpath(claims))
        throw PageError(PageError::Kind::Io, u"Não foi possível criar a pasta %1"_s.arg(QDir::toNativeSeparators(claims)));
    auto claim = std::make_unique<FolderClaim>(claims + stem + u".lock"_s);
    if (!claim->take())
        return nullptr;
    return claim;
}

void FolderPageStore::moveDocumentPages(const DocumentKey &from, const DocumentKey &to) const
{
    pageName(to, 1);
    const FolderLock lock(m_folder);
    const int count = pageCount(from);
    if (pageCount(to) > 0)
        throw PageError(PageError::Kind::Io, u"O documento %1 já tem páginas."_s.arg(to.document));
    int moved = 0;
    try {
        for (; moved < count; ++moved) {
            if (!moveWithoutReplacing(encoded(pagePath(from, moved + 1)), encoded(pagePath(to, moved + 1))))
                throw PageError(PageError::Kind::Io, u"A página %1 já existe."_s.arg(pageName(to, moved + 1)));
        }
    } catch (const PageError &error) {
        // All or nothing: the pages already given go back before the failure is told.
        for (int page = moved; page >= 1; --page)
            renameOrThrow(encoded(pagePath(to, page)), encoded(pagePath(from, page)));
        throw PageError(PageError::Kind::Io, u"As páginas não puderam passar ao código %1: %2"_s.arg(to.document, error.message()));
    }
    qCInfo(lcPages) << count << "pages of" << from.process << from.document << "given to" << to.document;
    if (count > 0)
        notify(PageChange::given(from, to, count));
}

} // namespace pages
