#pragma once
#include "tools/gen/ArchiveWriter.h"

#include "db/ServerAddress.h"
#include "db/pg/PgConnection.h"
#include "db/pg/PgCopy.h"

#include <QStringList>

namespace gen {

/// An archive on a PostgreSQL server: every table filled by COPY in one transaction (a
/// failure leaves the archive empty as it was), the document indexes built once after the
/// rows, and the pages as rows of the page table, encoded on worker threads.
class PgWriter final : public ArchiveWriter {
public:
    /// Makes the archive's tables when the database has none; otherwise the archive must
    /// hold no rows. Throws DbError with the server's message.
    PgWriter(const db::ServerAddress &address, int jobs);
    ~PgWriter() override;

    void writeAgency(const AgencyRow &row, const QString &logoPath) override;
    void writeType(const TypeRow &row) override;
    void writeProcess(const ProcessRow &row) override;
    void writeDocument(const DocumentRow &row) override;
    bool keepsPageTexts() override;
    void writePageText(const PageTextRow &row) override;
    void addPages(std::vector<PageJob> &&pages) override;
    void finish() override;
    long long pagesWritten() const override { return m_pagesWritten; }
    long long pageBytes() const override { return m_pageBytes; }

private:
    db::pg::PgCopy &copyInto(const QString &table, const QStringList &columns);
    void endCopy();

    int m_jobs;
    db::pg::PgConnection m_server;
    std::optional<db::pg::PgTransaction> m_transaction;
    std::unique_ptr<db::pg::PgCopy> m_copy;
    QString m_copyTable;
    QStringList m_documentIndexes; ///< their definitions, built again after the rows
    std::vector<PageJob> m_pageJobs;
    bool m_stagingTexts = false; ///< page texts wait in a temporary table for their pages
    long long m_pagesWritten = 0;
    long long m_pageBytes = 0;
};

} // namespace gen
