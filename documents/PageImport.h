#pragma once
#include "pages/PageStore.h"

#include <QObject>
#include <QString>
#include <QStringList>

class QWidget;

namespace documents {

/// Takes the files chosen in the add dialog in as pages of a document: JPEG files byte for
/// byte, PDF files page by page (a page that is one JPEG picture byte for byte, any other
/// drawn at 300 dpi). Files go in whole or not at all: every file is checked before
/// anything is written, and a file cancelled or failing half-way takes its pages out again,
/// while the files finished before it stay. A progress dialog with "Cancelar" runs
/// meanwhile; refusals are told through the prompt.
class PageImport : public QObject {
    Q_OBJECT
public:
    /// Dialogs are shown over `parent`.
    explicit PageImport(QWidget *parent);
    ~PageImport() override;

    /// The open dialog's filters, separated by ";;", the first chosen at the start.
    static QString dialogFilters();
    /// The files in the order the open dialog shows them: by name, numbers by value.
    static QStringList inNameOrder(QStringList paths);

    struct Outcome {
        int filesAdded = 0;
        int pagesAdded = 0;
        bool cancelled = false;
    };
    /// Appends the pages of `paths` (taken in name order) to the document `key`.
    /// Store failures of the kind Io are thrown on after the file's pages are taken out.
    Outcome addFiles(const pages::PageStore &store, const pages::DocumentKey &key, const QStringList &paths);

signals:
    /// A page was stored (its list name); the progress dialog has been told already.
    void pageStored(const QString &name);

private:
    class Source;
    QWidget *m_parent;
};

} // namespace documents
