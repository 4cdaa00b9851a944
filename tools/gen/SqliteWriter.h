#pragma once
#include "tools/gen/ArchiveWriter.h"

#include "db/Connection.h"

#include <optional>

namespace gen {

class RelaxedJournal;
class Statement;

/// A file archive: prepared statements in large transactions with the journal relaxed
/// while generating, the search index filled in one go at the end; page files drawn on
/// worker threads while the rows are written.
class SqliteWriter final : public ArchiveWriter {
public:
    /// Creates the archive when the file is missing; otherwise it must be an empty one.
    SqliteWriter(const QString &dbPath, const QString &pageFolder, int jobs);
    ~SqliteWriter() override;

    void writeAgency(const AgencyRow &row, const QString &logoPath) override;
    void writeType(const TypeRow &row) override;
    void writeProcess(const ProcessRow &row) override;
    void writeDocument(const DocumentRow &row) override;
    bool keepsPageTexts() override;
    void writePageText(const PageTextRow &row) override;
    void addPages(std::vector<PageJob> &&pages) override;
    void finish() override;
    long long pagesWritten() const override { return m_pages.done(); }
    long long pageBytes() const override { return m_pages.bytes(); }

private:
    Statement &statementFor(const char *table, const char *sql);
    void commit();

    QString m_pageFolder;
    PagePool m_pages;
    db::Connection m_connection;
    std::unique_ptr<RelaxedJournal> m_relaxed;
    std::unique_ptr<Statement> m_insert;
    const char *m_table = nullptr;
    long long m_rowsInTransaction = 0;
};

} // namespace gen
