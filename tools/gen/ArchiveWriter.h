#pragma once
// Where the planned rows and pages go: one writer per provider, each the fastest way its
// engine takes rows in bulk. Rows come table by table (agency, types, processes, then
// documents); nothing is kept until finish().
#include "tools/gen/ArchivePlan.h"

#include <memory>

namespace gen {

class ArchiveWriter {
public:
    virtual ~ArchiveWriter() = default;

    virtual void writeAgency(const AgencyRow &row, const QString &logoPath) = 0;
    virtual void writeType(const TypeRow &row) = 0;
    virtual void writeProcess(const ProcessRow &row) = 0;
    virtual void writeDocument(const DocumentRow &row) = 0;
    /// Whether the archive has the page-text table.
    virtual bool keepsPageTexts() = 0;
    /// A recognised page text (after every document).
    virtual void writePageText(const PageTextRow &row) = 0;
    /// The pages of the document written last.
    virtual void addPages(std::vector<PageJob> &&pages) = 0;
    /// Builds what the archive keeps beside its rows (indexes), stores every page and makes
    /// it all lasting. Throws on the first failure.
    virtual void finish() = 0;

    virtual long long pagesWritten() const = 0;
    virtual long long pageBytes() const = 0;
};

/// The writer for the options' target: a new file archive in the output folder, or the
/// archive a description file names (a file made when missing, or a server database,
/// its tables made when it has none). Refuses an archive that already holds rows.
std::unique_ptr<ArchiveWriter> openWriter(const Options &options);

} // namespace gen
