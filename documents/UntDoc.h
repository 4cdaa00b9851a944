#pragma once
#include "pages/PageStore.h"

#include <memory>
#include "editing/DescriptionLabel.h"
#include "editing/Edits.h"
#include "editing/lib.h"

#include <QPointer>
#include <QString>
#include <functional>
#include <optional>

class QAbstractButton;
class QAction;
class QLabel;
class QListWidget;
class QPushButton;
class TFrame1;
class TStatusBar;

namespace db {
class Connection;
class Query;
} // namespace db

namespace documents {
class DocumentExport;
class ImagePreview;
class PageOrderCommands;
class PageImport;
class TFrmPrevImg;
class TScanImage;
} // namespace documents

/// Document record: the documents of one process, one row of `documento` at a time, with
/// the page area of the shown document (list, preview, scan, add from file, remove).
/// The command panel PnlDocumento keeps the browse / including / editing state; the
/// handlers below add what is particular to documents. The main window routes some panel
/// buttons through its own handlers, which call these.
class TFrameDocumento : public TScreen {
    Q_OBJECT
public:
    explicit TFrameDocumento(QWidget *parent = nullptr);
    ~TFrameDocumento() override;

    // Fields, in tab order.
    TLabeledEdit *EdtProcesso = nullptr; ///< "Processo", filled by the program only
    editing::DescriptionLabel *LblProcesso = nullptr; ///< descricao of the process
    QPushButton *BtnProcesso = nullptr;  ///< "...", always disabled
    TLabeledEdit *EdtCod = nullptr;      ///< "Código", the key, never typed in
    TLabeledEdit *EdtDesc = nullptr;     ///< "Descrição"
    TLabeledEdit *EdtTpDoc = nullptr;    ///< "Tipo": numeric keys, padded on exit, F2 lookup
    editing::DescriptionLabel *LblTpDoc = nullptr;    ///< descricao of the type
    QLabel *LblEmenta = nullptr;
    TMemo *MMEmenta = nullptr;
    QLabel *LblPC = nullptr;
    TMemo *MMPC = nullptr;
    QLabel *LblDtaDoc = nullptr;
    TMaskEdit *EdtDtaDoc = nullptr;         ///< "Emissao"
    QLabel *LblDtaAquivamento = nullptr;
    TMaskEdit *EdtDtaAquivamento = nullptr; ///< "Arquivamento"
    TLabeledEdit *EdtNLaudas = nullptr;     ///< "Laudas": numeric keys only
    TLabeledEdit *EdtLocalidade = nullptr;
    TLabeledEdit *EdtPrateleira = nullptr;
    TLabeledEdit *EdtGaveta = nullptr;
    TLabeledEdit *EdtPasta = nullptr;

    // Page area.
    QFrame *PnlLaudas = nullptr;
    QPushButton *BtnScan = nullptr;   ///< "Adquirir"
    QPushButton *BtnAddArq = nullptr; ///< "&Adicionar >>", shows ActAbrirArq
    QPushButton *BtnDelArq = nullptr; ///< "<< Remover"
    QListWidget *LBoxLaudas = nullptr;
    documents::ImagePreview *ImgPrev = nullptr;
    /// Add a page from a file; Ctrl+O, available exactly while BtnAddArq is enabled.
    QAction *ActAbrirArq = nullptr;
    /// "Adquirir": scan a page; available exactly while BtnScan is enabled.
    QAction *ActScan = nullptr;
    documents::TScanImage *ex = nullptr; ///< the scanner, delivering into ImgPrev
    /// "Imprimir documento": every page; enabled while the document has pages.
    QPushButton *BtnImprimirDoc = nullptr;
    /// "Exportar PDF": enabled while the document has pages and is not being edited.
    QPushButton *BtnExportarPdf = nullptr;
    /// "Histórico": the changes of the shown document and of its pages, while browsing.
    QPushButton *BtnHistorico = nullptr;
    documents::PageImport *pageImport = nullptr;         ///< "&Adicionar >>" of JPEG and PDF files
    documents::DocumentExport *documentExport = nullptr; ///< "Exportar PDF"

    TFrame1 *PnlDocumento = nullptr;
    TStatusBar *StatusBar1 = nullptr;
    /// The documents of the opened process; its current row is the shown document.
    db::Query *QryDoc = nullptr;

    /// Filled by the main window; the UPDATE is built from it.
    BindingTable Bindings;

    /// A file archive's pages are in dados/laudas/ under this folder (the program's by
    /// default); a server archive's are on its server.
    void setProgramDir(const QString &programDir);
    /// The page store of the archive the screen shows.
    const pages::PageStore &pageStore() const;
    /// The page print form made once at start-up; without one, the screen makes its own
    /// at the first click on the preview.
    void setPrintForm(documents::TFrmPrevImg *form);
    documents::TFrmPrevImg &printForm();
    /// Process and document code of the shown document: the owners of its pages.
    pages::DocumentKey documentKey() const;

    /// Copies the current row of QryDoc into the fields, then reloads the page list.
    void showCurrentRow();
    /// The three page commands (and their actions), switched together.
    void setPageCommandsEnabled(bool enabled);
    /// The user may not change pages (the server's rights): the page commands stay
    /// disabled, `reason` as their tooltip.
    void forbidPageChanges(const QString &reason);
    bool pageLimitWarned() const { return m_pageLimitWarned; }

    /// For the deletion of a process: moves the page files of its documents aside and
    /// gives back how to put them back should the deletion fail. A move that fails is
    /// shown and thrown on: the process must stay.
    std::function<void()> moveProcessPagesAside(const QString &process);

signals:
    /// A page was written, turned or put back: it waits for text recognition. May come
    /// from the thread that stored it.
    void pagesToRead();

public slots:
    void BtnProcessoClick();
    void EdtProcessoChange();
    void EdtTpDocChange();
    void EdtTpDocExit();
    void PnlDocumentoBtnIncClick(QAbstractButton *sender);
    void PnlDocumentoBtnAltClick(QAbstractButton *sender);
    void PnlDocumentoBtnDelClick(QAbstractButton *sender);
    void PnlDocumentoBtnAntClick(QAbstractButton *sender);
    void PnlDocumentoBtnSairClick(QAbstractButton *sender);

    void LoadLaudas();
    void LBoxLaudasClick();
    void ActAbrirArqBeforeExecute();
    /// The files chosen in the open dialog, added in the order of their names.
    void ActAbrirArqAccept(const QStringList &fileNames);
    void BtnDelArqClick();
    void ActScanExecute();
    void ImgPrevClick();
    void ImgPrevDblClick();
    void BtnImprimirDocClick();
    void BtnExportarPdfClick();
    void BtnHistoricoClick();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct HeldCode {
        QString code;
        std::unique_ptr<pages::InclusionClaim> claim;
    };
    static constexpr int kLastCode = 99999;
    std::optional<int> lastStoredCode(const QString &process) const;
    bool documentExists(const pages::DocumentKey &key) const;
    std::optional<HeldCode> holdFreeCode(const QString &process, int from) const;
    /// False when the inclusion had to be called off (no free code).
    bool holdCodeForInclusion();
    /// BeforeInsert of the panel.
    void prepareInsert();
    void fillInsertStatement();
    /// ActAbrirArq as the open action runs it: the warning when due, the dialog, the copy.
    void runOpenFileAction();
    void buildFields(QWidget *fields);
    void buildPageArea(QWidget *fields);
    void bindPanel();
    void bindHandlers();
    db::Connection &connection() const;
    bool isIncluding() const;
    /// The cancel half of PnlDocumentoBtnSairClick: the row shown again, the panel's exit.
    void endInclusionOrEdit(QAbstractButton *sender);
    void moveAsideCancelledPages();
    /// False when the inclusion had to be called off.
    bool clearPagesOfNewCode();
    /// Runs `move` for a deletion; a failure is shown (after `refusal`) and thrown on.
    /// Returns the undo that puts the pages back.
    std::function<void()> movePagesAside(const QString &refusal, const std::function<pages::MovedPages()> &move);
    void showPagesMovedNote(const QString &note);
    QString pagesMovedText(int count) const;
    /// Shows why and returns true when the document holds the last page it can hold.
    bool refuseWhenFull();
    /// `EdtTpDocKeyPress`: true when the typed character is discarded.
    bool EdtTpDocKeyPress(const QString &typed);
    void showPageOrIcon(const QString &entryName);
    /// "Adquirir" with a feeder source: the whole batch, page after page.
    void scanFromFeeder();
    void printPreviewedPicture();
    /// Printing and exporting follow the page list and the edit mode.
    void updateDocumentOutputs();
    void updateHistoryButton();

    /// Made for the connection and folder it was asked for; made again when they change.
    mutable std::shared_ptr<const pages::PageStore> m_pages;
    mutable const db::Connection *m_pagesConnection = nullptr;
    QString m_programDir;
    QPointer<documents::TFrmPrevImg> m_printForm;
    bool m_pageLimitWarned = false;
    /// The code of the inclusion under way, held against every other inclusion.
    std::unique_ptr<pages::InclusionClaim> m_claim;
    QString m_storedCode; ///< the code the last confirmed inclusion was stored under
    /// Moving and turning the selected page (buttons under the page commands, the list's
    /// context menu), available with the page commands. A member, so that it is gone
    /// before the page list, which changes while it is destroyed.
    std::unique_ptr<documents::PageOrderCommands> m_pageOrder;
    bool m_editingPages = false; ///< the page commands are enabled: including or editing
    QString m_pagesForbidden; ///< why the user may not change pages; empty: allowed
};
