#pragma once
#include "editing/Edits.h"
#include "editing/lib.h"

#include <QStringList>
#include <functional>

class QAbstractButton;
class QLabel;
class QPushButton;
class TFrame1;
class TStatusBar;

namespace db {
class Connection;
class Query;
} // namespace db

/// Process register: one row of `processo` at a time, include, edit, delete, step.
/// The command panel PnlProcesso keeps the state; the handlers below add what is
/// particular to processes. Every panel button runs its handler here until the main
/// window routes some of them through its own (which call these).
class TFrameProcesso : public TScreen {
    Q_OBJECT
public:
    explicit TFrameProcesso(QWidget *parent = nullptr);
    ~TFrameProcesso() override;

    TLabeledEdit *EdtCod = nullptr;      ///< "Código", the key, never typed in
    TLabeledEdit *EdtDesc = nullptr;     ///< "Descrição"
    TLabeledEdit *EdtNum = nullptr;      ///< "Número do Processo", numeric keys only
    QLabel *LblDta = nullptr;            ///< "Data do processo"
    TMaskEdit *EdtDta = nullptr;         ///< dd/MM/yy
    TLabeledEdit *EdtNumOfDoc = nullptr; ///< "Número de Documentos", numeric keys only
    /// "Histórico": the changes of the shown process, while browsing.
    QPushButton *BtnHistorico = nullptr;
    TFrame1 *PnlProcesso = nullptr;
    TStatusBar *StatusBar1 = nullptr;
    /// "select * from processo" / "order by cod"; its current row is the shown process.
    db::Query *QryProcesso = nullptr;

    /// Filled by the main window: (EdtDesc, descricao), (EdtNum, numero), (EdtDta, data),
    /// (EdtNumOfDoc, num_doc). The UPDATE is built from it.
    BindingTable Bindings;

    /// Copies the current row of QryProcesso into the five fields.
    void showCurrentRow();

    /// Moves the page files of a process's documents aside before its row goes, and gives
    /// back how to put them back should the deletion fail; throws when they cannot move.
    using PagesAside = std::function<std::function<void()>(const QString &process)>;
    /// Given by the main window: the pages are the document screen's.
    void setPagesAside(PagesAside movePages) { m_pagesAside = std::move(movePages); }

public slots:
    void PnlProcessoBtnIncClick(QAbstractButton *sender);
    void PnlProcessoBtnConfClick(QAbstractButton *sender);
    void Frame11BtnAltClick(QAbstractButton *sender);
    void PnlProcessoBtnDelClick(QAbstractButton *sender);
    void PnlProcessoBtnAntClick(QAbstractButton *sender);
    void PnlProcessoBtnSairClick(QAbstractButton *sender);
    void BtnHistoricoClick();

private:
    void buildLayout();
    void bindPanel();
    void updateHistoryButton();
    db::Connection &connection() const;

    PagesAside m_pagesAside;
};
