#pragma once
#include "pages/PageStore.h"
#include "pdf/PdfExport.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

class QWidget;

namespace db {
class Connection;
}

namespace documents {

/// What one PDF file holds: its description and the documents' pages in order.
struct ExportContent {
    pdf::ExportMetadata metadata;
    QList<pdf::ExportDocument> documents;
};

/// "Exportar PDF": the document shown, or its whole process, as one PDF/A file chosen in a
/// save dialog. The pages are embedded as stored; the file appears only when complete.
class DocumentExport : public QObject {
    Q_OBJECT
public:
    /// Dialogs are shown over `parent`.
    explicit DocumentExport(QWidget *parent);

    /// The save dialog's filters: the first exports the document, the second its process.
    static QStringList dialogFilters();

    /// The document's pages, its description as title, summary as subject, its keywords.
    static ExportContent documentContent(db::Connection &connection, std::shared_ptr<const pages::PageStore> store,
                                         const pages::DocumentKey &key);
    /// Every document of the process with pages, in code order, one bookmark each
    /// ("00003 - OFÍCIO 15"); the process's description as title.
    static ExportContent processContent(db::Connection &connection, std::shared_ptr<const pages::PageStore> store,
                                        const QString &process);

    /// Asks for the file (and whether the whole process goes), then writes it with a
    /// progress dialog that "Cancelar" stops. Refusals are told through the prompt.
    void run(db::Connection &connection, std::shared_ptr<const pages::PageStore> store, const pages::DocumentKey &key);

signals:
    /// Steps done of all, as the progress dialog shows them.
    void progressed(int done, int total);

private:
    QWidget *m_parent;
};

} // namespace documents
