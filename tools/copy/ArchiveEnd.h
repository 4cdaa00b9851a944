#pragma once
#include "db/ArchiveTables.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <compare>
#include <memory>
#include <optional>
#include <vector>

namespace copying {

/// The two places a page lives: among the documents' pages, or moved aside.
enum class Shelf { Pages, Aside };

/// A page named by its codes and number, packed as one number that orders pages the way
/// their names do (process, document, page). `copy` counts the pages moved aside with the
/// same codes and number, 1 for the first; it is always 1 among the documents' pages.
struct PageId {
    qint64 key = 0;
    int copy = 1;

    static PageId of(int process, int document, int page, int copy = 1);
    int process() const { return int(key / 100'000'000); }
    int document() const { return int(key / 1000 % 100'000); }
    int page() const { return int(key % 1000); }
    /// "0000700003002" (process, document, page), as a page name begins.
    QString stem() const;
    auto operator<=>(const PageId &) const = default;
};

struct Page {
    PageId id;
    QByteArray bytes;
    std::optional<QDateTime> movedAside; ///< when a page moved aside went there, if known
};

struct PageDigest {
    PageId id;
    QByteArray sha256;
};

/// One value of a row as the engines hold it.
struct Cell {
    enum class Kind { Null, Integer, Real, Text, Blob };
    Kind kind = Kind::Null;
    qint64 integer = 0;
    double real = 0;
    QByteArray bytes; ///< Text (UTF-8) or Blob
};
using Row = std::vector<Cell>;

/// Yields items one at a time, in order; nullopt at the end. Throws on failure.
template <typename Item>
class Reader {
public:
    virtual ~Reader() = default;
    virtual std::optional<Item> next() = 0;
};

class RowWriter {
public:
    virtual ~RowWriter() = default;
    virtual void write(const Row &row) = 0;
    /// Everything written is handed to the engine; throws when it refuses a row.
    virtual void finish() = 0;
};

/// Documents whose process row is missing: how many, and the codes of the first few.
struct DocumentsWithoutProcess {
    qint64 count = 0;
    QStringList first; ///< "processo/documento", in code order
};

/// One end of a copy: an archive file with its page folder, or a server database.
/// Rows come out of a table in the columns' order of db::schema::archiveTables(); pages
/// in PageId order, whichever the engine. Failures throw db::DbError.
class ArchiveEnd {
public:
    virtual ~ArchiveEnd() = default;

    /// For messages: the file or "role@host/database".
    virtual QString displayName() const = 0;

    virtual qint64 rowCount(const db::schema::TableSpec &table) = 0;
    virtual std::unique_ptr<Reader<Row>> readRows(const db::schema::TableSpec &table) = 0;
    virtual qint64 pageCount(Shelf shelf) = 0;
    virtual std::unique_ptr<Reader<Page>> readPages(Shelf shelf) = 0;
    virtual std::unique_ptr<Reader<PageDigest>> readDigests(Shelf shelf) = 0;
    /// A file archive may hold documents of a process that is gone (the file enforces no
    /// reference); a server archive refuses them, so it holds none.
    virtual DocumentsWithoutProcess documentsWithoutProcess(int firstFew) { Q_UNUSED(firstFew); return {}; }
    /// What a copy leaves behind, for the user (files in a page folder that are no pages).
    virtual QStringList notes() { return {}; }

    /// As a target: takes the archive for writing (nobody else writes it until commit()
    /// or abandon()); throws when it holds any row or page.
    virtual void beginWriting() = 0;
    virtual std::unique_ptr<RowWriter> writeRows(const db::schema::TableSpec &table) = 0;
    virtual void writePage(Shelf shelf, const Page &page) = 0;
    /// Everything written is settled where verification reads it, not yet the archive's.
    virtual void finishWriting() = 0;
    /// Makes the written copy the archive.
    virtual void commit() = 0;
    /// Undoes what was written; says what is left, for the message (empty: nothing).
    virtual QString abandon() noexcept = 0;
};

/// The table's column names, in order.
QStringList columnNames(const db::schema::TableSpec &table);

/// What a target holds already: rows per table, pages, pages moved aside.
struct Holdings {
    QList<QPair<QString, qint64>> rows;
    qint64 pages = 0;
    qint64 pagesAside = 0;
};
/// Throws db::DbError naming what the archive holds unless it holds nothing.
void refuseUnlessEmptyArchive(const QString &name, const Holdings &holdings);

/// Opens the archive a description file names. As a source it must exist; as a target a
/// new file or a server database without the tables is created (an empty archive stays).
enum class Role { Source, Target };
std::unique_ptr<ArchiveEnd> openArchiveEnd(const QString &udlPath, Role role);

} // namespace copying
