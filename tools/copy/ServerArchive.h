#pragma once
#include "db/ServerAddress.h"
#include "db/pg/PgConnection.h"
#include "tools/copy/ArchiveEnd.h"
#include "db/pg/PgCopy.h"

#include <memory>
#include <optional>

namespace copying {

/// An archive in a PostgreSQL database: rows in its tables, pages in `lauda` and
/// `lauda_excluida`. As a source it is read in one read-only snapshot. As a target
/// everything goes in one transaction, holding the tables against other writers, with
/// rows and pages sent by COPY; verification reads that transaction before it commits.
class ServerArchive final : public ArchiveEnd {
public:
    ServerArchive(const db::ServerAddress &address, Role role);
    ~ServerArchive() override;

    QString displayName() const override { return m_server.address().displayName(); }
    qint64 rowCount(const db::schema::TableSpec &table) override;
    std::unique_ptr<Reader<Row>> readRows(const db::schema::TableSpec &table) override;
    qint64 pageCount(Shelf shelf) override;
    std::unique_ptr<Reader<Page>> readPages(Shelf shelf) override;
    std::unique_ptr<Reader<PageDigest>> readDigests(Shelf shelf) override;

    void beginWriting() override;
    std::unique_ptr<RowWriter> writeRows(const db::schema::TableSpec &table) override;
    void writePage(Shelf shelf, const Page &page) override;
    void finishWriting() override;
    void commit() override;
    QString abandon() noexcept override;

private:
    qint64 count(const QString &table);
    QString nextCursorName();
    /// Drops the secondary indexes of the loaded tables (the trigram one above all), to be
    /// built once over all rows: far quicker than keeping them row by row.
    void setIndexesAside();
    void rebuildIndexes();
    void finishPageCopy();

    db::pg::PgConnection m_server;
    std::optional<db::pg::PgTransaction> m_transaction;
    bool m_created = false; ///< the tables were made here, for this copy
    std::unique_ptr<db::pg::PgCopy> m_pageCopy;
    Shelf m_pageCopyShelf = Shelf::Pages;
    int m_cursors = 0;
    QStringList m_indexesAside; ///< their CREATE INDEX statements
};

} // namespace copying
