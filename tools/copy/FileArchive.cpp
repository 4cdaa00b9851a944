#include "tools/copy/FileArchive.h"

#include "db/Connection.h"
#include "db/DbError.h"
#include "db/Exec.h"
#include "db/History.h"
#include "db/Schema.h"
#include "db/SearchIndex.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSysInfo>
#include <QScopeGuard>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace copying {

namespace {

using db::schema::ColumnType;
using db::schema::TableSpec;

struct Finalize {
    void operator()(sqlite3_stmt *statement) const noexcept { sqlite3_finalize(statement); }
};
using StatementPtr = std::unique_ptr<sqlite3_stmt, Finalize>;

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

QByteArray encoded(const QString &path)
{
    return QFile::encodeName(path);
}

[[noreturn]] void failOn(sqlite3 *handle, const QString &what)
{
    throw db::DbError(u"%1: %2"_s.arg(what, QString::fromUtf8(sqlite3_errmsg(handle))));
}

DatabasePtr openDatabase(const QString &path, int flags)
{
    sqlite3 *raw = nullptr;
    const int rc = sqlite3_open_v2(encoded(path).constData(), &raw, flags, nullptr);
    DatabasePtr handle(raw);
    if (rc != SQLITE_OK)
        throw db::DbError(u"Não foi possível abrir %1: %2"_s.arg(
            path, raw ? QString::fromUtf8(sqlite3_errmsg(raw)) : QString::fromUtf8(sqlite3_errstr(rc))));
    sqlite3_busy_timeout(raw, 10000);
    return handle;
}

DatabasePtr openArchiveForReading(const QString &path)
{
    if (!QFileInfo(path).isFile())
        throw db::DbError(u"O arquivo %1 não existe."_s.arg(path));
    // Read-write although only read: a read-only connection to a file in write-ahead log
    // mode leaves the log and its index behind, which would look like the file in use.
    DatabasePtr handle = openDatabase(path, SQLITE_OPEN_READWRITE);
    db::exec(handle.get(), u"PRAGMA query_only = ON"_s);
    db::schema::checkIsArchive(handle.get(), path);
    return handle;
}

StatementPtr prepare(sqlite3 *handle, const QString &sql)
{
    sqlite3_stmt *raw = nullptr;
    if (sqlite3_prepare_v2(handle, sql.toUtf8().constData(), -1, &raw, nullptr) != SQLITE_OK)
        failOn(handle, sql);
    return StatementPtr(raw);
}

qint64 countRows(sqlite3 *handle, const QString &table)
{
    const StatementPtr statement = prepare(handle, u"SELECT count(*) FROM %1"_s.arg(table));
    if (sqlite3_step(statement.get()) != SQLITE_ROW)
        failOn(handle, table);
    return sqlite3_column_int64(statement.get(), 0);
}

QByteArray columnBytes(sqlite3_stmt *statement, int i, bool asText)
{
    const void *data = asText ? static_cast<const void *>(sqlite3_column_text(statement, i))
                              : sqlite3_column_blob(statement, i);
    return QByteArray(static_cast<const char *>(data), sqlite3_column_bytes(statement, i));
}

// Text columns give text whatever SQLite stored; the others keep the stored kind, so a
// number stays a number and a day number keeps its fraction.
Cell readCell(sqlite3_stmt *statement, int i, ColumnType type)
{
    Cell cell;
    const int stored = sqlite3_column_type(statement, i);
    if (stored == SQLITE_NULL)
        return cell;
    if (type == ColumnType::Text || type == ColumnType::LongText || (type != ColumnType::Blob && stored == SQLITE_TEXT)) {
        cell.kind = Cell::Kind::Text;
        cell.bytes = columnBytes(statement, i, true);
    } else if (type == ColumnType::Blob || stored == SQLITE_BLOB) {
        cell.kind = Cell::Kind::Blob;
        cell.bytes = columnBytes(statement, i, false);
    } else if (stored == SQLITE_INTEGER) {
        cell.kind = Cell::Kind::Integer;
        cell.integer = sqlite3_column_int64(statement, i);
    } else {
        cell.kind = Cell::Kind::Real;
        cell.real = sqlite3_column_double(statement, i);
    }
    return cell;
}

class SqliteRowReader final : public Reader<Row> {
public:
    SqliteRowReader(sqlite3 *handle, const TableSpec &table)
        : m_handle(handle), m_table(table),
          m_statement(prepare(handle, u"SELECT %1 FROM %2"_s.arg(columnNames(table).join(u", "_s), table.name)))
    {
    }

    std::optional<Row> next() override
    {
        const int rc = sqlite3_step(m_statement.get());
        if (rc == SQLITE_DONE)
            return std::nullopt;
        if (rc != SQLITE_ROW)
            failOn(m_handle, m_table.name);
        Row row;
        row.reserve(m_table.columns.size());
        for (int i = 0; i < m_table.columns.size(); ++i)
            row.push_back(readCell(m_statement.get(), i, m_table.columns[i].type));
        return row;
    }

private:
    sqlite3 *m_handle;
    TableSpec m_table;
    StatementPtr m_statement;
};

class SqliteRowWriter final : public RowWriter {
public:
    SqliteRowWriter(sqlite3 *handle, const TableSpec &table) : m_handle(handle), m_table(table.name)
    {
        QStringList marks;
        for (qsizetype i = 0; i < table.columns.size(); ++i)
            marks << u"?"_s;
        m_statement = prepare(handle, u"INSERT INTO %1 (%2) VALUES (%3)"_s.arg(table.name, columnNames(table).join(u", "_s),
                                                                              marks.join(u", "_s)));
    }

    void write(const Row &row) override
    {
        sqlite3_stmt *statement = m_statement.get();
        for (int i = 0; i < int(row.size()); ++i)
            bind(statement, i + 1, row[size_t(i)]);
        const int rc = sqlite3_step(statement);
        sqlite3_reset(statement);
        if (rc != SQLITE_DONE)
            failOn(m_handle, m_table);
    }

    void finish() override {}

private:
    static void bind(sqlite3_stmt *statement, int index, const Cell &cell)
    {
        switch (cell.kind) {
        case Cell::Kind::Null:
            sqlite3_bind_null(statement, index);
            break;
        case Cell::Kind::Integer:
            sqlite3_bind_int64(statement, index, cell.integer);
            break;
        case Cell::Kind::Real:
            sqlite3_bind_double(statement, index, cell.real);
            break;
        case Cell::Kind::Text:
            sqlite3_bind_text64(statement, index, cell.bytes.constData(), sqlite3_uint64(cell.bytes.size()),
                                SQLITE_STATIC, SQLITE_UTF8);
            break;
        case Cell::Kind::Blob:
            // constData() is never null: an empty value stays an empty blob, not NULL.
            sqlite3_bind_blob64(statement, index, cell.bytes.constData(), sqlite3_uint64(cell.bytes.size()),
                                SQLITE_STATIC);
            break;
        }
    }

    sqlite3 *m_handle;
    QString m_table;
    StatementPtr m_statement;
};

void openPageFile(QFile &file)
{
    if (!file.open(QIODevice::ReadOnly))
        throw db::DbError(u"Não foi possível ler a lauda %1: %2"_s.arg(file.fileName(), file.errorString()));
}

class FilePageReader final : public Reader<Page> {
public:
    FilePageReader(PageFolderListing listing, Shelf shelf) : m_listing(std::move(listing)), m_shelf(shelf) {}

    std::optional<Page> next() override
    {
        if (m_next == m_listing.count())
            return std::nullopt;
        const QString path = m_listing.path(m_next);
        QFile file(path);
        openPageFile(file);
        Page page{m_listing.id(m_next++), file.readAll(), std::nullopt};
        if (file.error() != QFileDevice::NoError)
            throw db::DbError(u"Não foi possível ler a lauda %1: %2"_s.arg(path, file.errorString()));
        // A file moved aside keeps its time; it stands for when the page went there.
        if (m_shelf == Shelf::Aside)
            page.movedAside = file.fileTime(QFileDevice::FileModificationTime).toUTC();
        return page;
    }

private:
    PageFolderListing m_listing;
    Shelf m_shelf;
    qint64 m_next = 0;
};

class FileDigestReader final : public Reader<PageDigest> {
public:
    explicit FileDigestReader(PageFolderListing listing) : m_listing(std::move(listing)) {}

    std::optional<PageDigest> next() override
    {
        if (m_next == m_listing.count())
            return std::nullopt;
        const QString path = m_listing.path(m_next);
        QFile file(path);
        openPageFile(file);
        QCryptographicHash hash(QCryptographicHash::Sha256);
        if (!hash.addData(&file) || file.error() != QFileDevice::NoError)
            throw db::DbError(u"Não foi possível ler a lauda %1: %2"_s.arg(path, file.errorString()));
        return PageDigest{m_listing.id(m_next++), hash.result()};
    }

private:
    PageFolderListing m_listing;
    qint64 m_next = 0;
};

void writeAll(int fd, const QByteArray &bytes, const QString &path)
{
    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            throw db::DbError(u"Não foi possível gravar a lauda %1: %2"_s.arg(path, systemError()));
        data += written;
        left -= written;
    }
}

void syncFolder(const QString &folder)
{
    const int fd = ::open(encoded(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return; // nothing was written there
    const auto closeFolder = qScopeGuard([fd] { ::close(fd); });
    // Every page file written on that file system reaches the disk, in one call.
    if (::syncfs(fd) != 0 || ::fsync(fd) != 0)
        throw db::DbError(u"Não foi possível gravar as laudas em %1: %2"_s.arg(folder, systemError()));
}

} // namespace

void CloseDatabase::operator()(sqlite3 *handle) const noexcept
{
    sqlite3_close_v2(handle);
}

FileArchive::FileArchive(const QString &programDir, const QString &databasePath, Role role)
    : m_databasePath(databasePath), m_store(programDir)
{
    if (role == Role::Source) {
        m_db = openArchiveForReading(databasePath);
        // One snapshot of every table for the whole copy and its verification.
        db::exec(m_db.get(), u"BEGIN; SELECT count(*) FROM sqlite_schema;"_s);
    }
}

FileArchive::~FileArchive()
{
    if (!m_temporaryPath.isEmpty() || !m_writtenPages.empty() || !m_madeFolders.isEmpty())
        abandon();
}

QString FileArchive::shelfFolder(Shelf shelf) const
{
    return shelf == Shelf::Pages ? m_store.folder() : m_store.deletedFolder();
}

QString FileArchive::pagePath(Shelf shelf, const PageId &id) const
{
    return shelfFolder(shelf) + PageFolderListing::fileName(id, shelf);
}

qint64 FileArchive::rowCount(const TableSpec &table)
{
    return countRows(m_db.get(), table.name);
}

std::unique_ptr<Reader<Row>> FileArchive::readRows(const TableSpec &table)
{
    return std::make_unique<SqliteRowReader>(m_db.get(), table);
}

DocumentsWithoutProcess FileArchive::documentsWithoutProcess(int firstFew)
{
    const StatementPtr statement = prepare(m_db.get(), u"SELECT d.processo, d.cod FROM documento d WHERE NOT EXISTS "
                                                       u"(SELECT 1 FROM processo p WHERE p.cod = d.processo) "
                                                       u"ORDER BY d.processo, d.cod"_s);
    DocumentsWithoutProcess found;
    int rc;
    while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW) {
        if (found.count++ < firstFew) {
            const auto code = [&](int i) {
                return sqlite3_column_type(statement.get(), i) == SQLITE_NULL
                           ? u"(vazio)"_s
                           : QString::fromUtf8(columnBytes(statement.get(), i, true));
            };
            found.first << code(0) + u'/' + code(1);
        }
    }
    if (rc != SQLITE_DONE)
        failOn(m_db.get(), u"documento"_s);
    return found;
}

qint64 FileArchive::pageCount(Shelf shelf)
{
    const PageFolderListing listing(shelfFolder(shelf), shelf);
    if (listing.strangerCount() > 0)
        m_notes << u"%1 arquivo(s) em %2 não são laudas e não foram copiados: %3%4"_s.arg(
            QString::number(listing.strangerCount()), QDir::toNativeSeparators(shelfFolder(shelf)),
            listing.strangers().join(u", "_s), listing.strangerCount() > listing.strangers().size() ? u", ..."_s : QString());
    return listing.count();
}

std::unique_ptr<Reader<Page>> FileArchive::readPages(Shelf shelf)
{
    return std::make_unique<FilePageReader>(PageFolderListing(shelfFolder(shelf), shelf), shelf);
}

std::unique_ptr<Reader<PageDigest>> FileArchive::readDigests(Shelf shelf)
{
    return std::make_unique<FileDigestReader>(PageFolderListing(shelfFolder(shelf), shelf));
}

QStringList FileArchive::notes()
{
    return m_notes;
}

void FileArchive::refuseUnlessEmpty()
{
    Holdings holdings;
    if (QFileInfo::exists(m_databasePath)) {
        const DatabasePtr existing = openArchiveForReading(m_databasePath);
        for (const TableSpec &table : db::schema::archiveTables())
            holdings.rows.append({table.name, countRows(existing.get(), table.name)});
    }
    holdings.pages = PageFolderListing(shelfFolder(Shelf::Pages), Shelf::Pages).count();
    holdings.pagesAside = PageFolderListing(shelfFolder(Shelf::Aside), Shelf::Aside).count();
    refuseUnlessEmptyArchive(displayName(), holdings);
}

void FileArchive::beginWriting()
{
    refuseUnlessEmpty();
    const QFileInfo target(m_databasePath);
    if (!QDir().mkpath(target.absolutePath()))
        throw db::DbError(u"Não foi possível criar a pasta %1."_s.arg(target.absolutePath()));
    const QString temporary = target.absolutePath() + u"/."_s + target.fileName() + u".copia-"_s
        + QString::number(QRandomGenerator::global()->generate64(), 36);
    db::Connection::createArchive(temporary);
    m_temporaryPath = temporary;
    m_db = openDatabase(temporary, SQLITE_OPEN_READWRITE);
    // The copy's rows enter the history under the user and workstation that copied them.
    db::history::identifyWriter(m_db.get(), db::history::osUser(), QSysInfo::machineHostName());
    // The substring index is filled once at the end, not by its triggers row by row.
    db::searchindex::drop(m_db.get());
    db::exec(m_db.get(), u"PRAGMA cache_size = -65536; BEGIN IMMEDIATE;"_s);
}

std::unique_ptr<RowWriter> FileArchive::writeRows(const TableSpec &table)
{
    return std::make_unique<SqliteRowWriter>(m_db.get(), table);
}

void FileArchive::writePage(Shelf shelf, const Page &page)
{
    if (!m_foldersReady)
        makePageFolders();
    const QString path = pagePath(shelf, page.id);
    const int fd = ::open(encoded(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        throw db::DbError(errno == EEXIST
                              ? u"A lauda %1 já existe no destino; nada foi substituído."_s.arg(path)
                              : u"Não foi possível gravar a lauda %1: %2"_s.arg(path, systemError()));
    m_writtenPages.emplace_back(shelf, page.id);
    const auto closeFile = qScopeGuard([fd] { ::close(fd); });
    writeAll(fd, page.bytes, path);
    if (page.movedAside) {
        const qint64 ms = page.movedAside->toMSecsSinceEpoch();
        const timespec when{time_t(ms / 1000), long(ms % 1000) * 1'000'000};
        const timespec times[2] = {when, when};
        ::futimens(fd, times);
    }
}

void FileArchive::makePageFolders()
{
    for (const QString &folder : {QFileInfo(m_store.folder().chopped(1)).absolutePath(), m_store.folder(), m_store.deletedFolder()}) {
        if (QFileInfo::exists(folder))
            continue;
        if (!QDir().mkdir(folder))
            throw db::DbError(u"Não foi possível criar a pasta %1."_s.arg(folder));
        m_madeFolders << folder;
    }
    m_foldersReady = true;
}

void FileArchive::syncPageFolders() const
{
    if (m_writtenPages.empty())
        return;
    syncFolder(shelfFolder(Shelf::Pages));
    syncFolder(shelfFolder(Shelf::Aside));
}

void FileArchive::finishWriting()
{
    db::exec(m_db.get(), u"COMMIT"_s);
    db::searchindex::UpdateOptions atOnce;
    atOnce.documentsPerTransaction = 0;
    db::searchindex::update(m_db.get(), atOnce);
    syncPageFolders();
}

void FileArchive::replaceTarget()
{
    const QByteArray from = encoded(m_temporaryPath);
    const QByteArray to = encoded(m_databasePath);
    if (QFileInfo::exists(m_databasePath)) {
        // Only the empty archive that was refused nothing at the start is replaced, and
        // only while nobody has it open.
        refuseUnlessEmptyArchive(displayName(), [&] {
            Holdings holdings;
            const DatabasePtr existing = openArchiveForReading(m_databasePath);
            for (const TableSpec &table : db::schema::archiveTables())
                holdings.rows.append({table.name, countRows(existing.get(), table.name)});
            return holdings;
        }());
        for (const char *companion : {"-wal", "-journal"}) {
            if (QFileInfo::exists(m_databasePath + QLatin1StringView(companion)))
                throw db::DbError(u"O arquivo de destino %1 está em uso; feche o Cartulo nas estações que o "
                                  u"usam e copie de novo."_s.arg(m_databasePath));
        }
        if (::rename(from.constData(), to.constData()) != 0)
            throw db::DbError(u"Não foi possível pôr %1 no lugar de %2: %3"_s.arg(m_temporaryPath, m_databasePath,
                                                                                  systemError()));
    } else if (::link(from.constData(), to.constData()) == 0) {
        ::unlink(from.constData());
    } else if (errno == EEXIST) {
        throw db::DbError(u"O arquivo %1 surgiu durante a cópia; nada foi substituído."_s.arg(m_databasePath));
    } else if (::rename(from.constData(), to.constData()) != 0) { // a file system without links
        throw db::DbError(u"Não foi possível pôr %1 no lugar de %2: %3"_s.arg(m_temporaryPath, m_databasePath,
                                                                              systemError()));
    }
    m_temporaryPath.clear();
    syncFolder(QFileInfo(m_databasePath).absolutePath());
}

void FileArchive::commit()
{
    m_db.reset(); // the last connection: its log is written into the file and removed
    replaceTarget();
    m_writtenPages.clear(); // the archive's pages now
    m_madeFolders.clear();
}

QString FileArchive::abandon() noexcept
{
    m_db.reset();
    if (!m_temporaryPath.isEmpty()) {
        for (const char *companion : {"", "-wal", "-shm", "-journal"})
            QFile::remove(m_temporaryPath + QLatin1StringView(companion));
        m_temporaryPath.clear();
    }
    qint64 stuck = 0;
    for (const auto &[shelf, id] : m_writtenPages) {
        if (::unlink(encoded(pagePath(shelf, id)).constData()) != 0 && errno != ENOENT)
            ++stuck;
    }
    m_writtenPages.clear();
    for (auto folder = m_madeFolders.crbegin(); folder != m_madeFolders.crend(); ++folder)
        QDir().rmdir(*folder); // only when empty: nothing but the copy's was there
    m_madeFolders.clear();
    if (stuck > 0)
        return u"%1 lauda(s) copiada(s) não puderam ser removidas de %2."_s.arg(QString::number(stuck), m_store.folder());
    return {};
}

} // namespace copying
