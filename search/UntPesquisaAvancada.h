#pragma once
#include "db/Connection.h"
#include "db/SearchIndex.h"
#include "pages/PageStore.h"
#include "documents/UntPrevImg.h"
#include "editing/DescriptionLabel.h"
#include "editing/Edits.h"
#include "search/SearchStatement.h"

#include <QMetaObject>
#include <QPointer>
#include <QString>

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QTabBar;
class QTableView;

namespace db {
class Query;
class QueryModel;
} // namespace db

namespace documents {
class DocumentExport;
class ImagePreview;
} // namespace documents

namespace search {

/// The search state, held once for the whole program and shared by every instance of
/// the screen; all empty at start.
struct SearchState {
    QString connector;   ///< "", "AND" or "OR": the working connector while terms are joined
    QString termsClause; ///< the condition built from the terms, or empty
    QString dateClause;  ///< the date range condition, or empty
    QString typeClause;  ///< the type condition, or empty
    QString startDay;    ///< the start date as a day number, or "0"
    QString endDay;      ///< the end date as a day number, or "0"
    QString documentKey; ///< the fourth column of the current hit
    QString page;        ///< the current page as three digits ("001"), or empty
};

/// The one search state.
SearchState &searchState();

} // namespace search

/// `TFramePesquisaAvancada` (module UntPesquisaAvancada): the advanced search. Finds
/// documents by type, a range of document dates and up to four terms joined by "e"/"ou",
/// lists the hits, previews the pages of the current hit and prints a previewed page.
///
/// The statement logged on the "Script" page is the one built from the fixed format
/// strings; on a large archive the engine may run it through the substring index
/// (search/FastSearch.h), which gives exactly the same hits. The index is checked against
/// its table when the screen gets its connection and, when it must be (re)built, is
/// filled in the background with its progress on the criteria page; searches meanwhile
/// read every document.
class TFramePesquisaAvancada : public TScreen {
    Q_OBJECT
public:
    explicit TFramePesquisaAvancada(QWidget *parent = nullptr);
    ~TFramePesquisaAvancada() override;

    /// ConnArq: the type lookup and the search run on it.
    void setConnection(db::Connection *connection);
    db::Connection *connection() const { return m_connection; }
    /// The folder of the program file, under which the page files lie
    /// (default: the folder of the running executable).
    void setProgramDir(const QString &programDir);
    /// The page print form created once at start-up (created on first use when none).
    void setPrintForm(documents::TFrmPrevImg *form);
    documents::TFrmPrevImg &printForm();

    /// For a host that routes the type field's change and "Proxima" through handlers of
    /// its own: the screen stops calling EdtTpDocChange and BtnProxClick itself.
    void releaseRoutedEvents();

    // Pages, switched by the program; their tabs are hidden.
    QStackedWidget *PageControl1 = nullptr;
    QWidget *TSPesquisa = nullptr;   ///< "Pesquisa": the criteria
    QWidget *TSResultados = nullptr; ///< "Resultados": hits, type, preview
    QWidget *TabSheet1 = nullptr;    ///< "Script": the statement log
    QTabBar *TabsScript = nullptr;   ///< the "Script" page's tab, hidden until Action1

    // Criteria page.
    QLineEdit *EdtTpDoc = nullptr; ///< "Tipo", at most 5 characters
    editing::DescriptionLabel *LblTpDoc = nullptr; ///< the type's description
    TMaskEdit *EdtDtaIni = nullptr; ///< "DE:"
    TMaskEdit *EdtDtaFin = nullptr; ///< "ATÉ:"
    TLabeledEdit *Edit1 = nullptr;  ///< "Contendo:"
    TEdit *Edit2 = nullptr;
    TEdit *Edit3 = nullptr;
    TEdit *Edit4 = nullptr;
    QRadioButton *RBtnE1 = nullptr;       ///< "e" before the second term
    QRadioButton *RBtnOu1 = nullptr;      ///< "ou" before the second term
    QRadioButton *RadioButton1 = nullptr; ///< "e" before the third term
    QRadioButton *RadioButton2 = nullptr; ///< "ou" before the third term
    QRadioButton *RadioButton3 = nullptr; ///< "e" before the fourth term
    QRadioButton *RadioButton4 = nullptr; ///< "ou" before the fourth term
    /// "Procurar também no texto das páginas" and "Ignorar acentos", off at start; a new
    /// search keeps them as they are.
    QCheckBox *ChkTextoPaginas = nullptr;
    QCheckBox *ChkIgnorarAcentos = nullptr;
    QLabel *LblIndice = nullptr;          ///< what the search index is doing, when it matters
    QProgressBar *PrbIndice = nullptr;    ///< filling of the search index
    QPushButton *BtnCancelarIndice = nullptr; ///< "Cancelar" the filling

    // Results page.
    QTableView *DBGrid1 = nullptr;
    QLineEdit *DBEdit1 = nullptr; ///< "tipo_arq.descricao" of the current hit
    documents::ImagePreview *ImgPrev = nullptr;
    QPushButton *BtnAnt = nullptr;  ///< "Anterior"
    QPushButton *BtnProx = nullptr; ///< "Proxima"

    // Script page.
    TMemo *Memo1 = nullptr;

    // Button bar.
    QPushButton *BtnNovaPesquisa = nullptr;   ///< "Nova Pesquisa", disabled at start
    QPushButton *BtnPesquisarAgora = nullptr; ///< "Pesquisar Agora"
    QPushButton *BtnFechar = nullptr;         ///< "Fechar", hidden
    /// "Imprimir documento" and "Exportar PDF" of the hit shown, enabled while it has pages.
    QPushButton *BtnImprimirDoc = nullptr;
    QPushButton *BtnExportarPdf = nullptr;
    documents::DocumentExport *documentExport = nullptr;

    db::Query *QryPesqAvanc = nullptr;
    db::QueryModel *DSPesqAvanc = nullptr;
    db::searchindex::Upkeep *indexUpkeep = nullptr;
    QAction *Action1 = nullptr; ///< shows or hides the "Script" tab (Ctrl+Shift+L)

    // Handlers.
    void EdtTpDocChange();
    void EdtTpDocExit();
    void EdtDtaIniExit();
    void EdtDtaFinExit();
    /// True when the text converts to a date (and time).
    static bool IsDate(const QString &text);
    void BtnPesquisarAgoraClick();
    void BtnNovaPesquisaClick();
    void QryPesqAvancAfterScroll();
    void BtnProxClick();
    void BtnAntClick();
    void ImgPrevClick();
    void BtnImprimirDocClick();
    void BtnExportarPdfClick();
    void Action1Execute();
    void BtnFecharClick();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildCriteriaPage();
    void buildResultsPage();
    void buildScriptPage();
    void buildButtonBar();
    void connectHandlers();
    db::Connection &requireConnection() const;
    /// Steps the page by delta; a page without a file is not stepped to.
    void stepPage(int delta);
    /// The page file of the current hit for a page text; empty when the key cannot name one.
    /// The store's name of a page of the current hit; empty when the hit names none.
    QString pageEntry(const QString &page) const;
    const pages::PageStore &pageStore() const;
    /// The process and document codes of the hit shown; empty when there is none.
    pages::DocumentKey hitKey() const;
    void updateHitCommands();
    void showCurrentType();
    void startIndexUpkeep();
    void showIndexProgress(qint64 done, qint64 total);
    void indexUpkeepFinished(bool ready, const QString &error);
    bool indexChecked() const;
    void offerAccentFold();
    /// The page a hit is first shown at: its lowest-numbered page whose text holds a term
    /// when the page texts were searched, else "001".
    QString firstPageOfHit() const;

    QPointer<db::Connection> m_connection;
    QString m_indexPath; ///< the archive the index upkeep looks after
    /// Made for the connection and folder it was asked for; made again when they change.
    mutable std::shared_ptr<const pages::PageStore> m_pages;
    mutable const db::Connection *m_pagesConnection = nullptr;
    QString m_programDir;
    /// The terms and options of the search whose hits are listed.
    QList<search::Term> m_hitTerms;
    search::TermOptions m_hitOptions;
    QPointer<documents::TFrmPrevImg> m_printForm;
    QMetaObject::Connection m_typeChangeConnection;
    QMetaObject::Connection m_nextConnection;
};
